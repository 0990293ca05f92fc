// Layer I: bit allocation, scale factors and the 12 sample slots of a frame, then synthesis.
#include <algorithm>

#include "bit_reader.h"
#include "layer12.h"

namespace tunelo {

namespace {

enum : int32_t { kLayer1Subbands = 32, kLayer1Slots = 12, kLayer1PaddingBytes = 4 };

// Reads the allocation of every coded channel-subband; past the joint bound one value serves a pair.
// Returns the sample bits per slot that lie at or above the decoding limit.
int32_t ReadAllocation(TMPBitReader12& r, TMPLayer12State& l, const TLayer12Tables& t, int32_t limit) {
    int32_t skip = 0;
    int32_t i = 0;
    for (; i < l.JointBound; ++i) {
        const uint32_t a = BitRead(r, 4);
        l.Class[i] = static_cast<uint8_t>(a);
        if (i >= limit) {
            skip += t.Layer1Bits[a];
        }
    }
    for (; i < l.Total; i += 2) {
        const uint32_t a = BitRead(r, 4);
        l.Class[i] = static_cast<uint8_t>(a);
        l.Class[i + 1] = static_cast<uint8_t>(a);
        if (i >= limit) {
            skip += t.Layer1Bits[a];
        }
    }
    return skip;
}

void ReadScaleFactors(TMPBitReader12& r, TMPLayer12State& l, const TLayer12Tables& t) {
    for (int32_t i = 0; i < l.Total; ++i) {
        const int32_t a = l.Class[i];
        if (a != 0) {
            l.Factor[0][i] = t.ScaleMultiplier[BitRead(r, 6)] * t.Layer1Requantise[a];
        }
    }
}

// One sample of allocation a, centred on zero (the factor of the forbidden 15 is 0).
inline float ReadSample(TMPBitReader12& r, const TLayer12Tables& t, int32_t a) {
    return static_cast<float>(static_cast<int32_t>(BitRead(r, t.Layer1Bits[a])) - t.Layer1Offset[a]);
}

void ReadSlot(TMPBitReader12& r, TMPLayer12State& l, const TLayer12Tables& t, int32_t limit, float* row) {
    const float* factor = l.Factor[0];
    const int32_t separate = std::min(l.JointBound, limit);
    int32_t i = 0;
    for (; i < separate; ++i) {
        const int32_t a = l.Class[i];
        row[i] = a == 0 ? 0.0f : ReadSample(r, t, a) * factor[i];
    }
    // A joint pair carries one code that each channel scales by its own factor.
    for (; i < limit; i += 2) {
        const int32_t a = l.Class[i];
        const float value = a == 0 ? 0.0f : ReadSample(r, t, a);
        row[i] = value * factor[i];
        row[i + 1] = value * factor[i + 1];
    }
    BitSkip(r, l.SkipBits);
}

} // namespace

int32_t Layer1Setup(TMPDecoderState& state, const TMPHeader& header, int32_t downSampling,
                    int32_t frequencyLimit) {
    return Layer12CommonSetup(state, header, downSampling, frequencyLimit, 1, kLayer1Subbands);
}

int32_t Layer1Frame(TMPDecoderState& state, const uint8_t* frame, uint8_t* output) {
    TMPLayer12State& l = state.L12;
    if (l.Layer != 1 || state.L12OutputRoutine == nullptr) {
        return 0;
    }
    const int32_t bytes = Layer12StartFrame(state, frame, kLayer1PaddingBytes);
    if (bytes == 0) {
        return 0;
    }
    const TLayer12Tables& t = Layer12Tables();
    TMPBitReader12& r = state.Reader12;
    const int32_t limit = state.SubbandLimit;

    l.SkipBits = ReadAllocation(r, l, t, limit);
    ReadScaleFactors(r, l, t);
    for (int32_t slot = 0; slot < kLayer1Slots; ++slot) {
        ReadSlot(r, l, t, limit, l.Samples[slot]);
    }
    state.L12OutputRoutine(state, &l.Samples[0][0], reinterpret_cast<int16_t*>(output), kLayer1Slots);
    return bytes;
}

} // namespace tunelo
