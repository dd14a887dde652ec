// The sample kernel for AVX2 with FMA: four samples per vector, SLEEF's 1-ulp sine.
// Built with -mavx2 -mfma and run only where the processor has both; uses no standard-library
// inline code, so nothing compiled here can stand in for the portable code elsewhere.
#include <immintrin.h>
#include <sleef.h>

#include "synth/tone_kernels.h"

namespace tone_kernels {

namespace {

constexpr int kLanes = 4;

// 2π × (x − floor(x)): the fraction of a phase in cycles, in radians.
inline __m256d FractionRadians(__m256d x) {
    return _mm256_mul_pd(_mm256_set1_pd(kTwoPi), _mm256_sub_pd(x, _mm256_floor_pd(x)));
}

// s × 16384, then ±0.5 by the sign of s, truncated toward zero.
inline __m128i ToSamples(__m256d s) {
    const __m256d v = _mm256_mul_pd(s, _mm256_set1_pd(kAmplitude));
    const __m256d nonNegative = _mm256_cmp_pd(s, _mm256_setzero_pd(), _CMP_GE_OQ);
    const __m256d rounded = _mm256_blendv_pd(_mm256_sub_pd(v, _mm256_set1_pd(0.5)),
                                             _mm256_add_pd(v, _mm256_set1_pd(0.5)), nonNegative);
    return _mm256_cvttpd_epi32(rounded);
}

struct Avx2 {
    static constexpr int kGroup = 2 * kLanes;
    __m256d modStep;
    __m256d deviation;

    void ModulatorArguments(int index, double* out) const {
        const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
        for (int j = 0; j < kGroup; j += kLanes) {
            const __m128i indices = _mm_add_epi32(_mm_set1_epi32(index + j), lane);
            const __m256d m = _mm256_mul_pd(_mm256_cvtepi32_pd(indices), modStep);
            _mm256_store_pd(out + j, FractionRadians(m));
        }
    }

    void ModulatorTerms(double* values) const {
        for (int j = 0; j < kGroup; j += kLanes) {
            const __m256d s = Sleef_sind4_u10avx2(_mm256_load_pd(values + j));
            _mm256_store_pd(values + j, _mm256_mul_pd(deviation, s));
        }
    }

    static void CarrierArguments(double* values) {
        for (int j = 0; j < kGroup; j += kLanes) {
            _mm256_store_pd(values + j, FractionRadians(_mm256_load_pd(values + j)));
        }
    }

    static void CarrierSamples(const double* radians, int16_t* out) {
        const __m128i low = ToSamples(Sleef_sind4_u10avx2(_mm256_load_pd(radians)));
        const __m128i high = ToSamples(Sleef_sind4_u10avx2(_mm256_load_pd(radians + kLanes)));
        // Samples lie within ±16384: the saturating pack only narrows.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(low, high));
    }
};

}  // namespace

void BlockAvx2(const Steps& steps, int first, int count, double* phase, int16_t* out) {
    const Avx2 kernel{_mm256_set1_pd(steps.modStep), _mm256_set1_pd(steps.deviation)};
    PipelinedBlock(kernel, steps.carrierStep, first, count, phase, out);
}

double SineAvx2(double x) {
    return _mm256_cvtsd_f64(Sleef_sind4_u10avx2(_mm256_set1_pd(x)));
}

}  // namespace tone_kernels
