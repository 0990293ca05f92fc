// ReplayGain figures written as text items ("REPLAYGAIN_TRACK_GAIN" = "-6.02 dB"), as ID3v2 user-text
// frames and APE tags carry them.
#pragma once

#include <string_view>

#include "mp3_info.h"

namespace tunelo {

// Takes the item into gain when its name is one of the four ReplayGain names and its value a number.
void TakeReplayGainItem(std::string_view name, std::string_view value, TMPReplayGain& gain);

} // namespace tunelo
