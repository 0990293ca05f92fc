// The resizable window: the grid takes the extra room, the bars and the panel keep their sizes, the first
// size is the smallest, showing and hiding the equalizer panel still changes the height by the panel, and
// the "Volume" caption is not covered by its bar.
#include <QHeaderView>
#include <QTest>

#include "now_playing.h"
#include "window_layout.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class LayoutTest : public WindowTest {
protected:
    void ShowWindow() {
        MakeWindow();
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    }

    void ResizeTo(int width, int height) {
        Window->resize(width, height);
        ASSERT_TRUE(ProcessEventsUntil([&] { return Window->size() == QSize(width, height); }));
    }

    // Distance of a control's right edge from the window's right edge.
    int FromRight(const QWidget* widget) const { return Window->width() - widget->geometry().right(); }
    int FromBottom(const QWidget* widget) const { return Window->height() - widget->geometry().bottom(); }
};

TEST_F(LayoutTest, TheGridTakesTheExtraRoomAndTheRestKeepsItsSize) {
    ShowWindow();
    EXPECT_EQ(Window->size(), QSize(586, 481));
    EXPECT_EQ(Window->minimumSize(), QSize(586, 481)) << "today's size is the smallest";
    EXPECT_GT(Window->maximumWidth(), 586);
    EXPECT_TRUE(Window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("TUNELO Version 0.02"));

    const QRect grid = Window->MList->geometry();
    const QRect panel = Window->Panel1->geometry();
    const QRect bar = Window->PLAYPOS->geometry();
    const QRect volume = Window->VOL->geometry();
    const QSize band = Window->EQ[0]->size();
    const QRect play = Window->PLAY->geometry();
    const int powerFromRight = FromRight(Window->BitBtn7);
    const int panelFromBottom = FromBottom(Window->Panel1);
    const int playFromBottom = FromBottom(Window->PLAY);

    ResizeTo(1000, 800);
    EXPECT_EQ(Window->MList->width(), grid.width() + 414);
    EXPECT_EQ(Window->MList->height(), grid.height() + 319);
    EXPECT_EQ(Window->MList->pos(), grid.topLeft());
    EXPECT_EQ(Window->PLAYPOS->width(), bar.width() + 414) << "the position bar gets finer";
    const QHeaderView& heading = *Window->MList->horizontalHeader();
    EXPECT_GE(heading.length(), Window->MList->viewport()->width()) << "the columns fill the wider grid";
    EXPECT_EQ(Window->PLAYPOS->height(), bar.height());
    EXPECT_EQ(Window->NowPlaying->width(), Window->MList->width());
    EXPECT_EQ(Window->Panel1->size(), panel.size()) << "the panel keeps its proportions";
    EXPECT_EQ(Window->EQ[0]->size(), band);
    EXPECT_EQ(Window->VOL->size(), volume.size());
    EXPECT_EQ(Window->PLAY->size(), play.size());
    EXPECT_EQ(Window->PLAY->x(), play.x()) << "the transport stays at the left";
    EXPECT_EQ(FromRight(Window->BitBtn7), powerFromRight) << "Power stays at the right";
    EXPECT_EQ(FromBottom(Window->Panel1), panelFromBottom);
    EXPECT_EQ(FromBottom(Window->PLAY), playFromBottom);
    EXPECT_NEAR(Window->Panel1->x() + Window->Panel1->width() / 2, 1000 / 2, 1) << "the panel is centred";
    for (QWidget* child : Window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow() && child->isVisible()) {
            EXPECT_TRUE(Window->rect().contains(child->geometry())) << child->metaObject()->className();
        }
    }

    // Back to the smallest size: everything where it started.
    ResizeTo(586, 481);
    EXPECT_EQ(Window->MList->geometry(), grid);
    EXPECT_EQ(Window->Panel1->geometry(), panel);
    Window->resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(Window->size(), QSize(586, 481)) << "never smaller than today's size";
}

TEST_F(LayoutTest, HidingAndShowingTheEqualizerChangesTheHeightByThePanel) {
    ShowWindow();
    ResizeTo(800, 700);
    const int gridHeight = Window->MList->height();
    const int panel = TWindowLayout::PanelHeight();
    ASSERT_EQ(panel, 180);

    Window->Button1Click();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Window->height() == 700 - panel; }));
    EXPECT_FALSE(Window->Panel1->isVisible());
    EXPECT_EQ(Window->minimumHeight(), 301);
    EXPECT_EQ(Window->MList->height(), gridHeight) << "the grid keeps its size";
    EXPECT_EQ(Window->Button1->text(), QStringLiteral("Show E.Q."));
    EXPECT_LE(Window->BitBtn7->geometry().bottom(), Window->height());

    Window->Button1Click();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Window->height() == 700; }));
    EXPECT_TRUE(Window->Panel1->isVisible());
    EXPECT_EQ(Window->minimumHeight(), 481);
    EXPECT_EQ(Window->MList->height(), gridHeight);
    EXPECT_EQ(Window->width(), 800);
}

class RestoredSizeTest : public LayoutTest, public ::testing::WithParamInterface<QSize> {};

TEST_P(RestoredSizeTest, ASizeClosedWithTheEqualizerHiddenComesBackAsItWas) {
    // Not a panel shorter, also when it happens to be the size the window first has with the panel.
    MakeWindow();
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    Window->Button1Click();
    ResizeTo(GetParam().width(), GetParam().height());
    Window->close();
    Window.reset();

    ShowWindow();
    EXPECT_FALSE(Window->ShowEQFlag);
    EXPECT_EQ(Window->size(), GetParam());
    EXPECT_EQ(Window->minimumHeight(), 301);
    Window->Button1Click();
    EXPECT_EQ(Window->height(), GetParam().height() + TWindowLayout::PanelHeight());
}

INSTANTIATE_TEST_SUITE_P(Sizes, RestoredSizeTest,
                         ::testing::Values(QSize(700, 500), QSize(586, 481), QSize(586, 301)));

TEST_F(LayoutTest, AFirstStartWithTheEqualizerHiddenHasTheShortWindow) {
    {
        TMPIniFile ini(FIni);
        ini.WriteBool("Setup", "ShowEQFlag", false);
    }
    ShowWindow();
    EXPECT_EQ(Window->size(), QSize(586, 301));
}

TEST_F(LayoutTest, TheVolumeCaptionIsNotCoveredByItsBar) {
    ShowWindow();
    for (const QSize size : {QSize(586, 481), QSize(1000, 800)}) {
        ResizeTo(size.width(), size.height());
        const QRect caption = Window->VolumeLabel->geometry();
        EXPECT_GE(caption.width(), Window->VolumeLabel->sizeHint().width()) << "the whole word fits";
        EXPECT_LT(caption.right(), Window->VOL->x()) << "the bar starts after the caption";
        EXPECT_GT(caption.left(), Window->RAND->geometry().right())
            << "and the caption after the mode buttons";
    }
}

} // namespace
} // namespace tunelo::test
