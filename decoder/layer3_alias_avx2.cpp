// Alias reduction with AVX2 and FMA: the eight butterflies of a subband boundary in one register.
#include "simd_members.h"

#if TUNELO_SIMD_MEMBERS

#include <immintrin.h>

#include <algorithm>

#include "layer3_tables.h"

namespace tunelo {

namespace {

TUNELO_TARGET_AVX2 inline __m256 Reverse(__m256 v) {
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}

// Lane j of the even (first) or odd (second) members of eight interleaved pairs.
TUNELO_TARGET_AVX2 inline __m256 PairMembers(const float (*pairs)[2], bool second) {
    const __m256 a = _mm256_loadu_ps(pairs[0]);
    const __m256 b = _mm256_loadu_ps(pairs[4]);
    const __m256 picked = second ? _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))
                                 : _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(picked), 0xD8));
}

} // namespace

TUNELO_TARGET_AVX2 void AliasReduceAvx2(float* lines, int32_t boundaries) {
    const float(*coefficients)[2] = Layer3Tables().AliasCoefTable;
    const __m256 cs = PairMembers(coefficients, false);
    const __m256 ca = PairMembers(coefficients, true);
    boundaries = std::clamp(boundaries, 0, 31);
    for (int32_t k = 1; k <= boundaries; ++k) {
        float* boundary = lines + 18 * k;
        // Lane j: the line j below the boundary (going down) and the line j above it.
        const __m256 below = Reverse(_mm256_loadu_ps(boundary - 8));
        const __m256 above = _mm256_loadu_ps(boundary);
        const __m256 newBelow = _mm256_fmsub_ps(below, cs, _mm256_mul_ps(above, ca));
        const __m256 newAbove = _mm256_fmadd_ps(below, ca, _mm256_mul_ps(above, cs));
        _mm256_storeu_ps(boundary - 8, Reverse(newBelow));
        _mm256_storeu_ps(boundary, newAbove);
    }
}

} // namespace tunelo

#endif
