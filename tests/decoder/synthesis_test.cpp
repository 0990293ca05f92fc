// The synthesis transform, the rings and the output routines with the subband equalizer.
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "decoder_state.h"
#include "routine_table.h"
#include "synthesis.h"

namespace tunelo {
namespace {

// The decoder state is large; keep it off the stack and start from a defined, portable set-up.
std::unique_ptr<TMPDecoderState> NewState() {
    auto state = std::make_unique<TMPDecoderState>(); // value-initialised: all zero
    state->Routines.WindowMono = WindowMonoGeneric;
    state->Routines.WindowStereo = WindowStereoGeneric;
    SynthesisReset(*state);
    return state;
}

std::vector<float> RandomValues(std::mt19937& rng, size_t count, float amplitude) {
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> v(count);
    for (float& x : v) {
        x = dist(rng);
    }
    return v;
}

// c_k = sum s_n cos(pi k (2n + 1) / 64), in double.
std::vector<double> DirectDct(const std::vector<double>& s) {
    std::vector<double> c(32);
    for (int k = 0; k < 32; ++k) {
        double sum = 0.0;
        for (int n = 0; n < 32; ++n) {
            sum += s[n] * std::cos(std::numbers::pi * k * (2 * n + 1) / 64.0);
        }
        c[k] = sum;
    }
    return c;
}

// The float transform may differ from the exact one by rounding only: bound it against the input's size.
void ExpectCloseToDirect(const float* got, const std::vector<double>& s) {
    const std::vector<double> want = DirectDct(s);
    double scale = 0.0;
    for (double x : s) {
        scale += std::fabs(x);
    }
    for (int k = 0; k < 32; ++k) {
        EXPECT_NEAR(got[k], want[k], 2e-6 * scale) << "k = " << k;
    }
}

TEST(SubbandDct, MatchesTheDirectCosineSum) {
    std::mt19937 rng(1);
    for (int trial = 0; trial < 200; ++trial) {
        const std::vector<float> in = RandomValues(rng, 32, trial % 2 ? 32768.0f : 1.0f);
        float out[32];
        SubbandDct(in.data(), out);
        ExpectCloseToDirect(out, std::vector<double>(in.begin(), in.end()));
    }
    // Every single input position on its own (a wrong butterfly index shows up here at once).
    for (int n = 0; n < 32; ++n) {
        std::vector<float> in(32, 0.0f);
        in[n] = 1.0f;
        float out[32];
        SubbandDct(in.data(), out);
        ExpectCloseToDirect(out, std::vector<double>(in.begin(), in.end()));
    }
}

TEST(SubbandDct, PairReadsOneChannelOfAnInterleavedRow) {
    std::mt19937 rng(2);
    for (int trial = 0; trial < 50; ++trial) {
        const std::vector<float> row = RandomValues(rng, 64, 20000.0f);
        std::vector<double> left(32), right(32);
        for (int n = 0; n < 32; ++n) {
            left[n] = row[2 * n];
            right[n] = row[2 * n + 1];
        }
        float out[32];
        SubbandDctPair(row.data(), out);
        ExpectCloseToDirect(out, left);
        SubbandDctPair(row.data() + 1, out);
        ExpectCloseToDirect(out, right);
    }
}

TEST(SubbandDct, MixTransformsTheAverageOfEachPair) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 50; ++trial) {
        const std::vector<float> row = RandomValues(rng, 64, 20000.0f);
        std::vector<double> mean(32);
        for (int n = 0; n < 32; ++n) {
            mean[n] = (static_cast<double>(row[2 * n]) + row[2 * n + 1]) * 0.5;
        }
        float out[32];
        SubbandDctMix(row.data(), out);
        ExpectCloseToDirect(out, mean);
    }
    // Opposite channels cancel.
    std::vector<float> row(64);
    for (int n = 0; n < 32; ++n) {
        row[2 * n] = 100.0f + n;
        row[2 * n + 1] = -(100.0f + n);
    }
    float out[32];
    SubbandDctMix(row.data(), out);
    for (float v : out) {
        EXPECT_EQ(v, 0.0f);
    }
}

TEST(SynthesisReset, EmptiesTheRingsAndFirstVectorsGoToTheTopThenTheEnd) {
    auto state = NewState();
    for (float& v : state->SynthBuffer[0]) {
        v = 7.0f;
    }
    for (float& v : state->SynthBuffer[1]) {
        v = -7.0f;
    }
    state->SynthPos[0] = 160;
    state->SynthPos[1] = 96;
    SynthesisReset(*state);
    EXPECT_EQ(state->SynthPos[0], 0);
    EXPECT_EQ(state->SynthPos[1], 0);
    for (int c = 0; c < 2; ++c) {
        for (float v : state->SynthBuffer[c]) {
            ASSERT_EQ(v, 0.0f);
        }
    }

    std::mt19937 rng(4);
    const std::vector<float> rows = RandomValues(rng, 2 * 64, 5000.0f);
    float first[32], second[32];
    SubbandDct(rows.data(), first);
    SubbandDct(rows.data() + 64, second);
    int16_t pcm[64];

    kLayer12OutputRoutines[kLayer12Mono](*state, rows.data(), pcm, 1);
    EXPECT_EQ(state->SynthPos[0], 480);
    EXPECT_EQ(0, std::memcmp(state->SynthBuffer[0], first, sizeof first));
    for (int i = 32; i < 512; ++i) {
        ASSERT_EQ(state->SynthBuffer[0][i], 0.0f) << i;
    }

    kLayer12OutputRoutines[kLayer12Mono](*state, rows.data() + 64, pcm + 32, 1);
    EXPECT_EQ(state->SynthPos[0], 448);
    EXPECT_EQ(0, std::memcmp(state->SynthBuffer[0] + 480, second, sizeof second));
    EXPECT_EQ(0, std::memcmp(state->SynthBuffer[0], first, sizeof first));
    for (int i = 32; i < 480; ++i) {
        ASSERT_EQ(state->SynthBuffer[0][i], 0.0f) << i;
    }
    for (float v : state->SynthBuffer[1]) {
        ASSERT_EQ(v, 0.0f);
    }
}

void FillHybridOut(TMPDecoderState& state, std::mt19937& rng, float amplitude) {
    const std::vector<float> v = RandomValues(rng, 18 * 32, amplitude);
    std::memcpy(state.HybridOut, v.data(), sizeof state.HybridOut);
}

TEST(Layer3Output, StereoRoutineAdvancesEachRingOnItsOwn) {
    auto stereo = NewState();
    auto mono = NewState();
    std::mt19937 rng(5);
    FillHybridOut(*stereo, rng, 3000.0f);
    std::memcpy(mono->HybridOut, stereo->HybridOut, sizeof mono->HybridOut);

    // A granule with only the first channel: ring 1 and the right samples stay as they were.
    std::vector<int16_t> block(18 * 64, 12345);
    kLayer3OutputRoutines[1](*stereo, block.data(), 0);
    EXPECT_EQ(stereo->SynthPos[0], (0 - 18 * 32) & 511);
    EXPECT_EQ(stereo->SynthPos[1], 0);
    for (float v : stereo->SynthBuffer[1]) {
        ASSERT_EQ(v, 0.0f);
    }
    std::vector<int16_t> monoPcm(18 * 32);
    kLayer3OutputRoutines[0](*mono, monoPcm.data(), 0);
    EXPECT_EQ(mono->SynthPos[0], stereo->SynthPos[0]);
    for (int i = 0; i < 18 * 32; ++i) {
        ASSERT_EQ(block[2 * i], monoPcm[i]) << i;
        ASSERT_EQ(block[2 * i + 1], 12345) << i;
    }

    // The second channel then runs on ring 1 from its own position and writes only the right samples.
    FillHybridOut(*stereo, rng, 3000.0f);
    const std::vector<int16_t> before = block;
    kLayer3OutputRoutines[1](*stereo, block.data(), 1);
    EXPECT_EQ(stereo->SynthPos[1], (0 - 18 * 32) & 511);
    EXPECT_EQ(stereo->SynthPos[0], (0 - 18 * 32) & 511);
    int changed = 0;
    for (int i = 0; i < 18 * 32; ++i) {
        ASSERT_EQ(block[2 * i], before[2 * i]) << i;
        changed += block[2 * i + 1] != 12345;
    }
    EXPECT_GT(changed, 18 * 32 / 2);

    // Another first-channel granule moves ring 0 on while ring 1 waits.
    kLayer3OutputRoutines[1](*stereo, block.data(), 0);
    EXPECT_EQ(stereo->SynthPos[0], (0 - 2 * 18 * 32) & 511);
    EXPECT_EQ(stereo->SynthPos[1], (0 - 18 * 32) & 511);
}

// Runs one Layer III mono granule on a fresh state and returns the PCM.
std::vector<int16_t> Layer3MonoGranules(TMPDecoderState& state, const std::vector<float>& hybrid,
                                        int granules) {
    std::vector<int16_t> pcm(18 * 32 * granules);
    for (int g = 0; g < granules; ++g) {
        std::memcpy(state.HybridOut, hybrid.data() + g * 18 * 32, sizeof state.HybridOut);
        kLayer3OutputRoutines[0](state, pcm.data() + g * 18 * 32, 0);
    }
    return pcm;
}

TEST(SubbandEqualizer, AllGainsOneIsBitIdenticalToSwitchedOffAndLeavesTheSourceAlone) {
    std::mt19937 rng(6);
    const std::vector<float> hybrid = RandomValues(rng, 3 * 18 * 32, 4000.0f);
    auto off = NewState();
    auto ones = NewState();
    ones->SubbandEqActive = 1;
    for (float& g : ones->SubbandGains) {
        g = 1.0f;
    }
    EXPECT_EQ(Layer3MonoGranules(*off, hybrid, 3), Layer3MonoGranules(*ones, hybrid, 3));
    EXPECT_EQ(0, std::memcmp(off->SynthBuffer, ones->SynthBuffer, sizeof off->SynthBuffer));

    // Layer I/II stereo rows: 64 values per slot, each pair with its subband's gain.
    const std::vector<float> rows = RandomValues(rng, 36 * 64, 4000.0f);
    std::vector<int16_t> a(36 * 64), b(36 * 64);
    kLayer12OutputRoutines[kLayer12Stereo](*off, rows.data(), a.data(), 36);
    kLayer12OutputRoutines[kLayer12Stereo](*ones, rows.data(), b.data(), 36);
    EXPECT_EQ(a, b);

    // Active gains work on a copy: the source rows are unchanged.
    auto loud = NewState();
    loud->SubbandEqActive = 1;
    for (float& g : loud->SubbandGains) {
        g = 3.0f;
    }
    const std::vector<float> rowsBefore = rows;
    kLayer12OutputRoutines[kLayer12Stereo](*loud, rows.data(), b.data(), 36);
    EXPECT_EQ(rows, rowsBefore);
    EXPECT_NE(a, b);
    std::memcpy(loud->HybridOut, hybrid.data(), sizeof loud->HybridOut);
    std::vector<int16_t> pcm(18 * 32);
    kLayer3OutputRoutines[0](*loud, pcm.data(), 0);
    EXPECT_EQ(0, std::memcmp(loud->HybridOut, hybrid.data(), sizeof loud->HybridOut));
}

// Power of the PCM at one frequency (cycles per sample), by correlation with a complex tone.
double ToneLevel(const std::vector<int16_t>& pcm, size_t from, double frequency) {
    double re = 0.0, im = 0.0;
    for (size_t i = from; i < pcm.size(); ++i) {
        re += pcm[i] * std::cos(2.0 * std::numbers::pi * frequency * static_cast<double>(i));
        im += pcm[i] * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(i));
    }
    return std::sqrt(re * re + im * im) / static_cast<double>(pcm.size() - from);
}

TEST(SubbandEqualizer, ZeroGainRemovesAToneInThatSubband) {
    // A quarter-rate oscillation inside a subband comes out at the middle of that subband:
    // (subband + 0.5) / 64 cycles per output sample.
    constexpr int kGranules = 8;
    constexpr int kToneBand = 5;
    constexpr int kOtherBand = 12;
    std::vector<float> hybrid(kGranules * 18 * 32, 0.0f);
    for (int t = 0; t < kGranules * 18; ++t) {
        hybrid[t * 32 + kToneBand] = 6000.0f * static_cast<float>(std::cos(std::numbers::pi / 2 * t + 0.4));
        hybrid[t * 32 + kOtherBand] = 6000.0f * static_cast<float>(std::cos(std::numbers::pi / 2 * t + 1.1));
    }
    const double toneFrequency = (kToneBand + 0.5) / 64.0;
    const double otherFrequency = (kOtherBand + 0.5) / 64.0;
    const size_t settled = 16 * 32; // the first 15 slots window partly over the empty ring

    auto flat = NewState();
    flat->SubbandEqActive = 1;
    for (float& g : flat->SubbandGains) {
        g = 1.0f;
    }
    const std::vector<int16_t> before = Layer3MonoGranules(*flat, hybrid, kGranules);

    auto cut = NewState();
    cut->SubbandEqActive = 1;
    for (float& g : cut->SubbandGains) {
        g = 1.0f;
    }
    cut->SubbandGains[kToneBand] = 0.0f;
    const std::vector<int16_t> after = Layer3MonoGranules(*cut, hybrid, kGranules);

    const double toneBefore = ToneLevel(before, settled, toneFrequency);
    const double toneAfter = ToneLevel(after, settled, toneFrequency);
    const double otherBefore = ToneLevel(before, settled, otherFrequency);
    const double otherAfter = ToneLevel(after, settled, otherFrequency);
    EXPECT_GT(toneBefore, 1000.0);
    EXPECT_LT(toneAfter, toneBefore * 1e-3);
    EXPECT_NEAR(otherAfter, otherBefore, otherBefore * 1e-3);
}

TEST(Layer12Output, MixIgnoresTheEqualizerAndAveragesTheChannels) {
    std::mt19937 rng(7);
    const std::vector<float> rows = RandomValues(rng, 36 * 64, 4000.0f);
    auto plain = NewState();
    auto equalized = NewState();
    equalized->SubbandEqActive = 1;
    for (float& g : equalized->SubbandGains) {
        g = 0.0f;
    }
    std::vector<int16_t> a(36 * 32), b(36 * 32);
    kLayer12OutputRoutines[kLayer12Mix](*plain, rows.data(), a.data(), 36);
    kLayer12OutputRoutines[kLayer12Mix](*equalized, rows.data(), b.data(), 36);
    EXPECT_EQ(a, b);

    // The same as the mono routine on rows that hold the averages.
    std::vector<float> averaged(36 * 64, 0.0f);
    for (int t = 0; t < 36; ++t) {
        for (int sb = 0; sb < 32; ++sb) {
            averaged[t * 64 + sb] = (rows[t * 64 + 2 * sb] + rows[t * 64 + 2 * sb + 1]) * 0.5f;
        }
    }
    auto mono = NewState();
    std::vector<int16_t> c(36 * 32);
    kLayer12OutputRoutines[kLayer12Mono](*mono, averaged.data(), c.data(), 36);
    EXPECT_EQ(a, c);
    int nonZero = 0;
    for (int16_t v : a) {
        nonZero += v != 0;
    }
    EXPECT_GT(nonZero, 36 * 32 / 2);
}

TEST(Layer12Output, StereoAndSingleChannelModesTakeTheRightValuesAndShareOnePosition) {
    std::mt19937 rng(8);
    const std::vector<float> rows = RandomValues(rng, 36 * 64, 4000.0f);
    std::vector<float> leftRows(36 * 64, 0.0f), rightRows(36 * 64, 0.0f);
    for (int t = 0; t < 36; ++t) {
        for (int sb = 0; sb < 32; ++sb) {
            leftRows[t * 64 + sb] = rows[t * 64 + 2 * sb];
            rightRows[t * 64 + sb] = rows[t * 64 + 2 * sb + 1];
        }
    }
    // Mono of each channel's own rows: the reference for every other mode.
    auto leftMono = NewState();
    auto rightMono = NewState();
    std::vector<int16_t> leftPcm(36 * 32), rightPcm(36 * 32);
    kLayer12OutputRoutines[kLayer12Mono](*leftMono, leftRows.data(), leftPcm.data(), 36);
    kLayer12OutputRoutines[kLayer12Mono](*rightMono, rightRows.data(), rightPcm.data(), 36);

    auto stereo = NewState();
    std::vector<int16_t> stereoPcm(36 * 64);
    kLayer12OutputRoutines[kLayer12Stereo](*stereo, rows.data(), stereoPcm.data(), 36);
    for (int i = 0; i < 36 * 32; ++i) {
        ASSERT_EQ(stereoPcm[2 * i], leftPcm[i]) << i;
        ASSERT_EQ(stereoPcm[2 * i + 1], rightPcm[i]) << i;
    }
    EXPECT_EQ(stereo->SynthPos[0], (0 - 36 * 32) & 511);
    EXPECT_EQ(stereo->SynthPos[1], 0);
    EXPECT_EQ(0,
              std::memcmp(stereo->SynthBuffer[1], rightMono->SynthBuffer[0], sizeof stereo->SynthBuffer[1]));

    auto left = NewState();
    auto right = NewState();
    std::vector<int16_t> leftOnly(36 * 32), rightOnly(36 * 32);
    kLayer12OutputRoutines[kLayer12LeftOnly](*left, rows.data(), leftOnly.data(), 36);
    kLayer12OutputRoutines[kLayer12RightOnly](*right, rows.data(), rightOnly.data(), 36);
    EXPECT_EQ(leftOnly, leftPcm);
    EXPECT_EQ(rightOnly, rightPcm);

    // Single-channel modes equalize with the subband's gain (entry k of the row takes gain k / 2).
    auto leftCut = NewState();
    leftCut->SubbandEqActive = 1;
    for (int sb = 0; sb < 32; ++sb) {
        leftCut->SubbandGains[sb] = sb == 3 ? 0.0f : 1.0f;
    }
    std::vector<float> leftRowsCut = leftRows;
    for (int t = 0; t < 36; ++t) {
        leftRowsCut[t * 64 + 3] = 0.0f;
    }
    auto leftCutMono = NewState();
    std::vector<int16_t> cutPcm(36 * 32), cutReference(36 * 32);
    kLayer12OutputRoutines[kLayer12LeftOnly](*leftCut, rows.data(), cutPcm.data(), 36);
    kLayer12OutputRoutines[kLayer12Mono](*leftCutMono, leftRowsCut.data(), cutReference.data(), 36);
    EXPECT_EQ(cutPcm, cutReference);
    EXPECT_NE(cutPcm, leftPcm);
}

TEST(LineEqualizer, ScalesOnlyTheFirstNLines) {
    auto state = NewState();
    for (int k = 0; k < 576; ++k) {
        state->LineGains[k] = 0.5f + static_cast<float>(k % 7);
    }
    std::vector<float> lines(576 + 8, 2.0f);
    ApplyLineGains(*state, lines.data(), 100);
    for (int k = 0; k < 100; ++k) {
        ASSERT_EQ(lines[k], 2.0f * state->LineGains[k]) << k;
    }
    for (int k = 100; k < 576 + 8; ++k) {
        ASSERT_EQ(lines[k], 2.0f) << k;
    }

    // Counts outside 0..576 are clamped: nothing before the lines or past line 575 is touched.
    std::fill(lines.begin(), lines.end(), 2.0f);
    ApplyLineGains(*state, lines.data(), -5);
    for (float v : lines) {
        ASSERT_EQ(v, 2.0f);
    }
    ApplyLineGains(*state, lines.data(), 5000);
    EXPECT_EQ(lines[575], 2.0f * state->LineGains[575]);
    for (int k = 576; k < 576 + 8; ++k) {
        ASSERT_EQ(lines[k], 2.0f) << k;
    }
}

} // namespace
} // namespace tunelo
