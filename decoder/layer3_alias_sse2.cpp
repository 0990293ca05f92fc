// Alias reduction with SSE2: the eight butterflies of a subband boundary in two registers.
#include "simd_members.h"

#if TUNELO_SIMD_MEMBERS

#include <emmintrin.h>

#include <algorithm>

#include "layer3_tables.h"

namespace tunelo {

namespace {

TUNELO_TARGET_SSE2 inline __m128 ReverseFour(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

} // namespace

TUNELO_TARGET_SSE2 void AliasReduceSse2(float* lines, int32_t boundaries) {
    const float(*coefficients)[2] = Layer3Tables().AliasCoefTable;
    __m128 cs[2];
    __m128 ca[2];
    for (int32_t h = 0; h < 2; ++h) {
        const __m128 a = _mm_loadu_ps(coefficients[4 * h]);
        const __m128 b = _mm_loadu_ps(coefficients[4 * h + 2]);
        cs[h] = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        ca[h] = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }
    boundaries = std::clamp(boundaries, 0, 31);
    for (int32_t k = 1; k <= boundaries; ++k) {
        float* boundary = lines + 18 * k;
        // Half h, lane j: the line 4h + j below the boundary (going down) and the one above it.
        for (int32_t h = 0; h < 2; ++h) {
            const __m128 below = ReverseFour(_mm_loadu_ps(boundary - 4 - 4 * h));
            const __m128 above = _mm_loadu_ps(boundary + 4 * h);
            const __m128 newBelow = _mm_sub_ps(_mm_mul_ps(below, cs[h]), _mm_mul_ps(above, ca[h]));
            const __m128 newAbove = _mm_add_ps(_mm_mul_ps(above, cs[h]), _mm_mul_ps(below, ca[h]));
            _mm_storeu_ps(boundary - 4 - 4 * h, ReverseFour(newBelow));
            _mm_storeu_ps(boundary + 4 * h, newAbove);
        }
    }
}

} // namespace tunelo

#endif
