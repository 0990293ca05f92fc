// The main window's frame: appearance, context menu, start and end with the settings file, Quit, the
// quit signals, minimising without a tray, and the bundled manual.
#include <QSignalSpy>

#include <csignal>

#include "manual.h"
#include "quit_signals.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class FrameTest : public WindowTest {};

TEST_F(FrameTest, TheWindowLooksAsItShould) {
    MakeWindow();
    EXPECT_EQ(Window->objectName(), QStringLiteral("Platform"));
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("TUNELO Version 0.02"));
    EXPECT_EQ(Window->size(), QSize(586, 481));
    EXPECT_EQ(Window->minimumSize(), QSize(586, 481)) << "resizable, never below its first size";
    const Qt::WindowFlags flags = Window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(Window->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(Window->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(Window->BitBtn7->text(), QStringLiteral("Power"));
    EXPECT_EQ(Window->BitBtn7->toolTip(), QStringLiteral("Power Switch"));

    QStringList items;
    for (const QAction* action : Window->PopupMenu1->actions()) {
        items.append(action->text());
    }
    // The code page and ReplayGain submenus follow the two original entries and the sound output.
    EXPECT_EQ(items,
              (QStringList{"Topix", "About TUNELO", "Sound output", "", "Tag text code page", "ReplayGain"}));
    for (QWidget* widget : {static_cast<QWidget*>(Window.get()), static_cast<QWidget*>(Window->MList),
                            static_cast<QWidget*>(Window->Panel1)}) {
        EXPECT_EQ(widget->contextMenuPolicy(), Qt::CustomContextMenu) << widget->metaObject()->className();
    }

    // Every control lies inside the client area; the panel fills the part below 301.
    for (QWidget* child : Window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow()) {
            EXPECT_TRUE(QRect(0, 0, 586, 481).contains(child->geometry()))
                << child->metaObject()->className();
        }
    }
    EXPECT_EQ(Window->Panel1->geometry(), QRect(8, 304, 569, 169));
    // The bars keep their 16-pixel columns; the preset row and the frequency scale share their height.
    EXPECT_EQ(Window->EQ[31]->geometry().left(), 8 + 16 * 31);
    EXPECT_EQ(Window->EQ[31]->width(), 16);
    EXPECT_GE(Window->EQ[31]->height(), 100);
}

TEST_F(FrameTest, SettingsAreReadAtStartAndWrittenAtTheEnd) {
    {
        TMPIniFile ini(FIni);
        ini.WriteInteger("Position", "Left", 40);
        ini.WriteInteger("Position", "Top", -5);
    }
    MakeWindow();
    EXPECT_EQ(Window->x(), 40);
    const int top = Window->y();
    EXPECT_GE(top, 0) << "a negative top is not applied";
    Window->move(70, 90);
    QSignalSpy closed(Window.get(), &TPlatform::FormClosed);
    Window->show();
    Window->close();
    EXPECT_EQ(closed.count(), 1);
    Window.reset();

    TMPIniFile ini(FIni);
    for (const char* section : {"Bounds", "Position", "Setup", "KeepFileNames"}) {
        EXPECT_TRUE(ini.SectionExists(section)) << section;
    }
    EXPECT_EQ(ini.ReadInteger("Position", "Left", -1), 70);
    EXPECT_EQ(ini.ReadInteger("Position", "Top", -1), 90);
    EXPECT_TRUE(ini.ReadBool("Setup", "ShowEQFlag", false));
    EXPECT_FALSE(ini.ReadString("Bounds", "Platform.Bounds", "").empty());
}

TEST_F(FrameTest, PowerStopsThePlayerAndClosesTheWindow) {
    MakeWindow();
    AddThroughDialog({LongStream("a.mp3", 10)});
    Window->show();
    Window->PLAYClick();
    ASSERT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    QSignalSpy closed(Window.get(), &TPlatform::FormClosed);
    Window->BitBtn7Click();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
    EXPECT_FALSE(Window->isVisible());
    EXPECT_EQ(closed.count(), 1);

    // The tray menu's Quit is the same command.
    Window.reset();
    MakeWindow();
    Window->show();
    QSignalSpy closedAgain(Window.get(), &TPlatform::FormClosed);
    Window->TrayMenu.Quit->trigger();
    EXPECT_EQ(closedAgain.count(), 1);
}

TEST_F(FrameTest, TermAndInterruptSignalsRequestQuitOnTheGuiThread) {
    int requests = 0;
    {
        TQuitSignals quitSignals([&] { ++requests; });
        ASSERT_TRUE(quitSignals.Installed());
        std::raise(SIGTERM);
        EXPECT_EQ(requests, 0) << "the handler itself only wakes the GUI thread";
        ASSERT_TRUE(ProcessEventsUntil([&] { return requests == 1; }));
        std::raise(SIGINT);
        ASSERT_TRUE(ProcessEventsUntil([&] { return requests == 2; }));
    }
    struct sigaction current {};
    sigaction(SIGTERM, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL) << "the default handler is back";
}

TEST_F(FrameTest, MinimisingWithoutATrayKeepsTheWindowReachable) {
    MakeWindow();
    Window->show();
    ASSERT_FALSE(TTrayIcon::TrayAvailable()) << "the offscreen platform has no tray";
    Window->showMinimized();
    ProcessEventsFor(100);
    EXPECT_TRUE(Window->isVisible()) << "hidden with no icon to bring it back";
    EXPECT_FALSE(Window->TrayIcon1->Visible());

    Window->TrayMenu.RestoreWindow->trigger();
    EXPECT_FALSE(Window->isMinimized());
    EXPECT_TRUE(Window->isVisible());
}

TEST_F(FrameTest, TheManualIsBuiltIn) {
    qputenv("XDG_CACHE_HOME", FTemp.path().toUtf8());
    QString error;
    ASSERT_TRUE(WriteManual(&error)) << error.toStdString();
    EXPECT_TRUE(ManualFilePath().startsWith(FTemp.path()));
    const std::string page = ReadFile(ManualFilePath().toStdString());
    EXPECT_NE(page.find("<title>TUNELO manual</title>"), std::string::npos);
    EXPECT_NE(page.find("id=\"contents\""), std::string::npos);
}

} // namespace
} // namespace tunelo::test
