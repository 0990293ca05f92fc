// What the player hands the sound device for files with the encoder's delay and padding, recorded by the
// file device: exactly the source's samples, as mpg123 decodes them gapless; duration and position count
// heard samples; a seek to 0 lands on the first real sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "player_test_support.h"

namespace {

using namespace playertest;

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The 16-bit samples of a file from the byte offset on.
std::vector<int16_t> Samples(const std::string& path, size_t offset) {
    const Bytes bytes = ReadBytes(path);
    std::vector<int16_t> samples;
    for (size_t i = offset; i + 1 < bytes.size(); i += 2) {
        samples.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return samples;
}

// Of a raw PCM file, and of a WAV file written by the recording device (44-byte header).
std::vector<int16_t> RawSamples(const std::string& path) {
    return Samples(path, 0);
}
std::vector<int16_t> WavSamples(const std::string& path) {
    return Samples(path, 44);
}

// The same sound: as many samples, each within the accuracy the standard asks of a decoder (mpg123, the
// reference here, is gapless by default and rounds a little differently).
::testing::AssertionResult SameSound(const std::vector<int16_t>& heard,
                                     const std::vector<int16_t>& reference) {
    if (heard.size() != reference.size()) {
        return ::testing::AssertionFailure() << heard.size() << " samples, expected " << reference.size();
    }
    for (size_t i = 0; i < heard.size(); ++i) {
        if (std::abs(int(heard[i]) - int(reference[i])) > 2) {
            return ::testing::AssertionFailure()
                   << "sample " << i << ": " << heard[i] << ", expected " << reference[i];
        }
    }
    return ::testing::AssertionSuccess();
}

// The last n samples.
std::vector<int16_t> Tail(const std::vector<int16_t>& samples, size_t n) {
    return std::vector<int16_t>(samples.end() - long(std::min(n, samples.size())), samples.end());
}

// Records what the player plays in a file of its own for the life of the object.
class Recording {
public:
    explicit Recording(const std::string& path, bool paced = false) {
        const std::string setting = "file:" + path + (paced ? ":paced" : "");
        setenv("TUNELO_AUDIO", setting.c_str(), 1);
    }
    ~Recording() { setenv("TUNELO_AUDIO", "null", 1); }
};

// A lame file of exactly `samples` samples per channel of a sweep.
std::string LameFile(const TempDir& dir, const std::string& name, int rate, int channels, int64_t samples,
                     const std::string& options) {
    const std::string wav = dir.Path(name + ".wav");
    const std::string mp3 = dir.Path(name + ".mp3");
    EXPECT_EQ(Shell("sox -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -n -b 16 " +
                    wav + " synth " + std::to_string(samples) + "s sine 300-" + std::to_string(rate / 4) +
                    " vol 0.5 2>/dev/null"),
              0);
    EXPECT_EQ(Shell("lame --quiet --resample " + std::to_string(rate / 1000.0) + " " + options + " " + wav +
                    " " + mp3),
              0);
    return mp3;
}

struct TTrimCase {
    int Rate;
    int Channels;
    const char* Options;
};

class PlayerGaplessTrim : public ::testing::TestWithParam<TTrimCase> {};

TEST_P(PlayerGaplessTrim, PlaysExactlyTheSourcesSamplesAsTheGaplessDecodeHasThem) {
    const TTrimCase& c = GetParam();
    TempDir dir;
    const int64_t samples = c.Rate / 2 + 333;
    const std::string mp3 = LameFile(dir, "track", c.Rate, c.Channels, samples, c.Options);
    ASSERT_EQ(Shell("mpg123 -q -s " + mp3 + " > " + dir.Path("decoded.pcm")), 0);
    const std::vector<int16_t> decoded = RawSamples(dir.Path("decoded.pcm"));
    ASSERT_EQ(int64_t(decoded.size()), samples * c.Channels);

    const std::string recorded = dir.Path("heard.wav");
    {
        Recording recording(recorded);
        TMP3Player player;
        EventLog log(player);
        player.SetAutoPlay(false);
        player.SetFileName(mp3);
        EXPECT_EQ(player.ExactSamples(), samples);
        EXPECT_EQ(player.Duration(), samples * 1000 / c.Rate);
        player.Play();
        ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
        EXPECT_EQ(log.EndReasons[0], meprEndOfStream);
    }
    const std::vector<int16_t> heard = WavSamples(recorded);
    EXPECT_TRUE(SameSound(heard, decoded));
}

INSTANTIATE_TEST_SUITE_P(Encodings, PlayerGaplessTrim,
                         ::testing::Values(TTrimCase{44100, 2, "-b 128"}, TTrimCase{48000, 1, "-V 2 -m m"},
                                           TTrimCase{22050, 2, "-V 4"}, TTrimCase{8000, 1, "-b 32 -m m"}),
                         [](const auto& info) {
                             return "rate" + std::to_string(info.param.Rate) + "_" +
                                    std::to_string(info.index);
                         });

TEST(PlayerGapless, ASeekCountsHeardSamplesAndASeekToZeroLandsOnTheFirstRealSample) {
    TempDir dir;
    const int rate = 44100;
    const std::string mp3 = LameFile(dir, "track", rate, 2, rate * 2, "-b 128");
    ASSERT_EQ(Shell("mpg123 -q -s " + mp3 + " > " + dir.Path("decoded.pcm")), 0);
    const std::vector<int16_t> decoded = RawSamples(dir.Path("decoded.pcm"));
    const std::string recorded = dir.Path("heard.wav");
    {
        // Paced, so that the seeks come while the player is still playing.
        Recording recording(recorded, true);
        TMP3Player player;
        EventLog log(player);
        player.SetAutoPlay(false);
        // A fresh decoder after each seek: the samples after it are then those of a decode from the start.
        player.SetNoisySeek(false);
        player.SetFileName(mp3);
        player.Play();
        PumpFor(300);
        player.Pause();
        player.Seek(1500);
        EXPECT_EQ(player.Position(), 1500);
        player.Seek(0);
        EXPECT_EQ(player.Position(), 0);
        player.Resume();
        ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    }
    const std::vector<int16_t> heard = WavSamples(recorded);
    // Whatever played before the seek, the recording ends with the whole track from its first sample.
    ASSERT_GE(heard.size(), decoded.size());
    EXPECT_TRUE(SameSound(Tail(heard, decoded.size()), decoded));
}

} // namespace

namespace {

// A continuous signal cut by sox at points that are no frame boundaries into tracks, each encoded by lame
// and decoded gapless by mpg123; the album a listener should hear is those decodes end to end.
struct Album {
    std::vector<std::string> Files;
    std::vector<std::vector<int16_t>> Decoded;
    std::vector<int16_t> Joined() const {
        std::vector<int16_t> all;
        for (const auto& track : Decoded) {
            all.insert(all.end(), track.begin(), track.end());
        }
        return all;
    }
};

Album CutAlbum(const TempDir& dir, const std::vector<int64_t>& lengths, int rate = 44100) {
    int64_t total = 0;
    for (const int64_t length : lengths) {
        total += length;
    }
    const std::string whole = dir.Path("whole.wav");
    EXPECT_EQ(Shell("sox -r " + std::to_string(rate) + " -c 2 -n -b 16 " + whole + " synth " +
                    std::to_string(total) + "s sine 200-3000 sine 500 vol 0.4 2>/dev/null"),
              0);
    Album album;
    int64_t start = 0;
    for (size_t i = 0; i < lengths.size(); ++i) {
        const std::string name = "track" + std::to_string(i + 1);
        const std::string wav = dir.Path(name + ".wav");
        const std::string mp3 = dir.Path(name + ".mp3");
        EXPECT_EQ(Shell("sox " + whole + " " + wav + " trim " + std::to_string(start) + "s " +
                        std::to_string(lengths[i]) + "s"),
                  0);
        EXPECT_EQ(Shell(std::string("lame --quiet ") + (i % 2 == 0 ? "-b 160 " : "-V 3 ") + wav + " " + mp3),
                  0);
        EXPECT_EQ(Shell("mpg123 -q -s " + mp3 + " > " + dir.Path(name + ".pcm")), 0);
        album.Files.push_back(mp3);
        album.Decoded.push_back(RawSamples(dir.Path(name + ".pcm")));
        EXPECT_EQ(int64_t(album.Decoded.back().size()), lengths[i] * 2);
        start += lengths[i];
    }
    return album;
}

// Plays files one after another the way an album player does: each track change prepares the next.
struct AlbumRun {
    AlbumRun(TMP3Player& player, std::vector<std::string> files) : Player(player), Files(std::move(files)) {
        player.SetAutoPlay(false);
        player.OnTrackChange = [this](TMP3Player& sender) {
            ++Index;
            TrackChanges.push_back(sender.FileName());
            Durations.push_back(sender.Duration());
            PositionsAtChange.push_back(sender.Position());
            PrepareNext();
        };
        player.OnEndPlay = [this](TMP3Player&, TMP3EndPlayReason reason) { EndReasons.push_back(reason); };
        player.OnChangeStatus = [this](TMP3Player& sender) {
            PlayingReports += sender.Status() == mpsPlaying;
        };
    }
    void Start() {
        Player.SetFileName(Files[0]);
        PrepareNext();
        Player.Play();
    }
    void PrepareNext() {
        if (Index + 1 < Files.size()) {
            Player.SetNextFileName(Files[Index + 1]);
        }
    }
    TMP3Player& Player;
    std::vector<std::string> Files;
    size_t Index = 0;
    std::vector<std::string> TrackChanges;
    std::vector<int32_t> Durations;
    std::vector<int32_t> PositionsAtChange;
    std::vector<TMP3EndPlayReason> EndReasons;
    int PlayingReports = 0;
};

class PlayerGaplessAlbum : public ::testing::TestWithParam<bool> {};

TEST_P(PlayerGaplessAlbum, ThreeTracksCutFromOneSignalPlayAsThatSignalOnOneDevice) {
    const bool paced = GetParam();
    TempDir dir;
    // Lengths in samples that are no multiples of a frame. Paced, each track outlasts the output's lead of
    // two seconds, so that the next is prepared while the current one is still heard.
    const Album album =
        paced ? CutAlbum(dir, {110001, 100123, 90444}) : CutAlbum(dir, {100003, 77777, 123457});
    const std::string recorded = dir.Path("album.wav");
    {
        Recording recording(recorded, paced);
        TMP3Player player;
        AlbumRun run(player, album.Files);
        run.Start();
        EXPECT_EQ(player.NextFileName(), album.Files[1]);
        ASSERT_TRUE(PumpUntil([&] { return !run.EndReasons.empty(); }, 60));
        EXPECT_EQ(run.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
        // One play from the first sample to the last: never stopped and started again between tracks.
        EXPECT_EQ(run.PlayingReports, 1);
        EXPECT_EQ(run.TrackChanges, std::vector<std::string>(album.Files.begin() + 1, album.Files.end()));
        for (size_t i = 0; i < run.Durations.size(); ++i) {
            EXPECT_EQ(run.Durations[i], int32_t(album.Decoded[i + 1].size() / 2 * 1000 / 44100));
            // Counted from the new track's start, and never more than what played since its first sample.
            EXPECT_LE(run.PositionsAtChange[i], paced ? 600 : run.Durations[i]);
        }
        EXPECT_EQ(player.FileName(), album.Files.back());
    }
    const std::vector<int16_t> heard = WavSamples(recorded);
    const std::vector<int16_t> expected = album.Joined();
    EXPECT_TRUE(SameSound(heard, expected));
    // One device format all through: no second recording file was started.
    EXPECT_FALSE(std::ifstream(dir.Path("album-2.wav")).good());
}

INSTANTIATE_TEST_SUITE_P(Device, PlayerGaplessAlbum, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "paced" : "unpaced"; });

TEST(PlayerGaplessAlbum, RepeatOneLoopsTheTrackWithoutAGap) {
    TempDir dir;
    const Album album = CutAlbum(dir, {60001});
    const std::string recorded = dir.Path("loop.wav");
    {
        Recording recording(recorded);
        TMP3Player player;
        AlbumRun run(player, {album.Files[0], album.Files[0], album.Files[0]});
        run.Start();
        ASSERT_TRUE(PumpUntil([&] { return !run.EndReasons.empty(); }, 60));
        EXPECT_EQ(run.TrackChanges.size(), 2u);
    }
    std::vector<int16_t> expected;
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(), album.Decoded[0].begin(), album.Decoded[0].end());
    }
    EXPECT_TRUE(SameSound(WavSamples(recorded), expected));
}

TEST(PlayerGaplessAlbum, ANextTrackOfAnotherRateEndsThePlayAsUsualForTheDeviceToBeReopened) {
    TempDir dir;
    const Album first = CutAlbum(dir, {50001});
    TempDir other;
    const Album second = CutAlbum(other, {30011}, 22050);
    const std::string recorded = dir.Path("rates.wav");
    {
        Recording recording(recorded);
        TMP3Player player;
        AlbumRun run(player, {first.Files[0], second.Files[0]});
        run.Start();
        ASSERT_TRUE(PumpUntil([&] { return !run.EndReasons.empty(); }, 60));
        EXPECT_EQ(run.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
        EXPECT_TRUE(run.TrackChanges.empty());
        // The caller opens the next track by name, on a device of its format.
        player.SetFileName(second.Files[0]);
        EXPECT_EQ(player.SampleRate(), 22050);
        player.Play();
        ASSERT_TRUE(PumpUntil([&] { return run.EndReasons.size() == 2; }, 60));
    }
    EXPECT_TRUE(SameSound(WavSamples(recorded), first.Decoded[0]));
    EXPECT_TRUE(SameSound(WavSamples(dir.Path("rates-2.wav")), second.Decoded[0]));
}

TEST(PlayerGaplessAlbum, StopSeekAndCancelDropThePreparedTrack) {
    TempDir dir;
    // The first track outlasts the output's lead, so the decode thread cannot reach its end before the seek.
    const Album album = CutAlbum(dir, {150001, 40009});
    const std::string recorded = dir.Path("cancel.wav");
    {
        Recording recording(recorded, true);
        TMP3Player player;
        AlbumRun run(player, album.Files);
        run.Start();
        player.CancelNext();
        EXPECT_EQ(player.NextFileName(), "");
        // Stop drops it too.
        player.SetNextFileName(album.Files[1]);
        player.Stop();
        EXPECT_EQ(player.NextFileName(), "");
        // So does a seek (to the start, while paused), and writing a WAV file.
        player.SetNextFileName(album.Files[1]);
        player.PlayToFile(dir.Path("out.wav"));
        EXPECT_EQ(player.NextFileName(), "");
        player.Stop();
        player.Play();
        player.SetNextFileName(album.Files[1]);
        player.Pause();
        player.Seek(0);
        EXPECT_EQ(player.NextFileName(), "");
        player.Resume();
        ASSERT_TRUE(PumpUntil(
            [&] { return !run.EndReasons.empty() && run.EndReasons.back() == meprEndOfStream; }, 60));
        EXPECT_EQ(std::count(run.EndReasons.begin(), run.EndReasons.end(), meprEndOfStream), 1);
        EXPECT_TRUE(run.TrackChanges.empty());
        EXPECT_EQ(player.FileName(), album.Files[0]);
    }
    // The recording ends with the whole first track; nothing of the second follows it.
    const std::vector<int16_t> heard = WavSamples(recorded);
    ASSERT_GE(heard.size(), album.Decoded[0].size());
    EXPECT_TRUE(SameSound(Tail(heard, album.Decoded[0].size()), album.Decoded[0]));
}

TEST(PlayerGaplessAlbum, ANextFileThatCannotBePlayedEndsThePlayAsUsual) {
    TempDir dir;
    const Album album = CutAlbum(dir, {50001});
    EXPECT_THROW(
        {
            TMP3Player player;
            player.SetAutoPlay(false);
            player.SetFileName(album.Files[0]);
            player.Play();
            player.SetNextFileName(dir.Path("missing.mp3"));
        },
        std::exception);
    const std::string junk = dir.Write("junk.mp3", Garbage(5000));
    const std::string recorded = dir.Path("junk.wav");
    {
        Recording recording(recorded);
        TMP3Player player;
        AlbumRun run(player, {album.Files[0], junk});
        run.Start();
        ASSERT_TRUE(PumpUntil([&] { return !run.EndReasons.empty(); }, 60));
        EXPECT_EQ(run.EndReasons, std::vector<TMP3EndPlayReason>{meprEndOfStream});
        EXPECT_TRUE(run.TrackChanges.empty());
        // The caller opening it by name meets the usual error.
        EXPECT_THROW(player.SetFileName(junk), std::exception);
    }
    EXPECT_TRUE(SameSound(WavSamples(recorded), album.Decoded[0]));
}

} // namespace
