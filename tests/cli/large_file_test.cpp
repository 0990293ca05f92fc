// A file over 4 GiB (a sparse one: an MP3 at the start, zeros, an ID3v1 tag at the very end) opens with
// its real size, shows its playing time and keeps its end tag; the decode ends after the audio.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "cli_run.h"

namespace {

using namespace clitest;

TEST(LargeFile, AFileOverFourGigabytesShowsItsDurationAndItsId3v1Tag) {
    TempDir dir;
    const fs::path source = dir.Path("sweep.wav");
    const fs::path mp3 = dir.Path("vbr.mp3");
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 '" + source.string() +
                           "' synth 4 sine 200-3000 2>/dev/null && lame --quiet -V 2 -t '" + source.string() +
                           "' '" + mp3.string() + "'")
                              .c_str()),
              0);
    const CliResult small = RunCli({"info", mp3.string()});
    ASSERT_EQ(small.ExitCode, 0) << small.Out;

    const fs::path big = dir.Path("audiobook.mp3");
    fs::copy_file(mp3, big);
    const uintmax_t size = uintmax_t{5} << 30;
    fs::resize_file(big, size);
    {
        std::fstream file(big, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(size - 128));
        std::string tag = "TAG" + std::string("Long Book") + std::string(21, '\0');
        tag += std::string(30, '\0') + std::string(30, '\0') + "2026" + std::string(30, '\0');
        tag += static_cast<char>(101);
        ASSERT_EQ(tag.size(), 128u);
        file.write(tag.data(), static_cast<std::streamsize>(tag.size()));
    }
    const CliResult info = RunCli({"info", big.string()});
    fs::remove(big);
    ASSERT_EQ(info.ExitCode, 0) << info.Out;
    EXPECT_NE(info.Out.find("tags found: ID3v1\n"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("title: Long Book\n"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("data length: " + std::to_string(size) + "\n"), std::string::npos) << info.Out;
    // The frames are counted; the zeros behind them are no audio.
    const auto duration = [](const std::string& out) {
        const size_t at = out.find("duration (ms): ");
        return at == std::string::npos ? -1 : std::stol(out.substr(at + 15));
    };
    EXPECT_EQ(duration(info.Out), duration(small.Out)) << info.Out;
    EXPECT_GT(duration(small.Out), 3900);
}

} // namespace
