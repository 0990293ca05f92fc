// The hybrid filterbank with AVX2 and FMA, eight subbands per register, and the two single-subband
// transforms as products.
#include "MPSimdMembers.h"

#if TUNELO_SIMD_MEMBERS

#include <immintrin.h>

#define TUNELO_LANES_TARGET TUNELO_TARGET_AVX2

namespace tunelo {

namespace {

struct TAvx2Lanes {
    using V = __m256;
    static constexpr int32_t kBlockStarts[] = {0, 8, 10};
    static constexpr int32_t kLanes = 8;

    TUNELO_TARGET_AVX2 static V Splat(float value) { return _mm256_set1_ps(value); }
    TUNELO_TARGET_AVX2 static V Zero() { return _mm256_setzero_ps(); }
    TUNELO_TARGET_AVX2 static V LoadAligned(const float* p) { return _mm256_load_ps(p); }
    TUNELO_TARGET_AVX2 static void Store(float* p, V v) { _mm256_storeu_ps(p, v); }

    // r[k] lane j becomes r[j] lane k.
    TUNELO_TARGET_AVX2 static void Transpose(V (&r)[8]) {
        const V t0 = _mm256_unpacklo_ps(r[0], r[1]);
        const V t1 = _mm256_unpackhi_ps(r[0], r[1]);
        const V t2 = _mm256_unpacklo_ps(r[2], r[3]);
        const V t3 = _mm256_unpackhi_ps(r[2], r[3]);
        const V t4 = _mm256_unpacklo_ps(r[4], r[5]);
        const V t5 = _mm256_unpackhi_ps(r[4], r[5]);
        const V t6 = _mm256_unpacklo_ps(r[6], r[7]);
        const V t7 = _mm256_unpackhi_ps(r[6], r[7]);
        const V u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
        const V u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        const V u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        const V u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        const V u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
        const V u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
        const V u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
        const V u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
        r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
        r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
        r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
        r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
        r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
        r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
        r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
        r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
    }

    // Columns 0..7, 8..15 and 10..17 (of which 16 and 17 are kept).
    TUNELO_TARGET_AVX2 static void LoadColumns(const float* rows, V* cols) {
        for (const int32_t first : kBlockStarts) {
            V r[8];
            for (int32_t k = 0; k < 8; ++k) {
                r[k] = _mm256_loadu_ps(rows + 18 * k + first);
            }
            Transpose(r);
            for (int32_t j = first == 10 ? 6 : 0; j < 8; ++j) {
                cols[first + j] = r[j];
            }
        }
    }

    // Columns 10..15 are written twice, with the same values.
    TUNELO_TARGET_AVX2 static void StoreColumns(float* rows, const V* cols) {
        for (const int32_t first : kBlockStarts) {
            V r[8];
            for (int32_t j = 0; j < 8; ++j) {
                r[j] = cols[first + j];
            }
            Transpose(r);
            for (int32_t k = 0; k < 8; ++k) {
                _mm256_storeu_ps(rows + 18 * k + first, r[k]);
            }
        }
    }
};

} // namespace

} // namespace tunelo

#include "MPHybridLanes.h"

namespace tunelo {

TUNELO_TARGET_AVX2 int32_t HybridAvx2(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType,
                                      int32_t longLines, int32_t totalLines, int32_t previousLines,
                                      int32_t clearSubbands) {
    return LanesHybrid<TAvx2Lanes>(lines, overlap, hybridOut, blockType, longLines, totalLines, previousLines,
                                   clearSubbands);
}

TUNELO_TARGET_AVX2 void LongImdctAvx2(float* values18) {
    LanesImdctProduct<TAvx2Lanes>(values18, ImdctPacked().LongMatrix);
}

TUNELO_TARGET_AVX2 void ShortImdctAvx2(float* values18) {
    LanesImdctProduct<TAvx2Lanes>(values18, ImdctPacked().ShortMatrix);
}

} // namespace tunelo

#endif
