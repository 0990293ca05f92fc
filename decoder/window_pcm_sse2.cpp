// The synthesis window with SSE2: the regrouped coefficients of the fast member, four output samples
// per register, and a conversion that rounds to nearest (ties to even, the default mode), clips to 16
// bits and stores four samples at once.
#include "MPSimdMembers.h"

#if TUNELO_SIMD_MEMBERS

#include <emmintrin.h>

#include "MPWindowLayout.h"

namespace tunelo {

namespace {

constexpr int32_t kRingMask = 511;
// Positions are multiples of 32; the mask keeps every read inside the ring whatever the caller passes.
constexpr int32_t kPositionMask = 512 - 32;

// Sixteen sums, four per register.
struct TSixteen {
    __m128 V[4];
};

// The 32 windowed sums of one slot, four per register: samples 0..15, then 16..31.
struct TSums {
    TSixteen Low;
    TSixteen High;
};

TUNELO_TARGET_SSE2 inline __m128 ReverseFour(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

// r[k] = v[15 - k].
TUNELO_TARGET_SSE2 inline TSixteen Backwards(const TSixteen& v) {
    return {{ReverseFour(v.V[3]), ReverseFour(v.V[2]), ReverseFour(v.V[1]), ReverseFour(v.V[0])}};
}

// r[k] = v[(k - 1) mod 16].
TUNELO_TARGET_SSE2 inline TSixteen OnwardByOne(const TSixteen& v) {
    TSixteen r;
    for (int32_t j = 0; j < 4; ++j) {
        const __m128 previous = v.V[(j + 3) & 3];
        // (previous[3], previous[3], v[0], v[0]), then (previous[3], v[0], v[1], v[2]).
        const __m128 joined = _mm_shuffle_ps(previous, v.V[j], _MM_SHUFFLE(0, 0, 3, 3));
        r.V[j] = _mm_shuffle_ps(joined, v.V[j], _MM_SHUFFLE(2, 1, 2, 0));
    }
    return r;
}

// One half of the window's sums over the eight slot pairs (Part 0: Low and LowB, 1: High and HighB),
// the first coefficients times the x values, the second times the y values; the sample formulas are
// given with the AVX2 member.
struct TPartSums {
    TSixteen X;
    TSixteen Y;
};

template <int Part> TUNELO_TARGET_SSE2 inline TPartSums SumPart(const float* ring, int32_t p) {
    const TWindowLayout& layout = CurrentWindowLayout();
    TPartSums sums;
    for (int32_t k = 0; k < 4; ++k) {
        sums.X.V[k] = _mm_setzero_ps();
        sums.Y.V[k] = _mm_setzero_ps();
    }
    for (int32_t i = 0; i < 8; ++i) {
        const float* x = ring + (((p + 64 * i) & kRingMask) + 16);
        const float* y = ring + ((p + 32 + 64 * i) & kRingMask) + 1;
        const TWindowLayout::TPair& c = layout.Pairs[i];
        const float* cx = Part == 0 ? c.Low : c.High;
        const float* cy = Part == 0 ? c.LowB : c.HighB;
        for (int32_t k = 0; k < 4; ++k) {
            sums.X.V[k] =
                _mm_add_ps(sums.X.V[k], _mm_mul_ps(_mm_load_ps(cx + 4 * k), _mm_loadu_ps(x + 4 * k)));
            sums.Y.V[k] =
                _mm_add_ps(sums.Y.V[k], _mm_mul_ps(_mm_load_ps(cy + 4 * k), _mm_loadu_ps(y + 4 * k)));
        }
    }
    return sums;
}

TUNELO_TARGET_SSE2 inline TSums WindowSums(const float* ring, int32_t position) {
    const int32_t p = position & kPositionMask;
    TSums sums;
    // Samples 0..15: sample j = Low sum j - LowB sum 15 - j.
    const TPartSums low = SumPart<0>(ring, p);
    const TSixteen lowB = Backwards(low.Y);
    for (int32_t k = 0; k < 4; ++k) {
        sums.Low.V[k] = _mm_sub_ps(low.X.V[k], lowB.V[k]);
    }
    // Samples 16..31: sample 16 + k = High sum 16 - k + HighB sum k - 1; at k = 0 both are 0 and
    // the middle sum stands alone.
    const TPartSums high = SumPart<1>(ring, p);
    const TSixteen highX = OnwardByOne(Backwards(high.X));
    const TSixteen highY = OnwardByOne(high.Y);
    for (int32_t k = 0; k < 4; ++k) {
        sums.High.V[k] = _mm_add_ps(highX.V[k], highY.V[k]);
    }
    const TWindowLayout& layout = CurrentWindowLayout();
    float middle = 0.0f;
    for (int32_t i = 0; i < 8; ++i) {
        middle += layout.Middle[i] * ring[(p + 32 + 64 * i) & kRingMask];
    }
    sums.High.V[0] = _mm_add_ss(sums.High.V[0], _mm_set_ss(middle));
    return sums;
}

// Round to nearest with the current mode (ties to even), after clipping in floating point so that
// no sum reaches an out-of-range conversion. A NaN becomes silence.
TUNELO_TARGET_SSE2 inline __m128i ToPcm32(__m128 sum) {
    sum = _mm_and_ps(sum, _mm_cmpord_ps(sum, sum));
    sum = _mm_min_ps(sum, _mm_set1_ps(32767.0f));
    sum = _mm_max_ps(sum, _mm_set1_ps(-32768.0f));
    return _mm_cvtps_epi32(sum);
}

// Four samples as 32-bit values hold each sample in their low 16 bits: merging those into what the
// output already holds writes every second sample and leaves the others.
TUNELO_TARGET_SSE2 inline __m128i MergeEverySecond(__m128i old, __m128i samples) {
    const __m128i low = _mm_set1_epi32(0xFFFF);
    return _mm_or_si128(_mm_andnot_si128(low, old), _mm_and_si128(low, samples));
}

} // namespace

TUNELO_TARGET_SSE2 void WindowMonoSse2(const float* ring, int32_t position, int16_t* output) {
    const TSums sums = WindowSums(ring, position);
    __m128i* target = reinterpret_cast<__m128i*>(output);
    for (int32_t k = 0; k < 2; ++k) {
        _mm_storeu_si128(target + k,
                         _mm_packs_epi32(ToPcm32(sums.Low.V[2 * k]), ToPcm32(sums.Low.V[2 * k + 1])));
        _mm_storeu_si128(target + 2 + k,
                         _mm_packs_epi32(ToPcm32(sums.High.V[2 * k]), ToPcm32(sums.High.V[2 * k + 1])));
    }
}

// Sample j goes to output[2 j]. The block ends with sample 31 at output[62]: the last four samples
// are written in narrower steps so that nothing at or beyond output[63] is read or written.
TUNELO_TARGET_SSE2 void WindowStereoSse2(const float* ring, int32_t position, int16_t* output) {
    const TSums sums = WindowSums(ring, position);
    const __m128 all[8] = {sums.Low.V[0],  sums.Low.V[1],  sums.Low.V[2],  sums.Low.V[3],
                           sums.High.V[0], sums.High.V[1], sums.High.V[2], sums.High.V[3]};
    for (int32_t k = 0; k < 7; ++k) {
        __m128i* target = reinterpret_cast<__m128i*>(output + 8 * k);
        _mm_storeu_si128(target, MergeEverySecond(_mm_loadu_si128(target), ToPcm32(all[k])));
    }
    const __m128i last = ToPcm32(all[7]);
    __m128i* target = reinterpret_cast<__m128i*>(output + 56);
    _mm_storel_epi64(target, MergeEverySecond(_mm_loadl_epi64(target), last));
    output[60] = static_cast<int16_t>(_mm_extract_epi16(last, 4));
    output[62] = static_cast<int16_t>(_mm_extract_epi16(last, 6));
}

} // namespace tunelo

#endif
