// The tag reader over small real files (tests/data/tags, made by make_tag_files.py and read the same way by
// ffprobe): the audio bounds and the getters' answers through a file stream, as the player opens them.
#include <gtest/gtest.h>

#include <string>

#include "file_stream.h"
#include "mp3_info.h"
#include "stream_reader.h"
#include "tag_file_builder.h"

using namespace tunelo;

namespace {

// Bytes of the Layer III stream inside every file.
constexpr int32_t kAudioBytes = 5433;

// The files of tests/data/tags.
struct TDataFileScan : tagtest::TFileScan {
    explicit TDataFileScan(const std::string& name)
        : TFileScan(std::string(TUNELO_TEST_DATA) + "/tags/" + name) {}
};

} // namespace

TEST(TagFiles, ID3V11) {
    TDataFileScan scan("id3v11.mp3");
    EXPECT_EQ(scan.Info.FoundInfoTypes(), TMP3InfoType{mitID3V1});
    EXPECT_TRUE(scan.FirstBytesAreAFrame);
    EXPECT_EQ(scan.Info.DataStart(), 0);
    EXPECT_EQ(scan.Info.DataLength(), kAudioBytes + 128);
    EXPECT_EQ(scan.Info.Title(), "Caf\xC3\xA9 Song");
    EXPECT_EQ(scan.Info.Artist(), "V1 Artist");
    EXPECT_EQ(scan.Info.Album(), "V1 Album");
    EXPECT_EQ(scan.Info.Year(), "1997");
    EXPECT_EQ(scan.Info.Comment(), "V1 comment");
    EXPECT_EQ(scan.Info.Genre(), "Rock");
    EXPECT_EQ(scan.Info.Track(), "5");
}

TEST(TagFiles, ID3V23Latin1) {
    TDataFileScan scan("id3v23-latin1.mp3");
    EXPECT_EQ(scan.Info.FoundInfoTypes(), TMP3InfoType{mitID3V2});
    EXPECT_TRUE(scan.FirstBytesAreAFrame);
    EXPECT_EQ(scan.Info.DataLength(), kAudioBytes);
    EXPECT_EQ(scan.Info.DataStart() + kAudioBytes, scan.Reader.Size());
    EXPECT_EQ(scan.Info.Title(), "Na\xC3\xAFve Title");
    EXPECT_EQ(scan.Info.Artist(), "Latin Artist");
    EXPECT_EQ(scan.Info.Album(), "Latin Album");
    EXPECT_EQ(scan.Info.Year(), "2001");
    EXPECT_EQ(scan.Info.Comment(), "Comment caf\xC3\xA9");
    EXPECT_EQ(scan.Info.Genre(), "Pop");
    EXPECT_EQ(scan.Info.Track(), "");
}

TEST(TagFiles, ID3V23Utf16) {
    TDataFileScan scan("id3v23-utf16.mp3");
    EXPECT_EQ(scan.Info.FoundInfoTypes(), TMP3InfoType{mitID3V2});
    EXPECT_TRUE(scan.FirstBytesAreAFrame);
    EXPECT_EQ(scan.Info.DataLength(), kAudioBytes);
    EXPECT_EQ(scan.Info.Title(), "Gr\xC3\xBC\xC3\x9F"
                                 "e \xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(scan.Info.Artist(), "\xC3\x85sa Big-Endian");
    EXPECT_EQ(scan.Info.Album(), "UTF-16 Album");
    EXPECT_EQ(scan.Info.Comment(), "Kommentar \xC3\xA4");
    EXPECT_EQ(scan.Info.Genre(), "Goa Trance");
}

TEST(TagFiles, RiffWithInfoList) {
    TDataFileScan scan("riff-info.mp3");
    EXPECT_EQ(scan.Info.FoundInfoTypes(), TMP3InfoType{mitRiff});
    EXPECT_TRUE(scan.FirstBytesAreAFrame);
    EXPECT_EQ(scan.Info.DataStart(), 12 + 8 + 18 + 8);
    EXPECT_EQ(scan.Info.DataLength(), kAudioBytes);
    EXPECT_EQ(scan.Info.RiffInfo().Count(), 6);
    EXPECT_EQ(scan.Info.Title(), "RIFF Title");
    EXPECT_EQ(scan.Info.Artist(), "RIFF Artist");
    EXPECT_EQ(scan.Info.Album(), "RIFF Album");
    EXPECT_EQ(scan.Info.Year(), "1999");
    EXPECT_EQ(scan.Info.Comment(), "RIFF comment");
    EXPECT_EQ(scan.Info.Genre(), "Ambient");
}

TEST(TagFiles, MacBinary) {
    TDataFileScan scan("macbinary.mp3");
    EXPECT_EQ(scan.Info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitMacBin}));
    EXPECT_TRUE(scan.FirstBytesAreAFrame);
    EXPECT_EQ(scan.Info.DataStart(), 128);
    EXPECT_EQ(scan.Info.DataLength(), kAudioBytes + 128);
    EXPECT_EQ(scan.Info.Title(), "MacBinary Title");
    EXPECT_EQ(scan.Info.Track(), "1");
    EXPECT_EQ(scan.Info.Genre(), "Other");
}

TEST(TagFiles, Lyrics3V2) {
    TDataFileScan scan("lyrics3v2.mp3");
    EXPECT_EQ(scan.Info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitLyrics}));
    EXPECT_TRUE(scan.FirstBytesAreAFrame);
    EXPECT_EQ(scan.Info.DataLength(), scan.Reader.Size());
    EXPECT_EQ(scan.Info.LyricsFields().ValueOf("LYR"), "First line\r\nSecond line");
    EXPECT_EQ(scan.Info.LyricsFields().ValueOf("ETT"), "Lyrics Title That Is Longer");
    EXPECT_EQ(scan.Info.Title(), "Lyrics V1 Title") << "Lyrics3 fills only what ID3v1 lacks";
    EXPECT_EQ(scan.Info.Genre(), "") << "ID3v1 genre 255 is no genre";
    EXPECT_EQ(scan.Info.Track(), "9");
}
