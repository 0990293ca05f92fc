#include "KSubWnd.h"

namespace tunelo {

TKCustomSubWnd::TKCustomSubWnd(QObject* owner) : QObject(owner) {}

TKCustomSubWnd::~TKCustomSubWnd() {
    SetForm(nullptr);
}

void TKCustomSubWnd::SetForm(QWidget* form) {
    if (form == FForm) {
        return;
    }
    if (FForm) {
        FForm->removeEventFilter(this);
    }
    FForm = form;
    if (FForm) {
        FForm->installEventFilter(this);
    }
}

bool TKCustomSubWnd::WndProc(QEvent*) {
    return false;
}

bool TKCustomSubWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FForm && WndProc(event)) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tunelo
