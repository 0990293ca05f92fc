// The synthesis window regrouped for the fast window members: per slot pair, one coefficient per
// output lane. Derived from SynthWindowTable.
#pragma once

#include <cstdint>

namespace tunelo {

struct TWindowLayout {
    struct TPair {
        alignas(64) float Low[16];
        alignas(64) float High[16];
        alignas(64) float LowB[16];
        alignas(64) float HighB[16];
    };
    TPair Pairs[8];
    float Middle[8];
};

void BuildWindowLayout(TWindowLayout& layout);
// The process-wide layout the window members read, built on first use.
const TWindowLayout& CurrentWindowLayout();

} // namespace tunelo
