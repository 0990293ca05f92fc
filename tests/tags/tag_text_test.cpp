// Tests of the tag reader's text rules: UTF-8 kept, Latin-1 taken where the bytes are not UTF-8, UTF-16 by
// its byte-order mark, fixed fields cut at zero and trailing blanks; the genre table and content-type
// references.
#include <gtest/gtest.h>

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

std::string Text(std::initializer_list<int> bytes) {
    std::string text;
    for (int b : bytes) {
        text += static_cast<char>(b);
    }
    return text;
}

std::string Fixed(const Bytes& bytes) {
    return FixedText(bytes.data(), bytes.size());
}

std::string FromUtf16(const Bytes& bytes, bool bigEndian) {
    return TextFromUtf16(bytes.data(), bytes.size(), bigEndian);
}

} // namespace

TEST(TagText, WellFormedUtf8IsKeptAsItIs) {
    const std::string samples[] = {
        "plain ascii",
        "Caf\xC3\xA9",                  // 2-byte form
        "\xE6\x97\xA5\xE6\x9C\xAC",     // 3-byte forms
        "\xF0\x9F\x8E\xB5 note",        // 4-byte form
        "\xEF\xBF\xBF\xF4\x8F\xBF\xBF", // U+FFFF and U+10FFFF, the highest code points
    };
    for (const std::string& sample : samples) {
        EXPECT_TRUE(IsValidUtf8(sample)) << sample;
        EXPECT_EQ(TextFromBytes(sample), sample);
    }
}

TEST(TagText, BytesThatAreNotUtf8AreReadAsLatin1) {
    // "Café" in Latin-1: a lone 0xE9 starts a 3-byte form that never continues.
    EXPECT_EQ(TextFromBytes(Text({'C', 'a', 'f', 0xE9})), "Caf\xC3\xA9");
    // One bad byte turns the whole text to Latin-1, valid-looking pairs included.
    EXPECT_EQ(TextFromBytes(Text({0xC3, 0xA9, 0xFF})), "\xC3\x83\xC2\xA9\xC3\xBF");
    // C1 controls keep their Latin-1 code points.
    EXPECT_EQ(TextFromBytes(Text({0x80, 0x9F})), "\xC2\x80\xC2\x9F");

    const std::string malformed[] = {
        Text({0xC0, 0xAF}),             // overlong '/'
        Text({0xE0, 0x80, 0xAF}),       // overlong 3-byte form
        Text({0xF0, 0x80, 0x80, 0xAF}), // overlong 4-byte form
        Text({0xED, 0xA0, 0x80}),       // encoded surrogate U+D800
        Text({0xF4, 0x90, 0x80, 0x80}), // above U+10FFFF
        Text({0xF5, 0x80, 0x80, 0x80}), // lead byte that never starts a form
        Text({0xE6, 0x97}),             // cut off at the end
        Text({0xE6, 0x41, 0x41}),       // continuation missing
        Text({0x80}),                   // lone continuation byte
    };
    for (const std::string& bytes : malformed) {
        EXPECT_FALSE(IsValidUtf8(bytes));
        const std::string text = TextFromBytes(bytes);
        EXPECT_TRUE(IsValidUtf8(text));
        EXPECT_EQ(CharacterCount(text), bytes.size()) << "one character per Latin-1 byte";
    }
}

TEST(TagText, FixedFieldEndsAtZeroAndLosesTrailingBlanksAndControls) {
    EXPECT_EQ(Fixed(B(std::string("Song\0garbage", 12))), "Song");
    EXPECT_EQ(Fixed(B("Song  \t\r\n \x01")), "Song");
    EXPECT_EQ(Fixed(B("  leading kept")), "  leading kept");
    EXPECT_EQ(Fixed(B("inner  \t blanks kept ")), "inner  \t blanks kept");
    EXPECT_EQ(Fixed(Zeros(30)), "");
    EXPECT_EQ(Fixed(B("     ")), "");
    // The field never reads beyond its size, even without a zero byte.
    const Bytes field = B("ABCDEFGH");
    EXPECT_EQ(FixedText(field.data(), 3), "ABC");
    // Latin-1 in a fixed field, cut before the conversion.
    EXPECT_EQ(Fixed(Bytes{'N', 0xE4, 'h', ' ', 0}), "N\xC3\xA4h");
}

TEST(TagText, Utf8CutByAFullFieldLosesOnlyTheCutCharacter) {
    // "a" and ten 3-byte characters are 31 bytes; a 30-byte field cuts the last one after two bytes.
    const std::string kana = "\xE3\x81\x82";
    std::string title = "a";
    for (int i = 0; i < 10; ++i) {
        title += kana;
    }
    const Bytes field = tagtest::Fixed(title, 30);
    std::string expected = "a";
    for (int i = 0; i < 9; ++i) {
        expected += kana;
    }
    EXPECT_EQ(FixedText(field.data(), field.size()), expected);
    // Cut after the first byte of a 2-byte character, with blanks before it.
    EXPECT_EQ(FixedText(Bytes{0xC3, 0xA9, ' ', 0xC3}.data(), 4), "\xC3\xA9");
    // A Latin-1 field that ends in a high byte is Latin-1: nothing before it is beyond ASCII.
    const Bytes latin = tagtest::Fixed(std::string(29, 'x') + "\xE9", 30);
    EXPECT_EQ(FixedText(latin.data(), latin.size()), std::string(29, 'x') + "\xC3\xA9");
    // Invalid bytes before the end, or a field that did not fill up, keep the Latin-1 reading.
    const Bytes mixed = tagtest::Fixed("\xE9t\xE9 \xC3\xA9t\xC3", 8);
    EXPECT_EQ(FixedText(mixed.data(), mixed.size()), TextFromBytes(std::string("\xE9t\xE9 \xC3\xA9t\xC3")));
    const Bytes notFull = tagtest::Fixed("\xC3\xA9t\xC3", 8);
    EXPECT_EQ(FixedText(notFull.data(), notFull.size()), "\xC3\x83\xC2\xA9t\xC3\x83");
}

TEST(TagText, Utf16FollowsItsByteOrderMarkAndDropsIt) {
    const std::u16string text = u"Gr\u00FC\u00DFe \u65E5";
    const std::string expected = "Gr\xC3\xBC\xC3\x9F"
                                 "e \xE6\x97\xA5";
    // The mark wins over the default order, both ways.
    EXPECT_EQ(FromUtf16(Utf16(text, false, true), true), expected);
    EXPECT_EQ(FromUtf16(Utf16(text, true, true), false), expected);
    // Without a mark the default order applies.
    EXPECT_EQ(FromUtf16(Utf16(text, false, false), false), expected);
    EXPECT_EQ(FromUtf16(Utf16(text, true, false), true), expected);
    // A mark alone is empty text.
    EXPECT_EQ(FromUtf16(Utf16(u"", false, true), false), "");
}

TEST(TagText, Utf16EndsAtZeroUnitAndTrailingBlanks) {
    EXPECT_EQ(FromUtf16(Cat({Utf16(u"One", false, true, true), Utf16(u"Two", false, false)}), false), "One");
    EXPECT_EQ(FromUtf16(Utf16(u"Title  \r\n", true, true), false), "Title");
    // An odd last byte is no code unit.
    EXPECT_EQ(FromUtf16(Cat({Utf16(u"AB", false, true), Bytes{'C'}}), false), "AB");
    // A single byte is not even a mark.
    EXPECT_EQ(FromUtf16(Bytes{0xFF}, false), "");
}

TEST(TagText, Utf16SurrogatesPairUpOrBecomeReplacementCharacters) {
    EXPECT_EQ(FromUtf16(Utf16(u"\U0001F3B5!", false, true), false), "\xF0\x9F\x8E\xB5!");
    EXPECT_EQ(FromUtf16(Utf16(u"\U0001F3B5", true, true), false), "\xF0\x9F\x8E\xB5");
    const std::u16string lonelyHigh = {0xD83C, u'x'};
    const std::u16string lonelyLow = {u'x', 0xDFB5};
    const std::u16string highAtEnd = {u'x', 0xD83C};
    EXPECT_EQ(FromUtf16(Utf16(lonelyHigh, false, true), false), "\xEF\xBF\xBDx");
    EXPECT_EQ(FromUtf16(Utf16(lonelyLow, false, true), false), "x\xEF\xBF\xBD");
    EXPECT_EQ(FromUtf16(Utf16(highAtEnd, false, true), false), "x\xEF\xBF\xBD");
}

TEST(TagText, CharacterCountCountsCodePointsNotBytes) {
    EXPECT_EQ(CharacterCount(""), 0u);
    EXPECT_EQ(CharacterCount("abc"), 3u);
    EXPECT_EQ(CharacterCount("Caf\xC3\xA9"), 4u);
    EXPECT_EQ(CharacterCount("\xE6\x97\xA5\xF0\x9F\x8E\xB5"), 2u);
}

TEST(GenreNames, RowsAsThePlayerNamesThem) {
    ASSERT_EQ(GenreNames.size(), 256u);
    EXPECT_EQ(GenreNames[0], "Blues");
    EXPECT_EQ(GenreNames[12], "Other");
    EXPECT_EQ(GenreNames[17], "Rock");
    EXPECT_EQ(GenreNames[79], "Hard Rock");
    EXPECT_EQ(GenreNames[147], "Synthpop");
    EXPECT_EQ(GenreNames[248], "Heavy Rock(J)");
    EXPECT_EQ(GenreNames[255], "Anime(J)");
    // The rows whose spelling differs from the published list.
    EXPECT_EQ(GenreNames[81], "Folk/Rock");
    EXPECT_EQ(GenreNames[118], "Rhysmic Soul");
    EXPECT_EQ(GenreNames[125], "Dance-Hall");
    EXPECT_EQ(GenreNames[128], "Hardcore");
    EXPECT_EQ(GenreNames[129], "Club-House");
    EXPECT_EQ(GenreNames[138], "Blank Metal");
    EXPECT_EQ(GenreNames[140], "Contemporrary Christian");
    EXPECT_EQ(GenreNames[144], "Trash Metal");
    for (size_t i = 0; i < GenreNames.size(); ++i) {
        EXPECT_EQ(GenreNames[i].empty(), i >= 148 && i <= 247) << "row " << i;
    }
}

TEST(GenreNames, ContentTypeReferencesResolveThroughTheTable) {
    EXPECT_EQ(GenreFromContentType("(17)"), "Rock");
    EXPECT_EQ(GenreFromContentType("(0)"), "Blues");
    EXPECT_EQ(GenreFromContentType("(255)"), "") << "255 is no genre";
    EXPECT_EQ(GenreFromContentType("13"), "Pop") << "a bare number is a reference too";
    EXPECT_EQ(GenreFromContentType("255"), "");
    EXPECT_EQ(GenreFromContentType("(200)"), "");
    EXPECT_EQ(GenreFromContentType("(RX)"), "Remix");
    EXPECT_EQ(GenreFromContentType("(CR)"), "Cover");
    // Several values of one frame each resolve; one that names no genre drops out.
    EXPECT_EQ(GenreFromContentType("17; 8"), "Rock; Jazz");
    EXPECT_EQ(GenreFromContentType("Rock; (8); 255"), "Rock; Jazz");
    // The first of several references.
    EXPECT_EQ(GenreFromContentType("(51)(39)"), "Techno-Industrial");
    // A refinement is the more exact name.
    EXPECT_EQ(GenreFromContentType("(4)Eurodisco"), "Eurodisco");
    EXPECT_EQ(GenreFromContentType("(17)(18)Krautrock"), "Krautrock");
    // "((" escapes a refinement that begins with '('.
    EXPECT_EQ(GenreFromContentType("((Mine)"), "(Mine)");
    EXPECT_EQ(GenreFromContentType("(17)((live)"), "(live)");
    // Plain text, and parentheses that are no reference, stay as they are.
    EXPECT_EQ(GenreFromContentType("Trip-Hop"), "Trip-Hop");
    EXPECT_EQ(GenreFromContentType(""), "");
    EXPECT_EQ(GenreFromContentType("(256)"), "(256)");
    EXPECT_EQ(GenreFromContentType("(x)"), "(x)");
    EXPECT_EQ(GenreFromContentType("(17"), "(17");
    EXPECT_EQ(GenreFromContentType("()"), "()");
    EXPECT_EQ(GenreFromContentType("(17)(no)"), "(no)");
}
