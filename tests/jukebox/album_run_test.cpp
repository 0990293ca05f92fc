// Which entries play among tracks of their own album, by the play mode.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "album.h"
#include "album_run.h"
#include "play_order.h"

namespace tunelo {
namespace {

// The album name is the file name up to its first '-': "/m/x-1" belongs to album "x", "/m/-1" to none.
TMusicList TagsFromName(const std::string& path) {
    TMusicList tags;
    const std::string name = path.substr(path.rfind('/') + 1);
    tags.Album = name.substr(0, name.find('-'));
    return tags;
}

std::string Runs(const TAlbum& album, const TPlayOrder& order) {
    std::string runs;
    for (int32_t entry = 0; entry < album.MusicCount(); ++entry) {
        runs += PlaysInAlbumRun(album, order, entry) ? 'A' : 't';
    }
    return runs;
}

TEST(AlbumRun, NeighboursInPlayOrderByMode) {
    TAlbum album(TagsFromName);
    TPlayOrder order(std::mt19937(1));
    order.Follow(album);
    for (const char* name : {"x-1", "x-2", "y-1", "-1", "-2", "x-3", "z-1", "z-2"}) {
        album.AddEntry(std::string("/m/") + name);
    }
    order.SetPlayModeFromButtons(true, false);
    EXPECT_EQ(Runs(album, order), "AAttttAA") << "normal: untitled neighbours are no album";

    order.SetPlayModeFromButtons(false, true);
    EXPECT_EQ(Runs(album, order), "tttttttt") << "repeat one plays each track on its own";

    // Repeat all wraps round: the last "z" meets the first "x" only when they share an album.
    album.AddEntry("/m/x-4");
    order.SetPlayModeFromButtons(false, false);
    ASSERT_TRUE(order.RepeatAll());
    EXPECT_EQ(Runs(album, order), "AAttttAAA");
}

} // namespace
} // namespace tunelo
