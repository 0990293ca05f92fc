// The factor a track plays at from its ReplayGain figures, mode and pre-amp, and the text items the
// figures come from.
#include <gtest/gtest.h>

#include <cmath>

#include "replay_gain.h"
#include "replay_gain_items.h"

using namespace tunelo;

namespace {

double Decibels(double factor) {
    return 20 * std::log10(factor);
}

struct TFactorCase {
    const char* What;
    TMPReplayGain Gain;
    TMPReplayGainMode Mode;
    double Preamp;
    double ExpectedDb;
    bool AlbumRun = false;
};

void PrintTo(const TFactorCase& c, std::ostream* out) {
    *out << c.What;
}

class ReplayGainFactorTest : public testing::TestWithParam<TFactorCase> {};

} // namespace

TEST_P(ReplayGainFactorTest, ChoosesTheFigureAndHoldsThePeakAtFullScale) {
    const TFactorCase& c = GetParam();
    EXPECT_NEAR(Decibels(ReplayGainFactor(c.Gain, c.Mode, c.Preamp, c.AlbumRun)), c.ExpectedDb, 1e-9)
        << c.What;
}

// {HasTrackGain, HasAlbumGain, TrackGain, TrackPeak, AlbumGain, AlbumPeak}
INSTANTIATE_TEST_SUITE_P(
    Cases, ReplayGainFactorTest,
    testing::Values(
        TFactorCase{"off ignores everything", {true, true, -6, 0, -3, 0}, rgmOff, 12, 0},
        TFactorCase{"track", {true, true, -6, 0, -3, 0}, rgmTrack, 0, -6},
        TFactorCase{"album", {true, true, -6, 0, -3, 0}, rgmAlbum, 0, -3},
        TFactorCase{"pre-amp adds", {true, false, -6, 0, 0, 0}, rgmTrack, 2, -4},
        TFactorCase{"auto within an album run", {true, true, -6, 0, -3, 0}, rgmAuto, 0, -3, true},
        TFactorCase{"auto on its own", {true, true, -6, 0, -3, 0}, rgmAuto, 0, -6, false},
        TFactorCase{
            "album-run flag means nothing to track", {true, true, -6, 0, -3, 0}, rgmTrack, 0, -6, true},
        TFactorCase{"album falls back to track", {true, false, -6, 0, 0, 0}, rgmAlbum, 0, -6},
        TFactorCase{"track falls back to album", {false, true, 0, 0, -3, 0}, rgmTrack, 0, -3},
        TFactorCase{"no figures: pre-amp alone", {false, false, 0, 0, 0, 0}, rgmTrack, -5, -5},
        TFactorCase{"peak 1.0 holds +12 dB at 0 dB", {true, false, 0, 1.0, 0, 0}, rgmTrack, 12, 0},
        TFactorCase{
            "peak 0.5 allows +6.02 dB", {true, false, 10, 0.5, 0, 0}, rgmTrack, 0, 20 * std::log10(2.0)},
        TFactorCase{"peak 0 is unknown", {true, false, 10, 0, 0, 0}, rgmTrack, 0, 10},
        TFactorCase{
            "a peak above 1 with a cut that keeps it below", {true, false, -6, 1.2, 0, 0}, rgmTrack, 0, -6}));

TEST(ReplayGainItems, NamesAndNumbersAsTaggersWriteThem) {
    TMPReplayGain gain;
    TakeReplayGainItem("replaygain_track_gain", "-6.02 dB", gain);
    TakeReplayGainItem("REPLAYGAIN_TRACK_PEAK", "0.988", gain);
    TakeReplayGainItem("REPLAYGAIN_ALBUM_GAIN", "+1.50 dB", gain);
    TakeReplayGainItem("REPLAYGAIN_ALBUM_PEAK", "-1", gain); // a negative peak is none
    EXPECT_TRUE(gain.HasTrackGain);
    EXPECT_DOUBLE_EQ(gain.TrackGain, -6.02);
    EXPECT_DOUBLE_EQ(gain.TrackPeak, 0.988);
    EXPECT_TRUE(gain.HasAlbumGain);
    EXPECT_DOUBLE_EQ(gain.AlbumGain, 1.5);
    EXPECT_DOUBLE_EQ(gain.AlbumPeak, 0);

    TMPReplayGain untouched;
    for (const char* bad : {"", "dB", "nan", "inf", " - 3"}) {
        TakeReplayGainItem("REPLAYGAIN_TRACK_GAIN", bad, untouched);
        EXPECT_FALSE(untouched.HasTrackGain) << bad;
    }
    TakeReplayGainItem("REPLAYGAIN_REFERENCE_LOUDNESS", "89.0 dB", untouched);
    EXPECT_FALSE(untouched.HasTrackGain || untouched.HasAlbumGain);

    TMPReplayGainMode mode = rgmOff;
    EXPECT_TRUE(ReplayGainModeFromName("album", mode));
    EXPECT_EQ(mode, rgmAlbum);
    EXPECT_TRUE(ReplayGainModeFromName(ReplayGainModeName(rgmAuto), mode));
    EXPECT_EQ(mode, rgmAuto);
    EXPECT_FALSE(ReplayGainModeFromName("Album", mode));
    EXPECT_STREQ(ReplayGainModeName(rgmTrack), "track");
}

TEST(ReplayGainAlbumRun, ANeighbourOfTheSameNamedAlbum) {
    EXPECT_TRUE(InAlbumRun("Kind of Blue", "", "Kind of Blue"));
    EXPECT_TRUE(InAlbumRun("Kind of Blue", "Kind of Blue", "Other"));
    EXPECT_FALSE(InAlbumRun("Kind of Blue", "Other", "kind of blue"));
    EXPECT_FALSE(InAlbumRun("", "", ""));
}
