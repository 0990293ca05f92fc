// The ID3 version 2 tag in front of the audio data, versions 2.2, 2.3 and 2.4. The tag is read into
// memory whole (it may be unsynchronised as a whole) when it is no larger than a bound; a larger one is
// passed over unread.
#include <string>
#include <utility>

#include "mp3_info.h"
#include "tag_bytes.h"
#include "tag_id3v2_frames.h"

namespace tunelo {

using namespace tagbytes;

namespace {

constexpr int32_t kHeaderSize = 10;
constexpr uint8_t kFlagFooter = 0x10; // version 2.4: a copy of the header follows the tag
// A picture at its bound and a generous amount of text.
constexpr int64_t kMaxTagInMemory = kMaxPictureBytes + 1024 * 1024;

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
    const int64_t footer = version == 4 && (flags & kFlagFooter) != 0 ? kHeaderSize : 0;
    const int64_t tagEnd = tagStart + kHeaderSize + size + footer;
    if (version < 2 || version > 4 || size > kMaxTagInMemory) {
        // Passed over unread; a tag that claims more bytes than the source holds is no tag.
        if (!Skip(reader, tagEnd - tagStart)) {
            return false;
        }
    } else {
        std::string body;
        if (!Skip(reader, kHeaderSize) || !ReadBytes(reader, size, body) || !Skip(reader, footer)) {
            return false;
        }
        TId3v2Contents contents;
        // Frames that overrun a version 2.3 tag make it no tag, as they always have; later and earlier
        // versions are trusted for their size and keep the frames that chained.
        if (!ReadId3v2Frames(version, flags, body, FCodePage, contents) && version == 3) {
            return false;
        }
        for (TMPInfoList::TEntry& line : contents.Lines) {
            FID3V2Frames.Add(std::move(line.Name), std::move(line.Value));
        }
        for (TMPPicture& picture : contents.Pictures) {
            OfferPicture(std::move(picture));
        }
        FTagGain = contents.Gain;
    }
    FDataStart = tagEnd;
    ShortenDataLength(tagEnd - tagStart);
    FFoundInfoTypes.Include(mitID3V2);
    return true;
}

void TMP3Info::OfferPicture(TMPPicture picture) {
    constexpr uint8_t kFrontCover = 3;
    if (FPicture.Empty() || (picture.Type == kFrontCover && FPicture.Type != kFrontCover)) {
        FPicture = std::move(picture);
    }
}

} // namespace tunelo
