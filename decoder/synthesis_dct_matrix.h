// The 32-point synthesis transform as two 16 x 16 products, for the packed members: the even outputs
// come from the sums of mirrored inputs, the odd ones from their differences.
#pragma once

#include <cstdint>

namespace tunelo {

struct TDctMatrices {
    // Even[n][m] = cos(pi 2m (2n + 1) / 64), Odd[n][m] = cos(pi (2m + 1) (2n + 1) / 64); n, m = 0..15.
    // c_2m = sum over n of (s_n + s_(31 - n)) Even[n][m], c_(2m + 1) = sum of (s_n - s_(31 - n)) Odd[n][m].
    alignas(64) float Even[16][16];
    alignas(64) float Odd[16][16];
    // The even half split once more, with a_n = s_n + s_(31 - n): EvenEven[n][k] = cos(pi k (2n + 1) / 16)
    // gives c_4k from a_n + a_(15 - n), EvenOdd[n][k] = cos(pi (2k + 1) (2n + 1) / 32) gives c_(4k + 2)
    // from a_n - a_(15 - n); n, k = 0..7.
    alignas(32) float EvenEven[8][8];
    alignas(32) float EvenOdd[8][8];
};

// Built once per process on first use (thread-safe).
const TDctMatrices& DctMatrices();

} // namespace tunelo
