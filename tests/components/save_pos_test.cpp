#include "KSavePos.h"

#include <QCloseEvent>
#include <QTemporaryDir>

#include "MPIniFile.h"
#include "qt_environment.h"

namespace tunelo {
namespace {

class SavePosTest : public ::testing::Test {
protected:
    std::string IniPath() const { return FFolder.filePath("TUNELO.ini").toStdString(); }
    std::string Stored() const {
        return TMPIniFile(IniPath()).ReadString("Bounds", "Platform.Bounds", "<none>");
    }
    void Store(const std::string& text) const {
        ASSERT_TRUE(TMPIniFile(IniPath()).WriteString("Bounds", "Platform.Bounds", text));
    }

    // A form as the main window is one: named "Platform", with a position saver.
    struct TForm {
        explicit TForm(const std::string& ini, bool resumeIconic = false) {
            Widget.setObjectName("Platform");
            Saver = new TKSavePosIni(&Widget);
            Saver->SetIniFileName(ini);
            Saver->SetResumeIconic(resumeIconic);
        }
        QWidget Widget;
        TKSavePosIni* Saver;
    };

    QTemporaryDir FFolder;
};

TEST_F(SavePosTest, AMinimisedWindowComesBackNormalUnlessResumeIconic) {
    {
        TForm saved(IniPath());
        saved.Widget.setGeometry(100, 120, 300, 200);
        saved.Saver->Loaded();
        saved.Widget.setWindowState(Qt::WindowMinimized);
        saved.Widget.close();
    }
    EXPECT_EQ(Stored(), "1,-1,-1,-1,-1,100,120,400,320");

    TForm normal(IniPath(), false);
    normal.Widget.setGeometry(5, 5, 50, 50);
    normal.Saver->Loaded();
    EXPECT_FALSE(normal.Widget.isMinimized());
    EXPECT_EQ(normal.Widget.windowState(), Qt::WindowNoState);
    EXPECT_EQ(normal.Widget.geometry(), QRect(100, 120, 300, 200));
    EXPECT_FALSE(normal.Widget.isVisible()) << "restoring must not show the window early";

    TForm iconic(IniPath(), true);
    iconic.Saver->Loaded();
    EXPECT_TRUE(iconic.Widget.isMinimized());
    EXPECT_EQ(iconic.Widget.normalGeometry(), QRect(100, 120, 300, 200));
    EXPECT_FALSE(iconic.Widget.isVisible());
}

TEST_F(SavePosTest, AMaximisedWindowComesBackMaximisedRememberingItsNormalRectangle) {
    {
        TForm saved(IniPath());
        saved.Widget.setGeometry(50, 60, 320, 240);
        saved.Saver->Loaded();
        saved.Widget.setWindowState(Qt::WindowMaximized);
        saved.Widget.close();
    }
    TKWindowPlacement stored;
    ASSERT_TRUE(ParsePlacement(QString::fromStdString(Stored()), stored));
    EXPECT_EQ(stored.State, 2);
    EXPECT_EQ(QRect(stored.Left, stored.Top, stored.Right - stored.Left, stored.Bottom - stored.Top),
              QRect(50, 60, 320, 240));

    TForm restored(IniPath());
    restored.Saver->Loaded();
    EXPECT_TRUE(restored.Widget.isMaximized());
    EXPECT_EQ(restored.Widget.normalGeometry(), QRect(50, 60, 320, 240));
    restored.Widget.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(restored.Widget.geometry(), QRect(50, 60, 320, 240));
}

TEST_F(SavePosTest, OnlyExactlyNineItemsAreRestored) {
    for (const char* text : {"0,-1,-1,-1,-1,10,20,330", "0,-1,-1,-1,-1,10,20,330,260,7", "", "garbage"}) {
        Store(text);
        TForm form(IniPath(), true);
        form.Widget.setGeometry(40, 30, 200, 100);
        form.Saver->Loaded();
        EXPECT_EQ(form.Widget.geometry(), QRect(40, 30, 200, 100)) << text;
        EXPECT_EQ(form.Widget.windowState(), Qt::WindowNoState) << text;
    }

    // Nine items: a non-number keeps the current value, a state out of range keeps the current state.
    Store("7,x,-1,-1,-1,left,20,330,260");
    TForm form(IniPath(), true);
    form.Widget.setGeometry(10, 10, 200, 100);
    form.Saver->Loaded();
    EXPECT_EQ(form.Widget.geometry(), QRect(10, 20, 320, 240));
    EXPECT_EQ(form.Widget.windowState(), Qt::WindowNoState);
}

TEST_F(SavePosTest, ARectangleNoScreenShowsKeepsOnlyItsSize) {
    Store("0,-1,-1,-1,-1,5000,5000,5300,5200");
    TForm form(IniPath());
    form.Widget.setGeometry(10, 10, 100, 100);
    form.Saver->Loaded();
    EXPECT_EQ(form.Widget.geometry(), QRect(10, 10, 300, 200));
}

TEST_F(SavePosTest, WithoutSaveBoundsNothingIsReadOrWritten) {
    Store("0,-1,-1,-1,-1,10,20,330,260");
    {
        TForm form(IniPath());
        form.Saver->SetSaveBounds(false);
        form.Widget.setGeometry(40, 30, 200, 100);
        form.Saver->Loaded();
        EXPECT_EQ(form.Widget.geometry(), QRect(40, 30, 200, 100));
        form.Widget.setGeometry(70, 80, 90, 100);
        form.Widget.close();
    }
    EXPECT_EQ(Stored(), "0,-1,-1,-1,-1,10,20,330,260");
}

TEST_F(SavePosTest, TheKeyFollowsTheFormsName) {
    QWidget form;
    form.setObjectName("Equalizer");
    form.setGeometry(1, 2, 30, 40);
    auto* saver = new TKSavePosIni(&form);
    saver->SetIniFileName(IniPath());
    saver->Loaded();
    EXPECT_EQ(saver->BoundsKey(), "Equalizer.Bounds");
    form.close();
    EXPECT_EQ(TMPIniFile(IniPath()).ReadString("Bounds", "Equalizer.Bounds", ""), "0,-1,-1,-1,-1,1,2,31,42");
}

// Counts the events it is shown.
class TCountingSubWnd : public TKCustomSubWnd {
public:
    using TKCustomSubWnd::TKCustomSubWnd;
    int Closes = 0;

protected:
    bool WndProc(QEvent* event) override {
        if (event->type() == QEvent::Close) {
            ++Closes;
        }
        return TKCustomSubWnd::WndProc(event);
    }
};

TEST(SubWndTest, WatchesOnlyTheCurrentFormAndLetsGoOfADestroyedOne) {
    TCountingSubWnd watcher;
    QWidget first;
    auto* second = new QWidget;
    watcher.SetForm(&first);
    QCloseEvent close;
    QCoreApplication::sendEvent(&first, &close);
    EXPECT_EQ(watcher.Closes, 1);

    watcher.SetForm(second);
    QCoreApplication::sendEvent(&first, &close);
    QCoreApplication::sendEvent(second, &close);
    EXPECT_EQ(watcher.Closes, 2) << "the previous form is no longer watched";

    delete second;
    EXPECT_EQ(watcher.Form(), nullptr);
}

TEST(PlacementTextTest, FormatAndParseAgree) {
    const TKWindowPlacement placement{2, -1, -1, 0, 0, -10, 20, 310, 220};
    EXPECT_EQ(FormatPlacement(placement), "2,-1,-1,0,0,-10,20,310,220");
    TKWindowPlacement parsed;
    ASSERT_TRUE(ParsePlacement(FormatPlacement(placement), parsed));
    EXPECT_EQ(parsed, placement);
    TKWindowPlacement untouched = placement;
    EXPECT_FALSE(ParsePlacement("1,2,3,4,5,6,7,8", untouched));
    EXPECT_EQ(untouched, placement);
}

} // namespace
} // namespace tunelo
