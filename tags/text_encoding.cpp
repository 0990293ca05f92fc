#include "text_encoding.h"

namespace tunelo {

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsContinuation(uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

constexpr uint32_t kReplacementCharacter = 0xFFFD;

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    const size_t size = bytes.size();
    size_t i = 0;
    while (i < size) {
        const uint8_t lead = static_cast<uint8_t>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        uint32_t code;
        uint32_t lowest;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
            lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            lowest = 0x10000;
        } else {
            return false;
        }
        if (size - i < length) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const uint8_t next = static_cast<uint8_t>(bytes[i + k]);
            if (!IsContinuation(next)) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string TextFromBytes(std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char c : bytes) {
        AppendUtf8(text, static_cast<uint8_t>(c));
    }
    return text;
}

std::string TextFromBytes(const uint8_t* bytes, size_t count) {
    return TextFromBytes(std::string_view(reinterpret_cast<const char*>(bytes), count));
}

namespace {

size_t WithoutTrailingBlanks(const uint8_t* bytes, size_t length) {
    while (length > 0 && bytes[length - 1] <= 0x20) {
        --length;
    }
    return length;
}

// UTF-8 text that filled its field was often cut inside its last character. When everything before that
// character is valid UTF-8 and holds at least one character beyond ASCII, the text is UTF-8 without the
// cut character; otherwise the length stays as it is (and a lone high byte at the end means Latin-1).
size_t WithoutCutCharacter(const uint8_t* bytes, size_t length) {
    for (size_t back = 1; back <= 3 && back <= length; ++back) {
        const uint8_t byte = bytes[length - back];
        if (!IsContinuation(byte)) {
            const size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            if (needed <= back) {
                return length;
            }
            const std::string_view prefix(reinterpret_cast<const char*>(bytes), length - back);
            bool beyondAscii = false;
            for (char c : prefix) {
                beyondAscii = beyondAscii || static_cast<uint8_t>(c) >= 0x80;
            }
            return beyondAscii && IsValidUtf8(prefix) ? WithoutTrailingBlanks(bytes, length - back) : length;
        }
    }
    return length;
}

} // namespace

std::string FixedText(const uint8_t* bytes, size_t count) {
    size_t length = 0;
    while (length < count && bytes[length] != 0) {
        ++length;
    }
    const bool full = length == count;
    length = WithoutTrailingBlanks(bytes, length);
    if (full && !IsValidUtf8(std::string_view(reinterpret_cast<const char*>(bytes), length))) {
        length = WithoutCutCharacter(bytes, length);
    }
    return TextFromBytes(bytes, length);
}

std::string TextFromUtf16(const uint8_t* bytes, size_t count, bool bigEndian) {
    size_t units = count / 2;
    size_t first = 0;
    if (units > 0) {
        if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
            bigEndian = false;
            first = 1;
        } else if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
            bigEndian = true;
            first = 1;
        }
    }
    auto unitAt = [&](size_t index) -> uint32_t {
        const uint8_t a = bytes[2 * index];
        const uint8_t b = bytes[2 * index + 1];
        return bigEndian ? (uint32_t{a} << 8) | b : (uint32_t{b} << 8) | a;
    };
    size_t end = first;
    while (end < units && unitAt(end) != 0) {
        ++end;
    }
    while (end > first && unitAt(end - 1) <= 0x20) {
        --end;
    }
    std::string text;
    text.reserve((end - first) * 3);
    for (size_t i = first; i < end; ++i) {
        const uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < end) {
            const uint32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(text, unit >= 0xD800 && unit <= 0xDFFF ? kReplacementCharacter : unit);
    }
    return text;
}

size_t CharacterCount(std::string_view utf8) {
    size_t count = 0;
    for (char c : utf8) {
        if (!IsContinuation(static_cast<uint8_t>(c))) {
            ++count;
        }
    }
    return count;
}

} // namespace tunelo
