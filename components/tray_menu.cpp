#include "tray_menu.h"

#include "transport_pictures.h"

namespace tunelo {

TTrayMenu CreateTrayMenu(QWidget* parent) {
    TTrayMenu tray;
    tray.Menu = new QMenu(parent);
    tray.Topix = tray.Menu->addAction(QStringLiteral("Topix"));
    tray.About = tray.Menu->addAction(QStringLiteral("About TUNELO"));
    tray.Menu->addSeparator();
    tray.RestoreWindow = tray.Menu->addAction(QStringLiteral("Restore Window"));
    tray.Menu->addSeparator();
    tray.Previous = tray.Menu->addAction(PreviousPicture(), QStringLiteral("Previous"));
    tray.Play = tray.Menu->addAction(PlayPicture(), QStringLiteral("Play"));
    tray.Next = tray.Menu->addAction(NextPicture(), QStringLiteral("Next"));
    tray.Pause = tray.Menu->addAction(PausePicture(), QStringLiteral("Pause"));
    tray.Stop = tray.Menu->addAction(StopPicture(), QStringLiteral("Stop"));
    tray.Menu->addSeparator();
    tray.Quit = tray.Menu->addAction(QStringLiteral("Quit"));
    return tray;
}

} // namespace tunelo
