// The frames of an ID3 version 2 tag: text (with several values in version 2.4), comments, links,
// user-defined text, pictures and relative volume adjustment.
#include "tag_id3v2_frames.h"

#include <cmath>
#include <utility>

#include "replay_gain_items.h"
#include "tag_bytes.h"
#include "text_encoding.h"

namespace tunelo {

using namespace tagbytes;

namespace {

constexpr uint8_t kEncodingUtf16 = 1;   // with byte-order mark
constexpr uint8_t kEncodingUtf16Be = 2; // without byte-order mark; version 2.4, but harmless to honour
constexpr uint8_t kEncodingUtf8 = 3;    // version 2.4

constexpr uint8_t kTagFlagUnsynchronisation = 0x80;
constexpr uint8_t kTagFlagExtendedHeader = 0x40;

bool IsUtf16(uint8_t encoding) {
    return encoding == kEncodingUtf16 || encoding == kEncodingUtf16Be;
}

const uint8_t* Bytes(std::string_view text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

std::string EncodedText(uint8_t encoding, std::string_view bytes, std::string_view codePage) {
    if (IsUtf16(encoding)) {
        return TextFromUtf16(Bytes(bytes), bytes.size(), encoding == kEncodingUtf16Be);
    }
    // Text that declares UTF-8 is not read in the legacy code page when it proves not to be UTF-8.
    return FixedText(Bytes(bytes), bytes.size(), encoding == kEncodingUtf8 ? std::string_view() : codePage);
}

// Length of the terminated string at the start of bytes, terminator included; the whole length when there
// is no terminator.
size_t TerminatedLength(uint8_t encoding, std::string_view bytes) {
    if (IsUtf16(encoding)) {
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            if (bytes[i] == 0 && bytes[i + 1] == 0) {
                return i + 2;
            }
        }
        return bytes.size();
    }
    const size_t zero = bytes.find('\0');
    return zero == std::string_view::npos ? bytes.size() : zero + 1;
}

// A version 2.4 text frame may hold several values, each terminated; they are joined for display.
std::string JoinedValues(uint8_t encoding, std::string_view bytes, std::string_view codePage) {
    std::string joined;
    while (!bytes.empty()) {
        const size_t length = TerminatedLength(encoding, bytes);
        std::string value = EncodedText(encoding, bytes.substr(0, length), codePage);
        if (!value.empty()) {
            joined += joined.empty() ? "" : "; ";
            joined += value;
        }
        bytes.remove_prefix(length);
    }
    return joined;
}

} // namespace

namespace {

// Frame identifiers of version 2.2 under their later names, so that one set of getters serves all.
std::string LaterFrameId(std::string_view id) {
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"TT1", "TIT1"}, {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"},
        {"TAL", "TALB"}, {"TYE", "TYER"}, {"TRK", "TRCK"}, {"TPA", "TPOS"}, {"TCO", "TCON"}, {"TCM", "TCOM"},
        {"COM", "COMM"}, {"PIC", "APIC"}, {"TXX", "TXXX"}, {"WXX", "WXXX"}, {"RVA", "RVAD"}, {"ULT", "USLT"}};
    for (const auto& [old, later] : kNames) {
        if (id == old) {
            return std::string(later);
        }
    }
    return std::string(id);
}

class TFrameDecoder {
public:
    TFrameDecoder(uint8_t version, std::string_view codePage, TId3v2Contents& contents)
        : FVersion(version), FCodePage(codePage), FContents(contents) {}

    void Decode(const std::string& id, std::string_view content) {
        if (id == "APIC") {
            DecodePicture(content);
        } else if (id == "RVA2") {
            DecodeVolumeAdjustment(content);
        } else if (id == "TXXX") {
            DecodeUserText(content);
        } else if (!id.empty() && id[0] == 'W' && id != "WXXX") {
            Add(id, FixedText(Bytes(content), content.size()));
        } else if (content.empty()) {
            Add(id, {});
        } else if (id == "COMM" || id == "WXXX") {
            DecodeDescribed(id, content);
        } else if (id[0] == 'T') {
            const uint8_t encoding = static_cast<uint8_t>(content[0]);
            content.remove_prefix(1);
            Add(id, FVersion >= 4 ? JoinedValues(encoding, content, FCodePage)
                                  : EncodedText(encoding, content, FCodePage));
        } else {
            Add(id, FixedText(Bytes(content) + 1, content.size() - 1));
        }
    }

private:
    // A comment without description goes before comments with one (the players' private data, such as
    // volume normalisation figures), so that the comment getter finds the one meant for people.
    void Add(std::string id, std::string value, bool describedComment = false) {
        TMPInfoList::TEntry entry{std::move(id), std::move(value)};
        std::vector<TMPInfoList::TEntry>& lines = FContents.Lines;
        if (entry.Name == "COMM") {
            if (describedComment) {
                if (FFirstDescribedComment == kNone) {
                    FFirstDescribedComment = lines.size();
                }
            } else if (FFirstDescribedComment != kNone) {
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(FFirstDescribedComment),
                             std::move(entry));
                ++FFirstDescribedComment;
                return;
            }
        }
        lines.push_back(std::move(entry));
    }

    // Comment and user link: the text after the description (and for a comment its language code).
    void DecodeDescribed(const std::string& id, std::string_view content) {
        const uint8_t encoding = static_cast<uint8_t>(content[0]);
        std::string_view body = content.substr(1);
        if (id == "COMM") {
            constexpr size_t kLanguageSize = 3;
            if (body.size() < kLanguageSize) {
                Add(id, {});
                return;
            }
            body.remove_prefix(kLanguageSize);
        }
        const size_t descriptionSize = TerminatedLength(encoding, body);
        const bool described =
            id == "COMM" && !EncodedText(encoding, body.substr(0, descriptionSize), {}).empty();
        const std::string_view rest = body.substr(descriptionSize);
        // A link is always Latin-1, whatever the description's encoding.
        Add(id, id == "COMM" ? EncodedText(encoding, rest, FCodePage) : FixedText(Bytes(rest), rest.size()),
            described);
    }

    // User-defined text: a line named "TXXX:" and the description, and the ReplayGain figures.
    void DecodeUserText(std::string_view content) {
        if (content.empty()) {
            return;
        }
        const uint8_t encoding = static_cast<uint8_t>(content[0]);
        std::string_view body = content.substr(1);
        const size_t descriptionSize = TerminatedLength(encoding, body);
        const std::string description = EncodedText(encoding, body.substr(0, descriptionSize), FCodePage);
        const std::string value = JoinedValues(encoding, body.substr(descriptionSize), FCodePage);
        TakeReplayGainItem(description, value, FContents.Gain);
        Add("TXXX:" + description, value);
    }

    void DecodePicture(std::string_view content) {
        if (content.empty()) {
            return;
        }
        const uint8_t encoding = static_cast<uint8_t>(content[0]);
        std::string_view body = content.substr(1);
        TMPPicture picture;
        if (FVersion == 2) {
            // Three letters of image format instead of a MIME type.
            if (body.size() < 3) {
                return;
            }
            const std::string format = FixedText(Bytes(body), 3);
            picture.Mime = SameIgnoringCase(format, "PNG")   ? "image/png"
                           : SameIgnoringCase(format, "JPG") ? "image/jpeg"
                                                             : "image/" + format;
            body.remove_prefix(3);
        } else {
            const size_t mimeSize = TerminatedLength(0, body);
            picture.Mime = FixedText(Bytes(body), mimeSize);
            body.remove_prefix(mimeSize);
        }
        if (body.empty()) {
            return;
        }
        Add("APIC", picture.Mime);
        picture.Type = static_cast<uint8_t>(body[0]);
        body.remove_prefix(1);
        body.remove_prefix(TerminatedLength(encoding, body));
        if (body.empty() || static_cast<int64_t>(body.size()) > kMaxPictureBytes) {
            return;
        }
        picture.Data = std::string(body);
        FContents.Pictures.push_back(std::move(picture));
    }

    // Relative volume adjustment: the master channel's gain (in 1/512 dB) and peak.
    void DecodeVolumeAdjustment(std::string_view content) {
        const size_t identificationSize = TerminatedLength(0, content);
        const std::string identification = FixedText(Bytes(content), identificationSize);
        std::string_view channels = content.substr(identificationSize);
        constexpr uint8_t kMasterVolume = 1;
        while (channels.size() >= 4) {
            const uint8_t type = static_cast<uint8_t>(channels[0]);
            const auto adjustment = static_cast<int16_t>((static_cast<uint8_t>(channels[1]) << 8) |
                                                         static_cast<uint8_t>(channels[2]));
            const uint8_t peakBits = static_cast<uint8_t>(channels[3]);
            const size_t peakBytes = (size_t{peakBits} + 7) / 8;
            if (channels.size() < 4 + peakBytes) {
                return;
            }
            if (type == kMasterVolume) {
                double peak = 0;
                // Peaks wider than 32 bits are read by their top 32.
                const size_t usedBytes = std::min<size_t>(peakBytes, 4);
                uint64_t raw = 0;
                for (size_t i = 0; i < usedBytes; ++i) {
                    raw = (raw << 8) | static_cast<uint8_t>(channels[4 + i]);
                }
                if (peakBits > 0) {
                    peak = static_cast<double>(raw) / std::ldexp(1.0, static_cast<int>(usedBytes * 8) - 1);
                }
                const double decibels = adjustment / 512.0;
                TMPReplayGain& gain = FContents.Gain;
                if (SameIgnoringCase(identification, "album")) {
                    if (!gain.HasAlbumGain) {
                        gain = TMPReplayGain{gain.HasTrackGain, true,     gain.TrackGain,
                                             gain.TrackPeak,    decibels, peak};
                    }
                } else if (!gain.HasTrackGain) {
                    gain.HasTrackGain = true;
                    gain.TrackGain = decibels;
                    gain.TrackPeak = peak;
                }
                return;
            }
            channels.remove_prefix(4 + peakBytes);
        }
    }

    static constexpr size_t kNone = static_cast<size_t>(-1);
    uint8_t FVersion;
    std::string_view FCodePage;
    TId3v2Contents& FContents;
    size_t FFirstDescribedComment = kNone;
};

int32_t SynchsafeSize(const uint8_t* p) {
    return ((p[0] & 0x7F) << 21) | ((p[1] & 0x7F) << 14) | ((p[2] & 0x7F) << 7) | (p[3] & 0x7F);
}

struct TFrameLayout {
    uint8_t Version;
    bool SynchsafeSizes;

    size_t HeaderSize() const { return Version == 2 ? 6 : 10; }
    size_t IdSize() const { return Version == 2 ? 3 : 4; }
    int64_t Size(const uint8_t* header) const {
        if (Version == 2) {
            return (header[3] << 16) | (header[4] << 8) | header[5];
        }
        return SynchsafeSizes ? SynchsafeSize(header + 4) : BigEndian32(header + 4);
    }
};

bool AllZero(std::string_view bytes) {
    return bytes.find_first_not_of('\0') == std::string_view::npos;
}

// Walks the frames of the frame area; each frame's content goes to decode when one is given. True when
// the frames, and any padding, fill the area exactly.
template <typename Decode> bool WalkFrames(std::string_view area, TFrameLayout layout, Decode&& decode) {
    size_t position = 0;
    for (;;) {
        const size_t left = area.size() - position;
        if (left < layout.HeaderSize()) {
            // Room for no further frame: the tag ends here, or in padding too short for a frame header.
            return AllZero(area.substr(position));
        }
        const uint8_t* header = Bytes(area) + position;
        const int64_t size = layout.Size(header);
        if (size <= 0) {
            // Padding: zero bytes up to the tag end.
            return true;
        }
        const int64_t frameBytes = size + static_cast<int64_t>(layout.HeaderSize());
        if (frameBytes > static_cast<int64_t>(left)) {
            return false;
        }
        decode(header, area.substr(position + layout.HeaderSize(), static_cast<size_t>(size)));
        position += static_cast<size_t>(frameBytes);
    }
}

// Content of a frame after the flags' extra bytes, resynchronised where needed; false for frames that
// cannot be read (compressed or encrypted).
bool FrameContent(uint8_t version, uint8_t tagFlags, const uint8_t* header, std::string_view& content,
                  std::string& resynchronised) {
    if (version == 2) {
        return true;
    }
    const uint8_t format = header[9];
    if (version == 3) {
        constexpr uint8_t kCompressed = 0x80, kEncrypted = 0x40, kGrouped = 0x20;
        if ((format & (kCompressed | kEncrypted)) != 0) {
            return false;
        }
        if ((format & kGrouped) != 0) {
            if (content.empty()) {
                return false;
            }
            content.remove_prefix(1);
        }
        return true;
    }
    constexpr uint8_t kGrouped = 0x40, kCompressed = 0x08, kEncrypted = 0x04, kUnsynchronised = 0x02,
                      kDataLength = 0x01;
    if ((format & (kCompressed | kEncrypted)) != 0) {
        return false;
    }
    const size_t extra = ((format & kGrouped) != 0 ? 1 : 0) + ((format & kDataLength) != 0 ? 4 : 0);
    if (content.size() < extra) {
        return false;
    }
    content.remove_prefix(extra);
    if ((format & kUnsynchronised) != 0 || (tagFlags & kTagFlagUnsynchronisation) != 0) {
        resynchronised = Resynchronised(content);
        content = resynchronised;
    }
    return true;
}

} // namespace

std::string Resynchronised(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        if (static_cast<uint8_t>(bytes[i]) == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0) {
            ++i;
        }
    }
    return out;
}

bool ReadId3v2Frames(uint8_t version, uint8_t flags, std::string_view body, std::string_view codePage,
                     TId3v2Contents& contents) {
    std::string wholeTag;
    if (version < 4 && (flags & kTagFlagUnsynchronisation) != 0) {
        wholeTag = Resynchronised(body);
        body = wholeTag;
    }
    if ((flags & kTagFlagExtendedHeader) != 0) {
        if (version == 2) {
            // Version 2.2 uses this bit for a compression that no one defined: the frames are unreadable.
            return true;
        }
        if (body.size() < 4) {
            return false;
        }
        // Version 2.3 counts the extended header without its size field, version 2.4 with it.
        const int64_t extended =
            version == 3 ? int64_t{BigEndian32(Bytes(body))} + 4 : SynchsafeSize(Bytes(body));
        if (extended < 4 || extended > static_cast<int64_t>(body.size())) {
            return false;
        }
        body.remove_prefix(static_cast<size_t>(extended));
    }
    TFrameLayout layout{version, version == 4};
    if (version == 4 && !WalkFrames(body, layout, [](const uint8_t*, std::string_view) {})) {
        // Some writers put plain sizes in version 2.4 tags: take that reading when its frames chain.
        const TFrameLayout plain{version, false};
        if (WalkFrames(body, plain, [](const uint8_t*, std::string_view) {})) {
            layout = plain;
        }
    }
    TFrameDecoder decoder(version, codePage, contents);
    return WalkFrames(body, layout, [&](const uint8_t* header, std::string_view content) {
        const std::string id = LaterFrameId(FixedText(header, layout.IdSize()));
        std::string resynchronised;
        if (FrameContent(version, flags, header, content, resynchronised)) {
            decoder.Decode(id, content);
        }
    });
}

} // namespace tunelo
