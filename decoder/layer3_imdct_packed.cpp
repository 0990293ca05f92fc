// The factors and products of the packed filterbank members, built once per process.
#include <cmath>

#include "layer3_imdct_packed.h"
#include "layer3_tables.h"

namespace tunelo {

namespace {

TImdctPacked BuildImdctPacked() {
    TImdctPacked packed{};
    const TMPLayer3Tables& tables = Layer3Tables();
    // The same operations as the portable members' factors, so the values are the same floats.
    for (int32_t i = 0; i < 27; ++i) {
        packed.LongFactors[i] = 1.0f / tables.ImdctLongTable[i];
    }
    for (int32_t i = 0; i < 6; ++i) {
        packed.ShortFactors[i] = 0.5f / tables.ImdctShortTable[i];
    }
    for (int32_t i = 6; i < 9; ++i) {
        packed.ShortFactors[i] = 1.0f / tables.ImdctShortTable[i];
    }
    packed.ShortFactors[9] = 0.5f * tables.ImdctShortTable[9];

    // Long: x_k = sum of X_n cos(pi / 72 (2k + 19) (2n + 1)); position j (0..8) holds -x_(26 - j),
    // position 9 + j holds x_j.
    const double pi = 4.0 * std::atan(1.0);
    for (int32_t n = 0; n < 18; ++n) {
        for (int32_t j = 0; j < 9; ++j) {
            packed.LongMatrix[n][j] =
                static_cast<float>(-std::cos(pi / 72.0 * (2 * (26 - j) + 19) * (2 * n + 1)));
            packed.LongMatrix[n][9 + j] =
                static_cast<float>(std::cos(pi / 72.0 * (2 * j + 19) * (2 * n + 1)));
        }
    }
    return packed;
}

} // namespace

const TImdctPacked& ImdctPacked() {
    static const TImdctPacked packed = BuildImdctPacked();
    return packed;
}

} // namespace tunelo
