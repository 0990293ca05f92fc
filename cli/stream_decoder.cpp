#include "stream_decoder.h"

#include <algorithm>
#include <cstring>

#include "MPLameTag.h"
#include "file_bytes.h"

namespace tunelo::cli {

namespace {

constexpr const char* kUnknownFormat = "unknown MPEG Audio format.";
constexpr int32_t kSyncWindow = 4096;
constexpr int32_t kMaxResync = 4096;

// Offset of a Xing or VBRI tag in the first frame: header plus Layer III side information, plus CRC.
int32_t InfoTagOffset(const TMPHeader& h) {
    const bool mono = h.Mode == 3;
    int32_t offset = h.VersionId == 1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    return h.ProtectionBit == 0 ? offset + 2 : offset;
}

bool IsInfoTag(const uint8_t* p) {
    return std::memcmp(p, "Xing", 4) == 0 || std::memcmp(p, "Info", 4) == 0 || std::memcmp(p, "VBRI", 4) == 0;
}

// Where the information tag stands in the first frame, -1 without one. lame leaves out the CRC word when
// it places the tag of a protected stream: look there too.
int32_t InfoTagAt(const uint8_t* frame, size_t available, const TMPHeader& h) {
    const size_t offset = static_cast<size_t>(InfoTagOffset(h));
    if (offset + 4 <= available && IsInfoTag(frame + offset)) {
        return static_cast<int32_t>(offset);
    }
    if (h.ProtectionBit == 0 && offset + 2 <= available && IsInfoTag(frame + offset - 2)) {
        return static_cast<int32_t>(offset - 2);
    }
    return -1;
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

} // namespace

TStreamDecoder::TStreamDecoder() : State_(new TMPDecoderState()) {}
TStreamDecoder::~TStreamDecoder() = default;

bool TStreamDecoder::Open(const uint8_t* data, size_t size, bool full, std::string& error) {
    Data_ = data;
    Size_ = size;
    Frames_ = 0;
    error = kUnknownFormat;
    Gap_ = TMPEncoderGap{};
    DecodedSamples_ = kUnknownSamples;
    Pos_ = LeadingId3v2Size(data, size);
    if (Pos_ > size) {
        Pos_ = 0; // a tag that claims more than the file holds is no tag to the player either
    }
    FindITunSmpb(data, Pos_, Gap_);
    if (Pos_ >= size) {
        return false;
    }
    const int32_t window = static_cast<int32_t>(std::min<size_t>(size - Pos_, kSyncWindow));
    TMPHeader header{};
    int32_t bitrate = 0;
    int32_t offset = 0;
    const int32_t length = SyncSearch(data + Pos_, window, header, bitrate, offset);
    if (length <= 0 || header.LayerCode < 1 || header.LayerCode > 3) {
        return false;
    }
    Pos_ += static_cast<size_t>(offset);
    if (Size_ - Pos_ < 4) {
        return false;
    }
    std::memcpy(First_, data + Pos_, 4);
    FreeFormatLength_ = header.BitrateIndex == 0 ? length : 0;
    if (DecoderSetup(*State_, header, length, 0, 0, full ? 0 : 24000) != 1) {
        return false;
    }
    GetOutputFormat(*State_, Format_);

    // An information frame carries no audio: skip it, as the player does. "Info" is the form lame
    // writes into constant-bit-rate files.
    const int32_t frameLength = length + (header.PaddingBit ? (header.LayerCode == 3 ? 4 : 1) : 0);
    if (size - Pos_ < static_cast<size_t>(frameLength)) {
        return false; // the player refuses a first frame that the end of the file cuts off, and so do we
    }
    const int32_t tagAt = InfoTagAt(data + Pos_, size - Pos_, header);
    if (tagAt >= 0) {
        ReadGap(data + Pos_, frameLength, tagAt);
        Pos_ += static_cast<size_t>(frameLength);
    }
    error.clear();
    return true;
}

void TStreamDecoder::ReadGap(const uint8_t* frame, int32_t frameLength, int32_t tagAt) {
    if (std::memcmp(frame + tagAt, "VBRI", 4) == 0) {
        return;
    }
    TMPLameTag lame;
    if (ReadLameTag(frame, frameLength, tagAt, lame)) {
        Gap_ = TMPEncoderGap{true, lame.EncoderDelay, lame.EncoderPadding, kUnknownSamples};
    }
    const bool counted = (frame[tagAt + 7] & 1) != 0 && tagAt + 12 <= frameLength;
    const int64_t frames = counted ? BigEndian32(frame + tagAt + 8) : 0;
    if (frames > 0 && Format_.Channels > 0) {
        DecodedSamples_ = frames * (Format_.SamplesPerFrame / Format_.Channels);
    }
}

// The frame length with padding at pos, or 0 when the bytes there are not a frame of this stream.
int32_t TStreamDecoder::CheckFrame(size_t pos, TMPHeader& header) const {
    const uint8_t* p = Data_ + pos;
    int32_t length = ParseHeader(p, 0, header);
    if (header.SyncKind != 0 && header.BitrateIndex == 0 && FreeFormatLength_ > 0 && header.LayerCode != 0) {
        length = FreeFormatLength_;
    }
    if (length <= 0 || header.LayerCode < 1 || header.LayerCode > 3 || !HeadersCompatible(First_, p)) {
        return 0;
    }
    return length + (header.PaddingBit ? (header.LayerCode == 3 ? 4 : 1) : 0);
}

int32_t TStreamDecoder::Next(uint8_t* pcm) {
    int32_t resync = 0;
    for (;;) {
        if (Size_ - Pos_ < 4) {
            return 0;
        }
        TMPHeader header{};
        const int32_t frameLength = CheckFrame(Pos_, header);
        if (frameLength <= 0) {
            if (++resync > kMaxResync) {
                return 0;
            }
            ++Pos_;
            continue;
        }
        if (Size_ - Pos_ < static_cast<size_t>(frameLength)) {
            return 0; // a frame cut off by the end of the data ends the stream
        }
        const TMPDecodeResult result = DecodeFrame(*State_, Data_ + Pos_, pcm);
        const int32_t bytes = Format_.SamplesPerFrame * Format_.BitsPerSample / 8;
        if (result.BytesConsumed < 1) {
            std::memset(pcm, 0, static_cast<size_t>(bytes)); // a refused frame plays as silence
        }
        Pos_ += static_cast<size_t>(frameLength);
        ++Frames_;
        return bytes;
    }
}

} // namespace tunelo::cli
