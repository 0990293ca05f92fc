// The equalizer panel's arrangement: the preset row on top, the 32 bars with the enable pair and All Reset
// beside them, and the frequency scale under the bars, in a layout of the panel's own so that the whole
// panel stretches when the window does. At today's size every bar keeps its 16-pixel column.
#include <QGridLayout>
#include <QPointer>
#include <QVBoxLayout>

#include "Unit4.h"
#include "equalizer_presets_bar.h"
#include "equalizer_scale.h"

namespace tunelo {

void TPlatform::ArrangeEqualizerPanel() {
    EQPresets = new TEqualizerPresetBar(*this, Panel1);
    EQScale = new TEqualizerScale(EQ, Panel1);

    auto* grid = new QGridLayout(Panel1);
    // The frame takes a pixel, so the first bar still starts 8 pixels in.
    grid->setContentsMargins(7, 4, 2, 3);
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(2);
    grid->addWidget(EQPresets, 0, 0, 1, kBandCount + 1);
    for (int band = 0; band < kBandCount; ++band) {
        QSlider* bar = EQ[static_cast<size_t>(band)];
        bar->setMinimumSize(16, 60);
        bar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
        grid->addWidget(bar, 1, band);
        grid->setColumnStretch(band, 1);
    }
    grid->addWidget(EQScale, 2, 0, 1, kBandCount);
    grid->setRowStretch(1, 1);

    auto* switches = new QVBoxLayout;
    switches->setContentsMargins(6, 0, 0, 0);
    switches->setSpacing(2);
    for (QWidget* control : std::initializer_list<QWidget*>{SpeedButton1, SpeedButton2, EQLabel}) {
        control->setFixedSize(40, control == EQLabel ? 14 : 22);
        switches->addWidget(control);
    }
    switches->addStretch(1);
    SpeedButton3->setFixedSize(40, 22);
    switches->addWidget(SpeedButton3);
    grid->addLayout(switches, 1, kBandCount, 2, 1);

    // The scale follows the sample rate of what the album player opens; whoever watched the player's
    // status before is told as before.
    QPointer<TEqualizerScale> scale = EQScale;
    MP3Player1->OnChangeStatus = [scale, previous = MP3Player1->OnChangeStatus](TMP3Player& player) {
        if (scale && player.IsOpen()) {
            scale->SetSampleRate(player.SampleRate());
        }
        if (previous) {
            previous(player);
        }
    };
}

} // namespace tunelo
