// Numeric tables of the Layer III back end and of the synthesis. They do not depend on the stream,
// so one process-wide copy is built once and shared by every decoder state.
#pragma once

#include <cstdint>

namespace tunelo {

struct TMPLayer3Tables {
    float GlobalGainTable[262];
    float ScalefactorTable[2][4][32];
    float PowerTable[64];
    float SubblockGainTable[8];
    float AliasCoefTable[8][2];           // (cs, ca)
    float IntensityRatioTable[2][8][2];   // [MsStereo][position] -> (left, right)
    float LsfIntensityTable[2][2][64][2]; // [intensity_scale][MsStereo][entry] -> (left, right)
    float ImdctLongTable[18 + 9 + 36];
    float ImdctShortTable[6 + 3 + 1];
    float HybridWindowTable[4][36];
};

// Computes every table of TMPLayer3Tables, in declaration order.
void BuildLayer3Tables(TMPLayer3Tables& tables);

// The process-wide copy, built on first use (thread-safe).
const TMPLayer3Tables& Layer3Tables();

extern const int32_t PretabTable[2][22];
extern const float AliasCoefficients[8]; // the standard's c values

// The 32-point synthesis transform's factors: runs of 16, 8, 4, 2 and 1. Built on first use.
const float* DctCosineTable();

// The synthesis window in evaluation order (16 blocks of 16, then 8). Process-wide and never changed
// while decoding: polarity is a matter of each decoder state.
extern float SynthWindowTable[264];

} // namespace tunelo
