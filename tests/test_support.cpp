// Streams for the unit tests, built on glibc's fopencookie; on Windows on temporary files.
#include "tests/test_support.h"

#include <cstdlib>
#include <cstring>

#include "wave/wave_header.h"

#ifdef _WIN32

namespace {

// A file in the temporary folder, removed when closed (the C library's "D" mode).
FILE* TemporaryFile() {
    char* name = _tempnam(std::getenv("TEMP"), "wobblegen-test-");
    FILE* file = name != nullptr ? std::fopen(name, "w+bD") : nullptr;
    std::free(name);
    return file;
}

std::vector<unsigned char> Contents(FILE* file) {
    std::fflush(file);
    const long end = std::ftell(file);
    std::vector<unsigned char> bytes(static_cast<size_t>(end > 0 ? end : 0));
    std::rewind(file);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fseek(file, end, SEEK_SET);
    return bytes;
}

}  // namespace

RecordingStream::RecordingStream(long failAfterBytes)
    : file_(TemporaryFile()), failAfterBytes_(failAfterBytes) {
    setvbuf(file_, nullptr, _IONBF, 0);
}

RecordingStream::~RecordingStream() {
    if (file_ != nullptr) fclose(file_);
}

const std::vector<unsigned char>& RecordingStream::bytes() const {
    bytes_ = Contents(file_);
    return bytes_;
}

std::string CaptureText(void (*print)(FILE*)) {
    FILE* file = TemporaryFile();
    print(file);
    const std::vector<unsigned char> bytes = Contents(file);
    fclose(file);
    return std::string(bytes.begin(), bytes.end());
}

#else

RecordingStream::RecordingStream(long failAfterBytes) : failAfterBytes_(failAfterBytes) {
    cookie_io_functions_t functions{};
    functions.write = &RecordingStream::Write;
    file_ = fopencookie(this, "wb", functions);
    // Unbuffered, so that each fwrite reaches Write as one call.
    setvbuf(file_, nullptr, _IONBF, 0);
}

RecordingStream::~RecordingStream() {
    if (file_ != nullptr) fclose(file_);
}

ssize_t RecordingStream::Write(void* cookie, const char* data, size_t size) {
    auto* self = static_cast<RecordingStream*>(cookie);
    if (self->failAfterBytes_ >= 0 &&
        static_cast<long>(self->bytes_.size() + size) > self->failAfterBytes_) {
        return -1;
    }
    self->writeSizes_.push_back(size);
    self->bytes_.insert(self->bytes_.end(), data, data + size);
    return static_cast<ssize_t>(size);
}

const std::vector<unsigned char>& RecordingStream::bytes() const {
    return bytes_;
}

std::string CaptureText(void (*print)(FILE*)) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* memory = open_memstream(&buffer, &size);
    print(memory);
    fclose(memory);
    std::string text(buffer, size);
    free(buffer);
    return text;
}

#endif

void ResetWaveHeader() {
    std::memset(&WaveHeader, 0, sizeof WaveHeader);
}

uint64_t Fnv1a64(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    return hash;
}
