// How loud to play a track from its ReplayGain figures.
#pragma once

#include <cstdint>
#include <string_view>

#include "mp3_info.h"

namespace tunelo {

enum TMPReplayGainMode : uint8_t { rgmOff, rgmTrack, rgmAlbum };

// Linear factor for the samples: the chosen gain (the other one where the file lacks it; none where it
// has neither) plus the pre-amp, lowered where the peak shows that the samples would clip. Off is 1.
double ReplayGainFactor(const TMPReplayGain& gain, TMPReplayGainMode mode, double preampDb);

// "off", "track", "album"; false for another name.
bool ReplayGainModeFromName(std::string_view name, TMPReplayGainMode& mode);
const char* ReplayGainModeName(TMPReplayGainMode mode);

} // namespace tunelo
