// Layer III part 2: the scale factors of one granule and channel, in the MPEG-1 form (with reuse of
// granule 0's long-block factors) and in the MPEG-2/2.5 form.

#include "bit_reader.h"
#include "layer3_huffman.h"

namespace tunelo {

namespace {

// (slen1, slen2) by the 4-bit scalefac_compress of MPEG-1.
constexpr uint8_t kMpeg1Slen[16][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {3, 0}, {1, 1}, {1, 2}, {1, 3},
                                       {2, 1}, {2, 2}, {2, 3}, {3, 1}, {3, 2}, {3, 3}, {4, 2}, {4, 3}};

// Bands per group for MPEG-2/2.5, by row and block kind (long, short, mixed). Short counts are short bands
// (three windows each); a mixed block's first group is the six long bands 0..5.
enum : int32_t { kKindLong = 0, kKindShort = 1, kKindMixed = 2 };
constexpr uint8_t kLsfGroupBands[6][3][4] = {
    {{6, 5, 5, 5}, {3, 3, 3, 3}, {6, 3, 3, 3}},   {{6, 5, 7, 3}, {3, 3, 4, 2}, {6, 3, 4, 2}},
    {{11, 10, 0, 0}, {6, 6, 0, 0}, {6, 3, 6, 0}}, {{7, 7, 7, 0}, {4, 4, 4, 0}, {6, 5, 4, 0}},
    {{6, 6, 6, 3}, {4, 3, 3, 2}, {6, 4, 3, 2}},   {{8, 8, 5, 0}, {5, 4, 3, 0}, {6, 6, 3, 0}},
};

// The group tables keep every band inside these, so no scale factor lands outside its block's range.
enum : int32_t { kLongBandsRead = 21, kShortBandsRead = 12 };

int32_t& ShortFactor(int32_t* factors, int32_t window, int32_t band) {
    return factors[kShortScaleFactorBase + 13 * window + band];
}

void ReadLongBands(TMPBitReader& reader, int32_t* factors, int32_t first, int32_t end, int32_t slen) {
    for (int32_t band = first; band < end; ++band) {
        factors[band] = static_cast<int32_t>(BitRead(reader, slen));
    }
}

void ReadShortBands(TMPBitReader& reader, int32_t* factors, int32_t first, int32_t end, int32_t slen) {
    for (int32_t band = first; band < end; ++band) {
        for (int32_t window = 0; window < 3; ++window) {
            ShortFactor(factors, window, band) = static_cast<int32_t>(BitRead(reader, slen));
        }
    }
}

} // namespace

void ReadScaleFactorsMpeg1(TMPDecoderState& state, int32_t granule, int32_t channel) {
    const TMPGranuleInfo& info = state.GranuleInfo[granule][channel];
    int32_t* factors = state.ScaleFactors[granule][channel];
    TMPBitReader& reader = state.Reader;
    const int32_t slen1 = kMpeg1Slen[info.ScalefacCompress & 15][0];
    const int32_t slen2 = kMpeg1Slen[info.ScalefacCompress & 15][1];

    if (info.BlockType == 2) {
        int32_t firstShort = 0;
        if (info.MixedBlockFlag != 0) {
            ReadLongBands(reader, factors, 0, 8, slen1);
            firstShort = 3;
        }
        ReadShortBands(reader, factors, firstShort, 6, slen1);
        ReadShortBands(reader, factors, 6, kShortBandsRead, slen2);
        return;
    }
    if (granule == 1) {
        // scfsi bit 3 covers the first group; a set bit reuses granule 0's factors of that group.
        static constexpr int32_t kGroupStart[5] = {0, 6, 11, 16, kLongBandsRead};
        const int32_t* previous = state.ScaleFactors[0][channel];
        for (int32_t group = 0; group < 4; ++group) {
            const int32_t first = kGroupStart[group];
            const int32_t end = kGroupStart[group + 1];
            if ((state.Scfsi[channel] >> (3 - group)) & 1) {
                for (int32_t band = first; band < end; ++band) {
                    factors[band] = previous[band];
                }
            } else {
                ReadLongBands(reader, factors, first, end, group < 2 ? slen1 : slen2);
            }
        }
        return;
    }
    ReadLongBands(reader, factors, 0, 11, slen1);
    ReadLongBands(reader, factors, 11, kLongBandsRead, slen2);
}

void ReadScaleFactorsLsf(TMPDecoderState& state, int32_t granule, int32_t channel,
                         bool intensitySecondChannel) {
    TMPGranuleInfo& info = state.GranuleInfo[granule][channel];
    int32_t* factors = state.ScaleFactors[granule][channel];
    TMPBitReader& reader = state.Reader;
    const int32_t compress = info.ScalefacCompress & 511;
    const int32_t kind =
        info.BlockType != 2 ? kKindLong : (info.MixedBlockFlag != 0 ? kKindMixed : kKindShort);

    int32_t slen[4] = {0, 0, 0, 0};
    int32_t row = 0;
    int32_t preflag = 0;
    if (!intensitySecondChannel) {
        if (compress < 400) {
            slen[0] = (compress >> 4) / 5;
            slen[1] = (compress >> 4) % 5;
            slen[2] = (compress >> 2) & 3;
            slen[3] = compress & 3;
            row = 0;
        } else if (compress < 500) {
            const int32_t x = compress - 400;
            slen[0] = (x >> 2) / 5;
            slen[1] = (x >> 2) % 5;
            slen[2] = x & 3;
            row = 1;
        } else {
            const int32_t x = compress - 500;
            slen[0] = x / 3;
            slen[1] = x % 3;
            if (kind == kKindMixed) {
                // The mixed row splits the first length's bands into the long group and a short group.
                slen[1] = x / 3;
                slen[2] = x % 3;
            }
            row = 2;
            preflag = 1;
        }
    } else {
        const int32_t intensityScale = compress & 1;
        const int32_t i = compress >> 1;
        if (i < 180) {
            slen[0] = i / 36;
            slen[1] = (i % 36) / 6;
            slen[2] = (i % 36) % 6;
            row = 3;
        } else if (i < 244) {
            const int32_t y = i - 180;
            slen[0] = y / 16;
            slen[1] = (y / 4) % 4;
            slen[2] = y % 4;
            row = 4;
        } else {
            const int32_t y = i - 244;
            slen[0] = y / 3;
            slen[1] = y % 3;
            row = 5;
        }
        TMPIntensityLimits& limits = state.IntensityLimits;
        for (int32_t group = 0; group < 3; ++group) {
            limits.GroupBands[group] = kLsfGroupBands[row][kind][group];
            limits.Slen[group] = slen[group];
        }
        limits.IntensityScale = intensityScale;
    }
    info.Preflag = preflag;

    int32_t longBand = 0;
    int32_t shortBand = 0;
    for (int32_t group = 0; group < 4; ++group) {
        const int32_t bands = kLsfGroupBands[row][kind][group];
        if (kind == kKindLong || (kind == kKindMixed && group == 0)) {
            ReadLongBands(reader, factors, longBand, longBand + bands, slen[group]);
            longBand += bands;
            if (kind == kKindMixed) {
                shortBand = 3; // the six long bands span the first three short bands
            }
        } else {
            ReadShortBands(reader, factors, shortBand, shortBand + bands, slen[group]);
            shortBand += bands;
        }
    }
}

} // namespace tunelo
