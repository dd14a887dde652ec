// Tests of the generator's sample kernels: each block function against a scalar loop with the
// kernel's own sine, the default file byte for byte, other signals within one step of the
// straightforward per-sample loop, and the choice of kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "synth/test_tone.h"
#include "synth/tone_kernels.h"
#include "tests/test_support.h"

namespace {

constexpr ToneKernel kAllKernels[] = {ToneKernel::kPortable, ToneKernel::kSse4, ToneKernel::kAvx2,
                                      ToneKernel::kAvx512};

struct Signal {
    int rate;
    double center, level, mod, duration;
};

using Writer = int (*)(FILE*, int, double, double, double, double);

std::vector<unsigned char> Bytes(Writer write, const Signal& s) {
    RecordingStream stream;
    ::testing::internal::CaptureStdout();  // the header summary
    EXPECT_EQ(write(stream.file(), s.rate, s.center, s.level, s.mod, s.duration), 0);
    ::testing::internal::GetCapturedStdout();
    return stream.bytes();
}

// Puts back the kernel that was active when it was made.
class KernelGuard {
public:
    KernelGuard() : saved_(ActiveToneKernel()) {}
    ~KernelGuard() { SetToneKernel(saved_); }
    KernelGuard(const KernelGuard&) = delete;
    KernelGuard& operator=(const KernelGuard&) = delete;

private:
    ToneKernel saved_;
};

std::vector<ToneKernel> AvailableKernels() {
    std::vector<ToneKernel> kernels;
    for (ToneKernel kernel : kAllKernels) {
        if (ToneKernelAvailable(kernel)) kernels.push_back(kernel);
    }
    return kernels;
}

// The per-sample recipe with a given sine, one sample after the other: what every block
// function must reproduce bit for bit when given that kernel's sine.
double ScalarBlock(tone_kernels::SineFunction sine, const tone_kernels::Steps& steps, int first,
                   int count, double phase, int16_t* out) {
    for (int j = 0; j < count; ++j) {
        const double m = static_cast<double>(first + j) * steps.modStep;
        phase = steps.deviation * sine(tone_kernels::kTwoPi * (m - std::floor(m))) + phase +
                steps.carrierStep;
        out[j] = tone_kernels::ToSample(sine(tone_kernels::kTwoPi * (phase - std::floor(phase))));
    }
    return phase;
}

// Catches any operation a kernel computes differently from the recipe (a fused multiply-add,
// a reordered sum, a lane or chunk boundary off by one): with the kernel's own sine the samples
// and the carried phase must match to the last bit, not merely within a step.
TEST(ToneKernels, EveryBlockFunctionFollowsTheRecipeWithItsOwnSine) {
    const double rate = 44100.0;
    const tone_kernels::Steps defaults{3150.0 / rate, ((3150.0 / rate) * 1.0) * 0.01, 4.0 / rate};
    const tone_kernels::Steps negative{-0.0714, -0.00311, -0.000117};
    const tone_kernels::Steps wide{0.3, 0.2, 0.0123};
    // Steps that carry the phase across 2^52 cycles, past which no fraction is left, and a
    // modulator whose i × modStep lies far beyond 2^52.
    const tone_kernels::Steps huge{0.75, 0.25, 3.3e12};
    constexpr int kLastFirst = static_cast<int>(kMaxTestToneFrames) - kSampleBlockSize;
    const struct {
        tone_kernels::Steps steps;
        int first, count;
        double phase;
    } cases[] = {
        {defaults, 0, 1, 0.0},
        {defaults, 0, 13, 0.0},
        {defaults, 8192, 127, 1.5},
        {defaults, 16384, 129, 37.25},
        {defaults, 24576, 8191, 12345.678},
        {defaults, 0, kSampleBlockSize, 0.0},
        {defaults, kLastFirst, kSampleBlockSize, 7.6e7},
        {defaults, kLastFirst + 8179, 13, 7.6e7},
        {negative, 0, 129, 0.0},
        {negative, 40960, 8191, -1234.5},
        {wide, 1000, 8191, 3.0},
        {huge, 0, 8191, 0x1p52 - 1500.25},
        {huge, 5000, 129, 1e17},
        {huge, kLastFirst, 127, -3e20},
    };
    std::vector<int16_t> expected(kSampleBlockSize);
    std::vector<int16_t> actual(kSampleBlockSize + 16);
    int tested = 0;
    for (ToneKernel kernel : AvailableKernels()) {
        const tone_kernels::BlockFunction block = tone_kernels::KernelBlockFunction(kernel);
        const tone_kernels::SineFunction sine = tone_kernels::KernelSineFunction(kernel);
        ASSERT_NE(block, nullptr) << ToneKernelName(kernel);
        ASSERT_NE(sine, nullptr) << ToneKernelName(kernel);
        for (const auto& c : cases) {
            const std::string where = std::string(ToneKernelName(kernel)) + ", first " +
                                      std::to_string(c.first) + ", count " +
                                      std::to_string(c.count);
            const double want =
                ScalarBlock(sine, c.steps, c.first, c.count, c.phase, expected.data());
            double got = c.phase;
            block(c.steps, c.first, c.count, &got, actual.data());
            EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(want))
                << where << ": phase " << got << " instead of " << want;
            const auto mismatch =
                std::mismatch(expected.begin(), expected.begin() + c.count, actual.begin());
            EXPECT_TRUE(mismatch.first == expected.begin() + c.count)
                << where << ": sample " << (mismatch.first - expected.begin()) << " is "
                << *mismatch.second << " instead of " << *mismatch.first;
            ++tested;
        }
    }
    EXPECT_GE(tested, static_cast<int>(std::size(cases)));
}

TEST(ToneKernels, EveryAvailableKernelWritesTheDefaultFileByteForByte) {
    KernelGuard guard;
    const Signal defaults{44100, 3150, 1, 4, 30};
    const std::vector<unsigned char> reference = Bytes(WriteTestToneReference, defaults);
    ASSERT_EQ(reference.size(), 2646044u);
    // The whole file pinned, header and every sample (its md5 is
    // f381080cbdf77566deea73bb5ada1bf2).
    EXPECT_EQ(Fnv1a64(reference), 0x83ffb3725f2930f5u);
    for (ToneKernel kernel : AvailableKernels()) {
        ASSERT_TRUE(SetToneKernel(kernel));
        EXPECT_TRUE(Bytes(WriteTestTone, defaults) == reference) << ToneKernelName(kernel);
    }
}

TEST(ToneKernels, PortableKernelCanBeForcedAndFollowsTheReferenceExactly) {
    KernelGuard guard;
    ASSERT_TRUE(ToneKernelAvailable(ToneKernel::kPortable));
    ASSERT_TRUE(SetToneKernel(ToneKernel::kPortable));
    EXPECT_EQ(ActiveToneKernel(), ToneKernel::kPortable);
    // A partial last block, a partial last chunk, and a negative carrier and modulation.
    for (const Signal& s :
         {Signal{8000, 1000, 20, 0.5, 2.3456}, Signal{48000, -3000, 3, -7, 1.01}}) {
        EXPECT_TRUE(Bytes(WriteTestTone, s) == Bytes(WriteTestToneReference, s)) << s.rate;
    }
}

TEST(ToneKernels, EnvironmentNamesAnAvailableKernelOrGetsTheFastest) {
    const ToneKernel fastest = tone_kernels::ChooseKernel(nullptr);
    EXPECT_TRUE(ToneKernelAvailable(fastest));
    for (ToneKernel kernel : kAllKernels) {
        if (ToneKernelAvailable(kernel)) {
            EXPECT_LE(static_cast<int>(kernel), static_cast<int>(fastest));
        }
        EXPECT_EQ(tone_kernels::ChooseKernel(ToneKernelName(kernel)),
                  ToneKernelAvailable(kernel) ? kernel : fastest)
            << ToneKernelName(kernel);
    }
    EXPECT_EQ(tone_kernels::ChooseKernel("portable"), ToneKernel::kPortable);
    EXPECT_EQ(tone_kernels::ChooseKernel("AVX2"), fastest);
    EXPECT_EQ(tone_kernels::ChooseKernel(""), fastest);
}

TEST(ToneKernels, UnavailableKernelIsRefusedAndLeavesTheChoiceAlone) {
    KernelGuard guard;
    ASSERT_TRUE(SetToneKernel(ToneKernel::kPortable));
    // A value outside the enumeration is never available, whatever the processor.
    const auto invalid = static_cast<ToneKernel>(99);
    EXPECT_FALSE(ToneKernelAvailable(invalid));
    EXPECT_FALSE(SetToneKernel(invalid));
    EXPECT_EQ(ActiveToneKernel(), ToneKernel::kPortable);
    EXPECT_EQ(tone_kernels::KernelBlockFunction(invalid), nullptr);
    for (ToneKernel kernel : kAllKernels) {
        if (ToneKernelAvailable(kernel)) continue;
        EXPECT_FALSE(SetToneKernel(kernel)) << ToneKernelName(kernel);
        EXPECT_EQ(ActiveToneKernel(), ToneKernel::kPortable);
    }
}

// Where the processor is known (the emulated ones), the kernel picked at start must be the
// one expected there: a dispatch that falls back too far, or not far enough, fails here.
TEST(ToneKernels, StartingKernelIsTheOneExpectedOnThisProcessor) {
    const char* expected = std::getenv("WOBBLEGEN_EXPECT_TONE_KERNEL");
    if (expected == nullptr) GTEST_SKIP() << "WOBBLEGEN_EXPECT_TONE_KERNEL is not set";
    EXPECT_STREQ(ToneKernelName(ActiveToneKernel()), expected);
    EXPECT_STREQ(ToneKernelName(tone_kernels::ChooseKernel(nullptr)), expected);
}

#ifdef WOBBLEGEN_SHORT_SIGNALS
constexpr double kDurationScale = 0.02;  // sanitizer builds run some thirty times slower
#else
constexpr double kDurationScale = 1.0;
#endif

// The vectorised sines may differ from the C library's by an ulp; a sample then moves by one
// step where it lands within rounding distance of a half, and a carrier phase that once rounds
// the other way keeps its last-bit offset. Neither may grow past one step.
TEST(ToneKernels, OtherSignalsStayWithinOneStepOfTheReference) {
    KernelGuard guard;
    const Signal signals[] = {
        {8000, 1000, 0.5, 0.5, 60},
        {11025, 440, 20, 6, 45},
        {22050, 3000, 2, 10, 30},
        {44100, 3150, 20, 4, 180},
        {44100, 15000, 0.1, 1000, 30},
        {48000, 3000, 1, 4, 30},
        {96000, 12345.6, 5, 0.3, 20},
        {192000, 20000, 10, 250, 10},
        {44100, -3150, 1, -4, 10},
        // Carrier phases of 10^9 cycles, and far past 2^52 cycles where no fraction is left.
        {8000, 1e9, 1, 4, 2},
        {1000, 1e290, 1, 1e280, 1},
    };
    long samples = 0;
    std::vector<long> differing(std::size(kAllKernels), 0);
    for (Signal s : signals) {
        s.duration *= kDurationScale;
        const std::vector<unsigned char> reference = Bytes(WriteTestToneReference, s);
        samples += static_cast<long>(reference.size() - 44) / 2;
        for (ToneKernel kernel : AvailableKernels()) {
            ASSERT_TRUE(SetToneKernel(kernel));
            const std::vector<unsigned char> fast = Bytes(WriteTestTone, s);
            ASSERT_EQ(fast.size(), reference.size());
            ASSERT_TRUE(std::equal(fast.begin(), fast.begin() + 44, reference.begin()));
            for (size_t i = 44; i < fast.size(); i += 2) {
                const int a = static_cast<int16_t>(fast[i] | fast[i + 1] << 8);
                const int b = static_cast<int16_t>(reference[i] | reference[i + 1] << 8);
                if (a == b) continue;
                ++differing[static_cast<size_t>(kernel)];
                ASSERT_LE(std::abs(a - b), 1)
                    << ToneKernelName(kernel) << " at " << s.rate << " Hz, sample " << (i - 44) / 2;
            }
        }
    }
    for (ToneKernel kernel : AvailableKernels()) {
        const long n = differing[static_cast<size_t>(kernel)];
        const double share = static_cast<double>(n) / static_cast<double>(samples);
        std::printf("%-8s %ld of %ld samples differ by one step from the reference (%.2e)\n",
                    ToneKernelName(kernel), n, samples, share);
        if (kernel == ToneKernel::kPortable) {
            EXPECT_EQ(n, 0);
        }
        EXPECT_LE(share, 1e-4) << ToneKernelName(kernel);
    }
}

}  // namespace
