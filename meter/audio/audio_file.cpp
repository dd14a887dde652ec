// libsndfile behind a small reader that hands out one channel at a time, block by block.
#include "meter/audio/audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "meter/meter.h"
#include "sys/input_file.h"
#include "text/decimal.h"

namespace wobblemeter {

namespace {

// Samples (of all channels) per read call.
constexpr sf_count_t kBlockSamples = 16384;

// libsndfile keeps the reason an open failed in one global: files opened side by side open one
// at a time, so that each failure reads its own reason.
std::mutex& OpenMutex() {
    static std::mutex mutex;
    return mutex;
}

// The sizes in a line of libsndfile's log "data : <declared> (should be <present>)" (or
// "SSND : ..." in AIFF), bytes: the data chunk's declared size and what the file holds of it.
// False for any other line.
bool ReadShortfall(const std::string& line, long long& declared, long long& present) {
    constexpr std::size_t kMarker = 5;  // "data " or "SSND "
    const std::string should = " (should be ";
    if (line.compare(0, kMarker, "data ") != 0 && line.compare(0, kMarker, "SSND ") != 0)
        return false;
    if (line.size() <= kMarker || line[kMarker] != ':') return false;
    const std::size_t first = kMarker + 1;
    const std::size_t middle = line.find(should, first);
    if (middle == std::string::npos) return false;
    const std::size_t second = middle + should.size();
    const std::size_t close = line.find(')', second);
    if (close == std::string::npos) return false;
    constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    unsigned long long a = 0, b = 0;
    if (!ParseDecimalWhole(line.substr(first, middle - first).c_str(), kMax, a) ||
        !ParseDecimalWhole(line.substr(second, close - second).c_str(), kMax, b))
        return false;
    declared = static_cast<long long>(a);
    present = static_cast<long long>(b);
    return true;
}

}  // namespace

// The open file: libsndfile's handle, the header it read, the reads' buffers.
struct AudioFile::File {
    struct Memory {
        const unsigned char* data;
        sf_count_t size;
        sf_count_t pos;
    };
    ~File();
    void Check();
    template <typename T>
    size_t ReadAs(int channel, T* out, size_t count, std::vector<T>& block);

    SF_INFO info{};
    SNDFILE* file = nullptr;
    Memory memory{};
    SF_VIRTUAL_IO io{};
    std::vector<float> frames;  // interleaved block
    std::vector<double> doubleFrames;
    long long truncatedBytes = 0;
    sf_count_t blockFrames = 1;
};

AudioFile::AudioFile(const std::string& path) : file_(std::make_unique<File>()) {
    File& f = *file_;
    // Opening a FIFO waits for a writer, maybe for ever; a socket is no recording either.
    if (IsPipeOrSocket(path.c_str())) throw MeterError(Msg::kNotRegularFile);
    std::unique_lock<std::mutex> lock(OpenMutex());
    f.file = sf_open(path.c_str(), SFM_READ, &f.info);
    if (f.file == nullptr) {
        const std::string reason = sf_strerror(nullptr);
        lock.unlock();
        FILE* plain = std::fopen(path.c_str(), "rb");
        if (plain == nullptr) throw MeterError(Msg::kCannotOpenFile, std::strerror(errno));
        std::fclose(plain);
        throw MeterError(Msg::kNotAudioFile, reason.c_str());
    }
    lock.unlock();
    f.Check();
}

AudioFile::AudioFile(const void* data, size_t size) : file_(std::make_unique<File>()) {
    File& f = *file_;
    f.memory = {static_cast<const unsigned char*>(data), static_cast<sf_count_t>(size), 0};
    SF_VIRTUAL_IO& io = f.io;
    io.get_filelen = [](void* user) { return static_cast<File::Memory*>(user)->size; };
    io.seek = [](sf_count_t offset, int whence, void* user) -> sf_count_t {
        auto* m = static_cast<File::Memory*>(user);
        sf_count_t base = 0;
        if (whence == SEEK_CUR) base = m->pos;
        if (whence == SEEK_END) base = m->size;
        if (offset > m->size || offset < -m->size) return -1;
        const sf_count_t target = base + offset;
        if (target < 0 || target > m->size) return -1;
        m->pos = target;
        return m->pos;
    };
    io.read = [](void* ptr, sf_count_t count, void* user) -> sf_count_t {
        auto* m = static_cast<File::Memory*>(user);
        const sf_count_t n = std::clamp<sf_count_t>(count, 0, m->size - m->pos);
        if (n > 0) std::memcpy(ptr, m->data + m->pos, static_cast<size_t>(n));
        m->pos += n;
        return n;
    };
    io.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
    io.tell = [](void* user) { return static_cast<File::Memory*>(user)->pos; };
    std::unique_lock<std::mutex> lock(OpenMutex());
    f.file = sf_open_virtual(&io, SFM_READ, &f.info, &f.memory);
    if (f.file == nullptr) {
        throw MeterError(Msg::kNotAudio, sf_strerror(nullptr));
    }
    lock.unlock();
    f.Check();
}

void AudioFile::File::Check() {
    if (info.channels < 1 || info.channels > 1024 || info.samplerate <= 0) {
        sf_close(file);
        file = nullptr;
        throw MeterError(Msg::kHeaderInconsistent);
    }
    // libsndfile reads a WAV or AIFF file whose data chunk runs past the end of the file as
    // far as it goes, and notes the shortfall in its log: "data : <declared> (should be
    // <present>)": even a single byte missing is a cut (a copy that stopped short). Declared
    // sizes of 0 and 0xFFFFFFFF mean "unknown" (a recorder that never finished the header) and
    // are no sign of a cut.
    char log[4096] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
    for (const char* line = log; line != nullptr && *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        long long declared = 0, present = 0;
        if (ReadShortfall(end != nullptr ? std::string(line, end) : std::string(line), declared,
                          present) &&
            declared > present && declared != 0xFFFFFFFFLL && declared != 0x7FFFFFFFLL) {
            truncatedBytes = declared - present;
        }
        line = end != nullptr ? end + 1 : nullptr;
    }
    // Integer formats arrive scaled to full scale 1; float files as they are stored.
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    blockFrames = std::max<sf_count_t>(1, kBlockSamples / info.channels);
}

AudioFile::File::~File() {
    if (file != nullptr) sf_close(file);
}

AudioFile::~AudioFile() = default;

int AudioFile::SampleRate() const {
    return file_->info.samplerate;
}

int AudioFile::Channels() const {
    return file_->info.channels;
}

long long AudioFile::DeclaredFrames() const {
    return file_->info.frames;
}

long long AudioFile::TruncatedBytes() const {
    return file_->truncatedBytes;
}

namespace {

sf_count_t ReadFrames(SNDFILE* file, float* out, sf_count_t frames) {
    return sf_readf_float(file, out, frames);
}
sf_count_t ReadFrames(SNDFILE* file, double* out, sf_count_t frames) {
    return sf_readf_double(file, out, frames);
}

}  // namespace

size_t AudioFile::Read(int channel, float* out, size_t count) {
    return file_->ReadAs(channel, out, count, file_->frames);
}

size_t AudioFile::Read(int channel, double* out, size_t count) {
    return file_->ReadAs(channel, out, count, file_->doubleFrames);
}

template <typename T>
size_t AudioFile::File::ReadAs(int channel, T* out, size_t count, std::vector<T>& block) {
    const auto channels = static_cast<size_t>(info.channels);
    if (channels > 1)
        block.resize(static_cast<size_t>(blockFrames) * static_cast<size_t>(info.channels));
    size_t done = 0;
    while (done < count) {
        const sf_count_t want =
            std::min<sf_count_t>(blockFrames, static_cast<sf_count_t>(count - done));
        if (channels == 1) {
            const sf_count_t got = ReadFrames(file, out + done, want);
            if (got <= 0) break;
            done += static_cast<size_t>(got);
            if (got < want) break;
            continue;
        }
        const sf_count_t got = ReadFrames(file, block.data(), want);
        if (got <= 0) break;
        const auto n = static_cast<size_t>(got);
        for (size_t i = 0; i < n; ++i)
            out[done + i] = block[i * channels + static_cast<size_t>(channel)];
        done += n;
        if (got < want) break;
    }
    return done;
}

}  // namespace wobblemeter
