// Layer III joint stereo: middle/side and the MPEG-1 and MPEG-2/2.5 forms of intensity stereo, applied
// to the two channels of one granule after dequantisation.
#include <algorithm>

#include "MPTables.h"
#include "layer3_spectrum.h"

namespace tunelo {

namespace {

constexpr int32_t kLines = 576;
constexpr int32_t kLastIntensityLongBand = 20;
constexpr int32_t kLastMpeg1IntensityShortBand = 11;
constexpr int32_t kIllegalMpeg1Position = 7;

// Block information may be stale or, in a test of hostile input, anything at all: bands are clamped
// before they index a table.
inline int32_t LongBand(int32_t band) {
    return std::clamp(band, 0, 21);
}
inline int32_t ShortBand(int32_t band) {
    return std::clamp(band, 0, 12);
}

// Positions above 7 (4-bit long-band scale factors) have no entry; they count as the illegal one.
inline const float* Mpeg1Pair(const float (*row)[2], int32_t position) {
    return row[position >= 0 && position < kIllegalMpeg1Position ? position : kIllegalMpeg1Position];
}

inline void SplitLine(float* left, float* right, int32_t i, const float* pair) {
    const float value = left[i];
    right[i] = pair[1] * value;
    left[i] = pair[0] * value;
}

// Where a band's positions start in a row of LsfIntensityTable and its largest (illegal) position.
struct TLsfBand {
    int32_t Offset = 0;
    int32_t LastPosition = 0;
};

// Gives each band of the three position groups its offset 2^slen - 1. Bands outside the groups keep
// offset 0 with the single (illegal) position 0, as a group of length 0 would. In a mixed block the
// first group covers the six long bands below short band 3.
void BuildLsfBands(const TMPIntensityLimits& limits, bool mixedShort, TLsfBand* bands, int32_t bandCount) {
    int32_t band = 0;
    for (int32_t group = 0; group < 3; ++group) {
        const int32_t length = std::clamp(limits.Slen[group], 0, 5);
        const int32_t groupBands = group == 0 && mixedShort ? 3 : std::max(limits.GroupBands[group], 0);
        for (int32_t k = 0; k < groupBands && band < bandCount; ++k, ++band) {
            bands[band].Offset = (1 << length) - 1;
            bands[band].LastPosition = (1 << length) - 1;
        }
    }
}

// The pair for a band; the entry never leaves its group, so it stays below 63.
inline const float* LsfPair(const float (*row)[2], const TLsfBand& band, int32_t position) {
    return row[band.Offset + std::clamp(position, 0, band.LastPosition)];
}

} // namespace

int32_t IntensityStart(const TMPDecoderState& state, int32_t granule) {
    const TMPBlockInfo& right = state.BlockInfo[granule & 1][1];
    const int32_t start = right.BlockKind == 0 ? state.SfbLongEnd[LongBand(right.LastBand)]
                                               : state.SfbShortEnd3[ShortBand(right.LastBand)];
    return std::clamp(start, 0, kLines);
}

int32_t MiddleSideCount(const TMPDecoderState& state, int32_t granule) {
    granule &= 1;
    if (state.IntensityStereo != 0) {
        return IntensityStart(state, granule);
    }
    return std::clamp(std::max(state.NonZeroLines[granule][0], state.NonZeroLines[granule][1]), 0, kLines);
}

void MiddleSide(TMPDecoderState& state, int32_t granule, int32_t count) {
    float* left = state.Lines.Float[0][granule & 1];
    float* right = state.Lines.Float[1][granule & 1];
    count = std::clamp(count, 0, kLines);
    for (int32_t i = 0; i < count; ++i) {
        const float a = left[i];
        const float b = right[i];
        left[i] = a + b;
        right[i] = a - b;
    }
}

void IntensityMpeg1(TMPDecoderState& state, int32_t granule) {
    granule &= 1;
    const TMPLayer3Tables& tables = Layer3Tables();
    const float(*row)[2] = tables.IntensityRatioTable[state.MsStereo != 0 ? 1 : 0];
    const TMPBlockInfo& rightBlock = state.BlockInfo[granule][1];
    const int32_t* positions = state.ScaleFactors[granule][1];
    float* left = state.Lines.Float[0][granule];
    float* right = state.Lines.Float[1][granule];

    int32_t i = IntensityStart(state, granule);
    int32_t remaining = std::clamp(state.NonZeroLines[granule][0], 0, kLines) - i;
    if (rightBlock.BlockKind == 0) {
        for (int32_t cb = LongBand(rightBlock.LastBand) + 1; cb <= kLastIntensityLongBand; ++cb) {
            const float* pair = Mpeg1Pair(row, positions[cb]);
            for (int32_t j = 0; j < state.SfbLongWidth[cb]; ++j, ++i) {
                if (--remaining < 0 || i >= kLines) {
                    return;
                }
                SplitLine(left, right, i, pair);
            }
        }
        return;
    }
    for (int32_t cb = ShortBand(rightBlock.LastBand) + 1; cb <= kLastMpeg1IntensityShortBand; ++cb) {
        const float* pairs[3];
        for (int32_t w = 0; w < 3; ++w) {
            pairs[w] = Mpeg1Pair(row, positions[kShortScaleFactorBase + 13 * w + cb]);
        }
        for (int32_t j = 0; j < state.SfbShortWidth[cb]; ++j, i += 3) {
            remaining -= 3;
            if (remaining < 0 || i + 3 > kLines) {
                return;
            }
            for (int32_t w = 0; w < 3; ++w) {
                SplitLine(left, right, i + w, pairs[w]);
            }
        }
    }
}

void IntensityLsf(TMPDecoderState& state, int32_t granule) {
    granule &= 1;
    const TMPLayer3Tables& tables = Layer3Tables();
    const TMPIntensityLimits& limits = state.IntensityLimits;
    const float(*row)[2] =
        tables.LsfIntensityTable[limits.IntensityScale != 0 ? 1 : 0][state.MsStereo != 0 ? 1 : 0];
    const TMPBlockInfo& rightBlock = state.BlockInfo[granule][1];
    const TMPBlockInfo& leftBlock = state.BlockInfo[granule][0];
    const int32_t* positions = state.ScaleFactors[granule][1];
    float* left = state.Lines.Float[0][granule];
    float* right = state.Lines.Float[1][granule];

    if (rightBlock.BlockKind == 0) {
        TLsfBand bands[22];
        BuildLsfBands(limits, false, bands, 22);
        int32_t i = IntensityStart(state, granule);
        int32_t remaining = std::clamp(state.NonZeroLines[granule][0], 0, kLines) - i;
        for (int32_t cb = LongBand(rightBlock.LastBand) + 1; cb <= kLastIntensityLongBand; ++cb) {
            const float* pair = LsfPair(row, bands[cb], positions[cb]);
            for (int32_t j = 0; j < state.SfbLongWidth[cb]; ++j, ++i) {
                if (--remaining < 0 || i >= kLines) {
                    return;
                }
                SplitLine(left, right, i, pair);
            }
        }
        return;
    }

    TLsfBand bands[13];
    BuildLsfBands(limits, rightBlock.LongBandCount != 0, bands, 13);
    for (int32_t w = 0; w < 3; ++w) {
        const int32_t firstBand = ShortBand(rightBlock.LastShortBand[w]);
        const int32_t lastBand = ShortBand(leftBlock.LastShortBand[w]);
        int32_t i = state.SfbShortEnd3[firstBand] + w;
        for (int32_t cb = firstBand + 1; cb <= lastBand; ++cb) {
            // Band 12 carries no position of its own: it takes band 11's.
            const int32_t source = std::min(cb, 11);
            const float* pair =
                LsfPair(row, bands[source], positions[kShortScaleFactorBase + 13 * w + source]);
            for (int32_t j = 0; j < state.SfbShortWidth[cb]; ++j, i += 3) {
                if (i < 0 || i >= kLines) {
                    break;
                }
                SplitLine(left, right, i, pair);
            }
        }
    }
}

void Layer3Stereo(TMPDecoderState& state, int32_t granule) {
    granule &= 1;
    if (state.Channels != 2) {
        return;
    }
    if (state.MsStereo != 0) {
        MiddleSide(state, granule, MiddleSideCount(state, granule));
    }
    if (state.IntensityStereo != 0) {
        if (state.VersionId == 1) {
            IntensityMpeg1(state, granule);
        } else {
            IntensityLsf(state, granule);
        }
    }
    if (state.MsStereo != 0 || state.IntensityStereo != 0) {
        int32_t* counts = state.NonZeroLines[granule];
        counts[0] = counts[1] = std::max(counts[0], counts[1]);
    }
}

} // namespace tunelo
