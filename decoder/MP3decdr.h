// The MPEG audio decoder's face to the player: frame headers, synchronisation and frame decoding.
#pragma once

#include <cstdint>

#include "MPDecoderState.h"

namespace tunelo {

// One parsed frame header: the raw bit fields, untranslated.
struct TMPHeader {
    int32_t SyncKind;      // 0 none, 1 = sync 0xFFF, 2 = sync 0xFFE (MPEG-2.5)
    int32_t VersionId;     // 1 MPEG-1, 0 MPEG-2 / 2.5
    int32_t LayerCode;     // 3 = I, 2 = II, 1 = III, 0 reserved
    int32_t ProtectionBit; // 0 = CRC follows
    int32_t BitrateIndex;
    int32_t SamplingIndex;
    int32_t PaddingBit;
    int32_t PrivateBit;
    int32_t Mode;
    int32_t ModeExtension;
    int32_t CopyrightBit;
    int32_t OriginalBit;
    int32_t Emphasis;
};

// Header parser: frame length in bytes without padding, 0 when the bytes are no usable header
// (negative for the reserved sampling index). available matters only for free format.
int32_t ParseHeader(const uint8_t* bytes, int32_t available, TMPHeader& header);

// Search with bit rate: as ParseHeader, and stores the bit rate in bit/s (0 on failure).
int32_t SearchWithBitrate(const uint8_t* bytes, int32_t available, TMPHeader& header, int32_t& bitrate);

// Synchronising search: runs SearchWithBitrate at the first sync pattern of the block and stores its
// offset; 0 when the block holds no sync pattern (offset untouched then).
int32_t SyncSearch(const uint8_t* block, int32_t length, TMPHeader& header, int32_t& bitrate,
                   int32_t& offset);

// Whether a later frame's first four bytes belong to the stream of the first frame.
bool HeadersCompatible(const uint8_t* first, const uint8_t* frame);

struct TMPDecodeResult {
    int32_t BytesConsumed;
    int32_t PcmBytes;
};

// Prepares the state for a stream; 1 when ready, 0 when the stream is refused.
int32_t DecoderSetup(TMPDecoderState& state, const TMPHeader& header, int32_t frameLength,
                     int32_t downSampling, uint8_t outputFlags, int32_t frequencyLimit);
void GetOutputFormat(const TMPDecoderState& state, TMPOutputFormat& format);
// The whole frame must be readable at frame; output must hold OutputBytes bytes.
TMPDecodeResult DecodeFrame(TMPDecoderState& state, const uint8_t* frame, uint8_t* output);

// Polarity of one decoder state's output. Switching negates the synthesis rings as well, so the samples
// after the switch are those of a stream decoded inverted from its start.
void SetPolarity(TMPDecoderState& state, bool inverted);
bool GetPolarity(const TMPDecoderState& state);

} // namespace tunelo
