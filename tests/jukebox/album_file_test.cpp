// M3U album files: line ends, where a line's file is looked for, relative paths on saving, and saves that
// fail without harm.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
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
using test::TCurrentFolder;
using test::TFakeTagReader;
using test::TTempFolder;
using Lines = std::vector<std::string>;

// What SaveAlbum writes for entries of the fake tag reader (no length known), given their lines.
std::string SavedAlbum(const Lines& lines) {
    std::string text = "#EXTM3U\r\n";
    for (const std::string& line : lines) {
        text += "#EXTINF:-1,T:" + fs::path(line).filename().string() + "\r\n" + line + "\r\n";
    }
    return text;
}

// ---- Line reader ----

TEST(AlbumLines, CarriageReturnLineFeedAndLineFeedAloneAllEndALine) {
    EXPECT_EQ(SplitAlbumLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    // Only an LF directly after the CR belongs to the same line end.
    EXPECT_EQ(SplitAlbumLines("a\r\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitAlbumLines("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitAlbumLines("a\n\nb\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitAlbumLines("one line"), (Lines{"one line"}));
    EXPECT_EQ(SplitAlbumLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(SplitAlbumLines("\r\n"), (Lines{""}));
    EXPECT_EQ(SplitAlbumLines(""), (Lines{}));
    // Lines are kept as they are: spaces, tabs and a number sign included.
    EXPECT_EQ(SplitAlbumLines(" a.mp3 \t\r\n#EXTM3U"), (Lines{" a.mp3 \t", "#EXTM3U"}));
}

TEST(AlbumLines, CtrlZEndsTheText) {
    EXPECT_EQ(SplitAlbumLines("a\r\nb\x1a\r\nc\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitAlbumLines("a\r\n\x1a"
                              "b"),
              (Lines{"a"}));
    EXPECT_EQ(SplitAlbumLines("\x1a"
                              "a\r\n"),
              (Lines{}));
}

TEST(AlbumLines, AByteOrderMarkIsNotPartOfTheFirstLine) {
    EXPECT_EQ(SplitAlbumLines("\xEF\xBB\xBF"
                              "a\r\n\xEF\xBB\xBF"
                              "b"),
              (Lines{"a", "\xEF\xBB\xBF"
                          "b"}));
    EXPECT_EQ(SplitAlbumLines("\xEF\xBB"
                              "a"),
              (Lines{"\xEF\xBB"
                     "a"}));
}

TEST(AlbumLines, AnEndlessLineIsReadToItsEndButNotKept) {
    const std::string longLine(TAlbumLineReader::kMaxLineBytes + 10, 'x');
    std::istringstream input("a\n" + longLine + "\r\nb");
    TAlbumLineReader reader(input);
    std::string line;
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, "a");
    EXPECT_FALSE(reader.LineTooLong());
    ASSERT_TRUE(reader.Next(line));
    EXPECT_TRUE(reader.LineTooLong());
    EXPECT_EQ(line.size(), TAlbumLineReader::kMaxLineBytes);
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, "b");
    EXPECT_FALSE(reader.LineTooLong());
    EXPECT_FALSE(reader.Next(line));
    EXPECT_FALSE(reader.Next(line));
}

// ---- Finding the file a line names ----

class AlbumFileTest : public ::testing::Test {
protected:
    TTempFolder Root;
    TFakeTagReader Tags;
    TAlbum Album{Tags.Reader()};
};

TEST_F(AlbumFileTest, ALineIsTriedAgainstTheCurrentFolderFirstThenTheAlbumFolder) {
    const std::string albums = Root.MakeFolder("albums");
    const std::string elsewhere = Root.MakeFolder("elsewhere");
    const std::string inAlbums = Root.MakeFile("albums/song.mp3");
    const std::string inElsewhere = Root.MakeFile("elsewhere/song.mp3");
    const std::string onlyInAlbums = Root.MakeFile("albums/only.mp3");

    TCurrentFolder current(elsewhere);
    EXPECT_EQ(ResolveAlbumLine("song.mp3", albums), inElsewhere);
    EXPECT_EQ(ResolveAlbumLine("only.mp3", albums), onlyInAlbums);
    EXPECT_EQ(ResolveAlbumLine("./x/../only.mp3", albums), onlyInAlbums);
    EXPECT_EQ(ResolveAlbumLine(inAlbums, "/nonexistent"), inAlbums);
    EXPECT_EQ(ResolveAlbumLine("missing.mp3", albums), std::nullopt);
}

TEST_F(AlbumFileTest, LinesNamingAFolderNothingOrHoldingANulNameNoFile) {
    const std::string albums = Root.MakeFolder("albums");
    Root.MakeFolder("albums/sub");
    Root.MakeFile("albums/a.mp3");
    TCurrentFolder current(Root.Path());
    EXPECT_EQ(ResolveAlbumLine("", albums), std::nullopt);
    EXPECT_EQ(ResolveAlbumLine(".", albums), std::nullopt);
    EXPECT_EQ(ResolveAlbumLine("sub", albums), std::nullopt);
    EXPECT_EQ(ResolveAlbumLine("..", albums), std::nullopt);
    EXPECT_EQ(ResolveAlbumLine(std::string("a.mp3\0junk", 10), albums), std::nullopt);
    EXPECT_EQ(ResolveAlbumLine("#EXTINF:12,a.mp3", albums), std::nullopt);
}

TEST_F(AlbumFileTest, WindowsSeparatorsAreTriedAsSlashesOnlyWhenTheLineNamesNoFileAsItIs) {
    const std::string albums = Root.MakeFolder("albums");
    const std::string pop = Root.MakeFile("pop/a.mp3");
    const std::string deep = Root.MakeFile("albums/sub/c.mp3");
    // "\" is an ordinary character in a POSIX name; such a file is found before any conversion.
    const std::string literal = Root.MakeFile("albums/odd\\name.mp3");
    const std::string converted = Root.MakeFile("albums/odd/name.mp3");
    TCurrentFolder current(Root.MakeFolder("elsewhere"));

    EXPECT_EQ(ResolveAlbumLine("..\\pop\\a.mp3", albums), pop);
    EXPECT_EQ(ResolveAlbumLine("sub\\c.mp3", albums), deep);
    EXPECT_EQ(ResolveAlbumLine("odd\\name.mp3", albums), literal);
    fs::remove(literal);
    EXPECT_EQ(ResolveAlbumLine("odd\\name.mp3", albums), converted);
    EXPECT_EQ(ResolveAlbumLine("D:\\music\\a.mp3", albums), std::nullopt);
}

// ---- Relative paths ----

TEST(AlbumPaths, EntriesAreWrittenRelativeToTheAlbumFolderByWholeFolderNames) {
    EXPECT_EQ(LexicalRelativePath("/music/albums", "/music/pop/a.mp3"), "../pop/a.mp3");
    EXPECT_EQ(LexicalRelativePath("/music/albums/", "/music/pop/a.mp3"), "../pop/a.mp3");
    EXPECT_EQ(LexicalRelativePath("/music/albums", "/music/albums/a.mp3"), "a.mp3");
    EXPECT_EQ(LexicalRelativePath("/music/albums", "/music/albums/x/y/a.mp3"), "x/y/a.mp3");
    EXPECT_EQ(LexicalRelativePath("/music/albums/old/x", "/music/a.mp3"), "../../../a.mp3");
    EXPECT_EQ(LexicalRelativePath("/", "/music/a.mp3"), "music/a.mp3");
    EXPECT_EQ(LexicalRelativePath("/music", "/a.mp3"), "../a.mp3");
    // Names are compared whole, not as string prefixes, and with their case.
    EXPECT_EQ(LexicalRelativePath("/m/ab", "/m/abc/a.mp3"), "../abc/a.mp3");
    EXPECT_EQ(LexicalRelativePath("/m/Music", "/m/music/a.mp3"), "../music/a.mp3");
    EXPECT_EQ(LexicalRelativePath("/m/./albums/../albums", "/m/pop/../pop/a.mp3"), "../pop/a.mp3");
}

TEST_F(AlbumFileTest, AnEntryOnAnotherFileSystemKeepsItsFullPath) {
    struct stat here;
    struct stat shm;
    if (::stat(Root.Path().c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 ||
        here.st_dev == shm.st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    const std::string other = "/dev/shm/tunelo-album-test-" + std::to_string(::getpid()) + ".mp3";
    std::ofstream(other) << "x";
    const std::string albums = Root.MakeFolder("albums");
    EXPECT_EQ(RelativeAlbumPath(albums, other), other);
    EXPECT_EQ(RelativeAlbumPath(albums, Root.MakeFile("pop/a.mp3")), "../pop/a.mp3");
    // A file that is gone is judged by the nearest folder that exists.
    EXPECT_EQ(RelativeAlbumPath(albums, (Root.Path() / "gone/folder/a.mp3").string()),
              "../gone/folder/a.mp3");
    EXPECT_EQ(RelativeAlbumPath(albums, "/dev/shm/gone/a.mp3"), "/dev/shm/gone/a.mp3");
    fs::remove(other);
}

// ---- Saving and loading ----

TEST_F(AlbumFileTest, ASavedAlbumLoadsTheSameFilesFromAnotherCurrentFolder) {
    const std::string a = Root.MakeFile("music/pop/a.mp3");
    const std::string b = Root.MakeFile("music/albums/b.mp3");
    const std::string c = Root.MakeFile("music/albums/sub/c.mp3");
    const std::string d = Root.MakeFile("d.mp3");
    for (const std::string& path : {a, b, c, d}) {
        Album.AddEntry(path);
    }
    const std::string albumPath = (Root.Path() / "music/albums/mix.m3u").string();
    Album.SaveAlbum(albumPath);
    EXPECT_EQ(ReadWholeFile(albumPath), SavedAlbum({"../pop/a.mp3", "b.mp3", "sub/c.mp3", "../../d.mp3"}));

    TCurrentFolder current(Root.MakeFolder("elsewhere/deeper"));
    TFakeTagReader tags;
    TAlbum loaded(tags.Reader());
    int32_t changes = 0;
    loaded.OnChanged = [&] { ++changes; };
    EXPECT_EQ(loaded.LoadAlbum("../../music/albums/mix.m3u"), TAlbum::TLoadResult::Loaded);
    EXPECT_EQ(FileNames(loaded), (Lines{a, b, c, d}));
    EXPECT_EQ(loaded.Entry(2).Title, "T:c.mp3");
    EXPECT_EQ(changes, 1); // the grid is rewritten once for the whole album

    // Loading appends; it never clears.
    loaded.LoadAlbum(albumPath);
    EXPECT_EQ(loaded.MusicCount(), 8);
    EXPECT_EQ(loaded.Entry(4).FileName, a);
}

TEST_F(AlbumFileTest, ExtendedM3uLinesAndLinesNamingNothingAreSkipped) {
    const std::string a = Root.MakeFile("albums/a.mp3");
    const std::string b = Root.MakeFile("pop/b.mp3");
    Root.MakeFolder("albums/folder");
    const std::string album = Root.MakeFile(
        "albums/ext.m3u", "#EXTM3U\r\n#EXTINF:183,Artist - A\r\na.mp3\r\n\r\nmissing.mp3\r\nfolder\r\n"
                          "#EXTINF:-1,B\r\n../pop/b.mp3\r\n a.mp3\r\n");
    TCurrentFolder current(Root.MakeFolder("elsewhere"));
    EXPECT_EQ(Album.LoadAlbum(album), TAlbum::TLoadResult::Loaded);
    EXPECT_EQ(FileNames(Album), (Lines{a, b}));
    // Only the lines that name files reached the tag reader.
    EXPECT_EQ(Tags.Asked, (Lines{a, b}));
}

TEST_F(AlbumFileTest, LineFeedOnlyAndMixedAlbumFilesLoadEveryLine) {
    const std::string a = Root.MakeFile("albums/a.mp3");
    const std::string b = Root.MakeFile("albums/b.mp3");
    const std::string c = Root.MakeFile("albums/c.mp3");
    TCurrentFolder current(Root.MakeFolder("elsewhere"));
    EXPECT_EQ(Album.LoadAlbum(Root.MakeFile("albums/lf.m3u", "a.mp3\nb.mp3\nc.mp3\n")),
              TAlbum::TLoadResult::Loaded);
    EXPECT_EQ(FileNames(Album), (Lines{a, b, c}));
    Album.Clear();
    Album.LoadAlbum(Root.MakeFile("albums/mixed.m3u", "c.mp3\rb.mp3\na.mp3\r\nb.mp3\x1a"
                                                      "c.mp3\r\n"));
    EXPECT_EQ(FileNames(Album), (Lines{c, b, a, b}));
}

TEST_F(AlbumFileTest, AnAlbumWrittenOnWindowsLoads) {
    const std::string a = Root.MakeFile("music/pop/a.mp3");
    const std::string c = Root.MakeFile("music/albums/sub/c.mp3");
    const std::string album = Root.MakeFile("music/albums/win.m3u", "..\\pop\\a.mp3\r\nsub\\c.mp3\r\n\x1a");
    TCurrentFolder current(Root.MakeFolder("elsewhere"));
    Album.LoadAlbum(album);
    EXPECT_EQ(FileNames(Album), (Lines{a, c}));
}

TEST_F(AlbumFileTest, AMissingAlbumFileIsReportedAndNothingIsRead) {
    Root.MakeFolder("albums/folder.m3u");
    EXPECT_EQ(Album.LoadAlbum((Root.Path() / "albums/none.m3u").string()), TAlbum::TLoadResult::NotFound);
    EXPECT_EQ(Album.LoadAlbum((Root.Path() / "albums/folder.m3u").string()), TAlbum::TLoadResult::NotFound);
    EXPECT_EQ(Album.LoadAlbum("/dev/zero"), TAlbum::TLoadResult::NotFound);
    EXPECT_EQ(Album.MusicCount(), 0);
    EXPECT_TRUE(Tags.Asked.empty());
}

TEST_F(AlbumFileTest, AFileTheReaderRefusesEndsTheLoadAndKeepsWhatCameBefore) {
    const std::string a = Root.MakeFile("albums/a.mp3");
    Root.MakeFile("albums/broken.mp3");
    Root.MakeFile("albums/c.mp3");
    const std::string album = Root.MakeFile("albums/x.m3u", "a.mp3\r\nbroken.mp3\r\nc.mp3\r\n");
    int32_t changes = 0;
    Album.OnChanged = [&] { ++changes; };
    EXPECT_THROW(Album.LoadAlbum(album), EMPError);
    EXPECT_EQ(FileNames(Album), (Lines{a}));
    EXPECT_EQ(Tags.Asked.size(), 2u); // c.mp3 was never opened
    EXPECT_EQ(changes, 1);            // the grid still shows what was added
}

TEST_F(AlbumFileTest, LoadingIntoAFullAlbumStopsWithTheFullMessage) {
    for (int32_t i = 0; i < TAlbum::kCapacity - 1; ++i) {
        Album.AddEntry("/music/" + std::to_string(i) + ".mp3");
    }
    Root.MakeFile("albums/a.mp3");
    Root.MakeFile("albums/b.mp3");
    const std::string album = Root.MakeFile("albums/x.m3u", "a.mp3\r\nb.mp3\r\n");
    try {
        Album.LoadAlbum(album);
        FAIL() << "no error";
    } catch (const EMPError& error) {
        EXPECT_NE(std::string(error.what()).find("full"), std::string::npos) << error.what();
    }
    EXPECT_EQ(Album.MusicCount(), TAlbum::kCapacity);
    EXPECT_EQ(Album.Entry(TAlbum::kCapacity - 1).FileName, (Root.Path() / "albums/a.mp3").string());
}

// Makes writes beyond limit bytes fail (EFBIG) for the rest of the scope; works for root as well.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = FOld;
        lowered.rlim_cur = limit;
        FActive = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    bool Active() const { return FActive; }

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
    bool FActive = false;
};

std::vector<std::string> FolderListing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(AlbumFileTest, AFailedSaveLeavesThePreviousAlbumFileAndNoLeftovers) {
    const std::string albums = Root.MakeFolder("albums");
    const std::string albumPath = albums + "/keep.m3u";
    Album.AddEntry(Root.MakeFile("albums/a.mp3"));
    Album.SaveAlbum(albumPath);
    const std::string before = ReadWholeFile(albumPath);
    ASSERT_EQ(before, SavedAlbum({"a.mp3"}));

    for (int i = 0; i < 200; ++i) {
        Album.AddEntry(Root.MakeFile("albums/long-name-" + std::to_string(i) + ".mp3"));
    }
    {
        TFileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        try {
            Album.SaveAlbum(albumPath);
            FAIL() << "the save did not fail";
        } catch (const EMPError& error) {
            EXPECT_NE(std::string(error.what()).find(albumPath), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(ReadWholeFile(albumPath), before);

    // A folder that does not exist, and a folder in place of the file.
    EXPECT_THROW(Album.SaveAlbum(albums + "/no/such/folder.m3u"), EMPError);
    Root.MakeFolder("albums/taken.m3u/inside");
    EXPECT_THROW(Album.SaveAlbum(albums + "/taken.m3u"), EMPError);

    std::vector<std::string> expected = {"a.mp3", "keep.m3u", "taken.m3u"};
    for (int i = 0; i < 200; ++i) {
        expected.push_back("long-name-" + std::to_string(i) + ".mp3");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FolderListing(albums), expected);
}

TEST_F(AlbumFileTest, AnUnwritableFolderFailsTheSaveAndKeepsTheOldFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    const std::string albums = Root.MakeFolder("albums");
    const std::string albumPath = albums + "/keep.m3u";
    Album.AddEntry(Root.MakeFile("albums/a.mp3"));
    Album.SaveAlbum(albumPath);
    Album.AddEntry(Root.MakeFile("albums/b.mp3"));
    ::chmod(albums.c_str(), 0555);
    EXPECT_THROW(Album.SaveAlbum(albumPath), EMPError);
    ::chmod(albums.c_str(), 0755);
    EXPECT_EQ(ReadWholeFile(albumPath), SavedAlbum({"a.mp3"}));
}

TEST_F(AlbumFileTest, ANameWithALineBreakIsRefusedBeforeAnythingIsWritten) {
    const std::string albumPath = (Root.Path() / "keep.m3u").string();
    Album.AddEntry(Root.MakeFile("a.mp3"));
    Album.SaveAlbum(albumPath);
    Album.AddEntry((Root.Path() / "two\nlines.mp3").string());
    try {
        Album.SaveAlbum(albumPath);
        FAIL() << "no error";
    } catch (const EMPError& error) {
        EXPECT_NE(std::string(error.what()).find("two\nlines.mp3"), std::string::npos) << error.what();
    }
    EXPECT_EQ(ReadWholeFile(albumPath), SavedAlbum({"a.mp3"}));
}

TEST_F(AlbumFileTest, SavingKeepsTheFilesPermissionsAndALinkStaysALink) {
    const std::string real = (Root.Path() / "real.m3u").string();
    const std::string link = (Root.Path() / "link.m3u").string();
    Album.AddEntry(Root.MakeFile("a.mp3"));
    Album.SaveAlbum(real);
    ::chmod(real.c_str(), 0640);
    fs::create_symlink(real, link);
    Album.AddEntry(Root.MakeFile("b.mp3"));
    Album.SaveAlbum(link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(real), SavedAlbum({"a.mp3", "b.mp3"}));
    struct stat info;
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(AlbumFileTest, AnEmptyAlbumSavesOnlyTheHeader) {
    const std::string albumPath = (Root.Path() / "empty.m3u").string();
    Album.SaveAlbum(albumPath);
    EXPECT_TRUE(fs::is_regular_file(albumPath));
    EXPECT_EQ(ReadWholeFile(albumPath), "#EXTM3U\r\n");
    EXPECT_EQ(Album.LoadAlbum(albumPath), TAlbum::TLoadResult::Loaded);
    EXPECT_EQ(Album.MusicCount(), 0);
}

} // namespace
} // namespace tunelo
