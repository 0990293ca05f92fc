// The program entry: one instance per user, the engine hosted on the GUI thread, the main window, and
// SIGTERM/SIGINT turned into Quit so that the settings are written.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "Unit4.h"
#include "engine_host.h"
#include "instance_lock.h"
#include "quit_signals.h"
#include "transport_pictures.h"

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Without a display server (and no platform chosen by hand) Qt would abort with a long message.
bool HasDisplay() {
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv) {
    if (!HasDisplay()) {
        std::fprintf(stderr, "tunelo: no display here (DISPLAY and WAYLAND_DISPLAY are empty); "
                             "tunelo-cli plays without one\n");
        return 1;
    }
    // Before the window exists: a second copy ends at once, silently.
    tunelo::TMPInstanceLock instanceLock;
    if (instanceLock.Result() == tunelo::TMPInstanceLock::ilHeldElsewhere) {
        return 0;
    }
    if (instanceLock.Result() == tunelo::TMPInstanceLock::ilFailed) {
        std::fprintf(stderr, "tunelo: cannot take the lock %s (%s); running without it\n",
                     instanceLock.FileName().c_str(), instanceLock.ErrorText().c_str());
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TUNELO"));
    QApplication::setDesktopFileName(QStringLiteral("tunelo"));
    QApplication::setWindowIcon(tunelo::TuneloProgramIcon());
    // The window may hide in the tray while a box closes; only the window's own close ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    tunelo::InstallEngineHost();

    int result = 0;
    {
        tunelo::TPlatform platform;
        QObject::connect(&platform, &tunelo::TPlatform::FormClosed, &application, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        tunelo::TQuitSignals quitSignals([&platform] { platform.BitBtn7Click(); });
        platform.show();
        result = QApplication::exec();
    }
    tunelo::RemoveEngineHost();
    return result;
}
