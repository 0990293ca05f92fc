// The tag reader against hostile and damaged files: sizes near 2^31 in every size field, every structure
// cut short at every length, and seeded random damage. Whatever the bytes, the reader must not raise,
// must keep the audio data inside the source and must hand out valid UTF-8. (Run under the address and
// undefined-behaviour sanitizers, these also show that nothing is read outside the reader's buffers.)
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "file_stream.h"
#include "mp3_info.h"
#include "stream_reader.h"
#include "tag_file_builder.h"
#include "text_encoding.h"

using namespace tunelo;
using namespace tagtest;

namespace {

void ExpectValidUtf8(const TMPInfoList& list, const std::string& where) {
    for (const TMPInfoList::TEntry& entry : list) {
        EXPECT_TRUE(IsValidUtf8(entry.Name)) << where;
        EXPECT_TRUE(IsValidUtf8(entry.Value)) << where;
    }
}

// Scans the bytes and checks what must hold for any input.
std::unique_ptr<TScan> ScanChecked(const Bytes& bytes, const std::string& what, int32_t capacity = 65536,
                                   bool seekable = true) {
    std::unique_ptr<TScan> scan;
    try {
        scan = std::make_unique<TScan>(bytes, capacity, seekable);
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": raised " << e.what();
        return nullptr;
    }
    const TMP3Info& info = scan->Info;
    const int64_t size = static_cast<int64_t>(bytes.size());
    EXPECT_GE(info.DataStart(), 0) << what;
    EXPECT_LE(info.DataStart(), size) << what;
    if (seekable) {
        EXPECT_GE(info.DataLength(), 0) << what;
        EXPECT_LE(int64_t{info.DataStart()} + info.DataLength(), size) << what;
    }
    ExpectValidUtf8(info.ID3V1Tags(), what);
    ExpectValidUtf8(info.ID3V2Frames(), what);
    ExpectValidUtf8(info.RiffInfo(), what);
    ExpectValidUtf8(info.LyricsFields(), what);
    ExpectValidUtf8(info.ApeItems(), what);
    EXPECT_LE(static_cast<int64_t>(info.Picture().Data.size()), kMaxPictureBytes) << what;
    for (const std::string& text :
         {info.Title(), info.Artist(), info.Album(), info.Year(), info.Comment(), info.Genre(), info.Track(),
          info.TrackTotal(), info.Disc(), info.AlbumArtist(), info.Composer(), info.Picture().Mime}) {
        EXPECT_TRUE(IsValidUtf8(text)) << what;
    }
    return scan;
}

Bytes TaggedFile() {
    const Bytes frames =
        Cat({Latin1Frame("TIT2", "Title"), TextFrame("TPE1", 1, Utf16(u"Artist", false, true)),
             Frame("COMM", Cat({Bytes{0}, B("eng"), B("d"), Bytes{0}, B("Comment")})),
             Latin1Frame("TCON", "(17)"), Zeros(30)});
    TID3V1Fields fields;
    fields.Title = "Title";
    fields.Track = 2;
    return Cat({ID3V2(frames), Audio(600),
                Lyrics3V2(Cat({Lyrics3V2Field("IND", "10"), Lyrics3V2Field("LYR", "Words")})),
                ID3V1(fields)});
}

// Version 2.4 with a footer, a frame unsynchronised with a data length, a picture, RVA2 and TXXX; an APE
// tag with text, a binary cover and ReplayGain; ID3v1 behind it.
Bytes NewerTagsFile() {
    const Bytes picture =
        Cat({Bytes{0}, B("image/png"), Bytes{0, 3, 0}, Bytes{0xFF, 0x00, 0xFF, 0xE0, 1, 2, 3}});
    const Bytes frames =
        Cat({Frame("TIT2", Cat({Bytes{3}, B("One"), Bytes{0}, B("Two")})), B("TPE1"), SyncSafe(9),
             Bytes{0, 3}, SyncSafe(4), Bytes{0, 'A', 0xFF, 0x00, 'B'}, Frame("APIC", picture),
             Frame("RVA2", Cat({B("track"), Bytes{0, 1, 0xF8, 0x00, 16, 0x7F, 0xFF}})),
             Frame("TXXX", Cat({Bytes{0}, B("REPLAYGAIN_ALBUM_GAIN"), Bytes{0}, B("-2.5 dB")})), Zeros(12)});
    const Bytes tag = Cat({ID3V2(frames, 4, 0x10), B("3DI"), Bytes{4, 0, 0x10},
                           SyncSafe(static_cast<uint32_t>(frames.size()))});
    const Bytes ape =
        Ape({{0, "Title", B("Ape")},
             {0, "REPLAYGAIN_TRACK_GAIN", B("+1.0 dB")},
             {2, "Cover Art (Front)", Cat({B("c.png"), Bytes{0}, Bytes{0x89, 'P', 'N', 'G'}})}});
    return Cat({tag, Audio(400), ape, ID3V1(TID3V1Fields{})});
}

Bytes RiffFile() {
    return Cat({Riff(Cat({Chunk("fmt ", Zeros(16)),
                          Chunk("data", Cat({ID3V2(Latin1Frame("TIT2", "In")), Audio(301)})),
                          InfoList({{"INAM", "Name"}, {"IART", "Artist"}})})),
                Lyrics3V1("words"), ID3V1(TID3V1Fields{})});
}

Bytes MacBinaryFile() {
    const Bytes fork = Cat({ID3V2(Latin1Frame("TALB", "Album")), Audio(500), ID3V1(TID3V1Fields{})});
    return Cat({MacBinaryHeader(static_cast<uint32_t>(fork.size()), 40), fork, Audio(40)});
}

void Put32(Bytes& bytes, size_t at, const Bytes& value) {
    std::copy(value.begin(), value.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace

TEST(TagHostile, RiffChunkSizesNear2To31) {
    for (uint32_t size : {0x7FFFFFFFu, 0x7FFFFFFEu, 0x7FFFFFF9u, 0x7FFFFFF8u, 0x80000000u, 0xFFFFFFF8u}) {
        const std::string what = "fmt chunk size " + std::to_string(size);
        auto scan = ScanChecked(Cat({B("RIFF"), LittleEndian(1000), B("WAVE"), ChunkHeader("fmt ", size),
                                     Zeros(16), Chunk("data", Audio(300)), ID3V1(TID3V1Fields{})}),
                                what);
        ASSERT_NE(scan, nullptr);
        EXPECT_FALSE(scan->Info.FoundInfoTypes().Has(mitRiff)) << what;
        EXPECT_TRUE(scan->Info.FoundInfoTypes().Has(mitID3V1)) << what << ": the tail scan still runs";
    }
}

TEST(TagHostile, RiffDataSizeBeyondTheSourceIsCutToTheSource) {
    for (uint32_t size : {0x7FFFFFFFu, 0x7FFFFFF0u, 100000u}) {
        const std::string what = "data size " + std::to_string(size);
        const Bytes file = Cat({B("RIFF"), LittleEndian(1000), B("WAVE"), ChunkHeader("data", size),
                                Audio(700), InfoList({{"INAM", "unreachable"}}), ID3V1(TID3V1Fields{})});
        auto scan = ScanChecked(file, what);
        ASSERT_NE(scan, nullptr);
        EXPECT_TRUE(scan->Info.FoundInfoTypes().Has(mitRiff)) << what;
        EXPECT_EQ(scan->Info.DataStart(), 20) << what;
        EXPECT_EQ(scan->Info.DataLength(), scan->Size() - 20) << what;
        EXPECT_TRUE(scan->Info.RiffInfo().Empty()) << what;
        EXPECT_TRUE(scan->Info.FoundInfoTypes().Has(mitID3V1)) << what;
    }
}

TEST(TagHostile, RiffInfoSizesNear2To31) {
    const Bytes data = Chunk("data", Audio(300));
    for (uint32_t size : {0x7FFFFFFFu, 0x7FFFFFF7u, 0x80000000u, 0xFFFFFFFFu}) {
        // The list's own size.
        const std::string what = "size " + std::to_string(size);
        ScanChecked(Cat({Riff(data), ChunkHeader("LIST", size), B("INFO"), Chunk("INAM", B("x")), Audio(50)}),
                    "list " + what);
        // An entry's size: the entries before it stay.
        auto scan = ScanChecked(Cat({Riff(data), ChunkHeader("LIST", 200), B("INFO"),
                                     Chunk("INAM", B("Kept")), ChunkHeader("IART", size), Audio(200)}),
                                "entry " + what);
        ASSERT_NE(scan, nullptr);
        EXPECT_EQ(scan->Info.RiffInfo().ValueOf("INAM"), "Kept") << what;
        EXPECT_FALSE(scan->Info.RiffInfo().Contains("IART")) << what;
    }
}

TEST(TagHostile, ID3V2SizesNear2To31) {
    // Every size byte with its high bit set: the largest size the header can state.
    Bytes largest = ID3V2(Cat({Latin1Frame("TIT2", "x"), Zeros(20)}));
    Put32(largest, 6, Bytes{0xFF, 0xFF, 0xFF, 0xFF});
    for (uint8_t version : {3, 4}) {
        largest[3] = version;
        auto scan = ScanChecked(Cat({largest, Audio(300)}), "tag size, version " + std::to_string(version));
        ASSERT_NE(scan, nullptr);
        EXPECT_FALSE(scan->Info.FoundInfoTypes().Has(mitID3V2));
    }
    // A frame's size.
    for (uint32_t size : {0x7FFFFFFFu, 0x7FFFFFF6u, 0x7FFFFFF5u, 0xFFFFFFF6u, 0x10000u}) {
        Bytes tag = ID3V2(Cat({Latin1Frame("TIT2", "Title"), Latin1Frame("TPE1", "Artist"), Zeros(20)}));
        Put32(tag, 10 + 4, BigEndian(size));
        const std::string what = "frame size " + std::to_string(size);
        auto scan = ScanChecked(Cat({tag, Audio(300)}), what);
        ASSERT_NE(scan, nullptr);
        if (static_cast<int32_t>(size) > 0) {
            EXPECT_FALSE(scan->Info.FoundInfoTypes().Has(mitID3V2)) << what;
            EXPECT_EQ(scan->Info.DataStart(), 0) << what;
        } else {
            // A size that is not positive reads as the start of the padding.
            EXPECT_TRUE(scan->Info.FoundInfoTypes().Has(mitID3V2)) << what;
            EXPECT_TRUE(scan->Info.ID3V2Frames().Empty()) << what;
        }
    }
    // The extended header's size.
    for (uint32_t size : {0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u}) {
        const Bytes body = Cat({BigEndian(size), Zeros(6), Latin1Frame("TIT2", "x")});
        auto scan = ScanChecked(Cat({ID3V2(body, 3, 0x40), Audio(300)}), "extended " + std::to_string(size));
        ASSERT_NE(scan, nullptr);
        EXPECT_FALSE(scan->Info.FoundInfoTypes().Has(mitID3V2));
    }
}

TEST(TagHostile, Lyrics3SizesAtTheirLargest) {
    const Bytes tail = ID3V1(TID3V1Fields{});
    ScanChecked(Cat({Audio(300), B("LYRICSBEGIN"), B("999999LYRICS200"), tail}), "block size 999999");
    ScanChecked(Cat({Audio(300), B("LYRICSBEGINLYR99999abc"), B("000022LYRICS200"), tail}),
                "field size 99999");
    ScanChecked(Cat({B("000001LYRICS200")}), "size digits at the very start");
    ScanChecked(Cat({B("01LYRICS200")}), "size digits cut off by the start");
    auto scan = ScanChecked(Cat({B("LYRICSEND")}), "end mark alone");
    ASSERT_NE(scan, nullptr);
    EXPECT_FALSE(scan->Info.FoundInfoTypes().Has(mitLyrics));
}

TEST(TagHostile, MacBinaryForksBeyondTheSource) {
    for (uint32_t length : {0x7FFFFFFFu, 0x7FFFFF80u, 0x7FFFFF7Fu, 5000u}) {
        const std::string what = "data fork " + std::to_string(length);
        auto scan =
            ScanChecked(Cat({MacBinaryHeader(length, 0x7FFFFFFF), Audio(1000), ID3V1(TID3V1Fields{})}), what);
        ASSERT_NE(scan, nullptr);
        EXPECT_TRUE(scan->Info.FoundInfoTypes().Has(mitMacBin)) << what;
        EXPECT_EQ(scan->Info.DataStart(), 128) << what;
        EXPECT_EQ(scan->Info.DataLength(), scan->Size() - 128) << what;
        EXPECT_FALSE(scan->Info.FoundInfoTypes().Has(mitID3V1))
            << what << ": the fork's end lies beyond the source";
    }
}

TEST(TagHostile, EveryStructureCutShortAtEveryLength) {
    const std::vector<std::pair<std::string, Bytes>> files = {{"tagged", TaggedFile()},
                                                              {"riff", RiffFile()},
                                                              {"macbinary", MacBinaryFile()},
                                                              {"newer", NewerTagsFile()}};
    for (const auto& [name, file] : files) {
        for (size_t length = 0; length <= file.size(); ++length) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
            const std::string what = name + " cut to " + std::to_string(length);
            ScanChecked(cut, what);
            ScanChecked(cut, what + ", stream", 65536, false);
        }
        // The whole files come out right, so the cuts above ran over structures that were really there.
        auto whole = ScanChecked(file, name);
        ASSERT_NE(whole, nullptr);
        EXPECT_GE(__builtin_popcount(whole->Info.FoundInfoTypes().Bits()), 3) << name;
    }
}

TEST(TagHostile, NewerTagsFileIsReadWhole) {
    auto scan = ScanChecked(NewerTagsFile(), "newer");
    ASSERT_NE(scan, nullptr);
    const TMP3Info& info = scan->Info;
    EXPECT_EQ(info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitID3V2, mitApe}));
    EXPECT_EQ(info.Title(), "One; Two");
    EXPECT_EQ(info.Artist(), "A\xC3\xBF"
                             "B")
        << "resynchronised, Latin-1";
    EXPECT_EQ(info.Picture().Data, std::string("\xFF\x00\xFF\xE0\x01\x02\x03", 7))
        << "the ID3v2 picture comes first";
    const TMPReplayGain gain = info.ReplayGain();
    EXPECT_DOUBLE_EQ(gain.TrackGain, -4.0) << "RVA2: -2048/512 dB";
    EXPECT_NEAR(gain.TrackPeak, 1.0, 1e-4);
    EXPECT_DOUBLE_EQ(gain.AlbumGain, -2.5);
    EXPECT_EQ(info.DataLength(), 400);
}

TEST(TagHostile, ApeSizesAndCountsNearTheirLargest) {
    const Bytes ape =
        Ape({{0, "Title", B("Ape")}, {2, "Cover Art (Front)", Cat({B("c"), Bytes{0}, B("img")})}}, false);
    const size_t footer = ape.size() - 32;
    for (uint32_t value : {0u, 1u, 31u, 32u, 33u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        for (size_t field : {12u, 16u}) { // tag size, item count
            Bytes bad = ape;
            const Bytes le = LittleEndian(value);
            std::copy(le.begin(), le.end(), bad.begin() + static_cast<std::ptrdiff_t>(footer + field));
            ScanChecked(Cat({Audio(300), bad}),
                        "APE field " + std::to_string(field) + " = " + std::to_string(value));
        }
        for (size_t item : {0u, 4u}) { // the first item's value size and flags
            Bytes bad = ape;
            const Bytes le = LittleEndian(value);
            std::copy(le.begin(), le.end(), bad.begin() + static_cast<std::ptrdiff_t>(item));
            ScanChecked(Cat({Audio(300), bad, ID3V1(TID3V1Fields{})}), "APE item " + std::to_string(item));
        }
    }
}

TEST(TagHostile, SmallRingsNeverMakeTheReaderRaise) {
    for (int32_t capacity : {1, 8, 9, 10, 11, 12, 64, 127, 128, 200}) {
        for (const Bytes& file : {TaggedFile(), RiffFile(), MacBinaryFile(), NewerTagsFile()}) {
            ScanChecked(file, "capacity " + std::to_string(capacity), capacity);
            ScanChecked(file, "stream, capacity " + std::to_string(capacity), capacity, false);
        }
    }
}

TEST(TagHostile, SeededRandomDamage) {
    std::mt19937 random(20240611);
    const std::vector<Bytes> files = {TaggedFile(), RiffFile(), MacBinaryFile(), NewerTagsFile()};
    for (int round = 0; round < 600; ++round) {
        Bytes file = files[static_cast<size_t>(round) % files.size()];
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int c = 0; c < changes; ++c) {
            const size_t at = random() % file.size();
            switch (random() % 3) {
            case 0:
                file[at] = static_cast<uint8_t>(random());
                break;
            case 1: // size fields love extremes
                file[at] = random() % 2 ? 0xFF : 0x00;
                break;
            default:
                file[at] = static_cast<uint8_t>(file[at] ^ (1u << (random() % 8)));
                break;
            }
        }
        const std::string what = "round " + std::to_string(round);
        ScanChecked(file, what);
        ScanChecked(file, what + ", small ring", 256);
        ScanChecked(file, what + ", stream", 65536, false);
    }
}
