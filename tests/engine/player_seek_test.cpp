// Seeking: the target frame, the frame-position list the walk builds, seeks beyond the end, while paused,
// across garbage, and where seeking is not allowed.
#include "player_test_support.h"

namespace {

using namespace playertest;

// 44100 Hz stereo at 16 bits: 4608 PCM bytes per frame, 176400 bytes per second.
constexpr int64_t kBytesPerFrame = 4608;

int32_t FrameStartMs(int64_t frame) {
    return static_cast<int32_t>(frame * kBytesPerFrame * 8000 / (44100 * 2 * 16));
}

TEST(PlayerSeek, SeekWhilePlayingGoesToTheFrameAtOrAfterTheTimeAndRecordsTheFramesWalked) {
    TempDir dir;
    const Bytes bytes = RepeatedStream(20);
    const std::vector<FrameSpan> frames = FixedRateFrames(bytes, 0);
    ASSERT_GT(frames.size(), 100u);
    const std::string path = dir.Write("long.mp3", bytes);
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    EXPECT_EQ(player.FramePositions(), std::vector<int64_t>{0});
    player.Play();
    ASSERT_TRUE(PumpUntil([&] { return player.Position() > 0; }));

    // 1000 ms is 176400 PCM bytes: frame 38.3, so frame 39.
    player.Seek(1000);
    const int32_t after = player.Position();
    EXPECT_GE(after, FrameStartMs(39));
    EXPECT_LT(after, FrameStartMs(39) + 1000);
    const std::vector<int64_t> known = player.FramePositions();
    ASSERT_EQ(known.size(), 40u);
    for (size_t i = 0; i < known.size(); ++i) {
        EXPECT_EQ(known[i], static_cast<int32_t>(frames[i].Offset)) << "frame " << i;
    }
    EXPECT_EQ(player.Status(), mpsPlaying);

    // Back to the start: the known positions serve without a new walk.
    player.Seek(0);
    EXPECT_LT(player.Position(), 1000);
    EXPECT_EQ(player.FramePositions().size(), 40u);
    // Close to the end: the rest of the file is walked, and it plays to its end.
    player.Seek(FrameStartMs(static_cast<int64_t>(frames.size()) - 8));
    EXPECT_EQ(player.FramePositions().size(), frames.size() - 7);
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
}

TEST(PlayerSeek, SeekBeyondTheEndLandsOnTheLastWholeFrameAndPlaysItToTheEnd) {
    TempDir dir;
    Bytes bytes = RepeatedStream(10);
    const std::vector<FrameSpan> frames = FixedRateFrames(bytes, 0);
    // A cut-off frame at the end does not count.
    bytes.insert(bytes.end(), bytes.begin(), bytes.begin() + 200);
    const std::string path = dir.Write("long.mp3", bytes);
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    player.Play();
    player.Seek(100000000);
    EXPECT_GE(player.Position(), FrameStartMs(static_cast<int64_t>(frames.size()) - 1));
    const std::vector<int64_t> known = player.FramePositions();
    ASSERT_EQ(known.size(), frames.size());
    EXPECT_EQ(known.back(), static_cast<int32_t>(frames.back().Offset));
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
}

TEST(PlayerSeek, SeekWhilePausedStaysPausedAtTheNewPosition) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(20));
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    player.Play();
    player.Pause();
    player.Seek(2000);
    EXPECT_EQ(player.Status(), mpsPaused);
    // 2000 ms = 352800 bytes: frame 76.6, so frame 77.
    EXPECT_EQ(player.Position(), FrameStartMs(77));
    PumpFor(300);
    EXPECT_EQ(player.Position(), FrameStartMs(77)) << "the device played after a seek while paused";
    EXPECT_EQ(player.Status(), mpsPaused);
    EXPECT_TRUE(log.EndReasons.empty());

    player.Resume();
    ASSERT_TRUE(PumpUntil([&] { return player.Position() > FrameStartMs(77); }));
    player.Stop();
    PumpFor(50);
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprStopped});
}

TEST(PlayerSeek, TheWalkPassesOver4095GarbageBytesBetweenFramesButNot4096) {
    TempDir dir;
    const Bytes stream = RepeatedStream(4);
    const std::vector<FrameSpan> frames = FixedRateFrames(stream, 0);
    {
        const std::string path = dir.Write("g4095.mp3", WithGarbageAfterFrame10(stream, 4095));
        TMP3Player player;
        OpenQuietly(player, path);
        player.Play();
        player.Pause();
        player.Seek(100000000);
        const std::vector<int64_t> known = player.FramePositions();
        ASSERT_EQ(known.size(), frames.size());
        // The walk to frame 10 began where frame 9 ended, before the garbage.
        EXPECT_EQ(known[10], static_cast<int32_t>(frames[9].Offset + frames[9].Length));
        EXPECT_EQ(known[11], static_cast<int32_t>(frames[11].Offset + 4095));
        EXPECT_EQ(player.Position(), FrameStartMs(static_cast<int64_t>(frames.size()) - 1));
    }
    {
        const std::string path = dir.Write("g4096.mp3", WithGarbageAfterFrame10(stream, 4096));
        TMP3Player player;
        OpenQuietly(player, path);
        player.Play();
        player.Pause();
        player.Seek(100000000);
        EXPECT_EQ(player.FramePositions().size(), 10u);
        EXPECT_EQ(player.Position(), FrameStartMs(9));
    }
}

TEST(PlayerSeek, SeekIsIgnoredWhenStoppedOrNegative) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(10));
    TMP3Player player;
    OpenQuietly(player, path);
    player.Seek(1000);
    EXPECT_EQ(player.Status(), mpsStopped);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(player.FramePositions().size(), 1u);
    player.Play();
    player.Pause();
    player.Seek(1000);
    const int32_t at = player.Position();
    player.Seek(-1);
    EXPECT_EQ(player.Position(), at);
}

TEST(PlayerSeek, QuietSeekPlaysOnToTheEnd) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(10));
    TMP3Player player;
    EventLog log(player);
    player.SetNoisySeek(false);
    OpenQuietly(player, path);
    player.Play();
    player.Seek(2500);
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
}

} // namespace
