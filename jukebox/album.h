// The album: the list of MP3 files the jukebox plays, with the tag text read once when a file is added,
// and its M3U album files. No user interface here; the window shows the list and reacts to the change
// events, the play order follows the list through the structural events.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"

namespace tunelo {

// One album entry.
struct TMusicList {
    std::string FileName; // full path
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    std::string Genre;
    std::string Track;
    int32_t LengthMs = 0; // playing time from the stream information; 0 when it cannot be known
};

// A file that could not be added, and why, in words a person can act on ("file not found", "not MPEG
// audio", "permission denied" ...).
struct TAddFailure {
    std::string FileName;
    std::string Reason;
};
using TAddFailures = std::vector<TAddFailure>;

// Why adding path failed with error: what the file system says about the file where it explains the
// failure, else what the error means to a person.
std::string AddFailureReason(const std::string& path, const std::exception& error);

// The album refused a file because it holds kCapacity files already.
class EAlbumFull : public EMPError {
public:
    using EMPError::EMPError;
};

// What the grid's title column shows: the title, or when it is empty the file name without folder and
// extension.
std::string GridTitle(const TMusicList& entry);

class TAlbum {
public:
    static constexpr int32_t kCapacity = 1024;

    // Reads the tag fields of a file (FileName may be left empty; the album stores the path itself). The
    // title falls back to the file name. Throws EMPError when the file cannot be opened as MPEG audio.
    using TTagReader = std::function<TMusicList(const std::string& path)>;

    explicit TAlbum(TTagReader reader);

    int32_t MusicCount() const { return static_cast<int32_t>(FEntries.size()); }
    // Entry 0 to MusicCount - 1; another index raises EMPError with the list-index message.
    const TMusicList& Entry(int32_t index) const;
    // The record that carries an entry between RemoveEntry and InsertEntry.
    const TMusicList& Holding() const { return FHolding; }

    // Reads the file's tags and appends it (the path stored as an absolute path). A full album refuses
    // the file with EMPError ("The album is full ..."); a tag reader failure propagates. In both cases the
    // album is unchanged.
    void AddEntry(const std::string& path);
    // Moves entry index out of the list into the holding entry; the entries above move down. The playing
    // track is not stopped (the album does not know it). Another index raises the list-index EMPError.
    void RemoveEntry(int32_t index);
    // Puts the holding entry back in at index (0 to MusicCount; a larger index appends); the entries from
    // index on move up. A full album refuses with EMPError and stays unchanged.
    void InsertEntry(int32_t index);
    // A drag: dropRow is the grid row under the drop point, measured before the entry is taken out (row 0
    // is the heading, entry i is row i + 1). The entry goes to index dropRow - 1 of the shortened list, so
    // A, B, C, D with A dropped on C's row gives B, C, A, D. A drop on the heading, below the last row or
    // outside the grid (any dropRow outside 1 to MusicCount) moves the entry to the end. Returns the
    // entry's new index; a sourceIndex that names no entry changes nothing and returns -1.
    int32_t MoveEntry(int32_t sourceIndex, int32_t dropRow);
    // Puts the entries in a new order: order[i] is the index of the entry that goes to index i (a
    // permutation of 0 to MusicCount - 1; anything else raises EMPError and changes nothing). Done as
    // moves, so the play order follows each entry; OnChanged fires once.
    void Reorder(const std::vector<int32_t>& order);
    // Drops all entries at once.
    void Clear();

    enum class TLoadResult { Loaded, NotFound };
    // Appends the files named by an album file (it never clears the list): M3U or M3U8 (one path per
    // line, lines beginning with "#" are comments), or PLS when its name ends in ".pls" (the "FileN="
    // lines of [playlist] in N order; file: URLs as their paths, network streams left out). NotFound when the
    // album file does not exist: the caller shows "File not found. (" + path + ")" and leaves the history
    // alone. Each line is tried as a path against the current folder, then against the album file's folder,
    // then both again with "\" turned into "/"; a line naming no regular file is skipped. An album file that
    // exists but cannot be read raises EMPError. Without failures, an AddEntry failure propagates (the
    // lines after it are not processed, the files added before it stay); with failures, every file that
    // can be added is, and each line naming no file or a file that failed is appended to failures.
    TLoadResult LoadAlbum(const std::string& path, TAddFailures* failures = nullptr);
    // Writes an extended M3U file, each line ended by CR LF: "#EXTM3U", then per entry
    // "#EXTINF:<seconds>,<title>" (-1 seconds when the length is unknown; the title as the grid shows it)
    // and the entry's path relative to the album file's folder (RelativeAlbumPath). The file is written
    // beside the target and renamed over it, so a failed save leaves an existing album file as it was. Raises
    // EMPError on failure, and before writing anything when an entry's path holds a CR, LF or Ctrl-Z (it
    // could not be read back as one line).
    void SaveAlbum(const std::string& path) const;

    // Between BeginUpdate and the matching EndUpdate, OnChanged is held back and fires once at the end
    // (when something changed); the structural events still fire one by one. LoadAlbum does this itself,
    // so loading a long album rewrites the grid once; the window can do the same around a multi-file add.
    void BeginUpdate() { ++FUpdateDepth; }
    void EndUpdate();

    // After every change of the list (add, remove, insert, move, clear); the window rewrites its grid.
    std::function<void()> OnChanged;
    // The structural changes, for the play order (TPlayOrder::Follow connects them). OnInserted: an entry
    // now stands at index and those after it moved up (AddEntry reports index MusicCount - 1). OnRemoved:
    // entry index left and those above moved down. OnMoved: one entry moved from index from to index to,
    // those between shifted by one. OnCleared: the list was emptied.
    std::function<void(int32_t index)> OnInserted;
    std::function<void(int32_t index)> OnRemoved;
    std::function<void(int32_t from, int32_t to)> OnMoved;
    std::function<void()> OnCleared;

private:
    void Changed();

    TTagReader FReader;
    std::vector<TMusicList> FEntries;
    TMusicList FHolding;
    int32_t FUpdateDepth = 0;
    bool FChangePending = false;
};

// ---- Album file helpers, exposed for the command-line player and for tests ----

// Splits album file text into lines: a CR ends a line (an LF right after it belongs to the same line
// end), an LF alone ends a line, a Ctrl-Z (26) ends the text. A UTF-8 byte-order mark at the very start
// is not part of the first line. A last line without a line end counts; an empty text has no lines.
class TAlbumLineReader {
public:
    // Longer lines are read to their end but only this many bytes are kept; no path is that long.
    static constexpr size_t kMaxLineBytes = 65536;

    explicit TAlbumLineReader(std::istream& input) : FInput(input) {}

    // The next line into line; false at the end of the text (or of the stream).
    bool Next(std::string& line);
    // Whether the line returned last was longer than kMaxLineBytes (and was cut).
    bool LineTooLong() const { return FTooLong; }

private:
    std::istream& FInput;
    bool FStarted = false;
    bool FEnded = false;
    bool FTooLong = false;
};

// All lines of a text, by TAlbumLineReader's rules.
std::vector<std::string> SplitAlbumLines(std::string_view text);

// Whether an album file is a PLS playlist, by its name.
bool IsPlsFileName(const std::string& path);

// The entries of PLS text: the values of the "FileN=" lines in the [playlist] section, in N order;
// file: URLs become their paths, other URLs (network streams) are left out, the rest is as written.
std::vector<std::string> PlsEntryLines(std::string_view text);

// The regular file an album line names: the line as a path against the current folder, else against
// albumFolder; if neither exists and the line holds "\", the same two tries with "\" turned into "/".
// The found path is absolute and lexically normalised. Nothing when the line names no regular file.
std::optional<std::string> ResolveAlbumLine(const std::string& line, const std::string& albumFolder);

// entryPath written relative to albumFolder by folder names: the folders that both paths begin with are
// left out, each remaining folder of albumFolder becomes "../", then the remaining folders of the entry
// and its file name follow, joined by "/". Both paths are made absolute and lexically normalised first.
// Names are compared exactly (POSIX names are case-sensitive).
std::string LexicalRelativePath(const std::string& albumFolder, const std::string& entryPath);

// The line SaveAlbum writes for an entry: LexicalRelativePath when the entry (or its nearest existing
// folder) is on the same file system as albumFolder, else the entry's absolute path.
std::string RelativeAlbumPath(const std::string& albumFolder, const std::string& entryPath);

} // namespace tunelo
