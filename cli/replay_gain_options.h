// The ReplayGain options that decode, play and wav share: --replaygain off|track|album|auto and --preamp DB.
#pragma once

#include <string>
#include <vector>

#include "replay_gain.h"

namespace tunelo::cli {

struct TReplayGainOptions {
    TMPReplayGainMode Mode = rgmOff;
    double Preamp = 0;
};

enum class TOptionResult { NotThis, Taken, Bad };

// Takes the option at argv[index] with its value (advancing index past it). Bad: a message naming the
// command is printed.
TOptionResult TakeReplayGainOption(int argc, char** argv, int& index, TReplayGainOptions& options,
                                   const char* command);

// For the automatic mode: whether each file of a run, played in the given order, plays next to another
// track of its album (by the album names of their tags; a file that cannot be read has none).
std::vector<bool> AlbumRunsOf(const std::vector<std::string>& files);

} // namespace tunelo::cli
