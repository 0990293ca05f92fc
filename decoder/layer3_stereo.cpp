// Layer III joint stereo: middle/side and the MPEG-1 and MPEG-2/2.5 forms of intensity stereo, applied
// to the two channels of one granule after dequantisation.
#include <algorithm>

#include "layer3_spectrum.h"
#include "layer3_tables.h"

namespace tunelo {

namespace {

constexpr int32_t kLines = 576;
// The last band of each kind carries no position of its own: it takes the one of the band below.
constexpr int32_t kLastLongPositionBand = 20;
constexpr int32_t kLastShortPositionBand = 11;
constexpr int32_t kIllegalMpeg1Position = 7;
// Position 0 of a group of length 1: both channels keep the left value.
constexpr int32_t kLsfUnitEntry = 1;

// Block information may be stale or, in a test of hostile input, anything at all: bands are clamped
// before they index a table.
inline int32_t LongBand(int32_t band) {
    return std::clamp(band, 0, 21);
}
inline int32_t ShortBand(int32_t band) {
    return std::clamp(band, 0, 12);
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

// Turns the right channel's intensity positions into (left, right) factor pairs. The illegal position
// has the pair that leaves the band as middle/side or plain stereo would: (1, 1) or (1, 0). MPEG-1
// positions above 7 (4-bit long-band scale factors) have no entry; they count as the illegal one. An
// MPEG-2 entry never leaves its band's group, so it stays below 63.
class TIntensityPairs {
public:
    TIntensityPairs(const TMPDecoderState& state, int32_t granule) : FLsf(state.VersionId != 1) {
        const TMPLayer3Tables& tables = Layer3Tables();
        const int32_t ms = state.MsStereo != 0 ? 1 : 0;
        if (!FLsf) {
            FRow = tables.IntensityRatioTable[ms];
            return;
        }
        const TMPIntensityLimits& limits = state.IntensityLimits;
        FRow = tables.LsfIntensityTable[limits.IntensityScale != 0 ? 1 : 0][ms];
        BuildLsfBands(limits, false, FLong, 22);
        BuildLsfBands(limits, state.BlockInfo[granule][1].LongBandCount != 0, FShort, 13);
    }

    const float* Long(int32_t band, int32_t position) const { return Pair(FLong[band], position); }
    const float* Short(int32_t band, int32_t position) const { return Pair(FShort[band], position); }
    // The last band (long 21, short 12) carries no position; it takes the one of the band below. When
    // that band lies below the region, MPEG-2 gives the last band the unit factors of position 0 (the
    // standard's reference decoder does so); MPEG-1 leaves it as coded.
    const float* LoneLastBand() const { return FLsf ? FRow[kLsfUnitEntry] : FRow[kIllegalMpeg1Position]; }

private:
    const float* Pair(const TLsfBand& band, int32_t position) const {
        if (!FLsf) {
            return FRow[position >= 0 && position < kIllegalMpeg1Position ? position : kIllegalMpeg1Position];
        }
        return FRow[band.Offset + std::clamp(position, 0, band.LastPosition)];
    }

    bool FLsf;
    const float (*FRow)[2] = nullptr;
    TLsfBand FLong[22];
    TLsfBand FShort[13];
};

inline void SplitLine(float* left, float* right, int32_t i, const float* pair) {
    const float value = left[i];
    right[i] = pair[1] * value;
    left[i] = pair[0] * value;
}

// Long bands from firstBand up to (not including) endBand, each with its own position. Lines from the left
// channel's count on are zero in both channels and stay so.
void IntensityLongBands(const TMPDecoderState& state, const TIntensityPairs& pairs, const int32_t* positions,
                        int32_t firstBand, int32_t endBand, int32_t leftCount, float* left, float* right) {
    for (int32_t cb = std::max(firstBand, 0); cb < std::min(endBand, 22); ++cb) {
        const int32_t source = std::min(cb, kLastLongPositionBand);
        const bool alone = cb > kLastLongPositionBand && firstBand > kLastLongPositionBand;
        const float* pair = alone ? pairs.LoneLastBand() : pairs.Long(source, positions[source]);
        const int32_t end = std::min(state.SfbLongEnd[cb], leftCount);
        for (int32_t i = std::max(cb > 0 ? state.SfbLongEnd[cb - 1] : 0, 0); i < end; ++i) {
            SplitLine(left, right, i, pair);
        }
    }
}

// The short bands of one window from firstBand on, each with its own position. Lines are
// reordered: each frequency line holds its three windows side by side.
void IntensityShortWindow(const TMPDecoderState& state, const TIntensityPairs& pairs,
                          const int32_t* positions, int32_t window, int32_t firstBand, int32_t leftCount,
                          float* left, float* right) {
    for (int32_t cb = std::max(firstBand, 0); cb <= 12; ++cb) {
        const int32_t source = std::min(cb, kLastShortPositionBand);
        const bool alone = cb > kLastShortPositionBand && firstBand > kLastShortPositionBand;
        const float* pair =
            alone ? pairs.LoneLastBand()
                  : pairs.Short(source, positions[kShortScaleFactorBase + 13 * window + source]);
        const int32_t end = std::min(state.SfbShortEnd3[cb], leftCount);
        for (int32_t i = (cb > 0 ? state.SfbShortEnd3[cb - 1] : 0) + window; i < end; i += 3) {
            SplitLine(left, right, i, pair);
        }
    }
}

// The dequantiser counts a window's last non-zero band from the block's first short band, so that
// band is named whether or not it holds anything; only its lines tell.
bool ShortBandIsSilent(const TMPDecoderState& state, const float* lines, int32_t window, int32_t band) {
    const int32_t end = std::min(state.SfbShortEnd3[band], kLines);
    for (int32_t i = (band > 0 ? state.SfbShortEnd3[band - 1] : 0) + window; i < end; i += 3) {
        if (lines[i] != 0.0f) {
            return false;
        }
    }
    return true;
}

// The last line of the right channel below lineEnd that holds a value, or -1.
int32_t LastNonZeroLine(const float* lines, int32_t lineEnd) {
    for (int32_t i = std::min(lineEnd, kLines) - 1; i >= 0; --i) {
        if (lines[i] != 0.0f) {
            return i;
        }
    }
    return -1;
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

TMPIntensityRegion FindIntensityRegion(const TMPDecoderState& state, int32_t granule) {
    granule &= 1;
    const TMPBlockInfo& rightBlock = state.BlockInfo[granule][1];
    const float* right = state.Lines.Float[1][granule];
    TMPIntensityRegion region;
    if (rightBlock.BlockKind == 0) {
        // The region starts at the band above the right channel's last non-zero line, at band 0 when
        // the right channel is silent.
        region.LongFirst = LongBand(rightBlock.LastBand) + 1;
        if (region.LongFirst == 1 && LastNonZeroLine(right, state.SfbLongEnd[0]) < 0) {
            region.LongFirst = 0;
        }
        region.LongEnd = 22;
        return region;
    }
    // Short bands: every window has its own bound. In a mixed block the bound may lie in the long part.
    const bool mixed = rightBlock.LongBandCount != 0;
    const int32_t firstShort = mixed ? 3 : 0;
    bool shortPartSilent = true;
    for (int32_t w = 0; w < 3; ++w) {
        int32_t bound = std::max(ShortBand(rightBlock.LastShortBand[w]), firstShort);
        if (bound == firstShort && ShortBandIsSilent(state, right, w, bound)) {
            bound = firstShort - 1;
        }
        shortPartSilent = shortPartSilent && bound < firstShort;
        region.ShortFirst[w] = bound + 1;
    }
    if (mixed && shortPartSilent) {
        const int32_t longEnd = std::clamp(state.MixedLongBands, 0, 22);
        const int32_t longLines = longEnd > 0 ? state.SfbLongEnd[longEnd - 1] : 0;
        // Here a silent right channel leaves no band as coded: the region starts at band 0.
        const int32_t last = LastNonZeroLine(right, longLines);
        int32_t band = 0;
        if (last >= 0) {
            while (band < longEnd && state.SfbLongEnd[band] <= last) {
                ++band;
            }
            ++band;
        }
        region.LongFirst = band;
        region.LongEnd = longEnd;
    }
    return region;
}

void Intensity(TMPDecoderState& state, int32_t granule, const TMPIntensityRegion& region) {
    granule &= 1;
    const TIntensityPairs pairs(state, granule);
    const int32_t* positions = state.ScaleFactors[granule][1];
    float* left = state.Lines.Float[0][granule];
    float* right = state.Lines.Float[1][granule];
    const int32_t leftCount = std::clamp(state.NonZeroLines[granule][0], 0, kLines);
    IntensityLongBands(state, pairs, positions, region.LongFirst, region.LongEnd, leftCount, left, right);
    for (int32_t w = 0; w < 3; ++w) {
        IntensityShortWindow(state, pairs, positions, w, region.ShortFirst[w], leftCount, left, right);
    }
}

void Layer3Stereo(TMPDecoderState& state, int32_t granule) {
    granule &= 1;
    if (state.Channels != 2) {
        return;
    }
    // The region is found before middle/side, which fills the right channel where it was silent.
    const TMPIntensityRegion region =
        state.IntensityStereo != 0 ? FindIntensityRegion(state, granule) : TMPIntensityRegion{};
    if (state.MsStereo != 0) {
        MiddleSide(state, granule, MiddleSideCount(state, granule));
    }
    if (state.IntensityStereo != 0) {
        Intensity(state, granule, region);
    }
    if (state.MsStereo != 0 || state.IntensityStereo != 0) {
        int32_t* counts = state.NonZeroLines[granule];
        counts[0] = counts[1] = std::max(counts[0], counts[1]);
    }
}

} // namespace tunelo
