// Layer III part 3: the Huffman-coded spectral values of one granule and channel.
//
// The walks keep the reader's fields in locals for a whole region and load bytes exactly when the reader's
// own operations would (refill at 10 bits or fewer before a look-up, before linbits when fewer than
// linbits + 2 are held), so the reader ends in the same state and its end mark keeps its meaning. Those
// rules also guarantee the bits for every sign: after a look-up of at most 9 bits at least 2 bits remain,
// and after linbits at least 2, so signs are taken without further checks.

#include <algorithm>

#include "bit_reader.h"
#include "layer3_huffman.h"

namespace tunelo {

namespace {

// The reader in registers. Bits above Held may hold consumed bits; they are masked on every read and
// cleared again when the reader is written back.
struct TLocalBits {
    const uint8_t* Fetch;
    const uint8_t* Limit;
    uint32_t Accumulator;
    int32_t Held;
};

inline TLocalBits LoadBits(const TMPBitReader& reader) {
    return {reader.Fetch, reader.Limit, reader.Accumulator, reader.Held};
}

inline void StoreBits(TMPBitReader& reader, const TLocalBits& bits) {
    reader.Fetch = bits.Fetch;
    reader.Held = bits.Held;
    reader.Accumulator = bits.Accumulator & static_cast<uint32_t>((uint64_t{1} << bits.Held) - 1u);
}

// Loads whole bytes until at least 25 bits are held (Held <= 24 on entry), in one 4-byte load where the
// bytes lie inside the reader's limit; bytes at or beyond the limit read as 0.
inline void FillTo25(TLocalBits& b) {
    const int32_t bytes = (32 - b.Held) >> 3;
    uint32_t word = 0;
    if (b.Limit - b.Fetch >= 4) {
        word = (static_cast<uint32_t>(b.Fetch[0]) << 24) | (static_cast<uint32_t>(b.Fetch[1]) << 16) |
               (static_cast<uint32_t>(b.Fetch[2]) << 8) | static_cast<uint32_t>(b.Fetch[3]);
    } else {
        for (int32_t i = 0; i < bytes; ++i) {
            const uint32_t byte = b.Fetch + i < b.Limit ? b.Fetch[i] : 0u;
            word |= byte << (24 - 8 * i);
        }
    }
    const int32_t bits = 8 * bytes;
    b.Accumulator =
        static_cast<uint32_t>((static_cast<uint64_t>(b.Accumulator) << bits) | (word >> (32 - bits)));
    b.Fetch += bytes;
    b.Held += bits;
}

inline uint32_t PeekBits(const TLocalBits& b, int32_t n) {
    return (b.Accumulator >> (b.Held - n)) & ((1u << n) - 1u);
}

inline uint32_t TakeBits(TLocalBits& b, int32_t n) {
    b.Held -= n;
    return (b.Accumulator >> b.Held) & ((1u << n) - 1u);
}

// The next bit as a sign when the value is not 0 (consumed only then): 1 negates.
inline int32_t TakeSign(TLocalBits& b, int32_t value) {
    const int32_t present = value != 0 ? 1 : 0;
    const int32_t sign = present & static_cast<int32_t>(b.Accumulator >> (b.Held - 1));
    b.Held -= present;
    return (value ^ -sign) + sign;
}

// 15 plus the linbits that follow, then the sign, read together (the refill before linbits leaves
// at least two bits beyond them).
inline int32_t EscapedValue(TLocalBits& b, int32_t linbits) {
    if (b.Held < linbits + 2) {
        FillTo25(b);
    }
    const uint32_t bits = TakeBits(b, linbits + 1);
    const int32_t magnitude = 15 + static_cast<int32_t>(bits >> 1);
    const int32_t sign = static_cast<int32_t>(bits & 1);
    return (magnitude ^ -sign) + sign;
}

inline uint32_t CellLength(uint32_t cell) {
    return cell >> 24;
}

// A count1 code together with the sign bits that follow it, looked up at once: the next 10 bits
// (table A: a code of up to 6 bits and up to 4 signs) or 8 bits (table B: 4 and 4).
// Eight bytes, so that an entry's address is one scaled index.
struct alignas(8) TQuadCodeWithSigns {
    int8_t Values[4];
    uint8_t Bits; // code and signs
};

struct TQuadTables {
    TQuadCodeWithSigns A[1024];
    TQuadCodeWithSigns B[256];

    static TQuadCodeWithSigns Entry(uint32_t value, int32_t codeBits, uint32_t following, int32_t width) {
        TQuadCodeWithSigns entry{};
        int32_t bits = codeBits;
        for (int32_t k = 0; k < 4; ++k) {
            if (((value >> (3 - k)) & 1) == 0) {
                continue;
            }
            const bool negative = ((following >> (width - 1 - bits)) & 1) != 0;
            entry.Values[k] = negative ? -1 : 1;
            ++bits;
        }
        entry.Bits = static_cast<uint8_t>(bits);
        return entry;
    }

    TQuadTables() {
        const THuffmanQuadEntry* codesA = HuffmanQuadTableA();
        for (uint32_t p = 0; p < 1024; ++p) {
            const THuffmanQuadEntry code = codesA[p >> 4];
            A[p] = Entry(code.Value, code.Length, p, 10);
        }
        for (uint32_t p = 0; p < 256; ++p) {
            B[p] = Entry((p >> 4) ^ 15u, 4, p, 8);
        }
    }
};

const TQuadTables& QuadTables() {
    static const TQuadTables tables;
    return tables;
}

template <int32_t Kind>
void DecodePairs(TMPBitReader& reader, int32_t* lines, int32_t pairs, const uint32_t* table,
                 int32_t linbits) {
    TLocalBits b = LoadBits(reader);
    const uint8_t* const end = reader.End;
    const int32_t firstWidth = static_cast<int32_t>(table[0] & 0xFF);
    for (int32_t i = 0; i < pairs; ++i) {
        if (b.Held <= 10) {
            FillTo25(b);
        }
        uint32_t cell = table[1 + PeekBits(b, firstWidth)];
        if constexpr (Kind != kHuffmanKindSingle) {
            const uint32_t* block = table;
            int32_t width = firstWidth;
            while (CellLength(cell) == 0) {
                b.Held -= width;
                block += cell;
                width = static_cast<int32_t>(block[0] & 0xFF);
                if (b.Held <= 10) {
                    FillTo25(b);
                }
                cell = block[1 + PeekBits(b, width)];
            }
        }
        int32_t x = static_cast<int32_t>((cell >> 8) & 0xFF);
        int32_t y = static_cast<int32_t>((cell >> 16) & 0xFF);
        if (Kind != kHuffmanKindLinbits || (x != 15 && y != 15)) {
            // No linbits between the code and its signs: take both signs where they lie and move
            // past code and signs at once (the leaf counts the non-zero values).
            const int32_t signsStart = b.Held - static_cast<int32_t>(CellLength(cell));
            b.Held = signsStart - static_cast<int32_t>(cell & 0xFF);
            // Without branches (the signs are as unpredictable as the music): x's sign is the bit
            // just below signsStart, y's the last one; a zero value takes no sign.
            const int32_t hasX = x != 0 ? 1 : 0;
            const int32_t hasY = y != 0 ? 1 : 0;
            const int32_t signX = static_cast<int32_t>(b.Accumulator >> (signsStart - hasX)) & hasX;
            const int32_t signY = static_cast<int32_t>(b.Accumulator >> b.Held) & hasY;
            lines[2 * i] = (x ^ -signX) + signX;
            lines[2 * i + 1] = (y ^ -signY) + signY;
            if (b.Fetch > end) {
                break;
            }
            continue;
        }
        b.Held -= static_cast<int32_t>(CellLength(cell));
        if constexpr (Kind == kHuffmanKindLinbits) {
            x = x == 15 ? EscapedValue(b, linbits) : TakeSign(b, x);
            y = y == 15 ? EscapedValue(b, linbits) : TakeSign(b, y);
        }
        lines[2 * i] = x;
        lines[2 * i + 1] = y;
        if (b.Fetch > end) {
            break;
        }
    }
    StoreBits(reader, b);
}

// Lines of the three big-values regions: band ends give the first two boundaries, each kept inside
// [0, bigEnd] and even so that pairs never straddle a boundary.
int32_t RegionBoundary(int32_t line, int32_t low, int32_t bigEnd) {
    return std::clamp(line, low, bigEnd) & ~1;
}

} // namespace

void DecodeBigValues(TMPBitReader& reader, int32_t* lines, int32_t count, int32_t table) {
    const int32_t pairs = count / 2;
    if (pairs <= 0) {
        return;
    }
    const THuffmanDirectoryEntry& entry = HuffmanDirectory()[table & 31];
    switch (entry.Kind) {
    case kHuffmanKindSingle:
        DecodePairs<kHuffmanKindSingle>(reader, lines, pairs, entry.Table, 0);
        break;
    case kHuffmanKindMulti:
        DecodePairs<kHuffmanKindMulti>(reader, lines, pairs, entry.Table, 0);
        break;
    case kHuffmanKindLinbits:
        DecodePairs<kHuffmanKindLinbits>(reader, lines, pairs, entry.Table, entry.Linbits);
        break;
    default:
        std::fill(lines, lines + 2 * pairs, 0);
        break;
    }
}

int32_t DecodeCount1(TMPBitReader& reader, int32_t* lines, int32_t available, int32_t bitsLeft,
                     int32_t tableSelect) {
    const int32_t quadruples = available / 4;
    const bool tableB = (tableSelect & 1) != 0;
    // Table B's code is always 4 bits; table A's shortest is 1.
    const int32_t minimumBits = tableB ? 3 : 0;
    // A code with its signs takes at most 10 bits (table A) or 8 (table B): one refill, when fewer
    // are held, covers the look-up.
    const int32_t width = tableB ? 8 : 10;
    const TQuadCodeWithSigns* table = tableB ? QuadTables().B : QuadTables().A;
    TLocalBits b = LoadBits(reader);
    const uint8_t* const end = reader.End;
    int32_t bits = bitsLeft;
    int32_t done = 0;
    while (done < quadruples && bits > minimumBits) {
        if (b.Held < width) {
            FillTo25(b);
        }
        const TQuadCodeWithSigns& entry = table[PeekBits(b, width)];
        b.Held -= entry.Bits;
        bits -= entry.Bits;
        int32_t* quadruple = lines + 4 * done;
        quadruple[0] = entry.Values[0];
        quadruple[1] = entry.Values[1];
        quadruple[2] = entry.Values[2];
        quadruple[3] = entry.Values[3];
        ++done;
        if (b.Fetch > end) {
            break;
        }
    }
    StoreBits(reader, b);
    // The last quadruple holding a non-zero value, found backwards once the walk is done (an overrun
    // quadruple still counts, as it did when it was decoded).
    int32_t last = done - 1;
    while (last >= 0 &&
           (lines[4 * last] | lines[4 * last + 1] | lines[4 * last + 2] | lines[4 * last + 3]) == 0) {
        --last;
    }
    const int32_t count = last < 0                                           ? 0
                          : (lines[4 * last + 2] | lines[4 * last + 3]) != 0 ? 4 * (last + 1)
                                                                             : 4 * last + 2;
    if (bits < 0 && done > 0) {
        // The last code ran past part 2/3: its values belong to no line of this channel.
        std::fill(lines + 4 * (done - 1), lines + 4 * done, 0);
    }
    return count;
}

void PrepareHuffmanTables() {
    HuffmanDirectory();
    QuadTables();
}

int32_t DecodeSpectrum(TMPDecoderState& state, int32_t granule, int32_t channel, int32_t part2StartBit) {
    const TMPGranuleInfo& info = state.GranuleInfo[granule][channel];
    int32_t* lines = state.IntLines(channel, granule);
    TMPBitReader& reader = state.Reader;

    const int32_t lineLimit = std::clamp(state.LineLimit, 0, 576) & ~1;
    const int32_t bigEnd = std::min(2 * std::clamp(info.BigValues, 0, 288), lineLimit);
    const int32_t band0 = std::clamp(info.Region0Count, 0, 21);
    const int32_t band1 = band0 + std::clamp(info.Region1Count, 0, 21) + 1;
    const int32_t region1 = RegionBoundary(state.SfbLongEnd[band0], 0, bigEnd);
    const int32_t region2 = RegionBoundary(band1 < 22 ? state.SfbLongEnd[band1] : 576, region1, bigEnd);

    DecodeBigValues(reader, lines, region1, info.TableSelect[0]);
    if (!BitExhausted(reader)) {
        DecodeBigValues(reader, lines + region1, region2 - region1, info.TableSelect[1]);
    }
    if (!BitExhausted(reader)) {
        DecodeBigValues(reader, lines + region2, bigEnd - region2, info.TableSelect[2]);
    }
    if (BitExhausted(reader)) {
        return bigEnd;
    }
    const int32_t bitsLeft = info.Part23Length - (BitConsumed(reader) - part2StartBit);
    return bigEnd +
           DecodeCount1(reader, lines + bigEnd, lineLimit - bigEnd, bitsLeft, info.Count1TableSelect);
}

} // namespace tunelo
