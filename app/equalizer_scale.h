// The frequency scale under the equalizer's bars: each bar's sub-band centre at the sample rate of the
// file being played (44.1 kHz before one is), in short text centred under its bar. Where the bars are too
// narrow for the text, the labels take two staggered rows.
#pragma once

#include <QSlider>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>

namespace tunelo {

class TEqualizerScale : public QWidget {
public:
    static constexpr int32_t kTypicalSampleRate = 44100;

    TEqualizerScale(const std::array<QSlider*, 32>& bars, QWidget* parent);

    // Relabels the scale and the bars' tips; a rate of 0 or less stands for the typical rate.
    void SetSampleRate(int32_t rate);
    int32_t SampleRate() const { return FSampleRate; }
    const QStringList& Labels() const { return FLabels; }
    // Where each label is drawn, in this widget's coordinates, as things stand.
    QRect LabelRect(int band) const;
    bool Staggered() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int BarCentre(int band) const;
    int RowHeight() const;

    std::array<QSlider*, 32> FBars;
    int32_t FSampleRate = 0;
    QStringList FLabels;
};

} // namespace tunelo
