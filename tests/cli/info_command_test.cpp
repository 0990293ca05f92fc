// tunelo-cli info on files with each kind of tag and wrapper (tests/data/tags, written around the stream
// of l3-junk100.mp3), on VBR and plain streams, and on files that cannot be opened.
#include <sstream>

#include "cli_run.h"

namespace {

using namespace clitest;

using Block = std::map<std::string, std::string>;

// The "key: value" blocks of the output, separated by blank lines.
std::vector<Block> ParseBlocks(const std::string& text) {
    std::vector<Block> blocks(1);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) {
            blocks.emplace_back();
            continue;
        }
        const size_t colon = line.find(": ");
        if (colon == std::string::npos) {
            ADD_FAILURE() << "not a key: value line: " << line;
            continue;
        }
        blocks.back()[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return blocks;
}

std::string Tag(const std::string& name) {
    return DataFile("tags/" + name);
}

const std::vector<std::string> kKeys = {
    "path",          "layer",      "version",     "sample rate", "channels", "bit rate",
    "duration (ms)", "data start", "data length", "tags found",  "title",    "artist",
    "album",         "year",       "comment",     "genre",       "track"};

TEST(InfoCommand, ReportsStreamAndTagsOfEachTaggedFile) {
    const std::vector<std::string> files = {Tag("id3v11.mp3"),       Tag("id3v23-latin1.mp3"),
                                            Tag("id3v23-utf16.mp3"), Tag("riff-info.mp3"),
                                            Tag("macbinary.mp3"),    Tag("lyrics3v2.mp3")};
    const CliResult run = RunCli({"info", files[0], files[1], files[2], files[3], files[4], files[5]});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const std::vector<Block> blocks = ParseBlocks(run.Out);
    ASSERT_EQ(blocks.size(), files.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
        SCOPED_TRACE(files[i]);
        for (const std::string& key : kKeys) {
            EXPECT_TRUE(blocks[i].count(key)) << "missing " << key;
        }
        EXPECT_EQ(blocks[i].at("path"), files[i]);
        // The same stream in every file.
        EXPECT_EQ(blocks[i].at("layer"), "3");
        EXPECT_EQ(blocks[i].at("version"), "MPEG-1");
        EXPECT_EQ(blocks[i].at("sample rate"), "44100");
        EXPECT_EQ(blocks[i].at("channels"), "2");
        EXPECT_EQ(blocks[i].at("bit rate"), "128000");
    }

    const Block& v11 = blocks[0];
    EXPECT_EQ(v11.at("tags found"), "ID3v1");
    EXPECT_EQ(v11.at("title"), "Café Song");
    EXPECT_EQ(v11.at("track"), "5");
    EXPECT_EQ(v11.at("genre"), "Rock");
    EXPECT_EQ(v11.at("data start"), "0");
    EXPECT_EQ(v11.at("data length"), "5561");  // the trailing tag stays counted
    EXPECT_EQ(v11.at("duration (ms)"), "347"); // 5561 bytes at 128 kbit/s

    const Block& latin1 = blocks[1];
    EXPECT_EQ(latin1.at("tags found"), "ID3v2");
    EXPECT_EQ(latin1.at("title"), "Naïve Title");
    EXPECT_EQ(latin1.at("comment"), "Comment café");
    EXPECT_EQ(latin1.at("genre"), "Pop");
    EXPECT_EQ(latin1.at("data start"), "203");
    EXPECT_EQ(latin1.at("data length"), "5433");
    EXPECT_EQ(latin1.at("duration (ms)"), "339");
    EXPECT_EQ(latin1.at("track"), "");

    const Block& utf16 = blocks[2];
    EXPECT_EQ(utf16.at("tags found"), "ID3v2");
    EXPECT_EQ(utf16.at("title"), "Grüße 日本");
    EXPECT_EQ(utf16.at("artist"), "Åsa Big-Endian");
    EXPECT_EQ(utf16.at("genre"), "Goa Trance");

    const Block& riff = blocks[3];
    EXPECT_EQ(riff.at("tags found"), "RIFF");
    EXPECT_EQ(riff.at("title"), "RIFF Title");
    EXPECT_EQ(riff.at("artist"), "RIFF Artist");
    EXPECT_EQ(riff.at("album"), "RIFF Album");
    EXPECT_EQ(riff.at("year"), "1999");
    EXPECT_EQ(riff.at("comment"), "RIFF comment");
    EXPECT_EQ(riff.at("data length"), "5433"); // the data chunk, not the INFO list behind it

    const Block& mac = blocks[4];
    EXPECT_EQ(mac.at("tags found"), "ID3v1, MacBinary");
    EXPECT_EQ(mac.at("title"), "MacBinary Title");
    EXPECT_EQ(mac.at("track"), "1");
    EXPECT_EQ(mac.at("data start"), "128");

    const Block& lyrics = blocks[5];
    EXPECT_EQ(lyrics.at("tags found"), "ID3v1, Lyrics3");
    EXPECT_EQ(lyrics.at("genre"), "") << "ID3v1 genre 255 is no genre";
    EXPECT_EQ(lyrics.at("track"), "9");
}

TEST(InfoCommand, VbrAndPlainStreamsAndTheFileNameAsTitle) {
    const CliResult run = RunCli({"info", DataFile("l3-mpeg1-44k-vbr.mp3"), DataFile("l3-mpeg25-11k.mp3"),
                                  DataFile("l2-mpeg2-22k.mp2"), DataFile("l3-junk100.mp3")});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const std::vector<Block> blocks = ParseBlocks(run.Out);
    ASSERT_EQ(blocks.size(), 4u);
    // Xing: 21 audio frames after the information frame; lame's tag makes them exactly the 0.5 s it was
    // given; no bit rate.
    EXPECT_EQ(blocks[0].at("bit rate"), "0");
    EXPECT_EQ(blocks[0].at("duration (ms)"), "500");
    EXPECT_EQ(blocks[0].at("samples"), "22050");
    EXPECT_EQ(blocks[1].at("samples"), "unknown");
    EXPECT_EQ(blocks[0].at("data start"), "417");
    EXPECT_EQ(blocks[0].at("data length"), "7044");
    EXPECT_EQ(blocks[0].at("tags found"), "none");
    EXPECT_EQ(blocks[0].at("title"), "l3-mpeg1-44k-vbr.mp3");
    EXPECT_EQ(blocks[1].at("version"), "MPEG-2.5");
    EXPECT_EQ(blocks[1].at("sample rate"), "11025");
    EXPECT_EQ(blocks[1].at("channels"), "1");
    EXPECT_EQ(blocks[2].at("layer"), "2");
    EXPECT_EQ(blocks[2].at("version"), "MPEG-2");
    EXPECT_EQ(blocks[2].at("bit rate"), "64000");
    EXPECT_EQ(blocks[3].at("data start"), "100");
}

TEST(InfoCommand, AFileThatCannotBeOpenedGetsAnErrorInItsBlockAndExitStatus1) {
    TempDir dir;
    WriteText(dir.Path("text.mp3"), "not audio\n");
    const std::string missing = dir.Path("missing.mp3").string();
    const std::string text = dir.Path("text.mp3").string();
    const CliResult run = RunCli({"info", missing, DataFile("l3-mpeg2-22k.mp3"), text});
    EXPECT_EQ(run.ExitCode, 1);
    const std::vector<Block> blocks = ParseBlocks(run.Out);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].at("path"), missing);
    EXPECT_NE(blocks[0].at("error").find("No such file"), std::string::npos);
    EXPECT_EQ(blocks[0].size(), 2u);
    EXPECT_EQ(blocks[1].at("sample rate"), "22050");
    EXPECT_EQ(blocks[2].at("error"), "unknown MPEG Audio format.");
}

TEST(InfoCommand, WithoutFilesItPrintsUsage) {
    const CliResult run = RunCli({"info"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_NE(run.Err.find("usage: tunelo-cli info [--encoding NAME] FILE..."), std::string::npos);
}

} // namespace
