// The Lyrics3 block between the audio data and the ID3v1 tag (or the end of the source): version 1 is
// the lyrics between "LYRICSBEGIN" and "LYRICSEND", version 2 a list of sized fields closed by its size
// and "LYRICS200".
#include <algorithm>
#include <string>

#include "mp3_info.h"
#include "tag_bytes.h"
#include "text_encoding.h"

namespace tunelo {

using namespace tagbytes;

namespace {

constexpr int32_t kEndMarkSize = 9;
constexpr std::string_view kBeginMark = "LYRICSBEGIN";
// Version 1 lyrics hold at most 5100 bytes; the window also takes in the begin mark of a block that full.
constexpr int32_t kVersion1Window = 5100 + static_cast<int32_t>(kBeginMark.size());
constexpr int32_t kVersion2SizeDigits = 6;
constexpr int32_t kFieldHeaderSize = 8; // 3-letter identifier and 5 digits of size

} // namespace

bool TMP3Info::ReadLyrics3() {
    TMPStreamReader& reader = *FReader;
    int64_t end = reader.Size();
    if (FFoundInfoTypes.Has(mitID3V1)) {
        end = FID3V1Position;
    } else if (FFoundInfoTypes.Has(mitMacBin)) {
        end = FMacDataForkEnd;
    }
    const int64_t endMark = end - kEndMarkSize;
    if (endMark < 0 || !SeekTo(reader, endMark) || !Need(reader, kEndMarkSize)) {
        return false;
    }
    if (HasId(reader.Data(), "LYRICSEND")) {
        return ReadLyrics3V1(endMark);
    }
    if (HasId(reader.Data(), "LYRICS200")) {
        return ReadLyrics3V2(endMark);
    }
    return false;
}

bool TMP3Info::ReadLyrics3V1(int64_t endMark) {
    TMPStreamReader& reader = *FReader;
    const int64_t windowStart = std::max<int64_t>(0, endMark - kVersion1Window);
    std::string window;
    if (!SeekTo(reader, windowStart) || !ReadBytes(reader, endMark - windowStart, window)) {
        return false;
    }
    const size_t begin = window.find(kBeginMark);
    if (begin == std::string::npos) {
        return false;
    }
    FLyricsFields.Add("LYRICS",
                      TextFromBytes(std::string_view(window).substr(begin + kBeginMark.size()), FCodePage));
    FLyricsStart = windowStart + static_cast<int32_t>(begin);
    FFoundInfoTypes.Include(mitLyrics);
    return true;
}

bool TMP3Info::ReadLyrics3V2(int64_t endMark) {
    TMPStreamReader& reader = *FReader;
    const int64_t fieldsEnd = int64_t{endMark} - kVersion2SizeDigits;
    if (fieldsEnd < 0 || !SeekTo(reader, fieldsEnd) || !Need(reader, kVersion2SizeDigits)) {
        return false;
    }
    const int32_t blockSize = DecimalDigits(reader.Data(), kVersion2SizeDigits);
    const int64_t blockStart = fieldsEnd - blockSize;
    if (blockSize <= 0 || blockStart < 0 || !SeekTo(reader, blockStart) ||
        !Need(reader, static_cast<int64_t>(kBeginMark.size())) || !HasId(reader.Data(), kBeginMark.data()) ||
        !Skip(reader, static_cast<int64_t>(kBeginMark.size()))) {
        return false;
    }
    // Fields count only when the whole block is sound.
    TMPInfoList fields;
    while (reader.Position() < fieldsEnd) {
        if (!Need(reader, kFieldHeaderSize)) {
            return false;
        }
        std::string id = FixedText(reader.Data(), 3);
        const int32_t fieldSize = DecimalDigits(reader.Data() + 3, 5);
        if (fieldSize <= 0 || !Skip(reader, kFieldHeaderSize) ||
            int64_t{reader.Position()} + fieldSize > fieldsEnd) {
            return false;
        }
        std::string value;
        if (!ReadBytes(reader, fieldSize, value)) {
            return false;
        }
        fields.Add(std::move(id), TextFromBytes(value, FCodePage));
    }
    for (const TMPInfoList::TEntry& field : fields) {
        FLyricsFields.Add(field.Name, field.Value);
    }
    FLyricsStart = static_cast<int32_t>(blockStart);
    FFoundInfoTypes.Include(mitLyrics);
    return true;
}

} // namespace tunelo
