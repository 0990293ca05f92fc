// The equalizer's arithmetic: band gains in dB and as factors, the shift that keeps the loudest band at or
// below 0 dB with the pre-amp, and the sub-band centres the window labels its bars with.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "equalizer_gains.h"

using namespace tunelo;

namespace {

struct TShiftCase {
    const char* Name;
    std::vector<int32_t> Gains;
    double Preamp;
    double Shift;
};

void PrintTo(const TShiftCase& c, std::ostream* os) {
    *os << c.Name;
}

class EqualizerShift : public ::testing::TestWithParam<TShiftCase> {};

TEST_P(EqualizerShift, KeepsTheLoudestBandAtOrBelowZeroDecibels) {
    const TShiftCase& c = GetParam();
    const double shift = EqualizerShiftDecibels(c.Gains, c.Preamp);
    EXPECT_NEAR(shift, c.Shift, 1e-6);
    double loudest = -1e9;
    for (int32_t gain : c.Gains) {
        loudest = std::max(loudest, BandGainDecibels(gain) + shift);
    }
    EXPECT_LE(loudest, 1e-9) << "a band would boost above full scale";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EqualizerShift,
    ::testing::Values(TShiftCase{"Flat", std::vector<int32_t>(32, 0), 0, 0},
                      TShiftCase{"EveryBandAtFullBoost", std::vector<int32_t>(32, 100), 0, -20},
                      TShiftCase{"OneBandBoosted", {-100, 50, 0, -30}, 0, -11.587659},
                      TShiftCase{"CutsStayCuts", {-50, -50, -20}, 0, 0},
                      TShiftCase{"PreampCutAddsRoom", std::vector<int32_t>(32, 0), -6, -6},
                      TShiftCase{"PreampCutUnderABoost", {100, 0, -100}, -3, -23},
                      TShiftCase{"PreampBoostIsHeldAtZero", std::vector<int32_t>(32, 0), 6, 0},
                      TShiftCase{"PreampBoostUnderABoost", {60, 0}, 12, -13.252271},
                      TShiftCase{"PreampLiftsCutBandsUpToTheEdgeRoom", {-50, -25, -100}, 15, 3.634224},
                      TShiftCase{"PreampLiftsCutBandsPartly", {-50, -100}, 4, 4}),
    [](const ::testing::TestParamInfo<TShiftCase>& info) { return std::string(info.param.Name); });

// The edge between two sub-bands of gains a > b: the two bands' shares of a tone there are p and 1 - p of
// its power, and the aliasing their gains no longer cancel adds (a - b) sqrt(p (1 - p)).
TEST(BandEdgeOvershoot, IsTheLoudestToneAnEdgeCanGive) {
    EXPECT_EQ(BandEdgeOvershootDecibels(6, 6), 0.0);
    for (double quietest : {-20.0, -6.0, -1.0, 0.0}) {
        const double b = std::pow(10.0, quietest / 20.0);
        double worst = 0;
        for (int step = 0; step <= 10000; ++step) {
            const double p = step / 10000.0;
            worst = std::max(worst, b * (1 - p) + p + (1 - b) * std::sqrt(p * (1 - p)));
        }
        EXPECT_NEAR(BandEdgeOvershootDecibels(0, quietest), 20 * std::log10(worst), 1e-4) << quietest;
    }
    EXPECT_LT(BandEdgeOvershootDecibels(20, -20), 1.64);
}

TEST(EqualizerFactor, IsTheBandGainMovedByTheShift) {
    EXPECT_EQ(EqualizerFactor(0, 0), 1.0f);
    EXPECT_EQ(EqualizerFactor(100, -20), 1.0f) << "a boost taken back exactly is exactly 1";
    EXPECT_FLOAT_EQ(EqualizerFactor(100, 0), 10.0f);
    EXPECT_FLOAT_EQ(EqualizerFactor(-100, 0), 0.1f);
    EXPECT_FLOAT_EQ(EqualizerFactor(50, -10), 1.0f);
    EXPECT_FLOAT_EQ(EqualizerFactor(0, -6), static_cast<float>(std::pow(10.0, -6 / 20.0)));
    EXPECT_FLOAT_EQ(EqualizerFactor(-100, -20), 0.01f);
    // The old meaning of a band gain with no shift: 10^(gain / 100).
    for (int32_t gain = -100; gain <= 100; gain += 7) {
        EXPECT_FLOAT_EQ(EqualizerFactor(gain, 0), static_cast<float>(std::pow(10.0, gain / 100.0))) << gain;
    }
}

TEST(SubbandCentreFrequency, IsHalfwayAcrossEachOfTheThirtyTwoBands) {
    EXPECT_EQ(SubbandCentreFrequency(44100, 0), 345);
    EXPECT_EQ(SubbandCentreFrequency(44100, 1), 1034);
    EXPECT_EQ(SubbandCentreFrequency(44100, 31), 21705);
    EXPECT_EQ(SubbandCentreFrequency(48000, 0), 375);
    EXPECT_EQ(SubbandCentreFrequency(48000, 31), 23625);
    EXPECT_EQ(SubbandCentreFrequency(8000, 0), 62) << "62.5 halves to even";
    EXPECT_EQ(SubbandCentreFrequency(8000, 1), 188) << "187.5 halves to even";
}

} // namespace
