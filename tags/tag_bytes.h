// Small helpers shared by the tag parsers: byte-order reads and reader requests that check every size
// before the reader sees it, so that a hostile size ends a structure instead of raising in the reader or
// overflowing 32-bit arithmetic.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "stream_reader.h"

namespace tunelo::tagbytes {

inline int32_t BigEndian32(const uint8_t* p) {
    return static_cast<int32_t>((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) |
                                uint32_t{p[3]});
}

inline int32_t LittleEndian32(const uint8_t* p) {
    return static_cast<int32_t>((uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) |
                                uint32_t{p[0]});
}

// RIFF chunks are padded to an even size.
inline int64_t EvenUp(int64_t n) {
    return n + (n & 1);
}

inline bool HasId(const uint8_t* p, const char* id) {
    return std::memcmp(p, id, std::strlen(id)) == 0;
}

// Makes n bytes contiguous at the reader's Data; false when n is negative, larger than the reader's ring
// or beyond the end of the source.
inline bool Need(TMPStreamReader& reader, int64_t n) {
    return n >= 0 && n <= reader.Capacity() && reader.NeedContiguous(static_cast<int32_t>(n));
}

// Consumes n bytes; false when n is negative or reaches beyond the end of the source.
inline bool Skip(TMPStreamReader& reader, int64_t n) {
    if (n < 0) {
        return false;
    }
    if (n <= INT32_MAX) {
        return reader.Skip(static_cast<int32_t>(n));
    }
    if (!reader.Seekable()) {
        for (; n > INT32_MAX; n -= INT32_MAX) {
            if (!reader.Skip(INT32_MAX)) {
                return false;
            }
        }
        return reader.Skip(static_cast<int32_t>(n));
    }
    const int64_t target = reader.Position() + n;
    if (target > reader.Size()) {
        reader.Seek(0, soFromEnd);
        return false;
    }
    return reader.Seek(target, soFromBeginning) == target;
}

// Repositions a seekable reader; false when the offset lies outside the source.
inline bool SeekTo(TMPStreamReader& reader, int64_t offset) {
    if (offset < 0 || offset > reader.Size()) {
        return false;
    }
    return reader.Seek(offset, soFromBeginning) == offset;
}

// Reads count bytes in pieces no larger than the reader's ring and consumes them; false when the source
// ends first.
inline bool ReadBytes(TMPStreamReader& reader, int64_t count, std::string& bytes) {
    bytes.clear();
    while (count > 0) {
        const int64_t piece = count < reader.Capacity() ? count : reader.Capacity();
        if (!Need(reader, piece)) {
            return false;
        }
        bytes.append(reinterpret_cast<const char*>(reader.Data()), static_cast<size_t>(piece));
        if (!Skip(reader, piece)) {
            return false;
        }
        count -= piece;
    }
    return true;
}

// Names in tags (frame descriptions, APE keys) compare without regard to ASCII case.
inline bool SameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// A count written as n ASCII digits; -1 when any of them is not a digit.
inline int32_t DecimalDigits(const uint8_t* p, int n) {
    int32_t value = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') {
            return -1;
        }
        value = value * 10 + (p[i] - '0');
    }
    return value;
}

} // namespace tunelo::tagbytes
