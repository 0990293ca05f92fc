// The hybrid filterbank with SSE2, four subbands per register, and the two single-subband transforms
// as products.
#include "MPSimdMembers.h"

#if TUNELO_SIMD_MEMBERS

#include <emmintrin.h>

#define TUNELO_LANES_TARGET TUNELO_TARGET_SSE2

namespace tunelo {

namespace {

struct TSse2Lanes {
    using V = __m128;
    static constexpr int32_t kBlockStarts[] = {0, 4, 8, 12, 14};
    static constexpr int32_t kLanes = 4;

    TUNELO_TARGET_SSE2 static V Splat(float value) { return _mm_set1_ps(value); }
    TUNELO_TARGET_SSE2 static V Zero() { return _mm_setzero_ps(); }
    TUNELO_TARGET_SSE2 static V LoadAligned(const float* p) { return _mm_load_ps(p); }
    TUNELO_TARGET_SSE2 static void Store(float* p, V v) { _mm_storeu_ps(p, v); }

    // Columns 0..3, 4..7, 8..11, 12..15 and 14..17 (of which 16 and 17 are kept).
    TUNELO_TARGET_SSE2 static void LoadColumns(const float* rows, V* cols) {
        for (const int32_t first : kBlockStarts) {
            V r0 = _mm_loadu_ps(rows + first);
            V r1 = _mm_loadu_ps(rows + 18 + first);
            V r2 = _mm_loadu_ps(rows + 36 + first);
            V r3 = _mm_loadu_ps(rows + 54 + first);
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            const V r[4] = {r0, r1, r2, r3};
            for (int32_t j = first == 14 ? 2 : 0; j < 4; ++j) {
                cols[first + j] = r[j];
            }
        }
    }

    // Columns 14 and 15 are written twice, with the same values.
    TUNELO_TARGET_SSE2 static void StoreColumns(float* rows, const V* cols) {
        for (const int32_t first : kBlockStarts) {
            V r0 = cols[first];
            V r1 = cols[first + 1];
            V r2 = cols[first + 2];
            V r3 = cols[first + 3];
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            _mm_storeu_ps(rows + first, r0);
            _mm_storeu_ps(rows + 18 + first, r1);
            _mm_storeu_ps(rows + 36 + first, r2);
            _mm_storeu_ps(rows + 54 + first, r3);
        }
    }
};

} // namespace

} // namespace tunelo

#include "MPHybridLanes.h"

namespace tunelo {

TUNELO_TARGET_SSE2 int32_t HybridSse2(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType,
                                      int32_t longLines, int32_t totalLines, int32_t previousLines,
                                      int32_t clearSubbands) {
    return LanesHybrid<TSse2Lanes>(lines, overlap, hybridOut, blockType, longLines, totalLines, previousLines,
                                   clearSubbands);
}

TUNELO_TARGET_SSE2 void LongImdctSse2(float* values18) {
    LanesImdctProduct<TSse2Lanes>(values18, ImdctPacked().LongMatrix);
}

TUNELO_TARGET_SSE2 void ShortImdctSse2(float* values18) {
    LanesImdctProduct<TSse2Lanes>(values18, ImdctPacked().ShortMatrix);
}

} // namespace tunelo

#endif
