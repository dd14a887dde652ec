// Writes a capture into a WAV file as it arrives (see live_record.h).
#include "meter/live_record.h"

#include <sndfile.h>

#include <algorithm>
#include <vector>

#include "meter/meter.h"

namespace wobblemeter {
namespace {

constexpr size_t kBlockFrames = 4096;
// How long a read waits for audio before the stop request is polled again.
constexpr std::chrono::milliseconds kReadTimeout{100};
// The header is brought up to date this often (in frames: once a second of audio), so that a
// recording cut off by a crash or a kill still opens.
constexpr int kHeaderUpdatesPerSecond = 1;
// A WAV file's sizes are 32-bit: 4 GiB less the header (of 58 bytes for floats, with room to
// spare) hold this many 4-byte samples; 6.2 h at 48 kHz.
constexpr long long kMaxWavFrames = (0xFFFFFFFFLL - 1024) / 4;

class WavWriter {
public:
    WavWriter(const std::string& path, int rate) : path_(path) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        file_ = sf_open(path.c_str(), SFM_WRITE, &info);
        if (file_ == nullptr)
            throw MeterError("cannot create " + path + ": " + sf_strerror(nullptr));
    }
    ~WavWriter() {
        if (file_ != nullptr) sf_close(file_);
    }
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    void Write(const double* samples, size_t count) {
        if (count == 0) return;
        if (sf_write_double(file_, samples, static_cast<sf_count_t>(count)) !=
            static_cast<sf_count_t>(count))
            throw MeterError("cannot write " + path_ + ": " + sf_strerror(file_));
    }
    void UpdateHeader() { sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0); }
    void Close() {
        const int error = sf_close(file_);
        file_ = nullptr;
        if (error != 0) throw MeterError("cannot write " + path_ + ": " + sf_error_number(error));
    }

private:
    std::string path_;
    SNDFILE* file_ = nullptr;
};

}  // namespace

RecordResult RecordCapture(CaptureSource& source, const std::string& path,
                           const RecordOptions& options) {
    WavWriter writer(path, source.SampleRate());
    RecordResult result;
    std::vector<double> block(kBlockFrames);
    const std::vector<double> silence(kBlockFrames, 0.0);
    const long long headerEvery = source.SampleRate() / kHeaderUpdatesPerSecond;
    long long nextHeader = headerEvery;
    const long long limit =
        options.frames > 0 ? std::min(options.frames, kMaxWavFrames) : kMaxWavFrames;
    auto remaining = [&] { return limit - result.frames; };

    source.Start();
    while (remaining() > 0 && !(options.stopRequested && options.stopRequested())) {
        const auto wanted =
            static_cast<size_t>(std::min(remaining(), static_cast<long long>(kBlockFrames)));
        const CaptureChunk chunk = source.Read(block.data(), wanted, kReadTimeout);
        if (chunk.lostFrames > 0) {
            if (options.onLoss) options.onLoss(result.frames, chunk.lostFrames);
            ++result.losses;
            for (long long gap = std::min(chunk.lostFrames, remaining()); gap > 0;) {
                const auto count =
                    static_cast<size_t>(std::min(gap, static_cast<long long>(silence.size())));
                writer.Write(silence.data(), count);
                gap -= static_cast<long long>(count);
                result.frames += static_cast<long long>(count);
                result.lostFrames += static_cast<long long>(count);
            }
        }
        const size_t count =
            static_cast<size_t>(std::min(static_cast<long long>(chunk.frames), remaining()));
        writer.Write(block.data(), count);
        result.frames += static_cast<long long>(count);
        if (result.frames >= nextHeader) {
            writer.UpdateHeader();
            nextHeader = result.frames + headerEvery;
        }
        if (options.onProgress) options.onProgress(result.frames);
        if (chunk.ended) break;
    }
    source.Stop();
    writer.Close();
    result.full = result.frames == kMaxWavFrames;
    return result;
}

}  // namespace wobblemeter
