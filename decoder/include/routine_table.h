// The routine table through which the per-sample decoder stages are called, its portable members, and
// the selection that fills it from the processor's capabilities.
#pragma once

#include <cstdint>

#include "MPCPUSpc.h"

namespace tunelo {

// Per-sample routines reached through the routine table.
using TMPAliasReduceProc = void (*)(float* lines, int32_t boundaries);
using TMPWindowProc = void (*)(const float* ring, int32_t position, int16_t* output);
// Returns the output line count. clearSubbands is the synthesis width: subbands from the output
// count up to it are cleared in hybridOut.
using TMPHybridProc = int32_t (*)(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType,
                                  int32_t longLines, int32_t totalLines, int32_t previousLines,
                                  int32_t clearSubbands);
using TMPImdctProc = void (*)(float* values18);
// The 32-point synthesis transform of one time slot (see synthesis.h for the three input forms).
using TMPSubbandDctProc = void (*)(const float* input, float* destination);

// The processor variant each entry was chosen for by the capability word's rules, recorded so that
// the rules stay observable. The members behind them are portable C++ or, with KNI, the packed set
// of Simd, which serves every variant alike.
enum class TMPRoutineVariant : uint8_t { GenericX87, PentiumX87, CmovX87, Amd3DNow, AmdE3DNow };

struct TMPRoutineTable {
    TMPAliasReduceProc AliasReduce = nullptr;
    TMPWindowProc WindowMono = nullptr;
    TMPWindowProc WindowStereo = nullptr;
    TMPHybridProc Hybrid = nullptr;
    TMPImdctProc LongImdct = nullptr;
    TMPImdctProc ShortImdct = nullptr;

    TMPRoutineVariant AliasReduceVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant WindowMonoVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant WindowStereoVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant HybridVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant LongImdctVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant ShortImdctVariant = TMPRoutineVariant::GenericX87;

    // The synthesis transform in its three input forms, chosen with the other members.
    TMPSubbandDctProc SubbandDct = nullptr;
    TMPSubbandDctProc SubbandDctPair = nullptr;
    TMPSubbandDctProc SubbandDctMix = nullptr;
    // The packed member set the entries come from.
    TMPSimdLevel Simd = TMPSimdLevel::None;
};

// Fills every entry with the fastest member the processor allows: the packed members when the word
// has KNI, up to DetectSimdLevel().
void SelectRoutines(TMPRoutineTable& table, uint32_t word);
// The same with the packed members limited to `ceiling` (tests compare the member sets this way).
void SelectRoutines(TMPRoutineTable& table, uint32_t word, TMPSimdLevel ceiling);

// The portable members (defined by their stages: alias reduction, hybrid filterbank, window).
void AliasReduceGeneric(float* lines, int32_t boundaries);
void WindowMonoGeneric(const float* ring, int32_t position, int16_t* output);
void WindowStereoGeneric(const float* ring, int32_t position, int16_t* output);
// The same window regrouped for packed arithmetic, summing in single precision.
void WindowMonoFast(const float* ring, int32_t position, int16_t* output);
void WindowStereoFast(const float* ring, int32_t position, int16_t* output);
int32_t HybridGeneric(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType,
                      int32_t longLines, int32_t totalLines, int32_t previousLines, int32_t clearSubbands);
void LongImdctGeneric(float* values18);
void ShortImdctGeneric(float* values18);

} // namespace tunelo
