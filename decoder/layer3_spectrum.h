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

// Where intensity stereo applies in a granule: long bands LongFirst up to (not including) LongEnd, and
// in short blocks each window's bands from ShortFirst on. Empty by default.
struct TMPIntensityRegion {
    int32_t LongFirst = 0;
    int32_t LongEnd = 0;
    int32_t ShortFirst[3] = {13, 13, 13};
};

// The bands above the right channel's last non-zero one (per window in short blocks; in a mixed block
// whose short part is silent, the long part's). Reads the right channel as dequantised, so it has to
// run before middle/side.
TMPIntensityRegion FindIntensityRegion(const TMPDecoderState& state, int32_t granule);

// Intensity stereo, MPEG-1 or MPEG-2/2.5 form by VersionId: the left channel's values in the region
// are split between both channels by the right channel's positions.
void Intensity(TMPDecoderState& state, int32_t granule, const TMPIntensityRegion& region);

// The stereo steps of a two-channel granule in their order: middle/side, intensity (by VersionId),
// then both NonZeroLines become the larger of the two when either mode is on. Does nothing for a
// single-channel frame.
void Layer3Stereo(TMPDecoderState& state, int32_t granule);

// Alias reduction of one channel through the routine table: skipped for pure short blocks; one
// boundary for a mixed block, (NonZeroLines + 7) / 18 (at most 31) otherwise; NonZeroLines is then
// raised to cover the lines the butterflies reached.
void AliasReduceChannel(TMPDecoderState& state, int32_t granule, int32_t channel);

} // namespace tunelo
