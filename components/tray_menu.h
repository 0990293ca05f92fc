// The notification-area icon's menu, in its order: "Topix", "About TUNELO", separator, "Restore Window",
// separator, "Previous", "Play", "Next", "Pause", "Stop" (each with its picture), separator, "Quit".
// The window connects the actions to its handlers.
#pragma once

#include <QAction>
#include <QMenu>

namespace tunelo {

struct TTrayMenu {
    QMenu* Menu = nullptr;
    QAction* Topix = nullptr;
    QAction* About = nullptr;
    QAction* RestoreWindow = nullptr;
    QAction* Previous = nullptr;
    QAction* Play = nullptr;
    QAction* Next = nullptr;
    QAction* Pause = nullptr;
    QAction* Stop = nullptr;
    QAction* Quit = nullptr;
};

// The menu belongs to the parent.
TTrayMenu CreateTrayMenu(QWidget* parent);

} // namespace tunelo
