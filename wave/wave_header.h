// The process-wide WAV header record, its setters and its writer in RIFF/WAVE layout.
// All arithmetic on the fields is signed 32-bit with wrap-around; 16-bit fields hold the low
// 16 bits of what they are given.
#pragma once

#include <cstdint>
#include <cstdio>

// Capacity of the fmt chunk's extension bytes; nothing in the program fills them.
constexpr int kExtraFormatCapacity = 64;

struct WaveHeaderRecord {
    int32_t chunkSize;        // RIFF chunk size: formatChunkSize + dataSize + 20
    int32_t formatChunkSize;  // length of the fmt chunk body; 0 = not chosen yet (becomes 16)
    int16_t formatTag;        // 1 = PCM
    int16_t numChannels;
    int32_t sampleRate;      // frames per second
    int32_t avgBytesPerSec;  // numChannels * bytes per sample * sampleRate
    int16_t blockAlign;      // numChannels * bytes per sample
    int16_t sampleSize;      // bits per sample
    int32_t dataSize;        // sampleCount * numChannels * bytes per sample
    int32_t sampleCount;     // frames
    uint8_t extraFormat[kExtraFormatCapacity];
};

// The one header of the process: zero at start, never reset.
extern WaveHeaderRecord WaveHeader;

void SetSampleSize(int bits);
void SetNumChannels(int channels);
void SetSampleRate(int rate);
void SetSampleCount(int frames);
void SetFormatTag(int tag);

// Little-endian writers, one fwrite each; true when every byte was written.
bool WriteLong(FILE* file, int32_t value);
bool WriteShort(FILE* file, int value);

// Writes the header at the stream's position. Returns the header's length in bytes (44 for the
// usual 16-byte fmt body), or -1 when a write failed or formatChunkSize asks for more extension
// bytes than the record holds.
int WriteWaveHeader(FILE* file);

// The nine-line summary of WaveHeader; PrintWaveHeader() prints it to standard output.
void PrintWaveHeaderTo(FILE* out);
void PrintWaveHeader();

// Name of a registered WAVE format tag, "don't know" for any other.
const char* FormatTagText(int16_t tag);
