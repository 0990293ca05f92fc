// Sets a toggle button of the window as the user would: by clicking it, so that its handler runs, and
// only when it is in the other state (a click toggles).
#pragma once

#include <QAbstractButton>

namespace tunelo {

inline void ClickTo(QAbstractButton* button, bool down) {
    if (button->isChecked() != down) {
        button->click();
    }
}

} // namespace tunelo
