#include "TrayIcon.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <QStyleHints>

#include <memory>
#include <vector>

#include "TransportPictures.h"
#include "TrayMenu.h"
#include "qt_environment.h"

namespace tunelo {
namespace {

QIcon SomePicture() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

TEST(TrayIconTest, StartValues) {
    TTrayIcon icon;
    EXPECT_EQ(icon.AnimateRate(), 500);
    EXPECT_TRUE(icon.AutoPopup());
    EXPECT_TRUE(icon.Enabled());
    EXPECT_TRUE(icon.Icon().isNull());
    EXPECT_EQ(icon.TipHelp(), "TipHelp");
    EXPECT_FALSE(icon.Visible());
    EXPECT_FALSE(icon.Registered());
}

TEST(TrayIconTest, TheTipIsCutTo62Characters) {
    TTrayIcon icon;
    const QString seventy = QString("0123456789").repeated(7);
    icon.SetTipHelp(seventy);
    EXPECT_EQ(icon.TipHelp(), seventy.left(62));
    icon.SetTipHelp("TUNELO");
    EXPECT_EQ(icon.TipHelp(), "TUNELO");

    // Characters, not UTF-16 units: a character outside the basic plane is never split.
    const QString note = QString::fromUtf8("\xF0\x9D\x85\x98"); // one character, two units
    icon.SetTipHelp(note.repeated(70));
    EXPECT_EQ(icon.TipHelp(), note.repeated(62));
}

TEST(TrayIconTest, TheAnimationRateIsAtLeast100) {
    TTrayIcon icon;
    icon.SetAnimateRate(40);
    EXPECT_EQ(icon.AnimateRate(), 100);
    icon.SetAnimateRate(99);
    EXPECT_EQ(icon.AnimateRate(), 100);
    icon.SetAnimateRate(250);
    EXPECT_EQ(icon.AnimateRate(), 250);
}

TEST(TrayIconTest, AnimationRunsOnlyWithFramesAndShowsThem) {
    TTrayIcon icon;
    icon.StartAnimation();
    EXPECT_FALSE(icon.Animating()) << "nothing to animate";
    const QList<QIcon> frames{PlayPicture(), PausePicture()};
    icon.SetAnimateIcons(frames);
    icon.SetIcon(SomePicture());
    icon.StartAnimation();
    EXPECT_TRUE(icon.Animating());
    EXPECT_EQ(icon.CurrentPicture().cacheKey(), frames[0].cacheKey());
    icon.StopAnimation();
    EXPECT_EQ(icon.CurrentPicture().cacheKey(), icon.Icon().cacheKey());
    icon.StartAnimation();
    icon.SetAnimateIcons({});
    EXPECT_FALSE(icon.Animating());
}

TEST(TrayIconTest, IdentifiersContinueFromTheLastListedIcon) {
    auto a = std::make_unique<TTrayIcon>();
    auto b = std::make_unique<TTrayIcon>();
    auto c = std::make_unique<TTrayIcon>();
    EXPECT_EQ(a->Identifier(), 1);
    EXPECT_EQ(b->Identifier(), 2);
    EXPECT_EQ(c->Identifier(), 3);
    c.reset();
    auto d = std::make_unique<TTrayIcon>();
    EXPECT_EQ(d->Identifier(), 3);
    a.reset();
    auto e = std::make_unique<TTrayIcon>();
    EXPECT_EQ(e->Identifier(), 4);
}

TEST(TrayIconTest, TheHundredAndFirstIconIsRefused) {
    std::vector<std::unique_ptr<TTrayIcon>> icons;
    for (int i = 0; i < TTrayIcon::MaxIcons; ++i) {
        icons.push_back(std::make_unique<TTrayIcon>());
    }
    try {
        TTrayIcon extra;
        FAIL() << "the 101st icon was created";
    } catch (const ENotifyIconError& error) {
        EXPECT_STREQ(error.what(), "タスクトレイにアイコンを登録できません。");
    }
    icons.pop_back();
    EXPECT_NO_THROW(TTrayIcon another);
}

TEST(TrayIconTest, VisibleNeedsAPicture) {
    ASSERT_TRUE(QGuiApplication::windowIcon().isNull());
    TTrayIcon bare;
    bare.SetVisible(true);
    EXPECT_FALSE(bare.Visible()) << "no icon, no owner icon, no application icon";

    bare.SetIcon(SomePicture());
    bare.SetVisible(true);
    EXPECT_TRUE(bare.Visible());
    bare.SetVisible(false);
    EXPECT_FALSE(bare.Visible());

    // The owner window lends its icon.
    QWidget owner;
    owner.setWindowIcon(TuneloProgramIcon());
    auto* lent = new TTrayIcon(&owner);
    lent->SetVisible(true);
    EXPECT_TRUE(lent->Visible());
    EXPECT_FALSE(lent->CurrentPicture().isNull());

    // So does the application.
    QGuiApplication::setWindowIcon(TuneloProgramIcon());
    TTrayIcon fromApplication;
    fromApplication.SetVisible(true);
    EXPECT_TRUE(fromApplication.Visible());
    QGuiApplication::setWindowIcon(QIcon());
}

TEST(TrayIconTest, WithoutATrayNothingFailsAndNothingIsRegistered) {
    TTrayIcon icon;
    icon.SetIcon(SomePicture());
    icon.SetVisible(true);
    EXPECT_TRUE(icon.Visible());
    EXPECT_EQ(icon.Registered(), TTrayIcon::TrayAvailable());
    icon.SetTipHelp("TUNELO");
    icon.SetIcon(PlayPicture());
    icon.SetVisible(false);
    EXPECT_FALSE(icon.Registered());

    // While loading, Visible waits for Loaded.
    TTrayIcon loading;
    loading.BeginLoading();
    loading.SetIcon(SomePicture());
    loading.SetVisible(true);
    EXPECT_FALSE(loading.Registered());
    loading.Loaded();
    EXPECT_EQ(loading.Registered(), TTrayIcon::TrayAvailable());
}

class TrayClickTest : public ::testing::Test {
protected:
    void SetUp() override {
        FSavedInterval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(100);
        FIcon.OnClick = [this](TTrayIcon& sender) {
            EXPECT_EQ(&sender, &FIcon);
            ++FClicks;
        };
        FIcon.OnDblClick = [this](TTrayIcon&) { ++FDoubleClicks; };
    }
    void TearDown() override { QGuiApplication::styleHints()->setMouseDoubleClickInterval(FSavedInterval); }

    TTrayIcon FIcon;
    int FClicks = 0;
    int FDoubleClicks = 0;
    int FSavedInterval = 0;
};

TEST_F(TrayClickTest, ASingleClickIsReportedAfterTheDoubleClickTime) {
    EXPECT_EQ(TTrayIcon::ClickDelay(), 150);
    FIcon.Notify(tmLeftButtonDown);
    FIcon.Notify(tmLeftButtonUp);
    EXPECT_EQ(FClicks, 0) << "not before it is clear that no second click follows";
    EXPECT_TRUE(FIcon.ClickPending());
    EXPECT_TRUE(test::ProcessEventsUntil([&] { return FClicks == 1; }));
    EXPECT_FALSE(FIcon.ClickPending());
    EXPECT_EQ(FDoubleClicks, 0);
}

TEST_F(TrayClickTest, ADoubleClickIsReportedAloneAndASecondReleaseCancelsTheClick) {
    FIcon.Notify(tmLeftButtonDown);
    FIcon.Notify(tmLeftButtonUp);
    FIcon.Notify(tmLeftButtonDblClk);
    FIcon.Notify(tmLeftButtonUp);
    EXPECT_EQ(FDoubleClicks, 1);
    EXPECT_FALSE(FIcon.ClickPending());
    test::ProcessEventsFor(3 * TTrayIcon::ClickDelay());
    EXPECT_EQ(FClicks, 0);
}

TEST_F(TrayClickTest, ADisabledIconIgnoresTheMouseAndForgetsAPendingClick) {
    FIcon.Notify(tmLeftButtonDown);
    FIcon.Notify(tmLeftButtonUp);
    FIcon.SetEnabled(false);
    EXPECT_FALSE(FIcon.ClickPending());
    FIcon.Notify(tmLeftButtonDblClk);
    test::ProcessEventsFor(3 * TTrayIcon::ClickDelay());
    EXPECT_EQ(FClicks, 0);
    EXPECT_EQ(FDoubleClicks, 0);
}

struct TMouse {
    TMouseButton Button;
    TShiftState Shift;
    QPoint Point;
};

TEST(TrayMouseTest, PressesReachTheHandlerUnlessAMenuPopsUp) {
    TTrayIcon icon;
    std::vector<TMouse> downs;
    std::vector<TMouse> ups;
    icon.OnMouseDown = [&](TTrayIcon&, TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
        downs.push_back({button, shift, QPoint(x, y)});
    };
    icon.OnMouseUp = [&](TTrayIcon&, TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
        ups.push_back({button, shift, QPoint(x, y)});
    };
    QCursor::setPos(123, 45);
    const QPoint cursor = QCursor::pos();
    ASSERT_EQ(cursor, QPoint(123, 45));

    icon.Notify(tmLeftButtonDown);
    icon.Notify(tmMiddleButtonDown);
    icon.Notify(tmRightButtonUp);
    icon.Notify(tmRightButtonDblClk);
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0].Button, mbLeft);
    EXPECT_EQ(downs[0].Shift, ssLeft);
    EXPECT_EQ(downs[0].Point, cursor) << "screen coordinates of the cursor";
    EXPECT_EQ(downs[1].Button, mbMiddle);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].Button, mbRight);

    // With a menu for the button, the press pops it up instead.
    QWidget owner;
    TTrayMenu tray = CreateTrayMenu(&owner);
    icon.SetRBPopupMenu(tray.Menu);
    icon.Notify(tmRightButtonDown);
    EXPECT_TRUE(tray.Menu->isVisible());
    EXPECT_EQ(downs.size(), 2u);
    tray.Menu->hide();

    icon.SetAutoPopup(false);
    icon.Notify(tmRightButtonDown);
    EXPECT_FALSE(tray.Menu->isVisible());
    ASSERT_EQ(downs.size(), 3u);
    EXPECT_EQ(downs[2].Button, mbRight);

    // A menu destroyed elsewhere is forgotten.
    delete tray.Menu;
    EXPECT_EQ(icon.RBPopupMenu(), nullptr);
    icon.SetAutoPopup(true);
    icon.Notify(tmRightButtonDown);
    EXPECT_EQ(downs.size(), 4u);
}

TEST(TrayMenuTest, ItemsInOrderWithPicturesOnTheTransportItems) {
    QWidget owner;
    const TTrayMenu tray = CreateTrayMenu(&owner);
    QStringList texts;
    for (const QAction* action : tray.Menu->actions()) {
        texts.append(action->isSeparator() ? "-" : action->text());
    }
    EXPECT_EQ(texts, (QStringList{"Topix", "About TUNELO", "-", "Restore Window", "-", "Previous", "Play",
                                  "Next", "Pause", "Stop", "-", "Quit"}));
    for (const QAction* action : {tray.Previous, tray.Play, tray.Next, tray.Pause, tray.Stop}) {
        EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
    }
    EXPECT_EQ(tray.Quit->text(), "Quit");
    EXPECT_EQ(tray.RestoreWindow->text(), "Restore Window");
}

} // namespace
} // namespace tunelo
