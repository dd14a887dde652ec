// The sample kernel for SSE4.1: two samples per vector, SLEEF's 1-ulp sine.
// Built with -msse4.1 and run only where the processor has it; uses no standard-library inline
// code, so nothing compiled here can stand in for the portable code elsewhere.
#include <immintrin.h>
#include <sleef.h>

#include "synth/tone_kernels.h"

namespace tone_kernels {

namespace {

constexpr int kLanes = 2;

// 2π × (x − floor(x)): the fraction of a phase in cycles, in radians.
inline __m128d FractionRadians(__m128d x) {
    return _mm_mul_pd(_mm_set1_pd(kTwoPi), _mm_sub_pd(x, _mm_floor_pd(x)));
}

// s × 16384, then ±0.5 by the sign of s, truncated toward zero; two samples in the low half.
inline __m128i ToSamples(__m128d s) {
    const __m128d v = _mm_mul_pd(s, _mm_set1_pd(kAmplitude));
    const __m128d nonNegative = _mm_cmpge_pd(s, _mm_setzero_pd());
    const __m128d rounded = _mm_blendv_pd(_mm_sub_pd(v, _mm_set1_pd(0.5)),
                                          _mm_add_pd(v, _mm_set1_pd(0.5)), nonNegative);
    return _mm_cvttpd_epi32(rounded);
}

inline __m128i SamplesAt(const double* radians) {
    return ToSamples(Sleef_sind2_u10sse4(_mm_load_pd(radians)));
}

struct Sse4 {
    static constexpr int kGroup = 4 * kLanes;
    __m128d modStep;
    __m128d deviation;

    void ModulatorArguments(int index, double* out) const {
        for (int j = 0; j < kGroup; j += kLanes) {
            const __m128i indices = _mm_setr_epi32(index + j, index + j + 1, 0, 0);
            const __m128d m = _mm_mul_pd(_mm_cvtepi32_pd(indices), modStep);
            _mm_store_pd(out + j, FractionRadians(m));
        }
    }

    void ModulatorTerms(double* values) const {
        for (int j = 0; j < kGroup; j += kLanes) {
            const __m128d s = Sleef_sind2_u10sse4(_mm_load_pd(values + j));
            _mm_store_pd(values + j, _mm_mul_pd(deviation, s));
        }
    }

    static void CarrierArguments(double* values) {
        for (int j = 0; j < kGroup; j += kLanes) {
            _mm_store_pd(values + j, FractionRadians(_mm_load_pd(values + j)));
        }
    }

    static void CarrierSamples(const double* radians, int16_t* out) {
        // Four pairs of 32-bit samples joined, then narrowed (they lie within ±16384).
        const __m128i a = _mm_unpacklo_epi64(SamplesAt(radians), SamplesAt(radians + 2));
        const __m128i b = _mm_unpacklo_epi64(SamplesAt(radians + 4), SamplesAt(radians + 6));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(a, b));
    }
};

}  // namespace

void BlockSse4(const Steps& steps, int first, int count, double* phase, int16_t* out) {
    const Sse4 kernel{_mm_set1_pd(steps.modStep), _mm_set1_pd(steps.deviation)};
    PipelinedBlock(kernel, steps.carrierStep, first, count, phase, out);
}

double SineSse4(double x) {
    return _mm_cvtsd_f64(Sleef_sind2_u10sse4(_mm_set1_pd(x)));
}

}  // namespace tone_kernels
