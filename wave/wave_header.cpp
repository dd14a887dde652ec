// Setters and RIFF/WAVE writer for the process-wide WAV header.
#include "wave/wave_header.h"

WaveHeaderRecord WaveHeader = {};

namespace {

// The usual fmt chunk body: tag, channels, rate, byte rate, block align, bits per sample.
constexpr int32_t kPlainFormatChunkSize = 16;
// chunkSize = formatChunkSize + dataSize + 20, where 20 = "WAVE" + "fmt " header (8) + "data"
// header (8).
constexpr int32_t kChunkOverhead = 20;
// Bytes before the fmt body ("RIFF", size, "WAVE", "fmt ", size) plus the data chunk header.
constexpr int kHeaderBytesBesideFormat = 28;

// Signed 32-bit arithmetic that wraps like the two's-complement hardware does, computed in
// unsigned arithmetic so that no overflow is undefined.
int32_t Wrap32(uint32_t value) {
    return static_cast<int32_t>(value);
}
int32_t Mul32(int32_t a, int32_t b) {
    return Wrap32(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
int32_t Add32(int32_t a, int32_t b) {
    return Wrap32(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int16_t Narrow16(int32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

// Bits per sample / 8, truncating toward zero: 16 -> 2, 12 -> 1, 7 -> 0.
int32_t BytesPerSample() {
    return WaveHeader.sampleSize / 8;
}

void UpdateBlockAlign() {
    WaveHeader.blockAlign = Narrow16(Mul32(WaveHeader.numChannels, BytesPerSample()));
}

void UpdateAvgBytesPerSec() {
    WaveHeader.avgBytesPerSec =
        Mul32(Mul32(WaveHeader.numChannels, BytesPerSample()), WaveHeader.sampleRate);
}

void UpdateDataSize() {
    WaveHeader.dataSize =
        Mul32(Mul32(WaveHeader.sampleCount, WaveHeader.numChannels), BytesPerSample());
}

// A full item count alone is not proof: some streams (fopencookie's among them) report every
// item written while flagging the error on the stream.
bool WriteBytes(FILE* file, const void* bytes, size_t count) {
    return std::fwrite(bytes, 1, count, file) == count && !std::ferror(file);
}

bool WriteTag(FILE* file, const char (&id)[5]) {
    return WriteBytes(file, id, 4);
}

}  // namespace

void SetSampleSize(int bits) {
    WaveHeader.sampleSize = Narrow16(bits);
    UpdateAvgBytesPerSec();
    UpdateBlockAlign();
    UpdateDataSize();
}

void SetNumChannels(int channels) {
    WaveHeader.numChannels = Narrow16(channels);
    UpdateAvgBytesPerSec();
    UpdateBlockAlign();
}

void SetSampleRate(int rate) {
    WaveHeader.sampleRate = rate;
    UpdateAvgBytesPerSec();
}

void SetSampleCount(int frames) {
    WaveHeader.sampleCount = frames;
    UpdateDataSize();
    if (WaveHeader.formatChunkSize == 0) WaveHeader.formatChunkSize = kPlainFormatChunkSize;
    WaveHeader.chunkSize =
        Add32(Add32(WaveHeader.formatChunkSize, WaveHeader.dataSize), kChunkOverhead);
}

void SetFormatTag(int tag) {
    WaveHeader.formatTag = Narrow16(tag);
}

bool WriteLong(FILE* file, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(bits & 0xFF),
        static_cast<unsigned char>((bits >> 8) & 0xFF),
        static_cast<unsigned char>((bits >> 16) & 0xFF),
        static_cast<unsigned char>((bits >> 24) & 0xFF),
    };
    return WriteBytes(file, bytes, sizeof bytes);
}

bool WriteShort(FILE* file, int value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    const unsigned char bytes[2] = {
        static_cast<unsigned char>(bits & 0xFF),
        static_cast<unsigned char>((bits >> 8) & 0xFF),
    };
    return WriteBytes(file, bytes, sizeof bytes);
}

int WriteWaveHeader(FILE* file) {
    if (WaveHeader.formatChunkSize == 0) WaveHeader.formatChunkSize = kPlainFormatChunkSize;
    const int32_t extra = WaveHeader.formatChunkSize > kPlainFormatChunkSize
                              ? WaveHeader.formatChunkSize - kPlainFormatChunkSize
                              : 0;
    if (extra > kExtraFormatCapacity) return -1;

    bool ok = WriteTag(file, "RIFF");
    ok = ok && WriteLong(file, WaveHeader.chunkSize);
    ok = ok && WriteTag(file, "WAVE");
    ok = ok && WriteTag(file, "fmt ");
    ok = ok && WriteLong(file, WaveHeader.formatChunkSize);
    ok = ok && WriteShort(file, WaveHeader.formatTag);
    ok = ok && WriteShort(file, WaveHeader.numChannels);
    ok = ok && WriteLong(file, WaveHeader.sampleRate);
    ok = ok && WriteLong(file, WaveHeader.avgBytesPerSec);
    ok = ok && WriteShort(file, WaveHeader.blockAlign);
    ok = ok && WriteShort(file, WaveHeader.sampleSize);
    if (extra > 0) {
        ok = ok && WriteBytes(file, WaveHeader.extraFormat, static_cast<size_t>(extra));
    }
    ok = ok && WriteTag(file, "data");
    ok = ok && WriteLong(file, WaveHeader.dataSize);
    if (!ok) return -1;
    return WaveHeader.formatChunkSize <= kPlainFormatChunkSize
               ? kHeaderBytesBesideFormat + kPlainFormatChunkSize
               : kHeaderBytesBesideFormat + WaveHeader.formatChunkSize;
}
