// tunelo-cli: the headless front end to the decoder and the player.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "output_file.h"

namespace {

struct Command {
    const char* Name;
    const char* Usage;
    int (*Run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"frames", "frames FILE                  list the MPEG audio frames of FILE", tunelo::cli::RunFrames},
    {"decode",
     "decode [--full] [--no-gapless] [--replaygain track|album|auto [--preamp DB]] IN OUT\n"
     "                               decode IN (- for stdin) to OUT (.wav, raw PCM, or - for stdout)",
     tunelo::cli::RunDecode},
    {"bench", "bench FILE [-n N]            time N decodes of FILE (default 5)", tunelo::cli::RunBench},
    {"info",
     "info [--encoding NAME] FILE...\n"
     "                               stream parameters, playing time and tags of each FILE; NAME is\n"
     "                               the code page of tag text that declares none (CP1251, SHIFT_JIS)",
     tunelo::cli::RunInfo},
    {"cover", "cover FILE OUT               write the picture embedded in FILE's tags to OUT",
     tunelo::cli::RunCover},
    {"play",
     "play [--volume N] [--balance N] [--device NAME] [--replaygain track|album|auto [--preamp DB]]\n"
     "     FILE|ALBUM.m3u...\n"
     "                               play the files one after another (keys: space, n, p,\n"
     "                               left/right seek 5 s, q); NAME: pulse[:SINK], alsa[:PCM],\n"
     "                               null (default: the sound server if one answers, else ALSA)",
     tunelo::cli::RunPlay},
    {"wav",
     "wav [--replaygain track|album|auto [--preamp DB]] DIR FILE|ALBUM.m3u...\n"
     "                               decode each file through the player into DIR/NAME.wav",
     tunelo::cli::RunWav},
};

int PrintHelp(FILE* out) {
    std::fprintf(out, "TUNELO Version 0.02 - headless front end\n\nusage: tunelo-cli COMMAND [ARGS]\n\n");
    for (const Command& c : kCommands) {
        std::fprintf(out, "  %s\n", c.Usage);
    }
    std::fprintf(out, "  help                         show this text\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // An interrupted run leaves no temporary file behind, and never a partial file under a final name.
    tunelo::RemovePendingOutputFilesOnSignals();
    if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
        return PrintHelp(stdout);
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.Name) == 0) {
            return c.Run(argc - 2, argv + 2);
        }
    }
    std::fprintf(stderr, "tunelo-cli: unknown command '%s'\n\n", argv[1]);
    PrintHelp(stderr);
    return 2;
}
