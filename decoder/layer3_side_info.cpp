// Layer III side information. The frame decoder re-reads the header bits of every frame here rather
// than trusting the stream's first header, because bit rate, padding and stereo mode change per frame.
#include "layer3_side_info.h"

#include "bit_reader.h"
#include "standard_tables.h"

namespace tunelo {

namespace {

constexpr int32_t kLayer3Row = 2;
constexpr int32_t kSingleChannelMode = 3;
constexpr int32_t kJointStereoMode = 1;

// The header after the sync bits.
void ReadHeaderPart(TMPDecoderState& state) {
    TMPBitReader& r = state.Reader;
    state.VersionId = static_cast<int32_t>(BitRead(r, 1));
    BitRead(r, 2); // layer: the frame routine was chosen by it already
    const uint32_t protectionBit = BitRead(r, 1);
    const int32_t bitrateIndex = static_cast<int32_t>(BitRead(r, 4));
    state.SamplingIndex = static_cast<int32_t>(BitRead(r, 2));
    state.PaddingBit = static_cast<int32_t>(BitRead(r, 1));
    BitRead(r, 1); // private bit

    state.Mode = static_cast<int32_t>(BitRead(r, 2));
    const int32_t extension = static_cast<int32_t>(BitRead(r, 2));
    state.ModeExtension = state.Mode == kJointStereoMode ? extension : 0;
    state.MsStereo = state.ModeExtension >> 1;
    state.IntensityStereo = state.ModeExtension & 1;

    // Copyright, original and emphasis; with protection also the CRC word, which is not checked.
    if (protectionBit == 1) {
        BitRead(r, 4);
        state.CrcBytes = 0;
    } else {
        BitRead(r, 20);
        state.CrcBytes = 2;
    }

    if (bitrateIndex > 0) {
        const int32_t rate = kBitrateTable[kLayer3Row][state.VersionId][bitrateIndex];
        const int32_t f50 = kSamplingTable50[state.VersionId][state.SamplingIndex];
        // MPEG-2.5 shares the MPEG-2 sampling row at twice its real rates, hence the MPEG-1 factor.
        const int32_t factor = state.VersionId == 1 || state.IsMpeg25 != 0 ? 2880 : 1440;
        state.FrameLength = rate * factor / f50;
    }
}

// Sets Channels and StereoFlag; true for a single-channel frame.
bool SetChannels(TMPDecoderState& state) {
    const bool single = state.Mode == kSingleChannelMode;
    state.Channels = single ? 1 : 2;
    state.StereoFlag = single ? 0 : 1;
    return single;
}

int32_t ReadGlobalGain(TMPDecoderState& state) {
    const int32_t coded = static_cast<int32_t>(BitRead(state.Reader, 8));
    return coded + state.GlobalGainOffset - (state.MsStereo != 0 ? 2 : 0);
}

// The fields from window_switching_flag to region1_count; the caller sets the region counts of a
// switched window, which differ between the two forms.
void ReadBlockFields(TMPBitReader& r, TMPGranuleInfo& info) {
    info.WindowSwitchingFlag = static_cast<int32_t>(BitRead(r, 1));
    if (info.WindowSwitchingFlag != 0) {
        info.BlockType = static_cast<int32_t>(BitRead(r, 2));
        info.MixedBlockFlag = static_cast<int32_t>(BitRead(r, 1));
        info.TableSelect[0] = static_cast<int32_t>(BitRead(r, 5));
        info.TableSelect[1] = static_cast<int32_t>(BitRead(r, 5));
        for (int32_t& gain : info.SubblockGain) {
            gain = static_cast<int32_t>(BitRead(r, 3));
        }
    } else {
        info.BlockType = 0;
        info.MixedBlockFlag = 0;
        for (int32_t& table : info.TableSelect) {
            table = static_cast<int32_t>(BitRead(r, 5));
        }
        info.Region0Count = static_cast<int32_t>(BitRead(r, 4));
        info.Region1Count = static_cast<int32_t>(BitRead(r, 3));
    }
}

} // namespace

int32_t ReadSideInfoMpeg1(TMPDecoderState& state) {
    ReadHeaderPart(state);
    TMPBitReader& r = state.Reader;
    state.MainDataBegin = static_cast<int32_t>(BitRead(r, 9));
    const bool single = SetChannels(state);
    state.PrivateBits = static_cast<int32_t>(BitRead(r, single ? 5 : 3));
    const int32_t channels = state.Channels;
    for (int32_t c = 0; c < channels; ++c) {
        state.Scfsi[c] = static_cast<int32_t>(BitRead(r, 4));
    }
    for (int32_t g = 0; g < 2; ++g) {
        for (int32_t c = 0; c < channels; ++c) {
            TMPGranuleInfo& info = state.GranuleInfo[g][c];
            info.Part23Length = static_cast<int32_t>(BitRead(r, 12));
            info.BigValues = static_cast<int32_t>(BitRead(r, 9));
            info.GlobalGain = ReadGlobalGain(state);
            info.ScalefacCompress = static_cast<int32_t>(BitRead(r, 4));
            ReadBlockFields(r, info);
            if (info.WindowSwitchingFlag != 0) {
                // Region 2 starts at line 576: the third table is never needed.
                info.Region0Count = 7;
                info.Region1Count = 13;
            }
            info.Preflag = static_cast<int32_t>(BitRead(r, 1));
            info.ScalefacScale = static_cast<int32_t>(BitRead(r, 1));
            info.Count1TableSelect = static_cast<int32_t>(BitRead(r, 1));
        }
    }
    return single ? 21 : 36;
}

int32_t ReadSideInfoLsf(TMPDecoderState& state, int32_t granuleSlot) {
    ReadHeaderPart(state);
    TMPBitReader& r = state.Reader;
    const int32_t g = granuleSlot & 1;
    state.MainDataBegin = static_cast<int32_t>(BitRead(r, 8));
    const bool single = SetChannels(state);
    state.PrivateBits = static_cast<int32_t>(BitRead(r, single ? 1 : 2));
    state.Scfsi[0] = 0;
    state.Scfsi[1] = 0;
    const int32_t channels = state.Channels;
    for (int32_t c = 0; c < channels; ++c) {
        TMPGranuleInfo& info = state.GranuleInfo[g][c];
        info.Part23Length = static_cast<int32_t>(BitRead(r, 12));
        info.BigValues = static_cast<int32_t>(BitRead(r, 9));
        info.GlobalGain = ReadGlobalGain(state);
        info.ScalefacCompress = static_cast<int32_t>(BitRead(r, 9));
        ReadBlockFields(r, info);
        if (info.WindowSwitchingFlag != 0) {
            const bool shortBlocks = info.BlockType == 2;
            info.Region0Count = shortBlocks ? 5 : 7;
            info.Region1Count = shortBlocks ? 15 : 13;
        }
        // Set later from scalefac_compress by the scale-factor reader.
        info.Preflag = 0;
        info.ScalefacScale = static_cast<int32_t>(BitRead(r, 1));
        info.Count1TableSelect = static_cast<int32_t>(BitRead(r, 1));
    }
    return single ? 13 : 21;
}

} // namespace tunelo
