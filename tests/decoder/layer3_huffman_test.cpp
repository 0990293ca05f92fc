#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bit_reader.h"
#include "bit_writer.h"
#include "frame_driver.h"
#include "layer3_huffman.h"
#include "standard_tables.h"

namespace tunelo {
namespace {

using testsupport::TBitWriter;

// A reader over the written bits whose end mark sits where the frame driver puts it (39 bits of slack),
// with room behind the bytes for the reader's look-ahead.
struct TStream {
    explicit TStream(const TBitWriter& writer) : Bytes(writer.Bytes) {
        Bytes.resize(Bytes.size() + 16, 0);
        BitStart(Reader, Bytes.data(), Bytes.data() + Bytes.size());
        BitSetEnd(Reader, Bytes.data() + (writer.Bits + 39) / 8);
    }
    std::vector<uint8_t> Bytes;
    TMPBitReader Reader{};
};

// Writes one pair with table t as the standard's encoder does: code, then x's linbits and sign, then y's.
void PutPair(TBitWriter& writer, int32_t table, int32_t x, int32_t y) {
    const THuffmanSource& source = kHuffmanPairTables[table];
    const int32_t linbits = source.Linbits;
    const int32_t ax = std::abs(x);
    const int32_t ay = std::abs(y);
    const int32_t cx = linbits > 0 ? std::min(ax, 15) : ax;
    const int32_t cy = linbits > 0 ? std::min(ay, 15) : ay;
    const THuffmanCode* code = nullptr;
    for (int32_t i = 0; i < source.CodeCount; ++i) {
        if (source.Codes[i].X == cx && source.Codes[i].Y == cy) {
            code = &source.Codes[i];
        }
    }
    ASSERT_NE(code, nullptr) << "table " << table << " has no code for " << cx << "," << cy;
    writer.Put(code->Bits, code->Length);
    if (linbits > 0 && cx == 15) {
        writer.Put(static_cast<uint32_t>(ax - 15), linbits);
    }
    if (ax != 0) {
        writer.Put(x < 0 ? 1 : 0, 1);
    }
    if (linbits > 0 && cy == 15) {
        writer.Put(static_cast<uint32_t>(ay - 15), linbits);
    }
    if (ay != 0) {
        writer.Put(y < 0 ? 1 : 0, 1);
    }
}

// Every code of the table once, in a shuffled order, with random signs and escape values.
std::vector<int32_t> EveryCodeOf(int32_t table, std::mt19937& random) {
    const THuffmanSource& source = kHuffmanPairTables[table];
    std::vector<int32_t> values;
    for (int32_t i = 0; i < source.CodeCount; ++i) {
        int32_t x = source.Codes[i].X;
        int32_t y = source.Codes[i].Y;
        if (source.Linbits > 0) {
            const int32_t escapeRange = 1 << source.Linbits;
            if (x == 15) {
                x += static_cast<int32_t>(random() % escapeRange);
            }
            if (y == 15) {
                y += static_cast<int32_t>(random() % escapeRange);
            }
        }
        values.push_back(random() & 1 ? -x : x);
        values.push_back(random() & 1 ? -y : y);
    }
    // Shuffle by pairs.
    for (size_t i = values.size() / 2; i > 1; --i) {
        const size_t j = random() % i;
        std::swap(values[2 * (i - 1)], values[2 * j]);
        std::swap(values[2 * (i - 1) + 1], values[2 * j + 1]);
    }
    return values;
}

TEST(HuffmanBigValues, EveryCodeOfEveryTableRoundTripsWithSignsAndLinbits) {
    std::mt19937 random(1234);
    for (int32_t table = 1; table < 32; ++table) {
        if (kHuffmanPairTables[table].CodeCount == 0) {
            continue;
        }
        SCOPED_TRACE(table);
        // Every code, then the largest escape values the linbits can carry.
        std::vector<int32_t> values = EveryCodeOf(table, random);
        const int32_t linbits = kHuffmanPairTables[table].Linbits;
        if (linbits > 0) {
            const int32_t top = 15 + (1 << linbits) - 1;
            values.insert(values.end(), {top, -top, -top, 0, 0, top});
        }
        TBitWriter writer;
        for (size_t i = 0; i < values.size(); i += 2) {
            PutPair(writer, table, values[i], values[i + 1]);
        }
        TStream stream(writer);
        std::vector<int32_t> lines(values.size(), 12345);
        DecodeBigValues(stream.Reader, lines.data(), static_cast<int32_t>(lines.size()), table);
        EXPECT_EQ(lines, values);
        EXPECT_EQ(BitConsumed(stream.Reader), writer.Bits);
        EXPECT_FALSE(BitExhausted(stream.Reader));
    }
}

TEST(HuffmanBigValues, TablesWithoutCodesYieldZerosAndReadNothing) {
    for (int32_t table : {0, 4, 14}) {
        TBitWriter writer;
        writer.Put(0xFFFFFFu, 24);
        TStream stream(writer);
        std::vector<int32_t> lines(40, 7);
        DecodeBigValues(stream.Reader, lines.data(), 36, table);
        EXPECT_TRUE(std::all_of(lines.begin(), lines.begin() + 36, [](int32_t v) { return v == 0; }));
        EXPECT_EQ(lines[36], 7);
        EXPECT_EQ(BitConsumed(stream.Reader), 0);
    }
}

TEST(HuffmanBigValues, StopsAtTheEndMarkLeavingTheRestOfTheRegion) {
    // 40 pairs of (1, 1) with table 1 are 5 bits each; the end mark allows about 11 pairs' worth.
    TBitWriter writer;
    for (int32_t i = 0; i < 40; ++i) {
        PutPair(writer, 1, 1, 1);
    }
    std::vector<uint8_t> bytes = writer.Bytes;
    TMPBitReader reader{};
    BitStart(reader, bytes.data(), bytes.data() + bytes.size());
    BitSetEnd(reader, bytes.data() + 4);
    std::vector<int32_t> lines(80, 99);
    DecodeBigValues(reader, lines.data(), 80, 1);
    EXPECT_TRUE(BitExhausted(reader));
    const auto firstUntouched = std::find(lines.begin(), lines.end(), 99) - lines.begin();
    EXPECT_GT(firstUntouched, 0);
    EXPECT_LT(firstUntouched, 80);
    EXPECT_EQ(firstUntouched % 2, 0);
    EXPECT_TRUE(std::all_of(lines.begin(), lines.begin() + firstUntouched, [](int32_t v) { return v == 1; }));
}

// The pair walk written plainly with the reader's own operations: the decoder must leave the reader in
// exactly this state, so that its end mark and consumed-bit count mean the same.
void ReferenceDecodePairs(TMPBitReader& r, int32_t* lines, int32_t pairs, int32_t table) {
    const THuffmanDirectoryEntry& entry = HuffmanDirectory()[table];
    if (entry.Kind == kHuffmanKindZero) {
        std::fill(lines, lines + 2 * pairs, 0); // no codes: zeros, nothing read
        return;
    }
    for (int32_t i = 0; i < pairs; ++i) {
        BitRefill(r);
        const uint32_t* block = entry.Table;
        uint32_t cell = block[1 + BitPeek(r, static_cast<int32_t>(block[0] & 0xFF))];
        while ((cell >> 24) == 0) {
            BitSkipHeld(r, static_cast<int32_t>(block[0] & 0xFF));
            block += cell;
            cell = block[1 + BitPeek(r, static_cast<int32_t>(block[0] & 0xFF))];
        }
        BitSkipHeld(r, static_cast<int32_t>(cell >> 24));
        int32_t x = static_cast<int32_t>((cell >> 8) & 0xFF);
        int32_t y = static_cast<int32_t>((cell >> 16) & 0xFF);
        if (entry.Kind == kHuffmanKindLinbits && x == 15) {
            x += static_cast<int32_t>(BitReadRefill(r, entry.Linbits));
        }
        if (x != 0 && BitRead(r, 1) != 0) {
            x = -x;
        }
        if (entry.Kind == kHuffmanKindLinbits && y == 15) {
            y += static_cast<int32_t>(BitReadRefill(r, entry.Linbits));
        }
        if (y != 0 && BitRead(r, 1) != 0) {
            y = -y;
        }
        lines[2 * i] = x;
        lines[2 * i + 1] = y;
        if (BitExhausted(r)) {
            break;
        }
    }
}

TEST(HuffmanBigValues, LeavesTheReaderAsItsOwnOperationsWouldUpToTheLimit) {
    // Random bits (mostly long codes and escapes), random tables and a limit right at the data's end, so
    // loads near and beyond the limit are exercised.
    std::mt19937 random(4321);
    for (int32_t round = 0; round < 400; ++round) {
        const int32_t table = static_cast<int32_t>(random() % 32);
        std::vector<uint8_t> bytes(static_cast<size_t>(1 + random() % 200));
        for (uint8_t& byte : bytes) {
            byte = static_cast<uint8_t>(random());
        }
        const uint8_t* limit = bytes.data() + bytes.size();
        const uint8_t* end = bytes.data() + random() % (bytes.size() + 8);
        TMPBitReader reader{};
        BitStart(reader, bytes.data(), limit);
        BitSetEnd(reader, end);
        BitRead(reader, static_cast<int32_t>(random() % 8));
        TMPBitReader expectedReader = reader;
        const int32_t pairs = static_cast<int32_t>(1 + random() % 288);
        std::vector<int32_t> lines(576, 3);
        std::vector<int32_t> expected(576, 3);
        DecodeBigValues(reader, lines.data(), 2 * pairs, table);
        ReferenceDecodePairs(expectedReader, expected.data(), pairs, table);
        ASSERT_EQ(lines, expected) << "round " << round << " table " << table;
        ASSERT_EQ(reader.Fetch, expectedReader.Fetch) << "round " << round;
        ASSERT_EQ(reader.Held, expectedReader.Held) << "round " << round;
        ASSERT_EQ(reader.Accumulator, expectedReader.Accumulator) << "round " << round;
    }
}

// Follows the stored blocks with a code word's bits, as the decoder does, without the bit reader.
struct TWalkResult {
    int32_t Length = 0;
    int32_t X = -1;
    int32_t Y = -1;
};
TWalkResult Walk(const uint32_t* table, uint32_t bits, int32_t length) {
    TWalkResult result;
    const uint32_t* block = table;
    int32_t used = 0;
    for (int32_t level = 0; level < 8; ++level) {
        const int32_t width = static_cast<int32_t>(block[0] & 0xFF);
        // The next width bits of the code, padded with zeros beyond its end.
        const uint64_t padded = static_cast<uint64_t>(bits) << 32;
        const uint32_t index =
            static_cast<uint32_t>((padded >> (32 + length - used - width)) & ((1u << width) - 1));
        const uint32_t cell = block[1 + index];
        if ((cell >> 24) == 0) {
            used += width;
            block += cell;
            continue;
        }
        result.Length = used + static_cast<int32_t>(cell >> 24);
        result.X = static_cast<int32_t>((cell >> 8) & 0xFF);
        result.Y = static_cast<int32_t>((cell >> 16) & 0xFF);
        return result;
    }
    return result;
}

// Checks each block reachable from head: head filler, width, leaf lengths and forward links.
void CheckBlocks(const uint32_t* head, bool firstLevel, bool singleLevel, int32_t& blocks) {
    ++blocks;
    const int32_t width = static_cast<int32_t>(head[0] & 0xFF);
    EXPECT_EQ(head[0] >> 8, 0xFF0000u) << "head filler";
    EXPECT_GE(width, firstLevel ? 3 : 1);
    EXPECT_LE(width, 9);
    for (uint32_t i = 0; i < (1u << width); ++i) {
        const uint32_t cell = head[1 + i];
        const uint32_t length = cell >> 24;
        if (length != 0) {
            EXPECT_LE(length, static_cast<uint32_t>(width));
            const uint32_t x = (cell >> 8) & 0xFF;
            const uint32_t y = (cell >> 16) & 0xFF;
            EXPECT_LE(x, 15u);
            EXPECT_LE(y, 15u);
            EXPECT_EQ(cell & 0xFF, (x != 0 ? 1u : 0u) + (y != 0 ? 1u : 0u));
        } else {
            EXPECT_FALSE(singleLevel) << "link in a single-level table";
            ASSERT_GT(cell, 1u << width) << "link must point past this block";
            CheckBlocks(head + cell, false, singleLevel, blocks);
        }
    }
}

TEST(HuffmanBlocks, DirectoryKindsLinbitsAndSharing) {
    const THuffmanDirectoryEntry* directory = HuffmanDirectory();
    for (int32_t t = 0; t < 32; ++t) {
        int32_t kind = kHuffmanKindMulti;
        if (t == 0 || t == 4 || t == 14) {
            kind = kHuffmanKindZero;
        } else if (t <= 6) {
            kind = kHuffmanKindSingle;
        } else if (t >= 16) {
            kind = kHuffmanKindLinbits;
        }
        EXPECT_EQ(directory[t].Kind, kind) << t;
        EXPECT_EQ(directory[t].Table == nullptr, kind == kHuffmanKindZero) << t;
    }
    const int32_t linbits[16] = {1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
    for (int32_t t = 16; t < 32; ++t) {
        EXPECT_EQ(directory[t].Linbits, linbits[t - 16]) << t;
        EXPECT_EQ(directory[t].Table, directory[t < 24 ? 16 : 24].Table) << t;
    }
    EXPECT_NE(directory[16].Table, directory[24].Table);
}

TEST(HuffmanBlocks, BlocksAreWellFormedAndDecodeEveryCode) {
    const THuffmanDirectoryEntry* directory = HuffmanDirectory();
    int32_t blocks = 0;
    for (int32_t t = 0; t < 32; ++t) {
        if (directory[t].Kind == kHuffmanKindZero || (t > 16 && t != 24)) {
            continue; // shared tables are checked through 16 and 24
        }
        SCOPED_TRACE(t);
        CheckBlocks(directory[t].Table, true, directory[t].Kind == kHuffmanKindSingle, blocks);
        const THuffmanSource& source = kHuffmanPairTables[t];
        for (int32_t i = 0; i < source.CodeCount; ++i) {
            const THuffmanCode& code = source.Codes[i];
            const TWalkResult walked = Walk(directory[t].Table, code.Bits, code.Length);
            EXPECT_EQ(walked.Length, code.Length) << "code " << i;
            EXPECT_EQ(walked.X, code.X) << "code " << i;
            EXPECT_EQ(walked.Y, code.Y) << "code " << i;
        }
    }
    const THuffmanBlockStats stats = HuffmanBlockStats();
    EXPECT_EQ(stats.Holes, 0) << "every standard table is a complete prefix code";
    EXPECT_EQ(stats.Blocks, blocks);
}

// --- count1 ---

void PutQuadruple(TBitWriter& writer, bool tableB, uint32_t value, uint32_t signs) {
    if (tableB) {
        writer.Put(value ^ 15u, 4);
    } else {
        for (const THuffmanCode& code : kHuffmanQuadA) {
            if (code.X == value) {
                writer.Put(code.Bits, code.Length);
            }
        }
    }
    for (int32_t k = 3; k >= 0; --k) {
        if ((value >> k) & 1) {
            writer.Put((signs >> k) & 1, 1);
        }
    }
}

std::vector<int32_t> QuadrupleLines(uint32_t value, uint32_t signs) {
    std::vector<int32_t> lines;
    for (int32_t k = 3; k >= 0; --k) {
        lines.push_back(((value >> k) & 1) == 0 ? 0 : ((signs >> k) & 1 ? -1 : 1));
    }
    return lines;
}

TEST(HuffmanCount1, EveryQuadrupleOfTablesAAndBRoundTrips) {
    for (bool tableB : {false, true}) {
        SCOPED_TRACE(tableB ? "table B" : "table A");
        TBitWriter writer;
        std::vector<int32_t> expected;
        for (uint32_t value = 0; value < 16; ++value) {
            const uint32_t signs = (value * 7u) & 15u;
            PutQuadruple(writer, tableB, value, signs);
            const std::vector<int32_t> lines = QuadrupleLines(value, signs);
            expected.insert(expected.end(), lines.begin(), lines.end());
        }
        // The last quadruple (15) has x and y set, so the count reaches its end.
        TStream stream(writer);
        std::vector<int32_t> lines(64, 77);
        const int32_t count = DecodeCount1(stream.Reader, lines.data(), 64, writer.Bits, tableB ? 1 : 0);
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(count, 64);
        EXPECT_EQ(BitConsumed(stream.Reader), writer.Bits);
    }
}

TEST(HuffmanCount1, CountEndsAtTheLastNonZeroQuadruple) {
    struct TCase {
        std::vector<uint32_t> Values;
        int32_t Count;
    };
    const TCase cases[] = {
        {{0, 0, 0}, 0},           // nothing non-zero
        {{0, 0b1000, 0, 0}, 6},   // v only: 4 x 1 + 2
        {{0, 0b0100, 0}, 6},      // w only
        {{0b0010, 0, 0}, 4},      // x: 4 x (0 + 1)
        {{0, 0, 0b0001}, 12},     // y: 4 x (2 + 1)
        {{0b1111, 0b1100, 0}, 6}, // the later v/w quadruple decides
    };
    for (bool tableB : {false, true}) {
        for (const TCase& c : cases) {
            TBitWriter writer;
            for (uint32_t value : c.Values) {
                PutQuadruple(writer, tableB, value, 0);
            }
            TStream stream(writer);
            std::vector<int32_t> lines(64, 0);
            const auto available = static_cast<int32_t>(4 * c.Values.size());
            EXPECT_EQ(DecodeCount1(stream.Reader, lines.data(), available, writer.Bits, tableB), c.Count)
                << "table " << (tableB ? "B" : "A") << ", " << c.Values.size() << " quadruples";
        }
    }
}

TEST(HuffmanCount1, QuadrupleThatOverrunsTheBudgetIsZeroed) {
    // Table A: 1111 takes 6 + 4 bits, 0001 takes 4 + 1 bits.
    TBitWriter writer;
    PutQuadruple(writer, false, 0b1111, 0b0101);
    PutQuadruple(writer, false, 0b0001, 0);
    PutQuadruple(writer, false, 0b0001, 0);
    ASSERT_EQ(writer.Bits, 20);
    {
        TStream stream(writer);
        std::vector<int32_t> lines(12, 55);
        // 12 bits: the second quadruple starts inside the budget and ends 3 bits past it.
        const int32_t count = DecodeCount1(stream.Reader, lines.data(), 12, 12, 0);
        EXPECT_EQ(lines, (std::vector<int32_t>{1, -1, 1, -1, 0, 0, 0, 0, 55, 55, 55, 55}));
        EXPECT_EQ(count, 8);
    }
    {
        // 15 bits: the second quadruple ends exactly at the budget and stays.
        TStream stream(writer);
        std::vector<int32_t> lines(12, 55);
        const int32_t count = DecodeCount1(stream.Reader, lines.data(), 12, 15, 0);
        EXPECT_EQ(lines, (std::vector<int32_t>{1, -1, 1, -1, 0, 0, 0, 1, 55, 55, 55, 55}));
        EXPECT_EQ(count, 8);
    }
    {
        // Table B needs 4 bits for a code: 3 bits left decode nothing.
        TBitWriter b;
        PutQuadruple(b, true, 0b0001, 0);
        TStream stream(b);
        std::vector<int32_t> lines(4, 55);
        EXPECT_EQ(DecodeCount1(stream.Reader, lines.data(), 4, 3, 1), 0);
        EXPECT_EQ(lines, (std::vector<int32_t>{55, 55, 55, 55}));
        EXPECT_EQ(BitConsumed(stream.Reader), 0);
    }
}

TEST(HuffmanCount1, StopsAtTheLastWholeQuadrupleThatFits) {
    TBitWriter writer;
    for (int32_t i = 0; i < 6; ++i) {
        PutQuadruple(writer, true, 0b0011, 0);
    }
    TStream stream(writer);
    std::vector<int32_t> lines(16, 55);
    // 10 lines available: two quadruples; lines 8 and 9 are not written.
    EXPECT_EQ(DecodeCount1(stream.Reader, lines.data(), 10, writer.Bits, 1), 8);
    EXPECT_EQ(lines[7], 1);
    EXPECT_EQ(lines[8], 55);
    EXPECT_EQ(BitConsumed(stream.Reader), 12);
}

// --- whole channel ---

class HuffmanSpectrum : public ::testing::Test {
protected:
    void SetUp() override {
        state = std::make_unique<TMPDecoderState>();
        CopyBandTables(*state, 1); // MPEG-1 at 44.1 kHz (sampling index 0)
        state->LineLimit = 558;
        for (auto& channel : state->Lines.Int) {
            for (auto& granule : channel) {
                std::fill(std::begin(granule), std::end(granule), kUntouched);
            }
        }
    }
    // Runs the channel's part 3 after `part2Bits` bits of part 2 that the test skips itself.
    int32_t Decode(const TBitWriter& writer, int32_t part2Bits) {
        bytes = writer.Bytes;
        bytes.resize(bytes.size() + 16, 0);
        TMPBitReader& reader = state->Reader;
        BitStart(reader, bytes.data(), bytes.data() + bytes.size());
        BitSetEnd(reader, bytes.data() + (writer.Bits + 39) / 8);
        info().Part23Length = writer.Bits;
        BitRead(reader, part2Bits);
        return DecodeSpectrum(*state, 1, 0, 0);
    }
    TMPGranuleInfo& info() { return state->GranuleInfo[1][0]; }
    int32_t* lines() { return state->Lines.Int[0][1]; }

    static constexpr int32_t kUntouched = 0x5A5A5A;
    std::unique_ptr<TMPDecoderState> state;
    std::vector<uint8_t> bytes;
};

TEST_F(HuffmanSpectrum, RegionsFollowTheBandEndsAndTableZeroSilencesItsRegion) {
    // Region 0: bands 0..2 (12 lines, table 5); region 1: bands 3..7 (lines 12..35, table 0);
    // region 2: lines 36..99 (table 24); then count1 with table A.
    TMPGranuleInfo& gi = info();
    gi.BigValues = 50;
    gi.Region0Count = 2;
    gi.Region1Count = 4;
    gi.TableSelect[0] = 5;
    gi.TableSelect[1] = 0;
    gi.TableSelect[2] = 24;
    gi.Count1TableSelect = 0;
    std::mt19937 random(7);
    std::vector<int32_t> expected(576, 0);
    TBitWriter writer;
    writer.Put(0x5, 3); // part 2
    for (int32_t i = 0; i < 100; i += 2) {
        if (i >= 12 && i < 36) {
            continue;
        }
        const int32_t table = i < 12 ? 5 : 24;
        const int32_t largest = i < 12 ? 3 : 15 + 15; // table 24 has 4 linbits
        expected[i] = static_cast<int32_t>(random() % (2 * largest + 1)) - largest;
        expected[i + 1] = static_cast<int32_t>(random() % (2 * largest + 1)) - largest;
        PutPair(writer, table, expected[i], expected[i + 1]);
    }
    PutQuadruple(writer, false, 0b0110, 0b0100);
    PutQuadruple(writer, false, 0b1000, 0);
    PutQuadruple(writer, false, 0, 0);
    expected[101] = -1;
    expected[102] = 1;
    expected[104] = 1;
    const int32_t count = Decode(writer, 3);
    EXPECT_EQ(count, 100 + 4 + 2);
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 112, lines()));
    EXPECT_EQ(lines()[112], kUntouched);
    EXPECT_EQ(BitConsumed(state->Reader), writer.Bits);
}

TEST_F(HuffmanSpectrum, BigValuesBeyondTheLineLimitStopAtTheLimit) {
    TMPGranuleInfo& gi = info();
    gi.BigValues = 200;
    gi.Region0Count = 15; // region 0 ends at line 162, region 1 at 576
    gi.Region1Count = 7;
    gi.TableSelect[0] = 1;
    gi.TableSelect[1] = 1;
    gi.TableSelect[2] = 1;
    state->LineLimit = 180;
    TBitWriter writer;
    for (int32_t i = 0; i < 100; ++i) {
        PutPair(writer, 1, 1, -1); // 20 pairs more than the limit lets through
    }
    const int32_t count = Decode(writer, 0);
    EXPECT_EQ(count, 180);
    for (int32_t i = 0; i < 180; ++i) {
        ASSERT_EQ(lines()[i], i % 2 == 0 ? 1 : -1) << i;
    }
    EXPECT_EQ(lines()[180], kUntouched);
    EXPECT_EQ(BitConsumed(state->Reader), 90 * 5);
}

TEST_F(HuffmanSpectrum, Count1StopsAtTheLineLimit) {
    TMPGranuleInfo& gi = info();
    gi.BigValues = 0;
    gi.Count1TableSelect = 1;
    state->LineLimit = 18;
    TBitWriter writer;
    for (int32_t i = 0; i < 10; ++i) {
        PutQuadruple(writer, true, 0b0001, 0);
    }
    EXPECT_EQ(Decode(writer, 0), 16);
    EXPECT_EQ(lines()[15], 1);
    EXPECT_EQ(lines()[16], kUntouched);
}

TEST_F(HuffmanSpectrum, CorruptSideInformationNeverWritesPastTheChannel) {
    // Random bits and random side information: every write must stay inside the channel's 576 lines
    // and the count inside LineLimit.
    std::mt19937 random(99);
    for (int32_t round = 0; round < 300; ++round) {
        SetUp();
        TMPGranuleInfo& gi = info();
        gi.BigValues = static_cast<int32_t>(random() % 512);
        gi.Region0Count = static_cast<int32_t>(random() % 16);
        gi.Region1Count = static_cast<int32_t>(random() % 8);
        for (int32_t& table : gi.TableSelect) {
            table = static_cast<int32_t>(random() % 32);
        }
        gi.Count1TableSelect = static_cast<int32_t>(random() % 2);
        state->LineLimit = round % 3 == 0 ? 576 : static_cast<int32_t>(random() % 577);
        TBitWriter writer;
        const int32_t bits = static_cast<int32_t>(random() % 4096);
        for (int32_t i = 0; i < bits; ++i) {
            writer.Put(random() & 1, 1);
        }
        const int32_t count = Decode(writer, 0);
        ASSERT_GE(count, 0);
        ASSERT_LE(count, std::max(state->LineLimit, 0));
        for (int32_t g = 0; g < 2; ++g) {
            for (int32_t c = 0; c < 2; ++c) {
                if (g == 1 && c == 0) {
                    continue;
                }
                ASSERT_TRUE(std::all_of(std::begin(state->Lines.Int[c][g]), std::end(state->Lines.Int[c][g]),
                                        [](int32_t v) { return v == kUntouched; }))
                    << "round " << round;
            }
        }
        const int32_t limit = state->LineLimit & ~1;
        ASSERT_TRUE(std::all_of(lines() + limit, lines() + 576, [](int32_t v) { return v == kUntouched; }))
            << "round " << round;
    }
}

} // namespace
} // namespace tunelo
