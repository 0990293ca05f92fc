// The position bar as a listener expects it: a click goes straight to the time under the pointer (and a
// drag goes on from there), the tip names the time under the pointer, and with nothing loaded the thumb
// lies small at the start instead of filling the bar.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>

class QScrollBar;

namespace tunelo {

// The value the bar takes when its thumb is centred on x (bar coordinates), as a press there puts it.
int ScrollBarValueAt(const QScrollBar& bar, int x);
// Where the bar's style draws its thumb now, in bar coordinates.
QRect ScrollBarThumbRect(const QScrollBar& bar);

class TPositionBar : public QObject {
    Q_OBJECT

public:
    // Page of the thumb while something is loaded: the window's own value.
    static constexpr int kLoadedPage = 8;

    // Takes over the bar's click, tip and empty look; the bar keeps its owner and its value handling.
    explicit TPositionBar(QScrollBar& bar);

    // The tip for the point x of the bar: the time there, or nothing while nothing is loaded.
    QString TipAt(int x) const;
    // Whether the bar stands for a loaded track (a range longer than the placeholder 0 to 1).
    bool Loaded() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RangeChanged();

    QScrollBar& FBar;
};

} // namespace tunelo
