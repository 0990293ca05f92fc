// Finding the first frame of a stream: a sync pattern counts only when the frame it announces is followed
// by a header of the same stream, so that a stray 0xFF 0xFx in a tag, in junk or in a damaged first frame
// is never taken for the start of the audio.
#include <cstring>

#include "MP3decdr.h"

namespace tunelo {

namespace {

bool IsSyncPair(const uint8_t* bytes) {
    return bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0;
}

int32_t PaddingSlot(const TMPHeader& header) {
    return header.PaddingBit ? (header.LayerCode == 3 ? 4 : 1) : 0;
}

// A tag that may close the audio data of a one-frame file.
bool IsEndTag(const uint8_t* bytes, int32_t available) {
    return available >= 3 && (std::memcmp(bytes, "TAG", 3) == 0 || std::memcmp(bytes, "APE", 3) == 0 ||
                              std::memcmp(bytes, "LYR", 3) == 0);
}

// The frame at next continues the stream of the frame at first: the frame check's comparison, and a header
// that announces a frame of its own.
bool ContinuesStream(const uint8_t* first, const uint8_t* next, int32_t available, int32_t freeLength) {
    if (!HeadersCompatible(first, next)) {
        return false;
    }
    TMPHeader header{};
    const int32_t length = ParseHeader(next, 0, header);
    if (length > 0) {
        return true;
    }
    // A free-format stream states no bit rate in any header; its length came from the first frame.
    return freeLength > 0 && header.SyncKind != 0 && header.BitrateIndex == 0 && available >= 4;
}

} // namespace

TMPFrameSearch FindConfirmedFrame(const uint8_t* block, int32_t length, bool endOfData,
                                  TMPConfirmedFrame& found) {
    for (int32_t i = 0; i + 1 < length; ++i) {
        if (!IsSyncPair(block + i)) {
            continue;
        }
        const int32_t remaining = length - i;
        if (remaining < 4) {
            found.Offset = i;
            return endOfData ? TMPFrameSearch::None : TMPFrameSearch::NeedMore;
        }
        TMPHeader header{};
        int32_t bitrate = 0;
        const int32_t frameLength = SearchWithBitrate(block + i, remaining, header, bitrate);
        if (frameLength <= 0 || header.LayerCode < 1 || header.LayerCode > 3) {
            // A free-format length is found only from the next headers, which may lie beyond the block.
            if (header.SyncKind != 0 && header.BitrateIndex == 0 && !endOfData &&
                remaining < kFreeFormatReach) {
                found.Offset = i;
                return TMPFrameSearch::NeedMore;
            }
            continue;
        }
        const int32_t freeLength = header.BitrateIndex == 0 ? frameLength : 0;
        const int32_t next = i + frameLength + PaddingSlot(header);
        // A one-frame stream: the frame ends where the data ends, or where a tag at the end begins.
        const bool lastFrame =
            endOfData && next <= length && (next == length || IsEndTag(block + next, length - next));
        if (!lastFrame) {
            if (next + 4 > length) {
                if (!endOfData) {
                    found.Offset = i;
                    return TMPFrameSearch::NeedMore;
                }
                continue;
            }
            if (!ContinuesStream(block + i, block + next, length - next, freeLength)) {
                continue;
            }
        }
        found.Offset = i;
        found.Length = frameLength;
        found.FrameBytes = frameLength + PaddingSlot(header);
        found.Bitrate = bitrate;
        found.Header = header;
        return TMPFrameSearch::Found;
    }
    found.Offset = length > 0 && block[length - 1] == 0xFF ? length - 1 : length;
    return TMPFrameSearch::None;
}

} // namespace tunelo
