// Layer III: set-up, the bit reservoir, the MPEG-1 and MPEG-2/2.5 frame decoders and the granule driver.
#include <algorithm>
#include <cstring>

#include "MP3decdr.h"
#include "bit_reader.h"
#include "frame_driver.h"
#include "layer3_huffman.h"
#include "layer3_hybrid.h"
#include "layer3_side_info.h"
#include "layer3_spectrum.h"
#include "layer3_tables.h"
#include "standard_tables.h"
#include "synthesis.h"

namespace tunelo {

namespace {

int32_t Layer3FrameMpeg1(TMPDecoderState& state, const uint8_t* frame, uint8_t* output);
int32_t Layer3FrameLsf(TMPDecoderState& state, const uint8_t* frame, uint8_t* output);

} // namespace

int32_t Layer3Setup(TMPDecoderState& state, int32_t row, int32_t downSampling, int32_t frequencyLimit) {
    state.ReservoirFill = 0;
    state.ReservoirStart = 0;
    state.GranuleSlot = 0;
    state.MixedLongBands = state.VersionId == 1 ? 8 : 6;
    CopyBandTables(state, row);

    const bool full = DecodesFullBand(frequencyLimit, state.SampleRate);
    state.SubbandLimit = SubbandLimitFor(frequencyLimit, state.SampleRate, downSampling);
    state.LineLimit = state.SubbandLimit * 18;
    if (full) {
        state.LongLineLimit = 576;
        state.ShortLineLimit = 576;
    } else if (state.VersionId == 1) {
        state.LongLineLimit = state.SfbLongEnd[21];
        state.ShortLineLimit = state.SfbShortEnd3[12];
    } else {
        state.LongLineLimit = state.SfbLongEnd[20];
        state.ShortLineLimit = state.SfbShortEnd3[11];
    }
    state.LineLimit = std::min(state.LineLimit, state.LongLineLimit + 8);
    state.LongLineLimit = std::min(state.LongLineLimit, state.LineLimit);
    state.ShortLineLimit = std::min(state.ShortLineLimit, state.LineLimit);
    state.SynthSubbands = (state.LineLimit + 17) / 18;

    const bool singleChannel = state.Mode == 3;
    state.GlobalGainOffset = (!singleChannel && state.ChannelMode == 1) ? -4 : 0;

    const int32_t perChannel = (state.VersionId == 1 ? 1152 : 576) >> downSampling;
    state.OutputChannels = (singleChannel || state.ChannelMode != 0) ? 1 : 2;
    state.OutputSamples = state.OutputChannels * perChannel;
    state.OutputBytes = state.OutputSamples * 2;
    state.GranuleOutputOffset = state.OutputBytes / 2;
    state.SilenceByte = 0;

    state.L3OutputRoutine = kLayer3OutputRoutines[state.OutputChannels - 1];
    state.ChannelRoutine = kLayer3ChannelRoutines[singleChannel ? 0 : state.ChannelMode + 1];

    state.Format.Channels = state.OutputChannels;
    state.Format.SamplesPerFrame = state.OutputSamples;
    state.Format.SampleRate = state.SampleRate >> downSampling;
    state.Format.BitsPerSample = 16;

    Layer3Tables(); // built once per process; every set-up would yield the same values
    PrepareDequantise();
    PrepareHuffmanTables();
    SynthesisReset(state);
    std::memset(state.HybridOut, 0, sizeof(state.HybridOut));
    std::memset(&state.Lines, 0, sizeof(state.Lines));
    std::memset(state.NonZeroLines, 0, sizeof(state.NonZeroLines));

    state.L3FrameRoutine = state.VersionId == 1 ? Layer3FrameMpeg1 : Layer3FrameLsf;
    return 1;
}

int32_t Layer3Dispatch(TMPDecoderState& state, const uint8_t* frame, uint8_t* output) {
    return state.L3FrameRoutine(state, frame, output);
}

namespace {

// Frame length in bytes with padding, from the frame's own header bytes (or the set-up length in
// free format). 0 when the header cannot give one.
int32_t FrameBytesOf(const TMPDecoderState& state, const uint8_t* frame, bool mpeg25) {
    const int32_t bitrateIndex = frame[2] >> 4;
    const int32_t samplingIndex = (frame[2] >> 2) & 3;
    const int32_t padding = (frame[2] >> 1) & 1;
    const int32_t version = (frame[1] >> 3) & 1;
    if (bitrateIndex == 15 || samplingIndex == 3) {
        return 0;
    }
    int32_t length = state.SetupFrameLength;
    if (bitrateIndex > 0) {
        const int32_t rate = kBitrateTable[2][version][bitrateIndex];
        const int32_t f50 = kSamplingTable50[version][samplingIndex];
        length = rate * ((version == 1 || mpeg25) ? 2880 : 1440) / f50;
    }
    return length + padding;
}

void FillSilence(const TMPDecoderState& state, uint8_t* output) {
    std::memset(output, state.SilenceByte, static_cast<size_t>(state.OutputBytes));
}

// Appends the frame's main data to the reservoir. Returns false when the frame must be refused.
bool FillReservoir(TMPDecoderState& state, const uint8_t* frame, int32_t headerAndSide) {
    state.ReservoirStart = state.ReservoirFill - state.MainDataBegin;
    if (state.ReservoirFill > kReservoirMoveThreshold) {
        std::memmove(state.Reservoir, state.Reservoir + state.ReservoirFill - state.MainDataBegin,
                     static_cast<size_t>(state.MainDataBegin));
        state.ReservoirStart = 0;
        state.ReservoirFill = state.MainDataBegin;
    }
    const int32_t mainBytes = state.FrameBytes - headerAndSide - state.CrcBytes;
    if (mainBytes < 0 || mainBytes > kReservoirSize - state.ReservoirFill) {
        return false;
    }
    std::memcpy(state.Reservoir + state.ReservoirFill, frame + headerAndSide + state.CrcBytes,
                static_cast<size_t>(mainBytes));
    state.ReservoirFill += mainBytes;
    return true;
}

// Reads one granule's part 2 and part 3 data of every channel into Lines.
void ReadGranuleChannels(TMPDecoderState& state, int32_t g) {
    const bool lsf = state.VersionId == 0;
    for (int32_t c = 0; c < state.Channels; ++c) {
        TMPGranuleInfo& info = state.GranuleInfo[g][c];
        TMPBitReader& reader = state.Reader;
        const int32_t bitPos = state.ReservoirBitPos;
        BitStart(reader, state.Reservoir + bitPos / 8, state.Reservoir + kReservoirSize);
        BitRead(reader, bitPos % 8);
        const int32_t part2Start = BitConsumed(reader);
        state.ReservoirBitPos += info.Part23Length;
        BitSetEnd(reader, state.Reservoir + (state.ReservoirBitPos + 39) / 8);

        if (lsf) {
            ReadScaleFactorsLsf(state, g, c, c == 1 && state.IntensityStereo != 0);
        } else {
            ReadScaleFactorsMpeg1(state, g, c);
        }
        int32_t count = DecodeSpectrum(state, g, c, part2Start);
        const int32_t blockLimit = info.BlockType == 2 ? state.ShortLineLimit : state.LongLineLimit;
        count = std::clamp(count, 0, blockLimit);
        int32_t* lines = state.IntLines(c, g);
        if (BitExhausted(reader)) {
            count = 0; // corrupt or truncated part 2/3 data: this channel's granule is silent
        }
        std::fill(lines + count, lines + 576, 0);
        state.NonZeroLines[g][c] = count;
    }
}

// Dequantisation, stereo processing, alias reduction, equalizer and the filterbank-to-PCM routine.
void ProcessGranule(TMPDecoderState& state, int32_t g, uint8_t* output) {
    ReadGranuleChannels(state, g);
    for (int32_t c = 0; c < state.Channels; ++c) {
        Dequantise(state, g, c);
    }
    Layer3Stereo(state, g);
    for (int32_t c = 0; c < state.Channels; ++c) {
        AliasReduceChannel(state, g, c);
        if (state.LineEqActive) {
            ApplyLineGains(state, state.FloatLines(c, g), state.NonZeroLines[g][c]);
        }
    }
    state.ChannelRoutine(state, output, g);
}

int32_t StartFrame(TMPDecoderState& state, const uint8_t* frame, uint32_t acceptedSyncMask) {
    // A free-format frame has the stream's length, also after frames that stated a bit rate; the side
    // information replaces it for those.
    state.FrameLength = state.SetupFrameLength;
    state.FrameBytes = FrameBytesOf(state, frame, state.IsMpeg25 != 0);
    if (state.FrameBytes < 4) {
        return 0;
    }
    BitStart(state.Reader, frame, frame + state.FrameBytes);
    const uint32_t sync = BitRead(state.Reader, 12);
    if (sync != 0xFFF && (sync != 0xFFE || acceptedSyncMask != 0xFFE)) {
        return 0;
    }
    return static_cast<int32_t>(sync);
}

int32_t Layer3FrameMpeg1(TMPDecoderState& state, const uint8_t* frame, uint8_t* output) {
    state.IsMpeg25 = 0;
    if (StartFrame(state, frame, 0xFFF) == 0) {
        return 0;
    }
    const int32_t headerAndSide = ReadSideInfoMpeg1(state);
    state.FrameBytes = state.FrameLength + state.PaddingBit;
    if (!FillReservoir(state, frame, headerAndSide)) {
        return 0;
    }
    if (state.ReservoirStart < 0) {
        FillSilence(state, output);
        return state.FrameBytes;
    }
    state.ReservoirBitPos = state.ReservoirStart * 8;
    ProcessGranule(state, 0, output);
    ProcessGranule(state, 1, output + state.GranuleOutputOffset);
    return state.FrameBytes;
}

int32_t Layer3FrameLsf(TMPDecoderState& state, const uint8_t* frame, uint8_t* output) {
    state.IsMpeg25 = (frame[0] == 0xFF && (frame[1] & 0xF0) == 0xE0) ? 1 : 0;
    if (StartFrame(state, frame, 0xFFE) == 0) {
        return 0;
    }
    const int32_t g = state.GranuleSlot;
    const int32_t headerAndSide = ReadSideInfoLsf(state, g);
    state.FrameBytes = state.FrameLength + state.PaddingBit;
    if (!FillReservoir(state, frame, headerAndSide)) {
        return 0;
    }
    state.GranuleSlot ^= 1;
    if (state.ReservoirStart < 0) {
        FillSilence(state, output);
        return state.FrameBytes;
    }
    state.ReservoirBitPos = state.ReservoirStart * 8;
    ProcessGranule(state, g, output);
    return state.FrameBytes;
}

} // namespace

} // namespace tunelo
