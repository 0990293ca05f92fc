// The program entry: the command line, one instance per user (a second start hands its arguments to the
// running copy), the engine hosted on the GUI thread, the main window with its session, the MPRIS service
// and the hand-over channel, and SIGTERM/SIGINT turned into Quit so that the settings are written.
#include <QApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>

#include "Unit4.h"
#include "command_line.h"
#include "engine_host.h"
#include "instance_channel.h"
#include "instance_lock.h"
#include "mpris_service.h"
#include "quit_signals.h"
#include "session_keeper.h"
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

QStringList Arguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

int HandOver(int argc, char** argv, const QStringList& arguments) {
    QCoreApplication application(argc, argv);
    QString error;
    if (!tunelo::HandOverToRunningCopy(arguments, QDir::currentPath(), &error)) {
        std::fprintf(stderr, "tunelo: a copy is running but did not answer (%s)\n", qPrintable(error));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QStringList arguments = Arguments(argc, argv);
    const tunelo::TCommandLine line = tunelo::ParseCommandLine(arguments);
    if (!line.Ok()) {
        std::fprintf(stderr, "tunelo: %s\n", qPrintable(line.Error));
        return 2;
    }
    if (line.Help || line.Version) {
        std::fputs(qPrintable(line.Help ? tunelo::CommandLineHelp() : tunelo::CommandLineVersion()), stdout);
        return 0;
    }

    // Before the window exists: a second copy hands its arguments to the first and ends.
    tunelo::TMPInstanceLock instanceLock;
    if (instanceLock.Result() == tunelo::TMPInstanceLock::ilHeldElsewhere) {
        return HandOver(argc, argv, arguments);
    }
    if (!HasDisplay()) {
        std::fprintf(stderr, "tunelo: no display here (DISPLAY and WAYLAND_DISPLAY are empty); "
                             "tunelo-cli plays without one\n");
        return 1;
    }
    if (instanceLock.Result() == tunelo::TMPInstanceLock::ilFailed) {
        std::fprintf(stderr, "tunelo: cannot take the lock %s (%s); running without it\n",
                     instanceLock.FileName().c_str(), instanceLock.ErrorText().c_str());
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TUNELO"));
    QApplication::setDesktopFileName(QString::fromLatin1(tunelo::kDesktopId));
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

        tunelo::TSessionKeeper session(platform, platform.IniFileName());
        session.Restore();
        tunelo::TMprisService mpris(platform);
        mpris.Register();
        tunelo::TInstanceServer instanceServer;
        if (instanceLock.Held()) {
            instanceServer.Listen();
        }
        QObject::connect(&instanceServer, &tunelo::TInstanceServer::ArgumentsReceived, &platform,
                         [&platform](const QStringList& handed, const QString& workingFolder) {
                             tunelo::CarryOutHandedOver(platform, handed, workingFolder);
                         });

        platform.show();
        tunelo::RunCommandLine(platform, line, QDir::currentPath());
        result = QApplication::exec();
    }
    tunelo::RemoveEngineHost();
    return result;
}
