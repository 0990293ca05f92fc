// Layer III part 2 and part 3: scale factors, and the Huffman-coded spectral values of one granule
// and channel, read through the state's Layer III bit reader.
#pragma once

#include <cstdint>

#include "decoder_state.h"

namespace tunelo {

// --- Stored Huffman lookup blocks ---
//
// A pair table is a tree of lookup blocks, each a run of 32-bit cells (byte k of a cell = bits 8k..8k+7).
// The head cell holds w (the number of bits the block looks at, 1..9) in byte 0 and the filler 0, 0, 0xFF
// in bytes 1..3; 2^w entry cells follow, entry i for the w-bit value i. A leaf has the code length to
// consume (1..w) in byte 3, x in byte 1, y in byte 2 and the count of non-zero values in byte 0; a link has
// byte 3 = 0 and the whole cell is the distance in cells from this block's head to the next block's head.

enum : int32_t {
    kHuffmanKindZero = 0,      // no codes: the region decodes as zeros (tables 0, 4, 14)
    kHuffmanKindSingle = 1,    // one lookup block, no linbits (tables 1, 2, 3, 5, 6)
    kHuffmanKindMulti = 2,     // several levels, no linbits (tables 7..13, 15)
    kHuffmanKindLinbits = 3,   // several levels with linbits (tables 16..31)
    kHuffmanMaxBlockWidth = 9, // bits a block looks at, at most
};

struct THuffmanDirectoryEntry {
    const uint32_t* Table; // head cell of the first-level block; null for kind 0
    int32_t Linbits;
    int32_t Kind;
};

// Count1 table A, indexed by the next 6 bits: code length and value (bits 3..0 = v, w, x, y).
struct THuffmanQuadEntry {
    uint8_t Length;
    uint8_t Value;
};

// The 32 table entries, built once per process on first use (thread-safe).
const THuffmanDirectoryEntry* HuffmanDirectory();
const THuffmanQuadEntry* HuffmanQuadTableA();

// Builds every table the walks use, once per process; the set-up calls it so that no frame waits.
void PrepareHuffmanTables();

// What the built blocks occupy, for tests and reports. Holes are entries that no code reached (0 for
// complete prefix codes); they are stored as zero leaves so a walk can never loop.
struct THuffmanBlockStats {
    int32_t Cells;
    int32_t Blocks;
    int32_t Holes;
};
THuffmanBlockStats HuffmanBlockStats();

// --- Scale factors (part 2) ---

// MPEG-1 form, with scale-factor reuse from granule 0 (scfsi) for long blocks of granule 1.
void ReadScaleFactorsMpeg1(TMPDecoderState& state, int32_t granule, int32_t channel);

// MPEG-2/2.5 form; sets the granule's preflag. For the second channel of an intensity-stereo frame
// it also fills IntensityLimits.
void ReadScaleFactorsLsf(TMPDecoderState& state, int32_t granule, int32_t channel,
                         bool intensitySecondChannel);

// --- Spectral values (part 3) ---

// Decodes count / 2 pairs with pair table `table` (count is even). Stops after the pair at which the
// reader passes its end mark, leaving the rest of the region as it was.
void DecodeBigValues(TMPBitReader& reader, int32_t* lines, int32_t count, int32_t table);

// Decodes quadruples while fewer than available / 4 are done and the part 2/3 budget `bitsLeft` lasts.
// A quadruple whose bits overran the budget is set to zero. Returns the line count up to the last
// non-zero value (0 when every quadruple was zero).
int32_t DecodeCount1(TMPBitReader& reader, int32_t* lines, int32_t available, int32_t bitsLeft,
                     int32_t tableSelect);

// Decodes the channel's part 3 into Lines.Int[channel][granule]: the three big-values regions, then
// count1 up to LineLimit within part2_3_length bits, counted from part2StartBit (the reader's
// BitConsumed() where the channel's part 2 began). Returns the number of lines decoded up to the last
// non-zero value; lines beyond it may hold stale values for the caller to clear.
int32_t DecodeSpectrum(TMPDecoderState& state, int32_t granule, int32_t channel, int32_t part2StartBit);

} // namespace tunelo
