// The cosine products of the packed synthesis transforms, computed in double and stored as floats.
#include <cmath>

#include "synthesis_dct_matrix.h"

namespace tunelo {

namespace {

TDctMatrices BuildDctMatrices() {
    TDctMatrices matrices{};
    const double pi = 4.0 * std::atan(1.0);
    for (int32_t n = 0; n < 16; ++n) {
        for (int32_t m = 0; m < 16; ++m) {
            matrices.Even[n][m] = static_cast<float>(std::cos(pi * (2 * m) * (2 * n + 1) / 64.0));
            matrices.Odd[n][m] = static_cast<float>(std::cos(pi * (2 * m + 1) * (2 * n + 1) / 64.0));
        }
    }
    for (int32_t n = 0; n < 8; ++n) {
        for (int32_t k = 0; k < 8; ++k) {
            matrices.EvenEven[n][k] = static_cast<float>(std::cos(pi * k * (2 * n + 1) / 16.0));
            matrices.EvenOdd[n][k] = static_cast<float>(std::cos(pi * (2 * k + 1) * (2 * n + 1) / 32.0));
        }
    }
    return matrices;
}

} // namespace

const TDctMatrices& DctMatrices() {
    static const TDctMatrices matrices = BuildDctMatrices();
    return matrices;
}

} // namespace tunelo
