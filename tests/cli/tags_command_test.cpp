// The command line over files tagged by today's tools (made at test time): info with non-Latin text and
// legacy code pages, cover written byte for byte, and ReplayGain in the file decode.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "cli_run.h"
#include "pcm_compare.h"

namespace {

using namespace clitest;
using tunelo::test::ReadPcm;
using tunelo::test::RunCommand;

const std::string kScript = std::string(TUNELO_TEST_DATA) + "/../tags/make_tagged_files.py";

// Files of make_tagged_files.py plus a Japanese-titled lame file and a loud file whose peak is 1.0.
class TaggedFiles : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string d = Folder().Folder().string();
        const std::string commands =
            "sox -n -r 44100 -c 2 " + d + "/tone.wav synth 0.5 sine 440 vol 0.5 && lame --quiet -t " + d +
            "/tone.wav " + d + "/base.mp3 && /usr/bin/python3 " + kScript + " " + d + "/base.mp3 " + d +
            " && lame --quiet --tt '\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x9B\xB2' --ta "
            "'\xE6\xAD\x8C\xE6\x89\x8B' " +
            d + "/tone.wav " + d + "/lame-jp.mp3" + " && sox -n -r 44100 -c 2 " + d +
            "/loud.wav synth 0.5 sine 440 vol 0.99 && lame --quiet -t " + d + "/loud.wav " + d +
            "/loud.mp3 && /usr/bin/python3 -c \"from mutagen.id3 import ID3, TXXX; t = ID3(); "
            "t.add(TXXX(encoding=3, desc='REPLAYGAIN_TRACK_GAIN', text='0.00 dB')); "
            "t.add(TXXX(encoding=3, desc='REPLAYGAIN_TRACK_PEAK', text='1.000000')); t.save('" +
            d + "/loud.mp3')\"";
        Made() = RunCommand(commands + " >/dev/null 2>&1") == 0;
    }
    static TempDir& Folder() {
        static TempDir folder;
        return folder;
    }
    static bool& Made() {
        static bool made = false;
        return made;
    }
    static std::string File(const std::string& name) { return Folder().Path(name).string(); }

    void SetUp() override { ASSERT_TRUE(Made()) << "the test files could not be made"; }

    // Samples of a decode to raw PCM with the extra options.
    std::vector<int16_t> Decode(const std::string& name, const std::vector<std::string>& options) {
        const std::string out = File(name + std::to_string(++FDecodes) + ".raw");
        std::vector<std::string> arguments = {"decode"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(File(name));
        arguments.push_back(out);
        const CliResult run = RunCli(arguments);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        return ReadPcm(out);
    }

    int FDecodes = 0;
};

std::string Line(const std::string& output, const std::string& key) {
    const size_t start = output.find("\n" + key + ": ");
    if (start == std::string::npos) {
        return "<no " + key + " line>";
    }
    const size_t value = start + key.size() + 3;
    return output.substr(value, output.find('\n', value) - value);
}

double SumOfMagnitudes(const std::vector<int16_t>& samples) {
    double sum = 0;
    for (int16_t s : samples) {
        sum += std::abs(static_cast<int>(s));
    }
    return sum;
}

TEST_F(TaggedFiles, InfoShowsTheLameJapaneseTitleAndACyrillicID3V1TitleWithItsEncoding) {
    const CliResult lame = RunCli({"info", File("lame-jp.mp3")});
    ASSERT_EQ(lame.ExitCode, 0) << lame.Err;
    EXPECT_EQ(Line(lame.Out, "title"), "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x9B\xB2");
    EXPECT_EQ(Line(lame.Out, "artist"), "\xE6\xAD\x8C\xE6\x89\x8B");
    EXPECT_EQ(Line(lame.Out, "genre"), "");

    const CliResult cyrillic = RunCli({"info", "--encoding", "CP1251", File("v1-cp1251.mp3")});
    ASSERT_EQ(cyrillic.ExitCode, 0) << cyrillic.Err;
    EXPECT_EQ(Line(cyrillic.Out, "title"),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80");

    const CliResult unknown = RunCli({"info", "--encoding", "NO-SUCH-CODE-PAGE", File("v1-cp1251.mp3")});
    EXPECT_EQ(unknown.ExitCode, 2);
    EXPECT_NE(unknown.Err.find("NO-SUCH-CODE-PAGE"), std::string::npos);
}

TEST_F(TaggedFiles, InfoNamesTheNewerFields) {
    const CliResult run = RunCli({"info", File("v24-utf8.mp3"), File("ape-v1.mp3")});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const std::string id3 = run.Out.substr(0, run.Out.find("\n\n"));
    const std::string ape = run.Out.substr(run.Out.find("\n\n") + 1);
    EXPECT_EQ(Line(id3, "track"), "3");
    EXPECT_EQ(Line(id3, "track total"), "12");
    EXPECT_EQ(Line(id3, "disc"), "1");
    EXPECT_EQ(Line(id3, "disc total"), "2");
    EXPECT_EQ(Line(id3, "album artist"), "Album Artist");
    EXPECT_EQ(Line(id3, "composer"), "Composer");
    EXPECT_EQ(Line(id3, "picture"), "front cover, image/png, 781 bytes");
    EXPECT_EQ(Line(id3, "replaygain track"), "-6.02 dB, peak 0.500000");
    EXPECT_EQ(Line(id3, "replaygain album"), "none");
    EXPECT_EQ(Line(ape, "tags found"), "ID3v1, APE");
    EXPECT_EQ(Line(ape, "title"), "Ape Title \xC3\xB1") << "the APE tag wins over the ID3v1 one";
    EXPECT_EQ(Line(ape, "replaygain album"), "-1.25 dB, peak 0.000000");
}

TEST_F(TaggedFiles, CoverIsWrittenByteForByteFromEachContainer) {
    const Bytes picture = ReadBytes(File("picture.png"));
    for (const std::string name :
         {"v24-utf8.mp3", "v23-unsync.mp3", "v22.mp3", "v24-footer.mp3", "ape.mp3"}) {
        SCOPED_TRACE(name);
        const std::string out = File(name + ".png");
        const CliResult run = RunCli({"cover", File(name), out});
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_TRUE(ReadBytes(out) == picture);
    }
    const CliResult none = RunCli({"cover", File("v1.mp3"), File("none.png")});
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_NE(none.Err.find("v1.mp3"), std::string::npos) << none.Err;
    EXPECT_FALSE(fs::exists(File("none.png")));
}

TEST_F(TaggedFiles, TrackGainOfMinusSixDecibelsHalvesTheAmplitude) {
    const std::vector<int16_t> plain = Decode("v24-utf8.mp3", {});
    const std::vector<int16_t> gained = Decode("v24-utf8.mp3", {"--replaygain", "track"});
    ASSERT_EQ(gained.size(), plain.size());
    ASSERT_GT(SumOfMagnitudes(plain), 0);
    EXPECT_NEAR(SumOfMagnitudes(gained) / SumOfMagnitudes(plain), 0.5, 0.005);
    // Off, and a file without figures at the pre-amp level alone.
    EXPECT_TRUE(Decode("v24-utf8.mp3", {"--replaygain", "off"}) == plain);
    const std::vector<int16_t> v1Plain = Decode("v1.mp3", {});
    const std::vector<int16_t> v1Preamp = Decode("v1.mp3", {"--replaygain", "album", "--preamp", "-6.02"});
    EXPECT_NEAR(SumOfMagnitudes(v1Preamp) / SumOfMagnitudes(v1Plain), 0.5, 0.005);
}

TEST_F(TaggedFiles, ThePlayerAppliesTheGainAsTheFileDecodeDoes) {
    const fs::path plainFolder = Folder().Path("plain"), gainFolder = Folder().Path("gain");
    fs::create_directories(plainFolder);
    fs::create_directories(gainFolder);
    ASSERT_EQ(RunCli({"wav", plainFolder.string(), File("v24-utf8.mp3")}).ExitCode, 0);
    const CliResult run = RunCli({"wav", "--replaygain", "track", gainFolder.string(), File("v24-utf8.mp3")});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const std::vector<int16_t> plain = ReadPcm((plainFolder / "v24-utf8.wav").string());
    const std::vector<int16_t> gained = ReadPcm((gainFolder / "v24-utf8.wav").string());
    ASSERT_EQ(gained.size(), plain.size());
    ASSERT_GT(SumOfMagnitudes(plain), 0);
    // The 44-byte headers read as samples too; they are the same in both files.
    EXPECT_NEAR(SumOfMagnitudes(gained) / SumOfMagnitudes(plain), 0.5, 0.005);
}

TEST_F(TaggedFiles, AutomaticGainTakesTheAlbumFigureOnlyAmongTracksOfOneAlbum) {
    // Every file: track gain 0 dB, album gain -6.02 dB; two of album "Run" in a row, then one of "Solo".
    const fs::path folder = Folder().Path("auto");
    fs::create_directories(folder);
    const std::string d = folder.string();
    const std::string make =
        "/usr/bin/python3 -c \"import shutil, sys; from mutagen.id3 import ID3, TALB, TXXX\n"
        "for name, album in (('run-1', 'Run'), ('run-2', 'Run'), ('solo', 'Solo')):\n"
        "  path = sys.argv[2] + '/' + name + '.mp3'; shutil.copy(sys.argv[1], path); t = ID3()\n"
        "  t.add(TALB(encoding=3, text=album))\n"
        "  t.add(TXXX(encoding=3, desc='REPLAYGAIN_TRACK_GAIN', text='0.00 dB'))\n"
        "  t.add(TXXX(encoding=3, desc='REPLAYGAIN_ALBUM_GAIN', text='-6.02 dB')); t.save(path)\" " +
        File("base.mp3") + " " + d;
    ASSERT_EQ(RunCommand(make), 0);
    const CliResult run =
        RunCli({"wav", "--replaygain", "auto", d, d + "/run-1.mp3", d + "/run-2.mp3", d + "/solo.mp3"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const fs::path plainFolder = Folder().Path("auto-plain");
    fs::create_directories(plainFolder);
    ASSERT_EQ(RunCli({"wav", plainFolder.string(), File("base.mp3")}).ExitCode, 0);
    const double plain = SumOfMagnitudes(ReadPcm((plainFolder / "base.wav").string()));
    ASSERT_GT(plain, 0);
    for (const auto& [name, ratio] :
         {std::pair{"run-1", 0.5}, std::pair{"run-2", 0.5}, std::pair{"solo", 1.0}}) {
        EXPECT_NEAR(SumOfMagnitudes(ReadPcm(d + "/" + name + ".wav")) / plain, ratio, 0.005) << name;
    }
}

TEST_F(TaggedFiles, PreampOnAFileWhosePeakIsFullScaleClipsNoSample) {
    const std::vector<int16_t> plain = Decode("loud.mp3", {});
    const std::vector<int16_t> gained = Decode("loud.mp3", {"--replaygain", "track", "--preamp", "12"});
    ASSERT_EQ(gained.size(), plain.size());
    auto loudest = [](const std::vector<int16_t>& samples) {
        int most = 0;
        for (int16_t s : samples) {
            most = std::max(most, std::abs(static_cast<int>(s)));
        }
        return most;
    };
    ASSERT_GT(loudest(plain), 30000);
    EXPECT_LE(loudest(gained), loudest(plain)) << "the peak holds the gain at full scale";
    const CliResult bad = RunCli({"decode", "--replaygain", "loudest", File("loud.mp3"), File("x.raw")});
    EXPECT_EQ(bad.ExitCode, 2);
}

} // namespace
