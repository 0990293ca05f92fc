// The 32-point synthesis transform with SSE2: two 16 x 16 products over the mirrored sums and
// differences, four outputs per register.
#include "simd_members.h"

#if TUNELO_SIMD_MEMBERS

#include <emmintrin.h>

#include "synthesis_dct_matrix.h"

namespace tunelo {

namespace {

TUNELO_TARGET_SSE2 inline __m128 ReverseFour(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

// The transform of s_0..s_31, given four at a time.
TUNELO_TARGET_SSE2 inline void Transform(const __m128 (&s)[8], float* destination) {
    static const TDctMatrices& matrices = DctMatrices();
    alignas(16) float sums[16];
    alignas(16) float differences[16];
    for (int32_t k = 0; k < 4; ++k) {
        const __m128 mirrored = ReverseFour(s[7 - k]); // s_(31 - 4k) .. s_(28 - 4k)
        _mm_store_ps(sums + 4 * k, _mm_add_ps(s[k], mirrored));
        _mm_store_ps(differences + 4 * k, _mm_sub_ps(s[k], mirrored));
    }
    __m128 even[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    __m128 odd[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (int32_t n = 0; n < 16; ++n) {
        const __m128 sum = _mm_load1_ps(sums + n);
        const __m128 difference = _mm_load1_ps(differences + n);
        for (int32_t q = 0; q < 4; ++q) {
            even[q] = _mm_add_ps(even[q], _mm_mul_ps(sum, _mm_load_ps(matrices.Even[n] + 4 * q)));
            odd[q] = _mm_add_ps(odd[q], _mm_mul_ps(difference, _mm_load_ps(matrices.Odd[n] + 4 * q)));
        }
    }
    // even[q] holds c_(8q), c_(8q + 2), c_(8q + 4), c_(8q + 6); odd[q] the values between them.
    for (int32_t q = 0; q < 4; ++q) {
        _mm_storeu_ps(destination + 8 * q, _mm_unpacklo_ps(even[q], odd[q]));
        _mm_storeu_ps(destination + 8 * q + 4, _mm_unpackhi_ps(even[q], odd[q]));
    }
}

} // namespace

TUNELO_TARGET_SSE2 void SubbandDctSse2(const float* input, float* destination) {
    __m128 s[8];
    for (int32_t k = 0; k < 8; ++k) {
        s[k] = _mm_loadu_ps(input + 4 * k);
    }
    Transform(s, destination);
}

// The last pair is read from input[56..59] and input[59..62]: input[63], the second value of the
// row's last pair, may lie beyond the caller's buffer.
TUNELO_TARGET_SSE2 void SubbandDctPairSse2(const float* input, float* destination) {
    __m128 s[8];
    for (int32_t k = 0; k < 7; ++k) {
        s[k] = _mm_shuffle_ps(_mm_loadu_ps(input + 8 * k), _mm_loadu_ps(input + 8 * k + 4),
                              _MM_SHUFFLE(2, 0, 2, 0));
    }
    s[7] = _mm_shuffle_ps(_mm_loadu_ps(input + 56), _mm_loadu_ps(input + 59), _MM_SHUFFLE(3, 1, 2, 0));
    Transform(s, destination);
}

TUNELO_TARGET_SSE2 void SubbandDctMixSse2(const float* input, float* destination) {
    __m128 s[8];
    const __m128 half = _mm_set1_ps(0.5f);
    for (int32_t k = 0; k < 8; ++k) {
        const __m128 a = _mm_loadu_ps(input + 8 * k);
        const __m128 b = _mm_loadu_ps(input + 8 * k + 4);
        const __m128 even = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 odd = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        s[k] = _mm_mul_ps(_mm_add_ps(even, odd), half);
    }
    Transform(s, destination);
}

} // namespace tunelo

#endif
