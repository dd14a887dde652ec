// A recording of captured audio as it arrives: a WAV file of 32-bit floats, one channel, its
// header brought up to date once a second so that a recording cut off by a crash still opens.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace wobblemeter {

class WavWriter {
public:
    // A WAV file's sizes are 32-bit: 4 GiB less the header (of 58 bytes for floats, with room
    // to spare) hold this many 4-byte samples; 6.2 h at 48 kHz.
    static constexpr long long kMaxFrames = (0xFFFFFFFFLL - 1024) / 4;

    // Creates path (replacing a file there); throws MeterError "cannot create PATH: why".
    WavWriter(const std::string& path, int rate);
    // Closes the file without checking (Close() reports what went wrong).
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Appends up to Room() samples, full scale 1, and returns how many it wrote; throws
    // MeterError when the file cannot be written.
    size_t Write(const double* samples, size_t count);
    size_t Write(const float* samples, size_t count);
    // Appends silence in place of frames lost (up to Room()); returns how many.
    long long WriteSilence(long long frames);
    // Finishes the header and closes the file; throws MeterError when it cannot.
    void Close();

    long long Frames() const { return frames_; }
    long long Room() const { return kMaxFrames - frames_; }
    const std::string& Path() const { return path_; }

private:
    template <typename T>
    size_t WriteAs(const T* samples, size_t count);
    void Wrote(size_t count);

    struct File;  // libsndfile's handle (wav_writer.cpp)

    std::string path_;
    std::unique_ptr<File> file_;
    long long frames_ = 0;
    long long headerEvery_;
    long long nextHeader_;
};

}  // namespace wobblemeter
