// Faults while writing output: a folder that cannot take the WAV file, a disk that fills up in the middle
// of a decode (a file-size limit on the process makes every write past it fail, as a full disk does), a
// sound device that cannot be opened. Each is reported once, ends that file's work with an error, and
// leaves no WAV whose header disagrees with the bytes in it.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "pcm_compare.h"

using namespace tunelo::test;
using clitest::ReadBytes;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const std::string kCli = TUNELO_CLI;
const std::string kData = TUNELO_TEST_DATA;
// MPEG-1 Layer III stereo: 4608 PCM bytes a frame.
constexpr uintmax_t kFrameBytes = 4608;

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class OutputFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        const Bytes file = ReadBytes(kData + "/l3-junk100.mp3");
        FSong = FDir.File("song.mp3");
        std::ofstream(FSong, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()) + 100,
                   static_cast<std::streamsize>(file.size() - 100));
        FOut = FDir.File("out");
        fs::create_directory(FOut);
    }

    // Runs tunelo-cli with the arguments in the scratch folder, with the environment settings given;
    // limitBlocks > 0 caps the size of every file it writes (in the shell's 512-byte blocks) and turns
    // the signal that would kill it into a plain write error. A hang ends after 60 s with code 124.
    int Cli(const std::string& arguments, int limitBlocks = 0, const std::string& environment = "") const {
        std::string command = "cd '" + FDir.File("") + "' && ";
        if (limitBlocks > 0) {
            command += "trap '' XFSZ; ulimit -f " + std::to_string(limitBlocks) + "; ";
        }
        command += "exec env " + environment + " timeout 60 '" + kCli + "' " + arguments + " >'" +
                   FDir.File("cli.out") + "' 2>'" + FDir.File("cli.err") + "' </dev/null";
        return RunCommand("sh -c \"" + command + "\"");
    }

    std::vector<std::string> Errors() const { return Lines(FDir.File("cli.err")); }

    TScratchDir FDir;
    std::string FSong;
    std::string FOut;
};

TEST_F(OutputFaultTest, AFolderThatCannotTakeTheWavFileIsReportedOnce) {
    // /proc takes no new files, whoever asks.
    EXPECT_EQ(Cli("wav /proc song.mp3"), 1);
    EXPECT_EQ(Errors(),
              std::vector<std::string>{
                  "error: song.mp3: Cannot create file \"/proc/song.wav\". No such file or directory"});

    EXPECT_EQ(Cli("wav song.mp3 song.mp3"), 1) << "a file is no folder";
    EXPECT_EQ(Errors(), std::vector<std::string>{"error: song.mp3: not a folder"});
}

TEST_F(OutputFaultTest, ADiskThatFillsDuringTheDecodeToWavEndsItWithOneErrorAndNoFile) {
    // Without a limit the whole file is written.
    ASSERT_EQ(Cli("wav out song.mp3"), 0);
    const uintmax_t full = fs::file_size(FOut + "/song.wav");
    ASSERT_EQ((full - 44) % kFrameBytes, 0u);
    ASSERT_GT(full, 40u * 512u);
    const Bytes before = ReadBytes(FOut + "/song.wav");

    // 20 480 bytes, well inside the file: the first writes go through, a later one fails. A cut file
    // would look valid, so none takes the name, and the file there before stays as it was.
    EXPECT_EQ(Cli("wav out song.mp3", 40), 1);
    EXPECT_EQ(Errors(),
              std::vector<std::string>{"error: song.mp3: Cannot write to file \"out/song.wav\". File "
                                       "too large"});
    EXPECT_EQ(ReadBytes(FOut + "/song.wav"), before);
    EXPECT_EQ(Entries(FOut).size(), 1u) << "no temporary stays";

    // Room for little more than the header: the first buffer already fails.
    fs::remove(FOut + "/song.wav");
    EXPECT_EQ(Cli("wav out song.mp3", 1), 1);
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_TRUE(Entries(FOut).empty());
}

TEST_F(OutputFaultTest, ADiskThatFillsDuringTheFileDecodeLeavesNoOutput) {
    EXPECT_EQ(Cli("decode song.mp3 out/song.wav", 40), 1);
    EXPECT_EQ(Errors(), std::vector<std::string>{"out/song.wav: File too large"});
    EXPECT_TRUE(Entries(FOut).empty()) << "neither the file nor its temporary stays";
}

TEST_F(OutputFaultTest, ASoundDeviceThatCannotBeOpenedStopsPlaybackWithItsReason) {
    EXPECT_EQ(Cli("play song.mp3", 0, "TUNELO_AUDIO=alsa:tunelo_no_such_device"), 1);
    std::vector<std::string> errors;
    for (const std::string& line : Errors()) {
        if (line.rfind("error: ", 0) == 0) {
            errors.push_back(line);
        }
    }
    ASSERT_EQ(errors.size(), 1u);
    // The sound system's own reason, then where it failed.
    EXPECT_EQ(errors[0].rfind("error: song.mp3: ", 0), 0u) << errors[0];
    EXPECT_NE(errors[0].find("(TSoundOut.Open:WaveOutOpen)"), std::string::npos) << errors[0];
}

} // namespace
