#include "replay_gain_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tag_scan.h"

namespace tunelo::cli {

TOptionResult TakeReplayGainOption(int argc, char** argv, int& index, TReplayGainOptions& options,
                                   const char* command) {
    const bool hasValue = index + 1 < argc;
    if (std::strcmp(argv[index], "--replaygain") == 0 && hasValue) {
        if (!ReplayGainModeFromName(argv[++index], options.Mode)) {
            std::fprintf(stderr, "tunelo-cli %s: --replaygain takes off, track, album or auto\n", command);
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

std::vector<bool> AlbumRunsOf(const std::vector<std::string>& files) {
    std::vector<std::string> albums;
    albums.reserve(files.size());
    for (const std::string& file : files) {
        TTagScan scan;
        std::string reason;
        albums.push_back(scan.Open(file, "", reason) ? scan.Info().Album() : std::string());
    }
    std::vector<bool> runs(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        runs[i] = InAlbumRun(albums[i], i > 0 ? albums[i - 1] : std::string(),
                             i + 1 < files.size() ? albums[i + 1] : std::string());
    }
    return runs;
}

} // namespace tunelo::cli
