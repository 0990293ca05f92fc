// Builds the bytes of tagged files for the tag reader's tests: ID3v2/v1 tags, Lyrics3 blocks, RIFF
// wrappers and MacBinary headers, written the way the published formats lay them out, plus a scan helper
// that runs the reader over them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file_stream.h"
#include "mp3_info.h"
#include "stream_reader.h"

namespace tagtest {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

inline Bytes Zeros(size_t n) {
    return Bytes(n, 0);
}

inline Bytes BigEndian(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

inline Bytes LittleEndian(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// Stand-in audio: frame-header-like bytes that spell none of the tags' marks.
inline Bytes Audio(size_t n) {
    Bytes audio(n);
    for (size_t i = 0; i < n; ++i) {
        audio[i] = i % 417 == 0 ? 0xFF : static_cast<uint8_t>(0x80 + (i * 7) % 61);
    }
    return audio;
}

// UTF-16 code units of UTF-8 text (ASCII, Latin-1 range and one surrogate pair are enough here).
inline std::vector<uint16_t> Utf16Units(std::u16string_view text) {
    return std::vector<uint16_t>(text.begin(), text.end());
}

inline Bytes Utf16(std::u16string_view text, bool bigEndian, bool withBom, bool terminated = false) {
    Bytes bytes;
    auto put = [&](uint16_t unit) {
        if (bigEndian) {
            bytes.push_back(uint8_t(unit >> 8));
            bytes.push_back(uint8_t(unit));
        } else {
            bytes.push_back(uint8_t(unit));
            bytes.push_back(uint8_t(unit >> 8));
        }
    };
    if (withBom) {
        put(0xFEFF);
    }
    for (uint16_t unit : Utf16Units(text)) {
        put(unit);
    }
    if (terminated) {
        put(0);
    }
    return bytes;
}

// One ID3v2.3 frame: identifier, 32-bit size, two flag bytes, content.
inline Bytes Frame(std::string_view id, const Bytes& content) {
    return Cat({B(id), BigEndian(static_cast<uint32_t>(content.size())), Zeros(2), content});
}

// A text frame with the given encoding byte.
inline Bytes TextFrame(std::string_view id, uint8_t encoding, const Bytes& text) {
    return Frame(id, Cat({Bytes{encoding}, text}));
}

inline Bytes Latin1Frame(std::string_view id, std::string_view text) {
    return TextFrame(id, 0, B(text));
}

inline Bytes SyncSafe(uint32_t size) {
    return {uint8_t((size >> 21) & 0x7F), uint8_t((size >> 14) & 0x7F), uint8_t((size >> 7) & 0x7F),
            uint8_t(size & 0x7F)};
}

// An ID3v2 tag around a body (extended header, frames and padding as the caller lays them out).
inline Bytes ID3V2(const Bytes& body, uint8_t version = 3, uint8_t flags = 0) {
    return Cat({B("ID3"), Bytes{version, 0, flags}, SyncSafe(static_cast<uint32_t>(body.size())), body});
}

struct TID3V1Fields {
    std::string Title, Artist, Album, Year, Comment;
    uint8_t Genre = 12;
    int Track = -1; // -1: version 1.0 layout (no zero byte at 125)
};

inline Bytes Fixed(std::string_view text, size_t size) {
    Bytes bytes(size, 0);
    for (size_t i = 0; i < text.size() && i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(text[i]);
    }
    return bytes;
}

inline Bytes ID3V1(const TID3V1Fields& f) {
    Bytes tag = Cat({B("TAG"), Fixed(f.Title, 30), Fixed(f.Artist, 30), Fixed(f.Album, 30), Fixed(f.Year, 4),
                     Fixed(f.Comment, 30), Bytes{f.Genre}});
    if (f.Track >= 0) {
        tag[125] = 0;
        tag[126] = static_cast<uint8_t>(f.Track);
    }
    return tag;
}

inline Bytes Lyrics3V1(std::string_view lyrics) {
    return Cat({B("LYRICSBEGIN"), B(lyrics), B("LYRICSEND")});
}

inline std::string Digits(size_t value, int width) {
    std::string text = std::to_string(value);
    return std::string(static_cast<size_t>(width) - text.size(), '0') + text;
}

inline Bytes Lyrics3V2Field(std::string_view id, std::string_view value) {
    return Cat({B(id), B(Digits(value.size(), 5)), B(value)});
}

inline Bytes Lyrics3V2(const Bytes& fields) {
    const Bytes block = Cat({B("LYRICSBEGIN"), fields});
    return Cat({block, B(Digits(block.size(), 6)), B("LYRICS200")});
}

// An APEv2 tag: items of (flags, key, value), with a header when asked; footer flags as APEv2 writes them.
struct TApeItem {
    uint32_t Flags;
    std::string Key;
    Bytes Value;
};

inline Bytes Ape(const std::vector<TApeItem>& items, bool withHeader = true) {
    Bytes body;
    for (const TApeItem& item : items) {
        body = Cat({body, LittleEndian(static_cast<uint32_t>(item.Value.size())), LittleEndian(item.Flags),
                    B(item.Key), Bytes{0}, item.Value});
    }
    const uint32_t size = static_cast<uint32_t>(body.size() + 32);
    const uint32_t count = static_cast<uint32_t>(items.size());
    auto part = [&](uint32_t flags) {
        return Cat({B("APETAGEX"), LittleEndian(2000), LittleEndian(size), LittleEndian(count),
                    LittleEndian(flags), Zeros(8)});
    };
    constexpr uint32_t kHasHeader = 0x80000000u, kIsHeader = 0x20000000u;
    return Cat(
        {withHeader ? part(kHasHeader | kIsHeader) : Bytes{}, body, part(withHeader ? kHasHeader : 0)});
}

inline Bytes Chunk(std::string_view id, const Bytes& content) {
    Bytes chunk = Cat({B(id), LittleEndian(static_cast<uint32_t>(content.size())), content});
    if (content.size() % 2 != 0) {
        chunk.push_back(0);
    }
    return chunk;
}

// A RIFF chunk's header with a size that need not match what follows.
inline Bytes ChunkHeader(std::string_view id, uint32_t size) {
    return Cat({B(id), LittleEndian(size)});
}

inline Bytes InfoList(std::initializer_list<std::pair<std::string_view, std::string_view>> entries) {
    Bytes content = B("INFO");
    for (const auto& [id, value] : entries) {
        Bytes text = B(value);
        text.push_back(0);
        content = Cat({content, Chunk(id, text)});
    }
    return Chunk("LIST", content);
}

inline Bytes Riff(const Bytes& chunks) {
    return Cat({B("RIFF"), LittleEndian(static_cast<uint32_t>(chunks.size() + 4)), B("WAVE"), chunks});
}

inline Bytes MacBinaryHeader(uint32_t dataForkLength, uint32_t resourceForkLength,
                             std::string_view name = "song.mp3") {
    Bytes header(128, 0);
    header[1] = static_cast<uint8_t>(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        header[2 + i] = static_cast<uint8_t>(name[i]);
    }
    const Bytes data = BigEndian(dataForkLength);
    const Bytes resource = BigEndian(resourceForkLength);
    std::copy(data.begin(), data.end(), header.begin() + 83);
    std::copy(resource.begin(), resource.end(), header.begin() + 87);
    return header;
}

// A source, its reader and a tag reader attached to it, with the head scan (and, for a seekable source,
// the tail scan) done.
struct TScan {
    explicit TScan(Bytes bytes, int32_t capacity = 65536, bool seekable = true)
        : Memory(std::move(bytes)), NonSeekable(Memory), Reader(capacity) {
        Reader.Open(seekable ? static_cast<tunelo::TMPSourceStream*>(&Memory) : &NonSeekable, seekable);
        Info.Attach(&Reader);
        HeadResult = Info.ReadHead();
        TailResult = Info.ReadTail();
    }

    int32_t Size() const { return static_cast<int32_t>(Memory.Bytes().size()); }

    tunelo::TMPMemoryStream Memory;
    tunelo::TMPNonSeekableStream NonSeekable;
    tunelo::TMPStreamReader Reader;
    tunelo::TMP3Info Info;
    bool HeadResult = false;
    bool TailResult = false;
};

// A file on disk scanned as the player opens it, in the code page given for undeclared text, with the
// reader repositioned where decoding would start.
struct TFileScan {
    explicit TFileScan(const std::string& path, const std::string& codePage = {}) : Stream(path) {
        Reader.Open(&Stream, true);
        Info.SetLegacyCodePage(codePage);
        Info.Attach(&Reader);
        Info.ReadHead();
        Info.ReadTail();
        Reader.Seek(Info.DataStart(), tunelo::soFromBeginning);
        FirstBytesAreAFrame =
            Reader.NeedContiguous(2) && Reader.Data()[0] == 0xFF && (Reader.Data()[1] & 0xE0) == 0xE0;
    }

    tunelo::TMPFileStream Stream;
    tunelo::TMPStreamReader Reader{65536};
    tunelo::TMP3Info Info;
    bool FirstBytesAreAFrame = false;
};

} // namespace tagtest
