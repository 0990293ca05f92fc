// The ISO conformance streams, decoded by tunelo-cli at full bandwidth and at the player's setting,
// against the reference decoder's output.
#include <gtest/gtest.h>

#include "PcmCompare.h"

using namespace tunelo::test;

namespace {

const std::string kCli = TUNELO_CLI;
const std::string kConformance = TUNELO_CONFORMANCE;

class ConformanceTest : public ::testing::TestWithParam<const char*> {};

TAccuracy DecodeAndCompare(const std::string& name, bool full, size_t& decoded, size_t& reference) {
    TScratchDir dir;
    const std::string out = dir.File("out.pcm");
    const std::string command =
        kCli + " decode " + (full ? "--full " : "") + kConformance + "/" + name + ".bit " + out;
    EXPECT_EQ(Run(command), 0) << command;
    const auto ours = ReadPcm(out);
    const auto ref = ReadPcm(kConformance + "/" + name + ".pcm");
    decoded = ours.size();
    reference = ref.size();
    return Compare(ours, ref);
}

TEST_P(ConformanceTest, FullBandwidthMeetsFullAccuracy) {
    size_t decoded = 0, reference = 0;
    const TAccuracy acc = DecodeAndCompare(GetParam(), true, decoded, reference);
    EXPECT_GT(decoded, 0u);
    // The reference covers the whole stream (Layer I/II references are padded beyond it).
    EXPECT_LE(decoded, reference);
    EXPECT_TRUE(acc.Full()) << GetParam() << ": rms " << acc.Rms << " max " << acc.MaxDiff << " over "
                            << acc.Compared << " samples";
    RecordProperty("rms", std::to_string(acc.Rms));
    RecordProperty("max", acc.MaxDiff);
}

TEST_P(ConformanceTest, PlayerSettingStaysWithinLimitedAccuracy) {
    size_t decoded = 0, reference = 0;
    const TAccuracy acc = DecodeAndCompare(GetParam(), false, decoded, reference);
    // Cutting the top subband is a deliberate loss; it must stay a small one.
    EXPECT_LT(acc.Rms, 16.0 / std::sqrt(12.0)) << GetParam() << ": max " << acc.MaxDiff;
}

INSTANTIATE_TEST_SUITE_P(Layer3, ConformanceTest,
                         ::testing::Values("l3-compl", "l3-he_32khz", "l3-he_44khz", "l3-he_48khz",
                                           "l3-he_free", "l3-he_mode", "l3-hecommon", "l3-si", "l3-si_block",
                                           "l3-si_huff", "l3-sin1k0db", "M2L3_compl24", "M2L3_noise"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) {
                                     ch = '_';
                                 }
                             }
                             return name;
                         });

} // namespace
