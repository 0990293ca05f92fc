// The hybrid filterbank over several subbands at once, one subband per lane: the portable member's
// transforms, windows and overlap-add, operation for operation, on registers of subbands. Subband
// values are brought into lanes (and the next overlap back into the line layout) by transposes.
//
// Included by the packed member files only. The includer defines TUNELO_LANES_TARGET (its target
// attribute) and a lane type L with:
//   V                          the register type, kLanes subbands wide
//   Splat(float), Zero()
//   Store(float*, V)           kLanes consecutive floats, unaligned
//   StoreFirst(float*, V, n)   the first n (1..kLanes) lanes only
//   LoadAligned(const float*)  kLanes consecutive floats (only for LanesImdctProduct)
//   LoadColumns(rows, cols)    cols[n] lane k = rows[18 k + n], n = 0..17, for kLanes rows
//   StoreColumns(rows, cols)   the inverse
// Everything here has internal linkage, so each includer gets its own instruction set's copy.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "layer3_hybrid.h"
#include "layer3_imdct_packed.h"
#include "layer3_tables.h"

namespace tunelo {

namespace {

template <class L> using TLanes = typename L::V;

// g[m] = sum over r of u[r] cos(pi (2m + 1) r / 18), as the portable Dct3Nine.
template <class L>
TUNELO_LANES_TARGET inline void LanesDct3Nine(const TLanes<L>* u, const float* cosines, TLanes<L>* g) {
    for (int32_t p = 0; p < 4; ++p) {
        const TLanes<L> even = u[0] + u[2] * L::Splat(cosines[8 + p]) + u[4] * L::Splat(cosines[16 + p]) +
                               u[6] * L::Splat(cosines[24 + p]) + u[8] * L::Splat(cosines[32 + p]);
        const TLanes<L> odd = u[1] * L::Splat(cosines[4 + p]) + u[3] * L::Splat(cosines[12 + p]) +
                              u[5] * L::Splat(cosines[20 + p]) + u[7] * L::Splat(cosines[28 + p]);
        g[p] = even + odd;
        g[8 - p] = even - odd;
    }
    g[4] = u[0] - u[2] + u[4] - u[6] + u[8];
}

// The 18-point transform of every lane, in place, as LongImdctGeneric.
template <class L> TUNELO_LANES_TARGET inline void LanesLongImdct(TLanes<L> (&v)[18]) {
    using V = TLanes<L>;
    static const float* const cosines = Layer3Tables().ImdctLongTable + 27;
    static const float* const factors = ImdctPacked().LongFactors;
    V y[18];
    y[0] = v[0];
    for (int32_t n = 1; n < 18; ++n) {
        y[n] = v[n - 1] + v[n];
    }
    V evenInputs[9];
    V oddInputs[9];
    for (int32_t r = 0; r < 9; ++r) {
        evenInputs[r] = y[2 * r];
        oddInputs[r] = r == 0 ? y[1] : y[2 * r - 1] + y[2 * r + 1];
    }
    V even[9];
    V odd[9];
    LanesDct3Nine<L>(evenInputs, cosines, even);
    LanesDct3Nine<L>(oddInputs, cosines, odd);
    for (int32_t m = 0; m < 9; ++m) {
        const V o = odd[m] * L::Splat(factors[18 + m]);
        v[m] = (even[m] + o) * L::Splat(factors[m]);
        v[17 - m] = (even[m] - o) * L::Splat(factors[17 - m]);
    }
}

// Six-point DCT-IV of x[w], x[w + 3], ..., x[w + 15] into out[0..5], as the portable Dct4Six.
template <class L>
TUNELO_LANES_TARGET inline void LanesDct4Six(const TLanes<L>* x, const float* factors, TLanes<L>* out) {
    using V = TLanes<L>;
    V y[6];
    y[0] = x[0];
    for (int32_t n = 1; n < 6; ++n) {
        y[n] = x[(n - 1) * 3] + x[n * 3];
    }
    const V half = L::Splat(0.5f);
    const V halfSqrt3 = L::Splat(factors[9]);
    const V evenOuter = y[0] + half * y[4];
    const V evenMiddle = halfSqrt3 * y[2];
    const V even[3] = {evenOuter + evenMiddle, y[0] - y[4], evenOuter - evenMiddle};
    const V u1 = y[1] + y[3];
    const V u2 = y[3] + y[5];
    const V oddOuter = y[1] + half * u2;
    const V oddMiddle = halfSqrt3 * u1;
    const V odd[3] = {oddOuter + oddMiddle, y[1] - u2, oddOuter - oddMiddle};
    for (int32_t m = 0; m < 3; ++m) {
        const V o = odd[m] * L::Splat(factors[6 + m]);
        out[m] = (even[m] + o) * L::Splat(factors[m]);
        out[5 - m] = (even[m] - o) * L::Splat(factors[5 - m]);
    }
}

// The three six-point transforms of every lane, in place, as ShortImdctGeneric.
template <class L> TUNELO_LANES_TARGET inline void LanesShortImdct(TLanes<L> (&v)[18]) {
    using V = TLanes<L>;
    static const float* const factors = ImdctPacked().ShortFactors;
    V input[18];
    std::copy(v, v + 18, input);
    for (int32_t w = 0; w < 3; ++w) {
        LanesDct4Six<L>(input + w, factors, v + 6 * w);
    }
}

// The windowed 36 samples of a long subband, as the portable WindowLong.
template <class L>
TUNELO_LANES_TARGET inline void LanesWindowLong(const TLanes<L> (&v)[18], const float* window,
                                                TLanes<L> (&z)[36]) {
    for (int32_t t = 0; t < 9; ++t) {
        z[t] = L::Splat(window[t]) * v[9 + t];
        z[9 + t] = L::Splat(window[9 + t]) * v[17 - t];
        z[18 + t] = L::Splat(window[18 + t]) * v[8 - t];
        z[27 + t] = L::Splat(window[27 + t]) * v[t];
    }
}

// The 36-sample frame of a short subband, as the portable WindowShort: the three windowed outputs
// at offsets 6, 12 and 18, added in window order where they overlap.
template <class L>
TUNELO_LANES_TARGET inline void LanesWindowShort(const TLanes<L> (&v)[18], const float* window,
                                                 TLanes<L> (&z)[36]) {
    static constexpr int32_t kSource[12] = {3, 4, 5, 5, 4, 3, 2, 1, 0, 0, 1, 2};
    for (int32_t k = 0; k < 36; ++k) {
        z[k] = L::Zero();
    }
    for (int32_t w = 0; w < 3; ++w) {
        for (int32_t k = 0; k < 12; ++k) {
            z[6 + 6 * w + k] = z[6 + 6 * w + k] + L::Splat(window[k]) * v[6 * w + kSource[k]];
        }
    }
}

enum class TLaneGroupKind { Long, Short, OverlapOnly };

// One group of `count` (1..kLanes) subbands from sb: hybridOut receives the overlap-added first
// halves, the lines the second halves (the next granule's overlap). A group narrower than the
// register works on copies, so that nothing outside its subbands is read or written.
template <class L>
TUNELO_LANES_TARGET inline void LanesGroup(TLaneGroupKind kind, float* lines, const float* overlap,
                                           float (*hybridOut)[32], int32_t sb, int32_t count,
                                           const float* window) {
    using V = TLanes<L>;
    constexpr int32_t kLanes = L::kLanes;
    const bool whole = count == kLanes;
    alignas(32) float lineRows[kLanes][18];
    alignas(32) float overlapRows[kLanes][18];
    float* lineSource = lines + 18 * sb;
    const float* overlapSource = overlap + 18 * sb;
    if (!whole) {
        std::memset(lineRows, 0, sizeof lineRows);
        std::memset(overlapRows, 0, sizeof overlapRows);
        std::memcpy(overlapRows, overlapSource, sizeof(float) * 18 * static_cast<size_t>(count));
        overlapSource = &overlapRows[0][0];
        if (kind != TLaneGroupKind::OverlapOnly) {
            std::memcpy(lineRows, lineSource, sizeof(float) * 18 * static_cast<size_t>(count));
            lineSource = &lineRows[0][0];
        }
    }
    V out[18];
    L::LoadColumns(overlapSource, out);
    if (kind != TLaneGroupKind::OverlapOnly) {
        V v[18];
        L::LoadColumns(lineSource, v);
        V z[36];
        if (kind == TLaneGroupKind::Long) {
            LanesLongImdct<L>(v);
            LanesWindowLong<L>(v, window, z);
        } else {
            LanesShortImdct<L>(v);
            LanesWindowShort<L>(v, window, z);
        }
        for (int32_t t = 0; t < 18; ++t) {
            out[t] = out[t] + z[t];
        }
        L::StoreColumns(lineSource, z + 18);
        if (!whole) {
            std::memcpy(lines + 18 * sb, lineRows, sizeof(float) * 18 * static_cast<size_t>(count));
        }
    }
    if (whole) {
        for (int32_t t = 0; t < 18; ++t) {
            L::Store(&hybridOut[t][sb], out[t]);
        }
    } else {
        for (int32_t t = 0; t < 18; ++t) {
            L::StoreFirst(&hybridOut[t][sb], out[t], count);
        }
    }
}

template <class L>
TUNELO_LANES_TARGET inline void LanesRun(TLaneGroupKind kind, float* lines, const float* overlap,
                                         float (*hybridOut)[32], int32_t first, int32_t end,
                                         const float* window) {
    for (int32_t sb = first; sb < end; sb += L::kLanes) {
        LanesGroup<L>(kind, lines, overlap, hybridOut, sb, std::min(L::kLanes, end - sb), window);
    }
}

inline int32_t LanesSubbandsOf(int32_t lines) {
    return (std::clamp(lines, 0, 576) + 17) / 18;
}

// The whole filterbank of one granule and channel, with the steps and counts of HybridGeneric.
template <class L>
TUNELO_LANES_TARGET inline int32_t LanesHybrid(float* lines, float* overlap, float (*hybridOut)[32],
                                               int32_t blockType, int32_t longLines, int32_t totalLines,
                                               int32_t previousLines, int32_t clearSubbands) {
    static const TMPLayer3Tables& tables = Layer3Tables();
    const int32_t longEnd = LanesSubbandsOf(longLines);
    const int32_t totalEnd = std::max(longEnd, LanesSubbandsOf(totalLines));
    const int32_t previousEnd = std::max(totalEnd, LanesSubbandsOf(previousLines));

    // The long part of a mixed block uses the normal window; with the mixed flag the two lowest
    // subbands do so for every block type.
    const int32_t type = blockType & 3;
    const float* longWindow = tables.HybridWindowTable[type == 2 ? 0 : type];
    int32_t sb = 0;
    if ((blockType & kHybridMixedBlock) != 0) {
        sb = std::min(2, longEnd);
        LanesRun<L>(TLaneGroupKind::Long, lines, overlap, hybridOut, 0, sb, tables.HybridWindowTable[0]);
    }
    LanesRun<L>(TLaneGroupKind::Long, lines, overlap, hybridOut, sb, longEnd, longWindow);
    LanesRun<L>(TLaneGroupKind::Short, lines, overlap, hybridOut, longEnd, totalEnd,
                tables.HybridWindowTable[2]);
    // Subbands that only the previous granule reached: its overlap alone.
    LanesRun<L>(TLaneGroupKind::OverlapOnly, lines, overlap, hybridOut, totalEnd, previousEnd, nullptr);
    const int32_t clearEnd = std::clamp(clearSubbands, 0, 32);
    if (previousEnd < clearEnd) {
        for (int32_t t = 0; t < 18; ++t) {
            std::fill(&hybridOut[t][previousEnd], &hybridOut[t][0] + clearEnd, 0.0f);
        }
    }
    return 18 * previousEnd;
}

// The in-place transform of one subband as a product: out = sum over n of values[n] x matrix row n.
// The inputs are spread over several partial sums so that the additions do not wait on each other.
template <class L>
TUNELO_LANES_TARGET inline void LanesImdctProduct(float* values18, const float (*matrix)[24]) {
    using V = TLanes<L>;
    constexpr int32_t kRegisters = (18 + L::kLanes - 1) / L::kLanes;
    constexpr int32_t kPartials = kRegisters <= 3 ? 3 : 2; // as many as the registers allow
    V sums[kPartials][kRegisters];
    for (int32_t p = 0; p < kPartials; ++p) {
        for (int32_t r = 0; r < kRegisters; ++r) {
            sums[p][r] = L::Zero();
        }
    }
    for (int32_t n = 0; n < 18; n += kPartials) {
        for (int32_t p = 0; p < kPartials; ++p) {
            const V value = L::Splat(values18[n + p]);
            for (int32_t r = 0; r < kRegisters; ++r) {
                sums[p][r] = sums[p][r] + value * L::LoadAligned(matrix[n + p] + L::kLanes * r);
            }
        }
    }
    alignas(32) float result[kRegisters * L::kLanes];
    for (int32_t r = 0; r < kRegisters; ++r) {
        V total = sums[0][r];
        for (int32_t p = 1; p < kPartials; ++p) {
            total = total + sums[p][r];
        }
        L::Store(result + L::kLanes * r, total);
    }
    std::memcpy(values18, result, sizeof(float) * 18);
}

} // namespace

} // namespace tunelo
