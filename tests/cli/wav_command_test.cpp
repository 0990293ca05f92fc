// tunelo-cli wav: the player's WAV output against tunelo-cli decode of the same files, sample for sample
// and with exact header sizes; output names; albums; files that fail.
#include "cli_run.h"

namespace {

using namespace clitest;

uint32_t LE32(const Bytes& bytes, size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

uint16_t LE16(const Bytes& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// The header sizes must describe the file exactly.
void ExpectExactHeader(const Bytes& wav) {
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(LE32(wav, 4), wav.size() - 8);
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(LE32(wav, 16), 16u);
    EXPECT_EQ(LE16(wav, 20), 1u);
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    EXPECT_EQ(LE32(wav, 40), wav.size() - 44);
    const uint16_t channels = LE16(wav, 22);
    EXPECT_EQ(LE16(wav, 32), channels * 2);
    EXPECT_EQ(LE32(wav, 28), LE32(wav, 24) * channels * 2);
    EXPECT_EQ(LE16(wav, 34), 16u);
}

TEST(WavCommand, ThePlayersPcmEqualsDecodeSampleForSample) {
    const std::vector<std::string> names = {
        "l3-mpeg1-44k-vbr.mp3", "l3-mpeg1-32k-mono-crc.mp3", "l3-mpeg2-22k.mp3",
        "l3-mpeg25-11k.mp3",    "l3-mpeg1-freeformat.mp3",   "l3-id3v2.mp3",
        "l3-junk100.mp3",       "l3-garbage3000.mp3",        "l2-mpeg1-44k.mp2",
        "l2-mpeg2-22k.mp2",     "tags/riff-info.mp3",        "tags/macbinary.mp3",
        "tags/lyrics3v2.mp3",   "tags/id3v23-utf16.mp3"};
    TempDir dir;
    std::vector<std::string> arguments = {"wav", dir.Folder().string()};
    for (const std::string& name : names) {
        arguments.push_back(DataFile(name));
    }
    const CliResult run = RunCli(arguments);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const fs::path wavPath = dir.Path(fs::path(name).filename().replace_extension(".wav").string());
        const fs::path decodedPath = dir.Path("decoded.wav");
        const CliResult decode = RunCli({"decode", DataFile(name), decodedPath.string()});
        ASSERT_EQ(decode.ExitCode, 0) << decode.Err;
        const Bytes wav = ReadBytes(wavPath);
        const Bytes decoded = ReadBytes(decodedPath);
        ExpectExactHeader(wav);
        ASSERT_GT(wav.size(), 44u + 1000u);
        ASSERT_EQ(wav.size(), decoded.size());
        EXPECT_TRUE(std::equal(wav.begin(), wav.begin() + 44, decoded.begin())) << "headers differ";
        size_t firstDifference = wav.size();
        for (size_t i = 44; i < wav.size(); ++i) {
            if (wav[i] != decoded[i]) {
                firstDifference = i;
                break;
            }
        }
        EXPECT_EQ(firstDifference, wav.size()) << "PCM differs from byte " << firstDifference;
    }
}

TEST(WavCommand, OutputIsNamedAfterTheSourceWithTheWavExtension) {
    TempDir dir;
    const Bytes stream = RepeatedStream(1);
    WriteBytes(dir.Path("song.mp3"), stream);
    WriteBytes(dir.Path("two.dots.MP3"), stream);
    WriteBytes(dir.Path("plain"), stream);
    fs::create_directory(dir.Path("out"));
    const CliResult run = RunCli({"wav", dir.Path("out").string(), dir.Path("song.mp3").string(),
                                  dir.Path("two.dots.MP3").string(), dir.Path("plain").string()});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    for (const char* name : {"song.wav", "two.dots.wav", "plain.wav"}) {
        EXPECT_TRUE(fs::is_regular_file(dir.Path("out") / name)) << name;
    }
    EXPECT_NE(run.Out.find("song.mp3 -> "), std::string::npos) << run.Out;
}

TEST(WavCommand, AlbumLinesEndAtCrLfOrLineFeedAndAreFoundFromTheAlbumsFolder) {
    TempDir dir;
    const Bytes stream = RepeatedStream(1);
    fs::create_directories(dir.Path("music/sub"));
    WriteBytes(dir.Path("music/a.mp3"), stream);
    WriteBytes(dir.Path("music/sub/b.mp3"), stream);
    WriteBytes(dir.Path("music/c.mp3"), stream);
    WriteBytes(dir.Path("music/d.mp3"), stream);
    // Extended-M3U lines, a missing file and a blank line name no file; "sub\b.mp3" is a Windows path.
    WriteText(dir.Path("music/album.m3u"), "#EXTM3U\r\n#EXTINF:1,A\r\na.mp3\r\nsub\\b.mp3\nmissing.mp3\n\n" +
                                               dir.Path("music/c.mp3").string() + "\nd.mp3");
    fs::create_directory(dir.Path("out"));
    // Run from another folder: the entries are found through the album's folder.
    const CliResult run = RunCli({"wav", dir.Path("out").string(), "music/album.m3u"}, dir.Folder().string());
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(dir.Path("out"))) {
        written.push_back(entry.path().filename().string());
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"a.wav", "b.wav", "c.wav", "d.wav"}));
    // In album order.
    const size_t a = run.Out.find("a.mp3 ->");
    const size_t b = run.Out.find("b.mp3 ->");
    const size_t d = run.Out.find("d.mp3 ->");
    EXPECT_LT(a, b);
    EXPECT_LT(b, d);
    EXPECT_NE(d, std::string::npos);
}

TEST(WavCommand, AlbumsAreReadByTheJukeboxsRulesForMarksLoneCarriageReturnsAndCtrlZ) {
    TempDir dir;
    const Bytes stream = RepeatedStream(1);
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "after.mp3"}) {
        WriteBytes(dir.Path(name), stream);
    }
    // A byte-order mark before the first line, a line ended by a CR alone (old Macintosh files), and a
    // Ctrl-Z that ends the text: the jukebox loads a, b and c from this album, so the command line must too.
    WriteText(dir.Path("album.m3u"), "\xEF\xBB\xBF"
                                     "a.mp3\rb.mp3\r\nc.mp3\r\n\x1a"
                                     "after.mp3\r\n");
    fs::create_directory(dir.Path("out"));
    const CliResult run = RunCli({"wav", dir.Path("out").string(), dir.Path("album.m3u").string()});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(dir.Path("out"))) {
        written.push_back(entry.path().filename().string());
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"a.wav", "b.wav", "c.wav"}));
}

TEST(WavCommand, M3u8AndPlsAlbumsAreReadToo) {
    TempDir dir;
    const Bytes stream = RepeatedStream(1);
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
        WriteBytes(dir.Path(name), stream);
    }
    WriteText(dir.Path("one.m3u8"), "#EXTM3U\n#EXTINF:1,A\na.mp3\n");
    WriteText(dir.Path("two.pls"), "[playlist]\nFile2=c.mp3\nFile1=b.mp3\nFile3=http://radio.example/x\n"
                                   "NumberOfEntries=3\n");
    fs::create_directory(dir.Path("out"));
    const CliResult run = RunCli(
        {"wav", dir.Path("out").string(), dir.Path("one.m3u8").string(), dir.Path("two.pls").string()});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const size_t a = run.Out.find("a.mp3 ->");
    const size_t b = run.Out.find("b.mp3 ->");
    const size_t c = run.Out.find("c.mp3 ->");
    EXPECT_LT(a, b) << run.Out;
    EXPECT_LT(b, c) << "PLS entries in their numbers' order";
    EXPECT_NE(c, std::string::npos);
}

TEST(WavCommand, AFailingFileIsReportedAndTheOthersAreStillDecoded) {
    TempDir dir;
    WriteText(dir.Path("text.mp3"), "not audio");
    WriteBytes(dir.Path("good.mp3"), RepeatedStream(1));
    fs::create_directory(dir.Path("out"));
    const CliResult run = RunCli({"wav", dir.Path("out").string(), dir.Path("text.mp3").string(),
                                  dir.Path("missing.m3u").string(), dir.Path("good.mp3").string()});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("text.mp3: unknown MPEG Audio format."), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("File not found. (" + dir.Path("missing.m3u").string() + ")"), std::string::npos)
        << run.Err;
    EXPECT_TRUE(fs::is_regular_file(dir.Path("out/good.wav")));
    EXPECT_FALSE(fs::exists(dir.Path("out/text.wav")));
}

TEST(WavCommand, TheOutputFolderMustExist) {
    TempDir dir;
    const CliResult run = RunCli({"wav", dir.Path("nowhere").string(), DataFile("l3-mpeg2-22k.mp3")});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("not a folder"), std::string::npos) << run.Err;
}

} // namespace
