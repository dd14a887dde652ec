// The inner sample loop of the test-tone generator, in one implementation per instruction set.
// Internal to the synth library; the processor-independent parts live in tone_kernels.cpp.
#pragma once

#include <cstdint>

#include "synth/test_tone.h"

// The phase is a running sum whose additions must happen one by one, in the written order, and
// every sample's bits depend on that: fast-math would reassociate or contract those sums and
// change the file.
#ifdef __FAST_MATH__
#error "The test-tone kernels must not be built with -ffast-math (it reorders the phase sums)"
#endif

namespace tone_kernels {

// 2π as the double nearest to it.
constexpr double kTwoPi = 6.283185307179586;
// Half of 16-bit full scale (about -6 dBFS): samples stay within -16384 ... 16384.
constexpr double kAmplitude = 16384.0;

// Samples per pipeline stage. A kernel works in three buffers of kChunk doubles (3 KiB on the
// stack, beside the 16 KiB sample block); larger chunks measured no faster. A multiple of every
// kernel's group and a divisor of kSampleBlockSize.
constexpr int kChunk = 128;
static_assert(kSampleBlockSize % kChunk == 0 && kChunk % 16 == 0);

// Per-sample advances, in cycles.
struct Steps {
    double carrierStep;
    double deviation;
    double modStep;
};

// Computes samples first ... first + count - 1 of the tone into out and carries the carrier
// phase (cycles) in *phase. count is 1 ... kSampleBlockSize; out has room for count rounded up
// to a multiple of 16 (the lanes past count receive unspecified values). first + count + 16
// must not overflow an int, which the frame limit ensures.
using BlockFunction = void (*)(const Steps& steps, int first, int count, double* phase,
                               int16_t* out);

// A kernel's sine for one value: the argument broadcast through the kernel's own vector sine,
// lane 0 returned. Lanes are independent, so this is the value every lane gets for x.
using SineFunction = double (*)(double x);

void BlockPortable(const Steps& steps, int first, int count, double* phase, int16_t* out);
double SinePortable(double x);
#if WOBBLEGEN_HAVE_SLEEF_X86
void BlockSse4(const Steps& steps, int first, int count, double* phase, int16_t* out);
void BlockAvx2(const Steps& steps, int first, int count, double* phase, int16_t* out);
void BlockAvx512(const Steps& steps, int first, int count, double* phase, int16_t* out);
double SineSse4(double x);
double SineAvx2(double x);
double SineAvx512(double x);
#endif

// The block function of the kernel in use for this process.
BlockFunction ActiveBlockFunction();

// The block function and the one-value sine of kernel when it is built into this program
// (whether or not this processor can run it), otherwise null.
BlockFunction KernelBlockFunction(ToneKernel kernel);
SineFunction KernelSineFunction(ToneKernel kernel);

// The kernel a process starts with when WOBBLEGEN_TONE_KERNEL holds wanted (null when unset):
// the kernel of that name when it is available, otherwise the fastest available one.
ToneKernel ChooseKernel(const char* wanted);

// Rounds half away from zero and narrows to a sample; |s| <= 1.
static inline int16_t ToSample(double s) {
    double v = s * kAmplitude;
    v = s >= 0.0 ? v + 0.5 : v - 0.5;
    return static_cast<int16_t>(static_cast<int>(v));
}

// The serial part: on entry work[j] holds deviation × the modulator's sine for sample j, on
// return the carrier phase after sample j; the phase after the last one is returned. The sums
// run left to right, one sample after the other, exactly as in the straightforward loop.
static inline double AccumulatePhase(double* work, int count, double phase, double carrierStep) {
    for (int j = 0; j < count; ++j) {
        phase = work[j] + phase + carrierStep;
        work[j] = phase;
    }
    return phase;
}

// Computes a block in three stages over chunks of kChunk samples: the modulator terms of chunk
// c + 1, the phase chain of chunk c and the carrier samples of chunk c - 1 run in one loop, so
// that the processor overlaps the chain's serial additions with the independent sines. The
// arguments of each chunk's sines are prepared in a pass of their own beforehand: computed in
// line, their latency would hold up every sine call.
//
// Kernel is an instruction-set type of internal linkage (so that each instantiation stays in
// its own file) with kGroup, the samples per step (a divisor of 16), and for the kGroup samples
// at the pointers:
//   ModulatorArguments(index, out): out = 2π frac(i × modStep) for the samples i = index ...;
//   ModulatorTerms(values): values = deviation × sin(values);
//   CarrierArguments(values): values = 2π frac(values), from the carrier phases in cycles;
//   CarrierSamples(radians, out): out = the samples for sines of radians.
// Lanes past count get the modulator terms of samples past the end (finite), and their samples
// land in out's padding.
template <class Kernel>
void PipelinedBlock(const Kernel& kernel, double carrierStep, int first, int count, double* phase,
                    int16_t* out) {
    constexpr int kGroup = Kernel::kGroup;
    static_assert(16 % kGroup == 0);
    alignas(64) double work[3][kChunk];
    const int chunks = (count + kChunk - 1) / kChunk;
    const auto size = [count](int c) {
        return count - c * kChunk < kChunk ? count - c * kChunk : kChunk;
    };
    const auto padded = [](int n) { return (n + kGroup - 1) / kGroup * kGroup; };

    for (int g = 0; g < padded(size(0)); g += kGroup) {
        kernel.ModulatorArguments(first + g, work[0] + g);
        kernel.ModulatorTerms(work[0] + g);
    }
    double p = *phase;
    for (int c = 0; c <= chunks; ++c) {
        double* next = work[(c + 1) % 3];
        double* chain = work[c % 3];
        double* previous = work[(c + 2) % 3];
        const int nNext = c + 1 < chunks ? padded(size(c + 1)) : 0;
        const int nChain = c < chunks ? size(c) : 0;
        const int nPrevious = c > 0 ? padded(size(c - 1)) : 0;
        int16_t* previousOut = c > 0 ? out + (c - 1) * kChunk : out;
        if (nNext > 0) {
            // Only for a chunk that exists: indices stay below first + count + 16.
            const int nextFirst = first + (c + 1) * kChunk;
            for (int g = 0; g < nNext; g += kGroup) {
                kernel.ModulatorArguments(nextFirst + g, next + g);
            }
        }
        for (int g = 0; g < nPrevious; g += kGroup) kernel.CarrierArguments(previous + g);
        int span = nNext > nChain ? nNext : nChain;
        span = span > nPrevious ? span : nPrevious;
        for (int g = 0; g < span; g += kGroup) {
            if (g < nNext) kernel.ModulatorTerms(next + g);
            if (g < nChain) {
                p = AccumulatePhase(chain + g, nChain - g < kGroup ? nChain - g : kGroup, p,
                                    carrierStep);
            }
            if (g < nPrevious) kernel.CarrierSamples(previous + g, previousOut + g);
        }
    }
    *phase = p;
}

}  // namespace tone_kernels
