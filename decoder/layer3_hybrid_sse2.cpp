// The hybrid filterbank with SSE2, four subbands per register.
#include "simd_members.h"

#if TUNELO_SIMD_MEMBERS

#include <emmintrin.h>

#define TUNELO_LANES_TARGET TUNELO_TARGET_SSE2

namespace tunelo {

namespace {

struct TSse2Lanes {
    using V = __m128;
    static constexpr int32_t kLanes = 4;

    TUNELO_TARGET_SSE2 static V Splat(float value) { return _mm_set1_ps(value); }
    TUNELO_TARGET_SSE2 static V Zero() { return _mm_setzero_ps(); }
    TUNELO_TARGET_SSE2 static void Store(float* p, V v) { _mm_storeu_ps(p, v); }
    TUNELO_TARGET_SSE2 static void StoreFirst(float* p, V v, int32_t n) {
        if (n >= 4) {
            _mm_storeu_ps(p, v);
            return;
        }
        if (n >= 2) {
            _mm_storel_pi(reinterpret_cast<__m64*>(p), v);
            v = _mm_movehl_ps(v, v);
            p += 2;
            n -= 2;
        }
        if (n >= 1) {
            _mm_store_ss(p, v);
        }
    }

    // Columns First..First + 3 of four rows; the ones from Keep on go to cols.
    template <int32_t First, int32_t Keep>
    TUNELO_TARGET_SSE2 static void LoadBlock(const float* rows, V* cols) {
        V r0 = _mm_loadu_ps(rows + First);
        V r1 = _mm_loadu_ps(rows + 18 + First);
        V r2 = _mm_loadu_ps(rows + 36 + First);
        V r3 = _mm_loadu_ps(rows + 54 + First);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        const V r[4] = {r0, r1, r2, r3};
        for (int32_t j = Keep; j < 4; ++j) {
            cols[First + j] = r[j];
        }
    }

    template <int32_t First> TUNELO_TARGET_SSE2 static void StoreBlock(float* rows, const V* cols) {
        V r0 = cols[First];
        V r1 = cols[First + 1];
        V r2 = cols[First + 2];
        V r3 = cols[First + 3];
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_storeu_ps(rows + First, r0);
        _mm_storeu_ps(rows + 18 + First, r1);
        _mm_storeu_ps(rows + 36 + First, r2);
        _mm_storeu_ps(rows + 54 + First, r3);
    }

    // Columns 0..3, 4..7, 8..11, 12..15 and 14..17 (of which 16 and 17 are kept).
    TUNELO_TARGET_SSE2 static void LoadColumns(const float* rows, V* cols) {
        LoadBlock<0, 0>(rows, cols);
        LoadBlock<4, 0>(rows, cols);
        LoadBlock<8, 0>(rows, cols);
        LoadBlock<12, 0>(rows, cols);
        LoadBlock<14, 2>(rows, cols);
    }

    // Columns 14 and 15 are written twice, with the same values.
    TUNELO_TARGET_SSE2 static void StoreColumns(float* rows, const V* cols) {
        StoreBlock<0>(rows, cols);
        StoreBlock<4>(rows, cols);
        StoreBlock<8>(rows, cols);
        StoreBlock<12>(rows, cols);
        StoreBlock<14>(rows, cols);
    }
};

} // namespace

} // namespace tunelo

#include "layer3_hybrid_lanes.h"

namespace tunelo {

TUNELO_TARGET_SSE2 int32_t HybridSse2(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType,
                                      int32_t longLines, int32_t totalLines, int32_t previousLines,
                                      int32_t clearSubbands) {
    return LanesHybrid<TSse2Lanes>(lines, overlap, hybridOut, blockType, longLines, totalLines, previousLines,
                                   clearSubbands);
}

} // namespace tunelo

#endif
