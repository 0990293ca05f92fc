#include <algorithm>
#include <utility>

#include "MPErrors.h"
#include "MPInfo.h"
#include "text_encoding.h"

namespace tunelo {

namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// The longest text, counted in characters; on equal length the earlier one.
std::string Longest(std::string first, std::string second, std::string third) {
    std::string* best = &first;
    size_t bestLength = CharacterCount(first);
    for (std::string* other : {&second, &third}) {
        const size_t length = CharacterCount(*other);
        if (length > bestLength) {
            best = other;
            bestLength = length;
        }
    }
    return std::move(*best);
}

} // namespace

void TMPInfoList::Add(std::string name, std::string value) {
    FEntries.push_back(TEntry{std::move(name), std::move(value)});
}

std::string TMPInfoList::Line(int32_t index) const {
    const TEntry& entry = (*this)[index];
    return entry.Name + "=" + entry.Value;
}

const TMPInfoList::TEntry* TMPInfoList::Find(std::string_view name) const {
    for (const TEntry& entry : FEntries) {
        if (SameNameIgnoringCase(entry.Name, name)) {
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
    return FReader->NeedContiguous(1);
}

bool TMP3Info::ReadTail() {
    MP_ASSERT(FReader != nullptr);
    if (!FReader->Seekable()) {
        return false;
    }
    // An unknown length runs to the end of the source; a length that a header claimed beyond the end of
    // the source is cut to what the source holds.
    const int32_t available = std::max(0, FReader->Size() - FDataStart);
    FDataLength = std::min(FDataLength, available);
    if (FFoundInfoTypes.Has(mitRiff)) {
        ReadRiffInfo();
    }
    ReadID3V1();
    ReadLyrics3();
    return true;
}

void TMP3Info::ShortenDataLength(int64_t by) {
    if (FDataLength != kUnknownLength) {
        FDataLength = static_cast<int32_t>(std::max<int64_t>(0, FDataLength - by));
    }
}

std::string TMP3Info::Candidate(TMP3InfoKind kind, std::string_view key) const {
    if (!FNeedInfoType.Has(kind)) {
        return {};
    }
    switch (kind) {
    case mitID3V1:
        return FID3V1Tags.ValueOf(key);
    case mitID3V2:
        return FID3V2Frames.ValueOf(key);
    case mitRiff:
        return FRiffInfo.ValueOf(key);
    default:
        return {};
    }
}

std::string TMP3Info::Title() const {
    return Longest(Candidate(mitID3V1, "TITLE"), Candidate(mitID3V2, "TIT2"), Candidate(mitRiff, "INAM"));
}

std::string TMP3Info::Artist() const {
    return Longest(Candidate(mitID3V1, "ARTIST"), Candidate(mitID3V2, "TPE1"), Candidate(mitRiff, "IART"));
}

std::string TMP3Info::Album() const {
    return Longest(Candidate(mitID3V1, "ALBUM"), Candidate(mitID3V2, "TALB"), Candidate(mitRiff, "IPRD"));
}

std::string TMP3Info::Year() const {
    return Longest(Candidate(mitID3V1, "YEAR"), Candidate(mitID3V2, "TYER"), Candidate(mitRiff, "ICRD"));
}

std::string TMP3Info::Comment() const {
    return Longest(Candidate(mitID3V1, "COMMENT"), Candidate(mitID3V2, "COMM"), Candidate(mitRiff, "ICMT"));
}

std::string TMP3Info::Genre() const {
    return Longest(Candidate(mitID3V1, "GENRE"), GenreFromContentType(Candidate(mitID3V2, "TCON")),
                   Candidate(mitRiff, "IGNR"));
}

std::string TMP3Info::Track() const {
    return Candidate(mitID3V1, "TRACK");
}

} // namespace tunelo
