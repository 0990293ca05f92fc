// Polyphase synthesis: the 32-point cosine transform into the per-channel rings, the subband and
// spectral-line equalizers, and the output routines that turn subband samples into 16-bit PCM.
#pragma once

#include <cstdint>

#include "decoder_state.h"

namespace tunelo {

// Empties both rings and puts both positions at 0. Called by every set-up.
void SynthesisReset(TMPDecoderState& state);

// c_k = sum over n of s_n cos(pi k (2n + 1) / 64), k = 0..31, without further scale.
// SubbandDct reads 32 consecutive inputs; SubbandDctPair every second of 64 interleaved inputs (pass
// the first left or the first right value); SubbandDctMix the averages of the 32 interleaved pairs.
void SubbandDct(const float* input, float* destination);
void SubbandDctPair(const float* input, float* destination);
void SubbandDctMix(const float* input, float* destination);

// Multiplies the first n spectral lines by the line equalizer's gains (n is clamped to 0..576).
void ApplyLineGains(const TMPDecoderState& state, float* lines, int32_t n);

// Layer III output routines by output channel count - 1: mono, then stereo (called once per channel,
// channel 0 writing the left samples and channel 1 the right ones of the interleaved block).
extern const TMPLayer3OutputRoutine kLayer3OutputRoutines[2];

// Layer I/II output routines by channel-mode index: mono, stereo, mix to mono, left only, right only.
// Sample rows are 64 floats; two-channel rows interleave left and right per subband.
extern const TMPLayer12OutputRoutine kLayer12OutputRoutines[5];

enum : int32_t {
    kLayer12Mono = 0,
    kLayer12Stereo = 1,
    kLayer12Mix = 2,
    kLayer12LeftOnly = 3,
    kLayer12RightOnly = 4,
};

} // namespace tunelo
