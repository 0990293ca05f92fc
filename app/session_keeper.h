// The session kept across restarts: at quit the album, the current track and where it stood, the volume,
// the balance, the play mode and the equalizer's switch are written to the settings file; at start they
// are put back through the window's own controls, with the track opened and paused where it stood (or
// playing, when the user asked for that).
//
//   [Session] Count, Entry1 .. EntryN   the album's files in album order
//             Track, TrackEntry         the current track's file and its entry (-1: none)
//             Position                  where it stood, ms
//             Volume (0..100), Balance (-100..100), Random, RepeatOne, RepeatAll, Equalizer (1/0)
//             PlayOnStart               1: start playing instead of pausing (the user's setting; default 0)
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>

namespace tunelo {

class TPlatform;

struct TSessionState {
    QStringList Files;
    QString Track;
    int32_t TrackEntry = -1;
    int32_t Position = 0;
    int32_t Volume = 100;
    int32_t Balance = 0;
    bool Random = false;
    bool RepeatOne = false;
    bool RepeatAll = false;
    bool Equalizer = false;
};

class TSessionKeeper : public QObject {
    Q_OBJECT

public:
    // Writes the session when the window starts to close (before quitting stops the player).
    TSessionKeeper(TPlatform& window, std::string iniFileName);

    // What the window shows now.
    TSessionState Capture() const;
    void Save(const TSessionState& state) const;
    TSessionState Load() const;
    // Puts the stored session back. Files that have gone are left out and named in one error box.
    void Restore();

private:
    TPlatform& FWindow;
    std::string FIniFileName;
    bool FSaved = false;
};

} // namespace tunelo
