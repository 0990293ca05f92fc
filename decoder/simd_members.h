// The packed members of the routine table: SSE2 (every x86-64 processor has it) and AVX2 with FMA.
// Each file compiles its functions for their own instruction set through per-function target
// attributes, so the program as a whole still runs on any x86-64 processor; SelectRoutines hands the
// members out only where DetectSimdLevel() allows them.
#pragma once

#include <cstdint>

#include "routine_table.h"

#if defined(__x86_64__) || defined(__i386__)
#define TUNELO_SIMD_MEMBERS 1
#else
#define TUNELO_SIMD_MEMBERS 0
#endif

#if TUNELO_SIMD_MEMBERS

// Target attributes of the two sets.
#define TUNELO_TARGET_SSE2 __attribute__((target("sse2")))
#define TUNELO_TARGET_AVX2 __attribute__((target("avx2,fma")))

namespace tunelo {

// Synthesis window and PCM output: single-precision sums like WindowMonoFast, the same rounding
// (nearest, ties to even) and clipping. (With SSE2 alone the portable WindowMonoFast, which the
// compiler packs for SSE2 anyway, is the fastest member.)
void WindowMonoAvx2(const float* ring, int32_t position, int16_t* output);
void WindowStereoAvx2(const float* ring, int32_t position, int16_t* output);

// The 32-point synthesis transform in its three input forms (synthesis.h).
void SubbandDctSse2(const float* input, float* destination);
void SubbandDctPairSse2(const float* input, float* destination);
void SubbandDctMixSse2(const float* input, float* destination);
void SubbandDctAvx2(const float* input, float* destination);
void SubbandDctPairAvx2(const float* input, float* destination);
void SubbandDctMixAvx2(const float* input, float* destination);

// The hybrid filterbank over several subbands at once, one subband per lane.
int32_t HybridSse2(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType, int32_t longLines,
                   int32_t totalLines, int32_t previousLines, int32_t clearSubbands);
int32_t HybridAvx2(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType, int32_t longLines,
                   int32_t totalLines, int32_t previousLines, int32_t clearSubbands);
// The 18-point transform of one subband as a product, with the in-place layout of layer3_hybrid.h. (The
// portable members are the fastest single-subband transforms otherwise.)
void LongImdctAvx2(float* values18);

// Alias reduction, eight butterflies per boundary side by side.
void AliasReduceSse2(float* lines, int32_t boundaries);
void AliasReduceAvx2(float* lines, int32_t boundaries);

} // namespace tunelo

#endif
