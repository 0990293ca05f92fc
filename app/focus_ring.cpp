#include "focus_ring.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>

namespace tunelo {

namespace {

const QColor kRing(255, 200, 0);
const QColor kInner(0, 0, 0);

} // namespace

TFocusRing::TFocusRing(QWidget& window) : QWidget(&window), FWindow(window) {
    setObjectName(QStringLiteral("FocusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusMoved(now); });
}

void TFocusRing::FocusMoved(QWidget* now) {
    if (FTarget) {
        FTarget->removeEventFilter(this);
    }
    FTarget = now && now != &FWindow && now->window() == &FWindow ? now : nullptr;
    if (!FTarget) {
        hide();
        return;
    }
    FTarget->installEventFilter(this);
    // A sibling of the control, so that it is drawn over it and clipped as it is.
    setParent(FTarget->parentWidget());
    Follow();
}

void TFocusRing::Follow() {
    if (!FTarget || !FTarget->isVisible()) {
        hide();
        return;
    }
    setGeometry(FTarget->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth));
    show();
    raise();
}

bool TFocusRing::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FTarget) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            Follow();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFocusRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(kRing, 1));
    painter.drawRect(outer);
    painter.drawRect(outer.adjusted(1, 1, -1, -1));
    // Over the control's own edge, so the ring stands out on a light control too.
    painter.setPen(QPen(kInner, 1));
    painter.drawRect(outer.adjusted(2, 2, -2, -2));
}

} // namespace tunelo
