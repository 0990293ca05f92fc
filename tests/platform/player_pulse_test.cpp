// The player through a private PulseAudio daemon: the position shown is the position heard while it
// plays, pauses, resumes and seeks; the end of the track is heard whole; Stop returns at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "../engine/player_test_support.h"
#include "pulse_test_server.h"

using namespace tunelo;
using namespace playertest;
using namespace std::chrono_literals;

namespace {

using TClock = std::chrono::steady_clock;

int32_t MillisSince(TClock::time_point start) {
    return static_cast<int32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count());
}

std::vector<int16_t> WithoutTrailingSilence(std::vector<int16_t> samples) {
    while (samples.size() >= 2 && samples[samples.size() - 1] == 0 && samples[samples.size() - 2] == 0) {
        samples.resize(samples.size() - 2);
    }
    return samples;
}

class PulsePlayer : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string failure = FServer.Start();
        if (!failure.empty()) {
            GTEST_SKIP() << "no private PulseAudio daemon: " << failure;
        }
        setenv("TUNELO_AUDIO", "pulse", 1);
    }
    void TearDown() override {
        setenv("TUNELO_AUDIO", "null", 1);
        unsetenv("PULSE_SERVER");
    }

    // Checks, while pumping for the given time, that the position never runs ahead of what can have been
    // heard since `heardFrom` (as `base` ms of the track) by more than 50 ms.
    void ExpectPositionNotAhead(TMP3Player& player, TClock::time_point heardFrom, int32_t base,
                                int milliseconds) {
        const auto until = TClock::now() + std::chrono::milliseconds(milliseconds);
        while (TClock::now() < until) {
            const int32_t position = player.Position();
            EXPECT_LE(position, base + MillisSince(heardFrom) + 50);
            PumpFor(20);
        }
    }

    pulsetest::TPulseTestServer FServer;
};

TEST_F(PulsePlayer, ThePositionIsWhatIsHeardThroughPauseResumeAndSeekAndTheEndIsHeardWhole) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(30)); // 9 s
    TMP3Player decoder;
    const Bytes wav = PlayToWav(decoder, path, dir.Path("long.wav"));
    ASSERT_GT(wav.size(), 44u);
    std::vector<int16_t> decoded((wav.size() - 44) / 2);
    std::memcpy(decoded.data(), wav.data() + 44, decoded.size() * 2);

    pulsetest::TMonitorRecording recording(FServer, "player.raw");
    TMP3Player player;
    EventLog log(player);
    ShownErrors shown;
    OpenQuietly(player, path);
    ASSERT_TRUE(player.IsOpen());
    const auto started = TClock::now();
    player.Play();
    ExpectPositionNotAhead(player, started, 0, 1000);
    EXPECT_GE(player.Position(), 500) << "the position hardly moves";

    player.Pause();
    PumpFor(100);
    const int32_t pausedAt = player.Position();
    PumpFor(500);
    EXPECT_EQ(player.Position(), pausedAt);
    player.Resume();
    const auto resumed = TClock::now();
    ExpectPositionNotAhead(player, resumed, pausedAt, 500);
    EXPECT_GT(player.Position(), pausedAt);

    player.Seek(6000);
    const int32_t seekedTo = player.Position();
    EXPECT_NEAR(seekedTo, 6000, 100);
    const auto seeked = TClock::now();
    ExpectPositionNotAhead(player, seeked, seekedTo, 800);
    EXPECT_GE(player.Position(), seekedTo + 300);

    {
        Watchdog watchdog(30, "playing to the end");
        ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    }
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
    // From the seek on, the track plays on to its end: at least what was left of it, in real time.
    EXPECT_GE(MillisSince(seeked) + 100, player.Duration() - seekedTo);
    EXPECT_TRUE(shown.Messages().empty());

    // The last second the decoder made is the last second that reached the sink.
    const std::vector<int16_t> recorded = WithoutTrailingSilence(recording.Stop());
    const std::vector<int16_t> expected = WithoutTrailingSilence(decoded);
    ASSERT_GE(recorded.size(), 88200u);
    ASSERT_GE(expected.size(), 88200u);
    const std::vector<int16_t> tailRecorded(recorded.end() - 88200, recorded.end());
    const std::vector<int16_t> tailExpected(expected.end() - 88200, expected.end());
    EXPECT_TRUE(tailRecorded == tailExpected) << "the end of the track was not heard as decoded";
}

TEST_F(PulsePlayer, StopReturnsAtOnceAndTheNextPlayStartsFromTheBeginning) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(30));
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    player.Play();
    PumpFor(700);
    const auto stopping = TClock::now();
    {
        Watchdog watchdog(10, "Stop");
        player.Stop();
    }
    EXPECT_LT(MillisSince(stopping), 1000);
    EXPECT_EQ(player.Status(), mpsStopped);
    EXPECT_EQ(player.Position(), 0);
    const auto started = TClock::now();
    player.Play();
    ExpectPositionNotAhead(player, started, 0, 500);
    player.Stop();
}

} // namespace
