// How far the frame routines read and what they report as consumed when a frame's own bit rate differs
// from the stream's first frame: callers delimit frames by their own headers and make only those bytes
// readable, so nothing past them may be read (the sanitizer build also checks the exact-size blocks).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "MP3decdr.h"

namespace tunelo {
namespace {

using Bytes = std::vector<uint8_t>;

struct TDecoded {
    int32_t Consumed;
    Bytes Pcm;
};

TMPHeader HeaderOf(const Bytes& bytes) {
    TMPHeader h{};
    EXPECT_GT(ParseHeader(bytes.data(), 4, h), 0);
    return h;
}

// A frame: four header bytes, then the body pattern up to length bytes.
Bytes Frame(std::initializer_list<uint8_t> header, size_t length, uint8_t body) {
    Bytes frame(length, body);
    std::copy(header.begin(), header.end(), frame.begin());
    return frame;
}

// Sets up a fresh decoder from the first frame's header and decodes each block in turn.
std::vector<TDecoded> DecodeAfterSetup(const TMPHeader& header, int32_t setupLength,
                                       const std::vector<Bytes>& blocks) {
    auto state = std::make_unique<TMPDecoderState>();
    EXPECT_EQ(DecoderSetup(*state, header, setupLength, 0, 0, 24000), 1);
    std::vector<TDecoded> results;
    for (const Bytes& block : blocks) {
        Bytes pcm(static_cast<size_t>(state->OutputBytes), 0xAA);
        const TMPDecodeResult r = DecodeFrame(*state, block.data(), pcm.data());
        results.push_back({r.BytesConsumed, pcm});
    }
    return results;
}

Bytes WithTail(Bytes frame, size_t total, uint8_t tail) {
    frame.resize(total, tail);
    return frame;
}

// Layer I and II frames decode with the set-up's length and tables, but a frame whose own bit rate is
// lower ends earlier: the bytes after its own end must not reach the PCM.
void CheckLowerRateFrameReadsOnlyItself(const Bytes& first, const Bytes& lower) {
    const TMPHeader header = HeaderOf(first);
    const int32_t setupLength = static_cast<int32_t>(first.size());
    ASSERT_LT(lower.size(), first.size());
    const TDecoded exact = DecodeAfterSetup(header, setupLength, {lower})[0];
    const TDecoded zeros = DecodeAfterSetup(header, setupLength, {WithTail(lower, first.size(), 0x00)})[0];
    const TDecoded ones = DecodeAfterSetup(header, setupLength, {WithTail(lower, first.size(), 0xFF)})[0];
    EXPECT_EQ(exact.Consumed, setupLength) << "consumed bytes follow the set-up length";
    EXPECT_EQ(zeros.Consumed, setupLength);
    EXPECT_TRUE(exact.Pcm == zeros.Pcm);
    EXPECT_TRUE(ones.Pcm == zeros.Pcm) << "bytes after the frame's own end changed its PCM";
    EXPECT_TRUE(zeros.Pcm != Bytes(zeros.Pcm.size(), 0)) << "the frame should carry audio";
}

TEST(FrameExtent, LayerTwoFrameAtALowerRateReadsNothingBeyondItsOwnEnd) {
    // MPEG-1 Layer II stereo, 48 kHz: 384 kbit/s (1152 bytes) set up, then a 32 kbit/s frame (96 bytes).
    CheckLowerRateFrameReadsOnlyItself(Frame({0xFF, 0xFD, 0xE4, 0x04}, 1152, 0x55),
                                       Frame({0xFF, 0xFD, 0x14, 0x04}, 96, 0x55));
}

TEST(FrameExtent, LayerOneFrameAtALowerRateReadsNothingBeyondItsOwnEnd) {
    // MPEG-1 Layer I single channel, 44.1 kHz: 448 kbit/s (484 bytes), then 32 kbit/s (32 bytes).
    CheckLowerRateFrameReadsOnlyItself(Frame({0xFF, 0xFF, 0xE0, 0xC0}, 484, 0x5A),
                                       Frame({0xFF, 0xFF, 0x10, 0xC0}, 32, 0x5A));
}

// MPEG-1 Layer III single channel, 44.1 kHz, free format; the body is zero (no main data reach-back).
TMPHeader FreeFormatLayer3Header() {
    TMPHeader h{};
    h.SyncKind = 1;
    h.VersionId = 1;
    h.LayerCode = 1;
    h.ProtectionBit = 1;
    h.BitrateIndex = 0;
    h.SamplingIndex = 0;
    h.Mode = 3;
    return h;
}

TEST(FrameExtent, FreeFormatFramesKeepTheSetUpLengthAfterAFrameWithABitRate) {
    const Bytes freeFrame = Frame({0xFF, 0xFB, 0x00, 0xC0}, 300, 0x00);
    const Bytes rate32 = Frame({0xFF, 0xFB, 0x10, 0xC0}, 104, 0x00);   // 32 kbit/s
    const Bytes rate320 = Frame({0xFF, 0xFB, 0xE0, 0xC0}, 1044, 0x00); // 320 kbit/s
    const Bytes shortFree = Frame({0xFF, 0xFB, 0x00, 0xC0}, 100, 0x00);

    const std::vector<TDecoded> longer =
        DecodeAfterSetup(FreeFormatLayer3Header(), 300, {freeFrame, rate32, freeFrame});
    EXPECT_EQ(longer[0].Consumed, 300);
    EXPECT_EQ(longer[1].Consumed, 104);
    EXPECT_EQ(longer[2].Consumed, 300);

    // Here a stale length would have the reservoir copy 1023 bytes out of a 100-byte frame.
    const std::vector<TDecoded> shorter =
        DecodeAfterSetup(FreeFormatLayer3Header(), 100, {shortFree, rate320, shortFree});
    EXPECT_EQ(shorter[0].Consumed, 100);
    EXPECT_EQ(shorter[1].Consumed, 1044);
    EXPECT_EQ(shorter[2].Consumed, 100);
}

} // namespace
} // namespace tunelo
