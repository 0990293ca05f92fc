// A private PulseAudio daemon for the tests: its own runtime folder and home, a null sink "tunelo_test"
// at 44100 Hz stereo, a socket of its own that the tests reach through PULSE_SERVER, and parec recording
// the sink's monitor. Killed (and its folder removed) at the end; nothing of the user's own sound server is
// touched.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "wave_device.h"

extern char** environ;

namespace pulsetest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline bool Executable(const char* name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const fs::path candidate = fs::path(folders.substr(start, end - start)) / name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// Starts a program with the given environment additions; stdout goes to outPath when given.
inline pid_t Spawn(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& extraEnvironment, const std::string& outPath = {},
                   const std::string& errPath = {}) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> all = arguments;
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!outPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!errPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits up to the time-out for the process to end; true when it did.
inline bool WaitForExit(pid_t pid, std::chrono::milliseconds timeout, int* status = nullptr) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    int local = 0;
    while (std::chrono::steady_clock::now() < until) {
        const pid_t done = waitpid(pid, &local, WNOHANG);
        if (done == pid) {
            if (status != nullptr) {
                *status = local;
            }
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

inline std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TPulseTestServer {
public:
    TPulseTestServer() {
        char name[] = "/tmp/tunelo_pulse_XXXXXX";
        FFolder = mkdtemp(name);
        fs::create_directories(FFolder / "run");
        fs::create_directories(FFolder / "home");
        std::ofstream script(FFolder / "server.pa");
        // Without rewinds: a sink that renders ahead and rewinds would show the monitor samples that were
        // taken back, so the recording would not be what was heard.
        script << "load-module module-null-sink sink_name=tunelo_test rate=44100 channels=2 norewinds=1\n"
               << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << Socket().string()
               << "\n"
               << "set-default-sink tunelo_test\n";
    }

    ~TPulseTestServer() {
        Kill();
        std::error_code error;
        fs::remove_all(FFolder, error);
    }

    TPulseTestServer(const TPulseTestServer&) = delete;
    TPulseTestServer& operator=(const TPulseTestServer&) = delete;

    fs::path Socket() const { return FFolder / "native"; }
    std::string Address() const { return "unix:" + Socket().string(); }
    const fs::path& Folder() const { return FFolder; }

    // Starts the daemon and waits until it answers. Empty on success, else why it did not start.
    std::string Start() {
        if (!Executable("pulseaudio")) {
            return "pulseaudio is not installed (scripts/install-deps.sh installs it)";
        }
        setenv("PULSE_SERVER", Address().c_str(), 1);
        // -n: no default script; as root the daemon only warns that it is meant for a user session.
        FDaemon = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                         "--disallow-exit", "--log-target=stderr", "-F", (FFolder / "server.pa").string()},
                        {"XDG_RUNTIME_DIR=" + (FFolder / "run").string(),
                         "HOME=" + (FFolder / "home").string(), "PULSE_SERVER="},
                        {}, (FFolder / "daemon.log").string());
        if (FDaemon < 0) {
            return "cannot start pulseaudio";
        }
        const auto until = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < until) {
            if (waitpid(FDaemon, nullptr, WNOHANG) == FDaemon) {
                FDaemon = -1;
                break;
            }
            if (fs::exists(Socket()) && Pactl({"info"}) == 0) {
                return {};
            }
            std::this_thread::sleep_for(50ms);
        }
        std::ifstream log(FFolder / "daemon.log");
        const std::string text{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
        Kill();
        return "the private pulseaudio daemon did not answer; its log:\n" + text;
    }

    void Kill() {
        if (FDaemon > 0) {
            kill(FDaemon, SIGKILL);
            waitpid(FDaemon, nullptr, 0);
            FDaemon = -1;
        }
        std::error_code error;
        fs::remove(Socket(), error);
    }

    // pactl against this server; its output goes to outPath when given. The exit status.
    int Pactl(const std::vector<std::string>& arguments, const std::string& outPath = {}) const {
        std::vector<std::string> all = {"pactl", "--server=" + Address()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const pid_t pid = Spawn(all, {}, outPath.empty() ? "/dev/null" : outPath, "/dev/null");
        int status = 0;
        if (pid < 0 || !WaitForExit(pid, 10s, &status)) {
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string PactlText(const std::vector<std::string>& arguments) const {
        const fs::path out = FFolder / "pactl.out";
        Pactl(arguments, out.string());
        const std::vector<uint8_t> bytes = ReadBytes(out);
        return {bytes.begin(), bytes.end()};
    }

private:
    fs::path FFolder;
    pid_t FDaemon = -1;
};

// parec on the null sink's monitor: raw 16-bit stereo at 44100 Hz into a file, from construction until
// Stop.
class TMonitorRecording {
public:
    TMonitorRecording(const TPulseTestServer& server, const std::string& name)
        : FPath(server.Folder() / name) {
        FPid = Spawn({"parec", "--server=" + server.Address(), "--device=tunelo_test.monitor",
                      "--format=s16le", "--rate=44100", "--channels=2", "--raw", "--latency-msec=20"},
                     {}, FPath.string(), "/dev/null");
        // The recording must be running before anything plays.
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < until &&
               server.PactlText({"list", "short", "source-outputs"}).empty()) {
            std::this_thread::sleep_for(20ms);
        }
    }

    ~TMonitorRecording() { Stop(); }

    bool Running() const { return FPid > 0; }

    // 16-bit samples recorded so far, interleaved left and right.
    std::vector<int16_t> Stop() {
        if (FPid > 0) {
            // What reached the monitor has reached parec by now, give or take its own latency.
            std::this_thread::sleep_for(200ms);
            kill(FPid, SIGINT);
            if (!WaitForExit(FPid, 5s)) {
                kill(FPid, SIGKILL);
                waitpid(FPid, nullptr, 0);
            }
            FPid = -1;
        }
        const std::vector<uint8_t> bytes = ReadBytes(FPath);
        std::vector<int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

private:
    fs::path FPath;
    pid_t FPid = -1;
};

// Where `played` (interleaved stereo) begins inside `recording`: both are aligned at their first sample
// pair that is not silent. -1 when either is silent throughout.
inline int64_t AlignmentOffset(const std::vector<int16_t>& recording, const std::vector<int16_t>& played) {
    const auto firstSound = [](const std::vector<int16_t>& samples) -> int64_t {
        for (size_t i = 0; i + 1 < samples.size(); i += 2) {
            if (samples[i] != 0 || samples[i + 1] != 0) {
                return static_cast<int64_t>(i);
            }
        }
        return -1;
    };
    const int64_t inRecording = firstSound(recording);
    const int64_t inPlayed = firstSound(played);
    if (inRecording < 0 || inPlayed < 0) {
        return -1;
    }
    return inRecording - inPlayed;
}

// How many samples of `played` differ from the recording at the offset (samples the recording lacks
// count as different).
inline size_t Mismatches(const std::vector<int16_t>& recording, const std::vector<int16_t>& played,
                         int64_t offset) {
    size_t count = 0;
    for (size_t i = 0; i < played.size(); ++i) {
        const int64_t at = offset + static_cast<int64_t>(i);
        if (at < 0 || at >= static_cast<int64_t>(recording.size()) ||
            recording[static_cast<size_t>(at)] != played[i]) {
            ++count;
        }
    }
    return count;
}

} // namespace pulsetest
