// File mode: reads one channel of a recording block by block and pushes it into the measuring
// engine; says what is wrong with a file that holds no measurable audio.
#include <algorithm>
#include <string>
#include <vector>

#include "meter/audio/audio_file.h"
#include "meter/engine/engine.h"
#include "meter/message.h"
#include "meter/meter.h"

namespace wobblemeter {

namespace {

// Samples read and pushed at a time.
constexpr size_t kBlock = 4096;

MeterResult Measure(AudioFile& file, const MeterOptions& options) {
    const int rate = file.SampleRate();
    if (rate < kMinSampleRate || rate > kMaxSampleRate) {
        throw MeterError(Msg::kRateOutsideRange, rate, kMinSampleRate, kMaxSampleRate);
    }
    if (options.channel < 1 || options.channel > file.Channels()) {
        throw MeterError(Msg::kNoSuchChannel, options.channel, file.Channels());
    }
    if (file.TruncatedBytes() > 0) {
        const long long missing = file.TruncatedBytes();
        throw MeterError(missing == 1 ? Msg::kTruncatedByte : Msg::kTruncatedBytes, missing);
    }
    const long long declared = std::max(0LL, file.DeclaredFrames());
    Engine engine(rate, options, declared);
    if (options.opened) options.opened();
    std::vector<float> block(kBlock);
    long long total = 0;
    long long nextProgress = rate;
    for (;;) {
        const size_t got = file.Read(options.channel - 1, block.data(), block.size());
        if (got == 0) break;
        engine.Push(block.data(), got);
        total += static_cast<long long>(got);
        if (total >= nextProgress) {
            if (options.progress && declared > 0)
                options.progress(
                    std::min(1.0, static_cast<double>(total) / static_cast<double>(declared)));
            if (options.cancelled && options.cancelled()) throw MeterCancelled();
            nextProgress += rate;
        }
    }
    if (total == 0 && file.DeclaredFrames() == 0) throw MeterError(Msg::kHeaderDeclaresNoAudio);
    if (total == 0) throw MeterError(Msg::kNoAudio);
    if (!engine.SoundSeen()) throw MeterError(Msg::kFileSilent);
    if (declared > total) {
        throw MeterError(Msg::kTruncatedSeconds, static_cast<double>(declared) / rate,
                         static_cast<double>(total) / rate);
    }
    MeterResult result = engine.Finish();
    result.channels = file.Channels();
    result.channel = options.channel;
    return result;
}

}  // namespace

MeterResult MeasureFile(const std::string& path, const MeterOptions& options) {
    AudioFile file(path);
    return Measure(file, options);
}

MeterResult MeasureMemory(const void* data, size_t size, const MeterOptions& options) {
    AudioFile file(data, size);
    return Measure(file, options);
}

}  // namespace wobblemeter
