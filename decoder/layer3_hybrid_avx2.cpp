// The hybrid filterbank with AVX2 and FMA, eight subbands per register, and the 18-point transform of
// one subband as a product.
#include "simd_members.h"

#if TUNELO_SIMD_MEMBERS

#include <immintrin.h>

#define TUNELO_LANES_TARGET TUNELO_TARGET_AVX2

namespace tunelo {

namespace {

struct TAvx2Lanes {
    using V = __m256;
    static constexpr int32_t kLanes = 8;

    TUNELO_TARGET_AVX2 static V Splat(float value) { return _mm256_set1_ps(value); }
    TUNELO_TARGET_AVX2 static V Zero() { return _mm256_setzero_ps(); }
    TUNELO_TARGET_AVX2 static V LoadAligned(const float* p) { return _mm256_load_ps(p); }
    TUNELO_TARGET_AVX2 static void Store(float* p, V v) { _mm256_storeu_ps(p, v); }
    // Nothing beyond the first n floats is touched. (No masked store: AMD processors run it slowly.)
    TUNELO_TARGET_AVX2 static void StoreFirst(float* p, V v, int32_t n) {
        __m128 part = _mm256_castps256_ps128(v);
        if (n >= 4) {
            _mm_storeu_ps(p, part);
            part = _mm256_extractf128_ps(v, 1);
            p += 4;
            n -= 4;
        }
        StoreFirstOfFour(p, part, n);
    }

    // n = 0..3 (4 is stored whole).
    TUNELO_TARGET_AVX2 static void StoreFirstOfFour(float* p, __m128 part, int32_t n) {
        if (n >= 4) {
            _mm_storeu_ps(p, part);
            return;
        }
        if (n >= 2) {
            _mm_storel_pi(reinterpret_cast<__m64*>(p), part);
            part = _mm_movehl_ps(part, part);
            p += 2;
            n -= 2;
        }
        if (n >= 1) {
            _mm_store_ss(p, part);
        }
    }

    // r_k lane j becomes r_j lane k. Named registers rather than an array: an array of registers
    // would live in memory and be copied in halves.
    TUNELO_TARGET_AVX2 static void Transpose(V& r0, V& r1, V& r2, V& r3, V& r4, V& r5, V& r6, V& r7) {
        const V t0 = _mm256_unpacklo_ps(r0, r1);
        const V t1 = _mm256_unpackhi_ps(r0, r1);
        const V t2 = _mm256_unpacklo_ps(r2, r3);
        const V t3 = _mm256_unpackhi_ps(r2, r3);
        const V t4 = _mm256_unpacklo_ps(r4, r5);
        const V t5 = _mm256_unpackhi_ps(r4, r5);
        const V t6 = _mm256_unpacklo_ps(r6, r7);
        const V t7 = _mm256_unpackhi_ps(r6, r7);
        const V u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
        const V u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        const V u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        const V u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        const V u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
        const V u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
        const V u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
        const V u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
        r0 = _mm256_permute2f128_ps(u0, u4, 0x20);
        r1 = _mm256_permute2f128_ps(u1, u5, 0x20);
        r2 = _mm256_permute2f128_ps(u2, u6, 0x20);
        r3 = _mm256_permute2f128_ps(u3, u7, 0x20);
        r4 = _mm256_permute2f128_ps(u0, u4, 0x31);
        r5 = _mm256_permute2f128_ps(u1, u5, 0x31);
        r6 = _mm256_permute2f128_ps(u2, u6, 0x31);
        r7 = _mm256_permute2f128_ps(u3, u7, 0x31);
    }

    // Columns First..First + 7 of eight rows; the ones from Keep on go to cols.
    template <int32_t First, int32_t Keep>
    TUNELO_TARGET_AVX2 static void LoadBlock(const float* rows, V* cols) {
        V r0 = _mm256_loadu_ps(rows + First);
        V r1 = _mm256_loadu_ps(rows + 18 + First);
        V r2 = _mm256_loadu_ps(rows + 36 + First);
        V r3 = _mm256_loadu_ps(rows + 54 + First);
        V r4 = _mm256_loadu_ps(rows + 72 + First);
        V r5 = _mm256_loadu_ps(rows + 90 + First);
        V r6 = _mm256_loadu_ps(rows + 108 + First);
        V r7 = _mm256_loadu_ps(rows + 126 + First);
        Transpose(r0, r1, r2, r3, r4, r5, r6, r7);
        if constexpr (Keep == 0) {
            cols[First] = r0;
            cols[First + 1] = r1;
            cols[First + 2] = r2;
            cols[First + 3] = r3;
            cols[First + 4] = r4;
            cols[First + 5] = r5;
        }
        cols[First + 6] = r6;
        cols[First + 7] = r7;
    }

    template <int32_t First> TUNELO_TARGET_AVX2 static void StoreBlock(float* rows, const V* cols) {
        V r0 = cols[First];
        V r1 = cols[First + 1];
        V r2 = cols[First + 2];
        V r3 = cols[First + 3];
        V r4 = cols[First + 4];
        V r5 = cols[First + 5];
        V r6 = cols[First + 6];
        V r7 = cols[First + 7];
        Transpose(r0, r1, r2, r3, r4, r5, r6, r7);
        _mm256_storeu_ps(rows + First, r0);
        _mm256_storeu_ps(rows + 18 + First, r1);
        _mm256_storeu_ps(rows + 36 + First, r2);
        _mm256_storeu_ps(rows + 54 + First, r3);
        _mm256_storeu_ps(rows + 72 + First, r4);
        _mm256_storeu_ps(rows + 90 + First, r5);
        _mm256_storeu_ps(rows + 108 + First, r6);
        _mm256_storeu_ps(rows + 126 + First, r7);
    }

    // Columns 0..7, 8..15 and 10..17 (of which 16 and 17 are kept).
    TUNELO_TARGET_AVX2 static void LoadColumns(const float* rows, V* cols) {
        LoadBlock<0, 0>(rows, cols);
        LoadBlock<8, 0>(rows, cols);
        LoadBlock<10, 6>(rows, cols);
    }

    // Columns 10..15 are written twice, with the same values.
    TUNELO_TARGET_AVX2 static void StoreColumns(float* rows, const V* cols) {
        StoreBlock<0>(rows, cols);
        StoreBlock<8>(rows, cols);
        StoreBlock<10>(rows, cols);
    }
};

} // namespace

} // namespace tunelo

#include "layer3_hybrid_lanes.h"

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

} // namespace tunelo

#endif
