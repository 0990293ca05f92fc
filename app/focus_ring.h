// A focus frame that shows on the window's black background and on the grey equalizer panel alike: a
// bright ring with a dark inner line around whichever of the window's controls has the keyboard focus.
// It lets the mouse through and follows the control when the window is resized.
#pragma once

#include <QPointer>
#include <QWidget>

namespace tunelo {

class TFocusRing : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 2;

    // Rings the focused controls of window.
    explicit TFocusRing(QWidget& window);

    // The control ringed now; null while the focus is elsewhere.
    QWidget* Target() const { return FTarget; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FocusMoved(QWidget* now);
    void Follow();

    QWidget& FWindow;
    QPointer<QWidget> FTarget;
};

} // namespace tunelo
