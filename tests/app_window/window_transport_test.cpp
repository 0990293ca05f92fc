// The window's transport on a real album player (null sound device): the play step, pause, stop,
// previous and next, the end of a track by play mode, random order, the position bar, volume and balance.
#include <QSignalSpy>
#include <QTest>

#include <set>

#include "window_test_support.h"

namespace tunelo::test {
namespace {

class TransportTest : public WindowTest {
protected:
    // An album of `count` streams of five seconds each: long enough that none ends during a test.
    void MakeAlbum(int count) {
        MakeWindow();
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) {
            files.push_back(LongStream("album/track" + std::to_string(i) + ".mp3", 10));
        }
        AddThroughDialog(files);
        ASSERT_EQ(Window->Album.MusicCount(), count);
        Files = files;
    }

    // What the player reports when a track has run to its end: stopped, the file still open.
    void EndOfTrack() {
        Window->MP3Player1->Stop();
        Window->MP3Player1EndPlay(meprEndOfStream);
    }

    void ClickMode(QToolButton* button) { button->click(); }

    std::vector<std::string> Files;
};

TEST_F(TransportTest, NextAndPreviousWrapWhateverThePlayMode) {
    MakeAlbum(3);
    for (QToolButton* mode : {Window->NRM, Window->REPONE, Window->REPALL}) {
        SCOPED_TRACE(mode->toolTip().toStdString());
        if (!mode->isChecked()) {
            ClickMode(mode);
        }
        Window->SelectRow(3);
        Window->MListDblClick();
        ASSERT_EQ(PlayingFile(), Files[2]);

        Window->FFClick();
        EXPECT_EQ(PlayingFile(), Files[0]);
        EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
        EXPECT_EQ(Window->SelectedRow(), 1);
        EXPECT_FALSE(Window->SkipBusy);

        Window->REWClick();
        EXPECT_EQ(PlayingFile(), Files[2]);
        EXPECT_EQ(Window->SelectedRow(), 3);
        Window->REWClick();
        EXPECT_EQ(PlayingFile(), Files[1]);
    }
}

TEST_F(TransportTest, EndOfTrackFollowsThePlayMode) {
    MakeAlbum(3);
    // Normal: the next track, and after the last one playback ends.
    Window->SelectRow(2);
    Window->MListDblClick();
    ASSERT_EQ(PlayingFile(), Files[1]);
    EndOfTrack();
    EXPECT_EQ(PlayingFile(), Files[2]);
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    EndOfTrack();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
    EXPECT_EQ(PlayingFile(), Files[2]) << "nothing else was opened";
    EXPECT_EQ(Window->PlayOrder.PlayIndex(), 2);

    // Repeat one: the same track at every end; Next still moves on.
    ClickMode(Window->REPONE);
    EXPECT_TRUE(Window->PlayOrder.RepeatOne());
    Window->SelectRow(2);
    Window->MListDblClick();
    for (int i = 0; i < 3; ++i) {
        EndOfTrack();
        EXPECT_EQ(PlayingFile(), Files[1]);
        EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    }
    Window->FFClick();
    EXPECT_EQ(PlayingFile(), Files[2]);

    // Repeat all: after the last track the first.
    ClickMode(Window->REPALL);
    EXPECT_TRUE(Window->PlayOrder.RepeatAll());
    EXPECT_FALSE(Window->REPONE->isChecked());
    EndOfTrack();
    EXPECT_EQ(PlayingFile(), Files[0]);
    EXPECT_EQ(Window->SelectedRow(), 1);

    // All three up counts as repeat all.
    ClickMode(Window->REPALL);
    EXPECT_FALSE(Window->NRM->isChecked() || Window->REPONE->isChecked() || Window->REPALL->isChecked());
    EXPECT_TRUE(Window->PlayOrder.RepeatAll());

    // Other end reasons move nothing.
    Window->MP3Player1EndPlay(meprStopped);
    Window->MP3Player1EndPlay(meprError);
    EXPECT_EQ(PlayingFile(), Files[0]);
}

TEST_F(TransportTest, RandomOrderIsAPermutationAndSwitchingItOffRestoresListOrder) {
    MakeWindow();
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) {
        files.push_back(Copy("l2-mpeg1-44k.mp2", "r/" + std::to_string(i) + ".mp3"));
    }
    AddThroughDialog(files);
    Window->PlayOrder.SetPlayIndex(3);

    bool shuffledOnce = false;
    for (int round = 0; round < 10; ++round) {
        Window->RAND->click();
        ASSERT_TRUE(Window->RAND->isChecked());
        ASSERT_TRUE(Window->PlayOrder.Random());
        std::set<int32_t> entries;
        bool identity = true;
        for (int32_t step = 0; step < 5; ++step) {
            entries.insert(Window->PlayOrder.EntryAt(step));
            identity = identity && Window->PlayOrder.EntryAt(step) == step;
        }
        EXPECT_EQ(entries, (std::set<int32_t>{0, 1, 2, 3, 4}));
        shuffledOnce = shuffledOnce || !identity;
        EXPECT_EQ(Window->PlayOrder.PlayIndex(), 3);

        Window->RAND->click();
        ASSERT_FALSE(Window->PlayOrder.Random());
        for (int32_t step = 0; step < 5; ++step) {
            EXPECT_EQ(Window->PlayOrder.EntryAt(step), step);
        }
        EXPECT_EQ(Window->PlayOrder.PlayIndex(), 3);
    }
    EXPECT_TRUE(shuffledOnce) << "ten shuffles of five entries all came out in list order";
}

TEST_F(TransportTest, RandomPlayFollowsTheShuffledOrder) {
    MakeAlbum(4);
    Window->RAND->click();
    Window->PlayOrder.SetPlayIndex(0);
    Window->PLAYClick();
    for (int32_t step = 0; step < 4; ++step) {
        ASSERT_EQ(PlayingFile(), Files[static_cast<size_t>(Window->PlayOrder.EntryAt(step))])
            << "step " << step;
        EXPECT_EQ(Window->SelectedRow(), Window->PlayOrder.EntryAt(step) + 1);
        EndOfTrack();
    }
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
}

TEST_F(TransportTest, PlayWhilePlayingKeepsTheCurrentRowAndSwitchesToAnother) {
    MakeAlbum(3);
    Window->SelectRow(1);
    Window->PLAYClick();
    ASSERT_EQ(PlayingFile(), Files[0]);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Window->MP3Player1->Position() >= 300; }));

    // The current row again: the track goes on where it was.
    Window->PLAYClick();
    EXPECT_EQ(PlayingFile(), Files[0]);
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    EXPECT_GE(Window->MP3Player1->Position(), 300) << "the track was started again";

    // Another row: that one plays from its start.
    Window->SelectRow(3);
    Window->PLAYClick();
    EXPECT_EQ(PlayingFile(), Files[2]);
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    EXPECT_EQ(Window->PlayOrder.CurrentEntry(), 2);
    EXPECT_LT(Window->MP3Player1->Position(), 300);

    // And the end of that track goes on from there.
    EndOfTrack();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped) << "the last entry was playing";
}

TEST_F(TransportTest, PlayWhilePausedResumesWhateverRowIsSelected) {
    MakeAlbum(3);
    Window->SelectRow(1);
    Window->PLAYClick();
    Window->PAUSEClick();
    ASSERT_EQ(Window->MP3Player1->Status(), mpsPaused);

    Window->SelectRow(2);
    Window->PLAYClick();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    EXPECT_EQ(PlayingFile(), Files[0]);

    // Pause toggles.
    Window->PAUSEClick();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPaused);
    Window->PAUSEClick();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);

    // Stop closes the file; Pause then does nothing.
    Window->STOPClick();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
    EXPECT_FALSE(Window->MP3Player1->IsOpen());
    Window->PAUSEClick();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
}

TEST_F(TransportTest, PositionReportsMoveTheBarWithoutSeekingAndAUserMoveSeeks) {
    MakeAlbum(1);
    QSignalSpy seeks(Window.get(), &TPlatform::SeekRequested);
    std::vector<int> positions;
    QObject::connect(Window->PLAYPOS, &QScrollBar::valueChanged,
                     [&](int value) { positions.push_back(value); });

    Window->PLAYClick();
    const int32_t duration = Window->MP3Player1->Duration();
    ASSERT_GT(duration, 4000);
    EXPECT_EQ(Window->PLAYPOS->maximum(), duration);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Window->PLAYPOS->value() >= 900; }));
    EXPECT_GE(positions.size(), 2u) << "the position reports move the bar";
    EXPECT_EQ(seeks.count(), 0) << "a program move of the bar sought";

    // The user drags the bar while paused: the player goes there.
    Window->PAUSEClick();
    Window->PLAYPOS->setValue(3000);
    ASSERT_EQ(seeks.count(), 1);
    EXPECT_EQ(seeks.at(0).at(0).toInt(), 3000);
    EXPECT_GE(Window->MP3Player1->Position(), 2900);
    EXPECT_LE(Window->MP3Player1->Position(), 3100);
}

TEST_F(TransportTest, VolumeIsLoudestAtTheTopAndBalanceFollowsTheBar) {
    MakeWindow();
    EXPECT_EQ(Window->VOL->value(), 0);
    EXPECT_EQ(Window->MP3Player1->Volume(), 100);
    Window->VOL->setValue(100);
    EXPECT_EQ(Window->MP3Player1->Volume(), 0);
    Window->VOL->setValue(30);
    EXPECT_EQ(Window->MP3Player1->Volume(), 70);
    Window->VOL->setValue(0);
    EXPECT_EQ(Window->MP3Player1->Volume(), 100);
    // A click beside the thumb moves by the large change.
    Window->VOL->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(Window->VOL->value(), 20);
    EXPECT_EQ(Window->MP3Player1->Volume(), 80);

    Window->BAL->setValue(-40);
    EXPECT_EQ(Window->MP3Player1->VolBalance(), -40);
    Window->BAL->setValue(100);
    EXPECT_EQ(Window->MP3Player1->VolBalance(), 100);

    // Only the album player.
    EXPECT_EQ(Window->MP3Player2->Volume(), 100);
    EXPECT_EQ(Window->MP3Player2->VolBalance(), 0);
}

TEST_F(TransportTest, AFileThatWillNotOpenIsReportedAndNextStillWorks) {
    MakeWindow();
    // Next on an empty album finds nothing to play; it must not leave Previous and Next dead.
    Window->FFClick();
    EXPECT_FALSE(Window->SkipBusy);

    const std::string good = LongStream("a.mp3", 10);
    const std::string bad = LongStream("b.mp3", 10);
    AddThroughDialog({good, bad});
    WriteFile(bad, std::string(4000, 'x'));

    Window->SelectRow(1);
    Window->PLAYClick();
    ASSERT_EQ(PlayingFile(), good);
    Window->FFClick();
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_EQ(ErrorBoxes()[0], QStringLiteral("The file \"") + QString::fromStdString(bad) +
                                   QStringLiteral("\" is not MPEG audio (MP3, MP2 or MP1) and cannot be "
                                                  "played. Remove it from the album."));
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
    EXPECT_FALSE(Window->SkipBusy);

    Window->FFClick();
    EXPECT_EQ(PlayingFile(), good);
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
}

TEST_F(TransportTest, TheTrayMenuDrivesTheTransport) {
    MakeAlbum(2);
    Window->TrayMenu.Play->trigger();
    EXPECT_EQ(PlayingFile(), Files[0]);
    Window->TrayMenu.Next->trigger();
    EXPECT_EQ(PlayingFile(), Files[1]);
    Window->TrayMenu.Pause->trigger();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPaused);
    Window->TrayMenu.Previous->trigger();
    EXPECT_EQ(PlayingFile(), Files[0]);
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    Window->TrayMenu.Stop->trigger();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
}

} // namespace
} // namespace tunelo::test
