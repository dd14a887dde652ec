// The sample kernel for AVX-512F: eight samples per vector, SLEEF's 1-ulp sine.
// Built with -mavx512f and run only where the processor has it; uses no standard-library
// inline code, so nothing compiled here can stand in for the portable code elsewhere.
#include <immintrin.h>
#include <sleef.h>

#include "synth/tone_kernels.h"

// GCC 12 takes the deliberately undefined pass-through operands inside the AVX-512 intrinsics
// for uninitialised variables.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace tone_kernels {

namespace {

constexpr int kLanes = 8;

// 2π × (x − floor(x)): the fraction of a phase in cycles, in radians.
inline __m512d FractionRadians(__m512d x) {
    return _mm512_mul_pd(_mm512_set1_pd(kTwoPi), _mm512_sub_pd(x, _mm512_floor_pd(x)));
}

// s × 16384, then ±0.5 by the sign of s, truncated toward zero.
inline __m256i ToSamples(__m512d s) {
    const __m512d v = _mm512_mul_pd(s, _mm512_set1_pd(kAmplitude));
    const __mmask8 nonNegative = _mm512_cmp_pd_mask(s, _mm512_setzero_pd(), _CMP_GE_OQ);
    const __m512d rounded = _mm512_mask_blend_pd(nonNegative, _mm512_sub_pd(v, _mm512_set1_pd(0.5)),
                                                 _mm512_add_pd(v, _mm512_set1_pd(0.5)));
    return _mm512_cvttpd_epi32(rounded);
}

struct Avx512 {
    static constexpr int kGroup = 2 * kLanes;
    __m512d modStep;
    __m512d deviation;

    void ModulatorArguments(int index, double* out) const {
        const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        for (int j = 0; j < kGroup; j += kLanes) {
            const __m256i indices = _mm256_add_epi32(_mm256_set1_epi32(index + j), lane);
            const __m512d m = _mm512_mul_pd(_mm512_cvtepi32_pd(indices), modStep);
            _mm512_store_pd(out + j, FractionRadians(m));
        }
    }

    void ModulatorTerms(double* values) const {
        for (int j = 0; j < kGroup; j += kLanes) {
            const __m512d s = Sleef_sind8_u10avx512f(_mm512_load_pd(values + j));
            _mm512_store_pd(values + j, _mm512_mul_pd(deviation, s));
        }
    }

    static void CarrierArguments(double* values) {
        for (int j = 0; j < kGroup; j += kLanes) {
            _mm512_store_pd(values + j, FractionRadians(_mm512_load_pd(values + j)));
        }
    }

    static void CarrierSamples(const double* radians, int16_t* out) {
        const __m256i low = ToSamples(Sleef_sind8_u10avx512f(_mm512_load_pd(radians)));
        const __m256i high = ToSamples(Sleef_sind8_u10avx512f(_mm512_load_pd(radians + kLanes)));
        // Samples lie within ±16384: narrowing keeps them.
        const __m256i samples =
            _mm512_cvtepi32_epi16(_mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), samples);
    }
};

}  // namespace

void BlockAvx512(const Steps& steps, int first, int count, double* phase, int16_t* out) {
    const Avx512 kernel{_mm512_set1_pd(steps.modStep), _mm512_set1_pd(steps.deviation)};
    PipelinedBlock(kernel, steps.carrierStep, first, count, phase, out);
}

double SineAvx512(double x) {
    return _mm512_cvtsd_f64(Sleef_sind8_u10avx512f(_mm512_set1_pd(x)));
}

}  // namespace tone_kernels
