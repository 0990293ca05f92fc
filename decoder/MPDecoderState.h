// The decoder's working state. Each player owns one; the decoder routines take the state they work on.
#pragma once

#include <cstdint>

#include "MPCPUSpc.h"

namespace tunelo {

struct TMPDecoderState;

struct TMPOutputFormat {
    int32_t Channels;
    int32_t SamplesPerFrame; // over all output channels
    int32_t SampleRate;
    int32_t BitsPerSample;
};

struct TMPGranuleInfo {
    int32_t Part23Length;
    int32_t BigValues;
    int32_t GlobalGain; // as stored: coded + GlobalGainOffset, and 2 less in middle/side frames
    int32_t ScalefacCompress;
    int32_t WindowSwitchingFlag;
    int32_t BlockType;
    int32_t MixedBlockFlag;
    int32_t TableSelect[3];
    int32_t SubblockGain[3];
    int32_t Region0Count;
    int32_t Region1Count;
    int32_t Preflag;
    int32_t ScalefacScale;
    int32_t Count1TableSelect;
};

// Long bands at 0..22 (only 0..20 are read), short bands at 23 + 13 x window + band.
enum : int32_t { kScaleFactorCount = 62, kShortScaleFactorBase = 23 };

// MPEG-2/2.5 intensity-stereo limits, written for the second channel of an intensity-stereo frame.
struct TMPIntensityLimits {
    int32_t GroupBands[3];
    int32_t Slen[3];
    int32_t IntensityScale;
};

struct TMPBlockInfo {
    int32_t BlockKind; // 0 long bands only, 1 short bands present
    int32_t LastBand;
    int32_t FirstShortBand;
    int32_t LongBandCount;
    int32_t LastShortBand[3];
};

// The Layer III bit reader: most significant bit first, with an end mark. Limit is where the valid
// bytes stop: bytes fetched from there on read as 0, so no input makes the reader leave its buffer.
struct TMPBitReader {
    const uint8_t* Fetch;
    const uint8_t* Start;
    int32_t Held;
    uint32_t Accumulator;
    const uint8_t* End;
    const uint8_t* Limit;
};

// The Layer I/II bit reader.
struct TMPBitReader12 {
    const uint8_t* Fetch;
    int32_t Held;
    uint32_t Accumulator;
    const uint8_t* Limit;
};

using TMPFrameRoutine = int32_t (*)(TMPDecoderState& state, const uint8_t* frame, uint8_t* output);
using TMPChannelRoutine = void (*)(TMPDecoderState& state, uint8_t* output, int32_t granule);
using TMPLayer3OutputRoutine = void (*)(TMPDecoderState& state, int16_t* output, int32_t channel);
using TMPLayer12OutputRoutine = void (*)(TMPDecoderState& state, const float* samples, int16_t* output,
                                         int32_t slots);

enum : int32_t { kReservoirSize = 8192, kReservoirMoveThreshold = 6692 };

// Layer I/II values of the stream and of the current frame. The work runs over channel-subbands: in a
// two-channel stream the channels interleave per subband (0 left, 0 right, 1 left, ...), so counts
// and limits are doubled there; SubbandLimit holds the decoded channel-subband count.
struct TMPLayer12State {
    int32_t Layer;      // 1 or 2 after a successful set-up, 0 otherwise
    int32_t Total;      // channel-subbands coded in every frame
    int32_t Paired;     // 1 in a two-channel stream: channel-subbands come in pairs
    int32_t AllocTable; // Layer II: index into kLayer2AllocTables
    int32_t JointBound; // channel-subbands coded separately in the current frame
    int32_t SkipBits;   // sample bits at or above SubbandLimit, per slot (I) or granule of three (II)
    uint8_t Class[64];  // Layer I allocation value or Layer II quantisation class
    uint8_t ScfSelect[64];
    float Factor[3][64];               // scale factor x requantisation factor, per scale-factor part
    alignas(32) float Samples[36][64]; // one row of channel-subbands per time slot
};

struct TMPDecoderState {
    // Frame parameters.
    int32_t FrameLength;
    int32_t SetupFrameLength; // FrameLength as set up: the length of every free-format frame
    int32_t FrameBytes;
    int32_t PaddingBit;
    int32_t CrcBytes;
    int32_t VersionId;
    int32_t IsMpeg25;
    int32_t SamplingIndex;
    int32_t Channels;
    int32_t StereoFlag;
    int32_t MsStereo;
    int32_t IntensityStereo;
    int32_t MixedLongBands;
    int32_t Mode;
    int32_t ModeExtension;
    int32_t MainDataBegin;

    // Output geometry.
    int32_t OutputSamples;
    int32_t OutputBytes;
    int32_t GranuleOutputOffset;
    int32_t SilenceByte;
    int32_t OutputChannels;
    int32_t ChannelMode; // 0 as the stream, 1 mix, 2 left only, 3 right only
    int32_t SampleRate;

    // Limits.
    int32_t SubbandLimit;
    int32_t LineLimit;
    int32_t LongLineLimit;
    int32_t ShortLineLimit;
    int32_t SynthSubbands;
    int32_t GlobalGainOffset;

    // Bit reservoir.
    uint8_t Reservoir[kReservoirSize];
    int32_t ReservoirFill;
    int32_t ReservoirStart;
    int32_t ReservoirBitPos;
    int32_t GranuleSlot; // MPEG-2/2.5 toggle

    // Routine slots.
    TMPFrameRoutine FrameRoutine;
    TMPFrameRoutine L3FrameRoutine;
    TMPChannelRoutine ChannelRoutine;
    TMPLayer3OutputRoutine L3OutputRoutine;
    TMPLayer12OutputRoutine L12OutputRoutine;
    TMPRoutineTable Routines;

    // Bit readers.
    TMPBitReader Reader;
    TMPBitReader12 Reader12;

    // Side information and scale factors.
    int32_t Scfsi[2];
    int32_t PrivateBits;
    TMPGranuleInfo GranuleInfo[2][2];              // [granule][channel]
    int32_t ScaleFactors[2][2][kScaleFactorCount]; // [granule][channel]
    TMPIntensityLimits IntensityLimits;

    // Scale-factor bands of the stream.
    int32_t SfbLongEnd[22];
    int32_t SfbShortEnd3[13];
    int32_t SfbLongWidth[22];
    int32_t SfbShortWidth[13];

    // Spectrum: [channel][granule][576]; integers after Huffman decoding, floats after dequantisation.
    alignas(32) union {
        int32_t Int[2][2][576];
        float Float[2][2][576];
    } Lines;
    int32_t NonZeroLines[2][2];   // [granule][channel]
    TMPBlockInfo BlockInfo[2][2]; // [granule][channel]
    alignas(32) float ReorderBuffer[192 * 3];

    // Hybrid filterbank output, time slot major.
    alignas(32) float HybridOut[18][32];

    // Polyphase synthesis.
    alignas(32) float SynthBuffer[2][512];
    int32_t SynthPos[2];
    alignas(32) float DctScratch[2][32];

    // Non-zero: every slot enters the transform negated, so the samples come out with inverted polarity.
    // Set only through SetPolarity, under the owner's decoder lock.
    int32_t PolarityInverted;

    // Equalizer, written by the player from another thread: single 32-bit stores.
    int32_t SubbandEqActive;
    float SubbandGains[32];
    int32_t LineEqActive;
    float LineGains[576];

    TMPOutputFormat Format;

    // Layers I and II.
    TMPLayer12State L12;

    // Spectral lines of one channel and granule, in either reading.
    int32_t* IntLines(int32_t channel, int32_t granule) { return Lines.Int[channel][granule]; }
    float* FloatLines(int32_t channel, int32_t granule) { return Lines.Float[channel][granule]; }
};

} // namespace tunelo
