// Internals of the frame driver shared by the set-up and the per-layer frame decoders.
#pragma once

#include <cstdint>

#include "MPDecoderState.h"

namespace tunelo {

// Sampling frequency in Hz of a header's VersionId, SamplingIndex and MPEG-2.5 flag; 0 for index 3.
int32_t SamplingFrequency(int32_t versionId, int32_t samplingIndex, bool mpeg25);

// Whether a frequency limit asks for the whole band: 0, or at least half the sampling rate fs.
bool DecodesFullBand(int32_t frequencyLimit, int32_t fs);

// The subband limit by frequency and down-sampling, shared by all layers.
int32_t SubbandLimitFor(int32_t frequencyLimit, int32_t fs, int32_t downSampling);

// The scale-factor band ends and widths of table row `row` (0 MPEG-2, 1 MPEG-1, 2 MPEG-2.5) at the
// state's SamplingIndex, copied into the state the way every Layer III set-up does it.
void CopyBandTables(TMPDecoderState& state, int32_t row);
int32_t Layer3Setup(TMPDecoderState& state, int32_t versionRow, int32_t downSampling, int32_t frequencyLimit);
int32_t Layer3Dispatch(TMPDecoderState& state, const uint8_t* frame, uint8_t* output);

} // namespace tunelo
