// Every packed member set this processor runs, against the portable members: the same results up to
// single-precision rounding (window: at most one step of the last bit), the same counts, and nothing
// read or written outside what the portable member touches. Buffers are sized exactly, so the
// sanitizers catch a stray access.

#include "MP3decdr.h"
#include "MPCPUSpc.h"
#include "MPSynthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace tunelo {
namespace {

// The member sets to check: every packed set up to what this processor runs.
std::vector<TMPRoutineTable> PackedSets() {
    std::vector<TMPRoutineTable> sets;
    const uint32_t word = DetectCapabilities();
    for (TMPSimdLevel level : {TMPSimdLevel::Sse2, TMPSimdLevel::Avx2}) {
        TMPRoutineTable table;
        SelectRoutines(table, word, level);
        if (table.Simd == level) {
            sets.push_back(table);
        }
    }
    return sets;
}

std::string NameOf(const TMPRoutineTable& table) {
    return table.Simd == TMPSimdLevel::Avx2 ? "avx2" : table.Simd == TMPSimdLevel::Sse2 ? "sse2" : "portable";
}

std::vector<float> RandomValues(std::mt19937& rng, size_t n, float scale) {
    std::uniform_real_distribution<float> value(-scale, scale);
    std::vector<float> values(n);
    for (float& v : values) {
        v = value(rng);
    }
    return values;
}

// Closeness for single-precision results computed in another order: relative to the size of what
// went in.
void ExpectClose(const float* actual, const float* expected, size_t n, double scale,
                 const std::string& what) {
    for (size_t i = 0; i < n; ++i) {
        ASSERT_NEAR(actual[i], expected[i], 2e-6 * scale + 1e-6) << what << " at " << i;
    }
}

TEST(PackedMembers, ThisProcessorRunsAtLeastSse2OnX86) {
#if defined(__x86_64__)
    if (DetectSimdLevel() != TMPSimdLevel::None) {
        EXPECT_FALSE(PackedSets().empty());
    }
#endif
    for (const TMPRoutineTable& set : PackedSets()) {
        EXPECT_NE(set.Simd, TMPSimdLevel::None);
    }
}

// ---------------------------------------------------------------------------------------------
// Window

int MaxDifference(const int16_t* a, const int16_t* b, size_t n) {
    int most = 0;
    for (size_t i = 0; i < n; ++i) {
        most = std::max(most, std::abs(a[i] - b[i]));
    }
    return most;
}

TEST(PackedMembers, WindowAgreesUpToTheLastBitAndWritesOnlyItsSamples) {
    std::mt19937 rng(3);
    for (const TMPRoutineTable& set : PackedSets()) {
        for (float scale : {0.0f, 10.0f, 3000.0f, 60000.0f}) { // silence, quiet, loud, clipping
            for (int32_t p = 0; p < 512; p += 32) {
                const auto ring = RandomValues(rng, 512, scale);
                int16_t portable[32];
                std::vector<int16_t> mono(32);
                WindowMonoGeneric(ring.data(), p, portable);
                set.WindowMono(ring.data(), p, mono.data());
                ASSERT_LE(MaxDifference(mono.data(), portable, 32), 1) << NameOf(set) << " p " << p;
                // Both channels of one interleaved slot, the right one ending the buffer exactly.
                std::vector<int16_t> stereo(64, 7);
                set.WindowStereo(ring.data(), p, stereo.data() + 1);
                for (size_t j = 0; j < 32; ++j) {
                    ASSERT_EQ(stereo[2 * j], 7) << NameOf(set) << ": left sample " << j << " touched";
                    ASSERT_LE(std::abs(stereo[2 * j + 1] - portable[j]), 1) << NameOf(set) << " " << j;
                }
                set.WindowStereo(ring.data(), p, stereo.data());
                for (size_t j = 0; j < 32; ++j) {
                    ASSERT_EQ(stereo[2 * j], stereo[2 * j + 1]);
                }
                if (scale == 0.0f) {
                    EXPECT_EQ(*std::max_element(mono.begin(), mono.end()), 0);
                    EXPECT_EQ(*std::min_element(mono.begin(), mono.end()), 0);
                }
            }
        }
    }
}

TEST(PackedMembers, WindowRoundsAndClipsLikeThePortableMember) {
    // A ring holding one value at the position whose coefficient is 1.144989014 (block 0, entry 8:
    // sample 0 reads V[s + 256]) gives sample 0 = that coefficient times the value.
    for (const TMPRoutineTable& set : PackedSets()) {
        for (float value : {1e9f, -1e9f, 40000.0f, -40000.0f, 10.917f, -10.917f, 0.436681f, 2.0f}) {
            std::vector<float> ring(512, 0.0f);
            ring[16 + 256] = value;
            int16_t portable[32];
            int16_t packed[32];
            WindowMonoGeneric(ring.data(), 0, portable);
            set.WindowMono(ring.data(), 0, packed);
            EXPECT_LE(MaxDifference(packed, portable, 32), 1) << NameOf(set) << " value " << value;
            if (std::fabs(value) > 1e4f) {
                EXPECT_EQ(packed[0], value > 0 ? 32767 : -32768) << NameOf(set);
            }
        }
    }
}

// Inverted polarity negates the transform's output in the ring; every window member must give the
// negated samples.
TEST(PackedMembers, WindowGivesNegatedSamplesForANegatedRing) {
    std::mt19937 rng(5);
    const auto ring = RandomValues(rng, 512, 2000.0f);
    std::vector<float> negated(ring.size());
    std::transform(ring.begin(), ring.end(), negated.begin(), [](float v) { return -v; });
    for (const TMPRoutineTable& set : PackedSets()) {
        int16_t normal[32];
        int16_t inverted[32];
        int16_t portable[32];
        set.WindowMono(ring.data(), 160, normal);
        set.WindowMono(negated.data(), 160, inverted);
        WindowMonoGeneric(negated.data(), 160, portable);
        EXPECT_LE(MaxDifference(inverted, portable, 32), 1) << NameOf(set);
        for (size_t i = 0; i < 32; ++i) {
            EXPECT_NEAR(inverted[i], -normal[i], 1) << NameOf(set) << " " << i;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The 32-point transform

TEST(PackedMembers, TransformsAgreeAndPairsStopAtTheirLastValue) {
    std::mt19937 rng(9);
    for (const TMPRoutineTable& set : PackedSets()) {
        for (int round = 0; round < 50; ++round) {
            const auto row = RandomValues(rng, 64, 3000.0f);
            const double scale = 32 * 3000.0;
            float expected[32];
            float actual[32];
            SubbandDct(row.data(), expected);
            set.SubbandDct(row.data(), actual);
            ExpectClose(actual, expected, 32, scale, NameOf(set) + " plain");
            SubbandDctMix(row.data(), expected);
            set.SubbandDctMix(row.data(), actual);
            ExpectClose(actual, expected, 32, scale, NameOf(set) + " mix");
            SubbandDctPair(row.data(), expected);
            set.SubbandDctPair(row.data(), actual);
            ExpectClose(actual, expected, 32, scale, NameOf(set) + " left");
            // The right values of a row: the buffer ends with the last of them.
            const std::vector<float> right(row.begin() + 1, row.end());
            SubbandDctPair(row.data() + 1, expected);
            set.SubbandDctPair(right.data(), actual);
            ExpectClose(actual, expected, 32, scale, NameOf(set) + " right");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Filterbank

struct THybridCase {
    int32_t BlockType;
    int32_t LongLines;
    int32_t TotalLines;
    int32_t PreviousLines;
    int32_t ClearSubbands;
};

// Runs one filterbank member over its own copies; untouched hybridOut entries keep a sentinel.
struct THybridRun {
    std::vector<float> Lines;
    std::vector<float> Overlap;
    float Out[18][32];
    int32_t Count;

    THybridRun(TMPHybridProc hybrid, const std::vector<float>& lines, const std::vector<float>& overlap,
               const THybridCase& c)
        : Lines(lines), Overlap(overlap) {
        for (auto& row : Out) {
            std::fill(std::begin(row), std::end(row), 123.0f);
        }
        Count = hybrid(Lines.data(), Overlap.data(), Out, c.BlockType, c.LongLines, c.TotalLines,
                       c.PreviousLines, c.ClearSubbands);
    }
};

TEST(PackedMembers, FilterbankAgreesForEveryBlockTypeAndCount) {
    std::mt19937 rng(13);
    std::vector<THybridCase> cases;
    for (int32_t type = 0; type < 4; ++type) {
        for (int32_t mixed : {0, 4}) {
            const int32_t blockType = type | mixed;
            for (int32_t total : {0, 1, 18, 36, 100, 144, 145, 288, 418, 558, 576, 700, -5}) {
                const int32_t longLines = type == 2 ? (mixed ? 36 : 0) : total;
                for (int32_t previous : {0, 54, 300, 576}) {
                    for (int32_t clear : {0, 20, 31, 32, 40}) {
                        cases.push_back({blockType, longLines, total, previous, clear});
                    }
                }
            }
        }
    }
    for (const TMPRoutineTable& set : PackedSets()) {
        for (const THybridCase& c : cases) {
            const auto lines = RandomValues(rng, 576, 1000.0f);
            const auto overlap = RandomValues(rng, 576, 1000.0f);
            const THybridRun portable(HybridGeneric, lines, overlap, c);
            const THybridRun packed(set.Hybrid, lines, overlap, c);
            SCOPED_TRACE(::testing::Message()
                         << NameOf(set) << " type " << c.BlockType << " long " << c.LongLines << " total "
                         << c.TotalLines << " previous " << c.PreviousLines << " clear " << c.ClearSubbands);
            ASSERT_EQ(packed.Count, portable.Count);
            const double scale = 18 * 1000.0;
            ExpectClose(packed.Lines.data(), portable.Lines.data(), 576, scale, "next overlap");
            ASSERT_EQ(packed.Overlap, overlap) << "the previous overlap is only read";
            for (int32_t t = 0; t < 18; ++t) {
                ExpectClose(packed.Out[t], portable.Out[t], 32, scale, "slot " + std::to_string(t));
            }
        }
    }
}

TEST(PackedMembers, SingleSubbandTransformsAgree) {
    std::mt19937 rng(17);
    for (const TMPRoutineTable& set : PackedSets()) {
        for (int round = 0; round < 100; ++round) {
            const auto values = RandomValues(rng, 18, 1000.0f);
            std::vector<float> expected = values;
            std::vector<float> actual = values;
            LongImdctGeneric(expected.data());
            set.LongImdct(actual.data());
            ExpectClose(actual.data(), expected.data(), 18, 18 * 1000.0, NameOf(set) + " long");
            expected = values;
            actual = values;
            ShortImdctGeneric(expected.data());
            set.ShortImdct(actual.data());
            ExpectClose(actual.data(), expected.data(), 18, 6 * 1000.0, NameOf(set) + " short");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Alias reduction

TEST(PackedMembers, AliasReductionAgreesAndStaysWithinItsBoundaries) {
    std::mt19937 rng(19);
    for (const TMPRoutineTable& set : PackedSets()) {
        for (int32_t boundaries : {-3, 0, 1, 2, 17, 31, 40}) {
            const auto lines = RandomValues(rng, 576, 1000.0f);
            std::vector<float> expected = lines;
            std::vector<float> actual = lines;
            AliasReduceGeneric(expected.data(), boundaries);
            set.AliasReduce(actual.data(), boundaries);
            ExpectClose(actual.data(), expected.data(), 576, 2 * 1000.0,
                        NameOf(set) + " boundaries " + std::to_string(boundaries));
            const int32_t treated = std::clamp(boundaries, 0, 31);
            // Nothing above the last boundary's eighth line changes.
            for (size_t i = treated == 0 ? 0 : 18 * static_cast<size_t>(treated) + 8; i < 576; ++i) {
                ASSERT_EQ(actual[i], lines[i]) << NameOf(set) << " line " << i;
            }
        }
    }
}

} // namespace
} // namespace tunelo
