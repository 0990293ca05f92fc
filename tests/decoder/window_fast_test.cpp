// The regrouped window against the portable member it stands in for.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "MP3decdr.h"
#include "MPCPUSpc.h"

using namespace tunelo;

namespace {

std::vector<float> RandomRing(std::mt19937& rng, float scale) {
    std::uniform_real_distribution<float> value(-scale, scale);
    std::vector<float> ring(512);
    for (float& v : ring) {
        v = value(rng);
    }
    return ring;
}

int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    int most = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        most = std::max(most, std::abs(a[i] - b[i]));
    }
    return most;
}

TEST(WindowFast, AgreesWithThePortableMemberUpToTheLastBit) {
    std::mt19937 rng(7);
    for (float scale : {10.0f, 3000.0f, 60000.0f}) { // quiet, loud, and clipping
        for (int32_t p = 0; p < 512; p += 32) {
            const auto ring = RandomRing(rng, scale);
            std::vector<int16_t> fast(32), portable(32), fastStereo(64, 7), portableStereo(64, 7);
            WindowMonoFast(ring.data(), p, fast.data());
            WindowMonoGeneric(ring.data(), p, portable.data());
            EXPECT_LE(MaxDifference(fast, portable), 1) << "position " << p << " scale " << scale;
            WindowStereoFast(ring.data(), p, fastStereo.data() + 1);
            WindowStereoGeneric(ring.data(), p, portableStereo.data() + 1);
            EXPECT_LE(MaxDifference(fastStereo, portableStereo), 1);
            for (size_t i = 0; i < 64; i += 2) {
                EXPECT_EQ(fastStereo[i], 7) << "the other channel's sample " << i << " was touched";
            }
        }
    }
}

// Inverted polarity negates the transform's output in the ring; the window must give the negated samples.
TEST(WindowFast, ANegatedRingGivesNegatedSamples) {
    std::mt19937 rng(11);
    const auto ring = RandomRing(rng, 2000.0f);
    std::vector<float> negated(ring.size());
    std::transform(ring.begin(), ring.end(), negated.begin(), [](float v) { return -v; });
    std::vector<int16_t> normal(32), inverted(32), portable(32);
    WindowMonoFast(ring.data(), 96, normal.data());
    WindowMonoFast(negated.data(), 96, inverted.data());
    WindowMonoGeneric(negated.data(), 96, portable.data());
    EXPECT_LE(MaxDifference(inverted, portable), 1);
    int nonZero = 0;
    for (size_t i = 0; i < 32; ++i) {
        EXPECT_NEAR(inverted[i], -normal[i], 1) << i;
        nonZero += normal[i] != 0;
    }
    EXPECT_GT(nonZero, 16);
}

} // namespace
