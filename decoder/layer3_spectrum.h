// Layer III spectrum stages between Huffman decoding and the hybrid filterbank: dequantisation with
// the short-block reorder, middle/side and intensity stereo, and alias reduction. Every stage works on
// one granule of the state it is handed and stays inside Lines, the reorder buffer and the tables
// whatever the side information, scale factors or block information hold.
#pragma once

#include <cstdint>

#include "decoder_state.h"

namespace tunelo {

// Dequantises Lines[channel][granule] in place (integers in, floats out) and fills
// BlockInfo[granule][channel]. For short and mixed blocks NonZeroLines[granule][channel] becomes the
// end of the last band treated.
void Dequantise(TMPDecoderState& state, int32_t granule, int32_t channel);

// Builds the dequantiser's own tables once per process; the set-up calls it so that no frame waits.
void PrepareDequantise();

// The first line of the intensity-stereo region: the end of the right channel's last non-zero band.
int32_t IntensityStart(const TMPDecoderState& state, int32_t granule);

// How many lines middle/side stereo treats: the larger NonZeroLines of the two channels, or the start
// of the intensity region when intensity stereo is on too.
int32_t MiddleSideCount(const TMPDecoderState& state, int32_t granule);

// left = a + b, right = a - b for the first count lines of the granule.
void MiddleSide(TMPDecoderState& state, int32_t granule, int32_t count);

// Intensity stereo in its MPEG-1 and its MPEG-2/2.5 form: the left channel's values above the right
// channel's last non-zero band are split between both channels by the right channel's positions.
void IntensityMpeg1(TMPDecoderState& state, int32_t granule);
void IntensityLsf(TMPDecoderState& state, int32_t granule);

// The stereo steps of a two-channel granule in their order: middle/side, intensity (by VersionId),
// then both NonZeroLines become the larger of the two when either mode is on. Does nothing for a
// single-channel frame.
void Layer3Stereo(TMPDecoderState& state, int32_t granule);

// Alias reduction of one channel through the routine table: skipped for pure short blocks; one
// boundary for a mixed block, (NonZeroLines + 7) / 18 (at most 31) otherwise; NonZeroLines is then
// raised to cover the lines the butterflies reached.
void AliasReduceChannel(TMPDecoderState& state, int32_t granule, int32_t channel);

} // namespace tunelo
