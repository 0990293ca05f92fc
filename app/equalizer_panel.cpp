// The equalizer panel: 32 vertical bars, one per band of the album player's equalizer, the enable and
// disable pair, All Reset, and the button that shows or hides the whole panel.
#include <QButtonGroup>

#include "Unit4.h"
#include "window_layout.h"

namespace tunelo {

namespace {

QToolButton* PanelButton(QWidget* parent, const QString& text, const QString& hint, int x, int y) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(hint);
    button->setGeometry(x, y, 40, 22);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

void TPlatform::CreateEqualizerPanel() {
    Panel1 = new QFrame(this);
    Panel1->setGeometry(8, 304, 569, 169);
    Panel1->setToolTip(QStringLiteral("Graphic Equalizer"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    QPalette grey = Panel1->palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    grey.setColor(QPalette::WindowText, Qt::black);
    Panel1->setPalette(grey);
    Panel1->setAutoFillBackground(true);
    Panel1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Panel1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { PopupMenu1->popup(Panel1->mapToGlobal(point)); });

    for (int32_t band = 0; band < kBandCount; ++band) {
        auto* bar = new QSlider(Qt::Vertical, Panel1);
        bar->setObjectName(QString::asprintf("EQ%02d", static_cast<int>(band)));
        bar->setGeometry(8 + 16 * band, 8, 16, 150);
        bar->setRange(-100, 100);
        // -100 at the top: the band value is the position with its sign inverted, so up is a boost.
        bar->setInvertedAppearance(true);
        bar->setInvertedControls(true);
        bar->setValue(0);
        bar->setPageStep(10);
        bar->setSingleStep(1);
        bar->setTickInterval(10);
        bar->setTickPosition(QSlider::TicksLeft);
        bar->setFocusPolicy(Qt::NoFocus);
        connect(bar, &QSlider::valueChanged, this, [this] { EQ00Change(); });
        EQ[static_cast<size_t>(band)] = bar;
    }

    constexpr int kButtonsLeft = 8 + 16 * kBandCount + 6;
    SpeedButton1 =
        PanelButton(Panel1, QStringLiteral("ON"), QStringLiteral("Enable to equalize"), kButtonsLeft, 8);
    SpeedButton2 =
        PanelButton(Panel1, QStringLiteral("OFF"), QStringLiteral("Disable to equalize"), kButtonsLeft, 32);
    SpeedButton1->setCheckable(true);
    SpeedButton2->setCheckable(true);
    FEqualizerGroup = new QButtonGroup(this);
    FEqualizerGroup->setExclusive(true);
    FEqualizerGroup->addButton(SpeedButton1);
    FEqualizerGroup->addButton(SpeedButton2);
    SpeedButton2->setChecked(true);
    connect(FEqualizerGroup, &QButtonGroup::buttonClicked, this, [this] { SpeedButton2Click(); });

    EQLabel = new QLabel(QStringLiteral("E.Q."), Panel1);
    EQLabel->setGeometry(kButtonsLeft, 58, 40, 14);
    EQLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    SpeedButton3 =
        PanelButton(Panel1, QStringLiteral("FLAT"), QStringLiteral("All Reset"), kButtonsLeft, 136);
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });

    Button1 = new QPushButton(QStringLiteral("Hide E.Q."), this);
    Button1->setGeometry(378, 244, 98, 24);
    Button1->setFocusPolicy(Qt::NoFocus);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ArrangeEqualizerPanel();
}

void TPlatform::EQ00Change() {
    // Every band on every change, so the player always holds the whole picture.
    for (int32_t band = 0; band < kBandCount; ++band) {
        MP3Player1->SetEqualizerBand(band, -EQ[static_cast<size_t>(band)]->value());
    }
}

void TPlatform::SpeedButton2Click() {
    MP3Player1->SetEqualizerEnabled(SpeedButton1->isChecked());
}

void TPlatform::SpeedButton3Click() {
    // Each bar that actually moves sends the bands.
    for (QSlider* bar : EQ) {
        bar->setValue(0);
    }
}

void TPlatform::Button1Click() {
    ShowEQFlag = !ShowEQFlag;
    ApplyShowEQ();
}

void TPlatform::ApplyShowEQ() {
    Panel1->setVisible(ShowEQFlag);
    WindowLayout->PanelShown(ShowEQFlag);
    Button1->setText(ShowEQFlag ? QStringLiteral("Hide E.Q.") : QStringLiteral("Show E.Q."));
}

} // namespace tunelo
