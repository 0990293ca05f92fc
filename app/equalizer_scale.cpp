#include "equalizer_scale.h"

#include <QPainter>

#include <algorithm>

#include "equalizer_gains.h"
#include "frequency_text.h"

namespace tunelo {

TEqualizerScale::TEqualizerScale(const std::array<QSlider*, 32>& bars, QWidget* parent)
    : QWidget(parent), FBars(bars) {
    setObjectName(QStringLiteral("EQScale"));
    QFont small = font();
    small.setPixelSize(9);
    setFont(small);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    SetSampleRate(kTypicalSampleRate);
}

void TEqualizerScale::SetSampleRate(int32_t rate) {
    rate = rate > 0 ? rate : kTypicalSampleRate;
    if (rate == FSampleRate) {
        return;
    }
    FSampleRate = rate;
    FLabels.clear();
    for (int band = 0; band < static_cast<int>(FBars.size()); ++band) {
        const int32_t hertz = SubbandCentreFrequency(rate, band);
        FLabels.append(QString::fromStdString(CompactFrequencyText(hertz)));
        FBars[static_cast<size_t>(band)]->setToolTip(QStringLiteral("%1 Hz").arg(hertz));
    }
    update();
}

int TEqualizerScale::RowHeight() const {
    return fontMetrics().height();
}

QSize TEqualizerScale::sizeHint() const {
    return {32 * 16, 2 * RowHeight()};
}

QSize TEqualizerScale::minimumSizeHint() const {
    return sizeHint();
}

int TEqualizerScale::BarCentre(int band) const {
    const QSlider* bar = FBars[static_cast<size_t>(band)];
    return mapFromGlobal(bar->mapToGlobal(QPoint(bar->width() / 2, 0))).x();
}

bool TEqualizerScale::Staggered() const {
    int widest = 0;
    for (const QString& label : FLabels) {
        widest = std::max(widest, fontMetrics().horizontalAdvance(label));
    }
    // Neighbouring labels need a pixel or two between them to read as two.
    return widest + 2 > FBars[1]->x() - FBars[0]->x();
}

QRect TEqualizerScale::LabelRect(int band) const {
    const int width = fontMetrics().horizontalAdvance(FLabels[band]);
    const int row = Staggered() ? band % 2 : 0;
    return {BarCentre(band) - width / 2, row * RowHeight(), width, RowHeight()};
}

void TEqualizerScale::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (int band = 0; band < FLabels.size(); ++band) {
        painter.drawText(LabelRect(band), Qt::AlignCenter, FLabels[band]);
    }
}

} // namespace tunelo
