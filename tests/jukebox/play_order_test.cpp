// The play order: random permutations, wrap-around, the end of a track in each play mode, and how the
// order follows the album while tracks are deleted, added, moved and the album is replaced.
#include <algorithm>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "album.h"
#include "album_test_support.h"
#include "play_order.h"

namespace tunelo {
namespace {

using test::TFakeTagReader;
using Steps = std::vector<int32_t>;

Steps AllSteps(const TPlayOrder& order) {
    Steps steps;
    for (int32_t i = 0; i < order.Count(); ++i) {
        steps.push_back(order.EntryAt(i));
    }
    return steps;
}

Steps ListOrder(int32_t count) {
    Steps steps(static_cast<size_t>(count));
    std::iota(steps.begin(), steps.end(), 0);
    return steps;
}

bool IsPermutation(const Steps& steps) {
    Steps sorted = steps;
    std::sort(sorted.begin(), sorted.end());
    return sorted == ListOrder(static_cast<int32_t>(steps.size()));
}

// An album of named files with an order following it; tracks are compared by name, since entry indices
// change as the album changes.
class PlayOrderTest : public ::testing::Test {
protected:
    explicit PlayOrderTest(uint32_t seed = 12345) : Order(std::mt19937(seed)) { Order.Follow(Album); }

    void Add(int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            Album.AddEntry("/m/" + std::to_string(Named++));
        }
    }
    std::string NameOf(int32_t entry) const {
        return entry < 0 ? "-" : std::filesystem::path(Album.Entry(entry).FileName).filename().string();
    }
    std::string Current() const { return NameOf(Order.CurrentEntry()); }
    std::vector<std::string> TrackSequence() const {
        std::vector<std::string> names;
        for (int32_t entry : AllSteps(Order)) {
            names.push_back(NameOf(entry));
        }
        return names;
    }
    // Makes step position current as the play step does.
    std::string PlayStep(int32_t position) {
        Order.SetPlayIndex(position);
        return NameOf(Order.TakeCurrent());
    }

    TFakeTagReader Tags;
    TAlbum Album{Tags.Reader()};
    TPlayOrder Order;
    int32_t Named = 0;
};

TEST_F(PlayOrderTest, StartsEmptyInListOrderWithNoModeBits) {
    EXPECT_EQ(Order.Count(), 0);
    EXPECT_EQ(Order.PlayIndex(), 0);
    EXPECT_EQ(Order.PlayMode(), 0);
    EXPECT_EQ(Order.TakeCurrent(), -1);
    EXPECT_EQ(Order.CurrentEntry(), -1);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Stop);
    Order.Next();
    Order.Previous();
    EXPECT_EQ(Order.PlayIndex(), 0);
    Add(4);
    EXPECT_EQ(AllSteps(Order), ListOrder(4));
    EXPECT_EQ(Order.EntryAt(-1), -1);
    EXPECT_EQ(Order.EntryAt(4), -1);
}

TEST_F(PlayOrderTest, RandomOnGivesAPermutationAndOffRestoresListOrderWithoutTouchingPlayIndex) {
    Add(5);
    Order.SetPlayIndex(3);
    Order.SetRandom(true);
    EXPECT_TRUE(Order.Random());
    EXPECT_EQ(Order.PlayMode(), TPlayOrder::kRandomBit);
    const Steps shuffled = AllSteps(Order);
    EXPECT_TRUE(IsPermutation(shuffled));
    EXPECT_EQ(Order.PlayIndex(), 3);
    for (int32_t entry = 0; entry < 5; ++entry) {
        EXPECT_EQ(Order.EntryAt(Order.PositionOfEntry(entry)), entry);
    }
    Order.SetRandom(false);
    EXPECT_FALSE(Order.Random());
    EXPECT_EQ(AllSteps(Order), ListOrder(5));
    EXPECT_EQ(Order.PlayIndex(), 3);
}

TEST_F(PlayOrderTest, EveryPermutationOfFiveComesUp) {
    // 120 orders, each about 42 times in 5000 draws; a shuffle that can miss some (or favours list
    // order) fails here.
    Add(5);
    std::map<Steps, int> seen;
    for (int i = 0; i < 5000; ++i) {
        Order.SetRandom(true);
        ++seen[AllSteps(Order)];
    }
    EXPECT_EQ(seen.size(), 120u);
    for (const auto& [steps, times] : seen) {
        EXPECT_LT(times, 100) << "order drawn too often";
    }
}

TEST_F(PlayOrderTest, ModeButtonsFollowTheSharedHandlersRule) {
    Order.SetPlayModeFromButtons(false, true);
    EXPECT_TRUE(Order.RepeatOne());
    EXPECT_FALSE(Order.RepeatAll());
    Order.SetPlayModeFromButtons(false, false); // repeat all down, or all three up
    EXPECT_FALSE(Order.RepeatOne());
    EXPECT_TRUE(Order.RepeatAll());
    Order.SetRandom(true);
    Order.SetPlayModeFromButtons(true, true); // normal wins
    EXPECT_EQ(Order.PlayMode(), TPlayOrder::kRandomBit);
}

TEST_F(PlayOrderTest, NextAndPreviousWrapWhateverTheMode) {
    Add(4);
    struct TMode {
        bool Random, Normal, RepeatOne;
    };
    for (const TMode mode : {TMode{false, true, false}, TMode{false, false, true}, TMode{false, false, false},
                             TMode{true, true, false}, TMode{true, false, false}}) {
        Order.SetRandom(mode.Random);
        Order.SetPlayModeFromButtons(mode.Normal, mode.RepeatOne);
        Order.SetPlayIndex(3);
        Order.Next();
        EXPECT_EQ(Order.PlayIndex(), 0) << int(Order.PlayMode());
        Order.Next();
        EXPECT_EQ(Order.PlayIndex(), 1);
        Order.Previous();
        Order.Previous();
        EXPECT_EQ(Order.PlayIndex(), 3) << int(Order.PlayMode());
    }
}

TEST_F(PlayOrderTest, EndOfTrackInEachMode) {
    Add(3);
    // Normal: one step on, and after the last playback stops where it is.
    Order.SetPlayIndex(1);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Advance);
    EXPECT_EQ(Order.PlayIndex(), 2);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Stop);
    EXPECT_EQ(Order.PlayIndex(), 2);

    // Repeat one: the same step every time; Next still moves on.
    Order.SetPlayModeFromButtons(false, true);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Replay);
        EXPECT_EQ(Order.PlayIndex(), 2);
    }
    Order.Next();
    EXPECT_EQ(Order.PlayIndex(), 0);

    // Repeat all: round and round.
    Order.SetPlayModeFromButtons(false, false);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Advance);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Advance);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Restart);
    EXPECT_EQ(Order.PlayIndex(), 0);
}

TEST_F(PlayOrderTest, TheEntryAfterTheCurrentOneIsWhereTheEndOfTheTrackLeads) {
    Add(4);
    const struct {
        bool Random;
        bool NormalDown;
        bool RepeatOneDown;
    } modes[] = {{false, true, false},
                 {false, false, true},
                 {false, false, false},
                 {true, true, false},
                 {true, false, false}};
    for (const auto& mode : modes) {
        Order.SetRandom(mode.Random);
        Order.SetPlayModeFromButtons(mode.NormalDown, mode.RepeatOneDown);
        for (int32_t step = 0; step < Order.Count(); ++step) {
            PlayStep(step);
            const int32_t predicted = Order.EntryAfterCurrent();
            const int32_t played = Order.EndOfTrack() == TEndOfTrack::Stop ? -1 : Order.TakeCurrent();
            EXPECT_EQ(NameOf(predicted), NameOf(played))
                << "random " << mode.Random << " normal " << mode.NormalDown << " step " << step;
        }
    }
    // Normal order at the last step: nothing follows. A deleted current track: not settled yet.
    Order.SetRandom(false);
    Order.SetPlayModeFromButtons(true, false);
    PlayStep(3);
    EXPECT_EQ(Order.EntryAfterCurrent(), -1);
    PlayStep(1);
    EXPECT_EQ(NameOf(Order.EntryAfterCurrent()), "2");
    Album.RemoveEntry(Order.CurrentEntry());
    EXPECT_EQ(Order.EntryAfterCurrent(), -1);
}

class RandomPassTest : public PlayOrderTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    RandomPassTest() : PlayOrderTest(GetParam()) {}
};

TEST_P(RandomPassTest, RandomWithRepeatAllPlaysANewPermutationOnEachPass) {
    Add(6);
    Order.SetRandom(true);
    Order.SetPlayModeFromButtons(false, false);
    std::vector<Steps> passes(1, AllSteps(Order));
    Steps played{Order.TakeCurrent()};
    for (int i = 1; i < 6 * 8; ++i) {
        // What a gapless player opens ahead is what the end of the track then plays, across passes too.
        const int32_t predicted = Order.EntryAfterCurrent();
        const TEndOfTrack end = Order.EndOfTrack();
        ASSERT_EQ(end, i % 6 == 0 ? TEndOfTrack::Restart : TEndOfTrack::Advance) << "track " << i;
        if (end == TEndOfTrack::Restart) {
            passes.push_back(AllSteps(Order));
        }
        played.push_back(Order.TakeCurrent());
        ASSERT_EQ(played.back(), predicted) << "track " << i;
    }
    ASSERT_EQ(passes.size(), 8u);
    for (size_t pass = 0; pass < passes.size(); ++pass) {
        const Steps heard(played.begin() + static_cast<long>(pass * 6),
                          played.begin() + static_cast<long>(pass * 6 + 6));
        EXPECT_EQ(heard, passes[pass]) << "pass " << pass;
        EXPECT_TRUE(IsPermutation(heard)) << "pass " << pass;
        if (pass > 0) {
            EXPECT_NE(heard.front(), played[pass * 6 - 1]) << "the last track is not heard twice in a row";
        }
    }
    const std::set<Steps> different(passes.begin(), passes.end());
    EXPECT_GE(different.size(), 6u) << "8 passes of 720 possible orders are nearly all different";

    // Next past the last step starts a new pass as well; Previous then stays within it.
    Order.SetPlayIndex(5);
    const int32_t predicted = Order.EntryAfterCurrent();
    Order.Next();
    EXPECT_EQ(Order.TakeCurrent(), predicted);
    EXPECT_TRUE(IsPermutation(AllSteps(Order)));
    Order.Previous();
    EXPECT_EQ(Order.PlayIndex(), 5);
}

TEST_P(RandomPassTest, WithoutRepeatAllOrInListOrderTheOrderStaysAsItIs) {
    Add(5);
    Order.SetRandom(true);
    Order.SetPlayModeFromButtons(true, false); // normal: no repeat
    const Steps shuffled = AllSteps(Order);
    Order.SetPlayIndex(4);
    Order.Next();
    EXPECT_EQ(AllSteps(Order), shuffled) << "a wrap by hand without repeat all keeps the order";
    Order.SetRandom(false);
    Order.SetPlayModeFromButtons(false, false); // repeat all in list order
    Order.SetPlayIndex(4);
    EXPECT_EQ(Order.EntryAfterCurrent(), 0);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Restart);
    EXPECT_EQ(AllSteps(Order), ListOrder(5));
}

TEST_P(RandomPassTest, AnAlbumChangeRedrawsTheNextPassAndTheGaplessGuessFollows) {
    Add(5);
    Order.SetRandom(true);
    Order.SetPlayModeFromButtons(false, false);
    PlayStep(4);
    ASSERT_GE(Order.EntryAfterCurrent(), 0);
    // A track of the album leaves while the last step plays: the pass drawn ahead must not bring it back.
    const int32_t gone = Order.EntryAt(0);
    const std::string goneName = NameOf(gone);
    Album.RemoveEntry(gone);
    const int32_t predicted = Order.EntryAfterCurrent();
    ASSERT_GE(predicted, 0);
    const std::string predictedName = NameOf(predicted);
    EXPECT_NE(predictedName, goneName);
    ASSERT_EQ(Order.EndOfTrack(), TEndOfTrack::Restart);
    EXPECT_EQ(NameOf(Order.TakeCurrent()), predictedName);
    EXPECT_EQ(Order.Count(), 4);
    EXPECT_TRUE(IsPermutation(AllSteps(Order)));
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomPassTest, ::testing::Values(1u, 7u, 12345u, 99u));

TEST_F(PlayOrderTest, DecodingWalksTheStepsOnceAndSaysWhenItIsDone) {
    Add(3);
    Order.SetPlayIndex(0);
    EXPECT_TRUE(Order.AdvanceForDecode());
    EXPECT_TRUE(Order.AdvanceForDecode());
    EXPECT_EQ(Order.PlayIndex(), 2);
    EXPECT_FALSE(Order.AdvanceForDecode());
    EXPECT_EQ(Order.PlayIndex(), 2);
}

// ---- Following the album ----

TEST_F(PlayOrderTest, InListOrderTheCurrentTrackStaysCurrentWhileOthersAreDeletedAddedAndMoved) {
    Add(6); // 0 .. 5
    EXPECT_EQ(PlayStep(3), "3");
    Album.RemoveEntry(0);
    EXPECT_EQ(AllSteps(Order), ListOrder(5));
    EXPECT_EQ(Current(), "3");
    Album.RemoveEntry(4); // "5", after the current track
    EXPECT_EQ(Current(), "3");
    Album.AddEntry("/m/new");
    Album.RemoveEntry(0); // "1"
    Album.InsertEntry(0); // and back before the current track
    EXPECT_EQ(Current(), "3");
    Album.MoveEntry(Order.CurrentEntry(), 1); // the current track dragged to the top
    EXPECT_EQ(Current(), "3");
    EXPECT_EQ(Order.PlayIndex(), 0);
    Album.MoveEntry(4, 1); // another one dragged above it
    EXPECT_EQ(Current(), "3");
    EXPECT_EQ(AllSteps(Order), ListOrder(5));
    Order.Next();
    EXPECT_EQ(NameOf(Order.TakeCurrent()), NameOf(2)); // the next row of the list
}

TEST_F(PlayOrderTest, DeletingTheCurrentTrackMakesTheFollowingOneNext) {
    Add(5);
    Order.SetRandom(true);
    const std::vector<std::string> before = TrackSequence();
    PlayStep(2);
    Album.RemoveEntry(Order.CurrentEntry());
    EXPECT_EQ(Order.CurrentEntry(), -1);
    EXPECT_TRUE(IsPermutation(AllSteps(Order)));

    // The end of the deleted track plays the step after it, not the one after that.
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Advance);
    EXPECT_EQ(NameOf(Order.TakeCurrent()), before[3]);

    PlayStep(1);
    Album.RemoveEntry(Order.CurrentEntry()); // before[1]
    Order.Next();
    EXPECT_EQ(NameOf(Order.TakeCurrent()), before[3]);

    PlayStep(1);
    Album.RemoveEntry(Order.CurrentEntry()); // before[3]
    Order.Previous();
    EXPECT_EQ(NameOf(Order.TakeCurrent()), before[0]);
}

TEST_F(PlayOrderTest, DeletingTheCurrentTrackAtTheLastStepEndsOrWrapsAsTheModeSays) {
    Add(4);
    PlayStep(3);
    Album.RemoveEntry(3);
    EXPECT_EQ(Order.PlayIndex(), 3); // past the end, while the deleted track still plays
    EXPECT_EQ(Order.EntryAt(Order.PlayIndex()), -1);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Stop);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Stop);
    // Play again afterwards starts from the first step rather than reading past the order.
    EXPECT_EQ(NameOf(Order.TakeCurrent()), "0");

    PlayStep(2);
    Album.RemoveEntry(2);
    Order.SetPlayModeFromButtons(false, false);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Restart);
    EXPECT_EQ(Order.PlayIndex(), 0);

    PlayStep(1);
    Album.RemoveEntry(1);
    Order.Next();
    EXPECT_EQ(NameOf(Order.TakeCurrent()), "0");

    // Repeat one cannot repeat a deleted track; the next one plays.
    Add(2); // "4", "5": album 0, 4, 5
    Order.SetPlayModeFromButtons(false, true);
    PlayStep(1);
    Album.RemoveEntry(1);
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Advance);
    EXPECT_EQ(NameOf(Order.TakeCurrent()), "5");
}

TEST_F(PlayOrderTest, InRandomOrderDeletionsLeaveTheOrderAndTheCurrentTrackKeepsItsPlace) {
    Add(8);
    Order.SetRandom(true);
    const std::string playing = PlayStep(4);
    std::vector<std::string> remaining = TrackSequence();
    for (const std::string& victim : {remaining[0], remaining[7], remaining[2]}) {
        const auto gone = std::find(remaining.begin(), remaining.end(), victim);
        remaining.erase(gone);
        for (int32_t i = 0; i < Album.MusicCount(); ++i) {
            if (NameOf(i) == victim) {
                Album.RemoveEntry(i);
                break;
            }
        }
        EXPECT_EQ(TrackSequence(), remaining) << "after deleting " << victim;
        EXPECT_EQ(Current(), playing);
    }
    EXPECT_EQ(Order.PlayIndex(), 2);
}

TEST_F(PlayOrderTest, InRandomOrderAnAddedTrackJoinsSomewhereAfterTheCurrentOne) {
    Add(6);
    Order.SetRandom(true);
    const std::string playing = PlayStep(2);
    const std::vector<std::string> before = TrackSequence();
    int32_t lastStep = 0;
    for (int i = 0; i < 60; ++i) {
        Album.AddEntry("/m/added" + std::to_string(i));
        const std::vector<std::string> now = TrackSequence();
        // Steps up to the current one are untouched.
        ASSERT_TRUE(std::equal(before.begin(), before.begin() + 3, now.begin()));
        EXPECT_EQ(Current(), playing);
        const int32_t place = Order.PositionOfEntry(Album.MusicCount() - 1);
        EXPECT_GT(place, 2);
        if (place == Order.Count() - 1) {
            ++lastStep;
        }
        ASSERT_TRUE(IsPermutation(AllSteps(Order)));
    }
    // Not simply appended: a random place among 4 to 63 steps is rarely the last one.
    EXPECT_LT(lastStep, 15);
}

TEST_F(PlayOrderTest, InRandomOrderMovedTracksKeepTheirSteps) {
    Add(6);
    Order.SetRandom(true);
    const std::string playing = PlayStep(3);
    const std::vector<std::string> before = TrackSequence();
    Album.MoveEntry(5, 1);
    Album.MoveEntry(0, 0);
    Album.MoveEntry(Order.CurrentEntry(), 2);
    EXPECT_EQ(TrackSequence(), before);
    EXPECT_EQ(Current(), playing);
}

TEST_F(PlayOrderTest, AClearedOrReplacedAlbumGetsAFreshPermutation) {
    Add(5);
    Order.SetRandom(true);
    PlayStep(3);
    std::map<std::string, int> firstTracks;
    std::set<std::vector<std::string>> orders;
    for (int round = 0; round < 200; ++round) {
        Album.Clear();
        EXPECT_EQ(Order.Count(), 0);
        EXPECT_EQ(Order.PlayIndex(), 0);
        for (const char* name : {"a", "b", "c", "d", "e"}) {
            Album.AddEntry(std::string("/m/") + name);
        }
        ASSERT_TRUE(IsPermutation(AllSteps(Order)));
        ++firstTracks[NameOf(Order.EntryAt(0))];
        orders.insert(TrackSequence());
    }
    // Every track can come first (a load that only appended after step 0 would always start with "a").
    EXPECT_EQ(firstTracks.size(), 5u);
    EXPECT_GT(orders.size(), 60u);
    // The track that was playing before the clear is over; its end starts the new album's first step.
    EXPECT_EQ(Order.EndOfTrack(), TEndOfTrack::Advance);
    EXPECT_EQ(Order.PlayIndex(), 0);
}

TEST_F(PlayOrderTest, DeletingEveryEntryIsLikeAClear) {
    Add(3);
    Order.SetRandom(true);
    PlayStep(1);
    while (Album.MusicCount() > 0) {
        Album.RemoveEntry(0);
    }
    EXPECT_EQ(Order.Count(), 0);
    EXPECT_EQ(Order.PlayIndex(), 0);
    EXPECT_EQ(Order.TakeCurrent(), -1);
    Add(2);
    EXPECT_TRUE(IsPermutation(AllSteps(Order)));
    Order.Next();
    EXPECT_EQ(Order.PlayIndex(), 0);
}

// Any mix of album changes and transport moves keeps the order a permutation of the album's entries and
// PlayIndex on a step of it (or just past the last one while the removed current track was last).
class PlayOrderStressTest : public PlayOrderTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    PlayOrderStressTest() : PlayOrderTest(GetParam()) {}
};

TEST_P(PlayOrderStressTest, InvariantsHoldUnderRandomOperations) {
    std::mt19937 dice(GetParam() * 7 + 1);
    auto roll = [&](int32_t n) { return std::uniform_int_distribution<int32_t>(0, n - 1)(dice); };
    for (int step = 0; step < 4000; ++step) {
        const int32_t count = Album.MusicCount();
        const std::string before = Current();
        std::string removed;
        const int32_t operation = roll(13);
        switch (operation) {
        case 0:
        case 1:
            if (count < 40) {
                Album.AddEntry("/m/" + std::to_string(Named++));
            }
            break;
        case 2:
            if (count > 0) {
                const int32_t index = roll(count);
                removed = NameOf(index);
                Album.RemoveEntry(index);
            }
            break;
        case 3:
            if (count > 0) {
                Album.MoveEntry(roll(count), roll(count + 3) - 1);
            }
            break;
        case 4:
            if (count > 0 && count < 40) {
                const int32_t index = roll(count);
                removed = NameOf(index);
                Album.RemoveEntry(index);
                Album.InsertEntry(roll(count));
            }
            break;
        case 5:
            if (roll(10) == 0) {
                Album.Clear();
            }
            break;
        case 6:
            Order.SetRandom(roll(2) == 0);
            break;
        case 7:
            Order.SetPlayModeFromButtons(roll(2) == 0, roll(2) == 0);
            break;
        case 8:
            Order.Next();
            break;
        case 9:
            Order.Previous();
            break;
        case 10:
            Order.EndOfTrack();
            break;
        case 11:
            Order.SetPlayIndex(roll(count + 2) - 1);
            break;
        default:
            Order.TakeCurrent();
            break;
        }
        ASSERT_EQ(Order.Count(), Album.MusicCount()) << "step " << step;
        // Album changes never move PlayIndex off the current track while that track is in the album.
        if (operation <= 4 && before != "-" && removed != before) {
            ASSERT_EQ(Current(), before) << "step " << step;
        }
        const Steps steps = AllSteps(Order);
        ASSERT_TRUE(IsPermutation(steps)) << "step " << step;
        if (!Order.Random()) {
            ASSERT_EQ(steps, ListOrder(Order.Count())) << "step " << step;
        }
        ASSERT_GE(Order.PlayIndex(), 0) << "step " << step;
        ASSERT_LE(Order.PlayIndex(), std::max(Order.Count(), 0)) << "step " << step;
        if (Order.PlayIndex() == Order.Count()) {
            ASSERT_EQ(Order.CurrentEntry(), -1) << "step " << step;
        }
        const int32_t current = Order.CurrentEntry();
        ASSERT_GE(current, -1);
        ASSERT_LT(current, Order.Count());
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, PlayOrderStressTest, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u));

} // namespace
} // namespace tunelo
