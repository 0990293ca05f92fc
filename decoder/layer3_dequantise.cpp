// Layer III dequantisation: global gain, scale factors, pre-emphasis, subblock gain and the signed 4/3
// power, with short-block values reordered so that each line's three windows lie side by side.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "layer3_spectrum.h"
#include "layer3_tables.h"

namespace tunelo {

namespace {

constexpr int32_t kLines = 576;
constexpr int32_t kLastShortBand = 12;

// The exponent the explicit power path uses: 1/3 rounded to single precision, as the table path's
// values were derived from it.
const double kPowerExponent = static_cast<double>(static_cast<float>(1.0 / 3.0));

// The largest magnitude Huffman decoding yields: 15 plus 13 linbits.
constexpr int32_t kLargestEscape = 15 + 8191;

// abs(q)^e for every magnitude up to kLargestEscape, in double: the explicit power path looked up
// instead of computed, with the same values.
struct TEscapePowers {
    double Power[kLargestEscape + 1];
    TEscapePowers() {
        for (int32_t m = 0; m <= kLargestEscape; ++m) {
            Power[m] = std::pow(static_cast<double>(m), kPowerExponent);
        }
    }
};

const TEscapePowers& EscapePowers() {
    static const TEscapePowers powers;
    return powers;
}

// Scale factors index tables of 32; anything a corrupt stream or a stale entry leaves is clamped.
inline int32_t ScaleIndex(int32_t value) {
    return std::clamp(value, 0, 31);
}

// factor x q x abs(q)^e for a magnitude beyond every table: computed. Never reached by Huffman
// decoding; kept out of the line loops.
[[gnu::noinline]] float ExplicitPower(int32_t quantised, float factor) {
    // Magnitude in double: the negation of the most negative integer would overflow.
    const double value = static_cast<double>(quantised);
    return static_cast<float>(static_cast<double>(factor) * value *
                              std::pow(std::fabs(value), kPowerExponent));
}

// factor x q x abs(q)^e in double, the power looked up, for values outside -32..31.
inline float EscapeValue(int32_t quantised, float factor, const double* escapePowers) {
    const uint32_t magnitude =
        quantised < 0 ? 0u - static_cast<uint32_t>(quantised) : static_cast<uint32_t>(quantised);
    if (magnitude <= static_cast<uint32_t>(kLargestEscape)) [[likely]] {
        return static_cast<float>(static_cast<double>(factor) * static_cast<double>(quantised) *
                                  escapePowers[magnitude]);
    }
    return ExplicitPower(quantised, factor);
}

// The tables one dequantisation reads.
struct TPowers {
    const float* Common;        // PowerTable: -32..31 at 0..63
    const double* EscapePowers; // abs(q)^e up to kLargestEscape
};

inline float DequantiseValue(int32_t quantised, float factor, const TPowers& powers) {
    // -32..31 by the table, in one unsigned comparison.
    const uint32_t index = static_cast<uint32_t>(quantised) + 32u;
    if (index < 64u) [[likely]] {
        return factor * powers.Common[index];
    }
    return EscapeValue(quantised, factor, powers.EscapePowers);
}

// Dequantises n lines in place; returns their bits or-ed together (0 when all were 0). Two lines per
// step share one range check.
inline int32_t DequantiseRun(int32_t* lines, int32_t n, float factor, const TPowers& powers) {
    const float* power = powers.Common;
    int32_t any = 0;
    int32_t j = 0;
    for (; j + 1 < n; j += 2) {
        const int32_t q0 = lines[j];
        const int32_t q1 = lines[j + 1];
        any |= q0 | q1;
        const uint32_t index0 = static_cast<uint32_t>(q0) + 32u;
        const uint32_t index1 = static_cast<uint32_t>(q1) + 32u;
        if ((index0 | index1) < 64u) [[likely]] {
            lines[j] = std::bit_cast<int32_t>(factor * power[index0]);
            lines[j + 1] = std::bit_cast<int32_t>(factor * power[index1]);
        } else {
            lines[j] = std::bit_cast<int32_t>(DequantiseValue(q0, factor, powers));
            lines[j + 1] = std::bit_cast<int32_t>(DequantiseValue(q1, factor, powers));
        }
    }
    if (j < n) {
        const int32_t q = lines[j];
        any |= q;
        lines[j] = std::bit_cast<int32_t>(DequantiseValue(q, factor, powers));
    }
    return any;
}

} // namespace

void PrepareDequantise() {
    EscapePowers();
}

void Dequantise(TMPDecoderState& state, int32_t granule, int32_t channel) {
    const TMPLayer3Tables& tables = Layer3Tables();
    granule &= 1;
    channel &= 1;
    const TMPGranuleInfo& info = state.GranuleInfo[granule][channel];
    const int32_t* scale = state.ScaleFactors[granule][channel];
    TMPBlockInfo& block = state.BlockInfo[granule][channel];
    int32_t* lines = state.Lines.Int[channel][granule];
    const int32_t limit = std::clamp(state.NonZeroLines[granule][channel], 0, kLines);

    const bool shortBlock = info.BlockType == 2;
    const bool mixed = shortBlock && info.MixedBlockFlag != 0;
    const int32_t longBands = !shortBlock ? 22 : mixed ? std::clamp(state.MixedLongBands, 0, 22) : 0;
    const int32_t firstShortBand = !shortBlock ? 12 : mixed ? 3 : 0;
    block.LongBandCount = longBands;
    block.FirstShortBand = firstShortBand;

    const float gain = tables.GlobalGainTable[6 + std::clamp(info.GlobalGain, -6, 255)];
    const float(*scaleTable)[32] = tables.ScalefactorTable[info.ScalefacScale != 0 ? 1 : 0];
    const int32_t* pretab = PretabTable[info.Preflag != 0 ? 1 : 0];
    const TPowers powers{tables.PowerTable, EscapePowers().Power};

    int32_t i = 0;
    int32_t lastBand = 0;
    for (int32_t cb = 0; cb < longBands; ++cb) {
        const int32_t width = std::clamp(state.SfbLongWidth[cb], 0, kLines - i);
        const float factor = gain * scaleTable[pretab[cb]][ScaleIndex(scale[cb])];
        const int32_t any = DequantiseRun(lines + i, width, factor, powers);
        i += width;
        if (any != 0) {
            lastBand = cb;
        }
        // A mixed block's long part is always walked to its end, so its short part starts on the
        // boundary of its first short band; the lines past the limit are zeros and stay zeros.
        if (!mixed && i >= limit) {
            break;
        }
    }
    block.LastBand = lastBand;
    block.BlockKind = 0;
    if (firstShortBand == 12) {
        return;
    }

    int32_t* lastShort = block.LastShortBand;
    lastShort[0] = lastShort[1] = lastShort[2] = firstShortBand;
    float windowGain[3];
    for (int32_t w = 0; w < 3; ++w) {
        windowGain[w] = gain * tables.SubblockGainTable[info.SubblockGain[w] & 7];
    }
    float* reorder = state.ReorderBuffer;
    const int32_t shortStart = i;
    int32_t row = 0;
    for (int32_t cb = firstShortBand; cb <= kLastShortBand; ++cb) {
        const int32_t width = std::max(state.SfbShortWidth[cb], 0);
        // The reorder buffer holds exactly the lines left in the granule, so this check keeps both.
        if (i + 3 * width > kLines) {
            break;
        }
        for (int32_t w = 0; w < 3; ++w) {
            const float factor =
                windowGain[w] * scaleTable[0][ScaleIndex(scale[kShortScaleFactorBase + 13 * w + cb])];
            int32_t any = 0;
            for (int32_t j = 0; j < width; ++j, ++i) {
                const int32_t q = lines[i];
                any |= q;
                reorder[(row + j) * 3 + w] = DequantiseValue(q, factor, powers);
            }
            if (any != 0) {
                lastShort[w] = cb;
            }
        }
        row += width;
        if (i >= limit) {
            break;
        }
    }
    std::memcpy(lines + shortStart, reorder, sizeof(float) * static_cast<size_t>(i - shortStart));

    state.NonZeroLines[granule][channel] = i;
    block.LastBand = std::max({lastShort[0], lastShort[1], lastShort[2]});
    block.BlockKind = 1;
}

} // namespace tunelo
