// The equalizer panel's presets, pre-amp and frequency scale: what choosing, saving and deleting a preset
// does to the bars and the album player, the pre-amp kept across starts next to the bars' own keys, and
// the centre frequencies under the bars at the playing file's sample rate.
#include <QImage>
#include <QLayout>
#include <QSpinBox>

#include "equalizer_presets_bar.h"
#include "equalizer_scale.h"
#include "jukebox_settings.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class EqualizerPresetsTest : public WindowTest {
protected:
    TPlatform& MakeAnsweringWindow() {
        MakeWindow();
        Window->EQPresets->AskName = [this](QWidget*, const QString& current) {
            NameOffers.push_back(current);
            return Take(Names);
        };
        return *Window;
    }

    void Choose(const QString& name) {
        QComboBox* box = Window->EQPresets->PresetBox;
        const int index = box->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        box->setCurrentIndex(index);
        emit box->activated(index);
    }

    std::array<int32_t, 32> PlayerBands() const {
        std::array<int32_t, 32> bands{};
        for (int32_t band = 0; band < 32; ++band) {
            bands[static_cast<size_t>(band)] = Window->MP3Player1->EqualizerBand(band);
        }
        return bands;
    }

    QStringList ListedPresets() const {
        QStringList names;
        for (int i = 0; i < Window->EQPresets->PresetBox->count(); ++i) {
            names.append(Window->EQPresets->PresetBox->itemText(i));
        }
        return names;
    }

    std::deque<QString> Names;
    std::vector<QString> NameOffers;
};

TEST_F(EqualizerPresetsTest, ABuiltInPresetMovesTheBarsAndReachesThePlayer) {
    MakeAnsweringWindow();
    EXPECT_EQ(ListedPresets(),
              (QStringList{"Flat", "Bass", "Treble", "Vocal", "Rock", "Pop", "Classical", "Loudness"}));
    EXPECT_EQ(Window->EQPresets->CurrentPreset(), QStringLiteral("Flat")) << "flat bars are the Flat preset";

    Choose(QStringLiteral("Bass"));
    const TEqualizerGains bass = BuiltInEqualizerPresets()[1].Gains;
    EXPECT_EQ(PlayerBands(), bass);
    EXPECT_EQ(Window->EQ[0]->value(), -bass[0]) << "a boost is a bar moved up";
    EXPECT_EQ(Window->EQPresets->CurrentPreset(), QStringLiteral("Bass"));
    EXPECT_FALSE(Window->EQPresets->DeleteButton->isEnabled()) << "a built-in preset cannot be deleted";

    // A bar moved by hand makes the curve the user's own.
    Window->EQ[20]->setValue(-30);
    EXPECT_EQ(Window->EQPresets->CurrentPreset(), QString());
    EXPECT_EQ(Window->EQPresets->PresetBox->currentText(), QString());
    EXPECT_EQ(Window->EQPresets->PresetBox->placeholderText(), QStringLiteral("Custom"));
    Window->SpeedButton3->click();
    EXPECT_EQ(Window->EQPresets->CurrentPreset(), QStringLiteral("Flat"));
    EXPECT_EQ(PlayerBands(), (std::array<int32_t, 32>{}));
}

TEST_F(EqualizerPresetsTest, AUserPresetIsSavedListedAfterARestartAndDeleted) {
    MakeAnsweringWindow();
    Window->EQ[2]->setValue(-40);
    Window->EQ[30]->setValue(25);
    const TEqualizerGains mine = Window->EQPresets->BarGains();
    Names.push_back(QStringLiteral(" Late night "));
    Window->EQPresets->SaveButton->click();
    EXPECT_EQ(NameOffers.back(), QString()) << "a curve of no preset offers no name";
    EXPECT_EQ(Window->EQPresets->CurrentPreset(), QStringLiteral("Late night"));
    EXPECT_TRUE(Window->EQPresets->DeleteButton->isEnabled());
    EXPECT_EQ(TMPIniFile(FIni).ReadString("EqualizerPresets", "Late night", ""),
              TEqualizerPresetStore::GainsText(mine));

    Window.reset();
    MakeAnsweringWindow();
    EXPECT_EQ(ListedPresets().back(), QStringLiteral("Late night"));
    EXPECT_EQ(Window->EQPresets->CurrentPreset(), QStringLiteral("Late night"))
        << "the stored bars are that preset";
    Choose(QStringLiteral("Rock"));
    Choose(QStringLiteral("Late night"));
    EXPECT_EQ(PlayerBands(), mine);

    // Saving again under the same name asks first; No keeps the old curve.
    Window->EQ[0]->setValue(-100);
    Names.push_back(QStringLiteral("LATE NIGHT"));
    ConfirmAnswer = false;
    Window->EQPresets->SaveButton->click();
    ASSERT_FALSE(Questions.empty());
    EXPECT_EQ(Questions.back(), QStringLiteral("Replace the equalizer preset \"LATE NIGHT\"?"));
    EXPECT_EQ(TMPIniFile(FIni).ReadString("EqualizerPresets", "Late night", ""),
              TEqualizerPresetStore::GainsText(mine));

    Choose(QStringLiteral("Late night"));
    ConfirmAnswer = true;
    Window->EQPresets->DeleteButton->click();
    EXPECT_EQ(Questions.back(), QStringLiteral("Delete the equalizer preset \"Late night\"?"));
    EXPECT_FALSE(ListedPresets().contains(QStringLiteral("Late night")));
    EXPECT_FALSE(TMPIniFile(FIni).SectionExists("EqualizerPresets") &&
                 TMPIniFile(FIni).ValueExists("EqualizerPresets", "Late night"));
    EXPECT_EQ(PlayerBands(), mine) << "deleting a preset leaves the bars where they are";
}

TEST_F(EqualizerPresetsTest, ABuiltInNameIsRefusedWithAMessage) {
    MakeAnsweringWindow();
    Window->EQ[4]->setValue(-10);
    Names.push_back(QStringLiteral("treble"));
    Window->EQPresets->SaveButton->click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], QStringLiteral("\"Treble\" is a built-in preset; choose another name."));
    EXPECT_FALSE(TMPIniFile(FIni).SectionExists("EqualizerPresets"));
    Names.push_back(QString());
    Window->EQPresets->SaveButton->click();
    EXPECT_EQ(Messages.size(), 1u) << "Cancel says nothing";
}

TEST_F(EqualizerPresetsTest, ThePreampReachesThePlayerAndIsKeptBesideTheBars) {
    MakeAnsweringWindow();
    EXPECT_EQ(Window->EQPresets->Preamp->value(), 0);
    EXPECT_EQ(Window->EQPresets->Preamp->suffix(), QStringLiteral(" dB"));
    Window->EQPresets->Preamp->setValue(-6);
    EXPECT_EQ(Window->MP3Player1->EqualizerPreamp(), -6);
    Window->EQ[9]->setValue(-33);
    Window.reset();

    TMPIniFile ini(FIni);
    EXPECT_EQ(ini.ReadInteger("Setup", "EQPreamp", 0), -6);
    EXPECT_EQ(ini.ReadInteger("Setup", "EQ09", 0), -33) << "the bars' keys are as they were";
    EXPECT_TRUE(ini.ReadBool("Setup", "ShowEQFlag", false));

    MakeAnsweringWindow();
    EXPECT_EQ(Window->EQPresets->Preamp->value(), -6);
    EXPECT_EQ(Window->MP3Player1->EqualizerPreamp(), -6);
    EXPECT_EQ(Window->MP3Player2->EqualizerPreamp(), 0) << "only the album player";
}

TEST_F(EqualizerPresetsTest, EachBarIsLabelledWithItsSubBandCentre) {
    MakeAnsweringWindow();
    Window->show();
    Window->Panel1->layout()->activate();
    const TEqualizerScale& scale = *Window->EQScale;
    EXPECT_EQ(scale.SampleRate(), 44100);
    ASSERT_EQ(scale.Labels().size(), 32);
    EXPECT_EQ(scale.Labels()[0], QStringLiteral("345"));
    EXPECT_EQ(scale.Labels()[1], QStringLiteral("1.0k"));
    EXPECT_EQ(scale.Labels()[13], QStringLiteral("9.3k"));
    EXPECT_EQ(scale.Labels()[31], QStringLiteral("22k"));
    EXPECT_EQ(Window->EQ[1]->toolTip(), QStringLiteral("1034 Hz"));

    // Each bar keeps its 16-pixel column at today's size, and each label sits centred under its bar.
    EXPECT_TRUE(scale.Staggered()) << "16 pixels are too narrow for \"1.0k\" beside \"1.7k\"";
    const QImage picture = Window->EQScale->grab().toImage();
    for (int band = 0; band < 32; ++band) {
        QSlider* bar = Window->EQ[static_cast<size_t>(band)];
        EXPECT_EQ(bar->geometry().left(), 8 + 16 * band) << band;
        EXPECT_EQ(bar->width(), 16) << band;
        const QRect label = scale.LabelRect(band);
        const int barCentre = scale.mapFromGlobal(bar->mapToGlobal(bar->rect().center())).x();
        EXPECT_LE(std::abs(label.center().x() - barCentre), 1) << band;
        // The label is drawn: some pixel in its box is darker than the panel's grey.
        bool inked = false;
        for (int x = std::max(label.left(), 0); x <= label.right() && x < picture.width(); ++x) {
            for (int y = label.top(); y <= label.bottom() && y < picture.height(); ++y) {
                inked = inked || qGray(picture.pixel(x, y)) < 96;
            }
        }
        EXPECT_TRUE(inked) << "band " << band << " has no text drawn";
    }
    for (int band = 0; band + 2 < 32; band += 1) {
        EXPECT_LT(scale.LabelRect(band).right(), scale.LabelRect(band + 2).left())
            << "labels " << band << " and " << band + 2 << " overlap";
    }

    // A wider panel has room for one row.
    Window->Panel1->resize(1200, Window->Panel1->height());
    Window->Panel1->layout()->activate();
    EXPECT_FALSE(scale.Staggered());
    for (int band = 0; band + 1 < 32; ++band) {
        EXPECT_EQ(scale.LabelRect(band).top(), 0);
        EXPECT_LT(scale.LabelRect(band).right(), scale.LabelRect(band + 1).left()) << band;
    }
}

TEST_F(EqualizerPresetsTest, TheScaleFollowsTheSampleRateOfThePlayingFile) {
    MakeAnsweringWindow();
    AddThroughDialog({Copy("l3-mpeg2-22k.mp3", "src/low.mp3")});
    Window->PLAYClick();
    ASSERT_TRUE(ProcessEventsUntil([this] { return Window->EQScale->SampleRate() == 22050; }, 5000))
        << Window->EQScale->SampleRate();
    EXPECT_EQ(Window->EQScale->Labels()[0], QStringLiteral("172"));
    EXPECT_EQ(Window->EQScale->Labels()[31], QStringLiteral("11k"));
    EXPECT_EQ(Window->EQ[31]->toolTip(), QStringLiteral("10853 Hz"));
}

} // namespace
} // namespace tunelo::test
