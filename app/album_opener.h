// Files that reach the window from outside it (the command line, a second start, the bus) go into the
// album the way the window's own Add, Open Album and drop do, and the first of them can be played the
// way a double click on its row plays it.
#pragma once

#include <QStringList>

namespace tunelo {

class TPlatform;

// The files an argument stands for: a folder gives its MPEG audio files and album files, walked
// recursively in natural name order ("2.mp3" before "10.mp3", folders and files mixed by name); any other
// argument is itself. Relative arguments are taken against workingFolder.
QStringList ExpandAlbumArguments(const QStringList& arguments, const QString& workingFolder);

// Negative, zero or positive as name a sorts before, with or after name b in natural order: runs of digits
// compare as numbers ("track 9" before "track 10"), letters without regard to case.
int NaturalCompare(const QString& a, const QString& b);

// Whether a file name is one the album takes from a folder walk: MPEG audio, an M3U album or a PLS
// playlist.
bool IsAlbumFileName(const QString& name);
bool IsAlbumListName(const QString& name);
bool IsPlsName(const QString& name);

// The local files a PLS playlist names ("FileN=" lines in [playlist], in N order; relative names against
// the playlist's folder, file: URLs as their paths). Streams (http and the like) are left out.
QStringList ReadPlsEntries(const QString& path);

// Appends the files (album files load as albums, with the history, as Open Album does; a PLS playlist's
// files and the rest as the Add button adds them). A file that does not exist or cannot be read is reported
// by the window's error box, naming it, and skipped. With play, the first entry that went in is played from
// the start, whatever played before. Returns how many entries went in.
int OpenInAlbum(TPlatform& window, const QStringList& files, bool play);

} // namespace tunelo
