#include "command_line.h"

#include "Unit4.h"
#include "album_opener.h"

namespace tunelo {

namespace {

// Each control option and the window handler it stands for.
struct TControlOption {
    const char* Name;
    const char* Help;
};
constexpr TControlOption kControls[] = {
    {"play", "play, or resume a paused track"},
    {"pause", "pause a playing track"},
    {"play-pause", "pause while playing, else play"},
    {"stop", "stop"},
    {"next", "the next track"},
    {"previous", "the previous track"},
    {"quit", "quit the running copy"},
};

bool IsControl(const QString& name) {
    for (const TControlOption& control : kControls) {
        if (name == QLatin1String(control.Name)) {
            return true;
        }
    }
    return false;
}

void RunControl(TPlatform& window, const QString& control) {
    const TMP3PlayerStatus status = window.MP3Player1->Status();
    if (control == QStringLiteral("play")) {
        // Play while playing would switch to the selected row; a remote "play" leaves a playing track alone.
        if (status != mpsPlaying) {
            window.PLAYClick();
        }
    } else if (control == QStringLiteral("pause")) {
        // The button toggles; a remote "pause" must not resume.
        if (status == mpsPlaying) {
            window.PAUSEClick();
        }
    } else if (control == QStringLiteral("play-pause")) {
        if (status == mpsStopped) {
            window.PLAYClick();
        } else {
            window.PAUSEClick();
        }
    } else if (control == QStringLiteral("stop")) {
        window.STOPClick();
    } else if (control == QStringLiteral("next")) {
        window.FFClick();
    } else if (control == QStringLiteral("previous")) {
        window.REWClick();
    } else if (control == QStringLiteral("quit")) {
        window.BitBtn7Click();
    }
}

} // namespace

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine line;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument == QStringLiteral("-")) {
            line.Paths.append(argument);
        } else if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            line.Help = true;
        } else if (argument == QStringLiteral("--version") || argument == QStringLiteral("-v")) {
            line.Version = true;
        } else if (argument == QStringLiteral("--enqueue") || argument == QStringLiteral("-e")) {
            line.Enqueue = true;
        } else if (argument.startsWith(QStringLiteral("--")) && IsControl(argument.mid(2))) {
            line.Controls.append(argument.mid(2));
        } else {
            line.Error = QStringLiteral("unknown option %1 (tunelo --help lists them)").arg(argument);
            return line;
        }
    }
    return line;
}

QString CommandLineHelp() {
    QString text = QStringLiteral(
        "Usage: tunelo [OPTION]... [FILE|ALBUM.m3u|FOLDER]...\n"
        "The TUNELO MP3 jukebox. Files, album files and folders (walked for MP3 files and albums) are added\n"
        "to the album and the first of them is played. With a copy already running, they go to that copy.\n"
        "\n"
        "  -e, --enqueue     add the files without playing them\n");
    for (const TControlOption& control : kControls) {
        text += QStringLiteral("      --%1%2\n")
                    .arg(QLatin1String(control.Name), -12)
                    .arg(QLatin1String(control.Help));
    }
    text += QStringLiteral("  -h, --help        show this help and exit\n"
                           "  -v, --version     show the version and exit\n");
    return text;
}

QString CommandLineVersion() {
    return QStringLiteral("TUNELO Version 0.02\n");
}

void RunCommandLine(TPlatform& window, const TCommandLine& line, const QString& workingFolder) {
    // A decode run owns the player: files only join the album, and only Quit is obeyed, as in the tray.
    const bool busy = window.Decoding;
    if (!line.Paths.isEmpty()) {
        OpenInAlbum(window, ExpandAlbumArguments(line.Paths, workingFolder), !line.Enqueue && !busy);
    }
    for (const QString& control : line.Controls) {
        if (!busy || control == QStringLiteral("quit")) {
            RunControl(window, control);
        }
    }
}

void CarryOutHandedOver(TPlatform& window, const QStringList& arguments, const QString& workingFolder) {
    const TCommandLine line = ParseCommandLine(arguments);
    if (line.Ok()) {
        RunCommandLine(window, line, workingFolder);
    }
    if (!line.Controls.contains(QStringLiteral("quit"))) {
        window.Undo1Click();
    }
}

} // namespace tunelo
