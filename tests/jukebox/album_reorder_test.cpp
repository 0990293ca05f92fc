// Putting the album in a new order (a sort by a column): every entry lands where the order says, the play
// order keeps the current track and its steps, and an order that is not a permutation changes nothing.
#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "album.h"
#include "album_test_support.h"
#include "play_order.h"

namespace tunelo {
namespace {

using test::FileNames;
using test::TFakeTagReader;
using Order = std::vector<int32_t>;

struct TReorderCase {
    const char* Name;
    Order NewOrder;
    bool Random;
};

class AlbumReorderTest : public ::testing::TestWithParam<TReorderCase> {
protected:
    AlbumReorderTest() : Steps(std::mt19937(4242)) {
        Steps.Follow(Album);
        for (int32_t i = 0; i < 6; ++i) {
            Album.AddEntry("/m/" + std::to_string(i));
        }
    }
    std::string NameOf(int32_t entry) const { return Album.Entry(entry).FileName; }
    std::vector<std::string> StepNames() const {
        std::vector<std::string> names;
        for (int32_t step = 0; step < Steps.Count(); ++step) {
            names.push_back(NameOf(Steps.EntryAt(step)));
        }
        return names;
    }

    TFakeTagReader Tags;
    TAlbum Album{Tags.Reader()};
    TPlayOrder Steps;
};

TEST_P(AlbumReorderTest, EntriesLandWhereTheOrderSaysAndThePlayOrderFollows) {
    const TReorderCase& param = GetParam();
    Steps.SetRandom(param.Random);
    Steps.SetPlayIndex(2);
    const std::string playing = NameOf(Steps.TakeCurrent());
    const std::vector<std::string> before = FileNames(Album);
    const std::vector<std::string> stepsBefore = StepNames();
    int32_t changes = 0;
    Album.OnChanged = [&] { ++changes; };

    Album.Reorder(param.NewOrder);

    std::vector<std::string> expected;
    for (const int32_t index : param.NewOrder) {
        expected.push_back(before[static_cast<size_t>(index)]);
    }
    EXPECT_EQ(FileNames(Album), expected);
    EXPECT_EQ(changes, expected == before ? 0 : 1) << "the grid is rewritten once";
    EXPECT_EQ(NameOf(Steps.CurrentEntry()), playing) << "the playing track stays the current one";
    if (param.Random) {
        EXPECT_EQ(StepNames(), stepsBefore) << "in random order each step keeps its track";
    } else {
        EXPECT_EQ(StepNames(), expected) << "in list order the steps follow the new list";
    }

    // The inverse order brings the album back.
    Order inverse(param.NewOrder.size());
    for (size_t i = 0; i < param.NewOrder.size(); ++i) {
        inverse[static_cast<size_t>(param.NewOrder[i])] = static_cast<int32_t>(i);
    }
    Album.Reorder(inverse);
    EXPECT_EQ(FileNames(Album), before);
    EXPECT_EQ(NameOf(Steps.CurrentEntry()), playing);
}

INSTANTIATE_TEST_SUITE_P(Orders, AlbumReorderTest,
                         ::testing::Values(TReorderCase{"Same", {0, 1, 2, 3, 4, 5}, false},
                                           TReorderCase{"Reversed", {5, 4, 3, 2, 1, 0}, false},
                                           TReorderCase{"ReversedRandom", {5, 4, 3, 2, 1, 0}, true},
                                           TReorderCase{"Rotated", {1, 2, 3, 4, 5, 0}, false},
                                           TReorderCase{"Scattered", {3, 0, 5, 2, 4, 1}, false},
                                           TReorderCase{"ScatteredRandom", {3, 0, 5, 2, 4, 1}, true}),
                         [](const ::testing::TestParamInfo<TReorderCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(AlbumReorder, AnOrderThatIsNotAPermutationChangesNothing) {
    TFakeTagReader tags;
    TAlbum album(tags.Reader());
    for (int32_t i = 0; i < 3; ++i) {
        album.AddEntry("/m/" + std::to_string(i));
    }
    const std::vector<std::string> before = FileNames(album);
    for (const Order& bad :
         {Order{0, 1}, Order{0, 1, 2, 3}, Order{0, 0, 1}, Order{0, 1, 3}, Order{-1, 0, 1}}) {
        EXPECT_THROW(album.Reorder(bad), EMPError);
        EXPECT_EQ(FileNames(album), before);
    }
}

} // namespace
} // namespace tunelo
