// Inputs shared by the stage benchmarks: Huffman-coded part 3 data written with the standard codes, a
// granule of quantised lines with its side information, and a decoder state whose routine table
// holds the members the processor gets.
//
// Every input is generated from a fixed seed, so two runs (before and after a change) time the same work.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bit_reader.h"
#include "bit_writer.h"
#include "decoder_state.h"
#include "frame_driver.h"
#include "layer3_huffman.h"
#include "layer3_spectrum.h"
#include "routine_table.h"
#include "standard_tables.h"

namespace tunelo::bench {

inline constexpr uint32_t kSeed = 20240611;
inline constexpr int32_t kGranuleLines = 576;

using testsupport::TBitWriter;

// Draws codes of one table with the probability their length stands for (2^-length): the statistics
// for which an encoder would have picked that table, so the walk meets short and long codes as often
// as in real streams.
class TCodeSource {
public:
    TCodeSource(const THuffmanCode* codes, int32_t count) : Codes_(codes) {
        std::vector<double> weights;
        for (int32_t i = 0; i < count; ++i) {
            weights.push_back(std::ldexp(1.0, -codes[i].Length));
        }
        Pick_ = std::discrete_distribution<int32_t>(weights.begin(), weights.end());
    }
    const THuffmanCode& Next(std::mt19937& random) { return Codes_[Pick_(random)]; }

private:
    const THuffmanCode* Codes_;
    std::discrete_distribution<int32_t> Pick_;
};

// One value of a pair: escape bits (when the table has linbits and the code says 15), then the sign.
inline int32_t PutPairValue(TBitWriter& writer, std::mt19937& random, int32_t coded, int32_t linbits) {
    int32_t magnitude = coded;
    if (linbits > 0 && coded == 15) {
        const uint32_t escape = random() & ((1u << linbits) - 1u);
        writer.Put(escape, linbits);
        magnitude += static_cast<int32_t>(escape);
    }
    if (magnitude == 0) {
        return 0;
    }
    const bool negative = (random() & 1) != 0;
    writer.Put(negative ? 1 : 0, 1);
    return negative ? -magnitude : magnitude;
}

// Appends `pairs` pairs coded with pair table `table` (code, x's linbits and sign, y's) and the values
// they stand for.
inline void AppendPairs(TBitWriter& writer, std::mt19937& random, int32_t table, int32_t pairs,
                        std::vector<int32_t>& values) {
    const THuffmanSource& source = kHuffmanPairTables[table];
    TCodeSource codes(source.Codes, source.CodeCount);
    for (int32_t i = 0; i < pairs; ++i) {
        const THuffmanCode& code = codes.Next(random);
        writer.Put(code.Bits, code.Length);
        values.push_back(PutPairValue(writer, random, code.X, source.Linbits));
        values.push_back(PutPairValue(writer, random, code.Y, source.Linbits));
    }
}

// Appends `quadruples` count1 codes of table A (0) or B (1) with their signs, and their values.
inline void AppendQuadruples(TBitWriter& writer, std::mt19937& random, int32_t tableSelect,
                             int32_t quadruples, std::vector<int32_t>& values) {
    TCodeSource codes(kHuffmanQuadA, 16);
    for (int32_t i = 0; i < quadruples; ++i) {
        uint32_t value;
        if (tableSelect & 1) {
            // Table B: every value has a 4-bit code, its complement.
            value = random() & 15u;
            writer.Put(value ^ 15u, 4);
        } else {
            const THuffmanCode& code = codes.Next(random);
            value = code.X & 15u;
            writer.Put(code.Bits, code.Length);
        }
        for (int32_t k = 0; k < 4; ++k) {
            if (((value >> (3 - k)) & 1) == 0) {
                values.push_back(0);
                continue;
            }
            const bool negative = (random() & 1) != 0;
            writer.Put(negative ? 1 : 0, 1);
            values.push_back(negative ? -1 : 1);
        }
    }
}

// Written part 3 bits with room behind them for the reader's look-ahead.
struct TCodedBits {
    std::vector<uint8_t> Bytes;
    int32_t Bits = 0;
    std::vector<int32_t> Values;

    void Finish(const TBitWriter& writer) {
        Bytes = writer.Bytes;
        Bits = writer.Bits;
        Bytes.resize(Bytes.size() + 16, 0);
    }
    // A reader over the bits whose end mark sits where the frame driver puts it (39 bits of slack).
    void StartReader(TMPBitReader& reader) const {
        BitStart(reader, Bytes.data(), Bytes.data() + Bytes.size());
        BitSetEnd(reader, Bytes.data() + (Bits + 39) / 8);
    }
};

inline TCodedBits PairStream(int32_t table, int32_t pairs) {
    std::mt19937 random(kSeed + static_cast<uint32_t>(table));
    TBitWriter writer;
    TCodedBits coded;
    AppendPairs(writer, random, table, pairs, coded.Values);
    coded.Finish(writer);
    return coded;
}

inline TCodedBits QuadrupleStream(int32_t tableSelect, int32_t quadruples) {
    std::mt19937 random(kSeed + 100 + static_cast<uint32_t>(tableSelect));
    TBitWriter writer;
    TCodedBits coded;
    AppendQuadruples(writer, random, tableSelect, quadruples, coded.Values);
    coded.Finish(writer);
    return coded;
}

// A decoder state with the routine table the processor gets, as a set-up leaves it.
inline std::unique_ptr<TMPDecoderState> NewState() {
    auto state = std::make_unique<TMPDecoderState>();
    SelectRoutines(state->Routines, DetectCapabilities());
    return state;
}

// The bands of MPEG-1 at 44.1 kHz and full bandwidth, as the set-up leaves them.
inline void UseBands44k(TMPDecoderState& state) {
    state.SamplingIndex = 0;
    CopyBandTables(state, 1);
    state.LineLimit = kGranuleLines;
    state.LongLineLimit = kGranuleLines;
    state.ShortLineLimit = kGranuleLines;
    state.MixedLongBands = 8;
    state.SynthSubbands = 32;
}

// One granule of channel 0 as a 44.1 kHz stream at a middle bit rate codes it: big values up to line 416
// in three regions (table 26, the codes of 24 with 6 linbits, for the loud low bands, then 15, then 7),
// count1 quadruples with table A up to the end of the granule. The low bands reach values above 31, which
// the dequantiser takes through its explicit power path, as loud music does. Fills the granule's side
// information and scale factors; the returned bits are its part 3 (no part 2) and the values they stand for.
inline TCodedBits GranuleSpectrum(TMPDecoderState& state) {
    UseBands44k(state);
    TMPGranuleInfo& info = state.GranuleInfo[0][0];
    info = TMPGranuleInfo{};
    info.BigValues = 208;
    info.Region0Count = 7; // region 1 starts at line 36
    info.Region1Count = 5; // region 2 at line 110
    info.TableSelect[0] = 26;
    info.TableSelect[1] = 15;
    info.TableSelect[2] = 7;
    info.Count1TableSelect = 0;
    info.GlobalGain = 170;
    info.SubblockGain[0] = 0;
    info.SubblockGain[1] = 1;
    info.SubblockGain[2] = 2;

    std::mt19937 random(kSeed);
    TBitWriter writer;
    TCodedBits coded;
    const int32_t region1 = state.SfbLongEnd[7];
    const int32_t region2 = state.SfbLongEnd[13];
    const int32_t bigEnd = 2 * info.BigValues;
    AppendPairs(writer, random, 26, region1 / 2, coded.Values);
    AppendPairs(writer, random, 15, (region2 - region1) / 2, coded.Values);
    AppendPairs(writer, random, 7, (bigEnd - region2) / 2, coded.Values);
    AppendQuadruples(writer, random, 0, (kGranuleLines - bigEnd) / 4, coded.Values);
    coded.Finish(writer);
    info.Part23Length = coded.Bits;

    // Scale factors of the size lame writes: 0..15 for long bands, 0..7 for short ones.
    for (int32_t k = 0; k < kScaleFactorCount; ++k) {
        state.ScaleFactors[0][0][k] = static_cast<int32_t>(random() % (k < kShortScaleFactorBase ? 16 : 8));
    }
    return coded;
}

enum : int64_t { kLongBlock = 0, kShortBlock = 1, kMixedBlock = 2 };

// GranuleSpectrum's granule after Huffman decoding, with the block type asked for.
struct TQuantisedGranule {
    std::unique_ptr<TMPDecoderState> State = NewState();
    alignas(32) int32_t Values[kGranuleLines];
    int32_t Count = 0;

    explicit TQuantisedGranule(int64_t block) {
        const TCodedBits coded = GranuleSpectrum(*State);
        coded.StartReader(State->Reader);
        Count = DecodeSpectrum(*State, 0, 0, 0);
        std::memcpy(Values, State->IntLines(0, 0), sizeof Values);
        TMPGranuleInfo& info = State->GranuleInfo[0][0];
        info.WindowSwitchingFlag = block == kLongBlock ? 0 : 1;
        info.BlockType = block == kLongBlock ? 0 : 2;
        info.MixedBlockFlag = block == kMixedBlock ? 1 : 0;
    }
    // Dequantise works in place (integers in, floats out): each run starts from the integers again.
    void Restore() {
        std::memcpy(State->IntLines(0, 0), Values, sizeof Values);
        State->NonZeroLines[0][0] = Count;
    }
};

// The granule's lines as the filterbank receives them: dequantised, and alias-reduced for a long block.
inline void FilterbankInput(int64_t block, float* lines) {
    TQuantisedGranule granule(block);
    granule.Restore();
    Dequantise(*granule.State, 0, 0);
    AliasReduceChannel(*granule.State, 0, 0);
    std::memcpy(lines, granule.State->FloatLines(0, 0), sizeof(float) * kGranuleLines);
}

} // namespace tunelo::bench
