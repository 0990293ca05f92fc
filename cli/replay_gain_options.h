// The ReplayGain options that decode and play share: --replaygain off|track|album and --preamp DB.
#pragma once

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

} // namespace tunelo::cli
