// The player's published properties: defaults, the values each setter ignores, the loading phase, AutoOpen
// and AutoPlay, processor features, polarity (each player its own), and the equalizer in both modes as the
// decoder receives it.
#include "equalizer_gains.h"
#include "player_test_support.h"

#include <cmath>

namespace {

using namespace playertest;

float Factor(int32_t gain) {
    return static_cast<float>(std::pow(10.0, gain / 100.0));
}

// The factor of a band moved down by the loudest boost, less the room an edge between bands of the
// loudest and the quietest gain needs (gains in dB).
double Moved(int32_t gain, double loudest, double quietest) {
    return Factor(gain) * std::pow(10.0, -BandEdgeOvershootDecibels(loudest, quietest) / 20.0);
}

TEST(PlayerProperties, DefaultsAndTheValuesTheSettersIgnore) {
    TMP3Player player;
    EXPECT_TRUE(player.AutoOpen());
    EXPECT_TRUE(player.AutoPlay());
    EXPECT_EQ(player.ChangePosStep(), 400);
    EXPECT_EQ(player.DecodePriority(), tpNormal);
    EXPECT_FALSE(player.EqualizerEnabled());
    EXPECT_EQ(player.EqualizerCount(), 6);
    EXPECT_EQ(player.EqualizerMode(), memSubBand);
    EXPECT_EQ(player.FileName(), "");
    EXPECT_EQ(player.NeedInfoType(), (TMP3InfoType{mitID3V1, mitID3V2, mitRiff}));
    EXPECT_TRUE(player.NoisySeek());
    EXPECT_EQ(player.UsingCpuCapabilities().Bits, 0x3F);
    EXPECT_EQ(player.VolBalance(), 0);
    EXPECT_EQ(player.Volume(), 100);
    EXPECT_EQ(player.Status(), mpsStopped);
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(player.Duration(), 0);

    player.SetChangePosStep(99);
    EXPECT_EQ(player.ChangePosStep(), 400);
    player.SetChangePosStep(100);
    EXPECT_EQ(player.ChangePosStep(), 100);
    player.SetVolBalance(101);
    player.SetVolBalance(-101);
    EXPECT_EQ(player.VolBalance(), 0);
    player.SetVolBalance(-100);
    EXPECT_EQ(player.VolBalance(), -100);
    player.SetVolume(101);
    player.SetVolume(-1);
    EXPECT_EQ(player.Volume(), 100);
    player.SetVolume(0); // outside loading a 0 is a 0
    EXPECT_EQ(player.Volume(), 0);
    player.SetEqualizerCount(0);
    player.SetEqualizerCount(33); // more bands than the player has
    EXPECT_EQ(player.EqualizerCount(), 6);
    player.SetEqualizerCount(10);
    EXPECT_EQ(player.EqualizerCount(), 10);
    player.SetEqualizerBand(3, 101);
    player.SetEqualizerBand(3, -101);
    EXPECT_EQ(player.EqualizerBand(3), 0);
    player.SetEqualizerBand(3, -100);
    EXPECT_EQ(player.EqualizerBand(3), -100);
    player.SetDecodePriority(tpLower);
    EXPECT_EQ(player.DecodePriority(), tpLower);
}

TEST(PlayerProperties, ABandIndexOutOfRangeRaisesTheListIndexError) {
    TMP3Player player;
    EXPECT_EQ(ErrorOf([&] { player.SetEqualizerBand(32, 0); }),
              "リストのインデックスが範囲を超えています (32)");
    EXPECT_EQ(ErrorOf([&] { player.SetEqualizerBand(-1, 0); }),
              "リストのインデックスが範囲を超えています (-1)");
    EXPECT_EQ(ErrorOf([&] { player.EqualizerBand(40); }), "リストのインデックスが範囲を超えています (40)");
    EXPECT_EQ(ErrorOf([&] { player.SetEqualizerBand(31, 0); }), "no error");
}

TEST(PlayerProperties, TheLoadingPhaseDefersOpeningAndKeepsTheSystemVolume) {
    TSoundOut probe;
    const int32_t systemVolume = probe.Volume();
    TMP3Player player;
    player.BeginLoading();
    player.SetAutoPlay(false);
    player.SetVolume(0);
    EXPECT_EQ(player.Volume(), systemVolume) << "a stored 0 must not mute the player";
    player.SetEqualizerMode(memFreq);
    player.SetFileName(DataFile("l3-mpeg2-22k.mp3"));
    EXPECT_FALSE(player.IsOpen()) << "opened while loading";
    player.Loaded();
    EXPECT_TRUE(player.IsOpen());
    EXPECT_EQ(player.Status(), mpsStopped);
    EXPECT_EQ(player.FrequencyBand(0), 60);
    EXPECT_EQ(player.FrequencyBand(5), 16000);
}

TEST(PlayerProperties, AutoOpenAndAutoPlay) {
    TMP3Player player;
    EventLog log(player);
    player.SetAutoOpen(false);
    player.SetAutoPlay(false);
    player.SetFileName(DataFile("l3-mpeg2-22k.mp3"));
    EXPECT_FALSE(player.IsOpen());
    player.SetAutoOpen(true); // opens at once
    EXPECT_TRUE(player.IsOpen());
    EXPECT_EQ(player.Status(), mpsStopped);
    player.SetAutoPlay(false);
    EXPECT_EQ(player.Status(), mpsStopped);
    player.SetAutoPlay(true); // open and stopped: starts
    EXPECT_EQ(player.Status(), mpsPlaying);
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));

    // An empty name closes.
    player.SetFileName("");
    EXPECT_FALSE(player.IsOpen());
}

TEST(PlayerProperties, ProcessorFeaturesAreThoseThisProcessorHas) {
    const TMP3CpuCapabilities present = CapabilitiesFromWord(DetectCapabilities());
    TMP3Player player;
    player.SetUsingCpuCapabilities(TMP3CpuCapabilities{0x3F});
    EXPECT_EQ(player.UsingCpuCapabilities().Bits, present.Bits);
    player.SetUsingCpuCapabilities(TMP3CpuCapabilities{0});
    EXPECT_EQ(player.UsingCpuCapabilities().Bits, 0);
    // Playing with none of them selects the plain routines and still plays.
    TempDir dir;
    const Bytes wav = PlayToWav(player, DataFile("l3-mpeg2-22k.mp3"), dir.Path("plain.wav"));
    EXPECT_GT(wav.size(), 44u);
}

TEST(PlayerProperties, InvertPolarityNegatesEverySample) {
    TempDir dir;
    TMP3Player player;
    const Bytes normal = PlayToWav(player, DataFile("l3-junk100.mp3"), dir.Path("normal.wav"));
    player.SetInvertPolarity(true);
    EXPECT_TRUE(player.InvertPolarity());
    const Bytes inverted = PlayToWav(player, DataFile("l3-junk100.mp3"), dir.Path("inverted.wav"));
    player.SetInvertPolarity(false);
    EXPECT_FALSE(player.InvertPolarity());
    ASSERT_EQ(normal.size(), inverted.size());
    ASSERT_GT(normal.size(), 44u + 4608u);
    int differences = 0;
    for (size_t i = 44; i + 1 < normal.size(); i += 2) {
        const int a = static_cast<int16_t>(normal[i] | (normal[i + 1] << 8));
        const int b = static_cast<int16_t>(inverted[i] | (inverted[i + 1] << 8));
        // Rounding and clipping may differ by one step.
        if (std::abs(a + b) > 1) {
            ++differences;
        }
    }
    EXPECT_EQ(differences, 0);
}

// The sample pairs of two WAV files (past the 44-byte header) whose sum is further than one step from 0.
int NonNegatedSamples(const Bytes& a, const Bytes& b) {
    int differences = 0;
    for (size_t i = 44; i + 1 < a.size() && i + 1 < b.size(); i += 2) {
        const int x = static_cast<int16_t>(a[i] | (a[i + 1] << 8));
        const int y = static_cast<int16_t>(b[i] | (b[i + 1] << 8));
        if (std::abs(x + y) > 1) {
            ++differences;
        }
    }
    return differences;
}

// Two players decoding at the same time, the second one inverted after the first has started: each
// keeps its own polarity from its first sample to its last.
TEST(PlayerProperties, TwoPlayersDecodingAtOnceEachKeepTheirOwnPolarity) {
    TempDir dir;
    const std::string mp3 = DataFile("l3-junk100.mp3");
    Bytes reference;
    {
        TMP3Player player;
        reference = PlayToWav(player, mp3, dir.Path("reference.wav"));
    }
    ASSERT_GT(reference.size(), 44u + 4608u);

    TMP3Player normalPlayer;
    TMP3Player invertedPlayer;
    OpenQuietly(normalPlayer, mp3);
    OpenQuietly(invertedPlayer, mp3);
    ASSERT_TRUE(normalPlayer.IsOpen());
    ASSERT_TRUE(invertedPlayer.IsOpen());
    int ended = 0;
    normalPlayer.OnEndPlay = [&ended](TMP3Player&, TMP3EndPlayReason) { ++ended; };
    invertedPlayer.OnEndPlay = [&ended](TMP3Player&, TMP3EndPlayReason) { ++ended; };
    normalPlayer.PlayToFile(dir.Path("normal.wav"));
    invertedPlayer.SetInvertPolarity(true);
    invertedPlayer.PlayToFile(dir.Path("inverted.wav"));
    ASSERT_TRUE(PumpUntil([&] { return ended == 2; })) << "the two decodes did not both end";
    EXPECT_FALSE(normalPlayer.InvertPolarity());
    EXPECT_TRUE(invertedPlayer.InvertPolarity());

    EXPECT_EQ(ReadBytes(dir.Path("normal.wav")), reference);
    const Bytes inverted = ReadBytes(dir.Path("inverted.wav"));
    ASSERT_EQ(inverted.size(), reference.size());
    EXPECT_EQ(NonNegatedSamples(reference, inverted), 0);
}

TEST(PlayerProperties, FrequencyBandsFormAGeometricSeriesInFrequencyModeOnly) {
    TMP3Player player;
    player.SetFrequencyBands(60, 16000); // sub-band mode: ignored
    EXPECT_EQ(player.FrequencyBand(0), 0);
    player.SetEqualizerMode(memFreq);
    player.SetFrequencyBands(60, 16000);
    const int32_t expected[] = {60, 183, 560, 1712, 5234, 16000};
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(player.FrequencyBand(i), expected[i]) << "band " << i;
    }
    player.SetFrequencyBands(0, 100);    // low must be above 0
    player.SetFrequencyBands(200, 100);  // low above high
    player.SetFrequencyBands(60, 24001); // beyond 24000 Hz
    EXPECT_EQ(player.FrequencyBand(1), 183);
    player.SetEqualizerCount(1);
    player.SetFrequencyBands(500, 500);
    EXPECT_EQ(player.FrequencyBand(0), 500);
}

TEST(PlayerProperties, SubBandModeGivesEachSubBandItsOwnGain) {
    TMP3Player player;
    for (int32_t i = 0; i < 32; ++i) {
        player.SetEqualizerBand(i, i * 6 - 100);
    }
    OpenQuietly(player, DataFile("l3-junk100.mp3"));
    PumpFor(0);
    const TMPDecoderState& state = player.DecoderState();
    EXPECT_EQ(state.SubbandEqActive, 0) << "the equalizer is off until enabled";
    EXPECT_EQ(state.LineEqActive, 0);
    // The loudest band (86, +17.2 dB) is moved down to 0 dB (less the edge room) and every other band with
    // it.
    for (int32_t i = 0; i < 32; ++i) {
        const double expected = Moved(i * 6 - 100 - 86, 17.2, -20);
        EXPECT_NEAR(state.SubbandGains[i], expected, expected * 1e-6) << "sub-band " << i;
    }
    // Sub-band centres: 44100 / 64 x (i + 0.5), halves to even.
    EXPECT_EQ(player.FrequencyBand(0), 345);
    EXPECT_EQ(player.FrequencyBand(1), 1034);
    EXPECT_EQ(player.FrequencyBand(31), 21705);
    player.SetEqualizerEnabled(true);
    PumpFor(0);
    EXPECT_EQ(state.SubbandEqActive, 1);
    EXPECT_EQ(state.LineEqActive, 0);
}

TEST(PlayerProperties, FrequencyModeMapsBandsByTheNearestRatio) {
    TMP3Player player;
    player.SetEqualizerMode(memFreq);
    player.SetFrequencyBands(60, 16000); // 60, 183, 560, 1712, 5234, 16000
    const int32_t gains[] = {-100, -60, -20, 20, 60, 100};
    for (int32_t b = 0; b < 6; ++b) {
        player.SetEqualizerBand(b, gains[b]);
    }
    player.SetEqualizerEnabled(true);

    // Layer III at 44100 Hz: line k is centred at 44100 / 1152 x (k + 0.5). By ratio the edge between
    // 5234 and 16000 Hz lies at 9151 Hz: line 238 (9130 Hz) is band 4, line 239 (9169 Hz) band 5. By
    // distance it would lie at 10617 Hz.
    OpenQuietly(player, DataFile("l3-junk100.mp3"));
    PumpFor(0);
    const TMPDecoderState& state = player.DecoderState();
    EXPECT_EQ(state.SubbandEqActive, 0);
    EXPECT_EQ(state.LineEqActive, 1);
    // Band 5's +20 dB is the loudest: every band is moved down by it and by the edge room.
    EXPECT_NEAR(state.LineGains[0], Moved(-100 - 100, 20, -20), Moved(-100 - 100, 20, -20) * 1e-6);
    EXPECT_NEAR(state.LineGains[238], Moved(60 - 100, 20, -20), Moved(60 - 100, 20, -20) * 1e-6);
    EXPECT_NEAR(state.LineGains[239], Moved(100 - 100, 20, -20), Moved(100 - 100, 20, -20) * 1e-6);
    EXPECT_NEAR(state.LineGains[575], Moved(100 - 100, 20, -20), Moved(100 - 100, 20, -20) * 1e-6);
    // Between 60 and 183 Hz the edge is at 105 Hz: line 2 (96 Hz) is band 0, line 3 (134 Hz) band 1.
    EXPECT_NEAR(state.LineGains[2], Moved(-100 - 100, 20, -20), Moved(-100 - 100, 20, -20) * 1e-6);
    EXPECT_NEAR(state.LineGains[3], Moved(-60 - 100, 20, -20), Moved(-60 - 100, 20, -20) * 1e-6);

    // Layer II: sub-band d is centred at 44100 / 64 x (d + 0.5); sub-band 0 (345 Hz) is nearer to 560 Hz
    // than to 183 Hz by ratio.
    OpenQuietly(player, DataFile("l2-mpeg1-44k.mp2"));
    PumpFor(0);
    EXPECT_EQ(state.SubbandEqActive, 1);
    EXPECT_EQ(state.LineEqActive, 0);
    EXPECT_NEAR(state.SubbandGains[0], Moved(-20 - 100, 20, -20), Moved(-20 - 100, 20, -20) * 1e-6);
    EXPECT_NEAR(state.SubbandGains[31], Moved(100 - 100, 20, -20), Moved(100 - 100, 20, -20) * 1e-6);
    // The band frequencies stay the edges in this mode.
    EXPECT_EQ(player.FrequencyBand(1), 183);

    player.SetEqualizerEnabled(false);
    PumpFor(0);
    EXPECT_EQ(state.SubbandEqActive, 0);
}

TEST(PlayerProperties, EqualizerChangesWhilePlayingReachTheDecodeThreadSafely) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(6));
    TMP3Player player;
    EventLog log(player);
    player.SetEqualizerEnabled(true);
    player.SetFileName(path);
    int changes = 0;
    while (log.EndReasons.empty() && changes < 400) {
        player.SetEqualizerMode(changes % 2 == 0 ? memFreq : memSubBand);
        player.SetEqualizerBand(changes % 32, (changes * 7) % 201 - 100);
        ProcessMessages();
        WaitMessage(5);
        ++changes;
    }
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
}

TEST(PlayerProperties, PositionReportsAreCollapsedAndRateLimited) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(5)); // 1.5 s
    TMP3Player player;
    EventLog log(player);
    player.SetChangePosStep(1000);
    player.SetFileName(path);
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    // Play, the ticks of at most one per second, and Stop: a handful, not one per buffer or frame.
    EXPECT_GE(log.Positions, 1);
    EXPECT_LE(log.Positions, 5);
}

} // namespace
