// Streaming reader of one channel of any file libsndfile reads, from a path or from memory.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <string>
#include <vector>

namespace wobblemeter {

class AudioFile {
public:
    // Opens the file; throws MeterError with libsndfile's reason when it cannot.
    explicit AudioFile(const std::string& path);
    AudioFile(const void* data, size_t size);
    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    int SampleRate() const { return info_.samplerate; }
    int Channels() const { return info_.channels; }
    // Frames the header declares; may exceed what the file holds.
    long long DeclaredFrames() const { return info_.frames; }
    // Bytes of audio data the header declares beyond the end of the file (0: whole).
    long long TruncatedBytes() const { return truncatedBytes_; }
    // Reads up to count samples of the channel (0-based) into out, as floats of full scale 1
    // (exact for integer formats up to 24 bits and for float files); returns how many were
    // read, 0 at the end.
    size_t Read(int channel, float* out, size_t count);
    // The same as doubles.
    size_t Read(int channel, double* out, size_t count);

private:
    struct Memory {
        const unsigned char* data;
        sf_count_t size;
        sf_count_t pos;
    };
    void Check();

    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    Memory memory_{};
    SF_VIRTUAL_IO io_{};
    template <typename T>
    size_t ReadAs(int channel, T* out, size_t count, std::vector<T>& frames);

    std::vector<float> frames_;  // interleaved block
    std::vector<double> doubleFrames_;
    long long truncatedBytes_ = 0;
    sf_count_t blockFrames_ = 1;
};

}  // namespace wobblemeter
