// The album list: adding with tag text, removing, re-inserting, drag moves, the capacity, and the events
// the window and the play order rely on.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "album.h"
#include "album_test_support.h"

namespace tunelo {
namespace {

using test::TFakeTagReader;

// Titles in list order, the fake reader's "T:<name>" without the prefix.
std::vector<std::string> Order(const TAlbum& album) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < album.MusicCount(); ++i) {
        names.push_back(album.Entry(i).Title.substr(2));
    }
    return names;
}

struct TEvents {
    std::vector<std::string> Log;
    int32_t Changes = 0;

    void Watch(TAlbum& album) {
        album.OnChanged = [this] { ++Changes; };
        album.OnInserted = [this](int32_t index) { Log.push_back("insert " + std::to_string(index)); };
        album.OnRemoved = [this](int32_t index) { Log.push_back("remove " + std::to_string(index)); };
        album.OnMoved = [this](int32_t from, int32_t to) {
            Log.push_back("move " + std::to_string(from) + " " + std::to_string(to));
        };
        album.OnCleared = [this] { Log.push_back("clear"); };
    }
};

class AlbumTest : public ::testing::Test {
protected:
    void AddNamed(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            Album.AddEntry(std::string("/music/") + name);
        }
    }

    TFakeTagReader Tags;
    TAlbum Album{Tags.Reader()};
};

TEST_F(AlbumTest, AddStoresThePathAndEveryTagFieldAndReportsTheNewIndex) {
    TEvents events;
    events.Watch(Album);
    Album.AddEntry("/music/pop/a.mp3");
    Album.AddEntry("/music/./pop/../b.mp3");

    ASSERT_EQ(Album.MusicCount(), 2);
    const TMusicList& first = Album.Entry(0);
    EXPECT_EQ(first.FileName, "/music/pop/a.mp3");
    EXPECT_EQ(first.Title, "T:a.mp3");
    EXPECT_EQ(first.Artist, "A:a.mp3");
    EXPECT_EQ(first.Album, "Album");
    EXPECT_EQ(first.Year, "1999");
    EXPECT_EQ(first.Comment, "c");
    EXPECT_EQ(first.Genre, "Rock");
    EXPECT_EQ(first.Track, "7");
    // Stored as a full path without "." and ".." steps; the reader got the path as it was given.
    EXPECT_EQ(Album.Entry(1).FileName, "/music/b.mp3");
    EXPECT_EQ(Tags.Asked, (std::vector<std::string>{"/music/pop/a.mp3", "/music/./pop/../b.mp3"}));
    EXPECT_EQ(events.Log, (std::vector<std::string>{"insert 0", "insert 1"}));
    EXPECT_EQ(events.Changes, 2);
}

TEST_F(AlbumTest, RelativePathsAreStoredAsFullPaths) {
    test::TTempFolder folder;
    test::TCurrentFolder inside(folder.Path());
    Album.AddEntry("sub/x.mp3");
    EXPECT_EQ(Album.Entry(0).FileName, (folder.Path() / "sub/x.mp3").string());
}

TEST_F(AlbumTest, AFileTheReaderRefusesIsNotAddedAndNothingIsReported) {
    AddNamed({"A"});
    TEvents events;
    events.Watch(Album);
    try {
        Album.AddEntry("/music/broken.mp3");
        FAIL() << "no error";
    } catch (const EMPError& error) {
        EXPECT_STREQ(error.what(), "unknown MPEG Audio format.");
    }
    EXPECT_EQ(Order(Album), (std::vector<std::string>{"A"}));
    EXPECT_TRUE(events.Log.empty());
    EXPECT_EQ(events.Changes, 0);
}

TEST_F(AlbumTest, The1025thFileIsRefusedWithoutOpeningItAndTheListStaysWhole) {
    for (int32_t i = 0; i < TAlbum::kCapacity; ++i) {
        Album.AddEntry("/music/" + std::to_string(i) + ".mp3");
    }
    ASSERT_EQ(Album.MusicCount(), 1024);
    const size_t asked = Tags.Asked.size();
    try {
        Album.AddEntry("/music/one-too-many.mp3");
        FAIL() << "no error";
    } catch (const EMPError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("full"), std::string::npos) << message;
        EXPECT_NE(message.find("1024"), std::string::npos) << message;
        EXPECT_NE(message.find("/music/one-too-many.mp3"), std::string::npos) << message;
    }
    EXPECT_EQ(Tags.Asked.size(), asked);
    EXPECT_EQ(Album.MusicCount(), 1024);
    EXPECT_EQ(Album.Entry(1023).FileName, "/music/1023.mp3");

    // Re-inserting into a full list is refused the same way.
    Album.RemoveEntry(5);
    Album.AddEntry("/music/fills-again.mp3");
    EXPECT_THROW(Album.InsertEntry(0), EMPError);
    EXPECT_EQ(Album.MusicCount(), 1024);
    EXPECT_EQ(Album.Entry(0).FileName, "/music/0.mp3");
}

TEST_F(AlbumTest, RemoveMovesTheEntryIntoTheHoldingRecordAndTheRestDown) {
    AddNamed({"A", "B", "C", "D"});
    TEvents events;
    events.Watch(Album);
    Album.RemoveEntry(1);
    EXPECT_EQ(Order(Album), (std::vector<std::string>{"A", "C", "D"}));
    EXPECT_EQ(Album.Holding().FileName, "/music/B");
    EXPECT_EQ(Album.Holding().Title, "T:B");
    Album.RemoveEntry(2);
    Album.RemoveEntry(0);
    Album.RemoveEntry(0);
    EXPECT_EQ(Album.MusicCount(), 0);
    EXPECT_EQ(events.Log, (std::vector<std::string>{"remove 1", "remove 2", "remove 0", "remove 0"}));
    EXPECT_EQ(events.Changes, 4);
}

TEST_F(AlbumTest, IndicesOutsideTheListRaiseTheListIndexErrorAndChangeNothing) {
    AddNamed({"A", "B"});
    TEvents events;
    events.Watch(Album);
    for (int32_t index : {-1, 2, 1000}) {
        try {
            Album.RemoveEntry(index);
            FAIL() << "no error for " << index;
        } catch (const EMPError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
        }
        EXPECT_THROW(Album.Entry(index), EMPError);
    }
    EXPECT_THROW(Album.InsertEntry(-1), EMPError);
    EXPECT_EQ(Order(Album), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(events.Log.empty());
    EXPECT_EQ(events.Changes, 0);
}

TEST_F(AlbumTest, InsertPutsTheHoldingEntryBackAndAnIndexPastTheEndAppends) {
    AddNamed({"A", "B", "C"});
    TEvents events;
    events.Watch(Album);
    Album.RemoveEntry(2);
    Album.InsertEntry(0);
    EXPECT_EQ(Order(Album), (std::vector<std::string>{"C", "A", "B"}));
    Album.RemoveEntry(0);
    Album.InsertEntry(99);
    EXPECT_EQ(Order(Album), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(events.Log, (std::vector<std::string>{"remove 2", "insert 0", "remove 0", "insert 2"}));
}

struct TDragCase {
    int32_t Source;
    int32_t DropRow;
    std::vector<std::string> Expected;
    int32_t NewIndex;
};

TEST_F(AlbumTest, DragsMoveOneEntryAndNeverLoseAny) {
    const std::vector<TDragCase> cases = {
        {0, 3, {"B", "C", "A", "D"}, 2},  // A onto C's row
        {3, 2, {"A", "D", "B", "C"}, 1},  // D onto B's row
        {3, 1, {"D", "A", "B", "C"}, 0},  // the last above the first
        {0, 4, {"B", "C", "D", "A"}, 3},  // the first onto the last row
        {1, 2, {"A", "B", "C", "D"}, 1},  // onto its own row
        {1, 0, {"A", "C", "D", "B"}, 3},  // onto the heading: to the end
        {1, 5, {"A", "C", "D", "B"}, 3},  // below the last row: to the end
        {2, -1, {"A", "B", "D", "C"}, 3}, // outside the grid: to the end
        {3, 0, {"A", "B", "C", "D"}, 3},  // the last onto the heading stays last
    };
    for (const TDragCase& drag : cases) {
        TFakeTagReader tags;
        TAlbum album(tags.Reader());
        for (const char* name : {"A", "B", "C", "D"}) {
            album.AddEntry(std::string("/music/") + name);
        }
        EXPECT_EQ(album.MoveEntry(drag.Source, drag.DropRow), drag.NewIndex)
            << drag.Source << " onto row " << drag.DropRow;
        EXPECT_EQ(Order(album), drag.Expected) << drag.Source << " onto row " << drag.DropRow;
        // The entry travels whole, tags and all.
        EXPECT_EQ(album.Entry(drag.NewIndex).Artist,
                  "A:" + drag.Expected[static_cast<size_t>(drag.NewIndex)]);
    }
}

TEST_F(AlbumTest, DragEventsNameWhereTheEntryWentAndABadSourceChangesNothing) {
    AddNamed({"A", "B", "C", "D"});
    TEvents events;
    events.Watch(Album);
    Album.MoveEntry(3, 1);
    Album.MoveEntry(0, 0);
    Album.MoveEntry(2, 3); // own row: a change notice but no move
    EXPECT_EQ(events.Log, (std::vector<std::string>{"move 3 0", "move 0 3"}));
    EXPECT_EQ(events.Changes, 3);

    EXPECT_EQ(Album.MoveEntry(-1, 2), -1);
    EXPECT_EQ(Album.MoveEntry(4, 2), -1);
    EXPECT_EQ(Order(Album), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(events.Changes, 3);

    TFakeTagReader tags;
    TAlbum empty(tags.Reader());
    EXPECT_EQ(empty.MoveEntry(0, 0), -1);
    EXPECT_EQ(empty.MusicCount(), 0);
}

TEST_F(AlbumTest, ClearEmptiesTheListAndSaysSo) {
    AddNamed({"A", "B"});
    TEvents events;
    events.Watch(Album);
    Album.Clear();
    EXPECT_EQ(Album.MusicCount(), 0);
    EXPECT_EQ(events.Log, (std::vector<std::string>{"clear"}));
    EXPECT_EQ(events.Changes, 1);
    AddNamed({"C"});
    EXPECT_EQ(Order(Album), (std::vector<std::string>{"C"}));
}

TEST_F(AlbumTest, AnUpdateBracketReportsOneChangeAtItsEndAndNoneWhenNothingChanged) {
    TEvents events;
    events.Watch(Album);
    Album.BeginUpdate();
    Album.BeginUpdate();
    AddNamed({"A", "B", "C"});
    Album.RemoveEntry(0);
    Album.EndUpdate();
    EXPECT_EQ(events.Changes, 0);
    Album.EndUpdate();
    EXPECT_EQ(events.Changes, 1);
    // Structural events are never held back: the play order must see each one.
    EXPECT_EQ(events.Log.size(), 4u);

    Album.BeginUpdate();
    Album.EndUpdate();
    EXPECT_EQ(events.Changes, 1);
    Album.EndUpdate(); // unbalanced: ignored
    AddNamed({"D"});
    EXPECT_EQ(events.Changes, 2);
}

TEST(GridTitle, TheTitleOrElseTheFileNameWithoutFolderAndExtension) {
    TMusicList entry;
    entry.FileName = "/music/pop/My Song.final.mp3";
    EXPECT_EQ(GridTitle(entry), "My Song.final");
    entry.Title = "Real title";
    EXPECT_EQ(GridTitle(entry), "Real title");
    entry.Title.clear();
    entry.FileName = "/music/noextension";
    EXPECT_EQ(GridTitle(entry), "noextension");
}

} // namespace
} // namespace tunelo
