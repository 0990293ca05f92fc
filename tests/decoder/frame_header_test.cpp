#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "MP3decdr.h"

namespace tunelo {
namespace {

// Header bytes from their fields: syncKind 1 = 0xFFF, 2 = 0xFFE.
std::array<uint8_t, 4> MakeHeader(int syncKind, int versionId, int layerCode, int bitrateIndex,
                                  int samplingIndex, int padding = 0, int mode = 0, int protection = 1) {
    const int syncLow = syncKind == 1 ? 0x10 : 0x00;
    return {0xFF, static_cast<uint8_t>(0xE0 | syncLow | versionId << 3 | layerCode << 1 | protection),
            static_cast<uint8_t>(bitrateIndex << 4 | samplingIndex << 2 | padding << 1),
            static_cast<uint8_t>(mode << 6)};
}

TMPHeader Filled(int32_t value) {
    TMPHeader h;
    h.SyncKind = h.VersionId = h.LayerCode = h.ProtectionBit = h.BitrateIndex = h.SamplingIndex = value;
    h.PaddingBit = h.PrivateBit = h.Mode = h.ModeExtension = h.CopyrightBit = h.OriginalBit = value;
    h.Emphasis = value;
    return h;
}

TEST(ParseHeader, SplitsTheHeaderIntoItsRawFields) {
    const uint8_t bytes[4] = {0xFF, 0xFB, 0x90, 0x64};
    TMPHeader h = Filled(77);
    int32_t bitrate = -1;
    EXPECT_EQ(SearchWithBitrate(bytes, 0, h, bitrate), 417);
    EXPECT_EQ(bitrate, 128000);
    EXPECT_EQ(h.SyncKind, 1);
    EXPECT_EQ(h.VersionId, 1);
    EXPECT_EQ(h.LayerCode, 1);
    EXPECT_EQ(h.ProtectionBit, 1);
    EXPECT_EQ(h.BitrateIndex, 9);
    EXPECT_EQ(h.SamplingIndex, 0);
    EXPECT_EQ(h.PaddingBit, 0);
    EXPECT_EQ(h.PrivateBit, 0);
    EXPECT_EQ(h.Mode, 1);
    EXPECT_EQ(h.ModeExtension, 2);
    EXPECT_EQ(h.CopyrightBit, 0);
    EXPECT_EQ(h.OriginalBit, 1);
    EXPECT_EQ(h.Emphasis, 0);

    const uint8_t other[4] = {0xFF, 0xE2, 0x1B, 0x9F}; // fields differing from the header above
    EXPECT_EQ(ParseHeader(other, 0, h), 72);           // MPEG-2.5 Layer III, 8 kbit/s, 8000 Hz
    EXPECT_EQ(h.SyncKind, 2);
    EXPECT_EQ(h.VersionId, 0);
    EXPECT_EQ(h.LayerCode, 1);
    EXPECT_EQ(h.ProtectionBit, 0);
    EXPECT_EQ(h.BitrateIndex, 1);
    EXPECT_EQ(h.SamplingIndex, 2);
    EXPECT_EQ(h.PaddingBit, 1);
    EXPECT_EQ(h.PrivateBit, 1);
    EXPECT_EQ(h.Mode, 2);
    EXPECT_EQ(h.ModeExtension, 1);
    EXPECT_EQ(h.CopyrightBit, 1);
    EXPECT_EQ(h.OriginalBit, 1);
    EXPECT_EQ(h.Emphasis, 3);
}

TEST(ParseHeader, LengthExcludesPaddingAndTruncates) {
    TMPHeader h{};
    const uint8_t padded[4] = {0xFF, 0xFB, 0x92, 0x64};
    EXPECT_EQ(ParseHeader(padded, 0, h), 417); // the caller adds the padding byte
    EXPECT_EQ(h.PaddingBit, 1);

    const uint8_t mpeg2[4] = {0xFF, 0xF3, 0x90, 0x64};
    EXPECT_EQ(ParseHeader(mpeg2, 0, h), 261); // 1440 x 80 / 441
    const uint8_t mpeg25[4] = {0xFF, 0xE3, 0x90, 0x64};
    EXPECT_EQ(ParseHeader(mpeg25, 0, h), 522); // 2880 x 80 / 441
    EXPECT_EQ(h.SyncKind, 2);

    // Layer I, 32 kbit/s, 44100 Hz: the division truncates before the factor 4 (not 4 x 240 x 32 / 882 = 34).
    const auto layer1 = MakeHeader(1, 1, 3, 1, 0);
    int32_t bitrate = 0;
    EXPECT_EQ(SearchWithBitrate(layer1.data(), 0, h, bitrate), 32);
    EXPECT_EQ(bitrate, 32000);
}

// The standard's bit rates in kbit/s, written out here independently of the decoder's table.
constexpr int kMpeg1Rates[3][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
};
constexpr int kMpeg2Rates[3][15] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int kSamplingHz[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

TEST(ParseHeader, EveryStatedBitRateGivesTheStandardSlotCount) {
    struct Version {
        int SyncKind, VersionId, Row;
        const int (*Rates)[15];
    };
    const Version versions[] = {{1, 1, 0, kMpeg1Rates}, {1, 0, 1, kMpeg2Rates}, {2, 0, 2, kMpeg2Rates}};
    int checked = 0;
    for (const Version& v : versions) {
        for (int layer = 1; layer <= 3; ++layer) {
            // Layers I and II have no MPEG-2.5 form.
            if (v.Row == 2 && layer != 3) {
                continue;
            }
            for (int index = 1; index <= 14; ++index) {
                for (int sampling = 0; sampling < 3; ++sampling) {
                    const int64_t bps = int64_t{v.Rates[layer - 1][index]} * 1000;
                    const int64_t fs = kSamplingHz[v.Row][sampling];
                    int64_t expected = 0;
                    if (layer == 1) {
                        expected = 12 * bps / fs * 4;
                    } else if (layer == 3 && v.VersionId == 0) {
                        expected = 72 * bps / fs;
                    } else {
                        expected = 144 * bps / fs;
                    }
                    const auto bytes = MakeHeader(v.SyncKind, v.VersionId, 4 - layer, index, sampling);
                    TMPHeader h{};
                    int32_t bitrate = 0;
                    ASSERT_EQ(SearchWithBitrate(bytes.data(), 0, h, bitrate), expected)
                        << "row " << v.Row << " layer " << layer << " index " << index << " fs " << fs;
                    ASSERT_EQ(bitrate, bps);
                    ++checked;
                }
            }
        }
    }
    EXPECT_EQ(checked, 3 * 14 * 3 * 2 + 14 * 3);
}

TEST(ParseHeader, RefusesWhatIsNoUsableHeader) {
    TMPHeader h = Filled(77);
    int32_t bitrate = -1;
    const uint8_t noSync[4] = {0xFF, 0xD0, 0x90, 0x64};
    EXPECT_EQ(SearchWithBitrate(noSync, 0, h, bitrate), 0);
    EXPECT_EQ(bitrate, 0);
    EXPECT_EQ(h.SyncKind, 0);
    EXPECT_EQ(h.VersionId, 77); // nothing but SyncKind written
    EXPECT_EQ(h.Emphasis, 77);
    const uint8_t noFF[4] = {0xFE, 0xFB, 0x90, 0x64};
    EXPECT_EQ(ParseHeader(noFF, 0, h), 0);

    // A reserved layer or the forbidden bit rate: refused, but the fields are stored.
    const auto reservedLayer = MakeHeader(1, 1, 0, 9, 0, 0, 3);
    h = Filled(77);
    EXPECT_EQ(ParseHeader(reservedLayer.data(), 0, h), 0);
    EXPECT_EQ(h.LayerCode, 0);
    EXPECT_EQ(h.BitrateIndex, 9);
    EXPECT_EQ(h.Mode, 3);
    const auto forbiddenRate = MakeHeader(1, 1, 1, 15, 0);
    EXPECT_EQ(SearchWithBitrate(forbiddenRate.data(), 0, h, bitrate), 0);
    EXPECT_EQ(bitrate, 0);
    EXPECT_EQ(h.BitrateIndex, 15);

    // The reserved sampling frequency: a negative length, which every caller takes as no frame.
    for (int layerCode = 1; layerCode <= 3; ++layerCode) {
        const auto reservedRate = MakeHeader(1, 1, layerCode, 9, 3);
        EXPECT_LT(SearchWithBitrate(reservedRate.data(), 0, h, bitrate), 0) << layerCode;
    }
}

// A stream of free-format frames: the given header with the padding pattern, then fill bytes that never
// look like a header. Exactly as long as the frames (ASan sees any read beyond it).
std::vector<uint8_t> FreeFormatStream(std::array<uint8_t, 4> header, const std::vector<int>& paddings,
                                      int length, int slot) {
    std::vector<uint8_t> bytes;
    for (int padding : paddings) {
        const size_t start = bytes.size();
        bytes.resize(start + length + slot * padding, 0x55);
        header[2] = static_cast<uint8_t>((header[2] & ~2) | padding << 1);
        std::copy(header.begin(), header.end(), bytes.begin() + start);
    }
    return bytes;
}

TEST(FreeFormat, LengthIsFoundWhenTheNextHeaderLiesInsideTheWindow) {
    const auto header = MakeHeader(1, 1, 1, 0, 0); // Layer III, 44100 Hz, free format
    std::vector<uint8_t> stream = FreeFormatStream(header, {0, 0, 0}, 600, 1);
    TMPHeader h{};
    // The window ends 3 bytes before the end of the bytes given: the header at 600 needs 604 of them.
    std::vector<uint8_t> bytes(stream.begin(), stream.begin() + 604);
    EXPECT_EQ(ParseHeader(bytes.data(), 604, h), 600);
    bytes.resize(603);
    EXPECT_EQ(ParseHeader(bytes.data(), 603, h), 0);
    EXPECT_EQ(ParseHeader(stream.data(), 0, h), 0);
    int32_t bitrate = 0;
    EXPECT_EQ(SearchWithBitrate(stream.data(), static_cast<int32_t>(stream.size()), h, bitrate), 600);
    EXPECT_EQ(bitrate, 600 * 882 * 1000 / 2880); // 183750
}

TEST(FreeFormat, PaddedFramesAreOneSlotLonger) {
    TMPHeader h{};
    int32_t bitrate = 0;
    // Layer III: the first frame padded, then a mix.
    const auto layer3 = FreeFormatStream(MakeHeader(1, 1, 1, 0, 1), {1, 0, 1, 1, 0}, 500, 1);
    EXPECT_EQ(SearchWithBitrate(layer3.data(), static_cast<int32_t>(layer3.size()), h, bitrate), 500);
    EXPECT_EQ(bitrate, 500 * 960 * 1000 / 2880);
    // Layer I pads by a 4-byte slot.
    const auto layer1 = FreeFormatStream(MakeHeader(1, 1, 3, 0, 0), {1, 0, 1}, 400, 4);
    EXPECT_EQ(SearchWithBitrate(layer1.data(), static_cast<int32_t>(layer1.size()), h, bitrate), 400);
    EXPECT_EQ(bitrate, 400 * 882 * 1000 / 960);
}

TEST(FreeFormat, BitRateFollowsTheVersionOfTheStream) {
    TMPHeader h{};
    int32_t bitrate = 0;
    const auto layer2 = FreeFormatStream(MakeHeader(1, 1, 2, 0, 2), {0, 0}, 720, 1);
    EXPECT_EQ(SearchWithBitrate(layer2.data(), static_cast<int32_t>(layer2.size()), h, bitrate), 720);
    EXPECT_EQ(bitrate, 720 * 640 * 1000 / 2880); // 32000 Hz: 160 kbit/s
    const auto mpeg2 = FreeFormatStream(MakeHeader(1, 0, 1, 0, 0), {0, 0}, 360, 1);
    EXPECT_EQ(SearchWithBitrate(mpeg2.data(), static_cast<int32_t>(mpeg2.size()), h, bitrate), 360);
    EXPECT_EQ(bitrate, 110250); // 22050 Hz: 360 x 441 x 1000 / 1440
    const auto mpeg25 = FreeFormatStream(MakeHeader(2, 0, 1, 0, 0), {0, 0}, 360, 1);
    EXPECT_EQ(SearchWithBitrate(mpeg25.data(), static_cast<int32_t>(mpeg25.size()), h, bitrate), 360);
    EXPECT_EQ(bitrate, 55125); // 11025 Hz: half of the MPEG-2 figure
}

TEST(FreeFormat, CandidatesThatTheFollowingFramesDoNotConfirmArePassedOver) {
    const auto header = MakeHeader(1, 1, 1, 0, 0);
    std::vector<uint8_t> stream = FreeFormatStream(header, {0, 0, 0, 0}, 400, 1);
    // Header-like pairs inside the first frame: at 10 (before the first candidate position 24, ignored),
    // and at 100 (a candidate length 100 that the chain refutes at 200).
    stream[10] = stream[100] = 0xFF;
    stream[11] = stream[101] = header[1];
    TMPHeader h{};
    EXPECT_EQ(ParseHeader(stream.data(), static_cast<int32_t>(stream.size()), h), 400);

    // A predicted boundary inside the window without a header refutes the length; the search goes on
    // with the next candidate, here the header at 800, whose only predicted boundary is inside.
    stream[1200] = 0x00;
    EXPECT_EQ(ParseHeader(stream.data(), static_cast<int32_t>(stream.size()), h), 800);
    // A boundary beyond the window given is not looked at.
    EXPECT_EQ(ParseHeader(stream.data(), 1200 + 2, h), 400);

    // The whole first two bytes count: a different protection bit is no match.
    std::vector<uint8_t> mixed = FreeFormatStream(header, {0, 0}, 400, 1);
    mixed[401] ^= 1;
    EXPECT_EQ(ParseHeader(mixed.data(), static_cast<int32_t>(mixed.size()), h), 0);
}

TEST(FreeFormat, AtMost10000BytesAreLookedAt) {
    const auto header = MakeHeader(1, 1, 1, 0, 0);
    std::vector<uint8_t> stream = FreeFormatStream(header, std::vector<int>(12, 0), 1000, 1);
    // The boundary predicted at 10000 lies just beyond the capped window. Were it looked at, the
    // lengths 1000 and 2000 would be refuted and 3000 taken.
    stream[10000] = 0x00;
    TMPHeader h{};
    EXPECT_EQ(ParseHeader(stream.data(), static_cast<int32_t>(stream.size()), h), 1000);
}

TEST(FreeFormat, AReservedSamplingFrequencyGivesNoLength) {
    const auto stream = FreeFormatStream(MakeHeader(1, 1, 1, 0, 3), {0, 0, 0}, 600, 1);
    TMPHeader h{};
    int32_t bitrate = -1;
    EXPECT_EQ(SearchWithBitrate(stream.data(), static_cast<int32_t>(stream.size()), h, bitrate), 0);
    EXPECT_EQ(bitrate, 0);
}

TEST(SyncSearch, FindsTheFirstSyncPatternAndParsesThere) {
    std::vector<uint8_t> block = {0x00, 0xFF, 0x12, 0x34, 0xFF, 0xFB, 0x92, 0x64, 0x00};
    TMPHeader h{};
    int32_t bitrate = 0;
    int32_t offset = -1;
    EXPECT_EQ(SyncSearch(block.data(), static_cast<int32_t>(block.size()), h, bitrate, offset), 417);
    EXPECT_EQ(offset, 4);
    EXPECT_EQ(bitrate, 128000);
    EXPECT_EQ(h.PaddingBit, 1);
}

TEST(SyncSearch, StopsAtTheFirstPatternEvenWhenItIsNoHeader) {
    TMPHeader h{};
    int32_t bitrate = -1;
    int32_t offset = -1;
    // 0xFF 0xE0 has the reserved layer; the good header after it is not tried.
    std::vector<uint8_t> block = {0x11, 0xFF, 0xE0, 0x90, 0x64, 0xFF, 0xFB, 0x90, 0x64};
    EXPECT_EQ(SyncSearch(block.data(), static_cast<int32_t>(block.size()), h, bitrate, offset), 0);
    EXPECT_EQ(offset, 1);
    EXPECT_EQ(bitrate, 0);
    // 0xFF 0xFF counts as a pattern too.
    block = {0xFF, 0xFF, 0xFB, 0x90, 0x64};
    EXPECT_EQ(SyncSearch(block.data(), static_cast<int32_t>(block.size()), h, bitrate, offset), 0);
    EXPECT_EQ(offset, 0);
}

TEST(SyncSearch, NoPatternLeavesTheOffsetAlone) {
    TMPHeader h{};
    int32_t bitrate = 0;
    int32_t offset = -1;
    std::vector<uint8_t> one = {0xFF};
    EXPECT_EQ(SyncSearch(one.data(), 1, h, bitrate, offset), 0);
    EXPECT_EQ(SyncSearch(one.data(), 0, h, bitrate, offset), 0);
    std::vector<uint8_t> noFF = {0x00, 0xFE, 0xFB, 0x90, 0x64, 0x7F};
    EXPECT_EQ(SyncSearch(noFF.data(), static_cast<int32_t>(noFF.size()), h, bitrate, offset), 0);
    std::vector<uint8_t> weakSync = {0x00, 0xFF, 0xDB, 0x90, 0x64}; // 1101: not a sync
    EXPECT_EQ(SyncSearch(weakSync.data(), static_cast<int32_t>(weakSync.size()), h, bitrate, offset), 0);
    EXPECT_EQ(offset, -1);
}

TEST(SyncSearch, AHeaderCutOffByTheBlockEndIsNotReadBeyondIt) {
    TMPHeader h{};
    int32_t bitrate = -1;
    int32_t offset = -1;
    for (size_t keep = 2; keep < 4; ++keep) {
        std::vector<uint8_t> block = {0x00, 0x00, 0xFF, 0xFB, 0x90, 0x64};
        block.resize(2 + keep); // exact size: a read past it would be seen by ASan
        EXPECT_EQ(SyncSearch(block.data(), static_cast<int32_t>(block.size()), h, bitrate, offset), 0);
        EXPECT_EQ(offset, 2);
        EXPECT_EQ(bitrate, 0);
        EXPECT_EQ(h.SyncKind, 0);
    }
}

TEST(SyncSearch, AFreeFormatStreamIsSearchedWithTheRestOfTheBlock) {
    std::vector<uint8_t> block(50, 0x00);
    const auto frames = FreeFormatStream(MakeHeader(1, 1, 1, 0, 0), {0, 0}, 600, 1);
    block.insert(block.end(), frames.begin(), frames.end());
    TMPHeader h{};
    int32_t bitrate = 0;
    int32_t offset = 0;
    EXPECT_EQ(SyncSearch(block.data(), static_cast<int32_t>(block.size()), h, bitrate, offset), 600);
    EXPECT_EQ(offset, 50);
    EXPECT_EQ(bitrate, 183750);
    // Cut so that the second header is not inside the window.
    EXPECT_EQ(SyncSearch(block.data(), 50 + 603, h, bitrate, offset), 0);
}

TEST(HeadersCompatible, StreamIdentityMustMatchWhileFrameDetailsMayChange) {
    const auto first = MakeHeader(1, 1, 1, 9, 0, 0, 1, 1);
    EXPECT_TRUE(HeadersCompatible(first.data(), first.data()));
    // Bit rate, padding, private bit, mode and the rest of byte 3 may differ; so may the protection bit.
    const uint8_t changing[4] = {0xFF, 0xFA, 0xE3, 0xFF};
    EXPECT_TRUE(HeadersCompatible(first.data(), changing));
    const auto freeFormat = MakeHeader(1, 1, 1, 0, 0, 1, 3, 0);
    EXPECT_TRUE(HeadersCompatible(first.data(), freeFormat.data()));

    EXPECT_FALSE(HeadersCompatible(first.data(), MakeHeader(1, 1, 1, 9, 1).data())); // sampling index
    EXPECT_FALSE(HeadersCompatible(first.data(), MakeHeader(1, 1, 2, 9, 0).data())); // layer
    EXPECT_FALSE(HeadersCompatible(first.data(), MakeHeader(1, 0, 1, 9, 0).data())); // version
    EXPECT_FALSE(HeadersCompatible(first.data(), MakeHeader(2, 1, 1, 9, 0).data())); // 0xFFE sync
    const uint8_t notFF[4] = {0xFE, 0xFB, 0x90, 0x44};
    EXPECT_FALSE(HeadersCompatible(first.data(), notFF));
}

} // namespace
} // namespace tunelo
