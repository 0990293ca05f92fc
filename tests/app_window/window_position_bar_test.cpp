// The position bar: a click goes to the time under it, the tip names the time under the pointer, and with
// nothing loaded the thumb lies small at the start.
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

#include "play_time.h"
#include "position_bar.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class PositionBarTest : public WindowTest {
protected:
    // A one-minute track playing in a shown window.
    void PlayOneMinute() {
        MakeWindow();
        // 115 copies of the 522 ms test stream: a minute.
        AddThroughDialog({LongStream("minute.mp2", 115)});
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        Window->PLAYClick();
        ASSERT_EQ(Window->MP3Player1->Status(), mpsPlaying);
        ASSERT_NEAR(Window->MP3Player1->Duration(), 60000, 200);
        ASSERT_EQ(Window->PLAYPOS->maximum(), Window->MP3Player1->Duration());
    }

    // The x of the bar that lies at the given share of the way from the thumb's first place to its last.
    int XAtShare(double share) const {
        const QScrollBar& bar = *Window->PLAYPOS;
        int low = 0;
        int high = bar.width() - 1;
        const int wanted = static_cast<int>(share * bar.maximum());
        // The first x whose value reaches the wanted one.
        while (low < high) {
            const int middle = (low + high) / 2;
            if (ScrollBarValueAt(bar, middle) < wanted) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low;
    }
};

class ClickTest : public PositionBarTest, public ::testing::WithParamInterface<double> {};

TEST_P(ClickTest, AClickPutsTheThumbUnderThePointerAndThePlayerThere) {
    PlayOneMinute();
    const double share = GetParam();
    QScrollBar* bar = Window->PLAYPOS;
    const QPoint point(static_cast<int>(share * bar->width()), bar->height() / 2);
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, point);
    EXPECT_NEAR(ScrollBarThumbRect(*bar).center().x(), point.x(), 2) << "the thumb went to the pointer";
    EXPECT_NEAR(Window->MP3Player1->Position(), bar->value(), 300) << "and the player to its time";
    EXPECT_EQ(Window->PositionBar->TipAt(point.x()), FormatPlayTime(bar->value())) << "the tip named it";
}

INSTANTIATE_TEST_SUITE_P(Shares, ClickTest, ::testing::Values(0.1, 0.25, 0.5, 0.8, 0.95));

TEST_F(PositionBarTest, AClickInTheMiddleOfAMinuteGoesToHalfAMinute) {
    PlayOneMinute();
    QScrollBar* bar = Window->PLAYPOS;
    // Far from where a page step (8 s from the start) would lead.
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 2, bar->height() / 2));
    EXPECT_NEAR(bar->value(), 30000, 1000);
    EXPECT_NEAR(Window->MP3Player1->Position(), 30000, 1000);
    // Symmetric points lie symmetric in time: the whole bar stands for the whole track.
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 5, bar->height() / 2));
    const int early = bar->value();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                      QPoint(bar->width() - 1 - bar->width() / 5, bar->height() / 2));
    EXPECT_NEAR(early + bar->value(), Window->MP3Player1->Duration(), 500);
}

TEST_F(PositionBarTest, TheTipNamesTheTimeUnderThePointer) {
    PlayOneMinute();
    QScrollBar* bar = Window->PLAYPOS;
    const TPositionBar& positionBar = *Window->PositionBar;
    EXPECT_EQ(positionBar.TipAt(XAtShare(0.5)), QStringLiteral("0:30"));
    EXPECT_EQ(positionBar.TipAt(XAtShare(0.25)), QStringLiteral("0:15"));
    EXPECT_EQ(positionBar.TipAt(0), QStringLiteral("0:00"));
    EXPECT_EQ(positionBar.TipAt(bar->width() - 1), QStringLiteral("1:00"));

    // The tip the bar shows is that text.
    const QPoint point(XAtShare(0.5), bar->height() / 2);
    QHelpEvent help(QEvent::ToolTip, point, bar->mapToGlobal(point));
    QCoreApplication::sendEvent(bar, &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("0:30"));
    QToolTip::hideText();
}

TEST_F(PositionBarTest, WithNothingLoadedTheThumbLiesSmallAtTheStart) {
    MakeWindow();
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    QScrollBar* bar = Window->PLAYPOS;
    const auto expectEmpty = [&](const char* when) {
        SCOPED_TRACE(when);
        const QRect thumb = ScrollBarThumbRect(*bar);
        EXPECT_EQ(bar->value(), 0);
        EXPECT_LT(thumb.width(), bar->width() / 8) << "not a thumb that fills the bar";
        EXPECT_LT(thumb.left(), bar->width() / 8) << "at the start";
        EXPECT_TRUE(Window->PositionBar->TipAt(bar->width() / 2).isEmpty()) << "no time to name";
    };
    expectEmpty("at start");

    // A loaded track gives a thumb of the same small size that moves; a click on the empty bar seeks
    // nothing.
    AddThroughDialog({LongStream("short.mp2", 10)});
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 2, bar->height() / 2));
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
    expectEmpty("after a click with nothing playing");
    Window->PLAYClick();
    const QRect playing = ScrollBarThumbRect(*bar);
    EXPECT_LT(playing.width(), bar->width() / 8);
}

} // namespace
} // namespace tunelo::test
