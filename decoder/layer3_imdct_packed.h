// What the packed filterbank members need beyond the Layer III tables: the portable transforms'
// divisors as factors (so that the lane-parallel transforms compute exactly what the portable ones
// do), and the in-place 18-point transform of layer3_hybrid.h written out as a product, for one subband.
#pragma once

#include <cstdint>

namespace tunelo {

struct TImdctPacked {
    float LongFactors[18 + 9]; // 1 / ImdctLongTable's first 27 values
    float ShortFactors[6 + 3 + 1];
    // Row n: what input n adds to each of the 18 in-place outputs (lanes 18..23 are 0).
    alignas(64) float LongMatrix[18][24];
};

// Built once per process on first use (thread-safe).
const TImdctPacked& ImdctPacked();

} // namespace tunelo
