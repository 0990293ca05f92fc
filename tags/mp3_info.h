// The tag and stream information reader: finds where the MPEG audio data of a source lies (behind a
// MacBinary header, inside a RIFF/WAVE wrapper, after an ID3v2 tag, before an APE tag) and collects the
// descriptive text of the ID3v1/v1.1, ID3v2.2/2.3/2.4 and APEv1/v2 tags, a Lyrics3 v1/v2 block and a RIFF
// INFO list, the cover picture and the ReplayGain figures. All text is UTF-8.
//
// The reader never fails loudly on the data: a structure that does not match is taken as absent. It reads
// only through a TMPStreamReader and never asks it for more than its Capacity, so hostile sizes cannot
// make it read outside the file or raise.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "stream_reader.h"

namespace tunelo {

enum TMP3InfoKind : uint8_t { mitID3V1, mitID3V2, mitRiff, mitMacBin, mitLyrics, mitApe };

// A set over TMP3InfoKind, stored as one byte: member n = bit n.
class TMP3InfoType {
public:
    constexpr TMP3InfoType() = default;
    constexpr TMP3InfoType(std::initializer_list<TMP3InfoKind> kinds) {
        for (TMP3InfoKind kind : kinds) {
            Include(kind);
        }
    }
    // Bits above the last member are dropped.
    static constexpr TMP3InfoType FromBits(uint8_t bits) {
        TMP3InfoType set;
        set.FBits = static_cast<uint8_t>(bits & kAllBits);
        return set;
    }

    constexpr uint8_t Bits() const { return FBits; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool Has(TMP3InfoKind kind) const { return (FBits >> kind) & 1u; }
    constexpr void Include(TMP3InfoKind kind) { FBits = static_cast<uint8_t>(FBits | (1u << kind)); }
    constexpr void Exclude(TMP3InfoKind kind) { FBits = static_cast<uint8_t>(FBits & ~(1u << kind)); }

    friend constexpr bool operator==(TMP3InfoType, TMP3InfoType) = default;

private:
    static constexpr uint8_t kAllBits = (1u << (mitApe + 1)) - 1;
    uint8_t FBits = 0;
};

// Lines of the form NAME=value, kept as separate name and value so that a value (or a name) holding '='
// or a line break stays intact. Lookups by name ignore ASCII case and find the first entry.
class TMPInfoList {
public:
    struct TEntry {
        std::string Name;
        std::string Value;
    };

    void Add(std::string name, std::string value);
    void Clear() { FEntries.clear(); }

    bool Empty() const { return FEntries.empty(); }
    int32_t Count() const { return static_cast<int32_t>(FEntries.size()); }
    const TEntry& operator[](int32_t index) const { return FEntries.at(static_cast<size_t>(index)); }
    // "NAME=value".
    std::string Line(int32_t index) const;
    // Value of the first entry with that name; the empty string when there is none.
    std::string ValueOf(std::string_view name) const;
    bool Contains(std::string_view name) const;

    std::vector<TEntry>::const_iterator begin() const { return FEntries.begin(); }
    std::vector<TEntry>::const_iterator end() const { return FEntries.end(); }

private:
    const TEntry* Find(std::string_view name) const;

    std::vector<TEntry> FEntries;
};

// Genre names by ID3v1 genre byte. Rows 148 to 247 are empty.
extern const std::array<std::string_view, 256> GenreNames;

// The genre named by the value of an ID3v2.3 content-type frame (TCON): a refinement text wins; else the
// first reference "(n)" is looked up in GenreNames ("(RX)" is "Remix", "(CR)" is "Cover"); "((" stands for
// a literal '('. A bare number is a reference too (255 meaning none); any other value without references
// is returned as it is.
std::string GenreFromContentType(std::string_view value);

// An embedded picture: ID3v2 picture type (3 is the front cover), MIME type and the bytes as embedded.
struct TMPPicture {
    uint8_t Type = 0;
    std::string Mime;
    std::string Data;

    bool Empty() const { return Data.empty(); }
};

// ReplayGain figures in dB, and peaks as linear amplitude (1.0 is full scale; 0 means unknown).
struct TMPReplayGain {
    bool HasTrackGain = false;
    bool HasAlbumGain = false;
    double TrackGain = 0;
    double TrackPeak = 0;
    double AlbumGain = 0;
    double AlbumPeak = 0;
};

// The most picture bytes the reader takes into memory; a larger picture is passed over.
inline constexpr int64_t kMaxPictureBytes = 16 * 1024 * 1024;

class TMP3Info {
public:
    // DataLength while the length of the audio data is not known.
    static constexpr int64_t kUnknownLength = INT64_MAX;

    TMP3Info();
    ~TMP3Info();

    TMP3Info(const TMP3Info&) = delete;
    TMP3Info& operator=(const TMP3Info&) = delete;

    // Forgets the reader and everything found.
    void Clear();
    // With a reader: Clear, then read through that reader (not owned) from now on. A null reader is only
    // forgotten; what was found stays.
    void Attach(TMPStreamReader* reader);

    // Head scan from the reader's current position (the source's first byte): MacBinary header, RIFF
    // wrapper up to its data chunk, ID3v2 tag. Leaves the reader behind what it recognised. Returns
    // whether at least one byte remains to be read.
    bool ReadHead();
    // Tail scan, after ReadHead, for a seekable source: completes DataLength, reads the RIFF INFO list,
    // the ID3v1 tag and a Lyrics3 block. Leaves the reader anywhere. Returns false only when the source
    // cannot be repositioned.
    bool ReadTail();

    // Each text getter takes the first value that the richer tags hold, in the order ID3v2, APE, RIFF
    // INFO; ID3v1 and then Lyrics3 fill only what those lack. NeedInfoType selects the kinds drawn from:
    // mitID3V2 admits ID3v2 and APE, mitID3V1 admits ID3v1 and Lyrics3.
    std::string Title() const;
    std::string Artist() const;
    std::string Album() const;
    std::string Year() const;
    std::string Comment() const;
    std::string Genre() const;
    // Track and disc numbers without their totals ("3" of "3/12"); empty when no tag gives one.
    std::string Track() const;
    std::string TrackTotal() const;
    std::string Disc() const;
    std::string DiscTotal() const;
    std::string AlbumArtist() const;
    std::string Composer() const;
    // The front cover, else the first picture found; empty when there is none.
    const TMPPicture& Picture() const { return FPicture; }
    // ID3v2 and APE figures first; the LAME tag's where neither has any.
    TMPReplayGain ReplayGain() const;

    // Code page of text that a tag does not declare (ID3v1, ID3v2 text marked Latin-1, Lyrics3, RIFF
    // INFO), as iconv names it; empty for Latin-1. Takes effect on the next scan.
    void SetLegacyCodePage(std::string codePage) { FCodePage = std::move(codePage); }
    const std::string& LegacyCodePage() const { return FCodePage; }

    TMP3InfoType FoundInfoTypes() const { return FFoundInfoTypes; }
    TMP3InfoType NeedInfoType() const { return FNeedInfoType; }
    void SetNeedInfoType(TMP3InfoType kinds) { FNeedInfoType = kinds; }
    // Offset of the first byte of audio data.
    int64_t DataStart() const { return FDataStart; }
    // Number of audio bytes; kUnknownLength when not known. A trailing ID3v1 tag or Lyrics3 block stays
    // counted in it.
    int64_t DataLength() const { return FDataLength; }

    const TMPInfoList& ID3V1Tags() const { return FID3V1Tags; }
    const TMPInfoList& ID3V2Frames() const { return FID3V2Frames; }
    const TMPInfoList& RiffInfo() const { return FRiffInfo; }
    const TMPInfoList& LyricsFields() const { return FLyricsFields; }
    const TMPInfoList& ApeItems() const { return FApeItems; }
    TMPStreamReader* Reader() const { return FReader; }

private:
    bool ReadMacBinary();
    bool ReadRiffHeader();
    bool ReadID3V2();
    void ReadRiffInfo();
    void ReadRiffInfoEntries(int64_t listEnd);
    // The 128-byte tag ending at end.
    bool ReadID3V1(int64_t end);
    bool ReadLyrics3();
    bool ReadLyrics3V1(int64_t endMark);
    bool ReadLyrics3V2(int64_t endMark);
    // An APE tag whose footer ends at end; its first byte goes to tagStart.
    bool ReadApe(int64_t end, int64_t& tagStart);
    // The source's end, or the MacBinary data fork's.
    int64_t SourceEnd() const;
    void ReadLameGain();
    // Keeps a picture when it is the first or the first front cover.
    void OfferPicture(TMPPicture picture);
    // The end of what the trailing tags leave of the source: the Lyrics3 block, the ID3v1 tag, the data
    // fork's end or the source's size.
    int64_t TrailingTagsStart() const;

    // Takes a leading structure's bytes off a known DataLength, never below 0.
    void ShortenDataLength(int64_t by);
    // The value under key in the list of that kind; empty when the kind is not needed.
    std::string Candidate(TMP3InfoKind kind, std::string_view key) const;
    // The first non-empty value of a field, the richer tags first.
    std::string Field(std::string_view apeKey, std::string_view id3v2Key, std::string_view riffKey,
                      std::string_view id3v1Key, std::string_view lyricsKey) const;

    TMPStreamReader* FReader = nullptr;
    TMP3InfoType FFoundInfoTypes;
    TMP3InfoType FNeedInfoType{mitID3V1, mitID3V2, mitRiff};
    int64_t FDataStart = 0;
    int64_t FDataLength = kUnknownLength;
    int64_t FMacDataForkStart = 0;
    int64_t FMacDataForkLength = 0;
    int64_t FMacDataForkEnd = 0;
    int64_t FMacResourceForkLength = 0;
    int64_t FRiffDataStart = 0;
    int64_t FRiffDataSize = kUnknownLength;
    int64_t FID3V1Position = 0;
    TMPInfoList FID3V1Tags;
    TMPInfoList FID3V2Frames;
    TMPInfoList FRiffInfo;
    TMPInfoList FLyricsFields;
    TMPInfoList FApeItems;
    int32_t FLyricsStart = 0;
    TMPPicture FPicture;
    TMPReplayGain FTagGain; // from ID3v2 and APE
    TMPReplayGain FLameGain;
    std::string FCodePage;
};

} // namespace tunelo
