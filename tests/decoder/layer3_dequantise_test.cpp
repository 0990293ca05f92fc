// Layer III dequantisation: values against the standard's formula in double precision, band walking
// and stopping, the short-block reorder, mixed blocks, block information, and hostile input.

#include "decoder_state.h"
#include "frame_driver.h"
#include "layer3_spectrum.h"
#include "layer3_tables.h"
#include "standard_tables.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <memory>
#include <random>

namespace tunelo {
namespace {

// The standard's pre-emphasis table.
constexpr int kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

// Version row 1 = MPEG-1, 0 = MPEG-2; sampling index 0 = 44.1 / 22.05 kHz.
std::unique_ptr<TMPDecoderState> NewState(int versionRow = 1, int samplingIndex = 0) {
    auto state = std::make_unique<TMPDecoderState>(); // value-initialised: all zero
    state->SamplingIndex = samplingIndex;
    CopyBandTables(*state, versionRow);
    state->MixedLongBands = versionRow == 1 ? 8 : 6;
    return state;
}

double Power43(int q) {
    return (q < 0 ? -1 : 1) * std::pow(std::fabs(static_cast<double>(q)), 4.0 / 3.0);
}

double GlobalFactor(const TMPGranuleInfo& info) {
    return std::pow(2.0, (info.GlobalGain - 210) / 4.0) * 32768.0;
}

double LongFactor(const TMPGranuleInfo& info, int scalefactor, int band) {
    const int pre = info.Preflag ? kPretab[band] : 0;
    return GlobalFactor(info) * std::pow(2.0, -0.5 * (info.ScalefacScale + 1) * (scalefactor + pre));
}

double ShortFactor(const TMPGranuleInfo& info, int scalefactor, int window) {
    return GlobalFactor(info) * std::pow(2.0, -2.0 * info.SubblockGain[window]) *
           std::pow(2.0, -0.5 * (info.ScalefacScale + 1) * scalefactor);
}

float FloatAt(const TMPDecoderState& state, int channel, int granule, int i) {
    return state.Lines.Float[channel][granule][i];
}

void ExpectValue(float actual, double expected, int line) {
    if (expected == 0) {
        EXPECT_EQ(actual, 0.0f) << "line " << line;
    } else {
        EXPECT_NEAR(actual, expected, std::fabs(expected) * 1e-6) << "line " << line;
    }
}

TMPGranuleInfo RandomInfo(std::mt19937& random, int blockType, int mixed) {
    TMPGranuleInfo info{};
    info.GlobalGain = 120 + static_cast<int>(random() % 100);
    info.ScalefacScale = static_cast<int>(random() % 2);
    info.Preflag = blockType == 2 ? 0 : 1;
    info.BlockType = blockType;
    info.MixedBlockFlag = mixed;
    for (int w = 0; w < 3; ++w) {
        info.SubblockGain[w] = static_cast<int>(random() % 8);
    }
    return info;
}

void RandomScaleFactors(std::mt19937& random, int32_t* scale) {
    for (int i = 0; i < kScaleFactorCount; ++i) {
        scale[i] = static_cast<int>(random() % 16);
    }
    scale[21] = scale[22] = 0; // never read from a stream
}

// Quantised values with many zeros, the table range and the explicit range.
void RandomQuantised(std::mt19937& random, int32_t* lines, int count) {
    for (int i = 0; i < count; ++i) {
        const int kind = static_cast<int>(random() % 4);
        lines[i] = kind == 0   ? 0
                   : kind == 1 ? static_cast<int>(random() % 64) - 32
                               : static_cast<int>(random() % 200) - 100;
    }
}

TEST(Dequantise, LongBlockFollowsTheStandardFormula) {
    std::mt19937 random(1);
    for (int trial = 0; trial < 10; ++trial) {
        auto state = NewState();
        TMPGranuleInfo& info = state->GranuleInfo[0][1] = RandomInfo(random, trial % 2 == 0 ? 0 : 3, 0);
        info.Preflag = trial % 3 == 0;
        int32_t* scale = state->ScaleFactors[0][1];
        RandomScaleFactors(random, scale);
        int32_t quantised[576];
        RandomQuantised(random, quantised, 500);
        std::fill(quantised + 500, quantised + 576, 0);
        std::copy(std::begin(quantised), std::end(quantised), state->Lines.Int[1][0]);
        state->NonZeroLines[0][1] = 500;
        state->BlockInfo[0][1].LastShortBand[1] = 77; // a long block leaves these alone

        Dequantise(*state, 0, 1);

        int band = 0;
        int lastNonZeroBand = 0;
        for (int i = 0; i < 576; ++i) {
            while (i >= state->SfbLongEnd[band]) {
                ++band;
            }
            if (quantised[i] != 0) {
                lastNonZeroBand = band;
            }
            ExpectValue(FloatAt(*state, 1, 0, i), LongFactor(info, scale[band], band) * Power43(quantised[i]),
                        i);
        }
        const TMPBlockInfo& block = state->BlockInfo[0][1];
        EXPECT_EQ(block.BlockKind, 0);
        EXPECT_EQ(block.LastBand, lastNonZeroBand);
        EXPECT_EQ(block.FirstShortBand, 12);
        EXPECT_EQ(block.LongBandCount, 22);
        EXPECT_EQ(block.LastShortBand[1], 77);
        EXPECT_EQ(state->NonZeroLines[0][1], 500);
    }
}

TEST(Dequantise, LongBlockStopsAtTheFirstBandEndReachingTheCount) {
    auto state = NewState();
    state->GranuleInfo[1][0].GlobalGain = 210; // unit gain: q^(4/3) x 32768
    int32_t* lines = state->Lines.Int[0][1];

    // Count 0 still treats band 0 (lines 0..3), then stops.
    lines[1] = 1;
    lines[4] = 5;
    state->NonZeroLines[1][0] = 0;
    Dequantise(*state, 1, 0);
    EXPECT_EQ(FloatAt(*state, 0, 1, 0), 0.0f);
    EXPECT_EQ(FloatAt(*state, 0, 1, 1), 32768.0f);
    EXPECT_EQ(lines[4], 5); // band 1 not reached: still the integer
    EXPECT_EQ(state->BlockInfo[1][0].LastBand, 0);
    EXPECT_EQ(state->BlockInfo[1][0].BlockKind, 0);
    EXPECT_EQ(state->NonZeroLines[1][0], 0);

    // Count 9 ends inside band 2 (lines 8..11): bands 0..2 are treated.
    auto second = NewState();
    second->GranuleInfo[0][0].GlobalGain = 210;
    int32_t* more = second->Lines.Int[0][0];
    more[11] = -8;
    more[12] = 3;
    second->NonZeroLines[0][0] = 9;
    Dequantise(*second, 0, 0);
    EXPECT_EQ(FloatAt(*second, 0, 0, 11), -16.0f * 32768.0f);
    EXPECT_EQ(more[12], 3);
    EXPECT_EQ(second->BlockInfo[0][0].LastBand, 2);
}

TEST(Dequantise, PowerTableRangeAndExplicitPowers) {
    auto state = NewState();
    state->GranuleInfo[0][0].GlobalGain = 210;
    int32_t* lines = state->Lines.Int[0][0];
    const int32_t values[] = {-32, 31, 32, -33, 8206, -8206, 2147483647, -2147483647 - 1};
    std::copy(std::begin(values), std::end(values), lines);
    state->NonZeroLines[0][0] = 8;
    Dequantise(*state, 0, 0);

    const TMPLayer3Tables& tables = Layer3Tables();
    EXPECT_EQ(FloatAt(*state, 0, 0, 0), 32768.0f * tables.PowerTable[0]); // -32: table entry 0
    EXPECT_EQ(FloatAt(*state, 0, 0, 1), 32768.0f * tables.PowerTable[63]);
    // Outside -32..31: q |q|^e in double with e the single-precision 1/3.
    const double e = static_cast<float>(1.0 / 3.0);
    for (int i = 2; i < 8; ++i) {
        const double q = values[i];
        EXPECT_EQ(FloatAt(*state, 0, 0, i), static_cast<float>(32768.0 * q * std::pow(std::fabs(q), e))) << i;
        EXPECT_NEAR(FloatAt(*state, 0, 0, i), 32768.0 * Power43(values[i]),
                    std::fabs(32768.0 * Power43(values[i])) * 1e-6);
    }
}

TEST(Dequantise, ShortBlockReordersWindowsSideBySide) {
    std::mt19937 random(3);
    auto state = NewState();
    TMPGranuleInfo& info = state->GranuleInfo[1][1] = RandomInfo(random, 2, 0);
    int32_t* scale = state->ScaleFactors[1][1];
    RandomScaleFactors(random, scale);
    int32_t quantised[576];
    RandomQuantised(random, quantised, 576);
    // Window 1 silent from band 8 on, window 2 from band 5 on.
    for (int cb = 0; cb < 13; ++cb) {
        const int start = cb == 0 ? 0 : state->SfbShortEnd3[cb - 1];
        const int width = state->SfbShortWidth[cb];
        for (int j = 0; j < width; ++j) {
            if (cb >= 8) {
                quantised[start + width + j] = 0;
            }
            if (cb >= 5) {
                quantised[start + 2 * width + j] = 0;
            }
        }
        quantised[start] = 1; // window 0 non-zero in every band
    }
    std::copy(std::begin(quantised), std::end(quantised), state->Lines.Int[1][1]);
    state->NonZeroLines[1][1] = 576;

    Dequantise(*state, 1, 1);

    for (int cb = 0; cb < 13; ++cb) {
        const int start = cb == 0 ? 0 : state->SfbShortEnd3[cb - 1];
        const int width = state->SfbShortWidth[cb];
        for (int w = 0; w < 3; ++w) {
            const double factor = ShortFactor(info, scale[kShortScaleFactorBase + 13 * w + cb], w);
            for (int j = 0; j < width; ++j) {
                const int in = start + w * width + j;
                const int out = start + 3 * j + w;
                ExpectValue(FloatAt(*state, 1, 1, out), factor * Power43(quantised[in]), out);
            }
        }
    }
    const TMPBlockInfo& block = state->BlockInfo[1][1];
    EXPECT_EQ(block.BlockKind, 1);
    EXPECT_EQ(block.FirstShortBand, 0);
    EXPECT_EQ(block.LongBandCount, 0);
    EXPECT_EQ(block.LastShortBand[0], 12);
    EXPECT_EQ(block.LastShortBand[1], 7);
    EXPECT_EQ(block.LastShortBand[2], 4);
    EXPECT_EQ(block.LastBand, 12);
    EXPECT_EQ(state->NonZeroLines[1][1], 576);
}

TEST(Dequantise, ShortBlockCountBecomesTheEndOfTheLastBandTreated) {
    auto state = NewState();
    state->GranuleInfo[0][0].BlockType = 2;
    state->GranuleInfo[0][0].GlobalGain = 210;
    int32_t* lines = state->Lines.Int[0][0];
    lines[99] = 2;
    lines[120] = 7; // first line of band 7, beyond the band that covers line 99
    state->NonZeroLines[0][0] = 100;
    Dequantise(*state, 0, 0);
    // 44.1 kHz short band ends x 3: ... 90 (band 5), 120 (band 6).
    EXPECT_EQ(state->NonZeroLines[0][0], 120);
    EXPECT_EQ(lines[120], 7);
    // Band 6 starts at 90 with width 10: input line 99 is window 0's line 9, now at 90 + 3 x 9.
    EXPECT_EQ(FloatAt(*state, 0, 0, 117), static_cast<float>(32768.0 * Power43(2)));
    EXPECT_EQ(FloatAt(*state, 0, 0, 99), 0.0f);
    EXPECT_EQ(state->BlockInfo[0][0].LastShortBand[0], 6);
    EXPECT_EQ(state->BlockInfo[0][0].LastShortBand[1], 0);
    EXPECT_EQ(state->BlockInfo[0][0].LastBand, 6);
}

struct TMixedCase {
    int VersionRow;
    int Count;
    int ExpectedCount;
};

class DequantiseMixed : public ::testing::TestWithParam<TMixedCase> {};

TEST_P(DequantiseMixed, LongPartThenReorderedShortBandsFromBandThree) {
    const TMixedCase c = GetParam();
    std::mt19937 random(c.Count);
    auto state = NewState(c.VersionRow, 0);
    TMPGranuleInfo& info = state->GranuleInfo[0][0] = RandomInfo(random, 2, 1);
    info.Preflag = 1;
    int32_t* scale = state->ScaleFactors[0][0];
    RandomScaleFactors(random, scale);
    int32_t quantised[576] = {};
    RandomQuantised(random, quantised, c.Count);
    std::copy(std::begin(quantised), std::end(quantised), state->Lines.Int[0][0]);
    state->NonZeroLines[0][0] = c.Count;

    Dequantise(*state, 0, 0);

    const int longBands = state->MixedLongBands;
    const int longEnd = state->SfbLongEnd[longBands - 1];
    ASSERT_EQ(longEnd, state->SfbShortEnd3[2]); // the short part starts at short band 3
    int band = 0;
    for (int i = 0; i < longEnd; ++i) {
        while (i >= state->SfbLongEnd[band]) {
            ++band;
        }
        ExpectValue(FloatAt(*state, 0, 0, i), LongFactor(info, scale[band], band) * Power43(quantised[i]), i);
    }
    for (int cb = 3; cb < 13; ++cb) {
        const int start = state->SfbShortEnd3[cb - 1];
        if (start >= c.ExpectedCount) {
            break;
        }
        const int width = state->SfbShortWidth[cb];
        for (int w = 0; w < 3; ++w) {
            const double factor = ShortFactor(info, scale[kShortScaleFactorBase + 13 * w + cb], w);
            for (int j = 0; j < width; ++j) {
                const int out = start + 3 * j + w;
                ExpectValue(FloatAt(*state, 0, 0, out), factor * Power43(quantised[start + w * width + j]),
                            out);
            }
        }
    }
    const TMPBlockInfo& block = state->BlockInfo[0][0];
    EXPECT_EQ(block.BlockKind, 1);
    EXPECT_EQ(block.FirstShortBand, 3);
    EXPECT_EQ(block.LongBandCount, longBands);
    EXPECT_EQ(state->NonZeroLines[0][0], c.ExpectedCount);
    for (int w = 0; w < 3; ++w) {
        EXPECT_GE(block.LastShortBand[w], 3);
    }
}

// MPEG-1 44.1 kHz: 8 long bands (36 lines), short ends x 3 from band 3: 48, 66, 90, 120, 156, 198, 252,
// 318, 408, 576. MPEG-2 22.05 kHz: 6 long bands (36 lines), then 54, 72, 96, 126, 168, 222, 300, 396,
// 522, 576. A count inside the long part still treats the first short band.
INSTANTIATE_TEST_SUITE_P(Counts, DequantiseMixed,
                         ::testing::Values(TMixedCase{1, 200, 252}, TMixedCase{1, 576, 576},
                                           TMixedCase{1, 10, 48}, TMixedCase{0, 300, 300},
                                           TMixedCase{0, 301, 396}));

TEST(Dequantise, HostileInputStaysInsideAndKeepsTheCountInTheGranule) {
    std::mt19937 random(9);
    for (int trial = 0; trial < 2000; ++trial) {
        auto state = NewState(static_cast<int>(random() % 3), static_cast<int>(random() % 3));
        const int g = static_cast<int>(random() % 2);
        const int c = static_cast<int>(random() % 2);
        TMPGranuleInfo& info = state->GranuleInfo[g][c];
        info.GlobalGain = static_cast<int32_t>(random());
        info.ScalefacScale = static_cast<int32_t>(random());
        info.Preflag = static_cast<int32_t>(random());
        info.BlockType = static_cast<int32_t>(random() % 5);
        info.MixedBlockFlag = static_cast<int32_t>(random() % 3);
        for (int w = 0; w < 3; ++w) {
            info.SubblockGain[w] = static_cast<int32_t>(random());
        }
        for (int i = 0; i < kScaleFactorCount; ++i) {
            state->ScaleFactors[g][c][i] = static_cast<int32_t>(random());
        }
        for (int i = 0; i < 576; ++i) {
            state->Lines.Int[c][g][i] = static_cast<int32_t>(random());
        }
        state->NonZeroLines[g][c] = static_cast<int32_t>(random() % 3000) - 1000;
        state->MixedLongBands = static_cast<int32_t>(random() % 60) - 20;
        if (trial % 4 == 0) { // band tables that do not add up to the granule
            for (int b = 0; b < 22; ++b) {
                state->SfbLongWidth[b] = static_cast<int32_t>(random() % 200) - 50;
            }
            for (int b = 0; b < 13; ++b) {
                state->SfbShortWidth[b] = static_cast<int32_t>(random() % 200) - 50;
            }
        }
        Dequantise(*state, g, c);
        const TMPBlockInfo& block = state->BlockInfo[g][c];
        if (block.BlockKind == 1) {
            EXPECT_GE(state->NonZeroLines[g][c], 0);
            EXPECT_LE(state->NonZeroLines[g][c], 576);
            EXPECT_GE(block.LastBand, 0);
            EXPECT_LE(block.LastBand, 12);
        } else {
            EXPECT_GE(block.LastBand, 0);
            EXPECT_LE(block.LastBand, 21);
        }
    }
}

} // namespace
} // namespace tunelo
