// Streaming reader of one channel of any file libsndfile reads, from a path or from memory.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace wobblemeter {

class AudioFile {
public:
    // Opens the file; throws MeterError with libsndfile's reason when it cannot.
    explicit AudioFile(const std::string& path);
    AudioFile(const void* data, size_t size);
    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    int SampleRate() const;
    int Channels() const;
    // Frames the header declares; may exceed what the file holds.
    long long DeclaredFrames() const;
    // Bytes of audio data the header declares beyond the end of the file (0: whole).
    long long TruncatedBytes() const;
    // Reads up to count samples of the channel (0-based) into out, as floats of full scale 1
    // (exact for integer formats up to 24 bits and for float files); returns how many were
    // read, 0 at the end.
    size_t Read(int channel, float* out, size_t count);
    // The same as doubles.
    size_t Read(int channel, double* out, size_t count);

private:
    struct File;  // libsndfile's handle and what it read of the header (audio_file.cpp)
    std::unique_ptr<File> file_;
};

}  // namespace wobblemeter
