#include "TrayIcon.h"

#include <QCursor>
#include <QGuiApplication>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace tunelo {

namespace {

// Every icon of the process, in the order of creation (so identifiers rise along the list).
std::vector<std::pair<int32_t, TTrayIcon*>>& Registry() {
    static std::vector<std::pair<int32_t, TTrayIcon*>> registry;
    return registry;
}

int32_t TakeIdentifier(TTrayIcon* icon) {
    auto& registry = Registry();
    if (registry.size() >= static_cast<size_t>(TTrayIcon::MaxIcons)) {
        throw ENotifyIconError(kNotifyIconErrorText);
    }
    const int32_t identifier = registry.empty() ? 1 : registry.back().first + 1;
    registry.emplace_back(identifier, icon);
    return identifier;
}

void ReleaseIdentifier(int32_t identifier) {
    auto& registry = Registry();
    registry.erase(std::remove_if(registry.begin(), registry.end(),
                                  [identifier](const auto& entry) { return entry.first == identifier; }),
                   registry.end());
}

// The first characters of a text, never splitting a character that takes two UTF-16 units.
QString FirstCharacters(const QString& text, int32_t count) {
    qsizetype units = 0;
    for (int32_t taken = 0; taken < count && units < text.size(); ++taken) {
        units += (text[units].isHighSurrogate() && units + 1 < text.size()) ? 2 : 1;
    }
    return text.left(units);
}

} // namespace

TTrayIcon::TTrayIcon(QObject* owner) : QObject(owner), FIdentifier(TakeIdentifier(this)) {
    FTray = new QSystemTrayIcon(this);
    connect(FTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The tray reports whole clicks; each becomes the press and release it was made of.
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            Notify(tmLeftButtonDown);
            Notify(tmLeftButtonUp);
            break;
        case QSystemTrayIcon::DoubleClick:
            Notify(tmLeftButtonDblClk);
            Notify(tmLeftButtonUp);
            break;
        case QSystemTrayIcon::Context:
            Notify(tmRightButtonDown);
            Notify(tmRightButtonUp);
            break;
        case QSystemTrayIcon::MiddleClick:
            Notify(tmMiddleButtonDown);
            Notify(tmMiddleButtonUp);
            break;
        default:
            break;
        }
    });
    FClickTimer = new QTimer(this);
    FClickTimer->setSingleShot(true);
    connect(FClickTimer, &QTimer::timeout, this, &TTrayIcon::ClickTimedOut);
    FAnimationTimer = new QTimer(this);
    FAnimationTimer->setInterval(FAnimateRate);
    connect(FAnimationTimer, &QTimer::timeout, this, &TTrayIcon::AnimationTick);
}

TTrayIcon::~TTrayIcon() {
    FAnimationTimer->stop();
    FClickTimer->stop();
    DeleteFromTray();
    ReleaseIdentifier(FIdentifier);
}

bool TTrayIcon::TrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::Loaded() {
    FLoading = false;
    if (FVisible) {
        AddToTray();
    }
}

void TTrayIcon::SetAnimateIcons(const QList<QIcon>& icons) {
    FAnimateIcons = icons;
    if (FAnimateIcons.isEmpty()) {
        StopAnimation();
    } else if (FAnimationFrame >= FAnimateIcons.size()) {
        FAnimationFrame = 0;
    }
}

void TTrayIcon::SetAnimateRate(int32_t milliseconds) {
    FAnimateRate = std::max(milliseconds, MinAnimateRate);
    FAnimationTimer->setInterval(FAnimateRate);
}

void TTrayIcon::StartAnimation() {
    if (FAnimateIcons.isEmpty()) {
        return;
    }
    FAnimationFrame = 0;
    FAnimationTimer->start();
    if (FRegistered) {
        FillTray();
    }
}

void TTrayIcon::StopAnimation() {
    if (!FAnimationTimer->isActive()) {
        return;
    }
    FAnimationTimer->stop();
    if (FRegistered) {
        FillTray();
    }
}

bool TTrayIcon::Animating() const {
    return FAnimationTimer->isActive();
}

void TTrayIcon::AnimationTick() {
    if (FAnimateIcons.isEmpty()) {
        StopAnimation();
        return;
    }
    FAnimationFrame = (FAnimationFrame + 1) % static_cast<int32_t>(FAnimateIcons.size());
    if (FRegistered) {
        FillTray();
    }
}

void TTrayIcon::SetEnabled(bool value) {
    FEnabled = value;
    if (!value) {
        FClickPending = false;
    }
}

void TTrayIcon::SetIcon(const QIcon& icon) {
    FIcon = icon;
    ModifyInTray();
}

void TTrayIcon::SetTipHelp(const QString& tip) {
    const QString kept = FirstCharacters(tip, MaxTipLength);
    if (kept == FTipHelp) {
        return;
    }
    FTipHelp = kept;
    ModifyInTray();
}

void TTrayIcon::SetVisible(bool value) {
    if (value == FVisible) {
        return;
    }
    if (value && CurrentPicture().isNull()) {
        return;
    }
    FVisible = value;
    if (FLoading) {
        return;
    }
    if (FVisible) {
        AddToTray();
    } else {
        DeleteFromTray();
    }
}

QIcon TTrayIcon::CurrentPicture() const {
    if (Animating() && FAnimationFrame < FAnimateIcons.size()) {
        return FAnimateIcons[FAnimationFrame];
    }
    if (!FIcon.isNull()) {
        return FIcon;
    }
    // A widget's window icon is the application's when the window has none of its own.
    if (const auto* owner = qobject_cast<const QWidget*>(parent())) {
        return owner->window()->windowIcon();
    }
    return QGuiApplication::windowIcon();
}

void TTrayIcon::FillTray() {
    FTray->setIcon(CurrentPicture());
    FTray->setToolTip(FTipHelp);
}

void TTrayIcon::AddToTray() {
    if (!FVisible || !TrayAvailable()) {
        return;
    }
    FillTray();
    FTray->show();
    FRegistered = FTray->isVisible();
}

void TTrayIcon::ModifyInTray() {
    if (FRegistered && !Animating()) {
        FillTray();
    }
}

void TTrayIcon::DeleteFromTray() {
    if (FRegistered) {
        FTray->hide();
        FRegistered = false;
    }
}

int32_t TTrayIcon::ClickDelay() {
    return QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50;
}

void TTrayIcon::PopUp(QMenu* menu) {
    if (auto* owner = qobject_cast<QWidget*>(parent()); owner && owner->window()->isVisible()) {
        owner->window()->activateWindow();
    }
    menu->popup(QCursor::pos());
}

void TTrayIcon::Notify(TTrayMouseMessage message) {
    if (!FEnabled) {
        return;
    }
    const QPoint cursor = QCursor::pos();
    const int32_t x = cursor.x();
    const int32_t y = cursor.y();
    switch (message) {
    case tmMouseMove:
        if (OnMouseMove) {
            OnMouseMove(*this, 0, x, y);
        }
        break;
    case tmLeftButtonDown:
        if (FAutoPopup && FLBPopupMenu) {
            PopUp(FLBPopupMenu);
        } else if (OnMouseDown) {
            OnMouseDown(*this, mbLeft, ssLeft, x, y);
        }
        break;
    case tmLeftButtonUp:
        if (OnMouseUp) {
            OnMouseUp(*this, mbLeft, 0, x, y);
        } else if (OnClick) {
            // The first release waits to see whether a double click follows; a second one in that time
            // cancels the single click.
            FClickPending = !FClickPending;
            if (FClickPending) {
                FClickTimer->start(ClickDelay());
            }
        } else {
            FClickPending = false;
        }
        break;
    case tmLeftButtonDblClk:
        FClickPending = true;
        if (OnDblClick) {
            OnDblClick(*this);
        }
        break;
    case tmRightButtonDown:
        if (FAutoPopup && FRBPopupMenu) {
            PopUp(FRBPopupMenu);
        } else if (OnMouseDown) {
            OnMouseDown(*this, mbRight, 0, x, y);
        }
        break;
    case tmRightButtonUp:
        if (OnMouseUp) {
            OnMouseUp(*this, mbRight, 0, x, y);
        }
        break;
    case tmMiddleButtonDown:
        if (OnMouseDown) {
            OnMouseDown(*this, mbMiddle, 0, x, y);
        }
        break;
    case tmMiddleButtonUp:
        if (OnMouseUp) {
            OnMouseUp(*this, mbMiddle, 0, x, y);
        }
        break;
    case tmRightButtonDblClk:
    case tmMiddleButtonDblClk:
        break;
    }
}

void TTrayIcon::ClickTimedOut() {
    if (FClickPending && OnClick) {
        OnClick(*this);
    }
    FClickPending = false;
}

} // namespace tunelo
