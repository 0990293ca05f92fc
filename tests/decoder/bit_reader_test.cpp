#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "bit_reader.h"

namespace tunelo {
namespace {

template <size_t N> TMPBitReader StartLayer3(const std::array<uint8_t, N>& bytes) {
    TMPBitReader r{};
    BitStart(r, bytes.data(), bytes.data() + bytes.size());
    return r;
}

TEST(Layer3BitReader, FirstReadLoadsWholeBytesUntilMoreThan24BitsAreHeld) {
    const std::array<uint8_t, 8> bytes = {0xFF, 0xFB, 0x90, 0x64, 0x11, 0x22, 0x33, 0x44};
    TMPBitReader r = StartLayer3(bytes);
    EXPECT_EQ(BitRead(r, 12), 0xFFFu);
    EXPECT_EQ(r.Held, 20);
    EXPECT_EQ(r.Fetch, bytes.data() + 4);
    EXPECT_EQ(r.Accumulator, 0xB9064u); // only the unconsumed bits remain
    EXPECT_EQ(BitConsumed(r), 12);
    // The remaining bits come out in order, across a refill.
    EXPECT_EQ(BitRead(r, 4), 0xBu);
    EXPECT_EQ(BitRead(r, 24), 0x906411u);
    EXPECT_EQ(BitRead(r, 16), 0x2233u);
    EXPECT_EQ(BitConsumed(r), 56);
}

TEST(Layer3BitReader, ReadsFieldsAcrossByteBoundaries) {
    const std::array<uint8_t, 4> bytes = {0xA5, 0x5A, 0x00, 0x00};
    TMPBitReader r = StartLayer3(bytes);
    EXPECT_EQ(BitRead(r, 4), 0xAu);
    EXPECT_EQ(BitRead(r, 8), 0x55u);
    EXPECT_EQ(BitConsumed(r), 12);
    EXPECT_EQ(BitRead(r, 0), 0u);
    EXPECT_EQ(BitConsumed(r), 12);
    EXPECT_EQ(BitRead(r, 1), 1u);
    EXPECT_EQ(BitRead(r, 3), 0x2u);
}

TEST(Layer3BitReader, EveryWidthReadsTheSameBitsAsABitByBitReading) {
    std::vector<uint8_t> bytes(64);
    uint32_t seed = 12345;
    for (uint8_t& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    auto bitAt = [&](int32_t i) { return (bytes[i / 8] >> (7 - i % 8)) & 1u; };
    TMPBitReader r{};
    BitStart(r, bytes.data(), bytes.data() + bytes.size());
    int32_t position = 0;
    // Widths step by 7 modulo 25, so every width 0..24 comes up at every bit phase.
    for (int32_t width = 0; position + width <= 480; width = (width + 7) % 25) {
        uint32_t expected = 0;
        for (int32_t i = 0; i < width; ++i) {
            expected = (expected << 1) | bitAt(position + i);
        }
        ASSERT_EQ(BitRead(r, width), expected) << "width " << width << " at bit " << position;
        position += width;
        ASSERT_EQ(BitConsumed(r), position);
        ASSERT_LT(r.Held, 32);
        ASSERT_EQ(r.Accumulator >> r.Held, 0u) << "bits above the held ones must stay 0";
    }
}

TEST(Layer3BitReader, PeekRefillsOnlyWhenTenBitsOrFewerAreHeld) {
    const std::array<uint8_t, 8> bytes = {0xF0, 0x0F, 0xCC, 0x33, 0xAA, 0x55, 0x81, 0x18};
    TMPBitReader r = StartLayer3(bytes);
    // Nothing held: loads up to at least 25 bits (here all four bytes).
    EXPECT_EQ(BitPeek(r, 8), 0xF0u);
    EXPECT_EQ(r.Held, 32);
    EXPECT_EQ(BitConsumed(r), 0);
    BitSkipHeld(r, 21); // 11 bits held: no refill
    EXPECT_EQ(BitPeek(r, 11), 0x433u);
    EXPECT_EQ(r.Held, 11);
    EXPECT_EQ(r.Fetch, bytes.data() + 4);
    BitSkipHeld(r, 1); // 10 bits held: the next peek refills to 26
    EXPECT_EQ(BitPeek(r, 11), (0x033u << 1) | 1u);
    EXPECT_EQ(r.Held, 26);
    EXPECT_EQ(BitConsumed(r), 22);
}

TEST(Layer3BitReader, SkippingNothingAfterAFullPeekKeepsTheBits) {
    const std::array<uint8_t, 4> bytes = {0x80, 0x00, 0x00, 0x01};
    TMPBitReader r = StartLayer3(bytes);
    BitPeek(r, 1);
    ASSERT_EQ(r.Held, 32);
    BitSkipHeld(r, 0);
    EXPECT_EQ(r.Held, 32);
    EXPECT_EQ(BitRead(r, 1), 1u);
    EXPECT_EQ(BitRead(r, 24), 0u);
    EXPECT_EQ(BitRead(r, 7), 1u);
}

TEST(Layer3BitReader, RefillBeforeALookUpGuaranteesAt25Bits) {
    const std::array<uint8_t, 8> bytes = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    TMPBitReader r = StartLayer3(bytes);
    BitRead(r, 8); // 24 held
    BitRefill(r);
    EXPECT_EQ(r.Held, 24); // more than 10: untouched
    BitRead(r, 14);        // 10 held
    BitRefill(r);
    EXPECT_EQ(r.Held, 26);
    EXPECT_EQ(r.Accumulator, 0x2789ABCu);
}

TEST(Layer3BitReader, ReadRefillKeepsTwoSpareBitsOrLoadsTo25) {
    const std::array<uint8_t, 8> bytes = {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
    TMPBitReader r = StartLayer3(bytes);
    BitRead(r, 8); // 24 held
    // 22 + 2 = 24 bits are enough: no load.
    EXPECT_EQ(BitReadRefill(r, 22), 0x00FF00u >> 2);
    EXPECT_EQ(r.Held, 2);
    EXPECT_EQ(r.Fetch, bytes.data() + 4);
    // 2 held, 3 + 2 needed: loads until at least 25 are held.
    EXPECT_EQ(BitReadRefill(r, 3), 0x1u);
    EXPECT_EQ(r.Held, 26 - 3);
    EXPECT_EQ(BitConsumed(r), 33);
}

TEST(Layer3BitReader, ExhaustedOnlyOnceTheFetchPointerPassesTheEndMark) {
    const std::array<uint8_t, 8> bytes = {};
    TMPBitReader r = StartLayer3(bytes);
    BitSetEnd(r, bytes.data() + 3);
    BitRead(r, 1); // fetch moves to +4: beyond the mark
    EXPECT_TRUE(BitExhausted(r));

    BitStart(r, bytes.data(), bytes.data() + bytes.size());
    BitSetEnd(r, bytes.data() + 4);
    BitRead(r, 1); // fetch at +4: on the mark, not beyond
    BitRead(r, 24);
    EXPECT_FALSE(BitExhausted(r));
    BitRead(r, 24); // 7 bits held: loads three more bytes
    EXPECT_TRUE(BitExhausted(r));
}

TEST(Layer3BitReader, BytesAtAndAfterTheLimitReadAsZero) {
    // The bytes behind the limit are valid memory here, so a reader that ignored the limit would show it.
    const std::array<uint8_t, 8> bytes = {0xAB, 0xCD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    TMPBitReader r{};
    BitStart(r, bytes.data(), bytes.data() + 2);
    EXPECT_EQ(BitRead(r, 16), 0xABCDu);
    EXPECT_EQ(BitRead(r, 24), 0u);
    EXPECT_EQ(BitPeek(r, 11), 0u);
    EXPECT_EQ(BitReadRefill(r, 22), 0u);
    EXPECT_EQ(BitConsumed(r), 62); // counting goes on past the limit
    // Far past the limit the reader keeps counting without touching memory.
    for (int32_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(BitRead(r, 24), 0u);
    }
    EXPECT_EQ(BitConsumed(r), 24062);
}

TEST(Layer12BitReader, ReadsLikeTheLayer3Reader) {
    const std::array<uint8_t, 4> bytes = {0xA5, 0x5A, 0x00, 0x00};
    TMPBitReader12 r{};
    BitStart(r, bytes.data(), bytes.data() + bytes.size());
    EXPECT_EQ(BitRead(r, 4), 0xAu);
    EXPECT_EQ(BitRead(r, 8), 0x55u);
    EXPECT_EQ(r.Held, 20);
    EXPECT_EQ(BitRead(r, 0), 0u);
    EXPECT_EQ(BitRead(r, 20), 0xA0000u);
}

TEST(Layer12BitReader, SkipBeyondTheHeldBitsPassesWholeBytesWithoutLoadingThem) {
    const std::array<uint8_t, 8> bytes = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    TMPBitReader12 r{};
    BitStart(r, bytes.data(), bytes.data() + bytes.size());
    BitRead(r, 28); // 4 held: the low nibble of 0x78
    ASSERT_EQ(r.Held, 4);
    BitSkip(r, 20); // drops 4, passes 0x9A 0xBC, loads 0xDE
    EXPECT_EQ(r.Held, 8);
    EXPECT_EQ(r.Fetch, bytes.data() + 7);
    EXPECT_EQ(BitRead(r, 8), 0xDEu);

    BitStart(r, bytes.data(), bytes.data() + bytes.size());
    BitRead(r, 28);
    BitSkip(r, 3); // within the held bits: 1000 -> 0
    EXPECT_EQ(r.Held, 1);
    EXPECT_EQ(BitRead(r, 1), 0u);
    EXPECT_EQ(BitRead(r, 8), 0x9Au);

    BitStart(r, bytes.data(), bytes.data() + bytes.size());
    BitRead(r, 28);
    BitSkip(r, 4 + 13); // one whole byte passed, 5 bits of the next one consumed
    EXPECT_EQ(r.Held, 3);
    EXPECT_EQ(BitRead(r, 3), 0xBCu & 7u);
    BitSkip(r, 0);
    EXPECT_EQ(BitRead(r, 8), 0xDEu);
}

TEST(Layer12BitReader, SkipPastTheLimitReadsZeros) {
    const std::array<uint8_t, 8> bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    TMPBitReader12 r{};
    BitStart(r, bytes.data(), bytes.data() + 3);
    BitSkip(r, 16);
    EXPECT_EQ(BitRead(r, 8), 0xFFu);
    EXPECT_EQ(BitRead(r, 8), 0u);
    BitSkip(r, 40);
    EXPECT_EQ(BitRead(r, 24), 0u);
}

} // namespace
} // namespace tunelo
