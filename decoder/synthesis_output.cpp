// Output routines: each time slot of subband samples goes through the equalizer and the polarity, the
// cosine transform into a ring, and the window turns the ring into 32 PCM samples.
#include <atomic>

#include "MP3decdr.h"
#include "MPSynthesis.h"

namespace tunelo {

namespace {

// Ring positions are multiples of 32 in 0..480; masking keeps a damaged position inside the ring.
constexpr int32_t kPositionMask = 512 - 32;

int32_t NextPosition(int32_t position) {
    return (position - 32) & kPositionMask;
}

// The player switches the equalizer and changes single gains from its window thread while a slot
// is being synthesised; a slot may see a mix of old and new gains.
int32_t LoadSwitch(int32_t& value) {
    return std::atomic_ref<int32_t>(value).load(std::memory_order_relaxed);
}
float LoadGain(float& value) {
    return std::atomic_ref<float>(value).load(std::memory_order_relaxed);
}

// The slot's samples as the transform should read them: the source itself while the subband
// equalizer is off and the polarity is normal, else a copy in the caller's scratch (the source stays
// untouched), gained when equalize is set and the equalizer is on, negated when the polarity is
// inverted. width is 32 for plain rows, 64 for interleaved pairs (value k has the gain of subband k / 2).
// Negating the transform's input negates every sum after it exactly (rounding is symmetric), so the
// samples are those of a negated window, clipping included.
using TSlotScratch = float[64];

const float* SlotInput(TMPDecoderState& state, const float* row, int32_t width, bool equalize,
                       TSlotScratch& scratch) {
    const bool gained = equalize && LoadSwitch(state.SubbandEqActive);
    const bool negated = state.PolarityInverted != 0;
    if (!gained && !negated) {
        return row;
    }
    const float sign = negated ? -1.0f : 1.0f;
    const int32_t shift = width == 64 ? 1 : 0;
    for (int32_t k = 0; k < width; ++k) {
        scratch[k] = gained ? sign * (row[k] * LoadGain(state.SubbandGains[k >> shift])) : sign * row[k];
    }
    return scratch;
}

// A state whose routine table was never filled still decodes, with the portable members.
TMPWindowProc MonoWindow(const TMPDecoderState& state) {
    return state.Routines.WindowMono ? state.Routines.WindowMono : WindowMonoGeneric;
}
TMPWindowProc StereoWindow(const TMPDecoderState& state) {
    return state.Routines.WindowStereo ? state.Routines.WindowStereo : WindowStereoGeneric;
}
TMPSubbandDctProc Dct(const TMPDecoderState& state) {
    return state.Routines.SubbandDct ? state.Routines.SubbandDct : SubbandDct;
}
TMPSubbandDctProc DctPair(const TMPDecoderState& state) {
    return state.Routines.SubbandDctPair ? state.Routines.SubbandDctPair : SubbandDctPair;
}
TMPSubbandDctProc DctMix(const TMPDecoderState& state) {
    return state.Routines.SubbandDctMix ? state.Routines.SubbandDctMix : SubbandDctMix;
}

// --- Layer III: one granule of 18 time slots from HybridOut ---

void Layer3Mono(TMPDecoderState& state, int16_t* output, int32_t /*channel*/) {
    const TMPWindowProc window = MonoWindow(state);
    const TMPSubbandDctProc dct = Dct(state);
    TSlotScratch scratch;
    float* ring = state.SynthBuffer[0];
    int32_t position = state.SynthPos[0] & kPositionMask;
    for (int32_t t = 0; t < 18; ++t) {
        dct(SlotInput(state, state.HybridOut[t], 32, true, scratch), ring + position);
        window(ring, position, output + 32 * t);
        position = NextPosition(position);
    }
    state.SynthPos[0] = position;
}

// Channel 0 fills the left samples with ring 0, channel 1 the right ones with ring 1; each ring
// keeps its own position, so a granule that carries only one channel advances only its ring.
void Layer3Stereo(TMPDecoderState& state, int16_t* output, int32_t channel) {
    const int32_t c = channel == 0 ? 0 : 1;
    const TMPWindowProc window = StereoWindow(state);
    const TMPSubbandDctProc dct = Dct(state);
    TSlotScratch scratch;
    float* ring = state.SynthBuffer[c];
    int32_t position = state.SynthPos[c] & kPositionMask;
    for (int32_t t = 0; t < 18; ++t) {
        dct(SlotInput(state, state.HybridOut[t], 32, true, scratch), ring + position);
        window(ring, position, output + 64 * t + c);
        position = NextPosition(position);
    }
    state.SynthPos[c] = position;
}

// --- Layers I and II: rows of 64 floats, one row per time slot; SynthPos[0] serves both rings ---

enum : int32_t { kRowFloats = 64 };

void Layer12Mono(TMPDecoderState& state, const float* samples, int16_t* output, int32_t slots) {
    const TMPWindowProc window = MonoWindow(state);
    const TMPSubbandDctProc dct = Dct(state);
    TSlotScratch scratch;
    float* ring = state.SynthBuffer[0];
    int32_t position = state.SynthPos[0] & kPositionMask;
    for (int32_t t = 0; t < slots; ++t) {
        dct(SlotInput(state, samples + kRowFloats * t, 32, true, scratch), ring + position);
        window(ring, position, output + 32 * t);
        position = NextPosition(position);
    }
    state.SynthPos[0] = position;
}

void Layer12Stereo(TMPDecoderState& state, const float* samples, int16_t* output, int32_t slots) {
    const TMPWindowProc window = StereoWindow(state);
    const TMPSubbandDctProc dct = DctPair(state);
    TSlotScratch scratch;
    float* left = state.SynthBuffer[0];
    float* right = state.SynthBuffer[1];
    int32_t position = state.SynthPos[0] & kPositionMask;
    for (int32_t t = 0; t < slots; ++t) {
        const float* row = SlotInput(state, samples + kRowFloats * t, 64, true, scratch);
        dct(row, left + position);
        dct(row + 1, right + position);
        window(left, position, output + 64 * t);
        window(right, position, output + 64 * t + 1);
        position = NextPosition(position);
    }
    state.SynthPos[0] = position;
}

// Mixing to mono ignores the subband equalizer.
void Layer12Mix(TMPDecoderState& state, const float* samples, int16_t* output, int32_t slots) {
    const TMPWindowProc window = MonoWindow(state);
    const TMPSubbandDctProc dct = DctMix(state);
    TSlotScratch scratch;
    float* ring = state.SynthBuffer[0];
    int32_t position = state.SynthPos[0] & kPositionMask;
    for (int32_t t = 0; t < slots; ++t) {
        dct(SlotInput(state, samples + kRowFloats * t, 64, false, scratch), ring + position);
        window(ring, position, output + 32 * t);
        position = NextPosition(position);
    }
    state.SynthPos[0] = position;
}

// One channel of an interleaved pair to mono: first = 0 for the left values, 1 for the right ones.
void Layer12OneChannel(TMPDecoderState& state, const float* samples, int16_t* output, int32_t slots,
                       int32_t first) {
    const TMPWindowProc window = MonoWindow(state);
    const TMPSubbandDctProc dct = DctPair(state);
    TSlotScratch scratch;
    float* ring = state.SynthBuffer[0];
    int32_t position = state.SynthPos[0] & kPositionMask;
    for (int32_t t = 0; t < slots; ++t) {
        dct(SlotInput(state, samples + kRowFloats * t, 64, true, scratch) + first, ring + position);
        window(ring, position, output + 32 * t);
        position = NextPosition(position);
    }
    state.SynthPos[0] = position;
}

void Layer12Left(TMPDecoderState& state, const float* samples, int16_t* output, int32_t slots) {
    Layer12OneChannel(state, samples, output, slots, 0);
}

void Layer12Right(TMPDecoderState& state, const float* samples, int16_t* output, int32_t slots) {
    Layer12OneChannel(state, samples, output, slots, 1);
}

} // namespace

void SetPolarity(TMPDecoderState& state, bool inverted) {
    if (inverted == (state.PolarityInverted != 0)) {
        return;
    }
    for (auto& ring : state.SynthBuffer) {
        for (float& value : ring) {
            value = -value;
        }
    }
    state.PolarityInverted = inverted ? 1 : 0;
}

bool GetPolarity(const TMPDecoderState& state) {
    return state.PolarityInverted != 0;
}

const TMPLayer3OutputRoutine kLayer3OutputRoutines[2] = {Layer3Mono, Layer3Stereo};

const TMPLayer12OutputRoutine kLayer12OutputRoutines[5] = {Layer12Mono, Layer12Stereo, Layer12Mix,
                                                           Layer12Left, Layer12Right};

} // namespace tunelo
