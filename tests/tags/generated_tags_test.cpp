// The tag reader over files that today's tools write, made at test time: mutagen (ID3v2.3/2.4, APEv2,
// pictures, ReplayGain), ffmpeg (its ID3v2.4), lame (its ID3v1 + ID3v2 pair), and by
// make_tagged_files.py byte by byte where no tool writes the form (ID3v2.2, unsynchronisation, v2.4 with
// plain sizes or a footer, ID3v1 in legacy code pages).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file_stream.h"
#include "mp3_info.h"
#include "stream_reader.h"
#include "tag_file_builder.h"

using namespace tunelo;
using tagtest::TFileScan;
namespace fs = std::filesystem;

namespace {

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One folder of generated files for the whole suite.
class TGeneratedFiles {
public:
    static TGeneratedFiles& Get() {
        static TGeneratedFiles files;
        return files;
    }
    fs::path Path(const std::string& name) const { return FFolder / name; }
    int64_t BaseSize() const { return FBaseSize; }
    const std::string& Error() const { return FError; }

private:
    TGeneratedFiles() {
        char pattern[] = "/tmp/tunelo-tags-XXXXXX";
        FFolder = mkdtemp(pattern);
        const std::string folder = FFolder.string();
        const std::string script = fs::path(TUNELO_TEST_DATA).parent_path() / "tags" / "make_tagged_files.py";
        // -t: no Xing/LAME frame, so that the untagged stream holds no ReplayGain of its own.
        const std::vector<std::string> commands = {
            "sox -n -r 44100 -c 2 " + folder + "/tone.wav synth 0.5 sine 440 vol 0.5",
            "lame --quiet -t " + folder + "/tone.wav " + folder + "/base.mp3",
            "/usr/bin/python3 " + script + " " + folder + "/base.mp3 " + folder,
            "lame --quiet --tt '\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x9B\xB2' --ta "
            "'\xE6\xAD\x8C\xE6\x89\x8B' --tl 'Album' --ty 2020 --tn 4 " +
                folder + "/tone.wav " + folder + "/lame-jp.mp3",
            "ffmpeg -v error -i " + folder +
                "/base.mp3 -c copy -metadata title='FF Title' -metadata "
                "artist='FF Artist' -metadata album='FF Album' -metadata date=2021 -metadata track=6/8 "
                "-metadata "
                "genre=Rock " +
                folder + "/ffmpeg.mp3"};
        for (const std::string& command : commands) {
            if (Run(command + " >/dev/null 2>&1") != 0) {
                FError = "failed: " + command;
                return;
            }
        }
        FBaseSize = static_cast<int64_t>(fs::file_size(FFolder / "base.mp3"));
    }
    ~TGeneratedFiles() {
        std::error_code error;
        fs::remove_all(FFolder, error);
    }

    fs::path FFolder;
    int64_t FBaseSize = 0;
    std::string FError;
};

constexpr const char* kNone = "";
// Longer than 127 bytes, so that plain and synchsafe sizes differ.
const std::string kPlainTitle = "Plain " + std::string(194, 'x');

struct TCase {
    const char* File;
    const char* Title;
    const char* Artist;
    const char* Album;
    const char* Year;
    const char* Track;
    const char* Genre;
    bool Picture;       // the generated picture, as the front cover
    const char* Gain;   // "track -6.02/0.5" and the like, or "" for none
    int32_t TrailingV1; // ID3v1 bytes counted in the audio length; -1: it runs to the end of the file
};

void PrintTo(const TCase& c, std::ostream* out) {
    *out << c.File;
}

class GeneratedTags : public testing::TestWithParam<TCase> {};

std::string GainText(const TMPReplayGain& gain) {
    char text[96] = "";
    if (gain.HasTrackGain) {
        std::snprintf(text, sizeof text, "track %.2f/%g", gain.TrackGain, gain.TrackPeak);
    }
    if (gain.HasAlbumGain) {
        std::snprintf(text + std::strlen(text), sizeof text - std::strlen(text), "%salbum %.2f/%g",
                      gain.HasTrackGain ? " " : "", gain.AlbumGain, gain.AlbumPeak);
    }
    return text;
}

} // namespace

TEST_P(GeneratedTags, FieldsPictureGainAndAudioBounds) {
    const TGeneratedFiles& files = TGeneratedFiles::Get();
    ASSERT_EQ(files.Error(), "");
    const TCase& c = GetParam();
    TFileScan scan(files.Path(c.File));
    EXPECT_EQ(scan.Info.Title(), c.Title);
    EXPECT_EQ(scan.Info.Artist(), c.Artist);
    EXPECT_EQ(scan.Info.Album(), c.Album);
    EXPECT_EQ(scan.Info.Year(), c.Year);
    EXPECT_EQ(scan.Info.Track(), c.Track);
    EXPECT_EQ(scan.Info.Genre(), c.Genre);
    EXPECT_EQ(GainText(scan.Info.ReplayGain()), c.Gain);
    if (c.Picture) {
        EXPECT_EQ(scan.Info.Picture().Type, 3);
        EXPECT_EQ(scan.Info.Picture().Mime, "image/png");
        EXPECT_TRUE(scan.Info.Picture().Data == ReadAll(files.Path("picture.png"))) << "byte for byte";
    } else {
        EXPECT_TRUE(scan.Info.Picture().Empty());
    }
    // The player decodes exactly the untagged stream: from a frame header, over its bytes only.
    EXPECT_TRUE(scan.FirstBytesAreAFrame);
    if (c.TrailingV1 < 0) {
        EXPECT_EQ(int64_t{scan.Info.DataStart()} + scan.Info.DataLength(), scan.Reader.Size());
    } else {
        EXPECT_EQ(scan.Info.DataLength(), files.BaseSize() + c.TrailingV1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, GeneratedTags,
    testing::Values(
        TCase{"v24-utf8.mp3",
              "Gr\xC3\xBC\xC3\x9F"
              "e Title",
              "\xC3\x84rtist", "Album \xC3\xBC", "1999", "3", "Rock", true, "track -6.02/0.5", 0},
        TCase{"v24-utf16.mp3",
              "Gr\xC3\xBC\xC3\x9F"
              "e Title",
              "\xC3\x84rtist", "Album \xC3\xBC", "1999", "3", "Rock", true, "track -6.02/0.5", 0},
        TCase{"v23-utf16.mp3",
              "Gr\xC3\xBC\xC3\x9F"
              "e Title",
              "\xC3\x84rtist", "Album \xC3\xBC", "1999", "3", "Rock", true, "track -6.02/0.5", 0},
        TCase{"v23-latin1.mp3",
              "Gr\xC3\xBC\xC3\x9F"
              "e Title",
              "\xC3\x84rtist", "Album \xC3\xBC", "1999", "3", "Rock", true, "track -6.02/0.5", 0},
        TCase{"v24-rva2.mp3", "Relative volume", kNone, kNone, kNone, kNone, kNone, false, "album -3.50/0.75",
              0},
        TCase{"v22.mp3", "Two Two Title", "Art", "Old Album", "1988", "5", "Pop", true, kNone, 0},
        TCase{"v23-unsync.mp3", "Unsynchronised \xC3\xBF title", "Sync Artist", kNone, kNone, kNone, kNone,
              true, kNone, 0},
        TCase{"v24-plain.mp3", kPlainTitle.c_str(), "Plain Artist", kNone, kNone, kNone, kNone, false, kNone,
              0},
        TCase{"v24-footer.mp3", "Footer Title", "One; Two", kNone, kNone, kNone, kNone, true, kNone, 0},
        TCase{"ape.mp3", "Ape Title \xC3\xB1", "Ape Artist", "Ape Album", "2011", "7", "Jazz", true,
              "track 2.50/0 album -1.25/0", 0},
        // mutagen appends the APE tag behind the ID3v1 tag, which stays counted as always.
        TCase{"ape-v1.mp3", "Ape Title \xC3\xB1", "Ape Artist", "Ape Album", "2011", "7", "Jazz", true,
              "track 2.50/0 album -1.25/0", 128},
        TCase{"v1.mp3", "Only V1", "V1 Artist", "V1 Album", "1977", "2", "Rock", false, kNone, 128},
        // ffmpeg adds an information frame of its own in front of the audio.
        TCase{"ffmpeg.mp3", "FF Title", "FF Artist", "FF Album", "2021", "6", "Rock", false, kNone, -1}));

TEST(GeneratedTagsMore, LameJapaneseTitleComesFromTheID3V2TagNotTheQuestionMarksOfID3V1) {
    const TGeneratedFiles& files = TGeneratedFiles::Get();
    ASSERT_EQ(files.Error(), "");
    TFileScan scan(files.Path("lame-jp.mp3"));
    ASSERT_TRUE(scan.Info.FoundInfoTypes().Has(mitID3V1));
    ASSERT_TRUE(scan.Info.FoundInfoTypes().Has(mitID3V2));
    EXPECT_EQ(scan.Info.Title(), "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x9B\xB2");
    EXPECT_EQ(scan.Info.Artist(), "\xE6\xAD\x8C\xE6\x89\x8B");
    EXPECT_EQ(scan.Info.Album(), "Album");
    EXPECT_EQ(scan.Info.Year(), "2020");
    EXPECT_EQ(scan.Info.Track(), "4");
    EXPECT_EQ(scan.Info.Genre(), "") << "lame's ID3v1 genre 255 is no genre";
    // lame writes its own gain estimate into the LAME tag; nothing else holds one here.
    EXPECT_TRUE(scan.Info.ReplayGain().HasTrackGain);
}

TEST(GeneratedTagsMore, LegacyCodePagesForID3V1Text) {
    const TGeneratedFiles& files = TGeneratedFiles::Get();
    ASSERT_EQ(files.Error(), "");
    struct Case {
        const char* File;
        const char* CodePage;
        const char* Title;
    };
    for (const Case& c :
         {Case{"v1-cp1251.mp3", "CP1251",
               "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
               "\xD0\xBC\xD0\xB8\xD1\x80"},
          Case{"v1-sjis.mp3", "SHIFT_JIS", "\xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\xAE\xE6\xAD\x8C"},
          // Latin-1 by default: the CP1251 bytes as Latin-1 letters.
          Case{"v1-cp1251.mp3", "",
               "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2 "
               "\xC3\xAC\xC3\xA8\xC3\xB0"}}) {
        SCOPED_TRACE(std::string(c.File) + " " + c.CodePage);
        TFileScan scan(files.Path(c.File), c.CodePage);
        EXPECT_EQ(scan.Info.Title(), c.Title);
        EXPECT_EQ(scan.Info.Artist(), "Artist");
    }
}
