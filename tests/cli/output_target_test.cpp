// Where decode and wav write: a regular file only ever appears complete under its name; a symbolic link
// keeps linking and its target gets the data; a named pipe's reader and a device get the data written
// in place, and the node stays what it was; an interrupted run leaves nothing behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <future>
#include <thread>

#include "cli_run.h"

namespace {

using namespace clitest;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class OutputTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        Song = Dir.Path("song.mp3").string();
        WriteBytes(Song, RepeatedStream(4));
        const CliResult plain = RunCli({"decode", Song, Dir.Path("plain.wav").string()});
        ASSERT_EQ(plain.ExitCode, 0) << plain.Err;
        Expected = ReadBytes(Dir.Path("plain.wav"));
        ASSERT_GT(Expected.size(), 44u);
        fs::remove(Dir.Path("plain.wav"));
    }

    TempDir Dir;
    std::string Song;
    Bytes Expected;
};

TEST_F(OutputTargetTest, ASymbolicLinkKeepsLinkingAndItsTargetGetsTheFile) {
    fs::create_directory(Dir.Path("real"));
    WriteText(Dir.Path("real/target.wav"), "old content");
    fs::create_symlink("real/target.wav", Dir.Path("link.wav"));
    // A link to a name not yet taken creates the file there.
    fs::create_symlink("real/new.wav", Dir.Path("dangling.wav"));
    for (const char* name : {"link.wav", "dangling.wav"}) {
        const CliResult run = RunCli({"decode", Song, Dir.Path(name).string()});
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Dir.Path(name)))) << name;
    }
    EXPECT_EQ(ReadBytes(Dir.Path("real/target.wav")), Expected);
    EXPECT_EQ(ReadBytes(Dir.Path("real/new.wav")), Expected);
    EXPECT_EQ(Names(Dir.Path("real")), (std::vector<std::string>{"new.wav", "target.wav"}));
}

TEST_F(OutputTargetTest, ANamedPipesReaderGetsTheDataAndThePipeStays) {
    const fs::path fifo = Dir.Path("pipe.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto reader = std::async(std::launch::async, [&] { return ReadBytes(fifo); });
    const CliResult run = RunCli({"decode", Song, fifo.string()});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const Bytes got = reader.get();
    ASSERT_EQ(got.size(), Expected.size());
    // A pipe cannot be rewritten: its header states the sizes a stream reader takes as "to the end".
    EXPECT_TRUE(std::equal(got.begin() + 44, got.end(), Expected.begin() + 44));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(Names(Dir.Folder()), (std::vector<std::string>{"pipe.wav", "song.mp3"}));
}

TEST_F(OutputTargetTest, ACharacterDeviceStaysADevice) {
    const fs::path node = Dir.Path("null.wav");
    if (mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "mknod refused: " << std::strerror(errno);
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"decode", Song, node.string()},
          std::vector<std::string>{"wav", Dir.Folder().string(), Dir.Path("null.mp3").string()}}) {
        if (args[0] == "wav") {
            fs::copy_file(Song, Dir.Path("null.mp3"));
        }
        const CliResult run = RunCli(args);
        EXPECT_EQ(run.ExitCode, 0) << args[0] << ": " << run.Err;
        struct stat info {};
        ASSERT_EQ(stat(node.c_str(), &info), 0);
        EXPECT_TRUE(S_ISCHR(info.st_mode)) << args[0];
    }
}

TEST_F(OutputTargetTest, TheWavCommandFollowsLinksAndFeedsPipesToo) {
    fs::create_directory(Dir.Path("out"));
    fs::create_directory(Dir.Path("real"));
    fs::create_symlink("../real/song.wav", Dir.Path("out/song.wav"));
    const CliResult run = RunCli({"wav", Dir.Path("out").string(), Song});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Dir.Path("out/song.wav"))));
    EXPECT_EQ(ReadBytes(Dir.Path("real/song.wav")).size(), Expected.size());

    fs::remove(Dir.Path("out/song.wav"));
    ASSERT_EQ(mkfifo(Dir.Path("out/song.wav").c_str(), 0600), 0);
    auto reader = std::async(std::launch::async, [&] { return ReadBytes(Dir.Path("out/song.wav")); });
    const CliResult piped = RunCli({"wav", Dir.Path("out").string(), Song});
    ASSERT_EQ(piped.ExitCode, 0) << piped.Err;
    EXPECT_EQ(reader.get().size(), Expected.size());
    EXPECT_TRUE(fs::is_fifo(Dir.Path("out/song.wav")));
}

TEST_F(OutputTargetTest, ANameAtTheSystemsLimitWorksAndAReplacedFileKeepsItsPermissions) {
    const std::string longName = std::string(NAME_MAX - 4, 'n') + ".wav";
    const CliResult run = RunCli({"decode", Song, Dir.Path(longName).string()});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(ReadBytes(Dir.Path(longName)), Expected);

    const fs::path kept = Dir.Path("kept.wav");
    WriteText(kept, "old");
    fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(RunCli({"decode", Song, kept.string()}).ExitCode, 0);
    EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// A signal during a long wav run: the output folder holds neither the file nor a temporary.
TEST_F(OutputTargetTest, ASignalDuringWavLeavesNoFile) {
    const fs::path out = Dir.Path("out");
    fs::create_directory(out);
    WriteBytes(Dir.Path("long.mp3"), RepeatedStream(3000)); // 15 minutes
    std::vector<std::string> all = {TUNELO_CLI, "wav", out.string(), Dir.Path("long.mp3").string()};
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, TUNELO_CLI, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Wait until the output is being written.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : fs::directory_iterator(out)) {
            writing |= fs::is_regular_file(entry.path()) && fs::file_size(entry.path()) > 100000;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(writing) << "the run never started writing";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(Names(out), std::vector<std::string>{});
}

} // namespace

namespace {

// A full disk behind standard output is a failure, not a listing that silently stops.
TEST(OutputTarget, FramesAndInfoReportAFailedWriteWithExitCode1) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    for (const char* command : {"frames", "info"}) {
        const std::string shell = std::string("'") + TUNELO_CLI + "' " + command + " '" +
                                  DataFile("l3-junk100.mp3") + "' > /dev/full 2>/dev/null";
        const int status = std::system(shell.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << command;
        EXPECT_EQ(WEXITSTATUS(status), 1) << command;
    }
}

} // namespace
