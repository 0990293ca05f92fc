// Files that cannot be read or are not what they claim: through tunelo-cli decode, frames and info, and
// straight through the tag reader and the settings file. Each gets a clear message or its documented
// result, never a crash, a hang or a leak (the sanitizer build runs the same tests).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "MP3Plyr.h"
#include "cli_run.h"
#include "ini_file.h"
#include "pcm_compare.h"

using namespace tunelo;
using namespace tunelo::test;
using clitest::ReadBytes;
using clitest::ReadText;
using clitest::WriteBytes;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const std::string kCli = TUNELO_CLI;
const std::string kData = TUNELO_TEST_DATA;
const std::string kUnknown = "unknown MPEG Audio format.";

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes Text(const std::string& text) {
    return {text.begin(), text.end()};
}

Bytes LittleEndian(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes BigEndian(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

Bytes SyncSafe(uint32_t v) {
    return {uint8_t((v >> 21) & 0x7F), uint8_t((v >> 14) & 0x7F), uint8_t((v >> 7) & 0x7F),
            uint8_t(v & 0x7F)};
}

Bytes Fixed(const std::string& text, size_t size) {
    Bytes bytes(size, 0);
    std::copy_n(text.begin(), std::min(size, text.size()), bytes.begin());
    return bytes;
}

// 0.3 s of MPEG-1 Layer III at 128 kbit/s, 44100 Hz stereo, without any tag or information frame.
Bytes Audio() {
    const Bytes file = ReadBytes(kData + "/l3-junk100.mp3");
    return Bytes(file.begin() + 100, file.end());
}

Bytes Id3v2Frame(const std::string& id, const Bytes& content) {
    return Cat({Text(id), BigEndian(static_cast<uint32_t>(content.size())), Bytes(2, 0), content});
}

Bytes Id3v2(const Bytes& body, uint32_t statedSize) {
    return Cat({Text("ID3"), Bytes{3, 0, 0}, SyncSafe(statedSize), body});
}

Bytes TitleFrame() {
    return Id3v2Frame("TIT2", Cat({Bytes{0}, Text("Tagged title")}));
}

Bytes Id3v1() {
    return Cat({Text("TAG"), Fixed("V1 title", 30), Fixed("V1 artist", 30), Fixed("V1 album", 30),
                Text("1999"), Fixed("comment", 28), Bytes{0, 5, 17}});
}

// A Lyrics3 v2 block: fields, the 6-digit size and the end mark; the size as given.
Bytes Lyrics3v2(const Bytes& fields, const std::string& size) {
    return Cat({Text("LYRICSBEGIN"), fields, Text(size), Text("LYRICS200")});
}

Bytes Riff(const Bytes& chunks) {
    // The stated RIFF size is not checked; it is kept free of bytes that look like a frame header.
    return Cat({Text("RIFF"), LittleEndian(0x01000000), Text("WAVE"), chunks});
}

// A chunk padded to an even length, as RIFF lays chunks out.
Bytes Chunk(const std::string& id, uint32_t statedSize, const Bytes& content) {
    return Cat({Text(id), LittleEndian(statedSize), content, Bytes(content.size() % 2, 0)});
}

struct TRun {
    int Code;
    std::string Out;
    std::string Err;
};

class BadInputTest : public ::testing::Test {
protected:
    std::string Put(const std::string& name, const Bytes& bytes) const {
        const std::string path = FDir.File(name);
        WriteBytes(path, bytes);
        return path;
    }

    TRun Cli(const std::string& arguments) const {
        const std::string out = FDir.File("cli.out");
        const std::string err = FDir.File("cli.err");
        const int code =
            RunCommand("TUNELO_AUDIO=null '" + kCli + "' " + arguments + " >'" + out + "' 2>'" + err + "'");
        return {code, ReadText(out), ReadText(err)};
    }

    TRun Decode(const std::string& in, const std::string& out) const {
        return Cli("decode '" + in + "' '" + out + "'");
    }
    TRun Info(const std::string& path) const { return Cli("info '" + path + "'"); }
    TRun Frames(const std::string& path) const { return Cli("frames '" + path + "'"); }

    // What info reports under a key ("key: value" lines); empty when the key is missing.
    static std::string InfoField(const TRun& run, const std::string& key) {
        std::istringstream lines(run.Out);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(key + ": ", 0) == 0) {
                return line.substr(key.size() + 2);
            }
        }
        return {};
    }

    // A stream that the file's decode and the player both take: decoding writes a WAV with data.
    void ExpectPlayable(const std::string& path, const std::string& dataStart) const {
        const TRun info = Info(path);
        EXPECT_EQ(info.Code, 0) << path << "\n" << info.Out;
        EXPECT_EQ(InfoField(info, "layer"), "3") << path;
        EXPECT_EQ(InfoField(info, "data start"), dataStart) << path;
        const std::string wav = FDir.File("out.wav");
        const TRun decode = Decode(path, wav);
        EXPECT_EQ(decode.Code, 0) << path << ": " << decode.Err;
        EXPECT_GT(fs::file_size(wav), 44u) << path;
        fs::remove(wav);
    }

    // Refused by both with the format message, and no output file is left.
    void ExpectNotMpegAudio(const std::string& path) const {
        const std::string wav = FDir.File("refused.wav");
        const TRun decode = Decode(path, wav);
        EXPECT_EQ(decode.Code, 1) << path;
        EXPECT_EQ(decode.Err, path + ": " + kUnknown + "\n");
        EXPECT_FALSE(fs::exists(wav)) << path;
        const TRun info = Info(path);
        EXPECT_EQ(info.Code, 1) << path;
        EXPECT_EQ(InfoField(info, "error"), kUnknown) << path;
    }

    TScratchDir FDir;
};

struct TTagScan {
    TMP3InfoType Found;
    int64_t DataStart;
    int64_t DataLength;
    std::string Title;
};

// The tag reader over a file, as the player runs it.
TTagScan ScanTags(const std::string& path) {
    TMPFileStream file(path);
    TMPStreamReader reader(TMP3Player::kReaderCapacity);
    reader.Open(&file, true);
    TMP3Info info;
    info.Attach(&reader);
    info.ReadHead();
    info.ReadTail();
    return {info.FoundInfoTypes(), info.DataStart(), info.DataLength(), info.Title()};
}

TEST_F(BadInputTest, FilesThatCannotBeReadAreNamedWithTheReason) {
    const std::string missing = FDir.File("missing.mp3");
    const std::string folder = FDir.File("folder.mp3");
    fs::create_directory(folder);
    struct TCase {
        std::string Path;
        std::string Reason;
    };
    std::vector<TCase> cases = {{missing, "No such file or directory"},
                                {folder, "Is a directory"},
                                // Opens, but every read fails: the process's own memory at address 0.
                                {"/proc/self/mem", "Input/output error"}};
    if (geteuid() != 0) { // root reads files whatever their permissions
        const std::string locked = Put("locked.mp3", Audio());
        chmod(locked.c_str(), 0);
        cases.push_back({locked, "Permission denied"});
    }
    for (const TCase& c : cases) {
        const std::string wav = FDir.File("out.wav");
        const TRun decode = Decode(c.Path, wav);
        EXPECT_EQ(decode.Code, 1) << c.Path;
        EXPECT_NE(decode.Err.find("\"" + c.Path + "\""), std::string::npos) << decode.Err;
        EXPECT_NE(decode.Err.find(c.Reason), std::string::npos) << decode.Err;
        EXPECT_EQ(std::count(decode.Err.begin(), decode.Err.end(), '\n'), 1) << decode.Err;
        EXPECT_FALSE(fs::exists(wav)) << c.Path;

        const TRun frames = Frames(c.Path);
        EXPECT_EQ(frames.Code, 1) << c.Path;
        EXPECT_NE(frames.Err.find("\"" + c.Path + "\""), std::string::npos) << frames.Err;
        EXPECT_NE(frames.Err.find(c.Reason), std::string::npos) << frames.Err;

        const TRun info = Info(c.Path);
        EXPECT_EQ(info.Code, 1) << c.Path;
        const std::string error = InfoField(info, "error");
        EXPECT_NE(error.find("\"" + c.Path + "\""), std::string::npos) << info.Out;
        EXPECT_NE(error.find(c.Reason), std::string::npos) << info.Out;
    }
}

TEST_F(BadInputTest, EmptyAndOneByteFilesAreNotMpegAudio) {
    for (const Bytes& bytes : {Bytes{}, Bytes{0xFF}, Bytes{0xFF, 0xFB}, Bytes{0xFF, 0xFB, 0x90}}) {
        const std::string path = Put("short" + std::to_string(bytes.size()) + ".mp3", bytes);
        ExpectNotMpegAudio(path);
        const TRun frames = Frames(path);
        EXPECT_EQ(frames.Code, 0);
        EXPECT_EQ(frames.Out, "frames 0\n");
    }
}

TEST_F(BadInputTest, AFirstFrameCutOffByTheEndOfTheFileIsRefusedByPlayerAndFileDecodeAlike) {
    // A bare header, and a Xing information frame that stops after its tag.
    const Bytes header{0xFF, 0xFB, 0x90, 0x44};
    for (const Bytes& bytes : {header, Cat({header, Bytes(32, 0), Text("Xing"), Bytes(20, 0)})}) {
        const std::string path = Put("cut.mp3", bytes);
        // The player needs the whole first frame to open a stream; an empty WAV would pass for success.
        ExpectNotMpegAudio(path);
        EXPECT_EQ(Frames(path).Out, "frames 0\n");
    }
}

TEST_F(BadInputTest, FilesOfNothingButTagsAreNotMpegAudioButTheirTagsAreRead) {
    const Bytes id3v2 = Id3v2(TitleFrame(), static_cast<uint32_t>(TitleFrame().size()));
    const Bytes lyrics = Lyrics3v2(Text("LYR00005hello"), "000024");
    const std::string both = Put("tags.mp3", Cat({id3v2, Id3v1()}));
    const std::string withLyrics = Put("lyrics.mp3", Cat({id3v2, lyrics, Id3v1()}));
    const std::string riff = Put("empty.wav", Riff(Chunk("data", 0, {})));

    for (const std::string& path : {both, withLyrics, riff}) {
        ExpectNotMpegAudio(path);
    }
    const TTagScan tags = ScanTags(both);
    EXPECT_TRUE(tags.Found.Has(mitID3V2) && tags.Found.Has(mitID3V1));
    EXPECT_EQ(tags.Title, "Tagged title");
    EXPECT_EQ(tags.DataStart, static_cast<int32_t>(id3v2.size()));
    EXPECT_EQ(tags.DataLength, 128) << "the ID3v1 tag stays counted in the data";
    EXPECT_TRUE(ScanTags(withLyrics).Found.Has(mitLyrics));
    EXPECT_FALSE(ScanTags(riff).Found.Has(mitRiff)) << "a data chunk of size 0 is no wrapper";
}

TEST_F(BadInputTest, TagSizesPointingOutsideTheFileCountAsNoTag) {
    const Bytes audio = Audio();
    const Bytes title = TitleFrame();

    // An ID3v2 tag stating 256 MiB: the audio would begin beyond the end of the file, so there is none to
    // the player and the file decode alike, as to mpg123; the tag reader takes no tag.
    const std::string bigTag = Put("big-tag.mp3", Cat({Id3v2(title, 0x0FFFFFFF), audio}));
    EXPECT_FALSE(ScanTags(bigTag).Found.Has(mitID3V2));
    ExpectNotMpegAudio(bigTag);

    // A frame inside a well-sized tag stating close to 2 GiB.
    const Bytes bigFrame = Cat({Text("TIT2"), BigEndian(0x7F000000), Bytes(2, 0), Bytes{0, 'x'}});
    const std::string hugeFrame = Put("huge-frame.mp3", Cat({Id3v2(bigFrame, bigFrame.size()), audio}));
    EXPECT_FALSE(ScanTags(hugeFrame).Found.Has(mitID3V2));
    ExpectPlayable(hugeFrame, std::to_string(10 + bigFrame.size()));

    // Lyrics3 v2 sizes beyond the file's start (block and field), and a v1 end mark without a beginning.
    const Bytes fields = Text("LYR99999hello");
    for (const Bytes& block : {Lyrics3v2(fields, "999999"), Lyrics3v2(fields, "000024"),
                               Cat({Text("no beginning"), Text("LYRICSEND")})}) {
        const Bytes file = Cat({audio, block, Id3v1()});
        const std::string path = Put("lyrics.mp3", file);
        const TTagScan tags = ScanTags(path);
        EXPECT_FALSE(tags.Found.Has(mitLyrics));
        EXPECT_TRUE(tags.Found.Has(mitID3V1));
        EXPECT_EQ(tags.DataLength, static_cast<int32_t>(file.size()));
        ExpectPlayable(path, "0");
    }

    // MacBinary fork lengths of 2 GiB: the data is what the file holds behind the header.
    Bytes mac(128, 0);
    mac[1] = 5;
    std::copy_n("a.mp3", 5, mac.begin() + 2);
    for (size_t at : {83u, 87u}) {
        const Bytes size = BigEndian(0x7FFFFFFF);
        std::copy(size.begin(), size.end(), mac.begin() + static_cast<long>(at));
    }
    const std::string macPath = Put("mac.mp3", Cat({mac, audio}));
    const TTagScan macTags = ScanTags(macPath);
    EXPECT_TRUE(macTags.Found.Has(mitMacBin));
    EXPECT_EQ(macTags.DataStart, 128);
    EXPECT_EQ(macTags.DataLength, static_cast<int32_t>(audio.size()));
    EXPECT_EQ(InfoField(Info(macPath), "data length"), std::to_string(audio.size()));
}

TEST_F(BadInputTest, RiffChunkSizesNearTwoToTheThirtyOne) {
    const Bytes audio = Audio();
    // A chunk before the data chunk stating 2^31 - 1, 2^31 - 9 (even-up overflows 32 bits), 2^31
    // (negative) or 0x7F7FFF7F bytes: the walk ends without a wrapper, and the player finds the audio by
    // its confirmed first frame behind the headers (the first two sizes carry bytes that look like a
    // frame header themselves, but no frame of theirs is followed by another), as mpg123 does.
    struct TCase {
        uint32_t Size;
        bool Playable;
    };
    for (const TCase& c : {TCase{0x7FFFFFFF, true}, TCase{0x7FFFFFF7, true}, TCase{0x80000000, true},
                           TCase{0x7F7FFF7F, true}}) {
        const Bytes file = Riff(Cat({Chunk("fmt ", c.Size, Bytes(16, 0)),
                                     Chunk("data", static_cast<uint32_t>(audio.size()), audio)}));
        const std::string path = Put("chunk.wav", file);
        const TTagScan tags = ScanTags(path);
        EXPECT_FALSE(tags.Found.Has(mitRiff)) << std::hex << c.Size;
        EXPECT_EQ(tags.DataStart, 0);
        if (c.Playable) {
            ExpectPlayable(path, "44");
        } else {
            ExpectNotMpegAudio(path);
        }
    }

    // A data chunk stating 2^31 - 1 bytes: the data runs to the end of the file.
    const Bytes dataFile = Riff(Chunk("data", 0x7FFFFFFF, audio));
    const std::string bigData = Put("data.wav", dataFile);
    const int32_t rest = static_cast<int32_t>(dataFile.size()) - 20;
    const TTagScan data = ScanTags(bigData);
    EXPECT_TRUE(data.Found.Has(mitRiff));
    EXPECT_EQ(data.DataStart, 20);
    EXPECT_EQ(data.DataLength, rest);
    const TRun info = Info(bigData);
    EXPECT_EQ(InfoField(info, "data length"), std::to_string(rest));
    EXPECT_EQ(InfoField(info, "duration (ms)"), std::to_string(rest * 8 / 128));

    // An INFO list, and an entry in it, stating close to 2 GiB: the entries before it are kept.
    const Bytes entries =
        Cat({Chunk("INAM", 6, Text(std::string("Named\0", 6))), Chunk("IART", 0x7F7FFF7F, Text("x"))});
    const Bytes list = Chunk("LIST", 0x7F7FFF7F, Cat({Text("INFO"), entries}));
    const std::string listPath =
        Put("list.wav", Riff(Cat({Chunk("data", static_cast<uint32_t>(audio.size()), audio), list})));
    const TTagScan listTags = ScanTags(listPath);
    EXPECT_EQ(listTags.Title, "Named");
    EXPECT_EQ(listTags.DataLength, static_cast<int32_t>(audio.size()));
    ExpectPlayable(listPath, "20");
}

TEST_F(BadInputTest, AlbumLinesOfAHundredThousandCharactersNameNoFile) {
    Put("song.mp3", Audio());
    const std::string out = FDir.File("out");
    fs::create_directory(out);
    const std::string album = FDir.File("list.m3u");
    WriteBytes(album, Text(std::string(100000, 'a') + "\r\n" + std::string(100000, '/') + "\nsong.mp3\r\n" +
                           std::string(100000, '\\') + "\n" + std::string(100000, '.')));
    const TRun run = Cli("wav '" + out + "' '" + album + "'");
    EXPECT_EQ(run.Code, 0) << run.Err;
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(out)) {
        written.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(written, std::vector<std::string>{"song.wav"});

    const std::string missing = FDir.File("missing.m3u");
    const TRun none = Cli("wav '" + out + "' '" + missing + "'");
    EXPECT_EQ(none.Code, 1);
    EXPECT_EQ(none.Err, "error: File not found. (" + missing + ")\n");
}

TEST_F(BadInputTest, SettingsFilesThatAreFoldersHugeOrBinaryGiveTheDefaults) {
    // A folder where the settings file should be: nothing to read, and writing fails without leftovers.
    const std::string folder = FDir.File("TUNELO.ini");
    fs::create_directory(folder);
    TMPIniFile inFolder(folder);
    EXPECT_EQ(inFolder.ReadInteger("Position", "Left", 17), 17);
    EXPECT_TRUE(inFolder.ReadSections().empty());
    EXPECT_FALSE(inFolder.WriteInteger("Position", "Left", 5));
    EXPECT_TRUE(fs::is_directory(folder));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(FDir.File(""))) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u) << "no temporary file is left behind";

    // A line of 100 000 characters, zero bytes, values out of range and a file with no line end.
    const std::string longValue(100000, '7');
    const std::string path = FDir.File("hostile.ini");
    WriteBytes(path, Text("[Position]\nLeft=" + longValue + "\nTop=-2147483649\nWidth=2147483648\n" +
                          std::string("Height=1\0002\n", 11) + "\x01\xFF\xFE=\n[Setup]\nEQ00=-100"));
    TMPIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Position", "Left", ""), longValue);
    for (const char* key : {"Left", "Top", "Width", "Height"}) {
        EXPECT_EQ(ini.ReadInteger("Position", key, -9), -9) << key;
    }
    EXPECT_EQ(ini.ReadInteger("Setup", "EQ00", 0), -100);
    ASSERT_TRUE(ini.WriteInteger("Position", "Top", 12));
    EXPECT_EQ(ini.ReadInteger("Position", "Top", 0), 12);
    EXPECT_EQ(ini.ReadString("Position", "Left", ""), longValue) << "rewriting keeps the other lines";
}

TEST_F(BadInputTest, RewritingTheSettingsFileKeepsWhatEveryLineSays) {
    // One CR of a line end is taken as part of it; the rest belong to the line and must survive.
    const std::string path = FDir.File("cr.ini");
    const std::string text = "[Setup]\r\nName=x\r\r\n[\r\r\n[Other]\r\n";
    WriteBytes(path, Text(text));
    TMPIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Setup", "Name", ""), "x\r");
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Setup", "\r", "Other"}));
    ASSERT_TRUE(ini.WriteInteger("Other", "K", 1));
    ASSERT_TRUE(ini.EraseSection("Setup"));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"\r", "Other"}));
    EXPECT_EQ(ReadText(path), "[\r\r\n[Other]\nK=1\n");

    // Byte-order marks, twice over, before the first section.
    WriteBytes(path, Text("\xEF\xBB\xBF\xEF\xBB\xBF[First]\nA=1\n[Second]\nB=2\n"));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"First", "Second"}));
    ASSERT_TRUE(ini.EraseSection("Second"));
    EXPECT_EQ(ini.ReadInteger("First", "A", 0), 1);
    EXPECT_EQ(ReadText(path), "[First]\nA=1\n");
}

} // namespace
