// The main window's layout when it is resized: the album grid takes the extra room; the now-playing strip
// and the position bar take the extra width; the transport, modes, volume and balance stay at the left, the
// album, equalizer, decode and power buttons at the right, and the equalizer panel keeps its size, centred
// at the bottom. The window's first size is the smallest it may take; showing or hiding the equalizer panel
// changes the window's height by the panel, as it always did.
#pragma once

#include <QObject>
#include <QRect>

#include <map>

class QWidget;
class QLabel;

namespace tunelo {

class TPlatform;

class TWindowLayout : public QObject {
    Q_OBJECT

public:
    // The strip above the grid and the grid under it, at the window's smallest size.
    static constexpr QRect kStripBase{8, 8, 570, 30};
    static constexpr QRect kGridBase{8, 42, 570, 146};
    // The height the panel adds to the window.
    static int PanelHeight();

    // Takes the controls' present places as their places at the smallest size; the window must have its
    // controls and its first size (the one with the equalizer panel shown).
    explicit TWindowLayout(TPlatform& window);

    // The panel has been shown or hidden: the window's smallest height follows, and its height changes by
    // the panel's (the grid keeps its size). The first call, at start, takes a placement the position saver
    // restored as already matching.
    void PanelShown(bool shown);
    // Places every control for the window's present size.
    void Place();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class TAnchor { Left, Right, Centre, Stretch, Grid };
    void Take(QWidget* widget, TAnchor anchor);

    TPlatform& FWindow;
    std::map<QWidget*, std::pair<QRect, TAnchor>> FBase;
    bool FPanelShown = true;
    bool FFirstPanelCall = true;
};

} // namespace tunelo
