// The program's command line: tunelo [OPTION]... [FILE|ALBUM.m3u|FOLDER]...
//
// Files, album files and folders go into the album and the first of them plays (--enqueue: they only go
// in); the control options work the transport as its buttons do. A second start hands its whole command
// line to the running copy, which carries it out the same way (see instance_channel.h).
#pragma once

#include <QString>
#include <QStringList>

namespace tunelo {

class TPlatform;

struct TCommandLine {
    QStringList Paths; // files, album files and folders, as given
    bool Enqueue = false;
    QStringList Controls; // "play", "pause", "play-pause", "stop", "next", "previous", "quit", in order
    bool Help = false;
    bool Version = false;
    QString Error; // why the line was refused; empty when it was understood

    bool Ok() const { return Error.isEmpty(); }
};

// arguments[0] is the program name.
TCommandLine ParseCommandLine(const QStringList& arguments);

// What --help prints.
QString CommandLineHelp();
// What --version prints.
QString CommandLineVersion();

// Carries a parsed command line out on the window: first the paths (taken against workingFolder), then the
// control options in their order, each through the handler of the matching button. During a decode run the
// files are only enqueued and only --quit is obeyed.
void RunCommandLine(TPlatform& window, const TCommandLine& line, const QString& workingFolder);

// A second start's whole command line (arguments[0] its program name), in the running copy: carried out,
// and the window raised unless it was told to quit. A line the running copy does not understand changes
// nothing but the raise (the second start has checked it already).
void CarryOutHandedOver(TPlatform& window, const QStringList& arguments, const QString& workingFolder);

} // namespace tunelo
