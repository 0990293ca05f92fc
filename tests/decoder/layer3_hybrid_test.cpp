// The Layer III hybrid filterbank against a direct double-precision evaluation of the standard's
// inverse transforms and windows, and the channel routines built on it.

#include "decoder_state.h"
#include "layer3_hybrid.h"
#include "routine_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace tunelo {
namespace {

const double kPi = 4 * std::atan(1.0);

// ---------------------------------------------------------------------------------------------
// The standard's hybrid synthesis, directly and in double precision.

double LongSine(int k) {
    return std::sin(kPi / 36 * (k + 0.5));
}
double ShortSine(int k) {
    return std::sin(kPi / 12 * (k + 0.5));
}

// The window of block types 0, 1 and 3 (type 2 has no long window; its long part uses type 0's).
double StandardWindow(int blockType, int k) {
    switch (blockType) {
    case 1:
        return k < 18 ? LongSine(k) : k < 24 ? 1.0 : k < 30 ? ShortSine(k - 18) : 0.0;
    case 3:
        return k < 6 ? 0.0 : k < 12 ? ShortSine(k - 6) : k < 18 ? 1.0 : LongSine(k);
    default:
        return LongSine(k);
    }
}

// x_k, k = 0..35, of one long subband.
std::vector<double> LongTransform(const double* X) {
    std::vector<double> x(36);
    for (int k = 0; k < 36; ++k) {
        for (int n = 0; n < 18; ++n) {
            x[k] += X[n] * std::cos(kPi / 72 * (2 * k + 19) * (2 * n + 1));
        }
    }
    return x;
}

// x_w,k, k = 0..11, of window w of one short subband (interleaved input X_(3n + w)).
std::vector<double> ShortTransform(const double* X, int w) {
    std::vector<double> x(12);
    for (int k = 0; k < 12; ++k) {
        for (int n = 0; n < 6; ++n) {
            x[k] += X[3 * n + w] * std::cos(kPi / 24 * (2 * k + 7) * (2 * n + 1));
        }
    }
    return x;
}

// One windowed 36-sample subband frame.
std::vector<double> SubbandFrame(const double* X, int blockType, bool longPath) {
    std::vector<double> z(36);
    if (longPath) {
        const std::vector<double> x = LongTransform(X);
        for (int k = 0; k < 36; ++k) {
            z[k] = StandardWindow(blockType == 2 ? 0 : blockType, k) * x[k];
        }
        return z;
    }
    for (int w = 0; w < 3; ++w) {
        const std::vector<double> x = ShortTransform(X, w);
        for (int k = 0; k < 12; ++k) {
            z[6 + 6 * w + k] += ShortSine(k) * x[k];
        }
    }
    return z;
}

// One granule of one channel: output[t][sb] = overlap + first half; overlap becomes the second half.
struct TReferenceChannel {
    double Overlap[32][18] = {};
    double Output[18][32] = {};

    // mixedFlag: the two lowest subbands take the normal window whatever the block type.
    void Granule(const std::vector<double>& spectrum, int blockType, int longSubbands,
                 bool mixedFlag = false) {
        for (int sb = 0; sb < 32; ++sb) {
            const int type = mixedFlag && sb < 2 ? 0 : blockType;
            const std::vector<double> z = SubbandFrame(&spectrum[18 * sb], type, sb < longSubbands);
            for (int t = 0; t < 18; ++t) {
                Output[t][sb] = Overlap[sb][t] + z[t];
                Overlap[sb][t] = z[18 + t];
            }
        }
    }
};

std::vector<double> RandomSpectrum(std::mt19937& random, int lines = 576, double amplitude = 1000) {
    std::uniform_real_distribution<double> value(-amplitude, amplitude);
    std::vector<double> spectrum(576, 0.0);
    for (int i = 0; i < lines; ++i) {
        spectrum[i] = static_cast<float>(value(random)); // exactly representable in both
    }
    return spectrum;
}

void Load(float* lines, const std::vector<double>& spectrum) {
    for (int i = 0; i < 576; ++i) {
        lines[i] = static_cast<float>(spectrum[i]);
    }
}

// Largest difference relative to the largest reference magnitude.
double RelativeError(const float (*actual)[32], const double (*expected)[32], int subbands = 32) {
    double largest = 0;
    double error = 0;
    for (int t = 0; t < 18; ++t) {
        for (int sb = 0; sb < subbands; ++sb) {
            largest = std::max(largest, std::fabs(expected[t][sb]));
            error = std::max(error, std::fabs(actual[t][sb] - expected[t][sb]));
        }
    }
    return largest == 0 ? error : error / largest;
}

constexpr double kTolerance = 4e-6;

// ---------------------------------------------------------------------------------------------
// Transforms

TEST(Imdct, LongLeavesTheDistinctValuesInPlaceOrder) {
    std::mt19937 random(1);
    for (int trial = 0; trial < 20; ++trial) {
        const std::vector<double> X = RandomSpectrum(random, 18);
        float values[18];
        for (int i = 0; i < 18; ++i) {
            values[i] = static_cast<float>(X[i]);
        }
        LongImdctGeneric(values);
        const std::vector<double> x = LongTransform(X.data());
        double largest = 0;
        for (double v : x) {
            largest = std::max(largest, std::fabs(v));
        }
        for (int j = 0; j < 9; ++j) {
            EXPECT_NEAR(values[j], -x[26 - j], kTolerance * largest) << "position " << j;
            EXPECT_NEAR(values[9 + j], x[j], kTolerance * largest) << "position " << 9 + j;
        }
    }
}

TEST(Imdct, LongSingleLineGivesOneCosine) {
    // Line 17 alone: the highest-frequency basis function, which the factorisation divides most.
    float values[18] = {};
    values[17] = 1.0f;
    LongImdctGeneric(values);
    for (int j = 0; j < 9; ++j) {
        EXPECT_NEAR(values[9 + j], std::cos(kPi / 72 * (2 * j + 19) * 35), 1e-6) << j;
        EXPECT_NEAR(values[j], -std::cos(kPi / 72 * (2 * (26 - j) + 19) * 35), 1e-6) << j;
    }
}

TEST(Imdct, ShortLeavesEachWindowInPlaceOrder) {
    std::mt19937 random(2);
    for (int trial = 0; trial < 20; ++trial) {
        const std::vector<double> X = RandomSpectrum(random, 18);
        float values[18];
        for (int i = 0; i < 18; ++i) {
            values[i] = static_cast<float>(X[i]);
        }
        ShortImdctGeneric(values);
        for (int w = 0; w < 3; ++w) {
            const std::vector<double> x = ShortTransform(X.data(), w);
            double largest = 0;
            for (double v : x) {
                largest = std::max(largest, std::fabs(v));
            }
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(values[6 * w + j], -x[8 - j], kTolerance * largest) << w << " " << j;
                EXPECT_NEAR(values[6 * w + 3 + j], x[j], kTolerance * largest) << w << " " << j;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Filterbank over two granules

struct TTwoBuffers {
    float Lines[2][576] = {};
    float Out[18][32] = {};

    // Granule g transforms buffer g with the other buffer as its overlap.
    int32_t Run(int g, const std::vector<double>& spectrum, int blockType, int longLines, int totalLines,
                int previousLines, int clear = 32) {
        Load(Lines[g], spectrum);
        return HybridGeneric(Lines[g], Lines[g ^ 1], Out, blockType, longLines, totalLines, previousLines,
                             clear);
    }
};

struct TBlockSequence {
    int First;
    int Second;
};

class HybridBlockTypes : public ::testing::TestWithParam<TBlockSequence> {};

TEST_P(HybridBlockTypes, MatchesTheStandardOverTwoGranules) {
    const auto [firstType, secondType] = GetParam();
    std::mt19937 random(firstType * 4 + secondType);
    TTwoBuffers bank;
    TReferenceChannel reference;
    auto longLinesOf = [](int type) { return type == 2 ? 0 : 576; };

    const std::vector<double> first = RandomSpectrum(random);
    EXPECT_EQ(bank.Run(0, first, firstType, longLinesOf(firstType), 576, 0), 576);
    reference.Granule(first, firstType, firstType == 2 ? 0 : 32);
    EXPECT_LT(RelativeError(bank.Out, reference.Output), kTolerance);

    const std::vector<double> second = RandomSpectrum(random);
    EXPECT_EQ(bank.Run(1, second, secondType, longLinesOf(secondType), 576, 576), 576);
    reference.Granule(second, secondType, secondType == 2 ? 0 : 32);
    EXPECT_LT(RelativeError(bank.Out, reference.Output), kTolerance);

    // What the second granule left behind is the next overlap.
    double largest = 0;
    double error = 0;
    for (int sb = 0; sb < 32; ++sb) {
        for (int t = 0; t < 18; ++t) {
            largest = std::max(largest, std::fabs(reference.Overlap[sb][t]));
            error = std::max(error, std::fabs(bank.Lines[1][18 * sb + t] - reference.Overlap[sb][t]));
        }
    }
    EXPECT_LT(error / largest, kTolerance);
}

INSTANTIATE_TEST_SUITE_P(AllWindows, HybridBlockTypes,
                         ::testing::Values(TBlockSequence{0, 0}, TBlockSequence{0, 1}, TBlockSequence{1, 2},
                                           TBlockSequence{2, 2}, TBlockSequence{2, 3}, TBlockSequence{3, 0}));

TEST(Hybrid, MixedBlockTakesTheLongPathForItsFirstTwoSubbands) {
    std::mt19937 random(7);
    TTwoBuffers bank;
    TReferenceChannel reference;
    const std::vector<double> previous = RandomSpectrum(random);
    bank.Run(0, previous, 0, 576, 576, 0);
    reference.Granule(previous, 0, 32);

    const std::vector<double> mixed = RandomSpectrum(random);
    EXPECT_EQ(bank.Run(1, mixed, 2, 36, 576, 576), 576);
    reference.Granule(mixed, 2, 2);
    EXPECT_LT(RelativeError(bank.Out, reference.Output), kTolerance);

    // Taking every subband short instead would differ clearly in subband 0.
    TReferenceChannel allShort;
    allShort.Granule(previous, 0, 32);
    allShort.Granule(mixed, 2, 0);
    EXPECT_GT(RelativeError(bank.Out, allShort.Output, 2), 1e-2);
}

TEST(Hybrid, MixedFlagGivesTheTwoLowestSubbandsTheNormalWindow) {
    // Start and stop blocks may carry mixed_block_flag: subbands 0 and 1 then use the normal window and
    // the rest the block type's window, all on the long path.
    for (int type : {1, 3}) {
        std::mt19937 random(12 + type);
        TTwoBuffers bank;
        TReferenceChannel reference;
        const std::vector<double> previous = RandomSpectrum(random);
        bank.Run(0, previous, 0, 576, 576, 0);
        reference.Granule(previous, 0, 32);
        const std::vector<double> current = RandomSpectrum(random);
        EXPECT_EQ(bank.Run(1, current, type | kHybridMixedBlock, 576, 576, 576), 576);
        reference.Granule(current, type, 32, true);
        EXPECT_LT(RelativeError(bank.Out, reference.Output), kTolerance) << type;
        // The next granule overlaps with what the mixed windows left.
        const std::vector<double> next = RandomSpectrum(random);
        bank.Run(0, next, 0, 576, 576, 576);
        reference.Granule(next, 0, 32);
        EXPECT_LT(RelativeError(bank.Out, reference.Output), kTolerance) << type;
    }
}

TEST(Hybrid, EmptyGranuleAfterAFullOneOutputsTheOverlapOnly) {
    std::mt19937 random(8);
    TTwoBuffers bank;
    const std::vector<double> full = RandomSpectrum(random, 558);
    EXPECT_EQ(bank.Run(0, full, 0, 558, 558, 0), 558);
    float overlap[576];
    std::memcpy(overlap, bank.Lines[0], sizeof(overlap));
    for (auto& row : bank.Out) {
        std::fill(std::begin(row), std::end(row), 99.0f);
    }

    EXPECT_EQ(bank.Run(1, std::vector<double>(576, 0.0), 0, 0, 0, 558), 558);
    for (int sb = 0; sb < 31; ++sb) {
        for (int t = 0; t < 18; ++t) {
            ASSERT_EQ(bank.Out[t][sb], overlap[18 * sb + t]) << sb << " " << t;
        }
    }
    for (int t = 0; t < 18; ++t) {
        EXPECT_EQ(bank.Out[t][31], 0.0f) << t;
    }
}

TEST(Hybrid, CountsDecideTransformCopyAndClear) {
    std::mt19937 random(9);
    TTwoBuffers bank;
    TReferenceChannel reference;
    const std::vector<double> first = RandomSpectrum(random, 300);
    bank.Run(0, first, 0, 300, 300, 0);
    reference.Granule(first, 0, 32);

    for (auto& row : bank.Out) {
        std::fill(std::begin(row), std::end(row), 99.0f);
    }
    const std::vector<double> second = RandomSpectrum(random, 100);
    // 100 lines: subbands 0..5 transformed; 300 previous lines: 6..16 overlap only; clear up to 20.
    EXPECT_EQ(bank.Run(1, second, 0, 100, 100, 300, 20), 18 * 17);
    reference.Granule(second, 0, 32);
    EXPECT_LT(RelativeError(bank.Out, reference.Output, 17), kTolerance);
    for (int t = 0; t < 18; ++t) {
        for (int sb = 17; sb < 20; ++sb) {
            EXPECT_EQ(bank.Out[t][sb], 0.0f) << sb;
        }
        for (int sb = 20; sb < 32; ++sb) {
            EXPECT_EQ(bank.Out[t][sb], 99.0f) << sb; // beyond the synthesis width: not touched
        }
    }
}

TEST(Hybrid, StartWindowLeavesTheOverlapTailZero) {
    std::mt19937 random(10);
    TTwoBuffers bank;
    bank.Run(0, RandomSpectrum(random), 1, 576, 576, 0);
    for (int sb = 0; sb < 32; ++sb) {
        for (int t = 0; t < 12; ++t) {
            EXPECT_NE(bank.Lines[0][18 * sb + t], 0.0f) << sb << " " << t;
        }
        for (int t = 12; t < 18; ++t) {
            EXPECT_EQ(bank.Lines[0][18 * sb + t], 0.0f) << sb << " " << t;
        }
    }
}

TEST(Hybrid, HostileCountsAndBlockTypesStayInside) {
    std::mt19937 random(11);
    const int counts[] = {-100000, -1, 0, 1, 17, 575, 576, 577, 100000};
    for (int type : {-5, 0, 2, 3, 7, 1000}) {
        for (int longLines : counts) {
            for (int totalLines : counts) {
                TTwoBuffers bank;
                const int previous = counts[random() % 9];
                const int clear = static_cast<int>(random() % 80) - 20;
                const int32_t result = bank.Run(0, RandomSpectrum(random, 576, 1e30), type, longLines,
                                                totalLines, previous, clear);
                EXPECT_GE(result, 0);
                EXPECT_LE(result, 576);
                EXPECT_EQ(result % 18, 0);
            }
        }
    }
}

TEST(InvertOddSubbands, NegatesOddSlotsOfOddSubbandsBelowTheCount) {
    float out[18][32];
    auto fill = [&] {
        for (int t = 0; t < 18; ++t) {
            for (int sb = 0; sb < 32; ++sb) {
                out[t][sb] = static_cast<float>(1 + t * 32 + sb);
            }
        }
    };
    auto inverted = [&](int t, int sb) { return out[t][sb] == -static_cast<float>(1 + t * 32 + sb); };

    for (int count : {0, 18, -50}) {
        fill();
        InvertOddSubbands(out, count);
        for (int t = 0; t < 18; ++t) {
            for (int sb = 0; sb < 32; ++sb) {
                EXPECT_FALSE(inverted(t, sb)) << count;
            }
        }
    }
    for (int count : {36, 37, 54, 576, 5000}) {
        fill();
        InvertOddSubbands(out, count);
        const int subbands = (std::min(count, 576) + 17) / 18;
        for (int t = 0; t < 18; ++t) {
            for (int sb = 0; sb < 32; ++sb) {
                EXPECT_EQ(inverted(t, sb), sb % 2 == 1 && t % 2 == 1 && sb < subbands)
                    << count << " " << t << " " << sb;
            }
        }
    }
}

TEST(AddLines, AddsTheFirstNLines) {
    float destination[576];
    float source[576];
    for (int i = 0; i < 576; ++i) {
        destination[i] = static_cast<float>(i);
        source[i] = 1000.0f;
    }
    AddLines(destination, source, 100);
    for (int i = 0; i < 576; ++i) {
        EXPECT_EQ(destination[i], i < 100 ? i + 1000.0f : static_cast<float>(i)) << i;
    }
    AddLines(destination, source, 10000); // clamped to the granule
    EXPECT_EQ(destination[575], 1575.0f);
}

// ---------------------------------------------------------------------------------------------
// Channel routines

struct TOutputCall {
    int32_t Channel;
    int16_t* Output;
    float HybridOut[18][32];
};
std::vector<TOutputCall> gOutputCalls;

void RecordOutput(TMPDecoderState& state, int16_t* output, int32_t channel) {
    TOutputCall call{channel, output, {}};
    std::memcpy(call.HybridOut, state.HybridOut, sizeof(call.HybridOut));
    gOutputCalls.push_back(call);
}

std::unique_ptr<TMPDecoderState> NewState() {
    auto state = std::make_unique<TMPDecoderState>(); // value-initialised: all zero
    state->Routines.Hybrid = HybridGeneric;
    state->Routines.LongImdct = LongImdctGeneric;
    state->Routines.ShortImdct = ShortImdctGeneric;
    state->L3OutputRoutine = RecordOutput;
    state->Channels = 2;
    state->LineLimit = 576;
    state->SynthSubbands = 32;
    state->MixedLongBands = 8;
    const int ends[22] = {4,  8,  12,  16,  20,  24,  30,  36,  44,  52,  62,
                          74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576};
    std::copy(std::begin(ends), std::end(ends), state->SfbLongEnd);
    gOutputCalls.clear();
    return state;
}

void SetChannel(TMPDecoderState& state, int g, int c, const std::vector<double>& spectrum, int blockType,
                int mixed, int lines) {
    Load(state.Lines.Float[c][g], spectrum);
    state.GranuleInfo[g][c].BlockType = blockType;
    state.GranuleInfo[g][c].MixedBlockFlag = mixed;
    state.NonZeroLines[g][c] = lines;
}

// The filterbank of one channel on copies, as a channel routine should have run it.
struct TSeparateChannel {
    float Lines[2][576] = {};
    float Out[18][32] = {};
    int32_t Count[2] = {};

    int32_t Run(int g, const std::vector<double>& spectrum, int blockType, int longLines, int totalLines) {
        Load(Lines[g], spectrum);
        Count[g] =
            HybridGeneric(Lines[g], Lines[g ^ 1], Out, blockType, longLines, totalLines, Count[g ^ 1], 32);
        InvertOddSubbands(Out, Count[g]);
        return Count[g];
    }
};

void ExpectSameOutput(const float (*actual)[32], const float (*expected)[32]) {
    for (int t = 0; t < 18; ++t) {
        for (int sb = 0; sb < 32; ++sb) {
            ASSERT_EQ(actual[t][sb], expected[t][sb]) << t << " " << sb;
        }
    }
}

TEST(ChannelRoutines, TableOrder) {
    EXPECT_EQ(kLayer3ChannelRoutines[0], ChannelSingle);
    EXPECT_EQ(kLayer3ChannelRoutines[1], ChannelStereo);
    EXPECT_EQ(kLayer3ChannelRoutines[2], ChannelMixMono);
    EXPECT_EQ(kLayer3ChannelRoutines[3], ChannelFirstOnly);
    EXPECT_EQ(kLayer3ChannelRoutines[4], ChannelSecondOnly);
}

TEST(ChannelRoutines, StereoTransformsEachChannelAndLimitsToLineLimit) {
    std::mt19937 random(20);
    auto state = NewState();
    state->LineLimit = 558;
    state->SynthSubbands = 31;
    const std::vector<double> left = RandomSpectrum(random);
    const std::vector<double> right = RandomSpectrum(random, 200);
    SetChannel(*state, 1, 0, left, 0, 0, 576);
    SetChannel(*state, 1, 1, right, 2, 0, 200);
    uint8_t block[8];
    ChannelStereo(*state, block, 1);

    ASSERT_EQ(gOutputCalls.size(), 2u);
    EXPECT_EQ(gOutputCalls[0].Channel, 0);
    EXPECT_EQ(gOutputCalls[1].Channel, 1);
    EXPECT_EQ(gOutputCalls[0].Output, reinterpret_cast<int16_t*>(block));
    EXPECT_EQ(state->NonZeroLines[1][0], 558);
    EXPECT_EQ(state->NonZeroLines[1][1], 216);

    TSeparateChannel expectLeft;
    TSeparateChannel expectRight;
    expectLeft.Run(1, left, 0, 558, 558);
    expectRight.Run(1, right, 2, 0, 200);
    for (auto* out : {&expectLeft.Out, &expectRight.Out}) {
        for (int t = 0; t < 18; ++t) {
            (*out)[t][31] = 0.0f; // never written at a synthesis width of 31
        }
    }
    ExpectSameOutput(gOutputCalls[0].HybridOut, expectLeft.Out);
    ExpectSameOutput(gOutputCalls[1].HybridOut, expectRight.Out);

    // A single-channel frame in the stereo set-up outputs its one channel only.
    gOutputCalls.clear();
    state->Channels = 1;
    ChannelStereo(*state, block, 0);
    ASSERT_EQ(gOutputCalls.size(), 1u);
    EXPECT_EQ(gOutputCalls[0].Channel, 0);
}

TEST(ChannelRoutines, MixedBlockLongPartEndsWithTheMixedLongBands) {
    std::mt19937 random(21);
    auto state = NewState();
    const std::vector<double> spectrum = RandomSpectrum(random);
    SetChannel(*state, 0, 0, spectrum, 2, 1, 576);
    uint8_t block[8];
    ChannelSingle(*state, block, 0);
    TSeparateChannel expected;
    expected.Run(0, spectrum, 2, 36, 576);
    ASSERT_EQ(gOutputCalls.size(), 1u);
    ExpectSameOutput(gOutputCalls[0].HybridOut, expected.Out);
}

TEST(ChannelRoutines, StopBlockWithTheMixedFlagFollowsTheStandard) {
    std::mt19937 random(25);
    auto state = NewState();
    TReferenceChannel reference;
    const std::vector<double> previous = RandomSpectrum(random);
    SetChannel(*state, 0, 0, previous, 2, 1, 576);
    uint8_t block[8];
    ChannelSingle(*state, block, 0);
    reference.Granule(previous, 2, 2);
    const std::vector<double> stop = RandomSpectrum(random);
    SetChannel(*state, 1, 0, stop, 3, 1, 576);
    ChannelSingle(*state, block, 1);
    reference.Granule(stop, 3, 32, true);
    ASSERT_EQ(gOutputCalls.size(), 2u);
    InvertOddSubbands(gOutputCalls[1].HybridOut, 576); // undo the synthesis' inversion
    EXPECT_LT(RelativeError(gOutputCalls[1].HybridOut, reference.Output), kTolerance);
}

TEST(ChannelRoutines, SecondChannelOnlyOutputsChannelOneAsOutputZero) {
    std::mt19937 random(22);
    auto state = NewState();
    const std::vector<double> left = RandomSpectrum(random);
    const std::vector<double> right = RandomSpectrum(random);
    SetChannel(*state, 0, 0, left, 0, 0, 576);
    SetChannel(*state, 0, 1, right, 3, 0, 576);
    uint8_t block[8];
    ChannelSecondOnly(*state, block, 0);
    TSeparateChannel expected;
    expected.Run(0, right, 3, 576, 576);
    ASSERT_EQ(gOutputCalls.size(), 1u);
    EXPECT_EQ(gOutputCalls[0].Channel, 0);
    ExpectSameOutput(gOutputCalls[0].HybridOut, expected.Out);
    EXPECT_EQ(state->Lines.Float[0][0][5], static_cast<float>(left[5])); // first channel untouched

    // In a single-channel frame the second channel's buffers are stale: the one channel is output.
    auto mono = NewState();
    mono->Channels = 1;
    SetChannel(*mono, 1, 0, left, 0, 0, 576);
    SetChannel(*mono, 1, 1, right, 0, 0, 576);
    ChannelSecondOnly(*mono, block, 1);
    TSeparateChannel expectedMono;
    expectedMono.Run(1, left, 0, 576, 576);
    ASSERT_EQ(gOutputCalls.size(), 1u);
    ExpectSameOutput(gOutputCalls[0].HybridOut, expectedMono.Out);
}

// Mixing to mono is linear: its output must be the sum of both channels' separate outputs.
void ExpectSumOfChannels(const float (*actual)[32], const TSeparateChannel& a, const TSeparateChannel& b) {
    double largest = 0;
    double error = 0;
    for (int t = 0; t < 18; ++t) {
        for (int sb = 0; sb < 32; ++sb) {
            const double sum = static_cast<double>(a.Out[t][sb]) + b.Out[t][sb];
            largest = std::max(largest, std::fabs(sum));
            error = std::max(error, std::fabs(actual[t][sb] - sum));
        }
    }
    EXPECT_LT(error / largest, 1e-5);
}

TEST(ChannelRoutines, MixToMonoSumsBothChannelsOverGranules) {
    struct TCase {
        int FirstType, SecondType, FirstMixed, FirstLines, SecondLines;
    };
    // Equal windows (summed spectra), different windows, a mixed block, and a second channel that
    // reaches further than the first (its overlap must survive into the next granule).
    const TCase cases[] = {{0, 0, 0, 576, 576}, {2, 2, 0, 300, 500}, {0, 2, 0, 576, 576},
                           {2, 2, 1, 576, 400}, {0, 2, 0, 100, 400}, {1, 3, 0, 250, 450}};
    std::mt19937 random(23);
    for (const TCase& c : cases) {
        auto state = NewState();
        TSeparateChannel first;
        TSeparateChannel second;
        for (int g = 0; g < 2; ++g) {
            const std::vector<double> a = RandomSpectrum(random, c.FirstLines);
            const std::vector<double> b = RandomSpectrum(random, c.SecondLines);
            SetChannel(*state, g, 0, a, c.FirstType, c.FirstMixed, c.FirstLines);
            SetChannel(*state, g, 1, b, c.SecondType, 0, c.SecondLines);
            gOutputCalls.clear();
            uint8_t block[8];
            ChannelMixMono(*state, block, g);
            ASSERT_EQ(gOutputCalls.size(), 1u);
            EXPECT_EQ(gOutputCalls[0].Channel, 0);
            const int firstLong = c.FirstType != 2 ? c.FirstLines : c.FirstMixed ? 36 : 0;
            first.Run(g, a, c.FirstType, firstLong, c.FirstLines);
            second.Run(g, b, c.SecondType, c.SecondType == 2 ? 0 : c.SecondLines, c.SecondLines);
            SCOPED_TRACE(::testing::Message() << "types " << c.FirstType << "/" << c.SecondType << " lines "
                                              << c.FirstLines << "/" << c.SecondLines << " granule " << g);
            ExpectSumOfChannels(gOutputCalls[0].HybridOut, first, second);
        }
    }
}

TEST(ChannelRoutines, HostileStateStaysInside) {
    std::mt19937 random(24);
    for (int trial = 0; trial < 200; ++trial) {
        auto state = NewState();
        state->Channels = static_cast<int32_t>(random() % 4);
        state->LineLimit = static_cast<int32_t>(random() % 2000) - 500;
        state->SynthSubbands = static_cast<int32_t>(random() % 100) - 20;
        state->MixedLongBands = static_cast<int32_t>(random() % 60) - 20;
        for (int g = 0; g < 2; ++g) {
            for (int c = 0; c < 2; ++c) {
                SetChannel(*state, g, c, RandomSpectrum(random), static_cast<int>(random() % 9) - 2,
                           static_cast<int>(random() % 3), static_cast<int>(random() % 3000) - 1000);
            }
        }
        int32_t before[2][2];
        std::memcpy(before, state->NonZeroLines, sizeof(before));
        uint8_t block[8];
        kLayer3ChannelRoutines[trial % 5](*state, block, static_cast<int32_t>(random()));
        // A transformed channel's count is a whole number of subbands inside the granule.
        for (int g = 0; g < 2; ++g) {
            for (int c = 0; c < 2; ++c) {
                const int32_t count = state->NonZeroLines[g][c];
                if (count != before[g][c]) {
                    EXPECT_TRUE(count >= 0 && count <= 576 && count % 18 == 0) << count;
                }
            }
        }
        EXPECT_FALSE(gOutputCalls.empty());
    }
}

} // namespace
} // namespace tunelo
