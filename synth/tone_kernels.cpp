// The portable sample kernel (the C library's sine) and the choice of kernel at run time.
#include "synth/tone_kernels.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tone_kernels {

namespace {

// The C library's sine, one sample at a time: the same operations as the straightforward loop.
struct Portable {
    static constexpr int kGroup = 8;
    double modStep;
    double deviation;

    void ModulatorArguments(int index, double* out) const {
        for (int j = 0; j < kGroup; ++j) {
            const double m = static_cast<double>(index + j) * modStep;
            out[j] = kTwoPi * (m - std::floor(m));
        }
    }

    void ModulatorTerms(double* values) const {
        for (int j = 0; j < kGroup; ++j) values[j] = deviation * std::sin(values[j]);
    }

    static void CarrierArguments(double* values) {
        for (int j = 0; j < kGroup; ++j) values[j] = kTwoPi * (values[j] - std::floor(values[j]));
    }

    static void CarrierSamples(const double* radians, int16_t* out) {
        for (int j = 0; j < kGroup; ++j) out[j] = ToSample(std::sin(radians[j]));
    }
};

}  // namespace

void BlockPortable(const Steps& steps, int first, int count, double* phase, int16_t* out) {
    PipelinedBlock(Portable{steps.modStep, steps.deviation}, steps.carrierStep, first, count, phase,
                   out);
}

double SinePortable(double x) {
    return std::sin(x);
}

}  // namespace tone_kernels

namespace {

using tone_kernels::BlockFunction;
using tone_kernels::SineFunction;

struct KernelEntry {
    ToneKernel kernel;
    BlockFunction block;
    SineFunction sine;
};

// Fastest first.
constexpr KernelEntry kKernels[] = {
#if WOBBLEGEN_HAVE_SLEEF_X86
    {ToneKernel::kAvx512, tone_kernels::BlockAvx512, tone_kernels::SineAvx512},
    {ToneKernel::kAvx2, tone_kernels::BlockAvx2, tone_kernels::SineAvx2},
    {ToneKernel::kSse4, tone_kernels::BlockSse4, tone_kernels::SineSse4},
#endif
    {ToneKernel::kPortable, tone_kernels::BlockPortable, tone_kernels::SinePortable},
};

constexpr ToneKernel kKernelNames[] = {ToneKernel::kPortable, ToneKernel::kSse4, ToneKernel::kAvx2,
                                       ToneKernel::kAvx512};

bool Supported(ToneKernel kernel) {
    switch (kernel) {
#if WOBBLEGEN_HAVE_SLEEF_X86
        case ToneKernel::kAvx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2");
        case ToneKernel::kAvx2:
            // SLEEF's AVX2 sine uses fused multiply-adds internally.
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        case ToneKernel::kSse4:
            return __builtin_cpu_supports("sse4.1");
#endif
        case ToneKernel::kPortable:
            return true;
        default:
            return false;
    }
}

const KernelEntry* Find(ToneKernel kernel) {
    for (const KernelEntry& entry : kKernels) {
        if (entry.kernel == kernel) return &entry;
    }
    return nullptr;
}

const KernelEntry* Choose(const char* wanted) {
    for (const KernelEntry& entry : kKernels) {
        if (wanted != nullptr && std::strcmp(wanted, ToneKernelName(entry.kernel)) == 0 &&
            Supported(entry.kernel)) {
            return &entry;
        }
    }
    for (const KernelEntry& entry : kKernels) {
        if (Supported(entry.kernel)) return &entry;
    }
    return &kKernels[sizeof kKernels / sizeof kKernels[0] - 1];
}

// The kernel named by the environment, or the fastest; a name that cannot be honoured is
// reported on standard error (standard output carries the program's own lines).
const KernelEntry* ChooseFromEnvironment() {
    const char* wanted = std::getenv("WOBBLEGEN_TONE_KERNEL");
    const KernelEntry* chosen = Choose(wanted);
    if (wanted != nullptr && *wanted != '\0' &&
        std::strcmp(wanted, ToneKernelName(chosen->kernel)) != 0) {
        bool known = false;
        for (ToneKernel kernel : kKernelNames) {
            known = known || std::strcmp(wanted, ToneKernelName(kernel)) == 0;
        }
        std::fprintf(stderr, "WOBBLEGEN_TONE_KERNEL=%s: %s; using %s\n", wanted,
                     known ? "not available on this processor or in this build"
                           : "no such kernel (portable, sse4, avx2, avx512)",
                     ToneKernelName(chosen->kernel));
    }
    return chosen;
}

// Written by SetToneKernel, read once per WriteTestTone: any entry is a complete, valid choice,
// so no ordering with other memory is needed.
std::atomic<const KernelEntry*>& Active() {
    static std::atomic<const KernelEntry*> active{ChooseFromEnvironment()};
    return active;
}

}  // namespace

tone_kernels::BlockFunction tone_kernels::ActiveBlockFunction() {
    return Active().load(std::memory_order_relaxed)->block;
}

tone_kernels::BlockFunction tone_kernels::KernelBlockFunction(ToneKernel kernel) {
    const KernelEntry* entry = Find(kernel);
    return entry != nullptr ? entry->block : nullptr;
}

tone_kernels::SineFunction tone_kernels::KernelSineFunction(ToneKernel kernel) {
    const KernelEntry* entry = Find(kernel);
    return entry != nullptr ? entry->sine : nullptr;
}

ToneKernel tone_kernels::ChooseKernel(const char* wanted) {
    return Choose(wanted)->kernel;
}

const char* ToneKernelName(ToneKernel kernel) {
    switch (kernel) {
        case ToneKernel::kPortable:
            return "portable";
        case ToneKernel::kSse4:
            return "sse4";
        case ToneKernel::kAvx2:
            return "avx2";
        case ToneKernel::kAvx512:
            return "avx512";
    }
    return "unknown";
}

bool ToneKernelAvailable(ToneKernel kernel) {
    return Find(kernel) != nullptr && Supported(kernel);
}

ToneKernel ActiveToneKernel() {
    return Active().load(std::memory_order_relaxed)->kernel;
}

bool SetToneKernel(ToneKernel kernel) {
    if (!ToneKernelAvailable(kernel)) return false;
    Active().store(Find(kernel), std::memory_order_relaxed);
    return true;
}
