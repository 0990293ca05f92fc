#include "replay_gain_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tunelo::cli {

TOptionResult TakeReplayGainOption(int argc, char** argv, int& index, TReplayGainOptions& options,
                                   const char* command) {
    const bool hasValue = index + 1 < argc;
    if (std::strcmp(argv[index], "--replaygain") == 0 && hasValue) {
        if (!ReplayGainModeFromName(argv[++index], options.Mode)) {
            std::fprintf(stderr, "tunelo-cli %s: --replaygain takes off, track or album\n", command);
            return TOptionResult::Bad;
        }
        return TOptionResult::Taken;
    }
    if (std::strcmp(argv[index], "--preamp") == 0 && hasValue) {
        const char* text = argv[++index];
        char* end = nullptr;
        options.Preamp = std::strtod(text, &end);
        // More than 60 dB either way is no longer a loudness correction.
        if (end == text || *end != '\0' || !std::isfinite(options.Preamp) || std::fabs(options.Preamp) > 60) {
            std::fprintf(stderr, "tunelo-cli %s: --preamp takes a number of dB from -60 to 60\n", command);
            return TOptionResult::Bad;
        }
        return TOptionResult::Taken;
    }
    return TOptionResult::NotThis;
}

} // namespace tunelo::cli
