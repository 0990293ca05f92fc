// Gapless decoding: files lame makes here at every sampling rate, CBR and VBR, mono and stereo, decode to
// exactly the samples of the WAV they were made from, as mpg123 (gapless by default) decodes them; info
// reports that exact length; --no-gapless keeps every sample of every frame.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cli_run.h"
#include "pcm_compare.h"

using namespace tunelo::test;

namespace {

const std::string kCli = TUNELO_CLI;

struct TEncoding {
    int Rate;
    int Channels;
    bool Vbr;
};

std::string Describe(const TEncoding& e) {
    return std::to_string(e.Rate) + (e.Channels == 1 ? "_mono" : "_stereo") + (e.Vbr ? "_vbr" : "_cbr");
}

std::map<std::string, std::string> InfoFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            fields[line.substr(0, colon)] = line.substr(colon + 2);
        }
    }
    return fields;
}

class GaplessDecodeTest : public ::testing::TestWithParam<TEncoding> {};

TEST_P(GaplessDecodeTest, GivesTheSourcesSamplesLikeMpg123) {
    ASSERT_TRUE(HaveTool("lame") && HaveTool("sox") && HaveTool("mpg123"));
    const TEncoding& e = GetParam();
    TScratchDir dir;
    const std::string wav = dir.File("in.wav");
    const std::string mp3 = dir.File("in.mp3");
    // A length that fills no whole number of frames at any rate.
    const int64_t samples = e.Rate + e.Rate / 3 + 7;
    // The rate on the input side: sox counts a length in samples at the rate of the signal it makes.
    ASSERT_EQ(RunCommand("sox -r " + std::to_string(e.Rate) + " -c " + std::to_string(e.Channels) +
                         " -n -b 16 " + wav + " synth " + std::to_string(samples) + "s sine 200-" +
                         std::to_string(e.Rate / 3) + " vol 0.6 2>/dev/null"),
              0);
    const int kbps = e.Rate >= 32000 ? 128 : (e.Rate >= 16000 ? 64 : 32);
    const std::string options = std::string("--quiet --resample ") + std::to_string(e.Rate / 1000.0) +
                                (e.Channels == 1 ? " -m m" : " -m j") +
                                (e.Vbr ? " -V 3" : " -b " + std::to_string(kbps));
    ASSERT_EQ(RunCommand("lame " + options + " " + wav + " " + mp3), 0);

    const std::string ours = dir.File("ours.pcm");
    const std::string theirs = dir.File("theirs.pcm");
    const std::string everything = dir.File("all.pcm");
    ASSERT_EQ(RunCommand(kCli + " decode " + mp3 + " " + ours), 0);
    ASSERT_EQ(RunCommand("mpg123 -q -s " + mp3 + " > " + theirs), 0);
    ASSERT_EQ(RunCommand(kCli + " decode --no-gapless " + mp3 + " " + everything), 0);
    const auto a = ReadPcm(ours);
    const auto b = ReadPcm(theirs);
    const auto all = ReadPcm(everything);
    EXPECT_EQ(int64_t(a.size()), samples * e.Channels) << "the source's length";
    EXPECT_EQ(a.size(), b.size()) << "mpg123's length";
    const TAccuracy acc = Compare(a, b);
    EXPECT_TRUE(acc.Full()) << "rms " << acc.Rms << " max " << acc.MaxDiff;
    // Every frame whole: lame's delay and padding and the decoder's delay come back, and the heard part
    // sits 576 + 529 samples in.
    const size_t frameSamples = e.Rate >= 32000 ? 1152 : 576;
    ASSERT_EQ(all.size() % (frameSamples * e.Channels), 0u);
    ASSERT_GT(all.size(), a.size());
    const size_t skip = (576 + 529) * e.Channels;
    ASSERT_GE(all.size(), skip + a.size());
    EXPECT_TRUE(std::equal(a.begin(), a.end(), all.begin() + long(skip)));

    const clitest::CliResult info = clitest::RunCli({"info", mp3});
    ASSERT_EQ(info.ExitCode, 0) << info.Err;
    const auto fields = InfoFields(info.Out);
    EXPECT_EQ(fields.at("samples"), std::to_string(samples));
    EXPECT_EQ(fields.at("duration (ms)"), std::to_string(samples * 1000 / e.Rate));
    EXPECT_EQ(fields.at("encoder delay"), "576");
}

std::vector<TEncoding> Encodings() {
    std::vector<TEncoding> list;
    for (int rate : {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000}) {
        list.push_back({rate, 2, false});
        list.push_back({rate, 1, true});
    }
    list.push_back({44100, 2, true});
    list.push_back({22050, 1, false});
    return list;
}

INSTANTIATE_TEST_SUITE_P(AllRates, GaplessDecodeTest, ::testing::ValuesIn(Encodings()),
                         [](const auto& info) { return Describe(info.param); });

TEST(GaplessDecode, AFileWithoutTheEncodersNumbersKeepsEverySample) {
    // The conformance stream has no information frame: gapless or not, the same samples.
    const std::string stream = std::string(TUNELO_CONFORMANCE) + "/l3-compl.bit";
    TScratchDir dir;
    ASSERT_EQ(RunCommand(kCli + " decode " + stream + " " + dir.File("a.pcm")), 0);
    ASSERT_EQ(RunCommand(kCli + " decode --no-gapless " + stream + " " + dir.File("b.pcm")), 0);
    const auto a = ReadPcm(dir.File("a.pcm"));
    EXPECT_GT(a.size(), 0u);
    EXPECT_EQ(a, ReadPcm(dir.File("b.pcm")));
}

} // namespace
