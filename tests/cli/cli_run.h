// Runs tunelo-cli for the command tests: its exit status, standard output and standard error, and the
// time it took; standard input is empty, so the program sees no terminal.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace clitest {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct CliResult {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
    double Seconds = 0;
    long PeakKb = 0; // the process's peak resident memory
};

inline std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string DataFile(const std::string& name) {
    return std::string(TUNELO_TEST_DATA) + "/" + name;
}

// A scratch folder, removed with its contents at the end of the test.
class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/tunelo_cli_test_XXXXXX";
        FPath = mkdtemp(name);
    }
    ~TempDir() {
        std::error_code error;
        fs::remove_all(FPath, error);
    }
    fs::path Path(const std::string& name) const { return FPath / name; }
    const fs::path& Folder() const { return FPath; }

private:
    fs::path FPath;
};

inline CliResult RunCli(const std::vector<std::string>& arguments, const std::string& workingFolder = {}) {
    TempDir io;
    const std::string in = io.Path("stdin").string();
    const std::string out = io.Path("stdout").string();
    const std::string err = io.Path("stderr").string();
    WriteText(in, "");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    }
    std::vector<std::string> all = {TUNELO_CLI};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    CliResult result;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, TUNELO_CLI, &actions, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << TUNELO_CLI;
        posix_spawn_file_actions_destroy(&actions);
        return result;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    result.PeakKb = usage.ru_maxrss;
    result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.Out = ReadText(out);
    result.Err = ReadText(err);
    return result;
}

// The 0.3 s, 128 kbit/s, 44100 Hz stereo stream of l3-junk100.mp3 without its 100 junk bytes; its first
// frame draws on no earlier bytes, so copies of it in a row make a longer stream.
inline Bytes RepeatedStream(int copies) {
    const Bytes file = ReadBytes(DataFile("l3-junk100.mp3"));
    Bytes all;
    for (int i = 0; i < copies; ++i) {
        all.insert(all.end(), file.begin() + 100, file.end());
    }
    return all;
}

} // namespace clitest
