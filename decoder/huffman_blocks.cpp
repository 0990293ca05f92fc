// Turns the standard Huffman codes into the lookup blocks that the spectral decoder walks. Built once per
// process: the codes never change, so every decoder state shares one copy.

#include <algorithm>
#include <vector>

#include "layer3_huffman.h"
#include "standard_tables.h"

namespace tunelo {

namespace {

// A code word with the bits already resolved by outer blocks removed.
struct TPendingCode {
    uint32_t Bits; // the remaining bits, right-aligned
    int32_t Length;
    uint8_t X;
    uint8_t Y;
};

uint32_t HeadCell(int32_t width) {
    return 0xFF000000u | static_cast<uint32_t>(width);
}

uint32_t LeafCell(int32_t length, uint8_t x, uint8_t y) {
    const uint32_t nonZero = (x != 0 ? 1u : 0u) + (y != 0 ? 1u : 0u);
    return (static_cast<uint32_t>(length) << 24) | (static_cast<uint32_t>(y) << 16) |
           (static_cast<uint32_t>(x) << 8) | nonZero;
}

class TBlockBuilder {
public:
    std::vector<uint32_t> Cells;
    int32_t Blocks = 0;
    int32_t Holes = 0;

    // Appends a block for codes sharing an already-consumed prefix and returns its head index.
    // The first level is as wide as the longest code allows (up to 9 bits), so the short, frequent codes
    // resolve in one look-up; deeper blocks are as wide as their longest remaining code needs.
    size_t Build(const std::vector<TPendingCode>& codes) {
        int32_t longest = 1;
        for (const TPendingCode& code : codes) {
            longest = std::max(longest, code.Length);
        }
        const int32_t width = std::min<int32_t>(longest, kHuffmanMaxBlockWidth);
        const size_t head = Cells.size();
        const uint32_t entries = 1u << width;
        Cells.push_back(HeadCell(width));
        Cells.resize(head + 1 + entries, 0);
        ++Blocks;

        std::vector<bool> filled(entries, false);
        std::vector<std::vector<TPendingCode>> deeper(entries);
        for (const TPendingCode& code : codes) {
            if (code.Length <= width) {
                const int32_t spare = width - code.Length;
                const uint32_t first = code.Bits << spare;
                for (uint32_t i = first; i < first + (1u << spare); ++i) {
                    Cells[head + 1 + i] = LeafCell(code.Length, code.X, code.Y);
                    filled[i] = true;
                }
            } else {
                const int32_t rest = code.Length - width;
                const uint32_t prefix = code.Bits >> rest;
                deeper[prefix].push_back({code.Bits & ((1u << rest) - 1u), rest, code.X, code.Y});
                filled[prefix] = true;
            }
        }
        for (uint32_t i = 0; i < entries; ++i) {
            if (!deeper[i].empty()) {
                const size_t child = Build(deeper[i]);
                Cells[head + 1 + i] = static_cast<uint32_t>(child - head);
            } else if (!filled[i]) {
                // No code starts with these bits: consume them and yield zeros rather than loop.
                Cells[head + 1 + i] = LeafCell(width, 0, 0);
                ++Holes;
            }
        }
        return head;
    }
};

struct THuffmanStore {
    std::vector<uint32_t> Cells;
    THuffmanDirectoryEntry Directory[32];
    THuffmanQuadEntry QuadA[64];
    THuffmanBlockStats Stats;
};

int32_t KindOf(int32_t table, const THuffmanSource& source) {
    if (source.CodeCount == 0) {
        return kHuffmanKindZero;
    }
    if (table >= 16) {
        return kHuffmanKindLinbits;
    }
    // Tables 1..6 have codes of at most 8 bits: one block resolves each of them.
    return table <= 6 ? kHuffmanKindSingle : kHuffmanKindMulti;
}

THuffmanStore BuildStore() {
    THuffmanStore store{};
    TBlockBuilder builder;
    size_t offsets[32] = {};
    for (int32_t t = 0; t < 32; ++t) {
        const THuffmanSource& source = kHuffmanPairTables[t];
        store.Directory[t] = {nullptr, source.Linbits, KindOf(t, source)};
        if (source.CodeCount == 0) {
            continue;
        }
        // Tables that differ only in linbits share the codes, and so share one stored table.
        int32_t shared = -1;
        for (int32_t u = 0; u < t && shared < 0; ++u) {
            if (kHuffmanPairTables[u].Codes == source.Codes) {
                shared = u;
            }
        }
        if (shared >= 0) {
            offsets[t] = offsets[shared];
            continue;
        }
        std::vector<TPendingCode> codes;
        codes.reserve(static_cast<size_t>(source.CodeCount));
        for (int32_t i = 0; i < source.CodeCount; ++i) {
            const THuffmanCode& code = source.Codes[i];
            codes.push_back({code.Bits, code.Length, code.X, code.Y});
        }
        offsets[t] = builder.Build(codes);
    }
    store.Cells = std::move(builder.Cells);
    for (int32_t t = 0; t < 32; ++t) {
        if (store.Directory[t].Kind != kHuffmanKindZero) {
            store.Directory[t].Table = store.Cells.data() + offsets[t];
        }
    }
    store.Stats = {static_cast<int32_t>(store.Cells.size()), builder.Blocks, builder.Holes};

    // Table A: every 6-bit index that starts with a code word resolves to it.
    for (THuffmanQuadEntry& entry : store.QuadA) {
        entry = {6, 0}; // not reached by a complete code; consumes the bits and yields zeros
    }
    for (const THuffmanCode& code : kHuffmanQuadA) {
        const int32_t spare = 6 - code.Length;
        const uint32_t first = code.Bits << spare;
        for (uint32_t i = first; i < first + (1u << spare); ++i) {
            store.QuadA[i] = {code.Length, static_cast<uint8_t>(code.X & 15)};
        }
    }
    return store;
}

const THuffmanStore& Store() {
    static const THuffmanStore store = BuildStore();
    return store;
}

} // namespace

const THuffmanDirectoryEntry* HuffmanDirectory() {
    return Store().Directory;
}

const THuffmanQuadEntry* HuffmanQuadTableA() {
    return Store().QuadA;
}

THuffmanBlockStats HuffmanBlockStats() {
    return Store().Stats;
}

} // namespace tunelo
