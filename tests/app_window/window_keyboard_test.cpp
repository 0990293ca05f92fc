// The window's keyboard and its accessibility: shortcuts that work whichever control has the focus (but not
// while typing in a text box), every control reached with Tab with a visible focus frame, and an accessible
// name and description on each.
#include <QLineEdit>
#include <QTest>

#include <set>

#include "album_grid_controls.h"
#include "equalizer_presets_bar.h"
#include "focus_ring.h"
#include "window_keys.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class KeyboardTest : public WindowTest {
protected:
    void ShowAlbum(int count) {
        MakeWindow();
        for (int i = 0; i < count; ++i) {
            Files.push_back(LongStream("album/track" + std::to_string(i) + ".mp2", 20));
        }
        AddThroughDialog(Files);
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    }

    void Focus(QWidget* widget) {
        widget->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(ProcessEventsUntil([&] { return QApplication::focusWidget() == widget; }));
    }

    // A key as the user types it, to whatever has the focus.
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    }

    TMP3PlayerStatus Status() const { return Window->MP3Player1->Status(); }

    std::vector<std::string> Files;
};

class FocusedControlTest : public KeyboardTest, public ::testing::WithParamInterface<const char*> {
protected:
    QWidget* Control(const std::string& name) {
        if (name == "grid") {
            return Window->MList;
        }
        if (name == "position") {
            return Window->PLAYPOS;
        }
        if (name == "volume") {
            return Window->VOL;
        }
        if (name == "balance") {
            return Window->BAL;
        }
        return Window->EQ[5];
    }
};

TEST_P(FocusedControlTest, SpaceEnterAndTheArrowsWorkWhateverHasTheFocus) {
    ShowAlbum(3);
    Focus(Control(GetParam()));
    const int volume = Window->VOL->value();
    const int balance = Window->BAL->value();
    const int band = Window->EQ[5]->value();

    Key(Qt::Key_Space);
    EXPECT_EQ(Status(), mpsPlaying) << "Space starts";
    Key(Qt::Key_Space);
    EXPECT_EQ(Status(), mpsPaused) << "Space pauses";
    Key(Qt::Key_Space);
    EXPECT_EQ(Status(), mpsPlaying) << "Space resumes";

    Key(Qt::Key_Right);
    EXPECT_NEAR(Window->MP3Player1->Position(), 5000, 700) << "Right seeks 5 s on";
    Key(Qt::Key_Right);
    Key(Qt::Key_Left);
    EXPECT_NEAR(Window->MP3Player1->Position(), 5000, 700) << "Left seeks 5 s back";

    Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(PlayingFile(), Files[1]) << "Ctrl+Right: next";
    Key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(PlayingFile(), Files[0]) << "Ctrl+Left: previous";

    Key(Qt::Key_Down, Qt::ControlModifier);
    Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(Window->MP3Player1->Volume(), 90);
    Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Window->MP3Player1->Volume(), 95);

    Window->SelectRow(3);
    Key(Qt::Key_Return);
    EXPECT_EQ(PlayingFile(), Files[2]) << "Enter plays the selected entry";
    // Also from a pause on another track; on the paused track itself it resumes.
    Key(Qt::Key_Space);
    Window->SelectRow(2);
    Key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(PlayingFile(), Files[1]);
    EXPECT_EQ(Status(), mpsPlaying);
    Key(Qt::Key_Right);
    Key(Qt::Key_Space);
    const int32_t pausedAt = Window->MP3Player1->Position();
    ASSERT_GE(pausedAt, 4000);
    Key(Qt::Key_Return);
    EXPECT_EQ(Status(), mpsPlaying);
    EXPECT_GE(Window->MP3Player1->Position(), pausedAt) << "resumed, not started again";

    // The focused control itself was not moved by the keys the window took.
    EXPECT_EQ(Window->VOL->value(), volume + 5);
    EXPECT_EQ(Window->BAL->value(), balance);
    EXPECT_EQ(Window->EQ[5]->value(), band);
}

INSTANTIATE_TEST_SUITE_P(Controls, FocusedControlTest,
                         ::testing::Values("grid", "position", "volume", "balance", "band"));

TEST_F(KeyboardTest, DeleteAddAndInsertWorkOnTheAlbum) {
    ShowAlbum(3);
    Focus(Window->BAL);
    Window->SelectRow(2);
    Key(Qt::Key_Delete);
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{Files[0], Files[2]}));

    const std::string added = LongStream("added.mp2", 4);
    OpenFileNamesAnswers.push_back({QString::fromStdString(added)});
    Key(Qt::Key_O, Qt::ControlModifier);
    ASSERT_FALSE(Calls.empty());
    EXPECT_EQ(Calls.back().Kind, QStringLiteral("OpenFileNames"));
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{Files[0], Files[2], added}));

    // Insert: the chosen files go in at the selected row, in the order chosen.
    const std::string first = LongStream("first.mp2", 4);
    const std::string second = LongStream("second.mp2", 4);
    OpenFileNamesAnswers.push_back({QString::fromStdString(first), QString::fromStdString(second)});
    Window->SelectRow(2);
    Key(Qt::Key_Insert);
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{Files[0], first, second, Files[2], added}));
    EXPECT_EQ(Window->SelectedRow(), 2);

    // On the grid, whose own Delete key does the same, one press removes one entry.
    Focus(Window->MList);
    Key(Qt::Key_Delete);
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{Files[0], second, Files[2], added}));
}

TEST_F(KeyboardTest, TypingInATextBoxIsNotTakenForShortcuts) {
    ShowAlbum(2);
    Window->GridControls->ShowFilter();
    QLineEdit* box = Window->GridControls->FilterBox();
    ASSERT_EQ(QApplication::focusWidget(), box);
    QTest::keyClicks(box, QStringLiteral("a b"));
    Key(Qt::Key_Left);
    Key(Qt::Key_Delete);
    EXPECT_EQ(box->text(), QStringLiteral("a "));
    // The pre-amp's number box keeps its keys too.
    Focus(Window->EQPresets->Preamp);
    Key(Qt::Key_Space);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Status(), mpsStopped) << "Space typed a space";
    EXPECT_EQ(Window->Album.MusicCount(), 2) << "Delete deleted a letter";
}

TEST_F(KeyboardTest, AButtonReachedWithTabTakesSpaceAndAClickLeavesTheFocusAlone) {
    ShowAlbum(2);
    Focus(Window->MList);
    QTest::mouseClick(Window->PLAY, Qt::LeftButton);
    EXPECT_EQ(Status(), mpsPlaying);
    EXPECT_EQ(QApplication::focusWidget(), Window->MList) << "the click kept the focus where it was";
    Key(Qt::Key_Space);
    EXPECT_EQ(Status(), mpsPaused);

    // Space on a focused button presses that button.
    Focus(Window->STOP);
    Key(Qt::Key_Space);
    ProcessEventsUntil([&] { return Status() == mpsStopped; }, 2000);
    EXPECT_EQ(Status(), mpsStopped);
}

TEST_F(KeyboardTest, TabReachesEveryControlWithAVisibleFrameAndEachHasANameAndADescription) {
    ShowAlbum(1);
    Focus(Window->MList);
    std::vector<QWidget*> reached;
    for (int step = 0; step < 80; ++step) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        if (!reached.empty() && focus == reached.front()) {
            break;
        }
        reached.push_back(focus);
        SCOPED_TRACE(focus->accessibleName().toStdString());
        EXPECT_FALSE(focus->accessibleName().isEmpty());
        EXPECT_FALSE(focus->accessibleDescription().isEmpty());
        // The frame surrounds the control, on top of it, in the same parent.
        const TFocusRing& ring = *Window->FocusRing;
        EXPECT_EQ(ring.Target(), focus);
        EXPECT_TRUE(ring.isVisible());
        EXPECT_EQ(ring.parentWidget(), focus->parentWidget());
        EXPECT_TRUE(ring.geometry().contains(focus->geometry()));
        EXPECT_GT(ring.width(), focus->width());
        Key(Qt::Key_Tab);
    }
    const std::set<QWidget*> seen(reached.begin(), reached.end());
    std::vector<QWidget*> controls = {
        Window->MList,        Window->PLAYPOS,     Window->REW,     Window->PLAY,    Window->FF,
        Window->PAUSE,        Window->STOP,        Window->NRM,     Window->REPONE,  Window->REPALL,
        Window->RAND,         Window->VOL,         Window->BAL,     Window->BitBtn4, Window->DEL,
        Window->ALBUM,        Window->Button1,     Window->BitBtn1, Window->BitBtn7, Window->SpeedButton1,
        Window->SpeedButton2, Window->SpeedButton3};
    controls.insert(controls.end(), Window->EQ.begin(), Window->EQ.end());
    const TEqualizerPresetBar& presets = *Window->EQPresets;
    // Delete is there only for a saved preset; a disabled control is passed over.
    ASSERT_FALSE(presets.DeleteButton->isEnabled());
    controls.insert(controls.end(), {presets.PresetBox, presets.SaveButton, presets.Preamp});
    for (QWidget* control : controls) {
        EXPECT_TRUE(seen.count(control)) << control->accessibleName().toStdString() << " is reached with Tab";
    }
    EXPECT_EQ(reached.size(), controls.size()) << "each once, then round again";

    // Shift+Tab goes back the same way; a hidden panel's controls are passed over.
    Focus(Window->MList);
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), presets.Preamp);
    Window->Button1Click();
    Focus(Window->BitBtn7);
    Key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Window->MList);
}

} // namespace
} // namespace tunelo::test
