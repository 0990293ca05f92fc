// The synthesis window with AVX2 and FMA: the regrouped coefficients of the fast member, eight output
// samples per register, and a conversion that rounds to nearest (ties to even, the default mode),
// clips to 16 bits and stores eight samples at once.
#include "MPSimdMembers.h"

#if TUNELO_SIMD_MEMBERS

#include <immintrin.h>

#include "MPWindowLayout.h"

namespace tunelo {

namespace {

constexpr int32_t kRingMask = 511;
// Positions are multiples of 32; the mask keeps every read inside the ring whatever the caller passes.
constexpr int32_t kPositionMask = 512 - 32;

// The 32 windowed sums of one slot: samples 0..7, 8..15, 16..23, 24..31.
struct TSums {
    __m256 S[4];
};

TUNELO_TARGET_AVX2 inline __m256 Reverse(__m256 v) {
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}

// Per slot pair i, x holds the 16 ring values at (p + 64 i) + 16 .. 31 and y the 17 at
// (p + 32 + 64 i) + 0 .. 16. In the layout's terms (see BuildWindowLayout):
//   sample j (0..15)      = sum Low[j] x[j] - LowB[15 - j] y[16 - j]
//   sample 16             = sum Middle y[0]
//   sample 16 + k (1..15) = sum High[16 - k] x[16 - k] + HighB[k - 1] y[k]
// The four sums are kept in lane order of their loads and rearranged once at the end.
TUNELO_TARGET_AVX2 inline TSums WindowSums(const float* ring, int32_t position) {
    // Built once: the window never changes (polarity is applied before the transform).
    static const TWindowLayout& layout = CurrentWindowLayout();
    const int32_t p = position & kPositionMask;
    __m256 low0 = _mm256_setzero_ps(), low1 = _mm256_setzero_ps();
    __m256 high0 = _mm256_setzero_ps(), high1 = _mm256_setzero_ps();
    __m256 lowB0 = _mm256_setzero_ps(), lowB1 = _mm256_setzero_ps();
    __m256 highB0 = _mm256_setzero_ps(), highB1 = _mm256_setzero_ps();
    float middle = 0.0f;
    for (int32_t i = 0; i < 8; ++i) {
        const float* x = ring + (((p + 64 * i) & kRingMask) + 16);
        const float* y = ring + ((p + 32 + 64 * i) & kRingMask);
        const TWindowLayout::TPair& c = layout.Pairs[i];
        const __m256 x0 = _mm256_loadu_ps(x);
        const __m256 x1 = _mm256_loadu_ps(x + 8);
        const __m256 y0 = _mm256_loadu_ps(y + 1);
        const __m256 y1 = _mm256_loadu_ps(y + 9);
        low0 = _mm256_fmadd_ps(_mm256_load_ps(c.Low), x0, low0);
        low1 = _mm256_fmadd_ps(_mm256_load_ps(c.Low + 8), x1, low1);
        high0 = _mm256_fmadd_ps(_mm256_load_ps(c.High), x0, high0);
        high1 = _mm256_fmadd_ps(_mm256_load_ps(c.High + 8), x1, high1);
        lowB0 = _mm256_fmadd_ps(_mm256_load_ps(c.LowB), y0, lowB0);
        lowB1 = _mm256_fmadd_ps(_mm256_load_ps(c.LowB + 8), y1, lowB1);
        highB0 = _mm256_fmadd_ps(_mm256_load_ps(c.HighB), y0, highB0);
        highB1 = _mm256_fmadd_ps(_mm256_load_ps(c.HighB + 8), y1, highB1);
        middle += layout.Middle[i] * y[0];
    }
    TSums sums;
    // Samples 0..15: the LowB sums run backwards.
    sums.S[0] = _mm256_sub_ps(low0, Reverse(lowB1));
    sums.S[1] = _mm256_sub_ps(low1, Reverse(lowB0));
    // Samples 16..31: lane k takes High[16 - k] and HighB[k - 1]. Reading the High sums backwards
    // and the HighB sums one lane on leaves every lane right except lane 0 of each half; lane 0 of
    // the low half then holds what lane 0 of the high half needs (High[8] + HighB[7]), and sample
    // 16 is the middle sum alone (High[0] and HighB[15] are 0).
    const __m256i backwardsFromOne = _mm256_setr_epi32(0, 7, 6, 5, 4, 3, 2, 1);
    const __m256i onwardByOne = _mm256_setr_epi32(7, 0, 1, 2, 3, 4, 5, 6);
    const __m256 lowHalf = _mm256_add_ps(_mm256_permutevar8x32_ps(high1, backwardsFromOne),
                                         _mm256_permutevar8x32_ps(highB0, onwardByOne));
    const __m256 highHalf = _mm256_add_ps(_mm256_permutevar8x32_ps(high0, backwardsFromOne),
                                          _mm256_permutevar8x32_ps(highB1, onwardByOne));
    sums.S[2] = _mm256_blend_ps(lowHalf, _mm256_set1_ps(middle), 0x01);
    sums.S[3] = _mm256_blend_ps(highHalf, lowHalf, 0x01);
    return sums;
}

// Round to nearest with the current mode (ties to even), after clipping in floating point so that
// no sum reaches an out-of-range conversion. A NaN becomes silence.
TUNELO_TARGET_AVX2 inline __m256i ToPcm32(__m256 sum) {
    sum = _mm256_and_ps(sum, _mm256_cmp_ps(sum, sum, _CMP_ORD_Q));
    sum = _mm256_min_ps(sum, _mm256_set1_ps(32767.0f));
    sum = _mm256_max_ps(sum, _mm256_set1_ps(-32768.0f));
    return _mm256_cvtps_epi32(sum);
}

// Sixteen samples in order as 16-bit values.
TUNELO_TARGET_AVX2 inline __m256i Pack16(__m256 first, __m256 second) {
    const __m256i packed = _mm256_packs_epi32(ToPcm32(first), ToPcm32(second));
    return _mm256_permute4x64_epi64(packed, 0xD8);
}

// Eight samples as 32-bit values hold each sample in their low 16 bits: blending the even 16-bit
// positions into what the output already holds writes every second sample and leaves the others.
TUNELO_TARGET_AVX2 inline void StoreEverySecond(int16_t* output, __m256i samples) {
    __m256i* target = reinterpret_cast<__m256i*>(output);
    const __m256i old = _mm256_loadu_si256(target);
    _mm256_storeu_si256(target, _mm256_blend_epi16(old, samples, 0x55));
}

} // namespace

TUNELO_TARGET_AVX2 void WindowMonoAvx2(const float* ring, int32_t position, int16_t* output) {
    const TSums sums = WindowSums(ring, position);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(output), Pack16(sums.S[0], sums.S[1]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(output + 16), Pack16(sums.S[2], sums.S[3]));
}

// Sample j goes to output[2 j]. The block ends with sample 31 at output[62]: the last eight samples
// are written in narrower steps so that nothing at or beyond output[63] is read or written.
TUNELO_TARGET_AVX2 void WindowStereoAvx2(const float* ring, int32_t position, int16_t* output) {
    const TSums sums = WindowSums(ring, position);
    StoreEverySecond(output, ToPcm32(sums.S[0]));
    StoreEverySecond(output + 16, ToPcm32(sums.S[1]));
    StoreEverySecond(output + 32, ToPcm32(sums.S[2]));
    const __m256i last = ToPcm32(sums.S[3]);
    const __m128i samples24 = _mm256_castsi256_si128(last);
    const __m128i samples28 = _mm256_extracti128_si256(last, 1);
    __m128i* block24 = reinterpret_cast<__m128i*>(output + 48);
    _mm_storeu_si128(block24, _mm_blend_epi16(_mm_loadu_si128(block24), samples24, 0x55));
    __m128i* block28 = reinterpret_cast<__m128i*>(output + 56);
    _mm_storel_epi64(block28, _mm_blend_epi16(_mm_loadl_epi64(block28), samples28, 0x05));
    output[60] = static_cast<int16_t>(_mm_extract_epi16(samples28, 4));
    output[62] = static_cast<int16_t>(_mm_extract_epi16(samples28, 6));
}

} // namespace tunelo

#endif
