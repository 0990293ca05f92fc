// tunelo-cli play [--volume N] [--balance N] [--device NAME] [--replaygain MODE [--preamp DB]]
// FILE|ALBUM.m3u...: plays the files one after another through the player, without a gap between files of
// one format, showing title, artist, position
// and playing time. On a terminal: space pauses and resumes, n and p go to the next and previous file, the
// left and right arrows seek 5 s, q quits. Ctrl-C (or SIGTERM) stops cleanly: the device is closed and the
// terminal restored.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "MP3Plyr.h"
#include "album_arguments.h"
#include "commands.h"
#include "replay_gain_options.h"

namespace tunelo::cli {

namespace {

constexpr int32_t kSeekStepMs = 5000;

// The self-pipe that wakes the main loop: the player's posts and the signal handler write to it.
int gWakeWrite = -1;
volatile sig_atomic_t gInterrupted = 0;

void Wake() {
    if (gWakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(gWakeWrite, &byte, 1);
    }
}

void OnSignal(int) {
    gInterrupted = 1;
    Wake();
}

// Raw keys without echo while it lives; the terminal is given back as it was, also after Ctrl-C.
class TRawTerminal {
public:
    TRawTerminal() {
        if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &FSaved) != 0) {
            return;
        }
        termios raw = FSaved;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        FActive = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~TRawTerminal() {
        if (FActive) {
            tcsetattr(STDIN_FILENO, TCSANOW, &FSaved);
        }
    }
    bool Active() const { return FActive; }

private:
    termios FSaved{};
    bool FActive = false;
};

enum class TKey { None, PauseResume, Next, Previous, Back, Forward, Quit };

// Turns the bytes typed so far into keys; an arrow is ESC [ C or ESC [ D (ESC O C/D in application mode).
std::vector<TKey> ParseKeys(std::string& pending) {
    std::vector<TKey> keys;
    size_t i = 0;
    while (i < pending.size()) {
        const char c = pending[i];
        if (c == '\033') {
            if (i + 2 >= pending.size()) {
                break; // wait for the rest of the sequence
            }
            if (pending[i + 1] == '[' || pending[i + 1] == 'O') {
                if (pending[i + 2] == 'C') {
                    keys.push_back(TKey::Forward);
                } else if (pending[i + 2] == 'D') {
                    keys.push_back(TKey::Back);
                }
                i += 3;
            } else {
                i += 1;
            }
            continue;
        }
        switch (c) {
        case ' ':
            keys.push_back(TKey::PauseResume);
            break;
        case 'n':
        case 'N':
            keys.push_back(TKey::Next);
            break;
        case 'p':
        case 'P':
            keys.push_back(TKey::Previous);
            break;
        case 'q':
        case 'Q':
            keys.push_back(TKey::Quit);
            break;
        default:
            break;
        }
        ++i;
    }
    pending.erase(0, i);
    return keys;
}

std::string Clock(int32_t ms) {
    char text[32];
    const int32_t seconds = std::max(ms, 0) / 1000;
    std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
    return text;
}

bool ParseNumber(const char* text, int32_t low, int32_t high, int32_t& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    value = static_cast<int32_t>(parsed);
    return true;
}

class TPlayRun {
public:
    TPlayRun(std::vector<std::string> files, bool terminal) : FFiles(std::move(files)), FTerminal(terminal) {
        FPlayer.SetAutoPlay(false);
        // A line per report is enough when nobody watches a terminal.
        FPlayer.SetChangePosStep(terminal ? 400 : 1000);
        FPlayer.OnEndPlay = [this](TMP3Player&, TMP3EndPlayReason reason) { EndPlay(reason); };
        FPlayer.OnChangePosition = [this](TMP3Player&) { ShowPosition(); };
        // The next file carried straight on into: it is being heard now.
        FPlayer.OnTrackChange = [this](TMP3Player&) {
            ++FIndex;
            FCurrentPath = FFiles[FIndex];
            ShowTrack();
            PrepareNext();
        };
        FPlayer.OnChangeStatus = [this](TMP3Player&) {
            if (FTerminal) {
                ShowPosition();
            }
        };
        SetErrorDisplay([this](const std::exception& error) { ShowError(FCurrentPath, error.what()); });
    }
    ~TPlayRun() { SetErrorDisplay(nullptr); }

    TMP3Player& Player() { return FPlayer; }
    const std::vector<std::string>& Files() const { return FFiles; }
    // For automatic ReplayGain: which files play among tracks of their album (AlbumRunsOf).
    void SetAlbumRuns(std::vector<bool> runs) { FAlbumRuns = std::move(runs); }
    bool Failed() const { return FFailed; }
    bool Done() const { return FDone; }

    void StartCurrent() {
        while (FIndex < FFiles.size()) {
            FCurrentPath = FFiles[FIndex];
            try {
                FPlayer.SetAlbumRun(InAlbumRun(FIndex));
                FPlayer.SetFileName(FCurrentPath);
                PrepareNext();
                FPlayer.Play();
                ShowTrack();
                return;
            } catch (const std::exception& error) {
                ShowError(FCurrentPath, error.what());
                FFailed = true;
                FPlayer.Close();
                ++FIndex;
            }
        }
        FDone = true;
    }

    void Key(TKey key) {
        switch (key) {
        case TKey::PauseResume:
            if (FPlayer.Status() == mpsPlaying) {
                FPlayer.Pause();
            } else if (FPlayer.Status() == mpsPaused) {
                FPlayer.Resume();
            }
            break;
        case TKey::Next:
            Move(+1);
            break;
        case TKey::Previous:
            Move(-1);
            break;
        case TKey::Back:
            FPlayer.Seek(std::max(FPlayer.Position() - kSeekStepMs, 0));
            PrepareNext(); // a seek drops the prepared file
            break;
        case TKey::Forward:
            FPlayer.Seek(FPlayer.Position() + kSeekStepMs);
            PrepareNext();
            break;
        case TKey::Quit:
            FDone = true;
            break;
        case TKey::None:
            break;
        }
    }

    void Finish() {
        // Stops and closes the device before the terminal is given back.
        try {
            FPlayer.Close();
        } catch (const std::exception& error) {
            ShowError(FCurrentPath, error.what());
        }
        EndLine();
    }

private:
    void ShowTrack() {
        EndLine();
        std::printf("[%zu/%zu] %s - %s\n", FIndex + 1, FFiles.size(), FPlayer.Title().c_str(),
                    FPlayer.Artist().empty() ? "(unknown artist)" : FPlayer.Artist().c_str());
        std::fflush(stdout);
    }

    // The following file is opened ahead, so that the player goes on into it without a gap. One that
    // cannot be opened is left to the usual way, which reports why when its turn comes.
    void PrepareNext() {
        if (FIndex + 1 >= FFiles.size()) {
            return;
        }
        try {
            FPlayer.SetNextAlbumRun(InAlbumRun(FIndex + 1));
            FPlayer.SetNextFileName(FFiles[FIndex + 1]);
        } catch (const std::exception&) {
        }
    }

    void Move(int step) {
        if (step < 0) {
            FIndex = FIndex > 0 ? FIndex - 1 : 0;
        } else {
            ++FIndex;
        }
        // Opening the next file stops this one; the stop it reports is ours and ends nothing more.
        StartCurrent();
        if (FDone) {
            FPlayer.Close();
        }
    }

    void EndPlay(TMP3EndPlayReason reason) {
        if (reason == meprStopped || FDone) {
            return;
        }
        if (reason == meprError) {
            FFailed = true;
        }
        Move(+1);
    }

    void ShowPosition() {
        if (!FPlayer.IsOpen() || FDone) {
            return;
        }
        const std::string line = "  " + Clock(FPlayer.Position()) + " / " + Clock(FPlayer.Duration()) +
                                 (FPlayer.Status() == mpsPaused ? "  [paused]" : "");
        if (FTerminal) {
            std::printf("\r\033[K%s", line.c_str());
            FLineOpen = true;
        } else if (FPlayer.Status() != mpsStopped) {
            std::printf("%s\n", line.c_str());
        }
        std::fflush(stdout);
    }

    void ShowError(const std::string& path, const char* message) {
        EndLine();
        std::fprintf(stderr, "error: %s: %s\n", path.c_str(), message);
    }

    void EndLine() {
        if (FLineOpen) {
            std::printf("\n");
            std::fflush(stdout);
            FLineOpen = false;
        }
    }

    TMP3Player FPlayer;
    bool InAlbumRun(size_t index) const { return index < FAlbumRuns.size() && FAlbumRuns[index]; }

    std::vector<std::string> FFiles;
    std::vector<bool> FAlbumRuns;
    size_t FIndex = 0;
    std::string FCurrentPath;
    bool FTerminal;
    bool FLineOpen = false;
    bool FFailed = false;
    bool FDone = false;
};

void DrainWakePipe(int fd) {
    char bytes[256];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

} // namespace

int RunPlay(int argc, char** argv) {
    int32_t volume = -1;
    int32_t balance = 0;
    TReplayGainOptions gainOptions;
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        const TOptionResult gainOption = TakeReplayGainOption(argc, argv, i, gainOptions, "play");
        if (gainOption == TOptionResult::Bad) {
            return 2;
        } else if (gainOption == TOptionResult::Taken) {
            continue;
        } else if (std::strcmp(argv[i], "--volume") == 0 && hasValue) {
            if (!ParseNumber(argv[++i], 0, 100, volume)) {
                std::fprintf(stderr, "tunelo-cli play: --volume takes 0 to 100\n");
                return 2;
            }
        } else if (std::strcmp(argv[i], "--device") == 0 && hasValue) {
            // The same names as TUNELO_AUDIO: pulse, pulse:SINK, alsa, alsa:NAME, null.
            SetWaveOutputChoice(argv[++i]);
        } else if (std::strcmp(argv[i], "--balance") == 0 && hasValue) {
            if (!ParseNumber(argv[++i], -100, 100, balance)) {
                std::fprintf(stderr, "tunelo-cli play: --balance takes -100 to 100\n");
                return 2;
            }
        } else {
            arguments.emplace_back(argv[i]);
        }
    }
    if (arguments.empty()) {
        std::fprintf(stderr,
                     "usage: tunelo-cli play [--volume N] [--balance N] [--device NAME] [--replaygain "
                     "track|album [--preamp DB]] FILE|ALBUM.m3u...\n");
        return 2;
    }
    std::vector<std::string> albumErrors;
    std::vector<std::string> files = ExpandFileArguments(arguments, albumErrors);
    for (const std::string& message : albumErrors) {
        std::fprintf(stderr, "error: %s\n", message.c_str());
    }

    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        std::perror("tunelo-cli play");
        return 1;
    }
    gWakeWrite = wake[1];
    SetMessageWakeHook(Wake);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    bool failed = !albumErrors.empty();
    {
        TRawTerminal terminal;
        TPlayRun run(std::move(files), isatty(STDOUT_FILENO) != 0);
        if (volume >= 0) {
            run.Player().SetVolume(volume);
        }
        run.Player().SetVolBalance(balance);
        run.Player().SetReplayGainMode(gainOptions.Mode);
        run.Player().SetReplayGainPreamp(gainOptions.Preamp);
        if (gainOptions.Mode == rgmAuto) {
            run.SetAlbumRuns(AlbumRunsOf(run.Files()));
        }
        run.StartCurrent();
        std::string typed;
        while (!run.Done() && gInterrupted == 0) {
            pollfd fds[2] = {{wake[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            const nfds_t count = terminal.Active() ? 2 : 1;
            if (::poll(fds, count, -1) < 0 && errno != EINTR) {
                break;
            }
            DrainWakePipe(wake[0]);
            ProcessMessages();
            if (count == 2 && (fds[1].revents & POLLIN) != 0) {
                char bytes[64];
                const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
                if (n > 0) {
                    typed.append(bytes, static_cast<size_t>(n));
                }
                for (const TKey key : ParseKeys(typed)) {
                    run.Key(key);
                    ProcessMessages();
                }
            }
        }
        run.Finish();
        failed |= run.Failed();
    }
    SetMessageWakeHook(nullptr);
    gWakeWrite = -1;
    ::close(wake[0]);
    ::close(wake[1]);
    if (gInterrupted != 0) {
        return 130;
    }
    return failed ? 1 : 0;
}

} // namespace tunelo::cli
