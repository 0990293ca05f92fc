// The transport decisions: the play step in each player status, double clicks, and what the end of a
// track leads to, including decode runs.
#include <string>

#include <gtest/gtest.h>

#include "album.h"
#include "album_test_support.h"
#include "play_order.h"
#include "transport.h"

namespace tunelo {
namespace {

using test::TFakeTagReader;

class TransportTest : public ::testing::Test {
protected:
    TransportTest() : Order(std::mt19937(99)), Transport(Order) { Order.Follow(Album); }

    void Add(int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            Album.AddEntry("/m/" + std::to_string(i) + ".mp3");
        }
    }

    TFakeTagReader Tags;
    TAlbum Album{Tags.Reader()};
    TPlayOrder Order;
    TTransport Transport;
};

void ExpectDecision(const TPlayDecision& decision, TPlayAction action, int32_t entry) {
    EXPECT_EQ(decision.Action, action);
    EXPECT_EQ(decision.Entry, entry);
}

TEST_F(TransportTest, AnEmptyAlbumDoesNothingInAnyStatus) {
    for (TMP3PlayerStatus status : {mpsStopped, mpsPlaying, mpsPaused}) {
        ExpectDecision(Transport.PlayStep(status, false, 1), TPlayAction::Nothing, -1);
        ExpectDecision(Transport.DoubleClick(status, false, 1), TPlayAction::Nothing, -1);
    }
}

TEST_F(TransportTest, StoppedPlaysTheCurrentStepWhateverRowIsSelected) {
    Add(4);
    ExpectDecision(Transport.PlayStep(mpsStopped, false, 3), TPlayAction::Play, 0);
    Order.SetPlayIndex(2);
    ExpectDecision(Transport.PlayStep(mpsStopped, false, 1), TPlayAction::Play, 2);
    Order.SetRandom(true);
    ExpectDecision(Transport.PlayStep(mpsStopped, false, 1), TPlayAction::Play, Order.EntryAt(2));
}

TEST_F(TransportTest, PausedResumesWhateverRowIsSelected) {
    Add(3);
    for (int32_t row : {0, 1, 2, 3, 9}) {
        ExpectDecision(Transport.PlayStep(mpsPaused, false, row), TPlayAction::Resume, -1);
        ExpectDecision(Transport.DoubleClick(mpsPaused, false, row), TPlayAction::Resume, -1);
    }
    EXPECT_EQ(Order.PlayIndex(), 0);
}

TEST_F(TransportTest, PlayingOnTheCurrentRowDoesNothingAndOnAnotherRowSwitches) {
    Add(5);
    Order.SetRandom(true);
    const int32_t playing = Transport.PlayStep(mpsStopped, false, 1).Entry;
    ExpectDecision(Transport.PlayStep(mpsPlaying, false, playing + 1), TPlayAction::Nothing, -1);

    const int32_t other = (playing + 2) % 5;
    ExpectDecision(Transport.PlayStep(mpsPlaying, false, other + 1), TPlayAction::SwitchAndPlay, other);
    // The step of that entry in the shuffled order is now current, so the order goes on from there.
    EXPECT_EQ(Order.PlayIndex(), Order.PositionOfEntry(other));
    EXPECT_EQ(Order.CurrentEntry(), other);
    ExpectDecision(Transport.PlayStep(mpsPlaying, false, other + 1), TPlayAction::Nothing, -1);

    // A row that shows no entry (the heading, or past the list) leaves the playing track alone.
    ExpectDecision(Transport.PlayStep(mpsPlaying, false, 0), TPlayAction::Nothing, -1);
    ExpectDecision(Transport.PlayStep(mpsPlaying, false, 6), TPlayAction::Nothing, -1);
    EXPECT_EQ(Order.CurrentEntry(), other);
}

TEST_F(TransportTest, PlayingADeletedTrackAnySelectedRowSwitches) {
    Add(3);
    Transport.PlayStep(mpsStopped, false, 1); // entry 0 plays
    Album.RemoveEntry(0);
    // Row 1 now shows what was entry 1: it is not what plays.
    ExpectDecision(Transport.PlayStep(mpsPlaying, false, 1), TPlayAction::SwitchAndPlay, 0);
}

TEST_F(TransportTest, WhileDecodingThePlayStepOpensTheCurrentStepEvenWhenPlaying) {
    Add(3);
    Order.SetPlayIndex(1);
    ExpectDecision(Transport.PlayStep(mpsPlaying, true, 1), TPlayAction::Play, 1);
}

TEST_F(TransportTest, ADoubleClickWhenStoppedPlaysTheClickedEntry) {
    Add(5);
    Order.SetRandom(true);
    ExpectDecision(Transport.DoubleClick(mpsStopped, false, 4), TPlayAction::Play, 3);
    EXPECT_EQ(Order.PlayIndex(), Order.PositionOfEntry(3));
    // While playing it switches to the clicked entry like the play button.
    ExpectDecision(Transport.DoubleClick(mpsPlaying, false, 2), TPlayAction::SwitchAndPlay, 1);
    ExpectDecision(Transport.DoubleClick(mpsPlaying, false, 2), TPlayAction::Nothing, -1);
    // A click on no entry plays the current step.
    ExpectDecision(Transport.DoubleClick(mpsStopped, false, 0), TPlayAction::Play, 1);
}

TEST_F(TransportTest, TheEndOfATrackMovesOnOnlyAtTheEndOfTheData) {
    Add(3);
    Transport.PlayStep(mpsStopped, false, 1);
    EXPECT_EQ(Transport.EndOfTrack(meprStopped, false), TAfterTrack::Nothing);
    EXPECT_EQ(Transport.EndOfTrack(meprError, false), TAfterTrack::Nothing);
    EXPECT_EQ(Order.PlayIndex(), 0);
    EXPECT_EQ(Transport.EndOfTrack(meprEndOfStream, false), TAfterTrack::PlayStep);
    ExpectDecision(Transport.PlayStep(mpsStopped, false, 1), TPlayAction::Play, 1);
    EXPECT_EQ(Transport.EndOfTrack(meprEndOfStream, false), TAfterTrack::PlayStep);
    ExpectDecision(Transport.PlayStep(mpsStopped, false, 1), TPlayAction::Play, 2);
    // The end of the last track without repeat all ends playback.
    EXPECT_EQ(Transport.EndOfTrack(meprEndOfStream, false), TAfterTrack::Nothing);
    EXPECT_EQ(Order.PlayIndex(), 2);
}

TEST_F(TransportTest, ADecodeRunConvertsEachStepOnceThenCompletes) {
    Add(3);
    Order.SetPlayModeFromButtons(false, false); // repeat all does not make a decode run go round
    Order.SetRandom(false);
    Order.SetPlayIndex(0);
    ExpectDecision(Transport.PlayStep(mpsStopped, true, 1), TPlayAction::Play, 0);
    EXPECT_EQ(Transport.EndOfTrack(meprError, true), TAfterTrack::Nothing);
    EXPECT_EQ(Transport.EndOfTrack(meprEndOfStream, true), TAfterTrack::PlayStep);
    ExpectDecision(Transport.PlayStep(mpsStopped, true, 1), TPlayAction::Play, 1);
    EXPECT_EQ(Transport.EndOfTrack(meprEndOfStream, true), TAfterTrack::PlayStep);
    ExpectDecision(Transport.PlayStep(mpsStopped, true, 1), TPlayAction::Play, 2);
    EXPECT_EQ(Transport.EndOfTrack(meprEndOfStream, true), TAfterTrack::DecodeComplete);
}

TEST_F(TransportTest, PreviousAndNextWrapAndThePlayStepOpensTheirTrack) {
    Add(3);
    Order.SetPlayModeFromButtons(false, true); // repeat one does not hold Next back
    Transport.PlayStep(mpsStopped, false, 1);
    Transport.Previous();
    ExpectDecision(Transport.PlayStep(mpsStopped, false, 1), TPlayAction::Play, 2);
    Transport.Next();
    ExpectDecision(Transport.PlayStep(mpsStopped, false, 1), TPlayAction::Play, 0);
}

} // namespace
} // namespace tunelo
