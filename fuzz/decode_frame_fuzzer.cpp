// DecodeFrame on arbitrary frame bytes after a valid set-up, for every version, layer and channel mode.
//
// Input layout:
//   byte 0  bits 0-1 version (0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5, 3 MPEG-1), bits 2-3 layer code (0 = III),
//           bit 4 full bandwidth instead of the player's 24000 Hz, bits 5-6 output channel mode,
//           bit 7 both equalizers on
//   byte 1  bits 0-1 mode, bits 2-3 mode extension, bit 4 protection bit, bits 5-6 sampling index
//           (3 = 0), bit 7 inverted window polarity
//   byte 2  bits 0-3 bit-rate index (0 = free format), bits 4-7 with byte 3: free-format frame length
//   then frames: four header bytes, of which only the bits a player lets differ from the first frame
//   are taken (bit rate, padding, private, mode and the rest of byte 3, the protection bit), followed
//   by the frame body.
//
// Each frame is copied into a heap block of exactly the length the decoder may read (Layer III: the
// frame's own length; Layers I and II: the set-up length plus padding), so any read beyond it is seen
// by AddressSanitizer; the PCM block is exactly OutputBytes long for the same reason.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "MP3decdr.h"

namespace {

using namespace tunelo;

constexpr size_t kSelectorBytes = 4;
constexpr int32_t kMaxFrames = 48;
constexpr uint8_t kCompatibleMasks[4] = {0xFF, 0xFE, 0x0C, 0x00};

struct TSetup {
    uint8_t First[4];
    TMPHeader Header;
    int32_t Length;      // without padding
    int32_t PaddingSlot; // 4 for Layer I, else 1
    bool FreeFormat;
};

bool MakeSetup(const uint8_t* selector, TSetup& setup) {
    const int32_t version = selector[0] & 3;
    const int32_t layerCode = (selector[0] >> 2) & 3 ? (selector[0] >> 2) & 3 : 1;
    const int32_t mode = selector[1] & 3;
    const int32_t extension = (selector[1] >> 2) & 3;
    const int32_t protection = (selector[1] >> 4) & 1;
    const int32_t sampling = ((selector[1] >> 5) & 3) % 3;
    const int32_t bitrateIndex = selector[2] & 15;
    if (bitrateIndex == 15) {
        return false;
    }
    const bool mpeg1 = version == 0 || version == 3;
    const uint8_t syncLow = version == 2 ? 0xE0 : 0xF0;
    setup.First[0] = 0xFF;
    setup.First[1] = static_cast<uint8_t>(syncLow | (mpeg1 ? 8 : 0) | (layerCode << 1) | protection);
    setup.First[2] = static_cast<uint8_t>((bitrateIndex << 4) | (sampling << 2));
    setup.First[3] = static_cast<uint8_t>((mode << 6) | (extension << 4));
    setup.PaddingSlot = layerCode == 3 ? 4 : 1;
    setup.FreeFormat = bitrateIndex == 0;
    if (setup.FreeFormat) {
        // The header parser finds free-format lengths from 20 bytes (24 less padding) to below 2000.
        uint8_t fixed[4];
        std::memcpy(fixed, setup.First, 4);
        fixed[2] |= 0x10;
        if (ParseHeader(fixed, 4, setup.Header) <= 0) {
            return false;
        }
        setup.Header.BitrateIndex = 0;
        setup.Length = 20 + (((selector[2] >> 4) | (selector[3] << 4)) % 1980);
        return true;
    }
    setup.Length = ParseHeader(setup.First, 4, setup.Header);
    return setup.Length > 0;
}

// The length the player gives a frame with these header bytes (0: the player would not decode it),
// and the length the decoder reads from it.
void FrameLengths(const TSetup& setup, const uint8_t* header, int32_t& playerLength, int32_t& decoderLength) {
    TMPHeader h{};
    int32_t length = ParseHeader(header, 0, h);
    if (setup.FreeFormat && h.BitrateIndex == 0) {
        length = setup.Length;
    }
    playerLength = length > 0 ? length + h.PaddingBit * setup.PaddingSlot : 0;
    decoderLength =
        setup.Header.LayerCode == 1 ? playerLength : setup.Length + h.PaddingBit * setup.PaddingSlot;
}

void SetEqualizers(TMPDecoderState& state, bool on) {
    state.SubbandEqActive = on ? 1 : 0;
    state.LineEqActive = on ? 1 : 0;
    for (int32_t i = 0; i < 32; ++i) {
        state.SubbandGains[i] = on ? 0.25f + 0.125f * static_cast<float>(i % 8) : 1.0f;
    }
    for (int32_t i = 0; i < 576; ++i) {
        state.LineGains[i] = on ? 2.0f - static_cast<float>(i) / 576.0f : 1.0f;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSelectorBytes) {
        return 0;
    }
    TSetup setup{};
    if (!MakeSetup(data, setup)) {
        return 0;
    }
    auto state = std::make_unique<TMPDecoderState>();
    const int32_t frequencyLimit = (data[0] & 0x10) ? 0 : 24000;
    const uint8_t outputFlags = static_cast<uint8_t>((data[0] >> 5) & 3);
    SetPolarity(*state, (data[1] & 0x80) != 0);
    if (DecoderSetup(*state, setup.Header, setup.Length, 0, outputFlags, frequencyLimit) != 1) {
        return 0;
    }
    SetEqualizers(*state, (data[0] & 0x80) != 0);
    TMPOutputFormat format{};
    GetOutputFormat(*state, format);
    const size_t pcmBytes = static_cast<size_t>(format.SamplesPerFrame) * format.BitsPerSample / 8;
    if (pcmBytes != static_cast<size_t>(state->OutputBytes)) {
        std::abort(); // the player sizes its PCM block from the format
    }
    std::vector<uint8_t> pcm(pcmBytes);

    size_t pos = kSelectorBytes;
    for (int32_t n = 0; n < kMaxFrames && pos < size; ++n) {
        uint8_t header[4] = {};
        std::memcpy(header, data + pos, std::min<size_t>(4, size - pos));
        for (int32_t i = 0; i < 4; ++i) {
            header[i] = static_cast<uint8_t>((setup.First[i] & kCompatibleMasks[i]) |
                                             (header[i] & ~kCompatibleMasks[i]));
        }
        int32_t playerLength = 0;
        int32_t decoderLength = 0;
        FrameLengths(setup, header, playerLength, decoderLength);
        if (playerLength <= 0) {
            pos += 4; // the player skips what it cannot take for a frame
            continue;
        }
        // The last frame may run past the input: the rest reads as zeros.
        const size_t length = static_cast<size_t>(std::max(decoderLength, 4));
        std::unique_ptr<uint8_t[]> frame(new uint8_t[length]());
        std::memcpy(frame.get(), data + pos, std::min(length, size - pos));
        std::memcpy(frame.get(), header, 4);
        const TMPDecodeResult result = DecodeFrame(*state, frame.get(), pcm.data());
        if (result.BytesConsumed != 0 &&
            (result.BytesConsumed != decoderLength || result.PcmBytes != state->OutputBytes)) {
            // The frame driver's account of the frame disagrees with its header.
            std::fprintf(stderr, "frame %d: consumed %d of %d bytes, %d PCM bytes of %d\n", n,
                         result.BytesConsumed, decoderLength, result.PcmBytes, state->OutputBytes);
            std::abort();
        }
        pos += length;
    }
    return 0;
}
