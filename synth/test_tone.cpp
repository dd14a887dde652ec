// Generator of the wow-and-flutter test tone. Every sample follows one fixed sequence of double
// operations; only the sine's last bit may differ between the sample kernels (see ToneKernel).
#include "synth/test_tone.h"

#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "synth/tone_kernels.h"
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
            std::snprintf(message, messageSize, "%s %g is not allowed: it must be a finite number",
                          real.name, real.value);
            return real.argument;
        }
    }
    if (sampleRate < 0) {
        std::snprintf(message, messageSize,
                      "Sample rate %d Hz is not allowed: it must be 0 to 2147483647 Hz",
                      sampleRate);
        return ToneArgument::kSampleRate;
    }
    const double frames = static_cast<double>(sampleRate) * duration + 0.5;
    if (!(frames >= 0.0 && frames < static_cast<double>(kMaxTestToneFrames) + 1.0)) {
        std::snprintf(message, messageSize,
                      "Duration %g s at %d Hz gives %.10g samples: allowed are 0 to %ld "
                      "(%g s at this rate)",
                      duration, sampleRate, std::trunc(frames), kMaxTestToneFrames,
                      sampleRate > 0 ? static_cast<double>(kMaxTestToneFrames) / sampleRate : 0.0);
        return ToneArgument::kDuration;
    }
    if (sampleRate > 0 && frames >= 1.0) {
        // Largest phase the run reaches, in cycles; also catches steps that overflow.
        const double span = std::trunc(frames) / sampleRate;
        const double carrier = span * (std::fabs(centerFrequency) +
                                       std::fabs(centerFrequency) * std::fabs(levelPercent) * 0.01);
        if (!(carrier < kMaxPhaseCycles)) {
            std::snprintf(message, messageSize,
                          "Center frequency %g Hz at level %g %% over %g s is too large: "
                          "|center| x (1 + |level| / 100) x duration must stay below %g cycles",
                          centerFrequency, levelPercent, duration, kMaxPhaseCycles);
            return ToneArgument::kCenterFrequency;
        }
        if (!(span * std::fabs(modFrequency) < kMaxPhaseCycles)) {
            std::snprintf(message, messageSize,
                          "Modulation frequency %g Hz over %g s is too large: "
                          "|modulation| x duration must stay below %g cycles",
                          modFrequency, duration, kMaxPhaseCycles);
            return ToneArgument::kModFrequency;
        }
    }
    return ToneArgument::kNone;
}

int TestToneFrames(int sampleRate, double duration) {
    return static_cast<int>(static_cast<double>(sampleRate) * duration + 0.5);
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

// Removes the incomplete output, but only when it is a regular file and path still names the
// file that was opened: never a device, a pipe, or something that replaced it meanwhile.
void RemoveIncompleteFile(const char* path, bool regular, const struct stat& opened) {
    struct stat now;
    if (regular && ::stat(path, &now) == 0 && S_ISREG(now.st_mode) && now.st_dev == opened.st_dev &&
        now.st_ino == opened.st_ino) {
        std::remove(path);
    }
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

    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::printf("Cannot open %s\n", path);
        std::fflush(stdout);
        std::exit(1);
    }
    // Two blocks per system call, at file offsets that are multiples of the buffer: fewer and
    // page-aligned writes than the stream's default buffer (4 KiB) gives. The buffer outlives
    // the stream, which is closed below on every path.
    char streamBuffer[2 * kSampleBlockSize * sizeof(int16_t)];
    std::setvbuf(file, streamBuffer, _IOFBF, sizeof streamBuffer);
    std::printf("Opened %s\n", path);
    std::fflush(stdout);

    struct stat opened;
    const bool regular = ::fstat(fileno(file), &opened) == 0 && S_ISREG(opened.st_mode);

    const bool written =
        WriteTestTone(file, sampleRate, centerFrequency, levelPercent, modFrequency, duration) == 0;
    const int closed = std::fclose(file);
    if (!written || closed != 0) {
        RemoveIncompleteFile(path, regular, opened);
        std::printf("Cannot write %s\n", path);
        std::fflush(stdout);
        std::exit(1);
    }
    return closed;
}
