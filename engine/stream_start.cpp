#include <algorithm>
#include <cstring>

#include "errors.h"
#include "stream_start.h"

namespace tunelo {

namespace {

constexpr int32_t kRiffHeaderBytes = 12;
constexpr uint16_t kWaveFormatMpeg = 0x0050;
constexpr uint16_t kWaveFormatMpegLayer3 = 0x0055;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

[[noreturn]] void RaiseUnknownFormat() {
    throw EMPFormatError(kUnknownMpegAudioFormat);
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint32_t LittleEndian32(const uint8_t* p) {
    return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

// The format tag of a RIFF WAVE file's "fmt " chunk when it lies in the bytes at hand; 0 when the source
// is no RIFF WAVE file or the chunk is not found there. The reader is not moved.
uint16_t RiffWaveFormat(TMPStreamReader& reader) {
    if (!reader.NeedContiguous(kRiffHeaderBytes)) {
        return 0;
    }
    const uint8_t* p = reader.Data();
    if (std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) {
        return 0;
    }
    reader.FillTo(std::min(reader.Capacity(), 4096));
    reader.NeedContiguous(reader.Count());
    p = reader.Data();
    const int64_t end = reader.Linear();
    for (int64_t at = kRiffHeaderBytes; at + 8 <= end;) {
        const uint32_t size = LittleEndian32(p + at + 4);
        if (std::memcmp(p + at, "fmt ", 4) == 0) {
            if (at + 10 > end) {
                return 0;
            }
            const uint16_t tag = static_cast<uint16_t>(p[at + 8] | (p[at + 9] << 8));
            // An extensible header names its real format in the first two bytes of its sub-format GUID.
            if (tag == kWaveFormatExtensible && size >= 26 && at + 8 + 26 <= end) {
                return static_cast<uint16_t>(p[at + 8 + 24] | (p[at + 8 + 25] << 8));
            }
            return tag;
        }
        at += 8 + int64_t{size} + (size & 1);
    }
    return 0;
}

// Where a VBR information tag starts in the first frame: after the header, the Layer III side information
// and the CRC word.
int32_t InfoTagOffset(const TMPHeader& header) {
    const bool mono = header.Mode == 3;
    const int32_t offset = header.VersionId == 1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    return header.ProtectionBit == 0 ? offset + 2 : offset;
}

TMPInfoFrameKind InfoTagAt(const uint8_t* frame, int32_t frameBytes, int32_t offset) {
    if (offset < 0 || offset + 4 > frameBytes) {
        return TMPInfoFrameKind::None;
    }
    const uint8_t* tag = frame + offset;
    if (std::memcmp(tag, "Xing", 4) == 0) {
        return TMPInfoFrameKind::Xing;
    }
    // What lame writes into a constant-bit-rate file; its fields are those of "Xing".
    if (std::memcmp(tag, "Info", 4) == 0) {
        return TMPInfoFrameKind::Info;
    }
    if (std::memcmp(tag, "VBRI", 4) == 0) {
        return TMPInfoFrameKind::Vbri;
    }
    return TMPInfoFrameKind::None;
}

// A 32-bit field of the frame, 0 when it would lie beyond the frame or does not fit a count.
int32_t FieldAt(const uint8_t* frame, int32_t frameBytes, int32_t offset) {
    if (offset < 0 || offset + 4 > frameBytes) {
        return 0;
    }
    const uint32_t value = BigEndian32(frame + offset);
    return value > INT32_MAX ? 0 : static_cast<int32_t>(value);
}

// Searches from the reader's position up to the end of the audio data (dataEnd bytes ahead, or the end of
// the source) and leaves the reader at the confirmed frame.
TMPConfirmedFrame FindFirstFrame(TMPStreamReader& reader, int64_t dataEnd, int32_t& skipped) {
    skipped = 0;
    for (;;) {
        const int32_t wanted = static_cast<int32_t>(std::min<int64_t>(reader.Capacity(), dataEnd - skipped));
        const bool full = reader.FillTo(wanted);
        const int32_t window = std::min(reader.Count(), wanted);
        reader.NeedContiguous(window);
        // The data ends inside the window when the source ran dry or the tag reader's bound is reached.
        const bool endOfData = !full || window >= dataEnd - skipped;
        TMPConfirmedFrame found{};
        const TMPFrameSearch result = FindConfirmedFrame(reader.Data(), window, endOfData, found);
        if (result == TMPFrameSearch::Found) {
            if (int64_t{skipped} + found.Offset > kMaxLeadingJunk || !reader.Skip(found.Offset) ||
                !reader.NeedContiguous(found.FrameBytes)) {
                RaiseUnknownFormat();
            }
            skipped += found.Offset;
            return found;
        }
        if (result == TMPFrameSearch::None && endOfData) {
            RaiseUnknownFormat();
        }
        // A candidate that the window cuts off is looked at again from its own start; the ring holds the
        // largest frame many times over, so the search always moves on.
        const int32_t step = std::max(found.Offset, 1);
        if (int64_t{skipped} + step > kMaxLeadingJunk || !reader.Skip(step)) {
            RaiseUnknownFormat();
        }
        skipped += step;
    }
}

// An ID3v2 header that the tag reader did not take whose stated extent runs past the end of the source:
// the audio would begin beyond the end, so there is none (other decoders skip the stated extent too).
bool TagRunsPastTheEnd(TMPStreamReader& reader, const TMP3Info& info) {
    if (!reader.Seekable() || info.FoundInfoTypes().Has(mitID3V2) || !reader.NeedContiguous(10)) {
        return false;
    }
    const uint8_t* p = reader.Data();
    if (std::memcmp(p, "ID3", 3) != 0 || ((p[6] | p[7] | p[8] | p[9]) & 0x80) != 0) {
        return false;
    }
    const int64_t size = (int64_t{p[6]} << 21) | (int64_t{p[7]} << 14) | (int64_t{p[8]} << 7) | p[9];
    return int64_t{reader.Position()} + 10 + size > reader.Size();
}

} // namespace

TMPInfoFrame ReadInfoFrame(const uint8_t* frame, int32_t frameBytes, const TMPHeader& header) {
    TMPInfoFrame info;
    if (header.LayerCode != 1) {
        return info; // the tags live in the room of Layer III side information
    }
    int32_t offset = InfoTagOffset(header);
    info.Kind = InfoTagAt(frame, frameBytes, offset);
    // lame leaves the CRC word out of its count when it places the tag in a protected first frame.
    if (info.Kind == TMPInfoFrameKind::None && header.ProtectionBit == 0) {
        offset -= 2;
        info.Kind = InfoTagAt(frame, frameBytes, offset);
    }
    if (info.Kind != TMPInfoFrameKind::None) {
        info.TagOffset = offset;
    }
    if (info.Kind == TMPInfoFrameKind::Vbri) {
        info.Bytes = FieldAt(frame, frameBytes, offset + 10);
        info.Frames = FieldAt(frame, frameBytes, offset + 14);
    } else if (info.Kind != TMPInfoFrameKind::None) {
        const uint32_t flags = offset + 8 <= frameBytes ? BigEndian32(frame + offset + 4) : 0;
        int32_t next = offset + 8;
        if ((flags & 1) != 0) {
            info.Frames = FieldAt(frame, frameBytes, next);
            next += 4;
        }
        if ((flags & 2) != 0) {
            info.Bytes = FieldAt(frame, frameBytes, next);
        }
    }
    return info;
}

TMPStreamStart OpenAudioData(TMPStreamReader& reader, TMP3Info& info) {
    const uint16_t waveFormat = RiffWaveFormat(reader);
    if (waveFormat != 0 && waveFormat != kWaveFormatMpeg && waveFormat != kWaveFormatMpegLayer3) {
        RaiseUnknownFormat(); // PCM or another codec in a WAVE wrapper
    }
    info.Attach(&reader);
    info.ReadHead();
    if (reader.Seekable()) {
        info.ReadTail();
        reader.Seek(info.DataStart(), soFromBeginning);
    }
    if (TagRunsPastTheEnd(reader, info)) {
        RaiseUnknownFormat();
    }
    TMPStreamStart start;
    start.DataStart = info.DataStart();
    start.DataLength = info.DataLength();
    const bool lengthKnown = start.DataLength != TMP3Info::kUnknownLength;
    const int64_t dataEnd = lengthKnown ? start.DataLength : INT64_MAX;

    int32_t skipped = 0;
    const TMPConfirmedFrame found = FindFirstFrame(reader, dataEnd, skipped);
    start.DataStart += skipped;
    if (lengthKnown) {
        start.DataLength -= skipped;
    }
    std::memcpy(start.FirstHeader, reader.Data(), 4);
    start.Header = found.Header;
    start.Length = found.Length;
    start.FrameBytes = found.FrameBytes;
    start.Bitrate = found.Bitrate;
    start.FreeFormatLength = found.Header.BitrateIndex == 0 ? found.Length : 0;
    start.InfoFrame = ReadInfoFrame(reader.Data(), found.FrameBytes, found.Header);
    return start;
}

int32_t StreamFrameLength(const uint8_t* bytes, const TMPStreamStart& start, TMPHeader& header) {
    int32_t length = ParseHeader(bytes, 0, header);
    // A free-format stream states no bit rate: its frames all have the length found when it was opened.
    if (length == 0 && start.FreeFormatLength > 0 && header.SyncKind != 0 && header.BitrateIndex == 0) {
        length = start.FreeFormatLength;
    }
    if (length <= 0 || header.LayerCode < 1 || header.LayerCode > 3 ||
        !HeadersCompatible(start.FirstHeader, bytes)) {
        return 0;
    }
    return length + (header.PaddingBit ? (header.LayerCode == 3 ? 4 : 1) : 0);
}

int64_t CountAudioFrames(TMPStreamReader& reader, const TMPStreamStart& start, int64_t dataEnd,
                         const std::atomic<bool>& cancel, bool& variableRate) {
    constexpr int32_t kMaxSkipInARow = 4096;
    variableRate = false;
    int64_t frames = 0;
    int32_t skipped = 0;
    while (reader.Position() < dataEnd && reader.NeedContiguous(4)) {
        if ((frames & 1023) == 0 && cancel.load()) {
            return -1;
        }
        TMPHeader header{};
        const int32_t length = StreamFrameLength(reader.Data(), start, header);
        if (length > 0) {
            if (int64_t{reader.Position()} + length > dataEnd || !reader.Skip(length)) {
                break; // cut off by the end of the data
            }
            variableRate |= header.BitrateIndex != start.Header.BitrateIndex;
            ++frames;
            skipped = 0;
        } else if (++skipped > kMaxSkipInARow || !reader.Skip(1)) {
            break;
        }
    }
    return frames;
}

} // namespace tunelo
