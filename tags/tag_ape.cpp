// The APE tag (version 1 or 2) at the end of the audio data, before a Lyrics3 block and an ID3v1 tag:
// a 32-byte footer, optionally a header of the same form in front, and items of key and value between.
#include <string>
#include <utility>

#include "mp3_info.h"
#include "replay_gain_items.h"
#include "tag_bytes.h"
#include "text_encoding.h"

namespace tunelo {

using namespace tagbytes;

namespace {

constexpr int32_t kFooterSize = 32;
constexpr uint32_t kHasHeader = 0x80000000u;
constexpr uint32_t kItemKindMask = 0x6; // bits 1-2: 0 text, 1 binary, 2 external link
constexpr uint32_t kItemBinary = 0x2;
constexpr int32_t kVersion1 = 1000;
// Pictures at their bound and a generous amount of text.
constexpr int64_t kMaxTagInMemory = kMaxPictureBytes + 1024 * 1024;

uint32_t Unsigned32(const char* p) {
    return static_cast<uint32_t>(LittleEndian32(reinterpret_cast<const uint8_t*>(p)));
}

std::string MimeOfImage(std::string_view data) {
    if (data.substr(0, 3) == "\xFF\xD8\xFF") {
        return "image/jpeg";
    }
    if (data.substr(0, 8) == "\x89PNG\r\n\x1A\n") {
        return "image/png";
    }
    if (data.substr(0, 4) == "GIF8") {
        return "image/gif";
    }
    return "application/octet-stream";
}

// Cover items are binary: a file name, a zero byte, then the picture.
bool PictureOfItem(std::string_view key, std::string_view value, TMPPicture& picture) {
    constexpr std::string_view kPrefix = "Cover Art (";
    if (key.size() < kPrefix.size() || !SameIgnoringCase(key.substr(0, kPrefix.size()), kPrefix)) {
        return false;
    }
    const size_t nameEnd = value.find('\0');
    if (nameEnd == std::string_view::npos ||
        value.size() - nameEnd - 1 > static_cast<size_t>(kMaxPictureBytes)) {
        return false;
    }
    picture.Data = std::string(value.substr(nameEnd + 1));
    picture.Mime = MimeOfImage(picture.Data);
    constexpr uint8_t kOther = 0, kFrontCover = 3, kBackCover = 4;
    picture.Type = SameIgnoringCase(key, "Cover Art (Front)")  ? kFrontCover
                   : SameIgnoringCase(key, "Cover Art (Back)") ? kBackCover
                                                               : kOther;
    return !picture.Data.empty();
}

// Several values of one text item are separated by zero bytes; they are joined for display.
std::string JoinedText(std::string_view value, std::string_view codePage) {
    std::string joined;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find('\0', start);
        if (end == std::string_view::npos) {
            end = value.size();
        }
        std::string part = TextFromBytes(value.substr(start, end - start), codePage);
        if (!part.empty()) {
            joined += joined.empty() ? "" : "; ";
            joined += part;
        }
        start = end + 1;
    }
    return joined;
}

} // namespace

bool TMP3Info::ReadApe(int64_t end, int64_t& tagStart) {
    TMPStreamReader& reader = *FReader;
    const int64_t footerStart = end - kFooterSize;
    if (footerStart < FDataStart || !SeekTo(reader, footerStart) || !Need(reader, kFooterSize) ||
        !HasId(reader.Data(), "APETAGEX")) {
        return false;
    }
    const char* footer = reinterpret_cast<const char*>(reader.Data());
    const int32_t version = static_cast<int32_t>(Unsigned32(footer + 8));
    const int64_t size = Unsigned32(footer + 12); // items and footer
    const int64_t count = Unsigned32(footer + 16);
    const uint32_t flags = Unsigned32(footer + 20);
    const int64_t header = version != kVersion1 && (flags & kHasHeader) != 0 ? kFooterSize : 0;
    const int64_t itemsStart = footerStart + kFooterSize - size;
    tagStart = itemsStart - header;
    if (size < kFooterSize || size > kMaxTagInMemory || tagStart < FDataStart) {
        return false;
    }
    std::string items;
    if (!SeekTo(reader, itemsStart) || !ReadBytes(reader, size - kFooterSize, items)) {
        return false;
    }
    // Items count only when they all lie inside the tag.
    TMPInfoList found;
    TMPReplayGain gain;
    std::vector<TMPPicture> pictures;
    std::string_view rest = items;
    for (int64_t i = 0; i < count; ++i) {
        if (rest.size() < 8) {
            return false;
        }
        const uint32_t valueSize = Unsigned32(rest.data());
        const uint32_t itemFlags = Unsigned32(rest.data() + 4);
        rest.remove_prefix(8);
        const size_t keyEnd = rest.find('\0');
        if (keyEnd == std::string_view::npos || rest.size() - keyEnd - 1 < valueSize) {
            return false;
        }
        const std::string_view key = rest.substr(0, keyEnd);
        const std::string_view value = rest.substr(keyEnd + 1, valueSize);
        rest.remove_prefix(keyEnd + 1 + valueSize);
        TMPPicture picture;
        if ((itemFlags & kItemKindMask) == kItemBinary) {
            if (PictureOfItem(key, value, picture)) {
                pictures.push_back(std::move(picture));
            }
            continue;
        }
        // Version 2 text is UTF-8; version 1 text declares nothing.
        std::string text =
            JoinedText(value, version == kVersion1 ? std::string_view(FCodePage) : std::string_view());
        TakeReplayGainItem(key, text, gain);
        found.Add(TextFromBytes(key), std::move(text));
    }
    for (const TMPInfoList::TEntry& item : found) {
        FApeItems.Add(item.Name, item.Value);
    }
    for (TMPPicture& picture : pictures) {
        OfferPicture(std::move(picture));
    }
    // ID3v2 figures come first; the APE tag fills what they lack.
    if (!FTagGain.HasTrackGain && gain.HasTrackGain) {
        FTagGain.HasTrackGain = true;
        FTagGain.TrackGain = gain.TrackGain;
        FTagGain.TrackPeak = gain.TrackPeak;
    }
    if (!FTagGain.HasAlbumGain && gain.HasAlbumGain) {
        FTagGain.HasAlbumGain = true;
        FTagGain.AlbumGain = gain.AlbumGain;
        FTagGain.AlbumPeak = gain.AlbumPeak;
    }
    // The audio data ends where the tag begins.
    FDataLength = std::min<int64_t>(FDataLength, std::max<int64_t>(0, tagStart - FDataStart));
    FFoundInfoTypes.Include(mitApe);
    return true;
}

} // namespace tunelo
