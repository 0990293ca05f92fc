// The equalizer panel: what the bars send to the album player, enable and disable, All Reset, showing and
// hiding the panel, and the positions kept in the settings file.
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "JukeboxSettings.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class EqualizerTest : public WindowTest {
protected:
    std::array<int32_t, 32> Bands() const {
        std::array<int32_t, 32> bands{};
        for (int32_t band = 0; band < 32; ++band) {
            bands[static_cast<size_t>(band)] = Window->MP3Player1->EqualizerBand(band);
        }
        return bands;
    }

    // Drags the bar's thumb with the mouse to the given height inside the bar.
    static void DragThumb(QSlider* bar, int toY) {
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = bar->orientation();
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.upsideDown = bar->invertedAppearance() ? bar->orientation() == Qt::Horizontal
                                                      : bar->orientation() != Qt::Horizontal;
        option.tickPosition = bar->tickPosition();
        option.tickInterval = bar->tickInterval();
        option.subControls = QStyle::SC_All;
        const QRect thumb =
            bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, bar);
        QTest::mousePress(bar, Qt::LeftButton, {}, thumb.center());
        QTest::mouseMove(bar, QPoint(thumb.center().x(), toY));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(thumb.center().x(), toY));
    }
};

TEST_F(EqualizerTest, AThumbAtTheTopBoostsItsBandByAHundred) {
    MakeWindow();
    QSlider* bar = Window->EQ[7];
    DragThumb(bar, -50);
    EXPECT_EQ(Window->MP3Player1->EqualizerBand(7), 100) << "bar position " << bar->value();
    DragThumb(bar, bar->height() + 50);
    EXPECT_EQ(Window->MP3Player1->EqualizerBand(7), -100) << "bar position " << bar->value();
    for (int32_t band = 0; band < 32; ++band) {
        if (band != 7) {
            EXPECT_EQ(Window->MP3Player1->EqualizerBand(band), 0) << band;
        }
    }
    EXPECT_EQ(Window->MP3Player2->EqualizerBand(7), 0) << "only the album player";
}

TEST_F(EqualizerTest, EveryChangeSendsAllBandsWithTheSignInverted) {
    MakeWindow();
    Window->EQ[3]->setValue(-25);
    Window->EQ[30]->setValue(60);
    std::array<int32_t, 32> expected{};
    expected[3] = 25;
    expected[30] = -60;
    EXPECT_EQ(Bands(), expected);

    // A band changed behind the panel's back is put back by the next change of any bar.
    Window->MP3Player1->SetEqualizerBand(12, 77);
    Window->EQ[0]->setValue(10);
    expected[0] = -10;
    EXPECT_EQ(Bands(), expected);
}

TEST_F(EqualizerTest, AllResetFlattensTheBarsAndSendsNothingWhenFlat) {
    MakeWindow();
    Window->EQ[1]->setValue(40);
    Window->EQ[20]->setValue(-90);
    Window->SpeedButton3->click();
    for (QSlider* bar : Window->EQ) {
        EXPECT_EQ(bar->value(), 0);
    }
    EXPECT_EQ(Bands(), (std::array<int32_t, 32>{}));

    // Every bar already at 0: no bar moves, so nothing reaches the player.
    Window->MP3Player1->SetEqualizerBand(5, 42);
    Window->SpeedButton3->click();
    EXPECT_EQ(Window->MP3Player1->EqualizerBand(5), 42);
}

TEST_F(EqualizerTest, EnableAndDisableSwitchTheEqualizer) {
    MakeWindow();
    EXPECT_FALSE(Window->MP3Player1->EqualizerEnabled());
    EXPECT_TRUE(Window->SpeedButton2->isChecked());
    Window->SpeedButton1->click();
    EXPECT_TRUE(Window->MP3Player1->EqualizerEnabled());
    EXPECT_FALSE(Window->SpeedButton2->isChecked());
    Window->SpeedButton1->click();
    EXPECT_TRUE(Window->MP3Player1->EqualizerEnabled()) << "a button of the pair stays down";
    Window->SpeedButton2->click();
    EXPECT_FALSE(Window->MP3Player1->EqualizerEnabled());
}

TEST_F(EqualizerTest, HidingThePanelShrinksTheWindowAndTheFlagIsKept) {
    MakeWindow();
    EXPECT_EQ(Window->size(), QSize(586, 481));
    EXPECT_EQ(Window->Button1->text(), QStringLiteral("Hide E.Q."));
    EXPECT_FALSE(Window->Panel1->isHidden());

    Window->Button1->click();
    EXPECT_EQ(Window->size(), QSize(586, 301));
    EXPECT_EQ(Window->Button1->text(), QStringLiteral("Show E.Q."));
    EXPECT_TRUE(Window->Panel1->isHidden());
    Window->EQ[9]->setValue(-33);
    Window.reset();
    EXPECT_FALSE(TMPIniFile(FIni).ReadBool("Setup", "ShowEQFlag", true));
    EXPECT_EQ(TMPIniFile(FIni).ReadInteger("Setup", "EQ09", 0), -33);

    MakeWindow();
    EXPECT_EQ(Window->size(), QSize(586, 301));
    EXPECT_EQ(Window->Button1->text(), QStringLiteral("Show E.Q."));
    EXPECT_EQ(Window->EQ[9]->value(), -33);
    Window->Button1->click();
    EXPECT_EQ(Window->size(), QSize(586, 481));
    EXPECT_FALSE(Window->Panel1->isHidden());
}

TEST_F(EqualizerTest, StoredPositionsReachThePlayerAtStart) {
    TMPIniFile ini(FIni);
    ini.WriteInteger("Setup", "EQ05", 250);
    ini.WriteInteger("Setup", "EQ10", -30);
    ini.WriteString("Setup", "EQ11", "loud");
    MakeWindow();
    EXPECT_EQ(Window->EQ[5]->value(), 100) << "clamped by the bar";
    EXPECT_EQ(Window->MP3Player1->EqualizerBand(5), -100);
    EXPECT_EQ(Window->MP3Player1->EqualizerBand(10), 30);
    EXPECT_EQ(Window->EQ[11]->value(), 0);
    EXPECT_FALSE(Window->MP3Player1->EqualizerEnabled()) << "every start has the equalizer off";
}

} // namespace
} // namespace tunelo::test
