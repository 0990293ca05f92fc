// Random order with repeat all in the window: each pass through the album is a new permutation, and the
// track the player goes on into without a gap is the one the play order then names as current.
#include <random>
#include <set>
#include <string>
#include <vector>

#include "window_test_support.h"

namespace tunelo::test {
namespace {

class RandomPassWindowTest : public WindowTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(RandomPassWindowTest, EachPassIsANewPermutationPlayedWithoutAMismatch) {
    MakeWindow();
    // A repeatable order: the window's play order with a seeded generator, following the album as before.
    Window->PlayOrder = TPlayOrder(std::mt19937(GetParam()));
    Window->PlayOrder.Follow(Window->Album);
    std::vector<std::string> files;
    for (const char* name : {"a", "b", "c", "d"}) {
        files.push_back(LongStream(std::string("pass/") + name + ".mp2", 1));
    }
    AddThroughDialog(files);
    Window->RAND->click();
    Window->REPALL->click();
    ASSERT_TRUE(Window->PlayOrder.Random());
    ASSERT_TRUE(Window->PlayOrder.RepeatAll());

    std::vector<std::string> played;
    int mismatches = 0;
    const auto watch = [&] {
        const std::string now = PlayingFile();
        if (!now.empty() && (played.empty() || played.back() != now)) {
            played.push_back(now);
            // What the player carried on into must be what the window takes as the current track.
            const int32_t current = Window->PlayOrder.CurrentEntry();
            if (current < 0 || Window->Album.Entry(current).FileName != now) {
                ++mismatches;
            }
        }
        return played.size() >= 12;
    };
    // Play from the first step, so that the heard tracks fall into whole passes.
    Window->PLAYClick();
    ASSERT_TRUE(ProcessEventsUntil(watch, 30000)) << played.size() << " tracks heard";
    Window->STOPClick();

    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(ErrorBoxes().empty());
    std::set<std::vector<std::string>> passes;
    for (size_t pass = 0; pass < 3; ++pass) {
        const std::vector<std::string> heard(played.begin() + long(pass * 4),
                                             played.begin() + long(pass * 4 + 4));
        EXPECT_EQ(std::set<std::string>(heard.begin(), heard.end()).size(), 4u)
            << "pass " << pass << " plays each once";
        if (pass > 0) {
            EXPECT_NE(heard.front(), played[pass * 4 - 1]) << "no track twice in a row across passes";
        }
        passes.insert(heard);
    }
    EXPECT_GE(passes.size(), 2u) << "the passes are not one order repeated";
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomPassWindowTest, ::testing::Values(3u, 11u));

} // namespace
} // namespace tunelo::test
