// Streams made here with lame at every sampling rate, channel mode, CBR and VBR, with and without CRC,
// decoded by tunelo-cli at full bandwidth and by mpg123: the two must agree to full accuracy and in length.
#include <gtest/gtest.h>

#include "pcm_compare.h"

using namespace tunelo::test;

namespace {

const std::string kCli = TUNELO_CLI;

struct TEncoding {
    int Rate;
    const char* Mode; // lame -m: m mono, s stereo, j joint stereo
    bool Vbr;
    bool Crc;
};

std::string Describe(const TEncoding& e) {
    return std::to_string(e.Rate) + "_" + e.Mode + (e.Vbr ? "_vbr" : "_cbr") + (e.Crc ? "_crc" : "");
}

class LameCompareTest : public ::testing::TestWithParam<TEncoding> {};

TEST_P(LameCompareTest, MatchesMpg123) {
    ASSERT_TRUE(HaveTool("lame") && HaveTool("sox") && HaveTool("mpg123"))
        << "lame, sox and mpg123 are needed";
    const TEncoding& e = GetParam();
    TScratchDir dir;
    const std::string wav = dir.File("in.wav");
    const std::string mp3 = dir.File("in.mp3");
    const int channels = e.Mode[0] == 'm' ? 1 : 2;
    // A chirp on the left, noise on the right: every band and both channels carry signal.
    ASSERT_EQ(RunCommand("sox -n -r " + std::to_string(e.Rate) + " -c " + std::to_string(channels) +
                         " -b 16 " + wav + " synth 1.5 sine 100-" + std::to_string(e.Rate / 2) +
                         " pinknoise vol 0.5 2>/dev/null"),
              0);
    const int kbps = e.Rate >= 32000 ? 128 : (e.Rate >= 16000 ? 64 : 32);
    std::string options =
        std::string("--quiet -m ") + e.Mode + " --resample " + std::to_string(e.Rate / 1000.0);
    options += e.Vbr ? " -V 4" : " -b " + std::to_string(channels == 1 ? kbps / 2 : kbps);
    if (e.Crc) {
        options += " -p";
    }
    ASSERT_EQ(RunCommand("lame " + options + " " + wav + " " + mp3), 0) << options;

    const std::string ours = dir.File("ours.pcm");
    const std::string theirs = dir.File("theirs.pcm");
    ASSERT_EQ(RunCommand(kCli + " decode --full --no-gapless " + mp3 + " " + ours), 0);
    ASSERT_EQ(RunCommand("mpg123 -q --no-gapless -s " + mp3 + " > " + theirs), 0);
    const auto a = ReadPcm(ours);
    const auto b = ReadPcm(theirs);
    EXPECT_EQ(a.size(), b.size()) << Describe(e);
    const TAccuracy acc = Compare(a, b);
    EXPECT_GT(acc.Compared, 0u);
    EXPECT_TRUE(acc.Full()) << Describe(e) << ": rms " << acc.Rms << " max " << acc.MaxDiff;
}

std::vector<TEncoding> Encodings() {
    std::vector<TEncoding> list;
    for (int rate : {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000}) {
        list.push_back({rate, "j", false, false});
        list.push_back({rate, "s", true, false});
        list.push_back({rate, "m", false, true});
    }
    list.push_back({44100, "j", true, true});
    list.push_back({22050, "j", true, true});
    list.push_back({11025, "s", false, true});
    return list;
}

INSTANTIATE_TEST_SUITE_P(AllRates, LameCompareTest, ::testing::ValuesIn(Encodings()),
                         [](const auto& info) { return Describe(info.param); });

} // namespace
