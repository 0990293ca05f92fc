// Layer I and Layer II: set-up of a stream and decoding of one frame into subband samples and PCM.
#pragma once

#include <cstdint>

#include "MP3decdr.h"
#include "decoder_state.h"

namespace tunelo {

// Set-ups, called by DecoderSetup after it stored ChannelMode and FrameLength (and the stream's
// version, rate and mode): 1 when the stream can be decoded, 0 when it is refused.
int32_t Layer1Setup(TMPDecoderState& state, const TMPHeader& header, int32_t downSampling,
                    int32_t frequencyLimit);
int32_t Layer2Setup(TMPDecoderState& state, const TMPHeader& header, int32_t downSampling,
                    int32_t frequencyLimit);

// Frame routines: decode the frame at frame into OutputBytes of PCM at output and return the bytes
// the frame occupies (set-up FrameLength plus padding), or 0 when the frame is refused (nothing is
// written then). Nothing beyond the frame's set-up length plus padding is read, nor beyond the frame's
// own length by its own bit rate.
int32_t Layer1Frame(TMPDecoderState& state, const uint8_t* frame, uint8_t* output);
int32_t Layer2Frame(TMPDecoderState& state, const uint8_t* frame, uint8_t* output);

// --- Shared between the two layers (and open to tests) ---

// Quantisation classes of Layer II: 0 = no allocation, 1..17 = 3 .. 65535 levels.
enum : int32_t { kLayer2ClassCount = 18 };

struct TLayer2Class {
    int32_t Grouped;     // 1: three samples share one code (3, 5 and 9 levels)
    int32_t CodeBits;    // bits of one code (of the whole group when grouped)
    int32_t TripleBits;  // bits of three samples
    int32_t Offset;      // subtracted from an ungrouped code
    float Requantise;    // 2 / levels
    const int8_t* Table; // grouped: three values per code
};

struct TLayer12Tables {
    float ScaleMultiplier[64]; // 65536 x 2^(-i/3): the scale factor on a 16-bit PCM scale
    float Layer1Requantise[16];
    int32_t Layer1Offset[16];
    int32_t Layer1Bits[16]; // bits per sample; the forbidden value 15 counts 16
    TLayer2Class Layer2[kLayer2ClassCount];
    int8_t Degroup3[32][3];
    int8_t Degroup5[128][3];
    int8_t Degroup9[1024][3];
};

// Built on first use; safe to reach from several threads.
const TLayer12Tables& Layer12Tables();

// The Layer II allocation table of a header (kAllocB2a .. kAllocB1), or -1 when the bit rate and mode
// have none (or the header is no MPEG-1/MPEG-2 Layer II header with a valid rate).
int32_t Layer2AllocTableFor(const TMPHeader& header);

// Channel-subbands coded separately in a frame with this mode and mode extension.
int32_t Layer12JointBound(const TMPLayer12State& layer, int32_t mode, int32_t modeExtension);

// The part of the set-up both layers share: limits, output geometry and routine, sample buffer and
// synthesis reset. subbands is the number of subbands each frame codes per channel.
int32_t Layer12CommonSetup(TMPDecoderState& state, const TMPHeader& header, int32_t downSampling,
                           int32_t frequencyLimit, int32_t layer, int32_t subbands);

// Reads the frame header up to the CRC: checks the sync, sets the reader's limit to the frame's
// end, and stores the padding bit and the joint bound. Returns the frame's length, 0 to refuse it.
int32_t Layer12StartFrame(TMPDecoderState& state, const uint8_t* frame, int32_t paddingBytes);

} // namespace tunelo
