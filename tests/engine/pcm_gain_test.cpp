// ReplayGain on decoded 16-bit samples: rounding to the nearest value and holding at full scale.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pcm_gain.h"

using namespace tunelo;

namespace {

std::vector<int16_t> Scaled(std::vector<int16_t> samples, double factor, int32_t bytes = -1) {
    ApplyPcmGain(reinterpret_cast<uint8_t*>(samples.data()),
                 bytes < 0 ? static_cast<int32_t>(samples.size() * 2) : bytes, factor);
    return samples;
}

} // namespace

TEST(PcmGain, RoundsAndHoldsAtFullScale) {
    EXPECT_EQ(Scaled({1000, -1000, 3, -3, 0}, 0.5), (std::vector<int16_t>{500, -500, 2, -2, 0}));
    EXPECT_EQ(Scaled({20000, -20000, 32767, -32768}, 2.0),
              (std::vector<int16_t>{32767, -32768, 32767, -32768}));
    EXPECT_EQ(Scaled({12345, -32768}, 1.0), (std::vector<int16_t>{12345, -32768})) << "1 leaves them";
    EXPECT_EQ(Scaled({100, 100}, 0.5, 3), (std::vector<int16_t>{50, 100})) << "an odd byte is no sample";
}
