// Album files beyond plain M3U (M3U8, PLS, the extended M3U the album writes), loading that goes on past
// files it cannot add and names them, and the reasons it gives.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "album.h"
#include "album_test_support.h"

namespace tunelo {
namespace {

namespace fs = std::filesystem;
using test::FileNames;
using test::ReadWholeFile;
using test::TFakeTagReader;
using test::TTempFolder;
using Lines = std::vector<std::string>;

class AlbumListsTest : public ::testing::Test {
protected:
    TTempFolder Root;
    TFakeTagReader Tags;
    TAlbum Album{Tags.Reader()};
};

// ---- PLS ----

struct TPlsCase {
    const char* Name;
    const char* Text;
    Lines Expected;
};

class PlsLinesTest : public ::testing::TestWithParam<TPlsCase> {};

TEST_P(PlsLinesTest, GivesTheFileEntriesInNumberOrder) {
    EXPECT_EQ(PlsEntryLines(GetParam().Text), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlsLinesTest,
    ::testing::Values(
        TPlsCase{"NumberOrder",
                 "[playlist]\nFile2=b.mp3\nTitle2=B\nFile10=c.mp3\nFile1=a.mp3\nNumberOfEntries=3\n",
                 {"a.mp3", "b.mp3", "c.mp3"}},
        TPlsCase{"OnlyThePlaylistSection",
                 "File1=outside.mp3\n[other]\nFile2=x.mp3\n[Playlist]\r\nfile3=in.mp3\r\n",
                 {"in.mp3"}},
        TPlsCase{"UrlsAndStreams",
                 "[playlist]\nFile1=file:///music/a%20b.mp3\nFile2=http://radio.invalid/stream\n"
                 "File3=file://localhost/m/c.mp3\nFile4=file://otherhost/m/d.mp3\nFile5=C:\\m\\e.mp3\n",
                 {"/music/a b.mp3", "/m/c.mp3", "C:\\m\\e.mp3"}},
        TPlsCase{"BrokenLinesAreLeftOut",
                 "[playlist]\nFileX=a.mp3\nFile=b.mp3\nFile1=\nFile2 = spaced.mp3 \nFile3\n",
                 {"spaced.mp3"}},
        TPlsCase{"Empty", "", {}}),
    [](const ::testing::TestParamInfo<TPlsCase>& info) { return std::string(info.param.Name); });

TEST_F(AlbumListsTest, PlsAndM3u8AlbumFilesLoadLikeM3u) {
    const std::string a = Root.MakeFile("m/a.mp3");
    const std::string b = Root.MakeFile("m/sub/b.mp3");
    const std::string pls = Root.MakeFile("m/list.PLS", "[playlist]\r\nFile2=sub/b.mp3\r\nFile1=file://" + a +
                                                            "\r\nFile3=https://stream.invalid/x\r\n");
    EXPECT_EQ(Album.LoadAlbum(pls), TAlbum::TLoadResult::Loaded);
    EXPECT_EQ(FileNames(Album), (Lines{a, b}));

    Album.Clear();
    const std::string m3u8 =
        Root.MakeFile("m/list.m3u8", "\xEF\xBB\xBF#EXTM3U\n#EXTINF:12,\xC3\xA9t\xC3\xA9\nsub/b.mp3\n"
                                     "# a comment naming a.mp3\n#a.mp3\na.mp3\n");
    EXPECT_EQ(Album.LoadAlbum(m3u8), TAlbum::TLoadResult::Loaded);
    EXPECT_EQ(FileNames(Album), (Lines{b, a})) << "comment lines are never taken as files";
}

TEST_F(AlbumListsTest, ACommentLineIsSkippedEvenWhenAFileHasItsName) {
    Root.MakeFile("m/#EXTM3U");
    const std::string a = Root.MakeFile("m/a.mp3");
    EXPECT_EQ(Album.LoadAlbum(Root.MakeFile("m/x.m3u", "#EXTM3U\r\na.mp3\r\n")), TAlbum::TLoadResult::Loaded);
    EXPECT_EQ(FileNames(Album), (Lines{a}));
}

// ---- Saving extended M3U ----

TEST_F(AlbumListsTest, SavingWritesLengthsAndTitlesThatReadBack) {
    TAlbum album([](const std::string& path) {
        TMusicList tags;
        const std::string name = fs::path(path).filename().string();
        if (name == "a.mp3") {
            tags.Title = "Song\r\nwith a break";
            tags.LengthMs = 183'499;
        } else if (name == "b.mp3") {
            tags.LengthMs = 500;
        }
        return tags;
    });
    const std::string a = Root.MakeFile("m/a.mp3");
    const std::string b = Root.MakeFile("m/b.mp3");
    const std::string c = Root.MakeFile("m/c.mp3");
    for (const std::string& path : {a, b, c}) {
        album.AddEntry(path);
    }
    const std::string albumPath = (Root.Path() / "m/saved.m3u").string();
    album.SaveAlbum(albumPath);
    EXPECT_EQ(ReadWholeFile(albumPath), "#EXTM3U\r\n#EXTINF:183,Song  with a break\r\na.mp3\r\n"
                                        "#EXTINF:1,b\r\nb.mp3\r\n#EXTINF:-1,c\r\nc.mp3\r\n");
    EXPECT_EQ(Album.LoadAlbum(albumPath), TAlbum::TLoadResult::Loaded);
    EXPECT_EQ(FileNames(Album), (Lines{a, b, c}));
}

// ---- Loading that goes on ----

TEST_F(AlbumListsTest, WithFailuresEveryReadableFileIsAddedAndTheOthersAreNamed) {
    const std::string good1 = Root.MakeFile("m/good1.mp3");
    const std::string broken = Root.MakeFile("m/broken.mp3");
    const std::string good2 = Root.MakeFile("m/good2.mp3");
    const std::string good3 = Root.MakeFile("m/good3.mp3");
    const std::string album =
        Root.MakeFile("m/x.m3u", "good1.mp3\r\nbroken.mp3\r\ngood2.mp3\r\n\r\nmissing.mp3\r\ngood3.mp3\r\n");
    int32_t changes = 0;
    Album.OnChanged = [&] { ++changes; };
    TAddFailures failures;
    EXPECT_EQ(Album.LoadAlbum(album, &failures), TAlbum::TLoadResult::Loaded);
    EXPECT_EQ(FileNames(Album), (Lines{good1, good2, good3}));
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].FileName, broken);
    EXPECT_EQ(failures[0].Reason, "not MPEG audio");
    EXPECT_EQ(failures[1].FileName, "missing.mp3");
    EXPECT_EQ(failures[1].Reason, "file not found (named in " + album + ")");
}

TEST_F(AlbumListsTest, AFullAlbumNamesEveryFileItCouldNotTake) {
    const std::string a = Root.MakeFile("m/a.mp3");
    std::string text;
    for (int32_t i = 0; i < TAlbum::kCapacity + 2; ++i) {
        text += "a.mp3\n";
    }
    TAddFailures failures;
    Album.LoadAlbum(Root.MakeFile("m/many.m3u", text), &failures);
    EXPECT_EQ(Album.MusicCount(), TAlbum::kCapacity);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[1].Reason, "the album is full (it holds at most 1024 files)");
}

// ---- Reasons ----

struct TReasonCase {
    const char* Name;
    // Makes the file under the folder and returns its path.
    std::string (*Make)(const TTempFolder& root);
    std::string Expected;
};

class AddFailureReasonTest : public ::testing::TestWithParam<TReasonCase> {};

TEST_P(AddFailureReasonTest, SaysWhatAPersonCanActOn) {
    const TTempFolder root;
    const std::string path = GetParam().Make(root);
    if (GetParam().Expected == "permission denied" && ::geteuid() == 0) {
        GTEST_SKIP() << "root reads any file";
    }
    EXPECT_EQ(AddFailureReason(path, EMPError("unknown MPEG Audio format.")), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AddFailureReasonTest,
    ::testing::Values(
        TReasonCase{"Missing", [](const TTempFolder& root) { return (root.Path() / "gone.mp3").string(); },
                    "file not found"},
        TReasonCase{"MissingFolder",
                    [](const TTempFolder& root) { return (root.Path() / "no/such/a.mp3").string(); },
                    "file not found"},
        TReasonCase{"Unreadable",
                    [](const TTempFolder& root) {
                        const std::string path = root.MakeFile("locked.mp3");
                        ::chmod(path.c_str(), 0);
                        return path;
                    },
                    "permission denied"},
        TReasonCase{"Folder", [](const TTempFolder& root) { return root.MakeFolder("a.mp3"); },
                    "a folder, not a file"},
        TReasonCase{"Empty", [](const TTempFolder& root) { return root.MakeFile("empty.mp3", ""); },
                    "empty file"},
        TReasonCase{"NotAudio", [](const TTempFolder& root) { return root.MakeFile("text.mp3", "words"); },
                    "not MPEG audio"}),
    [](const ::testing::TestParamInfo<TReasonCase>& info) { return std::string(info.param.Name); });

TEST(AddFailureReasons, OtherErrorsKeepTheirOwnWords) {
    const TTempFolder root;
    const std::string path = root.MakeFile("a.mp3", "data");
    EXPECT_EQ(AddFailureReason(path, EMPError("Stream read error: \"a.mp3\". Input/output error")),
              "Stream read error: \"a.mp3\". Input/output error");
    EXPECT_EQ(AddFailureReason((root.Path() / "gone.mp3").string(), EAlbumFull("full")),
              "the album is full (it holds at most 1024 files)")
        << "a full album is the reason, whatever the file";
}

} // namespace
} // namespace tunelo
