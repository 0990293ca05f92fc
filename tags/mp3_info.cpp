#include <algorithm>
#include <utility>

#include "errors.h"
#include "mp3_info.h"
#include "tag_bytes.h"
#include "text_encoding.h"

namespace tunelo {

void TMPInfoList::Add(std::string name, std::string value) {
    FEntries.push_back(TEntry{std::move(name), std::move(value)});
}

std::string TMPInfoList::Line(int32_t index) const {
    const TEntry& entry = (*this)[index];
    return entry.Name + "=" + entry.Value;
}

const TMPInfoList::TEntry* TMPInfoList::Find(std::string_view name) const {
    for (const TEntry& entry : FEntries) {
        if (tagbytes::SameIgnoringCase(entry.Name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

std::string TMPInfoList::ValueOf(std::string_view name) const {
    const TEntry* entry = Find(name);
    return entry != nullptr ? entry->Value : std::string();
}

bool TMPInfoList::Contains(std::string_view name) const {
    return Find(name) != nullptr;
}

TMP3Info::TMP3Info() = default;

TMP3Info::~TMP3Info() {
    Clear();
}

void TMP3Info::Clear() {
    FReader = nullptr;
    FFoundInfoTypes = TMP3InfoType();
    FDataStart = 0;
    FDataLength = kUnknownLength;
    FMacDataForkStart = 0;
    FMacDataForkLength = 0;
    FMacDataForkEnd = 0;
    FMacResourceForkLength = 0;
    FRiffDataStart = 0;
    FRiffDataSize = kUnknownLength;
    FID3V1Position = 0;
    FID3V1Tags.Clear();
    FID3V2Frames.Clear();
    FRiffInfo.Clear();
    FLyricsFields.Clear();
    FApeItems.Clear();
    FLyricsStart = 0;
    FPicture = TMPPicture();
    FTagGain = TMPReplayGain();
    FLameGain = TMPReplayGain();
}

void TMP3Info::Attach(TMPStreamReader* reader) {
    if (reader != nullptr) {
        Clear();
    }
    FReader = reader;
}

bool TMP3Info::ReadHead() {
    MP_ASSERT(FReader != nullptr);
    // Each step starts where the previous one left the reader: a RIFF file may travel inside a MacBinary
    // wrapper, and an ID3v2 tag may open the data of either.
    ReadMacBinary();
    ReadRiffHeader();
    ReadID3V2();
    ReadLameGain();
    return FReader->NeedContiguous(1);
}

bool TMP3Info::ReadTail() {
    MP_ASSERT(FReader != nullptr);
    if (!FReader->Seekable()) {
        return false;
    }
    // An unknown length runs to the end of the source; a length that a header claimed beyond the end of
    // the source is cut to what the source holds.
    const int64_t available = std::max<int64_t>(0, FReader->Size() - FDataStart);
    FDataLength = std::min(FDataLength, available);
    if (FFoundInfoTypes.Has(mitRiff)) {
        ReadRiffInfo();
    }
    ReadID3V1(SourceEnd());
    ReadLyrics3();
    int64_t apeStart = 0;
    if (ReadApe(TrailingTagsStart(), apeStart) && !FFoundInfoTypes.Has(mitID3V1)) {
        // Some taggers (mutagen among them) append the APE tag behind an ID3v1 tag.
        ReadID3V1(apeStart);
    }
    return true;
}

int64_t TMP3Info::SourceEnd() const {
    return FFoundInfoTypes.Has(mitMacBin) ? int64_t{FMacDataForkEnd} : int64_t{FReader->Size()};
}

int64_t TMP3Info::TrailingTagsStart() const {
    if (FFoundInfoTypes.Has(mitLyrics)) {
        return FLyricsStart;
    }
    if (FFoundInfoTypes.Has(mitID3V1)) {
        return FID3V1Position;
    }
    return SourceEnd();
}

void TMP3Info::ShortenDataLength(int64_t by) {
    if (FDataLength != kUnknownLength) {
        FDataLength = std::max<int64_t>(0, FDataLength - by);
    }
}

std::string TMP3Info::Candidate(TMP3InfoKind kind, std::string_view key) const {
    // The APE tag rides on the rich-tag switch, Lyrics3 on ID3v1's, whose fields it extends.
    const TMP3InfoKind gate = kind == mitApe ? mitID3V2 : kind == mitLyrics ? mitID3V1 : kind;
    if (key.empty() || !FNeedInfoType.Has(gate)) {
        return {};
    }
    switch (kind) {
    case mitID3V1:
        return FID3V1Tags.ValueOf(key);
    case mitID3V2:
        return FID3V2Frames.ValueOf(key);
    case mitRiff:
        return FRiffInfo.ValueOf(key);
    case mitApe:
        return FApeItems.ValueOf(key);
    case mitLyrics:
        return FLyricsFields.ValueOf(key);
    default:
        return {};
    }
}

std::string TMP3Info::Field(std::string_view apeKey, std::string_view id3v2Key, std::string_view riffKey,
                            std::string_view id3v1Key, std::string_view lyricsKey) const {
    const std::pair<TMP3InfoKind, std::string_view> sources[] = {{mitID3V2, id3v2Key},
                                                                 {mitApe, apeKey},
                                                                 {mitRiff, riffKey},
                                                                 {mitID3V1, id3v1Key},
                                                                 {mitLyrics, lyricsKey}};
    for (const auto& [kind, key] : sources) {
        std::string value = Candidate(kind, key);
        if (!value.empty()) {
            return value;
        }
    }
    return {};
}

namespace {

// "3/12" holds the number 3 of 12; a number of 0 (ID3v1.1 without a track) is none.
std::string NumberPart(const std::string& value, bool total) {
    const size_t slash = value.find('/');
    std::string part = total ? (slash == std::string::npos ? std::string() : value.substr(slash + 1))
                             : value.substr(0, slash);
    while (!part.empty() && part.front() == ' ') {
        part.erase(0, 1);
    }
    while (!part.empty() && part.back() == ' ') {
        part.pop_back();
    }
    return part.find_first_not_of('0') == std::string::npos ? std::string() : part;
}

} // namespace

std::string TMP3Info::Title() const {
    return Field("Title", "TIT2", "INAM", "TITLE", "ETT");
}

std::string TMP3Info::Artist() const {
    return Field("Artist", "TPE1", "IART", "ARTIST", "EAR");
}

std::string TMP3Info::Album() const {
    return Field("Album", "TALB", "IPRD", "ALBUM", "EAL");
}

std::string TMP3Info::Year() const {
    std::string year = Candidate(mitID3V2, "TYER");
    if (year.empty()) {
        // Version 2.4 keeps the year in a recording time such as "2024-05-01".
        year = Candidate(mitID3V2, "TDRC").substr(0, 4);
    }
    return year.empty() ? Field("Year", {}, "ICRD", "YEAR", {}) : year;
}

std::string TMP3Info::Comment() const {
    return Field("Comment", "COMM", "ICMT", "COMMENT", {});
}

std::string TMP3Info::Genre() const {
    const std::string apeGenre = GenreFromContentType(Candidate(mitApe, "Genre"));
    const std::string id3v2Genre = GenreFromContentType(Candidate(mitID3V2, "TCON"));
    if (!id3v2Genre.empty()) {
        return id3v2Genre;
    }
    if (!apeGenre.empty()) {
        return apeGenre;
    }
    return Field({}, {}, "IGNR", "GENRE", {});
}

std::string TMP3Info::Track() const {
    return NumberPart(Field("Track", "TRCK", {}, "TRACK", {}), false);
}

std::string TMP3Info::TrackTotal() const {
    return NumberPart(Field("Track", "TRCK", {}, {}, {}), true);
}

std::string TMP3Info::Disc() const {
    return NumberPart(Field("Disc", "TPOS", {}, {}, {}), false);
}

std::string TMP3Info::DiscTotal() const {
    return NumberPart(Field("Disc", "TPOS", {}, {}, {}), true);
}

std::string TMP3Info::AlbumArtist() const {
    std::string value = Field("Album Artist", "TPE2", {}, {}, {});
    return value.empty() ? Candidate(mitApe, "AlbumArtist") : value;
}

std::string TMP3Info::Composer() const {
    return Field("Composer", "TCOM", {}, {}, {});
}

TMPReplayGain TMP3Info::ReplayGain() const {
    TMPReplayGain gain = FTagGain;
    if (!gain.HasTrackGain && !gain.HasAlbumGain) {
        return FLameGain;
    }
    return gain;
}

} // namespace tunelo
