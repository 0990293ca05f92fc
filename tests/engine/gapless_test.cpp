// The iTunes comment that stands in for the LAME tag, and the heard part of a stream that the encoder's
// delay and padding leave.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../tags/tag_file_builder.h"
#include "gapless.h"

namespace {

using tagtest::Bytes;
using namespace tunelo;

// ---- iTunSMPB ----

TEST(ITunSmpb, ParsesDelayPaddingAndLength) {
    const struct {
        const char* Text;
        bool Ok;
        int32_t Delay;
        int32_t Padding;
        int64_t Samples;
    } cases[] = {
        {" 00000000 00000840 000001CA 00000000003F1B76 00000000 00000000", true, 0x840, 0x1CA, 0x3F1B76},
        {" 00000000 00000210 000007c4 0000000000000000", true, 0x210, 0x7C4, kUnknownSamples},
        {"00000000 00000210", false, 0, 0, 0},
        {" 00000000 0000021X 000007C4 0000000000000000", false, 0, 0, 0},
        {" 00000000 00100000 000007C4 0000000000000000", false, 0, 0, 0}, // a delay of 17 s
        {"", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        TMPEncoderGap gap;
        EXPECT_EQ(ParseITunSmpb(c.Text, std::strlen(c.Text), gap), c.Ok) << c.Text;
        EXPECT_EQ(gap.Known, c.Ok);
        if (c.Ok) {
            EXPECT_EQ(gap.Delay, c.Delay);
            EXPECT_EQ(gap.Padding, c.Padding);
            EXPECT_EQ(gap.Samples, c.Samples);
        }
    }
}

Bytes Comment(uint8_t encoding, const Bytes& description, const Bytes& text) {
    return tagtest::Cat({Bytes{encoding}, tagtest::B("eng"), description, text});
}

TEST(ITunSmpb, IsFoundInTheCommentFramesOfEveryTagVersion) {
    using namespace tagtest;
    const std::string smpb = " 00000000 00000210 000007C4 0000000000AC4400";
    const Bytes latin1 = Comment(0, Cat({B("iTunSMPB"), Zeros(1)}), B(smpb));
    const Bytes wide = Comment(1, Utf16(u"iTunSMPB", false, true, true),
                               Utf16(u" 00000000 00000210 000007C4 0000000000AC4400", false, true));
    const Bytes other = Comment(0, Cat({B("iTunNORM"), Zeros(1)}), B(" 00000001 00000002 00000003 00000004"));
    const Bytes v22Frame = Cat({B("COM"), Bytes{0, 0, uint8_t(latin1.size())}, latin1});
    const Bytes v24Frame = Cat({B("COMM"), SyncSafe(uint32_t(latin1.size())), Zeros(2), latin1});
    const struct {
        const char* Name;
        Bytes Tag;
        bool Found;
    } cases[] = {
        {"v2.3 after another comment", ID3V2(Cat({Frame("COMM", other), Frame("COMM", latin1), Zeros(20)})),
         true},
        {"v2.3 UTF-16", ID3V2(Frame("COMM", wide)), true},
        {"v2.2", ID3V2(v22Frame, 2), true},
        {"v2.4", ID3V2(v24Frame, 4), true},
        {"only iTunNORM", ID3V2(Frame("COMM", other)), false},
        {"unsynchronised tag", ID3V2(Frame("COMM", latin1), 3, 0x80), false},
        {"frame larger than the tag", ID3V2(Cat({B("COMM"), BigEndian(5000), Zeros(2), latin1})), false},
        {"no tag", Cat({B("TAG"), Zeros(200)}), false},
    };
    for (const auto& c : cases) {
        TMPEncoderGap gap;
        EXPECT_EQ(FindITunSmpb(c.Tag.data(), c.Tag.size(), gap), c.Found) << c.Name;
        if (c.Found) {
            EXPECT_EQ(gap.Delay, 0x210) << c.Name;
            EXPECT_EQ(gap.Padding, 0x7C4) << c.Name;
            EXPECT_EQ(gap.Samples, 0xAC4400) << c.Name;
        }
    }
    // A tag cut short (the caller had only part of it) is read as far as it goes, never beyond.
    const Bytes whole = ID3V2(Frame("COMM", latin1));
    TMPEncoderGap gap;
    EXPECT_FALSE(FindITunSmpb(whole.data(), whole.size() - 5, gap));
}

// ---- The heard range ----

TEST(HeardRange, TrimsDelayPlusTheDecodersDelayAndPaddingLessIt) {
    const struct {
        const char* Name;
        TMPEncoderGap Gap;
        int64_t Decoded;
        int64_t Begin;
        int64_t End;
    } cases[] = {
        {"unknown gap keeps all", {}, 46080, 0, INT64_MAX},
        {"lame 1 s at 44.1 kHz", {true, 576, 1404, kUnknownSamples}, 46080, 1105, 46080 - 875},
        {"padding below 529 cuts nothing at the end", {true, 576, 300, kUnknownSamples}, 46080, 1105, 46080},
        {"length unknown: start only", {true, 576, 1404, kUnknownSamples}, kUnknownSamples, 1105, INT64_MAX},
        {"stated length wins", {true, 576, 0, 1000}, kUnknownSamples, 1105, 2105},
        {"stated length beyond the stream", {true, 576, 0, 100000}, 46080, 1105, 46080},
        {"delay beyond the stream", {true, 4000, 1404, kUnknownSamples}, 2304, 2304, 2304},
        {"padding beyond the stream", {true, 576, 4095, kUnknownSamples}, 2304, 1105, 1105},
    };
    for (const auto& c : cases) {
        const TMPHeardRange range = HeardRange(c.Gap, c.Decoded);
        EXPECT_EQ(range.Begin, c.Begin) << c.Name;
        EXPECT_EQ(range.End, c.End) << c.Name;
        EXPECT_GE(range.End, range.Begin) << c.Name;
    }
}

TEST(HeardRange, PartsOfFramesCoverTheRangeExactlyOnce) {
    const TMPHeardRange range = HeardRange({true, 576, 1404, kUnknownSamples}, 40 * 1152);
    int64_t heard = 0;
    int64_t expectedNext = range.Begin;
    for (int64_t start = 0; start < 40 * 1152; start += 1152) {
        const TMPFramePart part = HeardPartOfFrame(start, 1152, range.Begin, range.End);
        if (part.Count > 0) {
            EXPECT_EQ(start + part.First, expectedNext);
            expectedNext = start + part.First + part.Count;
        }
        heard += part.Count;
    }
    EXPECT_EQ(heard, 44100);
    EXPECT_EQ(expectedNext, range.End);
    const TMPFramePart none = HeardPartOfFrame(0, 1152, 1152, INT64_MAX);
    EXPECT_EQ(none.Count, 0);
}

} // namespace
