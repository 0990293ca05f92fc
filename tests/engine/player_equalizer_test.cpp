// The equalizer as heard: a full-scale file played or decoded to WAV with strong boosts comes out without
// clipping, in both the file and the sound device's stream, and the pre-amp moves the level as it says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "equalizer_gains.h"
#include "pcm_checks.h"
#include "player_test_support.h"

namespace {

using namespace playertest;
using tunelo::test::ClippedRuns;
using tunelo::test::PeakLevel;

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The samples of a WAV file with the canonical 44-byte header.
std::vector<int16_t> WavSamples(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    std::vector<int16_t> samples;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
        samples.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return samples;
}

double MeanLevel(const std::vector<int16_t>& samples) {
    double sum = 0;
    for (int16_t sample : samples) {
        sum += std::abs(int(sample));
    }
    return samples.empty() ? 0 : sum / double(samples.size());
}

// Two seconds of stereo white noise at full scale, encoded by lame.
std::string FullScaleNoise(const TempDir& dir) {
    const std::string wav = dir.Path("noise.wav");
    const std::string mp3 = dir.Path("noise.mp3");
    EXPECT_EQ(Shell("sox -n -r 44100 -c 2 -b 16 " + wav + " synth 2 whitenoise 2>/dev/null"), 0);
    EXPECT_EQ(Shell("lame --quiet -b 192 " + wav + " " + mp3), 0);
    return mp3;
}

// A full-scale tone swept across the edges of sub-bands 2 to 6 (44.1 kHz), just short of clipping in
// the unequalized decode.
std::string FullScaleSweep(const TempDir& dir) {
    const std::string wav = dir.Path("sweep.wav");
    const std::string mp3 = dir.Path("sweep.mp3");
    EXPECT_EQ(Shell("sox -n -r 44100 -c 2 -b 16 " + wav + " synth 3 sine 1500-4500 gain -n -0.5 2>/dev/null"),
              0);
    EXPECT_EQ(Shell("lame --quiet -b 192 " + wav + " " + mp3), 0);
    return mp3;
}

void DecodeToFile(TMP3Player& player, const std::string& mp3, const std::string& wav) {
    int ended = 0;
    player.OnEndPlay = [&ended](TMP3Player&, TMP3EndPlayReason) { ++ended; };
    OpenQuietly(player, mp3);
    ASSERT_TRUE(player.IsOpen());
    player.PlayToFile(wav);
    ASSERT_TRUE(PumpUntil([&] { return ended == 1; }));
    player.OnEndPlay = nullptr;
}

void DecodeUnequalized(const std::string& mp3, const std::string& wav) {
    TMP3Player plain;
    DecodeToFile(plain, mp3, wav);
}

void BoostEveryBand(TMP3Player& player) {
    for (int32_t band = 0; band < 32; ++band) {
        player.SetEqualizerBand(band, 100);
    }
    player.SetEqualizerEnabled(true);
}

struct TBoostCase {
    const char* Name;
    int32_t (*Gain)(int32_t band);
    double Preamp;
    bool Sweep = false;
};

void PrintTo(const TBoostCase& c, std::ostream* os) {
    *os << c.Name;
}

class EqualizerHeadroom : public ::testing::TestWithParam<TBoostCase> {};

TEST_P(EqualizerHeadroom, AFullScaleFileNeverClipsUnderABoost) {
    const TBoostCase& c = GetParam();
    TempDir dir;
    const std::string mp3 = c.Sweep ? FullScaleSweep(dir) : FullScaleNoise(dir);
    if (c.Sweep) {
        DecodeUnequalized(mp3, dir.Path("plain.wav"));
        ASSERT_EQ(ClippedRuns(WavSamples(dir.Path("plain.wav")), 2), 0);
    }
    TMP3Player player;
    for (int32_t band = 0; band < 32; ++band) {
        player.SetEqualizerBand(band, c.Gain(band));
    }
    player.SetEqualizerPreamp(c.Preamp);
    player.SetEqualizerEnabled(true);
    DecodeToFile(player, mp3, dir.Path("boosted.wav"));
    const std::vector<int16_t> samples = WavSamples(dir.Path("boosted.wav"));
    ASSERT_GT(samples.size(), 44100u * 2);
    EXPECT_EQ(ClippedRuns(samples, 2), 0);
    EXPECT_GT(PeakLevel(samples), 8000) << "the headroom keeps the boosted bands loud, not silent";
}

INSTANTIATE_TEST_SUITE_P(
    Boosts, EqualizerHeadroom,
    ::testing::Values(
        TBoostCase{"EveryBandFull", [](int32_t) { return 100; }, 0},
        TBoostCase{"EveryBandFullWithPreampBoost", [](int32_t) { return 100; }, 20},
        TBoostCase{"LowBandsFull", [](int32_t band) { return band < 4 ? 100 : 0; }, 0},
        TBoostCase{"AlternateFullAndCut", [](int32_t band) { return band % 2 ? 100 : -100; }, 0},
        TBoostCase{"FlatWithPreampBoost", [](int32_t) { return 0; }, 20},
        TBoostCase{"LowBandsFullOverAToneCrossingTheirEdge", [](int32_t band) { return band < 4 ? 100 : 0; },
                   0, true},
        TBoostCase{"OneBandCutUnderATone", [](int32_t band) { return band == 4 ? -100 : 0; }, 0, true}),
    [](const ::testing::TestParamInfo<TBoostCase>& info) { return std::string(info.param.Name); });

TEST(EqualizerHeadroom, FullBoostOnEveryBandSoundsAsTheUnequalizedDecode) {
    TempDir dir;
    const std::string mp3 = FullScaleNoise(dir);
    DecodeUnequalized(mp3, dir.Path("plain.wav"));
    TMP3Player boosted;
    BoostEveryBand(boosted);
    DecodeToFile(boosted, mp3, dir.Path("boosted.wav"));
    EXPECT_EQ(ReadBytes(dir.Path("boosted.wav")), ReadBytes(dir.Path("plain.wav")));
}

TEST(EqualizerHeadroom, PlaybackIsHeldBelowFullScaleToo) {
    TempDir dir;
    const std::string mp3 = FullScaleNoise(dir);
    const std::string heard = dir.Path("heard.wav");
    setenv("TUNELO_AUDIO", ("file:" + heard).c_str(), 1);
    {
        TMP3Player player;
        EventLog log(player);
        BoostEveryBand(player);
        OpenQuietly(player, mp3);
        player.Play();
        ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
        EXPECT_EQ(log.EndReasons.back(), meprEndOfStream);
    }
    setenv("TUNELO_AUDIO", "null", 1);
    const std::vector<int16_t> samples = WavSamples(heard);
    ASSERT_GT(samples.size(), 44100u * 2);
    EXPECT_EQ(ClippedRuns(samples, 2), 0);
    EXPECT_GT(PeakLevel(samples), 8000);
}

TEST(EqualizerHeadroom, APreampCutLowersTheLevelByItsDecibels) {
    TempDir dir;
    const std::string mp3 = FullScaleNoise(dir);
    DecodeUnequalized(mp3, dir.Path("plain.wav"));
    TMP3Player cut;
    cut.SetEqualizerPreamp(-6);
    cut.SetEqualizerPreamp(-21); // out of range: ignored
    EXPECT_EQ(cut.EqualizerPreamp(), -6);
    cut.SetEqualizerEnabled(true);
    DecodeToFile(cut, mp3, dir.Path("cut.wav"));
    const std::vector<int16_t> cutSamples = WavSamples(dir.Path("cut.wav"));
    const std::vector<int16_t> plainSamples = WavSamples(dir.Path("plain.wav"));
    EXPECT_NEAR(MeanLevel(cutSamples) / MeanLevel(plainSamples), std::pow(10.0, -6 / 20.0), 0.005);
    // From the first frame on, not once the window thread has caught up with the change.
    const size_t firstFrames = 4 * 1152 * 2;
    ASSERT_GT(plainSamples.size(), firstFrames);
    const std::vector<int16_t> cutStart(cutSamples.begin(), cutSamples.begin() + firstFrames);
    const std::vector<int16_t> plainStart(plainSamples.begin(), plainSamples.begin() + firstFrames);
    EXPECT_NEAR(MeanLevel(cutStart) / MeanLevel(plainStart), std::pow(10.0, -6 / 20.0), 0.02);
}

TEST(EqualizerHeadroomBands, OnlyTheBandsTheModeUsesCountTowardsTheHeadroom) {
    TMP3Player player;
    player.SetEqualizerMode(memFreq);
    player.SetFrequencyBands(60, 16000); // six bands
    // Band 10 lies beyond the six that frequency mode maps: its boost is never heard and takes nothing.
    player.SetEqualizerBand(10, 100);
    player.SetEqualizerBand(2, 50);
    player.SetEqualizerEnabled(true);
    OpenQuietly(player, DataFile("l2-mpeg1-44k.mp2"));
    PumpFor(0);
    const TMPDecoderState& state = player.DecoderState();
    ASSERT_EQ(state.SubbandEqActive, 1);
    // Sub-band 0 (345 Hz) takes band 2 (560 Hz): its +10 dB is the loudest and sits at 0 dB, less the room
    // an edge between it and a 0 dB band needs.
    const auto room = [](double loudest, double quietest) {
        return std::pow(10.0, -tunelo::BandEdgeOvershootDecibels(loudest, quietest) / 20.0);
    };
    EXPECT_NEAR(state.SubbandGains[0], room(10, 0), 1e-6);
    EXPECT_NEAR(state.SubbandGains[31], std::pow(10.0, -10 / 20.0) * room(10, 0), 1e-6);

    // In sub-band mode every one of the 32 bands is heard, so band 10 sets the headroom.
    player.SetEqualizerMode(memSubBand);
    PumpFor(0);
    EXPECT_NEAR(state.SubbandGains[10], room(20, 0), 1e-6);
    EXPECT_NEAR(state.SubbandGains[2], std::pow(10.0, -10 / 20.0) * room(20, 0), 1e-6);
    EXPECT_NEAR(state.SubbandGains[0], 0.1 * room(20, 0), 1e-6);
}

} // namespace
