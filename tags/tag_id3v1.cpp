// The 128-byte ID3 version 1 tag at the end of the audio data, with the version 1.1 track number.
#include <string>

#include "mp3_info.h"
#include "tag_bytes.h"
#include "text_encoding.h"

namespace tunelo {

using namespace tagbytes;

bool TMP3Info::ReadID3V1(int64_t end) {
    TMPStreamReader& reader = *FReader;
    constexpr int32_t kTagSize = 128;
    const int64_t position = end - kTagSize;
    if (position < 0 || !SeekTo(reader, position) || !Need(reader, kTagSize)) {
        return false;
    }
    const uint8_t* tag = reader.Data();
    if (!HasId(tag, "TAG")) {
        return false;
    }
    FID3V1Tags.Add("TITLE", FixedText(tag + 3, 30, FCodePage));
    FID3V1Tags.Add("ARTIST", FixedText(tag + 33, 30, FCodePage));
    FID3V1Tags.Add("ALBUM", FixedText(tag + 63, 30, FCodePage));
    FID3V1Tags.Add("YEAR", FixedText(tag + 93, 4));
    // In the version 1.1 layout the comment's zero byte 125 ends it before the track byte.
    FID3V1Tags.Add("COMMENT", FixedText(tag + 97, 30, FCodePage));
    const uint8_t genre = tag[127];
    // 255 is how taggers (lame among them) write "no genre".
    constexpr uint8_t kNoGenre = 255;
    FID3V1Tags.Add("GENRE", genre == kNoGenre ? std::string() : std::string(GenreNames[genre]));
    FID3V1Tags.Add("GENREIDX", std::to_string(genre));
    if (tag[125] == 0) {
        FID3V1Tags.Add("TRACK", std::to_string(tag[126]));
    }
    FID3V1Position = position;
    if (!Skip(reader, kTagSize)) {
        return false;
    }
    FFoundInfoTypes.Include(mitID3V1);
    return true;
}

} // namespace tunelo
