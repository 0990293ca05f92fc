// The ID3 version 2 tag in front of the audio data. Version 2.3 frames are read; a tag of another
// version, or one whose frames are unsynchronised, is passed over whole.
#include <string>
#include <vector>

#include "MPInfo.h"
#include "tag_bytes.h"
#include "text_encoding.h"

namespace tunelo {

using namespace tagbytes;

namespace {

constexpr int32_t kHeaderSize = 10;
constexpr int32_t kFrameHeaderSize = 10;
constexpr uint8_t kFlagUnsynchronisation = 0x80;
constexpr uint8_t kFlagExtendedHeader = 0x40;
constexpr uint8_t kFlagFooter = 0x10; // version 2.4: a copy of the header follows the tag

constexpr uint8_t kEncodingUtf16 = 1;   // with byte-order mark
constexpr uint8_t kEncodingUtf16Be = 2; // without byte-order mark; version 2.4, but harmless to honour

bool IsUtf16(uint8_t encoding) {
    return encoding == kEncodingUtf16 || encoding == kEncodingUtf16Be;
}

std::string EncodedText(uint8_t encoding, const uint8_t* bytes, size_t count) {
    if (IsUtf16(encoding)) {
        return TextFromUtf16(bytes, count, encoding == kEncodingUtf16Be);
    }
    return FixedText(bytes, count);
}

// Length of the terminated string at the start of bytes, terminator included; count when there is no
// terminator.
size_t TerminatedLength(uint8_t encoding, const uint8_t* bytes, size_t count) {
    if (IsUtf16(encoding)) {
        for (size_t i = 0; i + 1 < count; i += 2) {
            if (bytes[i] == 0 && bytes[i + 1] == 0) {
                return i + 2;
            }
        }
        return count;
    }
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] == 0) {
            return i + 1;
        }
    }
    return count;
}

struct TFrameText {
    std::string Value;
    bool DescribedComment = false;
};

// The frame's value as one line of text. Text frames and the comment and user-link frames follow their
// encoding byte; the comment and user-link frames give the text after their description (and a comment
// its language code); link frames have no encoding byte; other frames give the bytes after the first.
TFrameText DecodeFrame(const std::string& id, const uint8_t* content, size_t size) {
    TFrameText text;
    if (!id.empty() && id[0] == 'W' && id != "WXXX") {
        text.Value = FixedText(content, size);
        return text;
    }
    if (size < 1) {
        return text;
    }
    const uint8_t encoding = content[0];
    const uint8_t* body = content + 1;
    size_t bodySize = size - 1;
    if (id == "COMM" || id == "WXXX") {
        if (id == "COMM") {
            constexpr size_t kLanguageSize = 3;
            if (bodySize < kLanguageSize) {
                return text;
            }
            body += kLanguageSize;
            bodySize -= kLanguageSize;
        }
        const size_t descriptionSize = TerminatedLength(encoding, body, bodySize);
        text.DescribedComment = id == "COMM" && !EncodedText(encoding, body, descriptionSize).empty();
        const uint8_t* rest = body + descriptionSize;
        const size_t restSize = bodySize - descriptionSize;
        // A link is always Latin-1, whatever the description's encoding.
        text.Value = id == "COMM" ? EncodedText(encoding, rest, restSize) : FixedText(rest, restSize);
        return text;
    }
    if (!id.empty() && id[0] == 'T') {
        text.Value = EncodedText(encoding, body, bodySize);
    } else {
        text.Value = FixedText(body, bodySize);
    }
    return text;
}

// The lines of one tag, kept until the whole tag has proved sound. A comment without description goes
// before comments with one (the players' private data, such as volume normalisation figures), so that
// the comment getter finds the one meant for people.
class TFrameLines {
public:
    void Add(std::string id, TFrameText text) {
        TMPInfoList::TEntry entry{std::move(id), std::move(text.Value)};
        if (entry.Name == "COMM") {
            if (text.DescribedComment) {
                if (FFirstDescribedComment == kNone) {
                    FFirstDescribedComment = FLines.size();
                }
            } else if (FFirstDescribedComment != kNone) {
                FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(FFirstDescribedComment),
                              std::move(entry));
                ++FFirstDescribedComment;
                return;
            }
        }
        FLines.push_back(std::move(entry));
    }

    void MoveTo(TMPInfoList& list) {
        for (TMPInfoList::TEntry& entry : FLines) {
            list.Add(std::move(entry.Name), std::move(entry.Value));
        }
        FLines.clear();
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    std::vector<TMPInfoList::TEntry> FLines;
    size_t FFirstDescribedComment = kNone;
};

bool AllZero(const uint8_t* bytes, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

// Reads the frames from the reader's position up to tagEnd; true when they fill the tag exactly (padding
// included).
bool ReadFrames(TMPStreamReader& reader, int64_t tagEnd, TFrameLines& lines) {
    for (;;) {
        const int64_t left = tagEnd - reader.Position();
        if (left < kFrameHeaderSize) {
            // Room for no further frame: the tag ends here, or in padding too short for a frame header.
            return left >= 0 && Need(reader, left) && AllZero(reader.Data(), left) && Skip(reader, left);
        }
        if (!Need(reader, kFrameHeaderSize)) {
            return false;
        }
        const int32_t frameSize = BigEndian32(reader.Data() + 4);
        if (frameSize <= 0) {
            // Padding: zero bytes up to the tag end.
            return Skip(reader, left);
        }
        const int64_t frameBytes = int64_t{frameSize} + kFrameHeaderSize;
        if (frameBytes > left) {
            return false;
        }
        // A frame that does not fit the reader's ring (a picture, say) is passed over unread.
        if (frameBytes <= reader.Capacity()) {
            if (!Need(reader, frameBytes)) {
                return false;
            }
            const uint8_t* frame = reader.Data();
            std::string id = FixedText(frame, 4);
            TFrameText text = DecodeFrame(id, frame + kFrameHeaderSize, static_cast<size_t>(frameSize));
            lines.Add(std::move(id), std::move(text));
        }
        if (!Skip(reader, frameBytes)) {
            return false;
        }
    }
}

} // namespace

bool TMP3Info::ReadID3V2() {
    TMPStreamReader& reader = *FReader;
    if (!Need(reader, kHeaderSize) || !HasId(reader.Data(), "ID3")) {
        return false;
    }
    const uint8_t* header = reader.Data();
    const uint8_t version = header[3];
    const uint8_t flags = header[5];
    // The size bytes are taken whole, high bits included.
    const int32_t size = (header[6] << 21) + (header[7] << 14) + (header[8] << 7) + header[9];
    if (size <= 0) {
        return false;
    }
    const int64_t tagStart = reader.Position();
    int64_t tagEnd = tagStart + kHeaderSize + size;
    if (version != 3 || (flags & kFlagUnsynchronisation) != 0) {
        if (version == 4 && (flags & kFlagFooter) != 0) {
            tagEnd += kHeaderSize;
        }
        // Passed over unread; a tag that claims more bytes than the source holds is no tag.
        if (!Skip(reader, tagEnd - tagStart)) {
            return false;
        }
    } else {
        int64_t framesStart = kHeaderSize;
        if ((flags & kFlagExtendedHeader) != 0) {
            if (!Need(reader, kHeaderSize + 4)) {
                return false;
            }
            const int32_t extendedSize = BigEndian32(reader.Data() + kHeaderSize);
            if (extendedSize < 0 || extendedSize > size) {
                return false;
            }
            framesStart += 4 + int64_t{extendedSize};
        }
        TFrameLines lines;
        if (!Skip(reader, framesStart) || !ReadFrames(reader, tagEnd, lines)) {
            return false;
        }
        lines.MoveTo(FID3V2Frames);
    }
    FDataStart = static_cast<int32_t>(tagEnd);
    ShortenDataLength(tagEnd - tagStart);
    FFoundInfoTypes.Include(mitID3V2);
    return true;
}

} // namespace tunelo
