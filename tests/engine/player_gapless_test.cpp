// What the player hands the sound device for files with the encoder's delay and padding, recorded by the
// file device: exactly the source's samples, the same as the gapless decode; duration and position count
// heard samples; a seek to 0 lands on the first real sample.
#include <gtest/gtest.h>

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
    ASSERT_EQ(Shell(std::string(TUNELO_CLI) + " decode " + mp3 + " " + dir.Path("decoded.pcm")), 0);
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
    EXPECT_EQ(heard.size(), decoded.size());
    EXPECT_TRUE(heard == decoded);
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
    ASSERT_EQ(Shell(std::string(TUNELO_CLI) + " decode " + mp3 + " " + dir.Path("decoded.pcm")), 0);
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
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), heard.end() - long(decoded.size())));
}

} // namespace
