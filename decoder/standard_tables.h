// The numbers of the MPEG audio standards (ISO/IEC 11172-3, ISO/IEC 13818-3), as stored data.
// The definitions live in generated/standard_tables.cpp, written by tools/gen_tables.py from the
// table files of the standards; do not edit the generated file by hand.
#pragma once

#include <cstdint>

namespace tunelo {

// Bit rates in kbit/s: [layer - 1][VersionId][BitrateIndex]; layer 0 = Layer I, 1 = II, 2 = III.
// Index 0 (free format) and 15 (forbidden) hold 0. MPEG-2.5 uses the VersionId 0 row.
extern const int32_t kBitrateTable[3][2][16];

// Sampling frequencies in units of 50 Hz: [VersionId][SamplingIndex]; index 3 holds -999.
extern const int32_t kSamplingTable50[2][4];

// Layer III scale-factor bands by version row (0 = MPEG-2, 1 = MPEG-1, 2 = MPEG-2.5) and
// SamplingIndex: end line of each long band, and end line of each short band (per window, not x3).
extern const int16_t kSfbLongEnd[3][3][22];
extern const int16_t kSfbShortEnd[3][3][13];

// The synthesis window D[0..511] with the standard's signs.
extern const double kSynthWindowD[512];

// One Huffman code word of a pair table (x, y) or of a quadruple table (value = v w x y bits).
struct THuffmanCode {
    uint8_t X;
    uint8_t Y;
    uint8_t Length;
    uint32_t Bits; // the code word, right-aligned
};

// The pair tables 0..31 of Annex B: codes and linbits. Tables without codes have CodeCount 0;
// tables 17..23 and 25..31 point at the codes of 16 and 24.
struct THuffmanSource {
    const THuffmanCode* Codes;
    int32_t CodeCount;
    int32_t Linbits;
};
extern const THuffmanSource kHuffmanPairTables[32];

// Quadruple table A (count1 table 0): X holds the value v w x y in its low four bits.
extern const THuffmanCode kHuffmanQuadA[16];

// Layer II allocation tables: B.2a, B.2b, B.2c, B.2d (ISO/IEC 11172-3) and B.1 (ISO/IEC 13818-3).
struct TLayer2AllocTable {
    int32_t Subbands;
    uint8_t AllocBits[32];   // width of the allocation field per subband
    uint8_t Classes[32][16]; // quantisation class 1..17 per allocation value; [sb][0] = 0
};
enum : int32_t { kAllocB2a = 0, kAllocB2b = 1, kAllocB2c = 2, kAllocB2d = 3, kAllocB1 = 4 };
extern const TLayer2AllocTable kLayer2AllocTables[5];

} // namespace tunelo
