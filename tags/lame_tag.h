// The LAME extension of a Xing/Info frame: the encoder's delay and padding (what a gapless player trims),
// the ReplayGain fields and the peak amplitude. lame writes a CRC-16 over the frame up to the tag's own CRC
// field; a tag whose CRC does not match is taken as absent, since its numbers cannot be trusted.
#pragma once

#include <cstdint>
#include <string>

namespace tunelo {

// One ReplayGain field of the tag: a name code (1 radio/track, 2 audiophile/album), who set it, and the
// adjustment in tenths of a dB.
struct TMPLameGain {
    uint8_t Name = 0;       // 0: not set
    uint8_t Originator = 0; // 1 artist, 2 user, 3 automatic
    int32_t TenthsDb = 0;
    bool Present() const { return Name != 0; }
};

struct TMPLameTag {
    std::string Encoder; // the nine bytes of the version string, e.g. "LAME3.100"
    uint8_t Revision = 0;
    uint8_t VbrMethod = 0;
    int32_t LowpassHz = 0;
    // Peak amplitude relative to full scale (1.0); 0 when the encoder did not measure it.
    double Peak = 0;
    TMPLameGain TrackGain;
    TMPLameGain AlbumGain;
    // Samples per channel the encoder added before the music, and after it to fill the last frame.
    int32_t EncoderDelay = 0;
    int32_t EncoderPadding = 0;
    uint32_t MusicLength = 0; // bytes from the information frame to the end of the audio, 0 unknown
    uint16_t MusicCrc = 0;
};

// The bytes of the LAME extension that the tag's CRC covers, counted from its start (the CRC follows).
constexpr int32_t kLameTagCrcOffset = 34;
constexpr int32_t kLameTagSize = 36;

// CRC-16 as lame computes it (polynomial 0x8005, bits reflected, starting at 0).
uint16_t LameCrc16(const uint8_t* bytes, size_t count, uint16_t crc = 0);

// Where the LAME extension starts in a frame whose Xing/Info tag is at xingOffset: after the fields the
// Xing flags announce. -1 when the frame is too short for the tag.
int32_t LameTagOffset(const uint8_t* frame, int32_t frameLength, int32_t xingOffset);

// Reads the LAME extension of the information frame (frame: its first byte; xingOffset: where "Xing" or
// "Info" stands). false when there is none, or when its CRC does not match the frame's bytes.
bool ReadLameTag(const uint8_t* frame, int32_t frameLength, int32_t xingOffset, TMPLameTag& tag);

} // namespace tunelo
