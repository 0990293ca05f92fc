// The window in the notification area: minimising hides the window behind the tray icon (where the
// desktop has a tray), the icon's left button and "Restore Window" bring it back, and the icon's menu
// carries the transport.
#include <QEvent>
#include <QTimer>

#include "Unit4.h"
#include "transport_pictures.h"

namespace tunelo {

void TPlatform::CreateTray() {
    // The menu has no parent: it must stay usable while the window is disabled during a decode run.
    TrayMenu = CreateTrayMenu(nullptr);
    connect(TrayMenu.Topix, &QAction::triggered, this, [this] { Topix1Click(); });
    connect(TrayMenu.About, &QAction::triggered, this, [this] { About1Click(); });
    connect(TrayMenu.RestoreWindow, &QAction::triggered, this, [this] { Undo1Click(); });
    connect(TrayMenu.Previous, &QAction::triggered, this, [this] { REWClick(); });
    connect(TrayMenu.Play, &QAction::triggered, this, [this] { PLAYClick(); });
    connect(TrayMenu.Next, &QAction::triggered, this, [this] { FFClick(); });
    connect(TrayMenu.Pause, &QAction::triggered, this, [this] { PAUSEClick(); });
    connect(TrayMenu.Stop, &QAction::triggered, this, [this] { STOPClick(); });
    connect(TrayMenu.Quit, &QAction::triggered, this, [this] { BitBtn7Click(); });

    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->BeginLoading();
    TrayIcon1->SetIcon(TuneloProgramIcon());
    TrayIcon1->SetRBPopupMenu(TrayMenu.Menu);
    TrayIcon1->SetTipHelp(QStringLiteral("TUNELO"));
    TrayIcon1->OnMouseDown = [this](TTrayIcon&, TMouseButton button, TShiftState, int32_t, int32_t) {
        TrayIcon1MouseDown(button);
    };
    TrayIcon1->Loaded();
}

void TPlatform::SetTransportActionsEnabled(bool enabled) {
    // While a decode run owns the player, the tray may not start, stop or switch it (nor open a box that
    // the disabled window would leave unusable); Restore Window, Topix and Quit stay.
    for (QAction* action :
         {TrayMenu.Previous, TrayMenu.Play, TrayMenu.Next, TrayMenu.Pause, TrayMenu.Stop, TrayMenu.About}) {
        action->setEnabled(enabled);
    }
}

void TPlatform::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || FClosed) {
        return;
    }
    // After the state change has settled: hide only where the icon really is in the tray, so the window is
    // never left without a way back.
    QTimer::singleShot(0, this, [this] {
        if (!isMinimized() || FClosed) {
            return;
        }
        TrayIcon1->SetVisible(true);
        if (TrayIcon1->Registered()) {
            hide();
        } else {
            TrayIcon1->SetVisible(false);
        }
    });
}

void TPlatform::TrayIcon1MouseDown(TMouseButton button) {
    if (button == mbLeft) {
        Undo1Click();
    }
}

void TPlatform::Undo1Click() {
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    TrayIcon1->SetVisible(false);
}

} // namespace tunelo
