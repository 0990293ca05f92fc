// The heard part of a stream from the encoder's delay and padding, and the iTunes form of those numbers.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "gapless.h"

namespace tunelo {

TMPHeardRange HeardRange(const TMPEncoderGap& gap, int64_t decodedSamples) {
    TMPHeardRange range;
    if (!gap.Known) {
        return range; // nothing is trimmed, whatever length the stream claims
    }
    if (decodedSamples != kUnknownSamples) {
        range.End = std::max<int64_t>(decodedSamples, 0);
    }
    range.Begin = std::min<int64_t>(int64_t{std::max(gap.Delay, 0)} + kDecoderDelay, range.End);
    if (decodedSamples != kUnknownSamples) {
        // Padding shorter than the decoder's delay cuts nothing at the end.
        const int64_t cut = std::max<int64_t>(int64_t{gap.Padding} - kDecoderDelay, 0);
        range.End = std::max(range.End - cut, range.Begin);
    }
    if (gap.Samples != kUnknownSamples && gap.Samples >= 0) {
        range.End = std::max(range.Begin, std::min(range.End, range.Begin + gap.Samples));
    }
    return range;
}

TMPFramePart HeardPartOfFrame(int64_t frameStart, int32_t frameSamples, int64_t from, int64_t end) {
    const int64_t first = std::max(frameStart, from);
    const int64_t last = std::min(frameStart + frameSamples, end);
    if (last <= first) {
        return {};
    }
    return {static_cast<int32_t>(first - frameStart), static_cast<int32_t>(last - first)};
}

namespace {

uint32_t BigEndian(const uint8_t* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | p[i];
    }
    return value;
}

uint32_t Syncsafe32(const uint8_t* p) {
    return (uint32_t{p[0] & 0x7Fu} << 21) | (uint32_t{p[1] & 0x7Fu} << 14) | (uint32_t{p[2] & 0x7Fu} << 7) |
           (p[3] & 0x7Fu);
}

// The ASCII characters of an ID3v2 text in any of its encodings (the numbers we look for are ASCII).
std::string AsciiOf(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F) {
            text += static_cast<char>(bytes[i]);
        }
    }
    return text;
}

// Length of the description at the start of a comment's body, terminator included.
size_t DescriptionLength(uint8_t encoding, const uint8_t* bytes, size_t count) {
    const bool wide = encoding == 1 || encoding == 2;
    for (size_t i = 0; i + (wide ? 1 : 0) < count; i += wide ? 2 : 1) {
        if (bytes[i] == 0 && (!wide || bytes[i + 1] == 0)) {
            return i + (wide ? 2 : 1);
        }
    }
    return count;
}

// A comment frame's body: encoding, language, description, text.
bool CommentGap(const uint8_t* body, size_t size, TMPEncoderGap& gap) {
    if (size < 5) {
        return false;
    }
    const uint8_t encoding = body[0];
    const uint8_t* rest = body + 4;
    const size_t restSize = size - 4;
    const size_t described = DescriptionLength(encoding, rest, restSize);
    if (AsciiOf(rest, described) != "iTunSMPB") {
        return false;
    }
    const std::string text = AsciiOf(rest + described, restSize - described);
    return ParseITunSmpb(text.data(), text.size(), gap);
}

} // namespace

bool ParseITunSmpb(const char* text, size_t length, TMPEncoderGap& gap) {
    uint64_t fields[4] = {};
    int count = 0;
    size_t i = 0;
    while (count < 4) {
        while (i < length && text[i] == ' ') {
            ++i;
        }
        size_t digits = 0;
        uint64_t value = 0;
        for (; i < length && std::isxdigit(static_cast<unsigned char>(text[i])) != 0; ++i, ++digits) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
            value = (value << 4) | static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        }
        if (digits == 0 || digits > 16) {
            return false;
        }
        fields[count++] = value;
    }
    // A delay or padding beyond a second of audio is no encoder's; a number like that is garbage.
    if (fields[1] > 0xFFFF || fields[2] > 0xFFFF || fields[3] > static_cast<uint64_t>(INT64_MAX)) {
        return false;
    }
    gap.Known = true;
    gap.Delay = static_cast<int32_t>(fields[1]);
    gap.Padding = static_cast<int32_t>(fields[2]);
    gap.Samples = fields[3] > 0 ? static_cast<int64_t>(fields[3]) : kUnknownSamples;
    return true;
}

bool FindITunSmpb(const uint8_t* tag, size_t size, TMPEncoderGap& gap) {
    if (size < 10 || std::memcmp(tag, "ID3", 3) != 0) {
        return false;
    }
    const uint8_t version = tag[3];
    if (version < 2 || version > 4 || (tag[5] & 0x80) != 0) {
        return false; // an unsynchronised tag would need undoing first; such tags are rare and left alone
    }
    const size_t end = std::min<size_t>(size, 10 + size_t{Syncsafe32(tag + 6)});
    size_t pos = 10;
    if (version >= 3 && (tag[5] & 0x40) != 0 && pos + 4 <= end) {
        // An extended header: version 3 counts its size without the size field, version 4 with it.
        const size_t extended = version == 3 ? BigEndian(tag + pos, 4) + 4 : Syncsafe32(tag + pos);
        pos += extended;
    }
    const size_t idSize = version == 2 ? 3 : 4;
    const size_t headerSize = version == 2 ? 6 : 10;
    while (pos + headerSize <= end && tag[pos] != 0) {
        const uint8_t* frame = tag + pos;
        const size_t frameSize = version == 2   ? BigEndian(frame + 3, 3)
                                 : version == 3 ? BigEndian(frame + 4, 4)
                                                : Syncsafe32(frame + 4);
        if (frameSize > end - pos - headerSize) {
            return false;
        }
        const bool comment = std::memcmp(frame, version == 2 ? "COM" : "COMM", idSize) == 0;
        // Compressed or encrypted frames (version 3 and 4 format flags) are not read.
        const bool plain = version == 2 || (frame[9] & (version == 3 ? 0xC0 : 0x0F)) == 0;
        if (comment && plain && CommentGap(frame + headerSize, frameSize, gap)) {
            return true;
        }
        pos += headerSize + frameSize;
    }
    return false;
}

} // namespace tunelo
