#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "MPBitReader.h"
#include "MPLayer3Huffman.h"
#include "bit_writer.h"

namespace tunelo {
namespace {

constexpr int32_t kKeep = -7; // what every scale factor holds before a read

int32_t LongIndex(int32_t band) {
    return band;
}
int32_t ShortIndex(int32_t window, int32_t band) {
    return kShortScaleFactorBase + 13 * window + band;
}

// Builds the part 2 bits of one channel from the values it should yield, then runs a reader over them.
class ScaleFactors : public ::testing::Test {
protected:
    void SetUp() override {
        state = std::make_unique<TMPDecoderState>();
        for (auto& granule : state->ScaleFactors) {
            for (auto& channel : granule) {
                std::fill(std::begin(channel), std::end(channel), kKeep);
            }
        }
        expected.assign(kScaleFactorCount, kKeep);
        writer = {};
        next = 0;
    }

    // Long bands [first, end) with slen bits; values count up so each lands visibly.
    void ExpectLong(int32_t first, int32_t end, int32_t slen) {
        for (int32_t band = first; band < end; ++band) {
            expected[LongIndex(band)] = Put(slen);
        }
    }
    void ExpectShort(int32_t first, int32_t end, int32_t slen) {
        for (int32_t band = first; band < end; ++band) {
            for (int32_t window = 0; window < 3; ++window) {
                expected[ShortIndex(window, band)] = Put(slen);
            }
        }
    }
    int32_t Put(int32_t slen) {
        if (slen == 0) {
            return 0;
        }
        const uint32_t value = (next++ * 5u + 1u) & ((1u << slen) - 1u);
        writer.Put(value, slen);
        return static_cast<int32_t>(value);
    }
    void StartReader() {
        bytes = writer.BytesThen(16, 0xFF); // what follows part 2 must not be taken in
        BitStart(state->Reader, bytes.data(), bytes.data() + bytes.size());
    }
    std::vector<int32_t> Factors(int32_t granule, int32_t channel) const {
        const int32_t* f = state->ScaleFactors[granule][channel];
        return {f, f + kScaleFactorCount};
    }

    std::unique_ptr<TMPDecoderState> state;
    std::vector<int32_t> expected;
    testsupport::TBitWriter writer;
    std::vector<uint8_t> bytes;
    uint32_t next = 0;
};

TEST_F(ScaleFactors, Mpeg1LongBlockWithZeroSecondLengthClearsTheUpperBands) {
    TMPGranuleInfo& gi = state->GranuleInfo[0][1];
    gi.ScalefacCompress = 4; // slen1 3, slen2 0
    ExpectLong(0, 11, 3);
    ExpectLong(11, 21, 0);
    StartReader();
    ReadScaleFactorsMpeg1(*state, 0, 1);
    EXPECT_EQ(Factors(0, 1), expected);
    EXPECT_EQ(BitConsumed(state->Reader), 33);
    EXPECT_EQ(Factors(0, 0), std::vector<int32_t>(kScaleFactorCount, kKeep));
}

TEST_F(ScaleFactors, Mpeg1SecondGranuleReusesTheGroupsScfsiMarks) {
    int32_t* first = state->ScaleFactors[0][0];
    for (int32_t band = 0; band < 21; ++band) {
        first[band] = 100 + band;
    }
    state->Scfsi[0] = 0b1010;                       // groups 0 (bands 0..5) and 2 (bands 11..15) reused
    state->GranuleInfo[1][0].ScalefacCompress = 15; // slen1 4, slen2 3
    for (int32_t band = 0; band < 6; ++band) {
        expected[band] = 100 + band;
    }
    ExpectLong(6, 11, 4);
    for (int32_t band = 11; band < 16; ++band) {
        expected[band] = 100 + band;
    }
    ExpectLong(16, 21, 3);
    StartReader();
    ReadScaleFactorsMpeg1(*state, 1, 0);
    EXPECT_EQ(Factors(1, 0), expected);
    EXPECT_EQ(BitConsumed(state->Reader), 5 * 4 + 5 * 3);
}

TEST_F(ScaleFactors, Mpeg1FirstGranuleIgnoresScfsi) {
    state->Scfsi[1] = 0b1111;
    state->GranuleInfo[0][1].ScalefacCompress = 9; // slen1 2, slen2 2
    ExpectLong(0, 21, 2);
    StartReader();
    ReadScaleFactorsMpeg1(*state, 0, 1);
    EXPECT_EQ(Factors(0, 1), expected);
}

TEST_F(ScaleFactors, Mpeg1ShortBlockReadsThreeWindowsPerBandAndNoBand12) {
    TMPGranuleInfo& gi = state->GranuleInfo[1][1];
    gi.ScalefacCompress = 10; // slen1 2, slen2 3
    gi.BlockType = 2;
    state->Scfsi[1] = 0b1111; // no reuse for short blocks
    ExpectShort(0, 6, 2);
    ExpectShort(6, 12, 3);
    StartReader();
    ReadScaleFactorsMpeg1(*state, 1, 1);
    EXPECT_EQ(Factors(1, 1), expected);
    EXPECT_EQ(BitConsumed(state->Reader), 18 * 2 + 18 * 3);
}

TEST_F(ScaleFactors, Mpeg1MixedBlockReadsEightLongBandsThenShortBandsFrom3) {
    TMPGranuleInfo& gi = state->GranuleInfo[0][0];
    gi.ScalefacCompress = 14; // slen1 4, slen2 2
    gi.BlockType = 2;
    gi.MixedBlockFlag = 1;
    ExpectLong(0, 8, 4);
    ExpectShort(3, 6, 4);
    ExpectShort(6, 12, 2);
    StartReader();
    ReadScaleFactorsMpeg1(*state, 0, 0);
    EXPECT_EQ(Factors(0, 0), expected);
    EXPECT_EQ(BitConsumed(state->Reader), 8 * 4 + 9 * 4 + 18 * 2);
}

TEST_F(ScaleFactors, LsfMixedRow2SplitsTheFirstLengthAndSetsPreflag) {
    TMPGranuleInfo& gi = state->GranuleInfo[0][0];
    gi.ScalefacCompress = 510; // x = 10: lengths (3, 3, 1, 0)
    gi.BlockType = 2;
    gi.MixedBlockFlag = 1;
    ExpectLong(0, 6, 3);
    ExpectShort(3, 6, 3);
    ExpectShort(6, 12, 1);
    StartReader();
    ReadScaleFactorsLsf(*state, 0, 0, false);
    EXPECT_EQ(Factors(0, 0), expected);
    EXPECT_EQ(gi.Preflag, 1);
    EXPECT_EQ(BitConsumed(state->Reader), 6 * 3 + 9 * 3 + 18 * 1);
}

TEST_F(ScaleFactors, LsfRow0LongBlockClearsBandsOfZeroLengthAndResetsPreflag) {
    TMPGranuleInfo& gi = state->GranuleInfo[1][1];
    gi.ScalefacCompress = 250; // slen (3, 0, 2, 2), groups 6 5 5 5
    gi.Preflag = 1;
    ExpectLong(0, 6, 3);
    ExpectLong(6, 11, 0);
    ExpectLong(11, 16, 2);
    ExpectLong(16, 21, 2);
    StartReader();
    ReadScaleFactorsLsf(*state, 1, 1, false);
    EXPECT_EQ(Factors(1, 1), expected);
    EXPECT_EQ(gi.Preflag, 0);
}

TEST_F(ScaleFactors, LsfRow1ShortBlock) {
    TMPGranuleInfo& gi = state->GranuleInfo[0][1];
    gi.ScalefacCompress = 400 + 59; // x = 59: slen (2, 4, 3, 0), groups 3 3 4 2
    gi.BlockType = 2;
    ExpectShort(0, 3, 2);
    ExpectShort(3, 6, 4);
    ExpectShort(6, 10, 3);
    ExpectShort(10, 12, 0);
    StartReader();
    ReadScaleFactorsLsf(*state, 0, 1, false);
    EXPECT_EQ(Factors(0, 1), expected);
    EXPECT_EQ(gi.Preflag, 0);
}

TEST_F(ScaleFactors, IntensitySecondChannelFillsTheLimitsRecord) {
    struct TCase {
        int32_t Compress;
        int32_t BlockType, Mixed;
        int32_t Groups[4];
        int32_t Slen[3];
        bool LongGroups;
    };
    const TCase cases[] = {
        // i = 180: row 4 with lengths (0, 0, 0): nothing is read, every band becomes 0.
        {361, 0, 0, {6, 6, 6, 3}, {0, 0, 0}, true},
        // i = 100: row 3, slen (2, 4, 4).
        {200, 0, 0, {7, 7, 7, 0}, {2, 4, 4}, true},
        // i = 250: row 5, y = 6: slen (2, 0, 0), short block.
        {500, 2, 0, {5, 4, 3, 0}, {2, 0, 0}, false},
        // i = 190: row 4, y = 10: slen (0, 2, 2), mixed block.
        {381, 2, 1, {6, 4, 3, 2}, {0, 2, 2}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Compress);
        SetUp();
        TMPGranuleInfo& gi = state->GranuleInfo[1][1];
        gi.ScalefacCompress = c.Compress;
        gi.BlockType = c.BlockType;
        gi.MixedBlockFlag = c.Mixed;
        gi.Preflag = 1;
        int32_t band = 0;
        for (int32_t group = 0; group < 4; ++group) {
            const int32_t slen = group < 3 ? c.Slen[group] : 0;
            if (c.LongGroups || (c.Mixed && group == 0)) {
                ExpectLong(band, band + c.Groups[group], slen);
                band += c.Groups[group];
                if (c.Mixed) {
                    band = 3;
                }
            } else {
                ExpectShort(band, band + c.Groups[group], slen);
                band += c.Groups[group];
            }
        }
        StartReader();
        ReadScaleFactorsLsf(*state, 1, 1, true);
        EXPECT_EQ(Factors(1, 1), expected);
        EXPECT_EQ(BitConsumed(state->Reader), writer.Bits);
        EXPECT_EQ(gi.Preflag, 0);
        const TMPIntensityLimits& limits = state->IntensityLimits;
        EXPECT_EQ(limits.IntensityScale, c.Compress & 1);
        for (int32_t group = 0; group < 3; ++group) {
            EXPECT_EQ(limits.GroupBands[group], c.Groups[group]) << group;
            EXPECT_EQ(limits.Slen[group], c.Slen[group]) << group;
        }
    }
}

TEST_F(ScaleFactors, NoCompressValueOrBlockKindWritesOutsideTheBandsItOwns) {
    // Entries 21, 22 and short band 12 are never read; nor may anything reach a neighbour's factors.
    const auto neverWritten = [](int32_t index) {
        return index == 21 || index == 22 ||
               (index >= kShortScaleFactorBase && (index - kShortScaleFactorBase) % 13 == 12);
    };
    for (int32_t compress : {0, 15, 399, 400, 499, 500, 511, 512, -1, 0x7FFFFFFF}) {
        for (int32_t kind = 0; kind < 3; ++kind) {
            for (int32_t form = 0; form < 3; ++form) {
                SetUp();
                writer.Bytes.assign(64, 0xFF);
                StartReader();
                TMPGranuleInfo& gi = state->GranuleInfo[1][0];
                gi.ScalefacCompress = compress;
                gi.BlockType = kind == 0 ? 0 : 2;
                gi.MixedBlockFlag = kind == 2 ? 1 : 0;
                state->Scfsi[0] = 0;
                if (form == 0) {
                    ReadScaleFactorsMpeg1(*state, 1, 0);
                } else {
                    ReadScaleFactorsLsf(*state, 1, 0, form == 2);
                }
                const std::vector<int32_t> factors = Factors(1, 0);
                for (int32_t i = 0; i < kScaleFactorCount; ++i) {
                    if (neverWritten(i)) {
                        EXPECT_EQ(factors[i], kKeep)
                            << "compress " << compress << " kind " << kind << " index " << i;
                    }
                }
                EXPECT_EQ(Factors(0, 0), std::vector<int32_t>(kScaleFactorCount, kKeep));
                EXPECT_EQ(Factors(0, 1), std::vector<int32_t>(kScaleFactorCount, kKeep));
                EXPECT_EQ(Factors(1, 1), std::vector<int32_t>(kScaleFactorCount, kKeep));
            }
        }
    }
}

} // namespace
} // namespace tunelo
