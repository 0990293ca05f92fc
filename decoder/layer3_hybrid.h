// Layer III hybrid filterbank and the per-granule channel routines. The portable transforms and the
// filterbank itself (LongImdctGeneric, ShortImdctGeneric, HybridGeneric) are declared with the routine
// table in MPCPUSpc.h.
//
// In-place transform layout: LongImdct leaves the 18-point DCT-IV of its input, which is the 18
// distinct values of the standard's 36-point inverse transform x: position j (0..8) holds -x[26 - j],
// position 9 + j holds x[j]. ShortImdct does the same per window w (input lines 3n + w): position
// 6w + j (0..2) holds -x[w][8 - j], position 6w + 3 + j holds x[w][j]. The signed rows of
// HybridWindowTable turn these values into the standard's windowed samples directly.
#pragma once

#include <cstdint>

#include "decoder_state.h"
#include "routine_table.h"

namespace tunelo {

// Added to the block type handed to Hybrid and HybridMix when the granule's mixed_block_flag is set:
// the two lowest subbands then take the normal window whatever the block type, as the standard defines
// mixed blocks. Block type 2 needs no flag (its long part always uses the normal window); for block
// types 1 and 3 it decides the window of subbands 0 and 1.
enum : int32_t { kHybridMixedBlock = 4 };

// Steps 1 and 2 of the filterbank with every store turned into an addition: the output is added to
// hybridOut and the next granule's overlap to the overlap store. Transforms come from the routine
// table. Returns 18 x the subbands transformed.
int32_t HybridMix(const TMPRoutineTable& routines, float* lines, float* overlap, float (*hybridOut)[32],
                  int32_t blockType, int32_t longLines, int32_t totalLines);

// destination[i] += source[i] for i below n (n clamped to 0..576).
void AddLines(float* destination, const float* source, int32_t n);

// Negates the odd time slots of the odd subbands below ceil(count / 18), as the synthesis expects.
void InvertOddSubbands(float (*hybridOut)[32], int32_t count);

// The channel routines: filterbank of one granule for the channels to be output, then the output
// routine per output channel. Index: 0 single-channel stream, 1 stereo, 2 mix to mono, 3 first channel
// only, 4 second channel only.
void ChannelSingle(TMPDecoderState& state, uint8_t* output, int32_t granule);
void ChannelStereo(TMPDecoderState& state, uint8_t* output, int32_t granule);
void ChannelMixMono(TMPDecoderState& state, uint8_t* output, int32_t granule);
void ChannelFirstOnly(TMPDecoderState& state, uint8_t* output, int32_t granule);
void ChannelSecondOnly(TMPDecoderState& state, uint8_t* output, int32_t granule);

extern const TMPChannelRoutine kLayer3ChannelRoutines[5];

} // namespace tunelo
