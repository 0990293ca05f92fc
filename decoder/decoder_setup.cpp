// Decoder set-up and the entry points the player calls: DecoderSetup, GetOutputFormat, DecodeFrame.
#include <algorithm>
#include <cstring>

#include "MP3decdr.h"
#include "frame_driver.h"
#include "layer12.h"
#include "standard_tables.h"

namespace tunelo {

int32_t SamplingFrequency(int32_t versionId, int32_t samplingIndex, bool mpeg25) {
    if (samplingIndex < 0 || samplingIndex > 2) {
        return 0;
    }
    const int32_t fs = kSamplingTable50[versionId ? 1 : 0][samplingIndex] * 50;
    return (mpeg25 && versionId == 0) ? fs / 2 : fs;
}

bool DecodesFullBand(int32_t frequencyLimit, int32_t fs) {
    // A limit at or above half the sampling rate asks for everything the stream holds: the cap below and
    // the last-band limit would only take away audio that is there.
    return frequencyLimit == 0 || static_cast<int64_t>(frequencyLimit) * 2 >= fs;
}

int32_t SubbandLimitFor(int32_t frequencyLimit, int32_t fs, int32_t downSampling) {
    if (DecodesFullBand(frequencyLimit, fs)) {
        return 32 >> downSampling;
    }
    frequencyLimit = std::max(frequencyLimit, 1000);
    int32_t limit = static_cast<int32_t>((static_cast<int64_t>(frequencyLimit) * 64 + fs / 2) / fs);
    int32_t cap = 32 >> downSampling;
    if (cap > 8) {
        cap -= 1;
    }
    return std::min(limit, cap);
}

int32_t DecoderSetup(TMPDecoderState& state, const TMPHeader& header, int32_t frameLength,
                     int32_t downSampling, uint8_t outputFlags, int32_t frequencyLimit) {
    downSampling = std::clamp(downSampling, 0, 2);
    // Reduced rates and 8-bit output have no synthesis members: refuse rather than produce wrong PCM.
    if (downSampling != 0 || (outputFlags & 0x08) != 0) {
        return 0;
    }
    if (header.SamplingIndex < 0 || header.SamplingIndex > 2 || header.SyncKind < 1 || header.SyncKind > 2) {
        return 0;
    }
    if (state.Routines.AliasReduce == nullptr) {
        SelectRoutines(state.Routines, DetectCapabilities());
    }
    state.ChannelMode = outputFlags & 0x03;
    state.FrameLength = frameLength;
    state.SetupFrameLength = frameLength;
    state.VersionId = header.VersionId ? 1 : 0;
    state.SamplingIndex = header.SamplingIndex;
    state.IsMpeg25 = (header.SyncKind == 2 && header.VersionId == 0) ? 1 : 0;
    state.Mode = header.Mode;
    state.Channels = header.Mode == 3 ? 1 : 2;
    state.SampleRate = SamplingFrequency(state.VersionId, header.SamplingIndex, state.IsMpeg25 != 0);
    if (frequencyLimit < 0) {
        frequencyLimit = 1000;
    }
    switch (header.LayerCode) {
    case 1: {
        state.FrameRoutine = Layer3Dispatch;
        const int32_t row = state.VersionId == 1 ? 1 : (state.IsMpeg25 ? 2 : 0);
        return Layer3Setup(state, row, downSampling, frequencyLimit);
    }
    case 2:
        state.FrameRoutine = Layer2Frame;
        return Layer2Setup(state, header, downSampling, frequencyLimit);
    case 3:
        state.FrameRoutine = Layer1Frame;
        return Layer1Setup(state, header, downSampling, frequencyLimit);
    default:
        return 0;
    }
}

void GetOutputFormat(const TMPDecoderState& state, TMPOutputFormat& format) {
    format = state.Format;
}

TMPDecodeResult DecodeFrame(TMPDecoderState& state, const uint8_t* frame, uint8_t* output) {
    if (state.FrameRoutine == nullptr) {
        return {0, 0};
    }
    const int32_t consumed = state.FrameRoutine(state, frame, output);
    if (consumed <= 0) {
        return {0, 0};
    }
    return {consumed, state.OutputBytes};
}

} // namespace tunelo
