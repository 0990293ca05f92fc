// Tests of the tag and stream information reader: each structure it recognises (MacBinary, RIFF with its
// INFO list, ID3v2.3, ID3v1/1.1, Lyrics3 v1/v2), where it puts the audio data with leading and trailing
// structures combined, and the getters' choice among the tags.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors.h"
#include "file_stream.h"
#include "mp3_info.h"
#include "stream_reader.h"
#include "tag_file_builder.h"

using namespace tunelo;
using namespace tagtest;

namespace {

constexpr TMP3InfoType kNothing{};

std::vector<std::string> Lines(const TMPInfoList& list) {
    std::vector<std::string> lines;
    for (int32_t i = 0; i < list.Count(); ++i) {
        lines.push_back(list.Line(i));
    }
    return lines;
}

using StringList = std::vector<std::string>;

// A source with a bad spot: a read that starts inside [BadFrom, BadTo) fails.
class BadSpotStream : public TMPMemoryStream {
public:
    BadSpotStream(tagtest::Bytes bytes, int64_t badFrom, int64_t badTo)
        : TMPMemoryStream(std::move(bytes)), BadFrom(badFrom), BadTo(badTo) {}

    int32_t Read(void* buffer, int32_t count) override {
        if (Position() >= BadFrom && Position() < BadTo) {
            throw EMPError("read error");
        }
        return TMPMemoryStream::Read(buffer, count);
    }

    int64_t BadFrom;
    int64_t BadTo;
};

Bytes SomeID3V1() {
    TID3V1Fields fields;
    fields.Title = "V1 Title";
    fields.Artist = "V1 Artist";
    fields.Genre = 17;
    fields.Track = 4;
    return ID3V1(fields);
}

} // namespace

TEST(MP3Info, PlainAudioHasNoStructuresAndRunsToTheEnd) {
    TScan scan(Audio(5000));
    EXPECT_TRUE(scan.HeadResult);
    EXPECT_TRUE(scan.TailResult);
    EXPECT_EQ(scan.Info.FoundInfoTypes(), kNothing);
    EXPECT_EQ(scan.Info.DataStart(), 0);
    EXPECT_EQ(scan.Info.DataLength(), 5000);
    EXPECT_EQ(scan.Info.Title(), "");
    EXPECT_EQ(scan.Info.Track(), "");
}

TEST(MP3Info, EmptyAndTinySourcesAreNoFailure) {
    TScan empty(Bytes{});
    EXPECT_FALSE(empty.HeadResult) << "no byte remains";
    EXPECT_TRUE(empty.TailResult);
    EXPECT_EQ(empty.Info.DataStart(), 0);
    EXPECT_EQ(empty.Info.DataLength(), 0);
    EXPECT_EQ(empty.Info.FoundInfoTypes(), kNothing);

    // Fewer than 128 bytes: no ID3v1 position exists; a "TAG" there is not looked at.
    TScan tiny(Cat({B("TAG"), Audio(100)}));
    EXPECT_TRUE(tiny.HeadResult);
    EXPECT_EQ(tiny.Info.FoundInfoTypes(), kNothing);
    EXPECT_EQ(tiny.Info.DataLength(), 103);
}

TEST(MP3Info, DefaultsAndClear) {
    TMP3Info info;
    EXPECT_EQ(info.NeedInfoType(), (TMP3InfoType{mitID3V1, mitID3V2, mitRiff}));
    EXPECT_EQ(info.NeedInfoType().Bits(), 0b111);
    EXPECT_EQ(info.DataStart(), 0);
    EXPECT_EQ(info.DataLength(), TMP3Info::kUnknownLength);
    EXPECT_EQ(TMP3Info::kUnknownLength, INT64_MAX);
    EXPECT_EQ(info.Reader(), nullptr);
    EXPECT_EQ(TMP3InfoType::FromBits(0xFF).Bits(), 0x3F) << "only the six members are kept";
    EXPECT_EQ(TMP3InfoType({mitApe}).Bits(), 0x20);
    EXPECT_EQ(TMP3InfoType({mitLyrics}).Bits(), 0x10);
}

TEST(MP3Info, AttachClearsWhatTheLastSourceGaveAndNullOnlyForgetsTheReader) {
    TMPMemoryStream first(Cat({ID3V2(Latin1Frame("TIT2", "First source title")), Audio(300), SomeID3V1()}));
    TMPStreamReader reader(65536);
    reader.Open(&first, true);
    TMP3Info info;
    info.Attach(&reader);
    info.ReadHead();
    info.ReadTail();
    ASSERT_EQ(info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitID3V2}));
    ASSERT_EQ(info.Title(), "First source title");

    info.Attach(nullptr);
    EXPECT_EQ(info.Reader(), nullptr);
    EXPECT_EQ(info.Title(), "First source title") << "a null reader keeps what was found";

    TMPMemoryStream second(Audio(200));
    reader.Open(&second, true);
    info.Attach(&reader);
    EXPECT_EQ(info.Reader(), &reader);
    EXPECT_EQ(info.FoundInfoTypes(), kNothing);
    EXPECT_EQ(info.Title(), "");
    EXPECT_TRUE(info.ID3V1Tags().Empty());
    EXPECT_TRUE(info.ID3V2Frames().Empty());
    EXPECT_EQ(info.DataLength(), TMP3Info::kUnknownLength);
    info.ReadHead();
    info.ReadTail();
    EXPECT_EQ(info.DataLength(), 200);

    info.Clear();
    EXPECT_EQ(info.Reader(), nullptr);
    EXPECT_EQ(info.DataLength(), TMP3Info::kUnknownLength);
}

TEST(MP3Info, ScansWithoutReaderAreProgrammingErrors) {
    TMP3Info info;
    for (bool head : {true, false}) {
        try {
            head ? info.ReadHead() : info.ReadTail();
            ADD_FAILURE() << "no exception";
        } catch (const EMPAssertionFailed& e) {
            EXPECT_EQ(e.Unit(), "mp3plyr");
        }
    }
}

// ID3 version 1 and 1.1

TEST(MP3InfoID3V1, Version11FieldsInTheirOrder) {
    TID3V1Fields fields;
    fields.Title = "Title";
    fields.Artist = "Artist";
    fields.Album = "Album";
    fields.Year = "1999";
    fields.Comment = "A comment";
    fields.Genre = 17;
    fields.Track = 7;
    TScan scan(Cat({Audio(1000), ID3V1(fields)}));
    EXPECT_EQ(scan.Info.FoundInfoTypes(), TMP3InfoType{mitID3V1});
    EXPECT_EQ(Lines(scan.Info.ID3V1Tags()),
              (StringList{"TITLE=Title", "ARTIST=Artist", "ALBUM=Album", "YEAR=1999", "COMMENT=A comment",
                          "GENRE=Rock", "GENREIDX=17", "TRACK=7"}));
    EXPECT_EQ(scan.Info.Title(), "Title");
    EXPECT_EQ(scan.Info.Artist(), "Artist");
    EXPECT_EQ(scan.Info.Album(), "Album");
    EXPECT_EQ(scan.Info.Year(), "1999");
    EXPECT_EQ(scan.Info.Comment(), "A comment");
    EXPECT_EQ(scan.Info.Genre(), "Rock");
    EXPECT_EQ(scan.Info.Track(), "7");
    // The tag stays counted in the audio data.
    EXPECT_EQ(scan.Info.DataStart(), 0);
    EXPECT_EQ(scan.Info.DataLength(), 1128);
}

TEST(MP3InfoID3V1, Version10CommentUsesAll30BytesAndGivesNoTrack) {
    TID3V1Fields fields;
    fields.Comment = "123456789012345678901234567890";
    TScan scan(Cat({Audio(200), ID3V1(fields)}));
    EXPECT_EQ(scan.Info.Comment(), "123456789012345678901234567890");
    EXPECT_FALSE(scan.Info.ID3V1Tags().Contains("TRACK"));
    EXPECT_EQ(scan.Info.Track(), "");
}

TEST(MP3InfoID3V1, ZeroBytes125And126GiveTrackZero) {
    TID3V1Fields fields;
    fields.Comment = "short";
    fields.Track = 0;
    TScan scan(Cat({Audio(200), ID3V1(fields)}));
    EXPECT_EQ(scan.Info.ID3V1Tags().ValueOf("TRACK"), "0");
    EXPECT_EQ(scan.Info.Track(), "") << "track 0 is no track";
}

TEST(MP3InfoID3V1, GenreBytesBeyondTheNamedRows) {
    TID3V1Fields fields;
    fields.Genre = 200;
    TScan unnamed(Cat({Audio(200), ID3V1(fields)}));
    EXPECT_EQ(unnamed.Info.ID3V1Tags().ValueOf("GENRE"), "");
    EXPECT_TRUE(unnamed.Info.ID3V1Tags().Contains("GENRE"));
    EXPECT_EQ(unnamed.Info.ID3V1Tags().ValueOf("GENREIDX"), "200");

    fields.Genre = 255;
    TScan last(Cat({Audio(200), ID3V1(fields)}));
    EXPECT_EQ(last.Info.Genre(), "") << "255 is how lame writes no genre";
    EXPECT_EQ(last.Info.ID3V1Tags().ValueOf("GENRE"), "");
    EXPECT_EQ(last.Info.ID3V1Tags().ValueOf("GENREIDX"), "255");
}

TEST(MP3InfoID3V1, Latin1FieldsBecomeUtf8AndUtf8FieldsStay) {
    TID3V1Fields fields;
    fields.Title = "Caf\xE9 M\xFCller"; // Latin-1
    fields.Artist = "Bj\xC3\xB6rk";     // UTF-8
    TScan scan(Cat({Audio(200), ID3V1(fields)}));
    EXPECT_EQ(scan.Info.Title(), "Caf\xC3\xA9 M\xC3\xBCller");
    EXPECT_EQ(scan.Info.Artist(), "Bj\xC3\xB6rk");
}

TEST(MP3InfoID3V1, OnlyAnUpperCaseMarkAtTheVeryEndCounts) {
    Bytes lower = Cat({Audio(300), SomeID3V1()});
    lower[300] = 't';
    TScan lowerScan(lower);
    EXPECT_FALSE(lowerScan.Info.FoundInfoTypes().Has(mitID3V1));
    EXPECT_TRUE(lowerScan.Info.ID3V1Tags().Empty());

    TScan shifted(Cat({Audio(300), SomeID3V1(), Audio(1)}));
    EXPECT_FALSE(shifted.Info.FoundInfoTypes().Has(mitID3V1));

    TScan exact(Cat({SomeID3V1()}));
    EXPECT_TRUE(exact.Info.FoundInfoTypes().Has(mitID3V1)) << "a file that is nothing but the tag";
}

// ID3 version 2

TEST(MP3InfoID3V2, Version23FramesWithTheirEncodings) {
    const Bytes frames = Cat({
        Latin1Frame("TIT2", "Caf\xE9"),
        TextFrame("TPE1", 1, Utf16(u"\u00C5se \u65E5", false, true)),
        TextFrame("TALB", 1, Utf16(u"Big \u00C6", true, true)),
        TextFrame("TYER", 3, B("2001")),
        Latin1Frame("TRCK", "3/12"),
        Latin1Frame("TCON", "(13)"),
        Latin1Frame("TIT1", "Group\xC3\xA9"),
    });
    const Bytes file = Cat({ID3V2(frames), Audio(2000)});
    TScan scan(file);
    EXPECT_EQ(scan.Info.FoundInfoTypes(), TMP3InfoType{mitID3V2});
    EXPECT_EQ(Lines(scan.Info.ID3V2Frames()),
              (StringList{"TIT2=Caf\xC3\xA9", "TPE1=\xC3\x85se \xE6\x97\xA5", "TALB=Big \xC3\x86",
                          "TYER=2001", "TRCK=3/12", "TCON=(13)", "TIT1=Group\xC3\xA9"}));
    EXPECT_EQ(scan.Info.Title(), "Caf\xC3\xA9");
    EXPECT_EQ(scan.Info.Artist(), "\xC3\x85se \xE6\x97\xA5");
    EXPECT_EQ(scan.Info.Album(), "Big \xC3\x86");
    EXPECT_EQ(scan.Info.Year(), "2001");
    EXPECT_EQ(scan.Info.Genre(), "Pop") << "the reference resolves through the genre table";
    EXPECT_EQ(scan.Info.Track(), "3");
    EXPECT_EQ(scan.Info.TrackTotal(), "12");
    const int32_t tagSize = static_cast<int32_t>(frames.size()) + 10;
    EXPECT_EQ(scan.Info.DataStart(), tagSize);
    EXPECT_EQ(scan.Info.DataLength(), 2000);
}

TEST(MP3InfoID3V2, PaddingEndsTheFramesAndTheDataStartsAfterTheTag) {
    const Bytes frames = Latin1Frame("TIT2", "Padded");
    for (size_t padding : {500u, 10u, 9u, 1u}) {
        TScan scan(Cat({ID3V2(Cat({frames, Zeros(padding)})), Audio(700)}));
        EXPECT_TRUE(scan.Info.FoundInfoTypes().Has(mitID3V2)) << padding << " bytes of padding";
        EXPECT_EQ(scan.Info.Title(), "Padded") << padding;
        EXPECT_EQ(scan.Info.DataStart(), static_cast<int32_t>(10 + frames.size() + padding)) << padding;
        EXPECT_EQ(scan.Info.DataLength(), 700) << padding;
    }
    // Bytes after the last frame that are too few for a frame header and not padding spoil the tag.
    TScan junk(Cat({ID3V2(Cat({frames, B("xyz")})), Audio(700)}));
    EXPECT_FALSE(junk.Info.FoundInfoTypes().Has(mitID3V2));
    EXPECT_EQ(junk.Info.DataStart(), 0);
}

TEST(MP3InfoID3V2, ExtendedHeaderIsPassedOver) {
    const Bytes extended = Cat({BigEndian(6), Zeros(6)});
    const Bytes body = Cat({extended, Latin1Frame("TIT2", "Extended"), Zeros(20)});
    TScan scan(Cat({ID3V2(body, 3, 0x40), Audio(500)}));
    EXPECT_TRUE(scan.Info.FoundInfoTypes().Has(mitID3V2));
    EXPECT_EQ(scan.Info.Title(), "Extended");
    EXPECT_EQ(scan.Info.DataStart(), static_cast<int32_t>(10 + body.size()));

    // An extended header larger than the tag: no tag.
    const Bytes tooLarge = Cat({BigEndian(static_cast<uint32_t>(body.size() + 1)), Zeros(body.size() - 4)});
    TScan bad(Cat({ID3V2(tooLarge, 3, 0x40), Audio(500)}));
    EXPECT_FALSE(bad.Info.FoundInfoTypes().Has(mitID3V2));
    EXPECT_EQ(bad.Info.DataStart(), 0);
}

TEST(MP3InfoID3V2, UnknownVersionsArePassedOverWhole) {
    const Bytes frames = Cat({Latin1Frame("TIT2", "Hidden title"), Zeros(30)});
    struct Case {
        uint8_t Version;
        uint8_t Flags;
        size_t Extra; // a version 2.4 footer
    };
    for (const Case& c : {Case{5, 0, 0}, Case{1, 0, 0}, Case{5, 0x80, 0}, Case{255, 0x10, 0}}) {
        const Bytes tag =
            Cat({ID3V2(frames, c.Version, c.Flags), c.Extra ? Bytes{'3', 'D', 'I', 4, 0, 0x10} : Bytes{},
                 c.Extra ? SyncSafe(static_cast<uint32_t>(frames.size())) : Bytes{}});
        TScan scan(Cat({tag, Audio(900), SomeID3V1()}));
        SCOPED_TRACE(testing::Message() << "version " << int(c.Version) << " flags " << int(c.Flags));
        EXPECT_EQ(scan.Info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitID3V2}));
        EXPECT_TRUE(scan.Info.ID3V2Frames().Empty()) << "no frames read";
        EXPECT_EQ(scan.Info.DataStart(), static_cast<int32_t>(tag.size()));
        EXPECT_EQ(scan.Info.Title(), "V1 Title") << "the getters fall back to ID3v1";
    }
}

TEST(MP3InfoID3V2, FramesOverrunningTheTagMakeItAbsentWithNoFramesKept) {
    // The tag's size is one byte short of its last frame.
    Bytes frames = Cat({Latin1Frame("TIT2", "First"), Latin1Frame("TPE1", "Second")});
    Bytes tag = ID3V2(frames);
    tag[9] = static_cast<uint8_t>(tag[9] - 1);
    TScan scan(Cat({tag, Audio(500), SomeID3V1()}));
    EXPECT_FALSE(scan.Info.FoundInfoTypes().Has(mitID3V2));
    EXPECT_TRUE(scan.Info.ID3V2Frames().Empty());
    EXPECT_EQ(scan.Info.DataStart(), 0);
    EXPECT_EQ(scan.Info.Title(), "V1 Title");
}

TEST(MP3InfoID3V2, TagSizesBeyondTheSourceAreNoTag) {
    for (uint8_t version : {3, 4}) {
        Bytes tag = ID3V2(Cat({Latin1Frame("TIT2", "Claims too much"), Zeros(100)}), version);
        tag[7] = 0x7F; // about 2 MB
        TScan scan(Cat({tag, Audio(500)}));
        EXPECT_FALSE(scan.Info.FoundInfoTypes().Has(mitID3V2)) << int(version);
        EXPECT_EQ(scan.Info.DataStart(), 0);
        EXPECT_EQ(scan.Info.DataLength(), scan.Size());
        EXPECT_TRUE(scan.Info.ID3V2Frames().Empty());
    }
    // A file that is nothing but a tag leaves no byte to read.
    TScan onlyTag(ID3V2(Latin1Frame("TIT2", "Alone")));
    EXPECT_FALSE(onlyTag.HeadResult);
    EXPECT_TRUE(onlyTag.Info.FoundInfoTypes().Has(mitID3V2));
    EXPECT_EQ(onlyTag.Info.DataLength(), 0);
    // A size of zero is no tag either.
    TScan zero(Cat({ID3V2(Bytes{}), Audio(100)}));
    EXPECT_FALSE(zero.Info.FoundInfoTypes().Has(mitID3V2));
}

TEST(MP3InfoID3V2, FramesLargerThanTheRingAreReadInPieces) {
    Bytes picture = Cat({Bytes{0}, B("image/jpeg"), Bytes{0, 3, 0}, Audio(5000)});
    const Bytes frames =
        Cat({Latin1Frame("TIT2", "Before"), Frame("APIC", picture), Latin1Frame("TPE1", "After"), Zeros(64)});
    TScan small(Cat({ID3V2(frames), Audio(3000)}), 4096);
    EXPECT_TRUE(small.Info.FoundInfoTypes().Has(mitID3V2));
    EXPECT_EQ(Lines(small.Info.ID3V2Frames()), (StringList{"TIT2=Before", "APIC=image/jpeg", "TPE1=After"}));
    EXPECT_EQ(small.Info.DataStart(), static_cast<int32_t>(frames.size() + 10));
    EXPECT_EQ(small.Info.Picture().Data.size(), 5000u) << "the picture is whole although the ring is smaller";

    TScan large(Cat({ID3V2(frames), Audio(3000)}));
    EXPECT_EQ(Lines(large.Info.ID3V2Frames()), (StringList{"TIT2=Before", "APIC=image/jpeg", "TPE1=After"}));
}

TEST(MP3InfoID3V2, CommentIsTheTextAfterLanguageAndDescription) {
    const Bytes frames = Cat({
        Frame("COMM", Cat({Bytes{0}, B("eng"), B("Short"), Bytes{0}, B("The comment text")})),
        Frame("WXXX", Cat({Bytes{0}, B("Home"), Bytes{0}, B("http://example.org/")})),
        Frame("WOAR", B("http://artist.example/")),
    });
    TScan scan(Cat({ID3V2(frames), Audio(300)}));
    EXPECT_EQ(Lines(scan.Info.ID3V2Frames()), (StringList{"COMM=The comment text", "WXXX=http://example.org/",
                                                          "WOAR=http://artist.example/"}));
    EXPECT_EQ(scan.Info.Comment(), "The comment text");
}

TEST(MP3InfoID3V2, CommentInUtf16AndEmptyParts) {
    const Bytes utf16 = Frame("COMM", Cat({Bytes{1}, B("deu"), Utf16(u"Beschreibung", false, true, true),
                                           Utf16(u"Sch\u00F6n \U0001F3B5", false, true, true)}));
    TScan scan(Cat({ID3V2(utf16), Audio(300)}));
    EXPECT_EQ(scan.Info.Comment(), "Sch\xC3\xB6n \xF0\x9F\x8E\xB5");

    // An empty text after a description is empty, not the description.
    const Bytes emptyText = Frame("COMM", Cat({Bytes{0}, B("eng"), B("desc"), Bytes{0}}));
    TScan empty(Cat({ID3V2(emptyText), Audio(300)}));
    EXPECT_EQ(empty.Info.ID3V2Frames().ValueOf("COMM"), "");
    EXPECT_TRUE(empty.Info.ID3V2Frames().Contains("COMM"));

    // Frames too short for a language code, or with nothing but an encoding byte, give empty values.
    const Bytes shortFrames = Cat({Frame("COMM", Bytes{0, 'e'}), Frame("TIT2", Bytes{1})});
    TScan tooShort(Cat({ID3V2(shortFrames), Audio(300)}));
    EXPECT_EQ(Lines(tooShort.Info.ID3V2Frames()), (StringList{"COMM=", "TIT2="}));
}

TEST(MP3InfoID3V2, CommentMeantForPeopleWinsOverDescribedPlayerData) {
    const Bytes described = Frame("COMM", Cat({Bytes{0}, B("eng"), B("iTunNORM"), Bytes{0},
                                               B(" 00000A2C 00000B1D 00003F10 00004E02 0001A2B3")}));
    const Bytes plain = Frame("COMM", Cat({Bytes{0}, B("eng"), Bytes{0}, B("Live at the Roxy")}));
    const Bytes another = Frame("COMM", Cat({Bytes{0}, B("eng"), B("iTunSMPB"), Bytes{0}, B(" 0000")}));
    TScan scan(Cat({ID3V2(Cat({described, Latin1Frame("TIT2", "x"), another, plain})), Audio(300)}));
    EXPECT_EQ(scan.Info.Comment(), "Live at the Roxy");
    EXPECT_EQ(scan.Info.ID3V2Frames().Count(), 4);

    // With only described comments the first one serves.
    TScan onlyDescribed(Cat({ID3V2(Cat({another, described})), Audio(300)}));
    EXPECT_EQ(onlyDescribed.Info.Comment(), " 0000") << "leading blanks are kept";
}

// Lyrics3

TEST(MP3InfoLyrics3, Version2BeforeID3V1AndAtTheEndOfTheFile) {
    const Bytes lyrics =
        Lyrics3V2(Cat({Lyrics3V2Field("IND", "10"), Lyrics3V2Field("LYR", "Line one\r\nLine two"),
                       Lyrics3V2Field("ETT", "Caf\xE9")}));
    const StringList expected{"IND=10", "LYR=Line one\r\nLine two", "ETT=Caf\xC3\xA9"};

    TScan withTag(Cat({Audio(800), lyrics, SomeID3V1()}));
    EXPECT_EQ(withTag.Info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitLyrics}));
    EXPECT_EQ(Lines(withTag.Info.LyricsFields()), expected);
    EXPECT_EQ(withTag.Info.DataLength(), withTag.Size()) << "trailing blocks stay counted";

    TScan atEnd(Cat({Audio(800), lyrics}));
    EXPECT_EQ(atEnd.Info.FoundInfoTypes(), TMP3InfoType{mitLyrics});
    EXPECT_EQ(Lines(atEnd.Info.LyricsFields()), expected);

    // A block followed by anything else is not seen.
    TScan moved(Cat({Audio(800), lyrics, Audio(3)}));
    EXPECT_FALSE(moved.Info.FoundInfoTypes().Has(mitLyrics));
}

TEST(MP3InfoLyrics3, Version2BlocksThatDoNotAddUpAreAbsentWithNoFields) {
    const Bytes fields = Cat({Lyrics3V2Field("IND", "10"), Lyrics3V2Field("LYR", "Words")});
    const Bytes good = Lyrics3V2(fields);
    auto scanWith = [&](const Bytes& block) {
        auto scan = std::make_unique<TScan>(Cat({Audio(800), block, SomeID3V1()}));
        EXPECT_FALSE(scan->Info.FoundInfoTypes().Has(mitLyrics));
        EXPECT_TRUE(scan->Info.LyricsFields().Empty());
        EXPECT_TRUE(scan->Info.FoundInfoTypes().Has(mitID3V1));
    };
    const size_t sizeAt = good.size() - 15;
    {
        Bytes block = good; // the size digits do not reach back to the begin mark
        block[sizeAt + 5] = static_cast<uint8_t>(block[sizeAt + 5] - 1);
        scanWith(block);
    }
    {
        Bytes block = good; // not a number
        block[sizeAt] = 'x';
        scanWith(block);
    }
    {
        Bytes block = good; // zero size
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(sizeAt),
                  block.begin() + static_cast<std::ptrdiff_t>(sizeAt + 6), '0');
        scanWith(block);
    }
    {
        Bytes block = good; // larger than everything before it
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(sizeAt),
                  block.begin() + static_cast<std::ptrdiff_t>(sizeAt + 6), '9');
        scanWith(block);
    }
    {
        // The last field claims one byte more than the block holds.
        Bytes block = Lyrics3V2(Cat({Lyrics3V2Field("IND", "10"), B("LYR00006Words")}));
        scanWith(block);
    }
    {
        // A field size that is not a number.
        scanWith(Lyrics3V2(Cat({Lyrics3V2Field("IND", "10"), B("LYR0x005Words")})));
    }
}

TEST(MP3InfoLyrics3, Version1LyricsUpToTheEndMark) {
    const std::string words = "First line\r\nSecond line";
    TScan withTag(Cat({Audio(800), Lyrics3V1(words), SomeID3V1()}));
    EXPECT_EQ(withTag.Info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitLyrics}));
    EXPECT_EQ(Lines(withTag.Info.LyricsFields()), (StringList{"LYRICS=" + words}));

    TScan atEnd(Cat({Audio(800), Lyrics3V1(words)}));
    EXPECT_EQ(atEnd.Info.LyricsFields().ValueOf("LYRICS"), words);

    // Without a begin mark in reach there is no block.
    TScan noBegin(Cat({Audio(800), B("words"), B("LYRICSEND")}));
    EXPECT_FALSE(noBegin.Info.FoundInfoTypes().Has(mitLyrics));
}

TEST(MP3InfoLyrics3, Version1Of5100BytesIsReadInPiecesThroughASmallRing) {
    std::string words(5100, 'a');
    for (size_t i = 0; i < words.size(); i += 97) {
        words[i] = '\n';
    }
    for (int32_t capacity : {65536, 1024, 200}) {
        TScan scan(Cat({Audio(8000), Lyrics3V1(words), SomeID3V1()}), capacity);
        EXPECT_EQ(scan.Info.LyricsFields().ValueOf("LYRICS"), words) << capacity;
    }
    // Lyrics beyond 5100 bytes put the begin mark out of reach.
    TScan tooLong(Cat({Audio(8000), Lyrics3V1(words + "b"), SomeID3V1()}));
    EXPECT_FALSE(tooLong.Info.FoundInfoTypes().Has(mitLyrics));
}

// RIFF

TEST(MP3InfoRiff, DataChunkBoundsAndInfoList) {
    const Bytes audio = Audio(1001); // odd: the chunk carries a pad byte
    const Bytes format = Chunk("fmt ", Zeros(17));
    const Bytes info = InfoList({{"INAM", "Riff title"},
                                 {"IART", "Riff artist"},
                                 {"ICMT", ""},
                                 {"IGNR", "Ambient"},
                                 {"ICRD", "1998"}});
    const Bytes file = Riff(Cat({format, Chunk("data", audio), info}));
    TScan scan(file);
    EXPECT_EQ(scan.Info.FoundInfoTypes(), TMP3InfoType{mitRiff});
    const int32_t dataStart = 12 + static_cast<int32_t>(format.size()) + 8;
    EXPECT_EQ(scan.Info.DataStart(), dataStart);
    EXPECT_EQ(scan.Info.DataLength(), 1001);
    EXPECT_EQ(Lines(scan.Info.RiffInfo()),
              (StringList{"INAM=Riff title", "IART=Riff artist", "IGNR=Ambient", "ICRD=1998"}))
        << "an empty value adds no line";
    EXPECT_EQ(scan.Info.Title(), "Riff title");
    EXPECT_EQ(scan.Info.Artist(), "Riff artist");
    EXPECT_EQ(scan.Info.Genre(), "Ambient");
    EXPECT_EQ(scan.Info.Year(), "1998");
}

TEST(MP3InfoRiff, OtherListsAreWalkedPastAndAnID3ChunkEndsTheEntries) {
    const Bytes labels = Chunk("LIST", Cat({B("adtl"), Chunk("labl", B("label text"))}));
    Bytes infoContent = Cat({B("INFO"), Chunk("INAM", B(std::string_view("Name\0", 5))),
                             Chunk("IID3", Zeros(12)), Chunk("IART", B("Never read"))});
    const Bytes file = Riff(Cat({Chunk("data", Audio(400)), labels, Chunk("LIST", infoContent)}));
    TScan scan(file);
    EXPECT_EQ(Lines(scan.Info.RiffInfo()), (StringList{"INAM=Name"}));
}

TEST(MP3InfoRiff, ReadErrorsCostTheInfoEntriesButStopTheHeadScan) {
    const Bytes head = Riff(Chunk("data", Audio(2000)));
    const Bytes file = Cat({head, InfoList({{"INAM", "Lost"}}), Audio(500), SomeID3V1()});
    const int64_t listStart = static_cast<int64_t>(head.size());

    BadSpotStream badList(file, listStart, listStart + 1);
    TMPStreamReader reader(65536);
    reader.Open(&badList, true);
    TMP3Info info;
    info.Attach(&reader);
    info.ReadHead();
    EXPECT_TRUE(info.ReadTail());
    EXPECT_TRUE(info.RiffInfo().Empty());
    EXPECT_EQ(info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitRiff}))
        << "the rest of the tail scan goes on";

    BadSpotStream badStart(file, 0, 1);
    reader.Open(&badStart, true);
    info.Attach(&reader);
    EXPECT_THROW(info.ReadHead(), EMPError);
}

TEST(MP3InfoRiff, WalksThatDoNotReachADataChunkAreNoWrapper) {
    // A chunk size of zero ends the walk.
    TScan zeroChunk(Cat({B("RIFF"), LittleEndian(100), B("WAVE"), ChunkHeader("fmt ", 0), Audio(200)}));
    EXPECT_FALSE(zeroChunk.Info.FoundInfoTypes().Has(mitRiff));
    EXPECT_EQ(zeroChunk.Info.DataStart(), 0);
    EXPECT_EQ(zeroChunk.Info.DataLength(), zeroChunk.Size());
    // A data chunk of size 0, or of "unknown" size 0xFFFFFFFF, is refused too.
    for (uint32_t size : {0u, 0xFFFFFFFFu}) {
        TScan scan(Cat({B("RIFF"), LittleEndian(100), B("WAVE"), ChunkHeader("data", size), Audio(200)}));
        EXPECT_FALSE(scan.Info.FoundInfoTypes().Has(mitRiff)) << size;
        EXPECT_EQ(scan.Info.DataStart(), 0);
    }
    // Not "RIFF".
    TScan other(Cat({B("RIFX"), LittleEndian(100), B("WAVE"), Chunk("data", Audio(200))}));
    EXPECT_FALSE(other.Info.FoundInfoTypes().Has(mitRiff));
}

TEST(MP3InfoRiff, InfoEntriesLargerThanTheRingEndTheListKeepingEarlierOnes) {
    const std::string huge(3000, 'h');
    const Bytes info = InfoList({{"INAM", "Kept"}, {"ICMT", huge}, {"IART", "After"}});
    TScan small(Riff(Cat({Chunk("data", Audio(100)), info})), 1024);
    EXPECT_EQ(Lines(small.Info.RiffInfo()), (StringList{"INAM=Kept"}));
    TScan large(Riff(Cat({Chunk("data", Audio(100)), info})));
    EXPECT_EQ(large.Info.RiffInfo().Count(), 3);
}

// MacBinary

TEST(MP3InfoMacBinary, DataForkBoundsAndTailTagsAtTheForkEnd) {
    const Bytes fork = Cat({Audio(1500), SomeID3V1()});
    // A resource fork that ends in what looks like another ID3v1 tag: it must not be taken.
    TID3V1Fields decoy;
    decoy.Title = "Resource fork";
    const Bytes resource = Cat({Audio(300), ID3V1(decoy)});
    TScan scan(
        Cat({MacBinaryHeader(static_cast<uint32_t>(fork.size()), static_cast<uint32_t>(resource.size())),
             fork, resource}));
    EXPECT_EQ(scan.Info.FoundInfoTypes(), (TMP3InfoType{mitMacBin, mitID3V1}));
    EXPECT_EQ(scan.Info.DataStart(), 128);
    EXPECT_EQ(scan.Info.DataLength(), static_cast<int32_t>(fork.size()));
    EXPECT_EQ(scan.Info.Title(), "V1 Title");
}

TEST(MP3InfoMacBinary, HeadersThatBreakTheRulesAreNotTaken) {
    const Bytes fork = Audio(600);
    auto header = [&] { return MacBinaryHeader(600, 0); };
    std::vector<std::pair<std::string, Bytes>> cases;
    {
        Bytes h = header();
        h[0] = 1;
        cases.emplace_back("byte 0", h);
    }
    {
        Bytes h = header();
        h[74] = 1;
        cases.emplace_back("byte 74", h);
    }
    {
        Bytes h = header();
        h[82] = 1;
        cases.emplace_back("byte 82", h);
    }
    cases.emplace_back("empty name", MacBinaryHeader(600, 0, ""));
    cases.emplace_back("name of 32", MacBinaryHeader(600, 0, std::string(32, 'n')));
    cases.emplace_back("negative data fork", MacBinaryHeader(0x80000000u, 0));
    cases.emplace_back("negative resource fork", MacBinaryHeader(600, 0xFFFFFFFFu));
    for (const auto& [what, h] : cases) {
        TScan scan(Cat({h, fork}));
        EXPECT_FALSE(scan.Info.FoundInfoTypes().Has(mitMacBin)) << what;
        EXPECT_EQ(scan.Info.DataStart(), 0) << what;
    }
    // Name lengths 1 and 31 are taken.
    for (size_t length : {1u, 31u}) {
        TScan scan(Cat({MacBinaryHeader(600, 0, std::string(length, 'n')), fork}));
        EXPECT_TRUE(scan.Info.FoundInfoTypes().Has(mitMacBin)) << length;
    }
}

// Structures combined

TEST(MP3InfoCombined, ID3V2AtTheHeadWithLyricsAndID3V1AtTheTail) {
    const Bytes tag = ID3V2(Cat({Latin1Frame("TIT2", "Head title"), Zeros(100)}));
    const Bytes file = Cat({tag, Audio(3000), Lyrics3V2(Lyrics3V2Field("LYR", "la la")), SomeID3V1()});
    TScan scan(file);
    EXPECT_EQ(scan.Info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitID3V2, mitLyrics}));
    EXPECT_EQ(scan.Info.DataStart(), static_cast<int32_t>(tag.size()));
    EXPECT_EQ(scan.Info.DataLength(), static_cast<int32_t>(file.size() - tag.size()));
    EXPECT_EQ(scan.Info.Title(), "Head title") << "longer than the ID3v1 title";
}

TEST(MP3InfoCombined, ID3V2InsideTheRiffDataChunkShortensTheData) {
    const Bytes tag = ID3V2(Cat({Latin1Frame("TIT2", "Inside"), Zeros(40)}));
    const Bytes data = Cat({tag, Audio(2000)});
    const Bytes info = InfoList({{"INAM", "Outside title"}});
    TScan scan(Cat({Riff(Cat({Chunk("fmt ", Zeros(16)), Chunk("data", data), info})), SomeID3V1()}));
    EXPECT_EQ(scan.Info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitID3V2, mitRiff}));
    const int32_t riffDataStart = 12 + 24 + 8;
    EXPECT_EQ(scan.Info.DataStart(), riffDataStart + static_cast<int32_t>(tag.size()));
    EXPECT_EQ(scan.Info.DataLength(), 2000);
    EXPECT_EQ(scan.Info.RiffInfo().ValueOf("INAM"), "Outside title");
    EXPECT_EQ(scan.Info.Title(), "Inside") << "the ID3v2 tag comes first";
}

TEST(MP3InfoCombined, MacBinaryAroundAnID3V2TaggedFileWithTrailingTags) {
    const Bytes tag = ID3V2(Cat({Latin1Frame("TPE1", "Mac artist"), Zeros(20)}));
    const Bytes fork = Cat({tag, Audio(1200), Lyrics3V1("mac words"), SomeID3V1()});
    TScan scan(Cat({MacBinaryHeader(static_cast<uint32_t>(fork.size()), 77), fork, Audio(77)}));
    EXPECT_EQ(scan.Info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitID3V2, mitMacBin, mitLyrics}));
    EXPECT_EQ(scan.Info.DataStart(), 128 + static_cast<int32_t>(tag.size()));
    EXPECT_EQ(scan.Info.DataLength(), static_cast<int32_t>(fork.size() - tag.size()));
    EXPECT_EQ(scan.Info.LyricsFields().ValueOf("LYRICS"), "mac words");
    EXPECT_EQ(scan.Info.Artist(), "Mac artist");
}

TEST(MP3InfoCombined, NonSeekableSourcesGetOnlyTheHeadScan) {
    const Bytes tag = ID3V2(Cat({Latin1Frame("TIT2", "Streamed"), Zeros(20)}));
    TScan scan(Cat({tag, Audio(5000), SomeID3V1()}), 65536, false);
    EXPECT_TRUE(scan.HeadResult);
    EXPECT_FALSE(scan.TailResult);
    EXPECT_EQ(scan.Info.FoundInfoTypes(), TMP3InfoType{mitID3V2});
    EXPECT_EQ(scan.Info.DataStart(), static_cast<int32_t>(tag.size()));
    EXPECT_EQ(scan.Info.DataLength(), TMP3Info::kUnknownLength);
    EXPECT_EQ(scan.Reader.Position(), scan.Info.DataStart()) << "the reader stands on the audio data";

    // A RIFF wrapper on a stream gives its data bounds.
    TScan riff(Riff(Cat({Chunk("data", Audio(300)), InfoList({{"INAM", "x"}})})), 65536, false);
    EXPECT_TRUE(riff.Info.FoundInfoTypes().Has(mitRiff));
    EXPECT_EQ(riff.Info.DataStart(), 20);
    EXPECT_EQ(riff.Info.DataLength(), 300);
    EXPECT_TRUE(riff.Info.RiffInfo().Empty());
}

TEST(MP3InfoCombined, HeadScanLeavesTheReaderOnTheAudioData) {
    const Bytes tag = ID3V2(Cat({Latin1Frame("TIT2", "t"), Zeros(10)}));
    TMPMemoryStream stream(Cat({MacBinaryHeader(3000, 0), tag, Audio(3000)}));
    TMPStreamReader reader(65536);
    reader.Open(&stream, true);
    TMP3Info info;
    info.Attach(&reader);
    EXPECT_TRUE(info.ReadHead());
    EXPECT_EQ(reader.Position(), info.DataStart());
    EXPECT_EQ(reader.Position(), 128 + static_cast<int32_t>(tag.size()));
    ASSERT_TRUE(reader.NeedContiguous(1));
    EXPECT_EQ(reader.Data()[0], Audio(1)[0]);
}

// Getters

TEST(MP3InfoGetters, TheRicherTagWinsAndID3V1FillsWhatItLacks) {
    TID3V1Fields fields;
    fields.Title = std::string(30, 'a');
    auto withV1 = [&](const std::string& tit2, const std::string& inam) {
        Bytes file = Riff(Cat({Chunk("data", Cat({ID3V2(Latin1Frame("TIT2", tit2)), Audio(100)})),
                               InfoList({{"INAM", inam}})}));
        return std::make_unique<TScan>(Cat({file, ID3V1(fields)}));
    };
    struct Case {
        std::string Tit2, Inam, Expected;
    };
    // The lame case: an ID3v1 copy as long as the ID3v2 text, made of question marks, must not win.
    for (const Case& c :
         {Case{std::string(30, '?'), "", std::string(30, '?')}, Case{"short", std::string(31, 'c'), "short"},
          Case{"", "riff", "riff"}, Case{"", "", std::string(30, 'a')}}) {
        SCOPED_TRACE(c.Tit2 + " / " + c.Inam);
        EXPECT_EQ(withV1(c.Tit2, c.Inam)->Info.Title(), c.Expected);
    }
}

TEST(MP3InfoGetters, EachGetterReadsItsOwnKeys) {
    TID3V1Fields fields; // short ID3v1 values lose to the longer ones of the other tags, one getter each
    fields.Title = "t";
    fields.Artist = "a";
    fields.Album = "b";
    fields.Year = "1";
    fields.Comment = "c";
    fields.Genre = 0; // "Blues"
    fields.Track = 9;
    const Bytes frames = Cat({Latin1Frame("TIT2", "Frame title"), Latin1Frame("TALB", "Frame album"),
                              Frame("COMM", Cat({Bytes{0}, B("eng"), Bytes{0}, B("Frame comment")})),
                              Latin1Frame("TCON", "(4)"), Latin1Frame("TIT1", "Content group longer")});
    const Bytes info = InfoList({{"IART", "Riff artist"}, {"ICRD", "2002-01-01"}, {"INAM", "x"}});
    TScan scan(Cat({Riff(Cat({Chunk("data", Cat({ID3V2(frames), Audio(100)})), info})), ID3V1(fields)}));
    EXPECT_EQ(scan.Info.Title(), "Frame title");
    EXPECT_EQ(scan.Info.Artist(), "Riff artist");
    EXPECT_EQ(scan.Info.Album(), "Frame album");
    EXPECT_EQ(scan.Info.Year(), "2002-01-01");
    EXPECT_EQ(scan.Info.Comment(), "Frame comment");
    EXPECT_EQ(scan.Info.Genre(), "Disco") << "TCON (4) before ID3v1's Blues";
    EXPECT_EQ(scan.Info.Track(), "9");
}

TEST(MP3InfoGetters, NeedInfoTypeChoosesTheTagsTheGettersMayUse) {
    TID3V1Fields fields;
    fields.Title = "ID3v1 title, the longest one";
    const Bytes file = Cat({ID3V2(Latin1Frame("TIT2", "ID3v2 title, longer")), Audio(300), ID3V1(fields)});
    TScan scan(file);
    ASSERT_EQ(scan.Info.Title(), "ID3v2 title, longer");

    scan.Info.SetNeedInfoType({mitID3V1});
    EXPECT_EQ(scan.Info.Title(), "ID3v1 title, the longest one");
    scan.Info.SetNeedInfoType({mitRiff});
    EXPECT_EQ(scan.Info.Title(), "") << "no RIFF wrapper: the player then falls back to the file name";
    scan.Info.SetNeedInfoType({mitMacBin, mitLyrics});
    EXPECT_EQ(scan.Info.Title(), "");
    // An empty version 1.0 comment leaves bytes 125 and 126 zero: track 0, which is no track.
    scan.Info.SetNeedInfoType({mitID3V1});
    EXPECT_EQ(scan.Info.ID3V1Tags().ValueOf("TRACK"), "0");
    EXPECT_EQ(scan.Info.Track(), "");
    scan.Info.SetNeedInfoType({mitID3V2, mitRiff});
    EXPECT_EQ(scan.Info.Track(), "");
    // Scanning is not restricted by it.
    EXPECT_EQ(scan.Info.FoundInfoTypes(), (TMP3InfoType{mitID3V1, mitID3V2}));
}

TEST(MP3InfoGetters, GenreFromTconReferenceAndRefinement) {
    TID3V1Fields fields;
    fields.Genre = 200; // no name
    auto genreOf = [&](std::string_view tcon) {
        TScan scan(Cat({ID3V2(Latin1Frame("TCON", tcon)), Audio(100), ID3V1(fields)}));
        return scan.Info.Genre();
    };
    EXPECT_EQ(genreOf("(31)"), "Trance");
    EXPECT_EQ(genreOf("(31)Goa Trance"), "Goa Trance");
    EXPECT_EQ(genreOf("Shoegaze"), "Shoegaze");
    EXPECT_EQ(genreOf("(200)"), "");
}
