// Reading the LAME extension of a Xing/Info frame.
#include <array>
#include <cctype>
#include <cstring>

#include "lame_tag.h"

namespace tunelo {

namespace {

constexpr int32_t kXingFlagFrames = 1;
constexpr int32_t kXingFlagBytes = 2;
constexpr int32_t kXingFlagToc = 4;
constexpr int32_t kXingFlagQuality = 8;
constexpr int32_t kXingTocSize = 100;

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001u : crc >> 1;
        }
        table[i] = static_cast<uint16_t>(crc);
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t BigEndian16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// A gain field: 3 bits name, 3 bits originator, a sign bit and nine bits of tenths of a dB.
TMPLameGain GainField(const uint8_t* p) {
    const uint16_t raw = BigEndian16(p);
    TMPLameGain gain;
    gain.Name = static_cast<uint8_t>(raw >> 13);
    gain.Originator = static_cast<uint8_t>((raw >> 10) & 7);
    const int32_t tenths = raw & 0x1FF;
    gain.TenthsDb = (raw & 0x200) != 0 ? -tenths : tenths;
    if (gain.Name == 0) {
        gain = TMPLameGain{};
    }
    return gain;
}

} // namespace

uint16_t LameCrc16(const uint8_t* bytes, size_t count, uint16_t crc) {
    for (size_t i = 0; i < count; ++i) {
        crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ bytes[i]) & 0xFF]);
    }
    return crc;
}

int32_t LameTagOffset(const uint8_t* frame, int32_t frameLength, int32_t xingOffset) {
    if (xingOffset < 0 || xingOffset + 8 > frameLength) {
        return -1;
    }
    const uint32_t flags = BigEndian32(frame + xingOffset + 4);
    int32_t offset = xingOffset + 8;
    offset += (flags & kXingFlagFrames) != 0 ? 4 : 0;
    offset += (flags & kXingFlagBytes) != 0 ? 4 : 0;
    offset += (flags & kXingFlagToc) != 0 ? kXingTocSize : 0;
    offset += (flags & kXingFlagQuality) != 0 ? 4 : 0;
    return offset + kLameTagSize <= frameLength ? offset : -1;
}

bool ReadLameTag(const uint8_t* frame, int32_t frameLength, int32_t xingOffset, TMPLameTag& tag) {
    tag = TMPLameTag{};
    const int32_t offset = LameTagOffset(frame, frameLength, xingOffset);
    if (offset < 0) {
        return false;
    }
    const uint8_t* p = frame + offset;
    // The CRC runs from the first byte of the frame, so a stray copy of the tag elsewhere cannot pass.
    const uint16_t stored = BigEndian16(p + kLameTagCrcOffset);
    if (LameCrc16(frame, static_cast<size_t>(offset + kLameTagCrcOffset)) != stored) {
        return false;
    }
    for (int i = 0; i < 9 && p[i] != 0; ++i) {
        tag.Encoder += std::isprint(p[i]) != 0 ? static_cast<char>(p[i]) : '?';
    }
    tag.Revision = static_cast<uint8_t>(p[9] >> 4);
    tag.VbrMethod = static_cast<uint8_t>(p[9] & 0x0F);
    tag.LowpassHz = p[10] * 100;
    // Stored as a fixed-point number with 23 fraction bits.
    tag.Peak = static_cast<double>(BigEndian32(p + 11)) / double(1u << 23);
    tag.TrackGain = GainField(p + 15);
    tag.AlbumGain = GainField(p + 17);
    tag.EncoderDelay = (p[21] << 4) | (p[22] >> 4);
    tag.EncoderPadding = ((p[22] & 0x0F) << 8) | p[23];
    tag.MusicLength = BigEndian32(p + 28);
    tag.MusicCrc = BigEndian16(p + 32);
    return true;
}

} // namespace tunelo
