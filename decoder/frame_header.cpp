// Frame headers: splitting the four header bytes into their fields, the frame length and bit rate they
// imply, the free-format length search, and finding the first frame in a block of bytes.
#include <cstdint>

#include "MP3decdr.h"
#include "standard_tables.h"

namespace tunelo {

namespace {

// More bytes than this never help the free-format search, which gives up at 2000 anyway.
constexpr int32_t kAvailableCap = 10000;
// The free-format search looks for the next header from here on, and starts no new look from here on.
constexpr int32_t kFreeFormatFirstCandidate = 24;
constexpr int32_t kFreeFormatCandidateEnd = 2000;
constexpr int32_t kReservedSamplingIndex = 3;

bool IsSyncPair(uint8_t first, uint8_t second) {
    return first == 0xFF && (second & 0xE0) == 0xE0;
}

// Row of the bit-rate table: Layer I, II, III = 0, 1, 2.
int32_t LayerRow(const TMPHeader& header) {
    return 3 - header.LayerCode;
}

int32_t SamplingF50(const TMPHeader& header) {
    return kSamplingTable50[header.VersionId][header.SamplingIndex];
}

bool IsLayer3Mpeg25(const TMPHeader& header) {
    return header.LayerCode == 1 && header.VersionId == 0 && header.SyncKind == 2;
}

bool IsLayer3Mpeg2(const TMPHeader& header) {
    return header.LayerCode == 1 && header.VersionId == 0 && header.SyncKind != 2;
}

bool SameFirstTwoBytes(const uint8_t* bytes, int32_t position) {
    return bytes[position] == bytes[0] && bytes[position + 1] == bytes[1];
}

// Counts the predicted frame boundaries inside the window that carry the first header's two bytes;
// -1 as soon as one does not.
int32_t ChainMatches(const uint8_t* bytes, int32_t windowEnd, int32_t length, int32_t slot) {
    int32_t matches = 0;
    int32_t position = 0;
    for (;;) {
        const int32_t padding = (bytes[position + 2] >> 1) & 1;
        position += length + slot * padding;
        if (position > windowEnd) {
            return matches;
        }
        if (!SameFirstTwoBytes(bytes, position)) {
            return -1;
        }
        ++matches;
    }
}

// Free-format streams state no bit rate, so the length is found from where the next header lies. Only
// the first n bytes are looked at; the window ends three bytes earlier so that a header's third byte
// (its padding bit) is still inside.
int32_t FreeFormatLength(const uint8_t* bytes, int32_t n, const TMPHeader& header) {
    const int32_t slot = header.LayerCode == 3 ? 4 : 1;
    const int32_t firstPadding = header.PaddingBit;
    const int32_t windowEnd = n - 3;
    int32_t from = kFreeFormatFirstCandidate;
    while (from < kFreeFormatCandidateEnd) {
        int32_t next = from;
        while (next < windowEnd && !SameFirstTwoBytes(bytes, next)) {
            ++next;
        }
        if (next >= windowEnd) {
            return 0;
        }
        const int32_t length = next - slot * firstPadding;
        if (length <= 0) {
            return 0;
        }
        if (ChainMatches(bytes, windowEnd, length, slot) >= 1) {
            return length;
        }
        from = next + 1;
    }
    return 0;
}

int32_t FixedRateLength(const TMPHeader& header) {
    const int32_t rate = kBitrateTable[LayerRow(header)][header.VersionId][header.BitrateIndex];
    const int32_t f50 = SamplingF50(header);
    if (header.LayerCode == 3) {
        return 4 * (240 * rate / f50);
    }
    if (IsLayer3Mpeg2(header)) {
        return 1440 * rate / f50;
    }
    return 2880 * rate / f50;
}

int32_t FreeFormatBitrate(const TMPHeader& header, int32_t length) {
    const int64_t scaled = int64_t{length} * SamplingF50(header);
    if (header.LayerCode == 3) {
        return static_cast<int32_t>(scaled * 1000 / 960);
    }
    if (IsLayer3Mpeg2(header)) {
        return static_cast<int32_t>(scaled * 1000 / 1440);
    }
    if (IsLayer3Mpeg25(header)) {
        return static_cast<int32_t>(scaled * 500 / 1440);
    }
    return static_cast<int32_t>(scaled * 1000 / 2880);
}

} // namespace

int32_t ParseHeader(const uint8_t* bytes, int32_t available, TMPHeader& header) {
    const int32_t n = available > kAvailableCap ? kAvailableCap : available;
    header.SyncKind = 0;
    int32_t syncKind = 0;
    if (bytes[0] == 0xFF && (bytes[1] & 0xF0) == 0xF0) {
        syncKind = 1;
    } else if (bytes[0] == 0xFF && (bytes[1] & 0xF0) == 0xE0) {
        syncKind = 2;
    } else {
        return 0;
    }
    header.SyncKind = syncKind;
    header.VersionId = (bytes[1] >> 3) & 1;
    header.LayerCode = (bytes[1] >> 1) & 3;
    header.ProtectionBit = bytes[1] & 1;
    header.BitrateIndex = bytes[2] >> 4;
    header.SamplingIndex = (bytes[2] >> 2) & 3;
    header.PaddingBit = (bytes[2] >> 1) & 1;
    header.PrivateBit = bytes[2] & 1;
    header.Mode = bytes[3] >> 6;
    header.ModeExtension = (bytes[3] >> 4) & 3;
    header.CopyrightBit = (bytes[3] >> 3) & 1;
    header.OriginalBit = (bytes[3] >> 2) & 1;
    header.Emphasis = bytes[3] & 3;

    if (header.LayerCode == 0) {
        return 0;
    }
    if (header.BitrateIndex == 0) {
        // A reserved sampling frequency has no bit rate to derive, however regular the frames look.
        if (header.SamplingIndex == kReservedSamplingIndex) {
            return 0;
        }
        return FreeFormatLength(bytes, n, header);
    }
    return FixedRateLength(header);
}

int32_t SearchWithBitrate(const uint8_t* bytes, int32_t available, TMPHeader& header, int32_t& bitrate) {
    bitrate = 0;
    const int32_t length = ParseHeader(bytes, available, header);
    if (length == 0) {
        return 0;
    }
    if (header.BitrateIndex > 0) {
        bitrate = kBitrateTable[LayerRow(header)][header.VersionId][header.BitrateIndex] * 1000;
    } else {
        bitrate = FreeFormatBitrate(header, length);
    }
    return length;
}

int32_t SyncSearch(const uint8_t* block, int32_t length, TMPHeader& header, int32_t& bitrate,
                   int32_t& offset) {
    for (int32_t i = 0; i + 1 < length; ++i) {
        if (!IsSyncPair(block[i], block[i + 1])) {
            continue;
        }
        offset = i;
        const int32_t remaining = length - i;
        if (remaining < 4) {
            // The header is cut off by the end of the block: nothing to parse without reading past it.
            header.SyncKind = 0;
            bitrate = 0;
            return 0;
        }
        return SearchWithBitrate(block + i, remaining, header, bitrate);
    }
    return 0;
}

bool HeadersCompatible(const uint8_t* first, const uint8_t* frame) {
    static constexpr uint8_t kMasks[4] = {0xFF, 0xFE, 0x0C, 0x00};
    for (int32_t i = 0; i < 4; ++i) {
        if ((first[i] & kMasks[i]) != (frame[i] & kMasks[i])) {
            return false;
        }
    }
    return true;
}

} // namespace tunelo
