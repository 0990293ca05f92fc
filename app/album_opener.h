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

// Whether a file name is one the album takes from a folder walk: MPEG audio, an M3U or M3U8 album or a
// PLS playlist.
bool IsAlbumFileName(const QString& name);
bool IsAlbumListName(const QString& name);
bool IsPlsName(const QString& name);

// Appends the files as the Add button adds them (album files, PLS playlists too, load as albums with the
// history, as Open Album does). The files that cannot be added are named in one report at the end. With play,
// the first entry that went in is played from the start, whatever played before. Returns how many entries
// went in.
int OpenInAlbum(TPlatform& window, const QStringList& files, bool play);

} // namespace tunelo
