// The ISO conformance streams, decoded by tunelo-cli at full bandwidth against the reference decoder's
// output, and at the player's setting against the full-bandwidth decode.
#include <gtest/gtest.h>

#include <sstream>

#include "pcm_compare.h"

using namespace tunelo::test;

namespace {

const std::string kCli = TUNELO_CLI;
const std::string kConformance = TUNELO_CONFORMANCE;
constexpr size_t kGranule = 576;
constexpr size_t kLayer3Frame = 2304; // samples of one MPEG-1 stereo frame

std::vector<int16_t> Decode(const std::string& name, bool full) {
    TScratchDir dir;
    const std::string out = dir.File("out.pcm");
    const std::string command =
        kCli + " decode " + (full ? "--full " : "") + kConformance + "/" + name + ".bit " + out;
    EXPECT_EQ(RunCommand(command), 0) << command;
    return ReadPcm(out);
}

std::vector<int16_t> Reference(const std::string& name) {
    return ReadPcm(kConformance + "/" + name + ".pcm");
}

struct TAligned {
    TAccuracy Accuracy;
    size_t Shift = 0;
};

// The reference leaves out leading frames whose main data reach back before the stream start; we
// play them as silence. Align by dropping such silent granules from the front of ours.
TAligned AlignAndCompare(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref) {
    TAligned best;
    best.Accuracy = Compare(ours, ref);
    for (size_t shift = kGranule; shift <= 8 * kGranule && shift < ours.size(); shift += kGranule) {
        if (std::any_of(ours.begin() + static_cast<long>(shift - kGranule),
                        ours.begin() + static_cast<long>(shift), [](int16_t s) { return s != 0; })) {
            break;
        }
        const std::vector<int16_t> rest(ours.begin() + static_cast<long>(shift), ours.end());
        const TAccuracy acc = Compare(rest, ref);
        if (acc.Rms < best.Accuracy.Rms) {
            best = {acc, shift};
        }
    }
    return best;
}

class Layer3ConformanceTest : public ::testing::TestWithParam<const char*> {};

TEST_P(Layer3ConformanceTest, FullBandwidthMeetsFullAccuracy) {
    const auto ours = Decode(GetParam(), true);
    const auto ref = Reference(GetParam());
    const TAligned aligned = AlignAndCompare(ours, ref);
    ASSERT_GT(aligned.Accuracy.Compared, 0u);
    // The reference decoder sometimes stops one frame early; never more.
    const long extra = static_cast<long>(ours.size() - aligned.Shift) - static_cast<long>(ref.size());
    EXPECT_LE(std::labs(extra), static_cast<long>(kLayer3Frame)) << GetParam();
    EXPECT_TRUE(aligned.Accuracy.Full()) << GetParam() << ": rms " << aligned.Accuracy.Rms << " max "
                                         << aligned.Accuracy.MaxDiff << " shift " << aligned.Shift;
    // Beyond full accuracy: no Layer III sample is more than one step from the reference.
    EXPECT_LE(aligned.Accuracy.MaxDiff, 1) << GetParam();
}

// The player's frequency limit is at least half of every MPEG sampling rate: it decodes the whole band.
void ExpectPlayerSettingDecodesTheFullBand(const std::string& name) {
    const auto full = Decode(name, true);
    ASSERT_FALSE(full.empty()) << name;
    EXPECT_TRUE(Decode(name, false) == full) << name << ": the player's setting loses part of the band";
}

TEST_P(Layer3ConformanceTest, PlayerSettingDecodesTheFullBand) {
    ExpectPlayerSettingDecodesTheFullBand(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Streams, Layer3ConformanceTest,
                         ::testing::Values("l3-compl", "l3-he_32khz", "l3-he_44khz", "l3-he_48khz",
                                           "l3-he_free", "l3-hecommon", "l3-si", "l3-si_block", "l3-si_huff",
                                           "l3-sin1k0db", "l3-test46", "M2L3_compl24", "M2L3_noise"),
                         [](const auto& info) { return TestName(info.param); });

class Layer12ConformanceTest : public ::testing::TestWithParam<const char*> {};

TEST_P(Layer12ConformanceTest, FullBandwidthMeetsFullAccuracy) {
    const auto ours = Decode(GetParam(), true);
    const auto ref = Reference(GetParam());
    ASSERT_GT(ours.size(), 0u);
    // The references are zero-padded to a power of two beyond the decoded length.
    EXPECT_LE(ours.size(), ref.size());
    EXPECT_GT(2 * ours.size(), ref.size());
    const TAccuracy acc = Compare(ours, ref);
    EXPECT_TRUE(acc.Full()) << GetParam() << ": rms " << acc.Rms << " max " << acc.MaxDiff;
}

TEST_P(Layer12ConformanceTest, PlayerSettingDecodesTheFullBand) {
    ExpectPlayerSettingDecodesTheFullBand(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Streams, Layer12ConformanceTest,
                         ::testing::Values("l1-fl1", "l1-fl2", "l1-fl3", "l1-fl4", "l1-fl5", "l1-fl6",
                                           "l2-fl10", "l2-fl11", "l2-fl12", "l2-fl13", "l2-fl14", "l2-fl15"),
                         [](const auto& info) { return TestName(info.param); });

// l3-he_mode switches between single-channel and two-channel frames. The output format is fixed by
// the first frame (single channel here), so we play the first channel of every frame; the reference
// writes each frame with its own channel count. Compare with the reference's first channel.
TEST(Layer3ModeChangeTest, FirstChannelOfEveryFrameMatches) {
    const std::string name = "l3-he_mode";
    TScratchDir dir;
    const std::string list = dir.File("frames.txt");
    ASSERT_EQ(RunCommand(kCli + " frames " + kConformance + "/" + name + ".bit > " + list), 0);
    std::ifstream in(list);
    std::vector<int> channelsPerFrame;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string offset, version, layer, rate, mode;
        if (fields >> offset >> version >> layer >> rate >> mode && offset != "frames") {
            channelsPerFrame.push_back(mode == "3" ? 1 : 2);
        }
    }
    ASSERT_FALSE(channelsPerFrame.empty());
    const auto ref = Reference(name);
    std::vector<int16_t> firstChannel;
    size_t pos = 0;
    for (int channels : channelsPerFrame) {
        for (size_t i = 0; i < 1152 && pos + static_cast<size_t>(channels) * i < ref.size(); ++i) {
            firstChannel.push_back(ref[pos + static_cast<size_t>(channels) * i]);
        }
        pos += 1152 * static_cast<size_t>(channels);
    }
    const auto ours = Decode(name, true);
    EXPECT_EQ(ours.size(), 1152 * channelsPerFrame.size());
    const TAccuracy acc = Compare(ours, firstChannel);
    EXPECT_GT(acc.Compared, 1152 * (channelsPerFrame.size() - 1));
    EXPECT_TRUE(acc.Full()) << "rms " << acc.Rms << " max " << acc.MaxDiff;
}

} // namespace
