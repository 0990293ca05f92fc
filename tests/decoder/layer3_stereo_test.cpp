// Layer III joint stereo (middle/side, MPEG-1 and MPEG-2/2.5 intensity stereo) and alias reduction,
// against the standard's factors computed here in double precision, and with hostile block information.

#include "MPCPUSpc.h"
#include "decoder_state.h"
#include "frame_driver.h"
#include "layer3_spectrum.h"
#include "standard_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace tunelo {
namespace {

const double kPi = 4 * std::atan(1.0);

std::unique_ptr<TMPDecoderState> NewState(int versionRow = 1, int samplingIndex = 0) {
    auto state = std::make_unique<TMPDecoderState>(); // value-initialised: all zero
    state->SamplingIndex = samplingIndex;
    CopyBandTables(*state, versionRow);
    state->VersionId = versionRow == 1 ? 1 : 0;
    state->MixedLongBands = versionRow == 1 ? 8 : 6;
    state->Channels = 2;
    return state;
}

// Random values in the left channel, and in the right channel below rightEnd.
void FillChannels(TMPDecoderState& state, int g, std::mt19937& random, int rightEnd) {
    std::uniform_real_distribution<float> value(-1000, 1000);
    for (int i = 0; i < 576; ++i) {
        state.Lines.Float[0][g][i] = value(random);
        state.Lines.Float[1][g][i] = i < rightEnd ? value(random) : 0.0f;
    }
}

// Short-block layout (three windows side by side per line): random left values everywhere, right values
// in each window's bands up to lastRight[w] (-1: the window is silent).
void FillShortChannels(TMPDecoderState& state, int g, std::mt19937& random, const int lastRight[3]) {
    std::uniform_real_distribution<float> value(-1000, 1000);
    for (int i = 0; i < 576; ++i) {
        int band = 0;
        while (i >= state.SfbShortEnd3[band]) {
            ++band;
        }
        const int w = (i - (band == 0 ? 0 : state.SfbShortEnd3[band - 1])) % 3;
        state.Lines.Float[0][g][i] = value(random);
        state.Lines.Float[1][g][i] = band <= lastRight[w] ? value(random) : 0.0f;
    }
}

// The window of line i of a short block, and its band.
int ShortBandOf(const TMPDecoderState& state, int i, int* window) {
    int band = 0;
    while (i >= state.SfbShortEnd3[band]) {
        ++band;
    }
    *window = (i - (band == 0 ? 0 : state.SfbShortEnd3[band - 1])) % 3;
    return band;
}

void RunIntensity(TMPDecoderState& state, int g) {
    Intensity(state, g, FindIntensityRegion(state, g));
}

struct TPair {
    double Left;
    double Right;
};

// MPEG-1: (s / (s + c), c / (s + c)) with s, c of p pi / 12; the illegal position 7 keeps the left value
// and gives the right one nothing (or, in a middle/side frame, the same). sqrt(2) with middle/side.
TPair Mpeg1Factors(int position, bool msStereo) {
    if (position >= 7) {
        return {1.0, msStereo ? 1.0 : 0.0};
    }
    const double s = std::sin(position * kPi / 12);
    const double c = std::cos(position * kPi / 12);
    const double f = msStereo ? std::sqrt(2.0) : 1.0;
    return {f * s / (s + c), f * c / (s + c)};
}

// MPEG-2: k = 2^(-(intensity_scale + 1) / 4); odd positions lower the left channel, even ones the right;
// the largest position of the band's length is illegal.
TPair LsfFactors(int position, int length, int intensityScale, bool msStereo) {
    const int last = (1 << length) - 1;
    position = std::min(position, last);
    if (position == last) {
        return {1.0, msStereo ? 1.0 : 0.0};
    }
    const double k = std::pow(2.0, -0.25 * (intensityScale + 1));
    const double f = msStereo ? std::sqrt(2.0) : 1.0;
    if (position % 2 == 1) {
        return {f * std::pow(k, (position + 1) / 2), f};
    }
    return {f, f * std::pow(k, position / 2)};
}

void ExpectSplit(const TMPDecoderState& state, int g, int i, float original, TPair pair) {
    EXPECT_NEAR(state.Lines.Float[0][g][i], original * pair.Left, 2e-6 * std::fabs(original)) << "left " << i;
    EXPECT_NEAR(state.Lines.Float[1][g][i], original * pair.Right, 2e-6 * std::fabs(original))
        << "right " << i;
}

void ExpectUntouched(const TMPDecoderState& state, const TMPDecoderState& before, int g, int i) {
    EXPECT_EQ(state.Lines.Float[0][g][i], before.Lines.Float[0][g][i]) << "left " << i;
    EXPECT_EQ(state.Lines.Float[1][g][i], before.Lines.Float[1][g][i]) << "right " << i;
}

void SetLongBlock(TMPBlockInfo& block, int lastBand) {
    block = TMPBlockInfo{0, lastBand, 12, 22, {5, 5, 5}}; // stale short fields, as after a long block
}

void SetShortBlock(TMPBlockInfo& block, int w0, int w1, int w2, bool mixed = false) {
    block = TMPBlockInfo{1, std::max({w0, w1, w2}), mixed ? 3 : 0, mixed ? 8 : 0, {w0, w1, w2}};
}

// ---------------------------------------------------------------------------------------------
// Middle/side

TEST(MiddleSide, TreatsTheLargerCountWithoutIntensity) {
    std::mt19937 random(1);
    auto state = NewState();
    state->MsStereo = 1;
    FillChannels(*state, 1, random, 576);
    state->NonZeroLines[1][0] = 300;
    state->NonZeroLines[1][1] = 100;
    const auto before = std::make_unique<TMPDecoderState>(*state);
    EXPECT_EQ(MiddleSideCount(*state, 1), 300);

    Layer3Stereo(*state, 1);
    for (int i = 0; i < 576; ++i) {
        const float a = before->Lines.Float[0][1][i];
        const float b = before->Lines.Float[1][1][i];
        if (i < 300) {
            ASSERT_EQ(state->Lines.Float[0][1][i], a + b) << i;
            ASSERT_EQ(state->Lines.Float[1][1][i], a - b) << i;
        } else {
            ExpectUntouched(*state, *before, 1, i);
        }
    }
    EXPECT_EQ(state->NonZeroLines[1][0], 300);
    EXPECT_EQ(state->NonZeroLines[1][1], 300);
}

TEST(MiddleSide, StopsAtTheIntensityRegion) {
    auto state = NewState();
    state->IntensityStereo = 1;
    state->NonZeroLines[0][0] = 500;
    state->NonZeroLines[0][1] = 500;
    SetLongBlock(state->BlockInfo[0][1], 9);
    EXPECT_EQ(MiddleSideCount(*state, 0), 52); // end of long band 9 at 44.1 kHz
    SetShortBlock(state->BlockInfo[0][1], 2, 6, 4);
    EXPECT_EQ(MiddleSideCount(*state, 0), 120); // end of short band 6, x 3
    SetLongBlock(state->BlockInfo[0][1], 0);
    EXPECT_EQ(MiddleSideCount(*state, 0), 4); // a silent right channel: the region starts after band 0
}

TEST(Layer3Stereo, LeavesSingleChannelAndPlainStereoFramesAlone) {
    std::mt19937 random(2);
    auto state = NewState();
    FillChannels(*state, 0, random, 576);
    state->NonZeroLines[0][0] = 100;
    state->NonZeroLines[0][1] = 200;
    const auto before = std::make_unique<TMPDecoderState>(*state);
    Layer3Stereo(*state, 0); // neither mode on
    state->Channels = 1;
    state->MsStereo = 1;
    Layer3Stereo(*state, 0); // one channel
    for (int i = 0; i < 576; ++i) {
        ExpectUntouched(*state, *before, 0, i);
    }
    EXPECT_EQ(state->NonZeroLines[0][0], 100);
    EXPECT_EQ(state->NonZeroLines[0][1], 200);
}

// ---------------------------------------------------------------------------------------------
// MPEG-1 intensity stereo

class IntensityMpeg1Long : public ::testing::TestWithParam<bool> {};

TEST_P(IntensityMpeg1Long, SplitsEveryBandAboveTheRightChannelsLastBand) {
    const bool ms = GetParam();
    std::mt19937 random(3);
    auto state = NewState();
    state->IntensityStereo = 1;
    state->MsStereo = ms;
    FillChannels(*state, 0, random, 24); // right non-zero up to the end of band 5
    SetLongBlock(state->BlockInfo[0][1], 5);
    state->NonZeroLines[0][0] = 576;
    state->NonZeroLines[0][1] = 24;
    // Positions 0..7 and beyond 7 (4-bit long-band scale factors).
    const int positions[21] = {0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 15, 9, 3, 7, 2, 6};
    std::copy(std::begin(positions), std::end(positions), state->ScaleFactors[0][1]);
    const auto before = std::make_unique<TMPDecoderState>(*state);

    Layer3Stereo(*state, 0);

    for (int i = 0; i < 576; ++i) {
        int band = 0;
        while (i >= state->SfbLongEnd[band]) {
            ++band;
        }
        const float left = before->Lines.Float[0][0][i];
        const float right = before->Lines.Float[1][0][i];
        if (band <= 5) {
            const float mid = ms ? left + right : left;
            EXPECT_EQ(state->Lines.Float[0][0][i], mid) << i;
        } else {
            // Band 21 carries no position of its own: it takes band 20's.
            ExpectSplit(*state, 0, i, left, Mpeg1Factors(positions[std::min(band, 20)], ms));
        }
    }
    EXPECT_EQ(state->NonZeroLines[0][1], 576);
}

INSTANTIATE_TEST_SUITE_P(MsStereo, IntensityMpeg1Long, ::testing::Bool());

TEST(IntensityMpeg1, PositionSevenKeepsLeftAndZeroesOrCopiesRight) {
    for (int ms = 0; ms < 2; ++ms) {
        for (int position : {7, 8, 12, 15, -3}) {
            auto state = NewState();
            state->MsStereo = ms;
            state->NonZeroLines[1][0] = 576;
            SetLongBlock(state->BlockInfo[1][1], 19);
            state->ScaleFactors[1][1][20] = position;
            for (int i = 342; i < 418; ++i) {
                state->Lines.Float[0][1][i] = static_cast<float>(i);
                state->Lines.Float[1][1][i] = 0.0f;
            }
            RunIntensity(*state, 1);
            for (int i = 342; i < 418; ++i) {
                ASSERT_EQ(state->Lines.Float[0][1][i], static_cast<float>(i)) << ms << " " << position;
                ASSERT_EQ(state->Lines.Float[1][1][i], ms ? static_cast<float>(i) : 0.0f)
                    << ms << " " << position;
            }
        }
    }
}

TEST(IntensityMpeg1, StopsAtTheLeftChannelsCount) {
    std::mt19937 random(4);
    auto state = NewState();
    FillChannels(*state, 0, random, 0);
    SetLongBlock(state->BlockInfo[0][1], 0); // a silent right channel: every band, from line 0
    state->NonZeroLines[0][0] = 100;
    for (int b = 0; b < 21; ++b) {
        state->ScaleFactors[0][1][b] = 2;
    }
    const auto before = std::make_unique<TMPDecoderState>(*state);
    RunIntensity(*state, 0);
    const TPair pair = Mpeg1Factors(2, false);
    for (int i = 0; i < 576; ++i) {
        if (i < 100) {
            ExpectSplit(*state, 0, i, before->Lines.Float[0][0][i], pair);
        } else {
            ExpectUntouched(*state, *before, 0, i);
        }
    }
}

TEST(IntensityMpeg1, ShortBlocksStartEachWindowAboveItsOwnLastBand) {
    std::mt19937 random(5);
    auto state = NewState();
    const int lastRight[3] = {4, 2, -1}; // window 2 is silent: it starts at band 0
    FillShortChannels(*state, 0, random, lastRight);
    SetShortBlock(state->BlockInfo[0][1], 4, 2, 0);
    state->NonZeroLines[0][0] = 576;
    int32_t* scale = state->ScaleFactors[0][1];
    for (int w = 0; w < 3; ++w) {
        for (int cb = 0; cb < 13; ++cb) {
            scale[kShortScaleFactorBase + 13 * w + cb] = (cb + 2 * w) % 8;
        }
        scale[kShortScaleFactorBase + 13 * w + 12] = 99; // never read: band 12 takes band 11's position
    }
    const auto before = std::make_unique<TMPDecoderState>(*state);
    RunIntensity(*state, 0);
    for (int i = 0; i < 576; ++i) {
        int w = 0;
        const int band = ShortBandOf(*state, i, &w);
        if (band > lastRight[w]) {
            const int source = std::min(band, 11);
            ExpectSplit(*state, 0, i, before->Lines.Float[0][0][i],
                        Mpeg1Factors(scale[kShortScaleFactorBase + 13 * w + source], false));
        } else {
            ExpectUntouched(*state, *before, 0, i);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// MPEG-2/2.5 intensity stereo

TEST(IntensityLsf, LongBandsTakeTheirGroupsLengthAndIntensityScale) {
    for (int scaleBit = 0; scaleBit < 2; ++scaleBit) {
        for (int ms = 0; ms < 2; ++ms) {
            std::mt19937 random(6);
            auto state = NewState(0, 0);
            state->IntensityStereo = 1;
            state->MsStereo = ms;
            state->IntensityLimits = TMPIntensityLimits{{6, 6, 6}, {2, 5, 1}, scaleBit};
            FillChannels(*state, 0, random, 18); // right non-zero through band 2
            SetLongBlock(state->BlockInfo[0][1], 2);
            state->NonZeroLines[0][0] = 576;
            // Groups: bands 0..5 length 2, 6..11 length 5, 12..17 length 1, 18..20 none.
            const int positions[21] = {0, 0, 0, 0, 1, 3, 0, 1, 2, 17, 30, 31, 0, 1, 0, 9, 1, 0, 0, 4, 0};
            const int lengths[21] = {2, 2, 2, 2, 2, 2, 5, 5, 5, 5, 5, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0};
            std::copy(std::begin(positions), std::end(positions), state->ScaleFactors[0][1]);
            const auto before = std::make_unique<TMPDecoderState>(*state);

            RunIntensity(*state, 0);

            for (int i = 18; i < 576; ++i) {
                int band = 0;
                while (i >= state->SfbLongEnd[band]) {
                    ++band;
                }
                SCOPED_TRACE(::testing::Message()
                             << "band " << band << " scale " << scaleBit << " ms " << ms);
                const int source = std::min(band, 20); // band 21 takes band 20's position
                ExpectSplit(*state, 0, i, before->Lines.Float[0][0][i],
                            LsfFactors(positions[source], lengths[source], scaleBit, ms));
            }
        }
    }
}

TEST(IntensityLsf, ShortBlocksGoPerWindowFromEachWindowsOwnBound) {
    for (int ms = 0; ms < 2; ++ms) {
        std::mt19937 random(7);
        auto state = NewState(0, 0);
        state->IntensityStereo = 1;
        state->MsStereo = ms;
        state->IntensityLimits = TMPIntensityLimits{{4, 4, 4}, {1, 2, 3}, 0};
        const int lastRight[3] = {-1, 4, 10}; // window 0 silent: from band 0
        FillShortChannels(*state, 0, random, lastRight);
        SetShortBlock(state->BlockInfo[0][1], 0, 4, 10);
        state->NonZeroLines[0][0] = 576;
        state->NonZeroLines[0][1] = state->SfbShortEnd3[10];
        int32_t* scale = state->ScaleFactors[0][1];
        for (int w = 0; w < 3; ++w) {
            for (int cb = 0; cb < 13; ++cb) {
                scale[kShortScaleFactorBase + 13 * w + cb] = (3 * cb + w) % 7;
            }
            scale[kShortScaleFactorBase + 13 * w + 12] = 99; // never read: band 12 takes band 11's position
        }
        const int lengths[12] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
        const auto before = std::make_unique<TMPDecoderState>(*state);

        // Through the whole stereo step: the bounds must be found before middle/side fills the right
        // channel's silent window.
        Layer3Stereo(*state, 0);

        for (int i = 0; i < 576; ++i) {
            int w = 0;
            const int band = ShortBandOf(*state, i, &w);
            const float a = before->Lines.Float[0][0][i];
            const float b = before->Lines.Float[1][0][i];
            SCOPED_TRACE(::testing::Message() << "ms " << ms << " window " << w << " band " << band);
            if (band > lastRight[w]) {
                const int source = std::min(band, 11);
                ExpectSplit(
                    *state, 0, i, a,
                    LsfFactors(scale[kShortScaleFactorBase + 13 * w + source], lengths[source], 0, ms));
            } else if (ms) {
                EXPECT_EQ(state->Lines.Float[0][0][i], a + b);
                EXPECT_EQ(state->Lines.Float[1][0][i], a - b);
            } else {
                ExpectUntouched(*state, *before, 0, i);
            }
        }
    }
}

TEST(IntensityLsf, ALastBandAloneInTheRegionTakesUnitFactorsAndMpeg1KeepsItAsCoded) {
    for (int version = 0; version < 2; ++version) {
        for (int ms = 0; ms < 2; ++ms) {
            std::mt19937 random(11);
            auto state = NewState(version == 1 ? 1 : 0, 0);
            state->MsStereo = ms;
            state->IntensityLimits = TMPIntensityLimits{{7, 7, 7}, {3, 3, 3}, 1};
            const int rightEnd = state->SfbLongEnd[20];
            FillChannels(*state, 0, random, rightEnd); // right non-zero through band 20
            SetLongBlock(state->BlockInfo[0][1], 20);
            state->NonZeroLines[0][0] = 576;
            state->ScaleFactors[0][1][20] = 5; // band 20 is coded: its value is no position here
            const auto before = std::make_unique<TMPDecoderState>(*state);
            RunIntensity(*state, 0);
            const TPair unit = version == 1 ? TPair{1.0, ms ? 1.0 : 0.0} : LsfFactors(0, 3, 1, ms);
            for (int i = 0; i < 576; ++i) {
                SCOPED_TRACE(::testing::Message() << "version " << version << " ms " << ms << " line " << i);
                if (i < rightEnd) {
                    ExpectUntouched(*state, *before, 0, i);
                } else {
                    ExpectSplit(*state, 0, i, before->Lines.Float[0][0][i], unit);
                }
            }
        }
    }
}

TEST(IntensityLsf, MixedBlockWithASilentShortPartTreatsItsLongBandsToo) {
    std::mt19937 random(8);
    auto state = NewState(0, 0);
    // Mixed row 3: six long bands (short bands 0..2), then five and four short bands.
    state->IntensityLimits = TMPIntensityLimits{{6, 5, 4}, {4, 1, 3}, 1};
    FillChannels(*state, 0, random, 7); // right non-zero in long bands 0 and 1 only
    SetShortBlock(state->BlockInfo[0][1], 3, 3, 3, true);
    state->NonZeroLines[0][0] = 576;
    int32_t* scale = state->ScaleFactors[0][1];
    const int longPositions[6] = {3, 9, 1, 2, 14, 15}; // 15 is illegal at length 4
    std::copy(std::begin(longPositions), std::end(longPositions), scale);
    for (int w = 0; w < 3; ++w) {
        for (int cb = 3; cb < 12; ++cb) {
            scale[kShortScaleFactorBase + 13 * w + cb] = cb < 8 ? (cb + w) % 2 : (cb + w) % 8;
        }
    }
    const auto before = std::make_unique<TMPDecoderState>(*state);
    RunIntensity(*state, 0);
    const int longEnd = state->SfbLongEnd[5];
    for (int i = 0; i < 576; ++i) {
        const float original = before->Lines.Float[0][0][i];
        if (i < state->SfbLongEnd[1]) {
            ExpectUntouched(*state, *before, 0, i); // long bands 0 and 1 hold the right channel's values
        } else if (i < longEnd) {
            int band = 0;
            while (i >= state->SfbLongEnd[band]) {
                ++band;
            }
            ExpectSplit(*state, 0, i, original, LsfFactors(longPositions[band], 4, 1, false));
        } else {
            int w = 0;
            const int band = ShortBandOf(*state, i, &w);
            const int source = std::min(band, 11);
            ExpectSplit(
                *state, 0, i, original,
                LsfFactors(scale[kShortScaleFactorBase + 13 * w + source], source < 8 ? 1 : 3, 1, false));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Alias reduction

TEST(AliasReduce, ButterfliesMatchADirectComputation) {
    const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    std::mt19937 random(9);
    std::uniform_real_distribution<float> value(-1000, 1000);
    for (int boundaries : {0, 1, 5, 31}) {
        float lines[576];
        for (float& v : lines) {
            v = value(random);
        }
        std::vector<double> expected(lines, lines + 576);
        for (int k = 1; k <= boundaries; ++k) {
            for (int j = 0; j < 8; ++j) {
                const double cs = 1 / std::sqrt(1 + c[j] * c[j]);
                const double ca = c[j] / std::sqrt(1 + c[j] * c[j]);
                const double below = expected[18 * k - 1 - j];
                const double above = expected[18 * k + j];
                expected[18 * k - 1 - j] = below * cs - above * ca;
                expected[18 * k + j] = above * cs + below * ca;
            }
        }
        AliasReduceGeneric(lines, boundaries);
        for (int i = 0; i < 576; ++i) {
            ASSERT_NEAR(lines[i], expected[i], 5e-4) << boundaries << " " << i;
        }
    }
    float lines[576] = {};
    lines[575] = 1.0f;
    AliasReduceGeneric(lines, 1000); // clamped to the 31 boundaries of a granule
    EXPECT_EQ(lines[575], 1.0f);
}

int32_t gBoundaries = -1;
void RecordBoundaries(float*, int32_t boundaries) {
    gBoundaries = boundaries;
}

TEST(AliasReduce, ChannelChoosesTheBoundariesAndRaisesTheCount) {
    struct TCase {
        int Kind, LongBands, Count, Boundaries, After;
    };
    const TCase cases[] = {
        {0, 22, 100, 5, 100},  {0, 22, 40, 2, 44},  {0, 22, 10, 0, 10}, {0, 22, 3, 0, 8},
        {0, 22, 576, 31, 576}, {1, 8, 300, 1, 300}, {1, 8, 20, 1, 26},  {1, 0, 300, -1, 300},
    };
    for (const TCase& c : cases) {
        auto state = NewState();
        state->Routines.AliasReduce = RecordBoundaries;
        state->BlockInfo[1][0].BlockKind = c.Kind;
        state->BlockInfo[1][0].LongBandCount = c.LongBands;
        state->NonZeroLines[1][0] = c.Count;
        gBoundaries = -1;
        AliasReduceChannel(*state, 1, 0);
        EXPECT_EQ(gBoundaries, c.Boundaries) << c.Count;
        EXPECT_EQ(state->NonZeroLines[1][0], c.After) << c.Count;
    }
}

// ---------------------------------------------------------------------------------------------
// Hostile block information, scale factors and limits

TEST(Layer3Stereo, HostileInputStaysInside) {
    std::mt19937 random(10);
    auto anything = [&] { return static_cast<int32_t>(random()); };
    auto small = [&](int range) { return static_cast<int32_t>(random() % (2 * range)) - range / 2; };
    for (int trial = 0; trial < 3000; ++trial) {
        auto state = NewState(static_cast<int>(random() % 3), static_cast<int>(random() % 3));
        const int g = trial % 2;
        FillChannels(*state, g, random, 576);
        state->VersionId = static_cast<int32_t>(random() % 2);
        state->MsStereo = static_cast<int32_t>(random() % 2);
        state->IntensityStereo = 1;
        for (int c = 0; c < 2; ++c) {
            TMPBlockInfo& block = state->BlockInfo[g][c];
            block.BlockKind = small(4);
            block.LastBand = trial % 3 == 0 ? anything() : small(40);
            block.FirstShortBand = small(30);
            block.LongBandCount = small(40);
            for (int w = 0; w < 3; ++w) {
                block.LastShortBand[w] = trial % 3 == 0 ? anything() : small(30);
            }
            state->NonZeroLines[g][c] = trial % 5 == 0 ? anything() : small(2000);
        }
        for (int i = 0; i < kScaleFactorCount; ++i) {
            state->ScaleFactors[g][1][i] = trial % 2 == 0 ? anything() : small(80);
        }
        for (int k = 0; k < 3; ++k) {
            state->IntensityLimits.GroupBands[k] = small(40);
            state->IntensityLimits.Slen[k] = trial % 4 == 0 ? anything() : small(12);
        }
        state->IntensityLimits.IntensityScale = anything();
        Layer3Stereo(*state, g);
        state->Routines.AliasReduce = AliasReduceGeneric;
        AliasReduceChannel(*state, g, 0);
        AliasReduceChannel(*state, g, 1);
        for (int c = 0; c < 2; ++c) {
            if (state->BlockInfo[g][c].LongBandCount != 0) {
                EXPECT_GE(state->NonZeroLines[g][c], 0);
                EXPECT_LE(state->NonZeroLines[g][c], 576);
            }
        }
    }
}

} // namespace
} // namespace tunelo
