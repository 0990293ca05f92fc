// tunelo-cli play A B C on the recording device: three files cut from one continuous signal at points that
// are no frame boundaries record exactly as the three gapless decodes end to end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "cli_run.h"
#include "pcm_compare.h"

using namespace tunelo::test;

namespace {

const std::string kCli = TUNELO_CLI;

std::vector<int16_t> Samples(const std::string& path, size_t headerBytes) {
    const clitest::Bytes bytes = clitest::ReadBytes(path);
    std::vector<int16_t> samples;
    for (size_t i = headerBytes; i + 1 < bytes.size(); i += 2) {
        samples.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return samples;
}

TEST(GaplessPlay, AnAlbumCutFromOneSignalRecordsAsItsGaplessDecodesEndToEnd) {
    ASSERT_TRUE(HaveTool("lame") && HaveTool("sox"));
    TScratchDir dir;
    const std::string whole = dir.File("whole.wav");
    const int64_t lengths[] = {88211, 61003, 100001};
    ASSERT_EQ(RunCommand("sox -r 44100 -c 2 -n -b 16 " + whole +
                         " synth 249215s sine 100-5000 pinknoise vol 0.3 2>/dev/null"),
              0);
    std::vector<std::string> files;
    std::vector<int16_t> expected;
    int64_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::string name = dir.File("part" + std::to_string(i + 1));
        ASSERT_EQ(RunCommand("sox " + whole + " " + name + ".wav trim " + std::to_string(start) + "s " +
                             std::to_string(lengths[i]) + "s"),
                  0);
        ASSERT_EQ(RunCommand("lame --quiet " + std::string(i == 1 ? "-V 2 " : "-b 192 ") + name + ".wav " +
                             name + ".mp3"),
                  0);
        ASSERT_EQ(RunCommand(kCli + " decode " + name + ".mp3 " + name + ".pcm"), 0);
        const std::vector<int16_t> decoded = Samples(name + ".pcm", 0);
        EXPECT_EQ(int64_t(decoded.size()), lengths[i] * 2);
        expected.insert(expected.end(), decoded.begin(), decoded.end());
        files.push_back(name + ".mp3");
        start += lengths[i];
    }
    const std::string recorded = dir.File("heard.wav");
    setenv("TUNELO_AUDIO", ("file:" + recorded).c_str(), 1);
    const clitest::CliResult run = clitest::RunCli({"play", files[0], files[1], files[2]});
    unsetenv("TUNELO_AUDIO");
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Out.find("[1/3]"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("[3/3]"), std::string::npos) << run.Out;
    const std::vector<int16_t> heard = Samples(recorded, 44);
    EXPECT_EQ(heard.size(), expected.size());
    EXPECT_TRUE(heard == expected);
    // Where the tracks meet, the signal runs on as the source has it: no samples lost, doubled or shifted
    // (lame's loss aside, which is small beside the signal itself).
    const std::vector<int16_t> source = Samples(whole, 44);
    ASSERT_EQ(source.size(), heard.size());
    for (const int64_t seam : {lengths[0], lengths[0] + lengths[1]}) {
        double error = 0;
        double signal = 0;
        for (size_t k = size_t(seam - 1000) * 2; k < size_t(seam + 1000) * 2; ++k) {
            error += std::pow(double(heard[k]) - source[k], 2);
            signal += std::pow(double(source[k]), 2);
        }
        EXPECT_LT(error, 0.25 * signal) << "at sample " << seam;
    }
}

} // namespace
