// tunelo-cli play on the null device: a file plays to its end by itself, failing files are skipped and
// counted, and on a terminal (a pseudo-terminal here) the keys work and the terminal is given back as it
// was, also after Ctrl-C.
#include <poll.h>
#include <pty.h>
#include <termios.h>

#include <csignal>

#include "cli_run.h"

namespace {

using namespace clitest;

const bool kNullAudio = [] { return setenv("TUNELO_AUDIO", "null", 1) == 0; }();

TEST(PlayCommand, AThreeSecondFilePlaysToItsEndByItself) {
    TempDir dir;
    const fs::path path = dir.Path("three.mp3");
    WriteBytes(path, RepeatedStream(9)); // 9 x 0.34 s
    const CliResult run = RunCli({"play", path.string()});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    // Played in real time, not skipped through; the bound above only keeps a hang from passing.
    EXPECT_GT(run.Seconds, 2.0);
    EXPECT_LT(run.Seconds, 30.0);
    EXPECT_NE(run.Out.find("[1/1] three.mp3"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("/ 0:03"), std::string::npos)
        << "no position line with the playing time: " << run.Out;
}

TEST(PlayCommand, FailingFilesAreReportedAndSkippedAndTheExitStatusSaysSo) {
    TempDir dir;
    WriteText(dir.Path("text.mp3"), "not audio");
    const CliResult run = RunCli({"play", "--volume", "50", "--balance", "-20", dir.Path("text.mp3").string(),
                                  DataFile("l3-mpeg2-22k.mp3"), dir.Path("missing.m3u").string()});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("text.mp3: unknown MPEG Audio format."), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("File not found."), std::string::npos) << run.Err;
    EXPECT_NE(run.Out.find("[2/2] l3-mpeg2-22k.mp3"), std::string::npos) << run.Out;

    const CliResult good = RunCli({"play", DataFile("l3-mpeg2-22k.mp3"), DataFile("l2-mpeg2-22k.mp2")});
    EXPECT_EQ(good.ExitCode, 0) << good.Err;
    EXPECT_NE(good.Out.find("[2/2] l2-mpeg2-22k.mp2"), std::string::npos) << good.Out;
}

TEST(PlayCommand, BadOptionsAreRefused) {
    EXPECT_EQ(RunCli({"play", "--volume", "101", DataFile("l3-mpeg2-22k.mp3")}).ExitCode, 2);
    EXPECT_EQ(RunCli({"play", "--balance", "x", DataFile("l3-mpeg2-22k.mp3")}).ExitCode, 2);
    EXPECT_EQ(RunCli({"play"}).ExitCode, 2);
}

// tunelo-cli play on a pseudo-terminal: keys typed into it, its screen read back.
class TerminalRun {
public:
    explicit TerminalRun(const std::vector<std::string>& files) {
        termios settings{};
        cfmakeraw(&settings);
        settings.c_lflag |= ICANON | ECHO | ISIG;
        settings.c_oflag |= OPOST | ONLCR;
        settings.c_cc[VINTR] = 3;
        FPid = forkpty(&FMaster, nullptr, &settings, nullptr);
        if (FPid == 0) {
            std::vector<std::string> all = {TUNELO_CLI, "play"};
            all.insert(all.end(), files.begin(), files.end());
            std::vector<char*> argv;
            for (std::string& argument : all) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            execv(TUNELO_CLI, argv.data());
            _exit(127);
        }
    }
    ~TerminalRun() {
        if (FPid > 0 && !FExited) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        if (FMaster >= 0) {
            close(FMaster);
        }
    }
    bool Started() const { return FPid > 0; }

    // Reads the screen until the text appears (true) or the time is up.
    bool WaitFor(const std::string& text, int seconds = 15) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (FScreen.find(text, FSeen) == std::string::npos) {
            if (std::chrono::steady_clock::now() > limit) {
                return false;
            }
            ReadSome(100);
        }
        FSeen = FScreen.find(text, FSeen) + text.size();
        return true;
    }
    void Type(const std::string& keys) {
        ASSERT_EQ(write(FMaster, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    // The exit status; -1 when the program did not end in time.
    int Wait(int seconds = 15) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < limit) {
            ReadSome(50);
            int status = 0;
            if (waitpid(FPid, &status, WNOHANG) == FPid) {
                FExited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }
    // The terminal's settings as the program left them.
    termios Settings() const {
        termios settings{};
        tcgetattr(FMaster, &settings);
        return settings;
    }
    const std::string& Screen() const { return FScreen; }

private:
    bool ReadSome(int milliseconds) {
        pollfd fd{FMaster, POLLIN, 0};
        if (poll(&fd, 1, milliseconds) <= 0) {
            return false;
        }
        char bytes[4096];
        const ssize_t n = read(FMaster, bytes, sizeof bytes);
        if (n <= 0) {
            return false;
        }
        FScreen.append(bytes, static_cast<size_t>(n));
        return true;
    }

    pid_t FPid = -1;
    int FMaster = -1;
    bool FExited = false;
    std::string FScreen;
    size_t FSeen = 0;
};

TEST(PlayCommand, KeysPauseSeekSkipAndQuitOnATerminal) {
    TempDir dir;
    WriteBytes(dir.Path("long.mp3"), RepeatedStream(60)); // 20 s
    WriteBytes(dir.Path("short.mp3"), RepeatedStream(30));
    TerminalRun run({dir.Path("long.mp3").string(), dir.Path("short.mp3").string()});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor("[1/2] long.mp3")) << run.Screen();
    ASSERT_TRUE(run.WaitFor("/ 0:20")) << run.Screen();
    run.Type(" ");
    ASSERT_TRUE(run.WaitFor("[paused]")) << run.Screen();
    run.Type(" ");
    run.Type("\033[C\033[C"); // two seeks forward: 10 s
    EXPECT_TRUE(run.WaitFor("0:1")) << run.Screen();
    run.Type("n");
    ASSERT_TRUE(run.WaitFor("[2/2] short.mp3")) << run.Screen();
    run.Type("p");
    ASSERT_TRUE(run.WaitFor("[1/2] long.mp3")) << run.Screen();
    run.Type("q");
    EXPECT_EQ(run.Wait(), 0) << run.Screen();
    const termios after = run.Settings();
    EXPECT_NE(after.c_lflag & ICANON, 0u) << "the terminal was left without line editing";
    EXPECT_NE(after.c_lflag & ECHO, 0u) << "the terminal was left without echo";
}

TEST(PlayCommand, CtrlCStopsCleanlyAndRestoresTheTerminal) {
    TempDir dir;
    WriteBytes(dir.Path("long.mp3"), RepeatedStream(60));
    TerminalRun run({dir.Path("long.mp3").string()});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor("/ 0:20")) << run.Screen();
    run.Type("\003");
    EXPECT_EQ(run.Wait(), 130) << run.Screen();
    const termios after = run.Settings();
    EXPECT_NE(after.c_lflag & ICANON, 0u);
    EXPECT_NE(after.c_lflag & ECHO, 0u);
}

} // namespace
