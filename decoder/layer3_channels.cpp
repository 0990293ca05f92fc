// Layer III channel routines: run the hybrid filterbank of one granule for the channels to be output
// and hand each result to the output routine. The other granule's buffer of a channel is its overlap
// store, so the two granule buffers take turns.
#include <algorithm>

#include "layer3_hybrid.h"

namespace tunelo {

namespace {

struct TLineCounts {
    int32_t Long;
    int32_t Total;
};

// NL and NT of a channel: a pure short block has no long part; a mixed block's long part ends with its
// last long band.
TLineCounts LineCounts(const TMPDecoderState& state, int32_t granule, int32_t channel) {
    const TMPGranuleInfo& info = state.GranuleInfo[granule][channel];
    const int32_t total = state.NonZeroLines[granule][channel];
    if (info.BlockType != 2) {
        return {total, total};
    }
    if (info.MixedBlockFlag == 0) {
        return {0, total};
    }
    return {state.SfbLongEnd[std::clamp(state.MixedLongBands - 1, 0, 21)], total};
}

// The block type as the filterbank takes it, with the mixed flag.
int32_t HybridBlockType(const TMPGranuleInfo& info) {
    return (info.BlockType & 3) | (info.MixedBlockFlag != 0 ? kHybridMixedBlock : 0);
}

TMPHybridProc HybridRoutine(const TMPDecoderState& state) {
    return state.Routines.Hybrid ? state.Routines.Hybrid : HybridGeneric;
}

// Filterbank of one channel into HybridOut; returns the output count.
int32_t RunHybrid(TMPDecoderState& state, int32_t granule, int32_t channel, bool limitLines) {
    TLineCounts counts = LineCounts(state, granule, channel);
    if (limitLines) {
        counts.Long = std::min(counts.Long, state.LineLimit);
        counts.Total = std::min(counts.Total, state.LineLimit);
    }
    return HybridRoutine(state)(state.Lines.Float[channel][granule], state.Lines.Float[channel][granule ^ 1],
                                state.HybridOut, HybridBlockType(state.GranuleInfo[granule][channel]),
                                counts.Long, counts.Total, state.NonZeroLines[granule ^ 1][channel],
                                state.SynthSubbands);
}

// The output count becomes the channel's NonZeroLines: the next granule's overlap reaches that far.
void TransformChannel(TMPDecoderState& state, int32_t granule, int32_t channel) {
    const int32_t count = RunHybrid(state, granule, channel, true);
    state.NonZeroLines[granule][channel] = count;
    InvertOddSubbands(state.HybridOut, count);
}

void Output(TMPDecoderState& state, uint8_t* output, int32_t outputChannel) {
    if (state.L3OutputRoutine) {
        state.L3OutputRoutine(state, reinterpret_cast<int16_t*>(output), outputChannel);
    }
}

void OutputOneChannel(TMPDecoderState& state, uint8_t* output, int32_t granule, int32_t channel) {
    TransformChannel(state, granule & 1, channel);
    Output(state, output, 0);
}

} // namespace

void ChannelSingle(TMPDecoderState& state, uint8_t* output, int32_t granule) {
    OutputOneChannel(state, output, granule, 0);
}

void ChannelStereo(TMPDecoderState& state, uint8_t* output, int32_t granule) {
    granule &= 1;
    const int32_t channels = state.Channels == 2 ? 2 : 1;
    for (int32_t c = 0; c < channels; ++c) {
        TransformChannel(state, granule, c);
        Output(state, output, c);
    }
}

void ChannelMixMono(TMPDecoderState& state, uint8_t* output, int32_t granule) {
    granule &= 1;
    // A single-channel frame in a two-channel stream has no second spectrum to mix in.
    if (state.Channels != 2) {
        OutputOneChannel(state, output, granule, 0);
        return;
    }
    const TMPGranuleInfo& first = state.GranuleInfo[granule][0];
    const TMPGranuleInfo& second = state.GranuleInfo[granule][1];
    float* firstLines = state.Lines.Float[0][granule];
    int32_t* counts = state.NonZeroLines[granule];
    if (first.BlockType == second.BlockType && first.MixedBlockFlag == 0 && second.MixedBlockFlag == 0) {
        // Equal windows: sum the spectra and run one filterbank.
        const int32_t n = std::min(std::max(counts[0], counts[1]), state.LineLimit);
        AddLines(firstLines, state.Lines.Float[1][granule], n);
        counts[0] = HybridRoutine(state)(firstLines, state.Lines.Float[0][granule ^ 1], state.HybridOut,
                                         first.BlockType & 3, first.BlockType == 2 ? 0 : n, n,
                                         state.NonZeroLines[granule ^ 1][0], state.SynthSubbands);
        InvertOddSubbands(state.HybridOut, counts[0]);
    } else {
        const int32_t firstCount = RunHybrid(state, granule, 0, false);
        const TLineCounts secondCounts = LineCounts(state, granule, 1);
        const int32_t secondCount =
            HybridMix(state.Routines, state.Lines.Float[1][granule], firstLines, state.HybridOut,
                      HybridBlockType(second), secondCounts.Long, secondCounts.Total);
        counts[1] = secondCount;
        // The first channel's overlap store now carries both channels' overlaps: the next granule must
        // take it up to the larger of the two counts.
        counts[0] = std::max(firstCount, secondCount);
        InvertOddSubbands(state.HybridOut, counts[0]);
    }
    Output(state, output, 0);
}

void ChannelFirstOnly(TMPDecoderState& state, uint8_t* output, int32_t granule) {
    OutputOneChannel(state, output, granule, 0);
}

void ChannelSecondOnly(TMPDecoderState& state, uint8_t* output, int32_t granule) {
    // A single-channel frame carries only the first channel; its stale second buffers hold no spectrum.
    OutputOneChannel(state, output, granule, state.Channels == 2 ? 1 : 0);
}

const TMPChannelRoutine kLayer3ChannelRoutines[5] = {ChannelSingle, ChannelStereo, ChannelMixMono,
                                                     ChannelFirstOnly, ChannelSecondOnly};

} // namespace tunelo
