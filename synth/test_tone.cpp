// Generator of the wow-and-flutter test tone. Every sample follows one fixed sequence of double
// operations; only the sine's last bit may differ between the sample kernels (see ToneKernel).
#include "synth/test_tone.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "synth/tone_kernels.h"
#include "sys/output_file.h"
#include "sys/std_streams.h"
#include "text/decimal.h"
#include "wave/wave_header.h"

namespace {

using tone_kernels::kTwoPi;
using tone_kernels::ToSample;
constexpr int kBitsPerSample = 16;
constexpr int kFormatTagPcm = 1;
// Bound on any phase, in cycles: far below DBL_MAX, so the sums never overflow.
constexpr double kMaxPhaseCycles = 1e300;

void SwapToLittleEndian(int16_t* block, int count) {
    if constexpr (std::endian::native == std::endian::big) {
        for (int i = 0; i < count; ++i) {
            const auto bits = static_cast<uint16_t>(block[i]);
            block[i] = static_cast<int16_t>(static_cast<uint16_t>((bits >> 8) | (bits << 8)));
        }
    } else {
        (void)block;
        (void)count;
    }
}

bool WriteBlock(FILE* file, int16_t* block, int count) {
    SwapToLittleEndian(block, count);
    // The error flag too: some streams report a full count while flagging the failure.
    return std::fwrite(block, sizeof block[0], static_cast<size_t>(count), file) ==
               static_cast<size_t>(count) &&
           !std::ferror(file);
}

}  // namespace

namespace {

// The frame count before truncation: sampleRate * duration rounded half up, in double.
double UnroundedFrames(int sampleRate, double duration) {
    return static_cast<double>(sampleRate) * duration + 0.5;
}

bool FramesAllowed(double unrounded) {
    return unrounded >= 0.0 && unrounded < static_cast<double>(kMaxTestToneFrames) + 1.0;
}

// The longest duration allowed at sampleRate (> 0), in the fewest significant digits that
// still give the largest frame count: never rounded onto a rejected value nor coarser than one
// sample, so that it always reads differently from the duration it is printed beside.
std::string LongestDurationText(int sampleRate) {
    const double longest = static_cast<double>(kMaxTestToneFrames) / sampleRate;
    constexpr int kRoundTripDigits = 17;  // enough for any double to read back exactly
    for (int digits = 1; digits < kRoundTripDigits; ++digits) {
        char text[32];
        const auto printed =
            std::to_chars(text, text + sizeof text, longest, std::chars_format::general, digits);
        double back = 0.0;
        std::from_chars(text, printed.ptr, back);
        if (std::trunc(UnroundedFrames(sampleRate, back)) ==
            static_cast<double>(kMaxTestToneFrames)) {
            return std::string(text, printed.ptr);
        }
    }
    return FormatShortest(longest);
}

}  // namespace

ToneArgument CheckTestToneArguments(int sampleRate, double centerFrequency, double levelPercent,
                                    double modFrequency, double duration, char* message,
                                    size_t messageSize) {
    const struct {
        ToneArgument argument;
        const char* name;
        double value;
    } reals[] = {{ToneArgument::kCenterFrequency, "Center frequency", centerFrequency},
                 {ToneArgument::kLevel, "Level", levelPercent},
                 {ToneArgument::kModFrequency, "Modulation frequency", modFrequency},
                 {ToneArgument::kDuration, "Duration", duration}};
    for (const auto& real : reals) {
        if (!std::isfinite(real.value)) {
            std::snprintf(message, messageSize, "%s %s is not allowed: it must be a finite number",
                          real.name, FormatShortest(real.value).c_str());
            return real.argument;
        }
    }
    if (sampleRate < 0) {
        std::snprintf(message, messageSize,
                      "Sample rate %d Hz is not allowed: it must be 0 to 2147483647 Hz",
                      sampleRate);
        return ToneArgument::kSampleRate;
    }
    const std::string durationText = FormatShortest(duration);
    if (duration < 0.0) {
        std::snprintf(message, messageSize, "Duration %s s is not allowed: it must be 0 s or more",
                      durationText.c_str());
        return ToneArgument::kDuration;
    }
    const double frames = UnroundedFrames(sampleRate, duration);
    if (!FramesAllowed(frames)) {
        // Not reached at rate 0, where every duration gives 0 frames.
        std::snprintf(message, messageSize,
                      "Duration %s s at %d Hz gives %.10g samples: allowed are 0 to %ld "
                      "(%s s at this rate)",
                      durationText.c_str(), sampleRate, std::trunc(frames), kMaxTestToneFrames,
                      LongestDurationText(sampleRate).c_str());
        return ToneArgument::kDuration;
    }
    if (sampleRate > 0 && frames >= 1.0) {
        // Largest phase the run reaches, in cycles: the carrier's own advance and the swing on
        // top of it; also catches steps that overflow. Blames the larger part: the level when
        // it is above 100 %, the centre frequency otherwise.
        const double span = std::trunc(frames) / sampleRate;
        const double carrier = span * std::fabs(centerFrequency);
        const double swing = carrier * std::fabs(levelPercent) * 0.01;
        if (!(carrier + swing < kMaxPhaseCycles)) {
            const bool level = swing > carrier;
            std::snprintf(
                message, messageSize,
                "%s over %s s is too large: |center| x (1 + |level| / 100) x duration must "
                "stay below %s cycles",
                (level ? "Level " + FormatShortest(levelPercent) + " % of " +
                             FormatShortest(centerFrequency) + " Hz"
                       : "Center frequency " + FormatShortest(centerFrequency) + " Hz at level " +
                             FormatShortest(levelPercent) + " %")
                    .c_str(),
                durationText.c_str(), FormatShortest(kMaxPhaseCycles).c_str());
            return level ? ToneArgument::kLevel : ToneArgument::kCenterFrequency;
        }
        if (!(span * std::fabs(modFrequency) < kMaxPhaseCycles)) {
            std::snprintf(message, messageSize,
                          "Modulation frequency %s Hz over %s s is too large: "
                          "|modulation| x duration must stay below %s cycles",
                          FormatShortest(modFrequency).c_str(), durationText.c_str(),
                          FormatShortest(kMaxPhaseCycles).c_str());
            return ToneArgument::kModFrequency;
        }
    }
    return ToneArgument::kNone;
}

int TestToneFrames(int sampleRate, double duration) {
    return static_cast<int>(UnroundedFrames(sampleRate, duration));
}

namespace {

// Fills WaveHeader for frames samples, prints its summary when asked and writes it.
bool WriteHeader(FILE* file, int sampleRate, int frames, bool printSummary) {
    SetSampleSize(kBitsPerSample);
    SetSampleRate(sampleRate);
    SetNumChannels(1);
    SetSampleCount(frames);
    SetFormatTag(kFormatTagPcm);
    if (printSummary) PrintWaveHeader();
    return WriteWaveHeader(file) >= 0;
}

// Phase advances per sample, in cycles. T is infinite for rate 0, and then nothing uses them.
tone_kernels::Steps StepsFor(int sampleRate, double centerFrequency, double levelPercent,
                             double modFrequency) {
    const double T = 1.0 / sampleRate;
    return {T * centerFrequency, ((T * centerFrequency) * levelPercent) * 0.01, T * modFrequency};
}

int WriteTone(FILE* file, int sampleRate, double centerFrequency, double levelPercent,
              double modFrequency, double duration, bool printSummary) {
    const int frames = TestToneFrames(sampleRate, duration);
    if (!WriteHeader(file, sampleRate, frames, printSummary)) return -1;

    const tone_kernels::Steps steps =
        StepsFor(sampleRate, centerFrequency, levelPercent, modFrequency);
    const tone_kernels::BlockFunction computeBlock = tone_kernels::ActiveBlockFunction();
    // Carrier phase in cycles, accumulated sample by sample and never wrapped, so that the
    // modulation acts on the frequency.
    double phase = 0.0;
    int16_t block[kSampleBlockSize];
    for (int first = 0; first < frames; first += kSampleBlockSize) {
        const int count = frames - first < kSampleBlockSize ? frames - first : kSampleBlockSize;
        computeBlock(steps, first, count, &phase, block);
        if (!WriteBlock(file, block, count)) return -1;
    }
    return 0;
}

}  // namespace

int WriteTestTone(FILE* file, int sampleRate, double centerFrequency, double levelPercent,
                  double modFrequency, double duration) {
    return WriteTone(file, sampleRate, centerFrequency, levelPercent, modFrequency, duration, true);
}

int WriteTestToneQuietly(FILE* file, int sampleRate, double centerFrequency, double levelPercent,
                         double modFrequency, double duration) {
    return WriteTone(file, sampleRate, centerFrequency, levelPercent, modFrequency, duration,
                     false);
}

int WriteTestToneReference(FILE* file, int sampleRate, double centerFrequency, double levelPercent,
                           double modFrequency, double duration) {
    const int frames = TestToneFrames(sampleRate, duration);
    if (!WriteHeader(file, sampleRate, frames, true)) return -1;

    const tone_kernels::Steps steps =
        StepsFor(sampleRate, centerFrequency, levelPercent, modFrequency);
    double phase = 0.0;
    int16_t block[kSampleBlockSize];
    int fill = 0;
    for (int i = 0; i < frames; ++i) {
        const double m = static_cast<double>(i) * steps.modStep;
        phase =
            steps.deviation * std::sin(kTwoPi * (m - std::floor(m))) + phase + steps.carrierStep;
        const double s = std::sin(kTwoPi * (phase - std::floor(phase)));
        block[fill++] = ToSample(s);
        if (fill == kSampleBlockSize) {
            if (!WriteBlock(file, block, fill)) return -1;
            fill = 0;
        }
    }
    if (fill > 0 && !WriteBlock(file, block, fill)) return -1;
    return 0;
}

namespace {

// One of the generator's failure lines, on standard output as always; where standard output
// is lost, on standard error too, so that the failure is seen somewhere.
void ReportFailure(const char* format, const char* path) {
    std::printf(format, path);
    if (!StandardStreamIntact(StandardStream::kOutput, nullptr)) {
        std::fprintf(stderr, format, path);
    }
}

// After the file is in place: whether everything meant for standard output and standard error
// arrived. A lost standard output is said on standard error, with what matters most: the file
// itself is complete.
bool StandardStreamsKept(const char* path) {
    std::string reason;
    const bool output = StandardStreamIntact(StandardStream::kOutput, &reason);
    if (!output) {
        std::fprintf(stderr, "Cannot write standard output (%s): the file %s itself is complete\n",
                     reason.c_str(), path);
    }
    const bool error = StandardStreamIntact(StandardStream::kError, nullptr);
    return output && error;
}

}  // namespace

int GenerateTestTone(int sampleRate, const char* path, double centerFrequency, double levelPercent,
                     double modFrequency, double duration) {
    char message[256];
    if (CheckTestToneArguments(sampleRate, centerFrequency, levelPercent, modFrequency, duration,
                               message, sizeof message) != ToneArgument::kNone) {
        std::printf("%s\n", message);
        std::fflush(stdout);
        return kTestToneRejected;
    }

    // Written under a temporary name and put in place when complete (devices and pipes in
    // place): a failure or an interruption leaves no partial file at path.
    FILE* file = OpenOutputFile(path);
    if (file == nullptr) {
        ReportFailure("Cannot open %s\n", path);
        std::exit(1);
    }
    // Two blocks per system call, at file offsets that are multiples of the buffer: fewer and
    // page-aligned writes than the stream's default buffer (4 KiB) gives. The buffer outlives
    // the stream, which is closed below on every path.
    char streamBuffer[2 * kSampleBlockSize * sizeof(int16_t)];
    std::setvbuf(file, streamBuffer, _IOFBF, sizeof streamBuffer);
    std::printf("Opened %s\n", path);
    std::fflush(stdout);

    if (WriteTestTone(file, sampleRate, centerFrequency, levelPercent, modFrequency, duration) !=
        0) {
        DiscardOutputFile(file);
        ReportFailure("Cannot write %s\n", path);
        std::exit(1);
    }
    if (!CommitOutputFile(file)) {
        ReportFailure("Cannot write %s\n", path);
        std::exit(1);
    }
    return StandardStreamsKept(path) ? 0 : kTestToneOutputLost;
}
