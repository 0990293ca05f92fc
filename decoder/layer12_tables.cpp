// What Layers I and II share: the requantisation and degrouping tables, the Layer II allocation-table
// choice, the joint-stereo bound, the stream set-up and the reading of a frame's header.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bit_reader.h"
#include "frame_driver.h"
#include "layer12.h"
#include "standard_tables.h"
#include "synthesis.h"

namespace tunelo {

namespace {

// Levels of the Layer II classes 1..17; the first three grouped ones pack three samples in one code.
constexpr int32_t kLayer2Levels[kLayer2ClassCount] = {0,   3,   5,    7,    9,    15,   31,    63,    127,
                                                      255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};

// Three base-b digits of each code, least significant first, centred on zero. Codes above the
// largest valid one decode by the same rule, so no code leaves the table.
template <int32_t Base, int32_t Codes> void FillDegroup(int8_t (&table)[Codes][3]) {
    for (int32_t code = 0; code < Codes; ++code) {
        int32_t rest = code;
        for (int32_t digit = 0; digit < 3; ++digit) {
            table[code][digit] = static_cast<int8_t>(rest % Base - (Base - 1) / 2);
            rest /= Base;
        }
    }
}

int32_t BitsOf(int32_t levels) {
    int32_t bits = 0;
    while ((1 << bits) <= levels) {
        ++bits;
    }
    return bits;
}

// Fills the tables in place: the grouped classes point into the degrouping arrays beside them.
void BuildTables(TLayer12Tables& t) {
    for (int32_t i = 0; i < 64; ++i) {
        t.ScaleMultiplier[i] = static_cast<float>(65536.0 * std::exp2(-i / 3.0));
    }

    // Allocation a codes a + 1 bits per sample. The forbidden 15 is read as 16 bits of silence: its
    // samples still occupy the frame, so the bits after them stay in step.
    for (int32_t a = 1; a < 15; ++a) {
        t.Layer1Bits[a] = a + 1;
        t.Layer1Offset[a] = (1 << a) - 1;
        t.Layer1Requantise[a] = static_cast<float>(2.0 / ((1 << (a + 1)) - 1));
    }
    t.Layer1Bits[15] = 16;

    FillDegroup<3>(t.Degroup3);
    FillDegroup<5>(t.Degroup5);
    FillDegroup<9>(t.Degroup9);

    for (int32_t c = 1; c < kLayer2ClassCount; ++c) {
        TLayer2Class& k = t.Layer2[c];
        const int32_t levels = kLayer2Levels[c];
        k.Requantise = static_cast<float>(2.0 / levels);
        if (levels == 3 || levels == 5 || levels == 9) {
            k.Grouped = 1;
            k.CodeBits = levels == 3 ? 5 : levels == 5 ? 7 : 10;
            k.TripleBits = k.CodeBits;
            k.Table = levels == 3 ? &t.Degroup3[0][0] : levels == 5 ? &t.Degroup5[0][0] : &t.Degroup9[0][0];
        } else {
            k.CodeBits = BitsOf(levels);
            k.TripleBits = 3 * k.CodeBits;
            k.Offset = (1 << (k.CodeBits - 1)) - 1;
        }
    }
}

enum : int32_t { kSamplingIndex44100 = 0, kSamplingIndex48000 = 1, kSamplingIndex32000 = 2 };

} // namespace

const TLayer12Tables& Layer12Tables() {
    static const TLayer12Tables* const tables = [] {
        static TLayer12Tables built{};
        BuildTables(built);
        return &built;
    }();
    return *tables;
}

int32_t Layer2AllocTableFor(const TMPHeader& header) {
    if (header.LayerCode != 2 || header.SyncKind != 1 || header.SamplingIndex < 0 ||
        header.SamplingIndex > 2 || header.BitrateIndex < 0 || header.BitrateIndex > 14) {
        return -1;
    }
    if (header.VersionId == 0) {
        return kAllocB1;
    }
    const int32_t fs = header.SamplingIndex;
    const int32_t rate = kBitrateTable[1][1][header.BitrateIndex];
    const bool single = header.Mode == 3;
    if (rate == 0) { // free format
        return fs == kSamplingIndex48000 ? kAllocB2a : kAllocB2b;
    }
    if (single ? rate >= 224 : (rate == 32 || rate == 48 || rate == 56 || rate == 80)) {
        return -1;
    }
    const int32_t perChannel = single ? rate : rate / 2;
    if (perChannel <= 48) {
        return fs == kSamplingIndex32000 ? kAllocB2d : kAllocB2c;
    }
    if (perChannel <= 80 || fs == kSamplingIndex48000) {
        return kAllocB2a;
    }
    return kAllocB2b;
}

int32_t Layer12JointBound(const TMPLayer12State& layer, int32_t mode, int32_t modeExtension) {
    // A single-channel stream has no pairs, whatever a frame's mode bits say: pairing its subbands
    // would walk past the coded ones.
    if (!layer.Paired) {
        return layer.Total;
    }
    switch (mode) {
    case 1:
        return 8 * ((modeExtension & 3) + 1);
    case 3:
        return 32;
    default:
        return 64;
    }
}

int32_t Layer12CommonSetup(TMPDecoderState& state, const TMPHeader& header, int32_t downSampling,
                           int32_t frequencyLimit, int32_t layer, int32_t subbands) {
    TMPLayer12State& l = state.L12;
    l.Layer = 0;
    state.L12OutputRoutine = nullptr;
    // The output routines synthesise 32 samples per slot at 16 bits: reduced rates cannot be served.
    if (downSampling != 0) {
        return 0;
    }
    // MPEG-2.5 defines no Layer I or II; its frames (sync 0xFFE) would all be refused anyway.
    if (header.SyncKind != 1 || header.SamplingIndex < 0 || header.SamplingIndex > 2) {
        return 0;
    }
    const int32_t fs = SamplingFrequency(header.VersionId ? 1 : 0, header.SamplingIndex, false);
    if (fs <= 0) {
        return 0;
    }
    Layer12Tables(); // build the process-wide tables now, not in the first frame

    const int32_t channels = header.Mode == 3 ? 1 : 2;
    const int32_t limit = std::clamp(SubbandLimitFor(frequencyLimit, fs, downSampling), 0, subbands);
    l.Paired = channels - 1;
    l.Total = subbands * channels;
    l.AllocTable = 0;
    l.JointBound = l.Total;
    l.SkipBits = 0;
    state.SubbandLimit = limit * channels;
    std::memset(l.Class, 0, sizeof l.Class);
    std::memset(l.ScfSelect, 0, sizeof l.ScfSelect);
    std::memset(l.Factor, 0, sizeof l.Factor);
    std::memset(l.Samples, 0, sizeof l.Samples); // entries at and above the limit stay 0 for good

    const int32_t channelMode = state.ChannelMode & 3;
    const int32_t perChannel = (layer == 1 ? 384 : 1152) >> downSampling;
    state.OutputChannels = (channels == 1 || channelMode != 0) ? 1 : 2;
    state.OutputSamples = state.OutputChannels * perChannel;
    state.OutputBytes = state.OutputSamples * 2;
    state.GranuleOutputOffset = state.OutputBytes / 2;
    state.SilenceByte = 0;
    state.L12OutputRoutine = kLayer12OutputRoutines[channels == 1 ? kLayer12Mono : channelMode + 1];
    state.Format.Channels = state.OutputChannels;
    state.Format.SamplesPerFrame = state.OutputSamples;
    state.Format.SampleRate = fs >> downSampling;
    state.Format.BitsPerSample = 16;

    SynthesisReset(state);
    l.Layer = layer;
    return 1;
}

int32_t Layer12StartFrame(TMPDecoderState& state, const uint8_t* frame, int32_t paddingBytes) {
    const int32_t length = state.FrameLength;
    if (length <= 0) {
        return 0;
    }
    TMPBitReader12& r = state.Reader12;
    BitStart(r, frame, frame + length);
    if (BitRead(r, 12) != 0xFFF) {
        return 0;
    }
    BitSkip(r, 3); // version, layer
    const int32_t protection = static_cast<int32_t>(BitRead(r, 1));
    const int32_t bitrateIndex = static_cast<int32_t>(BitRead(r, 4));
    BitSkip(r, 2); // sampling frequency: the set-up's holds for the whole stream
    const int32_t padding = static_cast<int32_t>(BitRead(r, 1));
    BitSkip(r, 1);
    const int32_t mode = static_cast<int32_t>(BitRead(r, 2));
    const int32_t modeExtension = static_cast<int32_t>(BitRead(r, 2));
    BitSkip(r, protection ? 4 : 4 + 16); // copyright, original, emphasis, and the CRC (not checked)

    const int32_t bytes = length + padding * paddingBytes;
    // The frame is decoded with the set-up's length, but read only up to its own end by its own bit
    // rate: a caller delimits frames that way and need not make more bytes readable.
    int32_t own = length;
    if (bitrateIndex > 0) {
        const int32_t rate = kBitrateTable[paddingBytes == 4 ? 0 : 1][state.VersionId][bitrateIndex];
        const int32_t f50 = kSamplingTable50[state.VersionId][state.SamplingIndex];
        own = paddingBytes == 4 ? 4 * (240 * rate / f50) : 2880 * rate / f50;
    }
    r.Limit = frame + std::clamp(own + padding * paddingBytes, 0, bytes);
    state.PaddingBit = padding;
    state.ModeExtension = modeExtension;
    state.L12.JointBound = std::min(Layer12JointBound(state.L12, mode, modeExtension), state.L12.Total);
    return bytes;
}

} // namespace tunelo
