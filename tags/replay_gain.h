// How loud to play a track from its ReplayGain figures.
#pragma once

#include <cstdint>
#include <string_view>

#include "mp3_info.h"

namespace tunelo {

// rgmAuto: album gain while the track plays among others of its album (a whole album in order keeps
// its quiet and loud passages as mastered), track gain where it plays next to tracks of other albums (a
// mix or a random order levels out).
enum TMPReplayGainMode : uint8_t { rgmOff, rgmTrack, rgmAlbum, rgmAuto };

// Linear factor for the samples: the chosen gain (the other one where the file lacks it; none where it
// has neither) plus the pre-amp, lowered where the peak shows that the samples would clip. Off is 1.
// Automatic counts as album when albumRun says the track plays among its album's tracks, else as track.
double ReplayGainFactor(const TMPReplayGain& gain, TMPReplayGainMode mode, double preampDb,
                        bool albumRun = false);

// Whether a track of album plays next to another track of the same album: before and after are the
// albums of the tracks played just before and just after it (empty where there is none). Tracks without
// an album name never form a run.
bool InAlbumRun(std::string_view album, std::string_view before, std::string_view after);

// "off", "track", "album", "auto"; false for another name.
bool ReplayGainModeFromName(std::string_view name, TMPReplayGainMode& mode);
const char* ReplayGainModeName(TMPReplayGainMode mode);

} // namespace tunelo
