// The LAME extension of the information frame: read from files lame writes here, with its CRC guarding
// every byte from the frame's start; and the iTunes comment that stands in for it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "MPGapless.h"
#include "MPLameTag.h"
#include "player_test_support.h"
#include "tag_file_builder.h"

namespace {

using playertest::ReadBytes;
using playertest::TempDir;
using tagtest::Bytes;
using namespace tunelo;

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Where "Xing" or "Info" stands in the first frame of a file lame wrote without an ID3v2 tag.
int32_t XingOffset(const Bytes& file) {
    for (int32_t offset : {13, 21, 36}) {
        if (file.size() > size_t(offset) + 4 &&
            (std::memcmp(&file[offset], "Xing", 4) == 0 || std::memcmp(&file[offset], "Info", 4) == 0)) {
            return offset;
        }
    }
    return -1;
}

struct TLameFile {
    Bytes Data;
    int32_t XingAt = -1;
};

TLameFile EncodeSine(const TempDir& dir, const std::string& lameOptions, int rate, int channels,
                     double amplitude) {
    const std::string wav = dir.Path("in.wav");
    const std::string mp3 = dir.Path("out.mp3");
    EXPECT_EQ(Run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " + wav +
                  " synth 0.5 sine 1000 vol " + std::to_string(amplitude) + " 2>/dev/null"),
              0);
    EXPECT_EQ(Run("lame --quiet --resample " + std::to_string(rate / 1000.0) + " " + lameOptions + " " + wav +
                  " " + mp3),
              0);
    TLameFile file;
    file.Data = ReadBytes(mp3);
    file.XingAt = XingOffset(file.Data);
    return file;
}

TEST(LameCrc, IsTheCrc16LameWrites) {
    // The published check value of this CRC (polynomial 0x8005 reflected, start 0) over "123456789".
    const std::string check = "123456789";
    EXPECT_EQ(LameCrc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xBB3D);
    EXPECT_EQ(LameCrc16(nullptr, 0), 0);
}

struct TLameCase {
    const char* Options;
    int Rate;
    int Channels;
};

class LameTagFromLame : public ::testing::TestWithParam<TLameCase> {};

TEST_P(LameTagFromLame, GivesLamesDelayAndAPaddingThatFillsTheLastFrame) {
    const TLameCase& c = GetParam();
    TempDir dir;
    const TLameFile file = EncodeSine(dir, c.Options, c.Rate, c.Channels, 0.5);
    ASSERT_GE(file.XingAt, 0);
    const int32_t frameLength = static_cast<int32_t>(std::min<size_t>(file.Data.size(), 1441));
    TMPLameTag tag;
    ASSERT_TRUE(ReadLameTag(file.Data.data(), frameLength, file.XingAt, tag));
    EXPECT_EQ(tag.Encoder.substr(0, 4), "LAME");
    // lame's encoder delay is 576 samples at every rate.
    EXPECT_EQ(tag.EncoderDelay, 576);
    const int32_t frameSamples = c.Rate >= 32000 ? 1152 : 576;
    const int64_t source = c.Rate / 2; // 0.5 s
    const int64_t total = source + tag.EncoderDelay + tag.EncoderPadding;
    EXPECT_EQ(total % frameSamples, 0) << "delay + music + padding fill whole frames";
    EXPECT_GE(tag.EncoderPadding, 0);
    EXPECT_LT(tag.EncoderPadding, frameSamples + 1152);
}

INSTANTIATE_TEST_SUITE_P(Encodings, LameTagFromLame,
                         ::testing::Values(TLameCase{"-b 128", 44100, 2}, TLameCase{"-V 2", 48000, 2},
                                           TLameCase{"-b 64 -m m", 22050, 1}, TLameCase{"-V 5 -m m", 8000, 1},
                                           TLameCase{"-b 96 -p", 32000, 2}),
                         [](const auto& info) {
                             return "rate" + std::to_string(info.param.Rate) +
                                    (info.param.Channels == 1 ? "_mono" : "_stereo") + "_" +
                                    std::to_string(info.index);
                         });

TEST(LameTag, ACorruptByteAnywhereBeforeItsCrcMakesTheTagUntrusted) {
    TempDir dir;
    const TLameFile file = EncodeSine(dir, "-b 128", 44100, 2, 0.5);
    ASSERT_GE(file.XingAt, 0);
    const int32_t lameAt = LameTagOffset(file.Data.data(), 417, file.XingAt);
    ASSERT_GT(lameAt, file.XingAt);
    // The frame header, the Xing frame count, the delay/padding bytes, the music CRC.
    for (int32_t at : {1, file.XingAt + 9, lameAt + 22, lameAt + 33}) {
        Bytes bad = file.Data;
        bad[size_t(at)] ^= 0x10;
        TMPLameTag tag;
        EXPECT_FALSE(ReadLameTag(bad.data(), 417, file.XingAt, tag)) << "byte " << at;
        EXPECT_EQ(tag.EncoderDelay, 0);
    }
    TMPLameTag tag;
    EXPECT_TRUE(ReadLameTag(file.Data.data(), 417, file.XingAt, tag));
    // Too short a frame for the tag.
    EXPECT_FALSE(ReadLameTag(file.Data.data(), lameAt + kLameTagSize - 1, file.XingAt, tag));
}

TEST(LameTag, CarriesTheTrackGainAndPeakLameMeasured) {
    TempDir dir;
    // A full-scale half of a sine: the peak lame measures is close to 0.5.
    const TLameFile file = EncodeSine(dir, "-b 128 --replaygain-accurate", 44100, 2, 0.5);
    ASSERT_GE(file.XingAt, 0);
    TMPLameTag tag;
    ASSERT_TRUE(ReadLameTag(file.Data.data(), 417, file.XingAt, tag));
    EXPECT_NEAR(tag.Peak, 0.5, 0.03);
    ASSERT_TRUE(tag.TrackGain.Present());
    EXPECT_EQ(tag.TrackGain.Name, 1);
    // A loud 1 kHz tone needs turning down.
    EXPECT_LT(tag.TrackGain.TenthsDb, 0);
    EXPECT_GT(tag.TrackGain.TenthsDb, -300);
}

TEST(LameTag, FindsTheExtensionAfterTheFieldsTheXingFlagsAnnounce) {
    Bytes frame(400, 0);
    std::memcpy(&frame[36], "Xing", 4);
    const struct {
        uint8_t Flags;
        int32_t Expected;
    } cases[] = {{0, 44}, {1, 48}, {3, 52}, {7, 152}, {15, 156}, {8, 48}};
    for (const auto& c : cases) {
        frame[43] = c.Flags;
        EXPECT_EQ(LameTagOffset(frame.data(), 400, 36), c.Expected) << int(c.Flags);
    }
    frame[43] = 15;
    EXPECT_EQ(LameTagOffset(frame.data(), 156 + kLameTagSize - 1, 36), -1);
}

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
