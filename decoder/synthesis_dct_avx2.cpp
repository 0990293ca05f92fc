// The 32-point synthesis transform with AVX2 and FMA: products over the mirrored sums and differences,
// eight outputs per register, several chains of multiply-adds side by side.
#include "simd_members.h"

#if TUNELO_SIMD_MEMBERS

#include <immintrin.h>

#include "synthesis_dct_matrix.h"

namespace tunelo {

namespace {

TUNELO_TARGET_AVX2 inline __m256 Reverse(__m256 v) {
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}

// c_(2m) and c_(2m + 1), m = 8q .. 8q + 7, interleaved into destination[16q .. 16q + 15].
TUNELO_TARGET_AVX2 inline void StoreInterleaved(__m256 even, __m256 odd, float* destination) {
    const __m256 low = _mm256_unpacklo_ps(even, odd);  // pairs 0, 1 | 4, 5
    const __m256 high = _mm256_unpackhi_ps(even, odd); // pairs 2, 3 | 6, 7
    _mm256_storeu_ps(destination, _mm256_permute2f128_ps(low, high, 0x20));
    _mm256_storeu_ps(destination + 8, _mm256_permute2f128_ps(low, high, 0x31));
}

// The transform of s_0..s_31, given as s[0..7], s[8..15], s[16..23], s[24..31]. The odd outputs come
// from the differences d_n = s_n - s_(31 - n) (a 16 x 16 product); the even ones from the sums a_n,
// split once more into a_n + a_(15 - n) and a_n - a_(15 - n) (two 8 x 8 products): 48 multiply-adds.
TUNELO_TARGET_AVX2 inline void Transform(const __m256 (&s)[4], float* destination) {
    static const TDctMatrices& matrices = DctMatrices();
    const __m256 mirrored0 = Reverse(s[3]); // s_31 .. s_24
    const __m256 mirrored1 = Reverse(s[2]); // s_23 .. s_16
    const __m256 sums0 = _mm256_add_ps(s[0], mirrored0);
    const __m256 sums1 = _mm256_add_ps(s[1], mirrored1);
    const __m256 sums1Mirrored = Reverse(sums1); // a_15 .. a_8
    alignas(32) float evenSums[8];
    alignas(32) float evenDifferences[8];
    alignas(32) float differences[16];
    _mm256_store_ps(evenSums, _mm256_add_ps(sums0, sums1Mirrored));
    _mm256_store_ps(evenDifferences, _mm256_sub_ps(sums0, sums1Mirrored));
    _mm256_store_ps(differences, _mm256_sub_ps(s[0], mirrored0));
    _mm256_store_ps(differences + 8, _mm256_sub_ps(s[1], mirrored1));

    __m256 evenEven = _mm256_setzero_ps(); // c_4k
    __m256 evenOdd = _mm256_setzero_ps();  // c_(4k + 2)
    for (int32_t n = 0; n < 8; ++n) {
        evenEven = _mm256_fmadd_ps(_mm256_broadcast_ss(evenSums + n), _mm256_load_ps(matrices.EvenEven[n]),
                                   evenEven);
        evenOdd = _mm256_fmadd_ps(_mm256_broadcast_ss(evenDifferences + n),
                                  _mm256_load_ps(matrices.EvenOdd[n]), evenOdd);
    }
    // Two accumulators per odd register (even and odd n) halve the length of each chain.
    __m256 odd[2][2] = {{_mm256_setzero_ps(), _mm256_setzero_ps()},
                        {_mm256_setzero_ps(), _mm256_setzero_ps()}};
    for (int32_t n = 0; n < 16; n += 2) {
        for (int32_t h = 0; h < 2; ++h) {
            const __m256 difference = _mm256_broadcast_ss(differences + n + h);
            const float* row = matrices.Odd[n + h];
            odd[h][0] = _mm256_fmadd_ps(difference, _mm256_load_ps(row), odd[h][0]);
            odd[h][1] = _mm256_fmadd_ps(difference, _mm256_load_ps(row + 8), odd[h][1]);
        }
    }
    // c_2m for m = 0..7 and 8..15: c_4k and c_(4k + 2) side by side.
    const __m256 evenLow = _mm256_unpacklo_ps(evenEven, evenOdd);
    const __m256 evenHigh = _mm256_unpackhi_ps(evenEven, evenOdd);
    StoreInterleaved(_mm256_permute2f128_ps(evenLow, evenHigh, 0x20), _mm256_add_ps(odd[0][0], odd[1][0]),
                     destination);
    StoreInterleaved(_mm256_permute2f128_ps(evenLow, evenHigh, 0x31), _mm256_add_ps(odd[0][1], odd[1][1]),
                     destination + 16);
}

// The even-numbered values of in[0..15] in order. With lastBlock the pair is read from in[0..7] and
// in[7..14], so that in[15] is never touched (the second value of the last pair of a row may lie
// beyond the caller's buffer).
template <bool LastBlock> TUNELO_TARGET_AVX2 inline __m256 EvenValues(const float* in) {
    const __m256 a = _mm256_loadu_ps(in);
    if constexpr (LastBlock) {
        const __m256 b = _mm256_loadu_ps(in + 7);
        return _mm256_castpd_ps(
            _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 2, 0))), 0xD8));
    } else {
        const __m256 b = _mm256_loadu_ps(in + 8);
        return _mm256_castpd_ps(
            _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))), 0xD8));
    }
}

// The averages of the eight pairs in in[0..15], in order.
TUNELO_TARGET_AVX2 inline __m256 PairAverages(const float* in) {
    const __m256 a = _mm256_loadu_ps(in);
    const __m256 b = _mm256_loadu_ps(in + 8);
    const __m256 even = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m256 odd = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    const __m256 average = _mm256_mul_ps(_mm256_add_ps(even, odd), _mm256_set1_ps(0.5f));
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(average), 0xD8));
}

} // namespace

TUNELO_TARGET_AVX2 void SubbandDctAvx2(const float* input, float* destination) {
    const __m256 s[4] = {_mm256_loadu_ps(input), _mm256_loadu_ps(input + 8), _mm256_loadu_ps(input + 16),
                         _mm256_loadu_ps(input + 24)};
    Transform(s, destination);
}

TUNELO_TARGET_AVX2 void SubbandDctPairAvx2(const float* input, float* destination) {
    const __m256 s[4] = {EvenValues<false>(input), EvenValues<false>(input + 16),
                         EvenValues<false>(input + 32), EvenValues<true>(input + 48)};
    Transform(s, destination);
}

TUNELO_TARGET_AVX2 void SubbandDctMixAvx2(const float* input, float* destination) {
    const __m256 s[4] = {PairAverages(input), PairAverages(input + 16), PairAverages(input + 32),
                         PairAverages(input + 48)};
    Transform(s, destination);
}

} // namespace tunelo

#endif
