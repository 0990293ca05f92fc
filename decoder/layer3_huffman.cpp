// Layer III part 3: the Huffman-coded spectral values of one granule and channel. The walks work on a
// local copy of the bit reader so that the accumulator stays in registers for a whole region.

#include <algorithm>

#include "MPBitReader.h"
#include "MPLayer3Huffman.h"

namespace tunelo {

namespace {

inline uint32_t CellLength(uint32_t cell) {
    return cell >> 24;
}

inline int32_t ApplySign(TMPBitReader& reader, int32_t value) {
    if (value != 0 && BitRead(reader, 1) != 0) {
        return -value;
    }
    return value;
}

template <int32_t Kind>
void DecodePairs(TMPBitReader& reader, int32_t* lines, int32_t pairs, const uint32_t* table,
                 int32_t linbits) {
    TMPBitReader r = reader;
    const int32_t firstWidth = static_cast<int32_t>(table[0] & 0xFF);
    for (int32_t i = 0; i < pairs; ++i) {
        BitRefill(r);
        uint32_t cell = table[1 + (r.Accumulator >> (r.Held - firstWidth))];
        if constexpr (Kind != kHuffmanKindSingle) {
            const uint32_t* block = table;
            int32_t width = firstWidth;
            while (CellLength(cell) == 0) {
                BitSkipHeld(r, width);
                block += cell;
                width = static_cast<int32_t>(block[0] & 0xFF);
                cell = block[1 + BitPeek(r, width)];
            }
        }
        BitSkipHeld(r, static_cast<int32_t>(CellLength(cell)));
        int32_t x = static_cast<int32_t>((cell >> 8) & 0xFF);
        int32_t y = static_cast<int32_t>((cell >> 16) & 0xFF);
        if constexpr (Kind == kHuffmanKindLinbits) {
            if (x == 15) {
                x += static_cast<int32_t>(BitReadRefill(r, linbits));
            }
        }
        x = ApplySign(r, x);
        if constexpr (Kind == kHuffmanKindLinbits) {
            if (y == 15) {
                y += static_cast<int32_t>(BitReadRefill(r, linbits));
            }
        }
        y = ApplySign(r, y);
        lines[2 * i] = x;
        lines[2 * i + 1] = y;
        if (BitExhausted(r)) {
            break;
        }
    }
    reader = r;
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
    const THuffmanQuadEntry* tableA = HuffmanQuadTableA();
    TMPBitReader r = reader;
    int32_t bits = bitsLeft;
    int32_t done = 0;
    int32_t lastNonZero = -1;
    uint32_t lastValue = 0;
    while (done < quadruples && bits > minimumBits) {
        uint32_t value;
        if (tableB) {
            value = BitRead(r, 4) ^ 15u;
            bits -= 4;
        } else {
            const THuffmanQuadEntry entry = tableA[BitPeek(r, 6)];
            BitSkipHeld(r, entry.Length);
            bits -= entry.Length;
            value = entry.Value;
        }
        int32_t* quadruple = lines + 4 * done;
        for (int32_t k = 0; k < 4; ++k) {
            if ((value >> (3 - k)) & 1) {
                --bits;
                quadruple[k] = BitRead(r, 1) != 0 ? -1 : 1;
            } else {
                quadruple[k] = 0;
            }
        }
        if (value != 0) {
            lastNonZero = done;
            lastValue = value;
        }
        ++done;
        if (BitExhausted(r)) {
            break;
        }
    }
    if (bits < 0 && done > 0) {
        // The last code ran past part 2/3: its values belong to no line of this channel.
        std::fill(lines + 4 * (done - 1), lines + 4 * done, 0);
    }
    reader = r;
    if (lastNonZero < 0) {
        return 0;
    }
    return (lastValue & 3) != 0 ? 4 * (lastNonZero + 1) : 4 * lastNonZero + 2;
}

int32_t DecodeSpectrum(TMPDecoderState& state, int32_t granule, int32_t channel, int32_t part2StartBit) {
    const TMPGranuleInfo& info = state.GranuleInfo[granule][channel];
    int32_t* lines = state.IntLines(channel, granule);
    TMPBitReader& reader = state.Reader;

    const int32_t lineLimit = std::clamp(state.LineLimit, 0, 576) & ~1;
    const int32_t bigEnd = std::min(2 * std::clamp(info.BigValues, 0, 288), lineLimit);
    const int32_t band0 = std::clamp(info.Region0Count, 0, 21);
    const int32_t band1 = band0 + std::max(info.Region1Count, 0) + 1;
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
