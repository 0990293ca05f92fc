#include "window_keys.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

#include "Unit4.h"

namespace tunelo {

TWindowKeys::TWindowKeys(TPlatform& window) : QObject(&window), FWindow(window) {
    qApp->installEventFilter(this);
}

bool TWindowKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
        return false;
    }
    // Only keys aimed at the window or one of its controls: menus, dialogs and the decode progress window
    // are windows of their own.
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != &FWindow) {
        return false;
    }
    return HandleKey(static_cast<const QKeyEvent&>(*event));
}

bool TWindowKeys::HandleKey(const QKeyEvent& key) {
    QWidget* focus = QApplication::focusWidget();
    if (!FWindow.isEnabled()) {
        return false;
    }
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    const bool control = modifiers == Qt::ControlModifier;
    const bool plain = modifiers == Qt::NoModifier;
    if (key.key() == Qt::Key_Tab) {
        return (plain || modifiers == Qt::ShiftModifier) && MoveFocus(plain);
    }
    if (key.key() == Qt::Key_Backtab) {
        return MoveFocus(false);
    }
    // Other keys typed into a text or number box are the box's own.
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus)) {
        return false;
    }
    switch (key.key()) {
    case Qt::Key_Space:
        if (!plain || (focus && focus->window() == &FWindow && qobject_cast<QAbstractButton*>(focus))) {
            return false;
        }
        PlayOrPause();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!plain) {
            return false;
        }
        PlaySelected();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const bool forward = key.key() == Qt::Key_Right;
        if (control) {
            forward ? FWindow.FFClick() : FWindow.REWClick();
            return true;
        }
        if (!plain) {
            return false;
        }
        SeekBy(forward ? kSeekStepMs : -kSeekStepMs);
        return true;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (!control) {
            return false;
        }
        VolumeBy(key.key() == Qt::Key_Up ? kVolumeStep : -kVolumeStep);
        return true;
    case Qt::Key_Delete:
        if (!plain) {
            return false;
        }
        FWindow.DELClick();
        return true;
    case Qt::Key_O:
        if (!control) {
            return false;
        }
        FWindow.BitBtn4Click();
        return true;
    case Qt::Key_Insert:
        if (!plain) {
            return false;
        }
        AddAtSelection();
        return true;
    default:
        return false;
    }
}

bool TWindowKeys::MoveFocus(bool forward) {
    const auto current = std::find(FTabOrder.begin(), FTabOrder.end(), QApplication::focusWidget());
    if (current == FTabOrder.end()) {
        return false;
    }
    const auto count = static_cast<ptrdiff_t>(FTabOrder.size());
    ptrdiff_t index = current - FTabOrder.begin();
    for (ptrdiff_t step = 0; step < count; ++step) {
        index = (index + (forward ? 1 : count - 1)) % count;
        QWidget* next = FTabOrder[static_cast<size_t>(index)];
        if (next->isVisible() && next->isEnabled()) {
            next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

void TWindowKeys::PlayOrPause() {
    if (FWindow.MP3Player1->Status() == mpsStopped) {
        FWindow.PLAYClick();
    } else {
        FWindow.PAUSEClick();
    }
}

void TWindowKeys::PlaySelected() {
    if (FWindow.Album.MusicCount() == 0) {
        return;
    }
    // The double click resumes a paused track whatever row is selected; Enter means the selected one.
    if (FWindow.MP3Player1->Status() == mpsPaused &&
        FWindow.PlayOrder.CurrentEntry() != FWindow.SelectedRow() - 1) {
        FWindow.STOPClick();
    }
    FWindow.MListDblClick();
}

void TWindowKeys::SeekBy(int32_t ms) {
    TMP3Player& player = *FWindow.MP3Player1;
    if (player.Status() == mpsStopped || !player.Seekable() || FWindow.Decoding) {
        return;
    }
    // Through the bar, as a user's move of it: the window seeks and drops what it had prepared.
    QScrollBar* bar = FWindow.PLAYPOS;
    const int64_t target = static_cast<int64_t>(player.Position()) + ms;
    bar->setValue(static_cast<int>(std::clamp<int64_t>(target, bar->minimum(), bar->maximum())));
}

void TWindowKeys::VolumeBy(int step) {
    // The bar's top is the loudest.
    FWindow.VOL->setValue(FWindow.VOL->value() - step);
}

void TWindowKeys::AddAtSelection() {
    const int32_t before = FWindow.Album.MusicCount();
    const int32_t at = before > 0 ? FWindow.SelectedRow() - 1 : 0;
    FWindow.BitBtn4Click();
    const int32_t added = FWindow.Album.MusicCount() - before;
    if (added <= 0 || at >= before) {
        return;
    }
    FWindow.Album.BeginUpdate();
    for (int32_t k = 0; k < added; ++k) {
        // The k-th new entry, still at the end, goes in after the ones already moved.
        FWindow.Album.MoveEntry(before + k, at + k + 1);
    }
    FWindow.Album.EndUpdate();
    FWindow.SelectRow(at + 1);
}

} // namespace tunelo
