// Damaged streams: flipped bytes, cut-off files, garbage spliced in. Decoding must finish with the
// stream's end or a clear refusal, never a crash (the sanitizer build runs the same test).
#include <gtest/gtest.h>

#include <random>

#include "pcm_compare.h"

using namespace tunelo::test;

namespace {

const std::string kCli = TUNELO_CLI;
const std::string kConformance = TUNELO_CONFORMANCE;

std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

enum class TDamage { FlipBytes, Truncate, SpliceGarbage, ZeroRun };

std::vector<char> Damage(std::vector<char> bytes, TDamage damage, std::mt19937& rng) {
    std::uniform_int_distribution<size_t> at(0, bytes.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    switch (damage) {
    case TDamage::FlipBytes:
        for (int i = 0; i < 200; ++i) {
            bytes[at(rng)] = static_cast<char>(byte(rng));
        }
        break;
    case TDamage::Truncate:
        bytes.resize(at(rng));
        break;
    case TDamage::SpliceGarbage: {
        std::vector<char> garbage(3000);
        for (char& c : garbage) {
            c = static_cast<char>(byte(rng) | 0xE0); // sync-like bytes: the worst kind of garbage
        }
        bytes.insert(bytes.begin() + static_cast<long>(at(rng)), garbage.begin(), garbage.end());
        break;
    }
    case TDamage::ZeroRun: {
        const size_t start = at(rng);
        std::fill(bytes.begin() + static_cast<long>(start),
                  bytes.begin() + static_cast<long>(std::min(bytes.size(), start + 1500)), 0);
        break;
    }
    }
    return bytes;
}

class CorruptStreamTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CorruptStreamTest, DecodesOrRefusesWithoutCrashing) {
    const auto original = ReadBytes(kConformance + "/" + GetParam() + ".bit");
    ASSERT_FALSE(original.empty());
    std::mt19937 rng(1234);
    TScratchDir dir;
    for (TDamage damage : {TDamage::FlipBytes, TDamage::Truncate, TDamage::SpliceGarbage, TDamage::ZeroRun}) {
        const std::string in = dir.File("damaged.bit");
        WriteBytes(in, Damage(original, damage, rng));
        for (const char* option : {"", "--full "}) {
            const std::string out = dir.File("out.wav");
            const int rc = RunCommand(kCli + " decode " + option + in + " " + out + " 2>/dev/null");
            // 0: decoded to the end; 1: refused with a message (the first frame itself destroyed).
            EXPECT_TRUE(rc == 0 || rc == 1)
                << GetParam() << " damage " << static_cast<int>(damage) << " rc " << rc;
            if (rc == 0) {
                // The WAV header must describe exactly the samples written.
                const auto wav = ReadBytes(out);
                ASSERT_GE(wav.size(), 44u);
                const uint32_t dataBytes = static_cast<uint8_t>(wav[40]) |
                                           (static_cast<uint8_t>(wav[41]) << 8) |
                                           (static_cast<uint8_t>(wav[42]) << 16) |
                                           (static_cast<uint32_t>(static_cast<uint8_t>(wav[43])) << 24);
                EXPECT_EQ(dataBytes, wav.size() - 44);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, CorruptStreamTest,
                         ::testing::Values("l3-compl", "l3-he_free", "M2L3_compl24", "l3-si_block", "l1-fl3",
                                           "l2-fl12"),
                         [](const auto& info) { return TestName(info.param); });

} // namespace
