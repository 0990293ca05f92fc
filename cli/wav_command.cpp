// tunelo-cli wav [--replaygain MODE [--preamp DB]] DIR FILE|ALBUM.m3u...: decodes each file through the
// player into DIR, named after the source with its extension replaced by ".wav", the way the jukebox's Decode
// button does.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "MP3Plyr.h"
#include "album_arguments.h"
#include "commands.h"
#include "replay_gain_options.h"
#include "terminal_text.h"

namespace tunelo::cli {

namespace {

namespace fs = std::filesystem;

std::string WavPathFor(const std::string& folder, const std::string& source) {
    return (fs::path(folder) / fs::path(source).filename().replace_extension(".wav")).string();
}

class TWavRun {
public:
    explicit TWavRun(bool terminal) : FTerminal(terminal) {
        FPlayer.SetAutoPlay(false);
        FPlayer.OnEndPlay = [this](TMP3Player&, TMP3EndPlayReason reason) {
            FEnded = true;
            FReason = reason;
        };
        FPlayer.OnChangePosition = [this](TMP3Player&) { ShowProgress(); };
        // A worker's error ends the file with meprError; its message is shown here, on its own line.
        SetErrorDisplay([this](const std::exception& error) {
            EndProgressLine();
            std::fprintf(stderr, "error: %s: %s\n", Printable(FSource).c_str(),
                         Printable(error.what()).c_str());
        });
    }
    ~TWavRun() { SetErrorDisplay(nullptr); }

    TMP3Player& Player() { return FPlayer; }

    // Decodes one file; false when it failed.
    bool Decode(const std::string& source, const std::string& target) {
        FSource = source;
        FTarget = target;
        try {
            FPlayer.SetFileName(source);
            FEnded = false;
            FPlayer.PlayToFile(target);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "error: %s: %s\n", Printable(source).c_str(),
                         Printable(error.what()).c_str());
            FPlayer.Close();
            return false;
        }
        while (!FEnded) {
            WaitMessage(-1);
            ProcessMessages();
        }
        const bool ok = FReason == meprEndOfStream;
        if (ok) {
            EndProgressLine();
            std::printf("%s -> %s\n", Printable(source).c_str(), Printable(target).c_str());
            std::fflush(stdout);
        }
        FPlayer.Close();
        return ok;
    }

private:
    void ShowProgress() {
        if (!FTerminal || FEnded) {
            return;
        }
        const int32_t duration = FPlayer.Duration();
        const int32_t position = FPlayer.Position();
        if (duration > 0) {
            std::printf("\r\033[K%s: %d%%", Printable(FSource).c_str(),
                        static_cast<int>(int64_t{position} * 100 / duration));
        } else {
            std::printf("\r\033[K%s: %d.%01d s", Printable(FSource).c_str(), position / 1000,
                        position % 1000 / 100);
        }
        std::fflush(stdout);
        FProgressShown = true;
    }

    void EndProgressLine() {
        if (FProgressShown) {
            std::printf("\r\033[K");
            std::fflush(stdout);
            FProgressShown = false;
        }
    }

    TMP3Player FPlayer;
    bool FTerminal;
    bool FEnded = false;
    bool FProgressShown = false;
    TMP3EndPlayReason FReason = meprStopped;
    std::string FSource;
    std::string FTarget;
};

} // namespace

int RunWav(int argc, char** argv) {
    TReplayGainOptions gainOptions;
    int first = 0;
    for (TOptionResult taken; first < argc; ++first) {
        if ((taken = TakeReplayGainOption(argc, argv, first, gainOptions, "wav")) == TOptionResult::Bad) {
            return 2;
        } else if (taken == TOptionResult::NotThis) {
            break;
        }
    }
    argc -= first;
    argv += first;
    if (argc < 2) {
        std::fprintf(
            stderr,
            "usage: tunelo-cli wav [--replaygain track|album|auto [--preamp DB]] DIR FILE|ALBUM.m3u...\n");
        return 2;
    }
    const std::string folder = argv[0];
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        std::fprintf(stderr, "error: %s: not a folder\n", Printable(folder).c_str());
        return 1;
    }
    std::vector<std::string> albumErrors;
    const std::vector<std::string> files =
        ExpandFileArguments(std::vector<std::string>(argv + 1, argv + argc), albumErrors);
    for (const std::string& message : albumErrors) {
        std::fprintf(stderr, "error: %s\n", Printable(message).c_str());
    }
    // Everything goes to files: no sound device is needed.
    setenv("TUNELO_AUDIO", "null", 1);
    TWavRun run(isatty(STDOUT_FILENO) != 0);
    run.Player().SetReplayGainMode(gainOptions.Mode);
    run.Player().SetReplayGainPreamp(gainOptions.Preamp);
    bool failed = !albumErrors.empty();
    const std::vector<bool> albumRuns =
        gainOptions.Mode == rgmAuto ? AlbumRunsOf(files) : std::vector<bool>();
    for (size_t i = 0; i < files.size(); ++i) {
        run.Player().SetAlbumRun(!albumRuns.empty() && albumRuns[i]);
        failed |= !run.Decode(files[i], WavPathFor(folder, files[i]));
    }
    // An album whose entries all came to nothing must not pass for a finished run.
    if (files.empty() && albumErrors.empty()) {
        std::fprintf(stderr, "error: no files to decode\n");
        return 1;
    }
    return failed ? 1 : 0;
}

} // namespace tunelo::cli
