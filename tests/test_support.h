// Helpers shared by the unit tests: streams that capture, count or refuse writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// An unbuffered stream that records each write call it receives and can be told to fail after
// a number of bytes. On Windows, whose C library has no custom streams, it is a temporary file
// that records the bytes alone: kRecordsWrites and kCanFail say what a platform offers.
class RecordingStream {
public:
#ifdef _WIN32
    static constexpr bool kRecordsWrites = false;
    static constexpr bool kCanFail = false;
#else
    static constexpr bool kRecordsWrites = true;
    static constexpr bool kCanFail = true;
#endif

    explicit RecordingStream(long failAfterBytes = -1);
    ~RecordingStream();
    RecordingStream(const RecordingStream&) = delete;
    RecordingStream& operator=(const RecordingStream&) = delete;

    FILE* file() const {
        return file_;
    }
    const std::vector<unsigned char>& bytes() const;
    const std::vector<size_t>& writeSizes() const {
        return writeSizes_;
    }

private:
#ifndef _WIN32
    static ssize_t Write(void* cookie, const char* data, size_t size);
#endif
    FILE* file_;
    long failAfterBytes_;
    mutable std::vector<unsigned char> bytes_;
    std::vector<size_t> writeSizes_;
};

// FNV-1a, 64 bits: a whole-file digest to compare with a golden literal.
uint64_t Fnv1a64(std::string_view bytes);
inline uint64_t Fnv1a64(const std::vector<unsigned char>& bytes) {
    return Fnv1a64(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The header summary of the default generation (44100 Hz, 30 s), as printed.
inline constexpr const char* kDefaultHeaderSummary =
    "Chunk size = 2646036\n"
    "Format chunk size = 16\n"
    "Format tag is 1 = WAVE_FORMAT_PCM Microsoft\n"
    "Number of channels = 1\n"
    "Sample rate = 44100\n"
    "Average bytes per second = 88200\n"
    "BlockAlign = 2\n"
    "Sample size = 16\n"
    "Data size = 2646000\n";

// Captures what a call prints to a FILE* given to it.
std::string CaptureText(void (*print)(FILE*));

// Resets the process-wide WAV header to its zero state.
void ResetWaveHeader();
