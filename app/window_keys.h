// The main window's keyboard: shortcuts that work whichever of its controls has the focus (Space play or
// pause, Enter play the selected entry, Left/Right seek 5 s, Ctrl+Left/Right previous/next, Ctrl+Up/Down
// volume, Delete remove, Ctrl+O add, Insert add at the selection), except while the focus is in a text box.
// A button reached with Tab keeps Space, the key that presses it. Each shortcut runs the handler of the
// control it stands for, so the keyboard can do nothing a click could not.
#pragma once

#include <QObject>

#include <cstdint>
#include <vector>

class QKeyEvent;
class QWidget;

namespace tunelo {

class TPlatform;

class TWindowKeys : public QObject {
    Q_OBJECT

public:
    static constexpr int32_t kSeekStepMs = 5000;
    static constexpr int kVolumeStep = 5;

    // Watches the application's key presses for the window (it must outlive nothing of the window).
    explicit TWindowKeys(TPlatform& window);

    // The controls Tab and Shift+Tab go through, in order. Qt's own chain would pass over all but one
    // button of each button group (the play modes, equalizer on and off), which the arrows, here window-wide
    // seeking, would otherwise reach.
    void SetTabOrder(std::vector<QWidget*> order) { FTabOrder = std::move(order); }

    // Runs the shortcut of a key press aimed at the window; false when it is not one (or the focus is in a
    // text box), and the key goes on to the focused control.
    bool HandleKey(const QKeyEvent& key);

    // The commands behind the keys.
    void PlayOrPause();
    void PlaySelected();
    void SeekBy(int32_t ms);
    void VolumeBy(int step);
    // Adds files through the Add dialog and puts them in at the selected row, in the order chosen.
    void AddAtSelection();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Moves the focus along the Tab order; false when the focus is not on one of its controls.
    bool MoveFocus(bool forward);

    TPlatform& FWindow;
    std::vector<QWidget*> FTabOrder;
};

} // namespace tunelo
