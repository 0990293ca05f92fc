// The player's state machine and its events on the null device: a natural end, stop, close, pause and
// resume, errors in the worker threads, the waits that must not hang, a new file while one plays, and two
// players that decode at the same time.
#include "player_test_support.h"

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <filesystem>

namespace {

using namespace playertest;

const std::string kShort = DataFile("l3-mpeg2-22k.mp3"); // 0.5 s

TEST(Player, NaturalEndReportsEndOfStreamKeepsTheFileAndCanPlayAgain) {
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, kShort);
    ASSERT_TRUE(player.IsOpen());
    PumpFor(0);
    log.Statuses.clear();

    player.Play();
    EXPECT_EQ(player.Status(), mpsPlaying);
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
    EXPECT_EQ(player.Status(), mpsStopped);
    EXPECT_TRUE(player.IsOpen());
    EXPECT_EQ(player.FileName(), kShort);
    EXPECT_EQ(player.Position(), 0);
    ASSERT_GE(log.Statuses.size(), 2u);
    EXPECT_EQ(log.Statuses.front(), mpsPlaying);
    EXPECT_EQ(log.Statuses.back(), mpsStopped);
    EXPECT_GE(log.Positions, 1);

    // Rewound to the data start: a second play ends the same way.
    player.Play();
    ASSERT_TRUE(PumpUntil([&] { return log.EndReasons.size() == 2; }));
    EXPECT_EQ(log.EndReasons.back(), meprEndOfStream);
    EXPECT_EQ(log.ForeignThreadEvents, 0) << "events must fire on the window thread";
}

TEST(Player, StopReportsStoppedOnceAndAStoppedPlayerIgnoresStop) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(20)); // 6 s
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    player.Play();
    ASSERT_TRUE(PumpUntil([&] { return player.Position() > 0; }));

    player.Stop();
    EXPECT_EQ(player.Status(), mpsStopped);
    EXPECT_EQ(player.Position(), 0);
    PumpFor(100);
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprStopped});
    EXPECT_EQ(log.Statuses.back(), mpsStopped);

    const size_t statuses = log.Statuses.size();
    player.Stop();
    PumpFor(100);
    EXPECT_EQ(log.EndReasons.size(), 1u);
    EXPECT_EQ(log.Statuses.size(), statuses);
}

TEST(Player, CloseWhilePlayingReportsStoppedAndLeavesNoFile) {
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, kShort);
    player.Play();
    player.Close();
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.FileName(), "");
    EXPECT_EQ(player.Status(), mpsStopped);
    EXPECT_EQ(player.Duration(), 0);
    EXPECT_EQ(player.SampleRate(), 0);
    PumpFor(100);
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprStopped});

    // With no file, the transport does nothing.
    player.Play();
    player.Pause();
    player.Seek(100);
    EXPECT_EQ(player.Status(), mpsStopped);
}

TEST(Player, PauseHoldsThePositionAndResumePlaysToTheEnd) {
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, kShort);
    player.Pause(); // not playing: nothing happens
    EXPECT_EQ(player.Status(), mpsStopped);
    player.Play();
    player.Pause();
    EXPECT_EQ(player.Status(), mpsPaused);
    const int32_t held = player.Position();
    PumpFor(300);
    EXPECT_EQ(player.Position(), held) << "the position moved while paused";
    EXPECT_TRUE(log.EndReasons.empty()) << "a paused player ended";
    EXPECT_EQ(log.Statuses.back(), mpsPaused);

    player.Resume();
    EXPECT_EQ(player.Status(), mpsPlaying);
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
}

TEST(Player, PauseAndSeekDoNothingWhileDecodingToAFile) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(10));
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    player.PlayToFile(dir.Path("out.wav"));
    EXPECT_EQ(player.WavOutputName(), dir.Path("out.wav"));
    player.Pause();
    EXPECT_EQ(player.Status(), mpsPlaying);
    player.Seek(0);
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    EXPECT_EQ(log.EndReasons.back(), meprEndOfStream);
    EXPECT_EQ(player.WavOutputName(), "");
    const Bytes wav = ReadBytes(dir.Path("out.wav"));
    // Every frame was written: the seek was ignored.
    EXPECT_EQ(wav.size(), 44u + FixedRateFrames(RepeatedStream(10), 0).size() * 4608u);
}

// A source whose bytes cannot be read past a point once it is armed, like a disk that fails.
class FailingStream : public TMPMemoryStream {
public:
    FailingStream(std::vector<uint8_t> bytes, int64_t failAt)
        : TMPMemoryStream(std::move(bytes)), FFailAt(failAt) {}
    int32_t Read(void* buffer, int32_t count) override {
        if (Armed.load() && Position() + count > FFailAt) {
            throw EMPError("read error on the test stream");
        }
        return TMPMemoryStream::Read(buffer, count);
    }
    std::atomic<bool> Armed{false};

private:
    int64_t FFailAt;
};

TEST(Player, AnErrorInTheDecodeThreadIsShownOnTheWindowThreadAndEndsWithError) {
    ShownErrors shown;
    TMP3Player player;
    EventLog log(player);
    player.SetAutoPlay(false);
    auto* stream = new FailingStream(RepeatedStream(30), 70000);
    player.OpenStream(stream, kStreamSeekable | kStreamOwned);
    ASSERT_TRUE(player.IsOpen());
    stream->Armed.store(true);
    player.Play();
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprError});
    EXPECT_EQ(player.Status(), mpsStopped);
    PumpFor(200);
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"read error on the test stream"});
    EXPECT_EQ(shown.ForeignThread(), 0) << "a worker showed its error itself";

    // The worker threads keep running: the next play works up to the same point.
    player.Play();
    ASSERT_TRUE(PumpUntil([&] { return log.EndReasons.size() == 2; }));
    EXPECT_EQ(log.EndReasons.back(), meprError);
}

// Lets WAV files grow only to a limit while it lives; writes beyond it fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &FPrevious);
        rlimit limited = FPrevious;
        limited.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &FPrevious);
        signal(SIGXFSZ, SIG_DFL);
    }

private:
    rlimit FPrevious{};
};

TEST(Player, AWriteErrorInTheOutputThreadIsShownOnceAndEndsWithError) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(20));
    ShownErrors shown;
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    {
        FileSizeLimit limit(100000);
        player.PlayToFile(dir.Path("full.wav"));
        ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    }
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprError});
    PumpFor(200);
    const std::vector<std::string> messages = shown.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Cannot write to file"), std::string::npos) << messages[0];
    // A cut file would look valid: it never takes the name.
    EXPECT_FALSE(std::filesystem::exists(dir.Path("full.wav")));
}

TEST(Player, StopWhileTheOutputThreadReportsAWriteErrorDoesNotHang) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(20));
    ShownErrors shown;
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    const std::string wavPath = dir.Path("full.wav");
    {
        FileSizeLimit limit(100000);
        player.PlayToFile(wavPath);
        // Without pumping: the output thread meets the error while the window thread is busy here.
        struct stat info {};
        for (int i = 0; i < 200 && (stat(wavPath.c_str(), &info) != 0 || info.st_size < 100000); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Watchdog watchdog(20, "Stop during an output error");
        player.Stop();
    }
    EXPECT_EQ(player.Status(), mpsStopped);
    PumpFor(200);
    EXPECT_EQ(shown.Messages().size(), 1u);
    ASSERT_EQ(log.EndReasons.size(), 1u);
}

TEST(Player, StopAndSeekWhilePausedAtTheEndOfTheDataDoNotHang) {
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, kShort);
    // The whole file fits into the first buffer: the decode thread reaches the end of the data at once
    // and waits for a device that is paused.
    player.Play();
    player.Pause();
    PumpFor(300);
    {
        Watchdog watchdog(20, "Seek while paused at the end");
        player.Seek(0);
    }
    EXPECT_EQ(player.Status(), mpsPaused);
    PumpFor(300);
    EXPECT_TRUE(log.EndReasons.empty()) << "a paused player ended";
    {
        Watchdog watchdog(20, "Stop while paused at the end");
        player.Stop();
    }
    EXPECT_EQ(player.Status(), mpsStopped);
    PumpFor(300);
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprStopped})
        << "the end of the data reached before the stop must not be reported";

    // Paused at the end, resumed: the end comes.
    player.Play();
    player.Pause();
    PumpFor(200);
    player.Resume();
    ASSERT_TRUE(PumpUntil([&] { return log.EndReasons.size() == 2; }));
    EXPECT_EQ(log.EndReasons.back(), meprEndOfStream);
}

TEST(Player, OpeningAFileWhileAnotherPlaysStopsTheFirstAndPlaysTheSecond) {
    TempDir dir;
    const std::string first = dir.Write("first.mp3", RepeatedStream(20));
    TMP3Player player;
    EventLog log(player);
    player.SetFileName(first); // AutoOpen and AutoPlay are on by default
    EXPECT_EQ(player.Status(), mpsPlaying);
    player.SetFileName(kShort);
    EXPECT_EQ(player.FileName(), kShort);
    EXPECT_EQ(player.Status(), mpsPlaying);
    EXPECT_EQ(player.SampleRate(), 22050);
    ASSERT_TRUE(PumpUntil([&] { return log.EndReasons.size() == 2; }));
    EXPECT_EQ(log.EndReasons, (std::vector<TMP3EndPlayReason>{meprStopped, meprEndOfStream}));
}

TEST(Player, ASecondPlayerOpeningFilesLeavesTheFirstPlayersOutputUnchanged) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(60));
    TMP3Player first;
    const Bytes alone = PlayToWav(first, path, dir.Path("alone.wav"));
    ASSERT_GT(alone.size(), 44u);

    TMP3Player second;
    second.SetAutoPlay(false);
    bool ended = false;
    first.OnEndPlay = [&ended](TMP3Player&, TMP3EndPlayReason) { ended = true; };
    first.PlayToFile(dir.Path("together.wav"));
    const std::vector<std::string> others = {DataFile("l2-mpeg1-44k.mp2"), DataFile("l3-mpeg25-11k.mp3"),
                                             DataFile("l3-mpeg1-32k-mono-crc.mp3"), DataFile("l3-id3v2.mp3")};
    int opened = 0;
    while (!ended && opened < 2000) {
        second.SetFileName(others[static_cast<size_t>(opened) % others.size()]);
        EXPECT_TRUE(second.IsOpen());
        second.Close();
        ++opened;
        ProcessMessages();
    }
    ASSERT_TRUE(PumpUntil([&] { return ended; }));
    EXPECT_GT(opened, 2) << "the second player hardly ran while the first decoded";
    EXPECT_TRUE(ReadBytes(dir.Path("together.wav")) == alone) << "the second player disturbed the first";
}

TEST(Player, TwoPlayersPlayAtOnce) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(4));
    TMP3Player a;
    TMP3Player b;
    EventLog logA(a);
    EventLog logB(b);
    a.SetFileName(path);
    b.SetFileName(kShort);
    ASSERT_TRUE(PumpUntil([&] { return !logA.EndReasons.empty() && !logB.EndReasons.empty(); }));
    EXPECT_EQ(logA.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
    EXPECT_EQ(logB.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
}

TEST(Player, ANonSeekableStreamIsClosedAtItsEnd) {
    const Bytes bytes = ReadBytes(kShort);
    TMPMemoryStream memory(bytes);
    TMP3Player player;
    EventLog log(player);
    player.SetAutoPlay(false);
    player.OpenStream(new TMPNonSeekableStream(memory), kStreamOwned);
    ASSERT_TRUE(player.IsOpen());
    EXPECT_FALSE(player.Seekable());
    EXPECT_EQ(player.DataLength(), TMP3Info::kUnknownLength);
    EXPECT_EQ(player.Duration(), 0) << "no length, no information frame: the playing time is not known";
    player.Play();
    ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
    EXPECT_FALSE(player.IsOpen());
}

TEST(Player, DestroyingAPlayingPlayerEndsItsThreads) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(20));
    bool reported = false;
    {
        Watchdog watchdog(20, "destroying a playing player");
        TMP3Player player;
        player.OnEndPlay = [&reported](TMP3Player&, TMP3EndPlayReason) { reported = true; };
        player.SetFileName(path);
        player.Pause();
        PumpFor(100);
    }
    PumpFor(50);
    EXPECT_FALSE(reported) << "no event may fire for a player that is gone";
}

} // namespace
