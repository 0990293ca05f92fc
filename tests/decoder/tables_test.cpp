// The stored standard tables and the computed Layer III and synthesis tables.

#include "layer3_tables.h"
#include "standard_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tunelo {
namespace {

// ---------------------------------------------------------------------------------------------
// Computed tables

TEST(Layer3Tables, DequantisationSpotValues) {
    const TMPLayer3Tables& t = Layer3Tables();
    EXPECT_EQ(t.GlobalGainTable[216], 32768.0f); // 6 + 210: unit gain on the 16-bit scale
    EXPECT_EQ(t.GlobalGainTable[220], 65536.0f);
    EXPECT_EQ(t.GlobalGainTable[156], 1.0f);
    EXPECT_EQ(t.GlobalGainTable[0], std::ldexp(1.0f, -39));
    EXPECT_FLOAT_EQ(t.GlobalGainTable[261], static_cast<float>(std::pow(2.0, 105.0 / 4)));

    EXPECT_EQ(t.PowerTable[40], 16.0f); // 8^(4/3)
    EXPECT_EQ(t.PowerTable[32], 0.0f);
    EXPECT_EQ(t.PowerTable[33], 1.0f);
    EXPECT_EQ(t.PowerTable[31], -1.0f);
    EXPECT_EQ(t.PowerTable[24], -16.0f);
    EXPECT_EQ(t.PowerTable[59], 81.0f); // 27^(4/3)
    EXPECT_FLOAT_EQ(t.PowerTable[0], static_cast<float>(-32 * std::cbrt(32.0)));

    EXPECT_EQ(t.ScalefactorTable[0][0][0], 1.0f);
    EXPECT_EQ(t.ScalefactorTable[0][0][2], 0.5f);  // 2^(-0.5 x 2)
    EXPECT_EQ(t.ScalefactorTable[1][1][1], 0.25f); // 2^(-1 x 2)
    EXPECT_EQ(t.ScalefactorTable[1][3][31], std::ldexp(1.0f, -34));
    EXPECT_FLOAT_EQ(t.ScalefactorTable[0][1][0], static_cast<float>(std::sqrt(0.5)));

    for (int g = 0; g < 8; ++g) {
        EXPECT_EQ(t.SubblockGainTable[g], std::ldexp(1.0f, -2 * g)) << g;
    }
}

TEST(Layer3Tables, AliasButterfliesAreRotations) {
    const TMPLayer3Tables& t = Layer3Tables();
    const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int i = 0; i < 8; ++i) {
        EXPECT_FLOAT_EQ(AliasCoefficients[i], static_cast<float>(c[i]));
        const double cs = t.AliasCoefTable[i][0];
        const double ca = t.AliasCoefTable[i][1];
        EXPECT_NEAR(cs, 1 / std::sqrt(1 + c[i] * c[i]), 1e-7) << i;
        EXPECT_NEAR(ca, c[i] / std::sqrt(1 + c[i] * c[i]), 1e-7) << i;
        EXPECT_NEAR(cs * cs + ca * ca, 1.0, 1e-6) << i;
        EXPECT_LT(ca, 0.0) << i;
    }
}

TEST(Layer3Tables, IntensityRatios) {
    const TMPLayer3Tables& t = Layer3Tables();
    const auto& r = t.IntensityRatioTable;
    // Position 0: all in the right channel; position 6: all in the left; 3 splits evenly.
    EXPECT_EQ(r[0][0][0], 0.0f);
    EXPECT_EQ(r[0][0][1], 1.0f);
    EXPECT_NEAR(r[0][3][0], 0.5, 1e-7);
    EXPECT_NEAR(r[0][3][1], 0.5, 1e-7);
    EXPECT_NEAR(r[0][6][0], 1.0, 1e-7);
    EXPECT_NEAR(r[0][6][1], 0.0, 1e-7);
    // The illegal position leaves the band as it is.
    EXPECT_EQ(r[0][7][0], 1.0f);
    EXPECT_EQ(r[0][7][1], 0.0f);
    EXPECT_EQ(r[1][7][0], 1.0f);
    EXPECT_EQ(r[1][7][1], 1.0f);

    const double pi = 4 * std::atan(1.0);
    for (int p = 0; p < 7; ++p) {
        const double s = std::sin(p * pi / 12), c = std::cos(p * pi / 12);
        EXPECT_NEAR(r[0][p][0], s / (s + c), 1e-7) << p;
        EXPECT_NEAR(r[0][p][1], c / (s + c), 1e-7) << p;
        EXPECT_NEAR(r[0][p][0] + r[0][p][1], 1.0, 1e-6) << p;
        // With middle/side on, every factor is sqrt(2) larger.
        EXPECT_NEAR(r[1][p][0], std::sqrt(2.0) * r[0][p][0], 1e-6) << p;
        EXPECT_NEAR(r[1][p][1], std::sqrt(2.0) * r[0][p][1], 1e-6) << p;
    }
}

TEST(Layer3Tables, LsfIntensityGroups) {
    const TMPLayer3Tables& t = Layer3Tables();
    const double root2 = std::sqrt(2.0);
    for (int i = 0; i < 2; ++i) {
        const double ratio = std::pow(2.0, -0.25 * (i + 1));
        for (int m = 0; m < 2; ++m) {
            const double f = m == 0 ? 1.0 : root2;
            const float(*row)[2] = t.LsfIntensityTable[i][m];
            auto expectPair = [&](int entry, double left, double right) {
                EXPECT_NEAR(row[entry][0], left, 1e-6) << "i " << i << " m " << m << " entry " << entry;
                EXPECT_NEAR(row[entry][1], right, 1e-6) << "i " << i << " m " << m << " entry " << entry;
            };
            const double illegalRight = m == 0 ? 0.0 : 1.0;
            // The last entry of each group (0, 2, 6, 14, 30, 62) is the illegal position.
            for (int entry : {0, 2, 6, 14, 30, 62}) {
                expectPair(entry, 1.0, illegalRight);
            }
            // The first entry of each longer group is (F, F).
            for (int entry : {1, 3, 7, 15, 31}) {
                expectPair(entry, f, f);
            }
            expectPair(4, f * ratio, f); // group 2, q = 1
            expectPair(5, f, f * ratio); // q = 2
            expectPair(7 + 5, f * std::pow(ratio, 3), f);
            expectPair(31 + 29, f * std::pow(ratio, 15), f);
            expectPair(31 + 30, f, f * std::pow(ratio, 15));
            // No group reaches entry 63, but it holds a defined value.
            EXPECT_EQ(row[63][0], 0.0f);
            EXPECT_EQ(row[63][1], 0.0f);
        }
    }
}

TEST(Layer3Tables, ImdctCoefficients) {
    const TMPLayer3Tables& t = Layer3Tables();
    const double pi = 4 * std::atan(1.0);
    EXPECT_FLOAT_EQ(t.ImdctLongTable[0], static_cast<float>(2 * std::cos(pi / 72)));
    EXPECT_FLOAT_EQ(t.ImdctLongTable[17], static_cast<float>(2 * std::cos(35 * pi / 72)));
    EXPECT_FLOAT_EQ(t.ImdctLongTable[18], static_cast<float>(2 * std::cos(pi / 36)));
    EXPECT_FLOAT_EQ(t.ImdctLongTable[26], static_cast<float>(2 * std::cos(17 * pi / 36)));
    // The 9 x 4 run: k outer, p inner; row k = 0 is all ones.
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(t.ImdctLongTable[27 + p], 1.0f);
    }
    EXPECT_FLOAT_EQ(t.ImdctLongTable[27 + 4 * 2 + 3], static_cast<float>(std::cos(2 * 7 * pi / 18)));
    EXPECT_NEAR(t.ImdctLongTable[27 + 4 * 3 + 1], 0.0, 1e-7); // cos(9 pi / 18)

    EXPECT_FLOAT_EQ(t.ImdctShortTable[0], static_cast<float>(std::cos(pi / 24)));
    EXPECT_FLOAT_EQ(t.ImdctShortTable[5], static_cast<float>(std::cos(11 * pi / 24)));
    EXPECT_FLOAT_EQ(t.ImdctShortTable[6], static_cast<float>(2 * std::cos(pi / 12)));
    EXPECT_NEAR(t.ImdctShortTable[7], std::sqrt(2.0), 1e-6); // 2 cos(3 pi / 12)
    EXPECT_NEAR(t.ImdctShortTable[9], std::sqrt(3.0), 1e-6); // 2 cos(pi / 6)
}

TEST(Layer3Tables, HybridWindowShapesAndSigns) {
    const TMPLayer3Tables& t = Layer3Tables();
    const auto& w = t.HybridWindowTable;
    const double pi = 4 * std::atan(1.0);
    auto longSine = [&](int i) { return std::sin((i + 0.5) * pi / 36); };
    auto shortSine = [&](int i) { return std::sin((i + 0.5) * pi / 12); };
    for (int i = 0; i < 36; ++i) {
        const double sign = i < 9 ? 1.0 : -1.0;
        EXPECT_NEAR(w[0][i], sign * longSine(i), 1e-7) << "normal " << i;
        const double start = i < 18 ? longSine(i) : i < 24 ? 1.0 : i < 30 ? shortSine(i - 18) : 0.0;
        EXPECT_NEAR(w[1][i], sign * start, 1e-7) << "start " << i;
        const double stop = i < 6 ? 0.0 : i < 12 ? shortSine(i - 6) : i < 18 ? 1.0 : longSine(i);
        EXPECT_NEAR(w[3][i], sign * stop, 1e-7) << "stop " << i;
        const double shortSign = i >= 3 && i < 12 ? -1.0 : 1.0;
        EXPECT_NEAR(w[2][i], i < 12 ? shortSign * shortSine(i) : 0.0, 1e-7) << "short " << i;
    }
    // The signs the filterbank relies on, stated directly.
    for (int row : {0, 1, 3}) {
        for (int i = 0; i < 9; ++i) {
            EXPECT_GE(w[row][i], 0.0f) << row << " " << i;
        }
        for (int i = 9; i < 36; ++i) {
            EXPECT_LE(w[row][i], 0.0f) << row << " " << i;
        }
    }
    EXPECT_GT(w[2][2], 0.0f);
    EXPECT_LT(w[2][3], 0.0f);
    EXPECT_LT(w[2][11], 0.0f);
    EXPECT_EQ(w[1][20], -1.0f);
    EXPECT_EQ(w[3][15], -1.0f);
}

TEST(Layer3Tables, BuildWritesEveryEntryAndRepeatsExactly) {
    // Two builds into differently filled storage must agree byte for byte with each other and
    // with the process-wide copy: no entry may be left as it was.
    auto zeroed = std::make_unique<TMPLayer3Tables>();
    auto filled = std::make_unique<TMPLayer3Tables>();
    std::memset(zeroed.get(), 0, sizeof(TMPLayer3Tables));
    std::memset(filled.get(), 0x7F, sizeof(TMPLayer3Tables));
    BuildLayer3Tables(*zeroed);
    BuildLayer3Tables(*filled);
    EXPECT_EQ(std::memcmp(zeroed.get(), filled.get(), sizeof(TMPLayer3Tables)), 0);
    EXPECT_EQ(std::memcmp(zeroed.get(), &Layer3Tables(), sizeof(TMPLayer3Tables)), 0);
    EXPECT_EQ(&Layer3Tables(), &Layer3Tables());
}

TEST(Layer3Tables, PretabIsTheStandardPreEmphasis) {
    const int32_t expected[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
    for (int b = 0; b < 22; ++b) {
        EXPECT_EQ(PretabTable[0][b], 0) << b;
        EXPECT_EQ(PretabTable[1][b], expected[b]) << b;
    }
}

TEST(DctCosineTable, RunsOfHalvingLength) {
    const float* table = DctCosineTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table, DctCosineTable());
    const double pi = 4 * std::atan(1.0);
    int index = 0;
    for (int n = 16; n >= 1; n /= 2) {
        for (int j = 0; j < n; ++j, ++index) {
            EXPECT_FLOAT_EQ(table[index], static_cast<float>(0.5 / std::cos((2 * j + 1) * pi / (4 * n))))
                << "run " << n << " entry " << j;
        }
    }
    EXPECT_EQ(index, 31);
    EXPECT_NEAR(table[0], 0.500602998, 1e-7);
    EXPECT_NEAR(table[15], 10.190008123, 1e-5);
    EXPECT_NEAR(table[30], std::sqrt(0.5), 1e-7);
}

// ---------------------------------------------------------------------------------------------
// Synthesis window

TEST(SynthWindow, EvaluationOrderBlocks) {
    const float block0[16] = {0.0f,         -0.000442505f, 0.003250122f, -0.007003784f,
                              0.031082153f, -0.078628540f, 0.100311279f, -0.572036743f,
                              1.144989014f, 0.572036743f,  0.100311279f, 0.078628540f,
                              0.031082153f, 0.007003784f,  0.003250122f, 0.000442505f};
    for (int i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(SynthWindowTable[i], block0[i]) << i;
    }
    const float middle[8] = {0.001586914f,  0.023910521f,  0.148422241f, 0.976852417f,
                             -0.152206421f, -0.000686646f, 0.002227783f, -0.000076294f};
    for (int k = 0; k < 8; ++k) {
        EXPECT_FLOAT_EQ(SynthWindowTable[256 + k], middle[k]) << k;
        EXPECT_EQ(SynthWindowTable[256 + k], static_cast<float>(-kSynthWindowD[48 + 64 * k])) << k;
    }
    for (int j = 0; j < 16; ++j) {
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(SynthWindowTable[16 * j + i], static_cast<float>(kSynthWindowD[j + 32 * i]))
                << "block " << j << " position " << i;
        }
    }
}

TEST(SynthWindow, AntisymmetryAroundTheMiddle) {
    // D[512 - n] = -D[n] except at multiples of 64, where the window is symmetric instead. Output
    // samples 17..31 reuse blocks 15..1, whose indices j + 32 i (j = 1..15) are never multiples of 64.
    for (int n = 1; n < 512; ++n) {
        if (n % 64 == 0) {
            EXPECT_EQ(kSynthWindowD[512 - n], kSynthWindowD[n]) << n;
        } else {
            EXPECT_EQ(kSynthWindowD[512 - n], -kSynthWindowD[n]) << n;
        }
    }
    EXPECT_EQ(kSynthWindowD[0], 0.0);
    EXPECT_EQ(kSynthWindowD[256], 1.144989014);
}

// ---------------------------------------------------------------------------------------------
// Frame, band and allocation tables

TEST(StandardTables, BitAndSamplingRates) {
    EXPECT_EQ(kBitrateTable[2][1][9], 128); // MPEG-1 Layer III
    EXPECT_EQ(kBitrateTable[2][1][14], 320);
    EXPECT_EQ(kBitrateTable[0][1][14], 448); // MPEG-1 Layer I
    EXPECT_EQ(kBitrateTable[1][1][14], 384); // MPEG-1 Layer II
    EXPECT_EQ(kBitrateTable[0][0][14], 256); // MPEG-2 Layer I
    EXPECT_EQ(kBitrateTable[2][0][9], 80);   // MPEG-2 Layer III
    EXPECT_EQ(kBitrateTable[1][0][1], 8);
    for (int layer = 0; layer < 3; ++layer) {
        for (int version = 0; version < 2; ++version) {
            EXPECT_EQ(kBitrateTable[layer][version][0], 0);
            EXPECT_EQ(kBitrateTable[layer][version][15], 0);
        }
    }
    EXPECT_EQ(kSamplingTable50[1][0], 882);
    EXPECT_EQ(kSamplingTable50[1][1], 960);
    EXPECT_EQ(kSamplingTable50[1][2], 640);
    EXPECT_EQ(kSamplingTable50[0][0], 441);
    EXPECT_EQ(kSamplingTable50[0][1], 480);
    EXPECT_EQ(kSamplingTable50[0][2], 320);
    EXPECT_EQ(kSamplingTable50[0][3], -999);
    EXPECT_EQ(kSamplingTable50[1][3], -999);
}

TEST(StandardTables, ScalefactorBandEnds) {
    for (int version = 0; version < 3; ++version) {
        for (int rate = 0; rate < 3; ++rate) {
            const int16_t* longEnd = kSfbLongEnd[version][rate];
            const int16_t* shortEnd = kSfbShortEnd[version][rate];
            EXPECT_EQ(longEnd[21], 576) << version << " " << rate;
            EXPECT_EQ(shortEnd[12], 192) << version << " " << rate;
            EXPECT_GT(longEnd[0], 0);
            EXPECT_GT(shortEnd[0], 0);
            for (int b = 1; b < 22; ++b) {
                EXPECT_GT(longEnd[b], longEnd[b - 1]) << version << " " << rate << " " << b;
            }
            for (int b = 1; b < 13; ++b) {
                EXPECT_GT(shortEnd[b], shortEnd[b - 1]) << version << " " << rate << " " << b;
            }
        }
    }
    EXPECT_EQ(kSfbLongEnd[1][0][0], 4); // MPEG-1 44.1 kHz
    EXPECT_EQ(kSfbLongEnd[1][0][20], 418);
    EXPECT_EQ(kSfbShortEnd[1][1][11], 126); // MPEG-1 48 kHz
    EXPECT_EQ(kSfbLongEnd[0][1][17], 332);  // MPEG-2 24 kHz, not the 330 of some copies
    EXPECT_EQ(kSfbLongEnd[0][0][0], 6);     // MPEG-2 22.05 kHz
    EXPECT_EQ(kSfbLongEnd[2][2][0], 12);    // MPEG-2.5 8 kHz
    EXPECT_EQ(kSfbShortEnd[2][2][8], 160);
}

TEST(StandardTables, Layer2AllocationGroups) {
    // The Layer II decoder stores each table as up to four groups of identical subbands; the
    // rows must fall into exactly those groups, with the group widths 4, 4, 3, 2.
    struct TExpected {
        int Subbands;
        std::vector<std::pair<int, int>> Groups; // (count, width)
    };
    const TExpected expected[5] = {
        {27, {{3, 4}, {8, 4}, {12, 3}, {4, 2}}},
        {30, {{3, 4}, {8, 4}, {12, 3}, {7, 2}}},
        {8, {{2, 4}, {6, 3}}},
        {12, {{2, 4}, {10, 3}}},
        {30, {{4, 4}, {7, 3}, {19, 2}}},
    };
    for (int t = 0; t < 5; ++t) {
        const TLayer2AllocTable& table = kLayer2AllocTables[t];
        ASSERT_EQ(table.Subbands, expected[t].Subbands) << t;
        int sb = 0;
        for (auto [count, width] : expected[t].Groups) {
            for (int i = 0; i < count; ++i, ++sb) {
                EXPECT_EQ(table.AllocBits[sb], width) << "table " << t << " subband " << sb;
                EXPECT_EQ(std::memcmp(table.Classes[sb], table.Classes[sb - i], sizeof table.Classes[sb]), 0)
                    << "table " << t << " subband " << sb;
                EXPECT_EQ(table.Classes[sb][0], 0);
                for (int a = 1; a < (1 << width); ++a) {
                    EXPECT_GE(table.Classes[sb][a], 1);
                    EXPECT_LE(table.Classes[sb][a], 17);
                }
            }
            if (sb < table.Subbands) {
                EXPECT_NE(std::memcmp(table.Classes[sb], table.Classes[sb - 1], sizeof table.Classes[sb]), 0)
                    << "table " << t << ": a group ends before subband " << sb;
            }
        }
    }
    EXPECT_EQ(kLayer2AllocTables[kAllocB2a].Classes[0][2], 3);
    EXPECT_EQ(kLayer2AllocTables[kAllocB2a].Classes[3][15], 17);
    EXPECT_EQ(kLayer2AllocTables[kAllocB2c].Classes[0][3], 4);
    EXPECT_EQ(kLayer2AllocTables[kAllocB1].Classes[29][3], 4);
}

// ---------------------------------------------------------------------------------------------
// Huffman tables

// A binary tree of the code words: decodes a bit string and refuses codes that overlap.
class TCodeTree {
public:
    // Returns false when the code lies on the path of an earlier code or an earlier code on its.
    bool Insert(uint32_t bits, int length, int symbol) {
        int node = 0;
        for (int i = length - 1; i >= 0; --i) {
            if (Nodes[node].Symbol >= 0) {
                return false; // an earlier code is a prefix of this one
            }
            const int bit = (bits >> i) & 1;
            if (Nodes[node].Child[bit] == 0) {
                Nodes[node].Child[bit] = static_cast<int>(Nodes.size());
                Nodes.push_back({}); // after the store: the push may move the nodes
            }
            node = Nodes[node].Child[bit];
        }
        if (Nodes[node].Symbol >= 0 || Nodes[node].Child[0] != 0 || Nodes[node].Child[1] != 0) {
            return false;
        }
        Nodes[node].Symbol = symbol;
        return true;
    }

    // Decodes the whole bit sequence; returns false when it does not split into code words.
    bool Decode(const std::vector<int>& bits, std::vector<int>& symbols) const {
        int node = 0;
        for (int bit : bits) {
            node = Nodes[node].Child[bit];
            if (node == 0) {
                return false;
            }
            if (Nodes[node].Symbol >= 0) {
                symbols.push_back(Nodes[node].Symbol);
                node = 0;
            }
        }
        return node == 0;
    }

private:
    struct TNode {
        int Child[2] = {0, 0};
        int Symbol = -1;
    };
    std::vector<TNode> Nodes{1};
};

// Checks that the codes form a complete prefix code and decode a stream of all of them back.
void CheckCompletePrefixCode(const THuffmanCode* codes, int count, const char* name) {
    TCodeTree tree;
    uint64_t kraft = 0; // in units of 2^-32
    std::vector<int> stream;
    std::vector<int> sent;
    for (int i = 0; i < count; ++i) {
        const THuffmanCode& code = codes[i];
        ASSERT_GE(code.Length, 1) << name << " code " << i;
        ASSERT_LE(code.Length, 19) << name << " code " << i;
        ASSERT_EQ(code.Bits >> code.Length, 0u) << name << " code " << i << " has bits beyond its length";
        ASSERT_TRUE(tree.Insert(code.Bits, code.Length, i)) << name << " code " << i << " is not prefix-free";
        kraft += uint64_t{1} << (32 - code.Length);
        // Every code once, in a scrambled order, so that each code is followed by others.
        const THuffmanCode& next = codes[(i * 7 + 3) % count];
        for (int b = next.Length - 1; b >= 0; --b) {
            stream.push_back((next.Bits >> b) & 1);
        }
        sent.push_back((i * 7 + 3) % count);
    }
    EXPECT_EQ(kraft, uint64_t{1} << 32) << name << ": the code tree is not exactly filled";
    std::vector<int> decoded;
    ASSERT_TRUE(tree.Decode(stream, decoded)) << name;
    EXPECT_EQ(decoded, sent) << name;
}

TEST(HuffmanTables, PairTablesAreCompletePrefixCodes) {
    const int size[16] = {0, 2, 3, 3, 0, 4, 4, 6, 6, 6, 8, 8, 8, 16, 0, 16};
    for (int n = 0; n < 32; ++n) {
        const THuffmanSource& source = kHuffmanPairTables[n];
        const int side = n < 16 ? size[n] : 16;
        if (side == 0) {
            EXPECT_EQ(source.CodeCount, 0) << n;
            EXPECT_EQ(source.Codes, nullptr) << n;
            continue;
        }
        ASSERT_EQ(source.CodeCount, side * side) << n;
        std::set<std::pair<int, int>> pairs;
        for (int i = 0; i < source.CodeCount; ++i) {
            EXPECT_LT(source.Codes[i].X, side) << n;
            EXPECT_LT(source.Codes[i].Y, side) << n;
            pairs.insert({source.Codes[i].X, source.Codes[i].Y});
        }
        EXPECT_EQ(static_cast<int>(pairs.size()), side * side) << "table " << n << " repeats a pair";
        const std::string name = "pair table " + std::to_string(n);
        CheckCompletePrefixCode(source.Codes, source.CodeCount, name.c_str());
    }
}

TEST(HuffmanTables, LinbitsAndSharedCodes) {
    const int linbits[32] = {0, 0, 0, 0, 0, 0, 0,  0,  0, 0, 0, 0, 0, 0, 0,  0,
                             1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
    for (int n = 0; n < 32; ++n) {
        EXPECT_EQ(kHuffmanPairTables[n].Linbits, linbits[n]) << n;
    }
    for (int n = 17; n < 24; ++n) {
        EXPECT_EQ(kHuffmanPairTables[n].Codes, kHuffmanPairTables[16].Codes) << n;
    }
    for (int n = 25; n < 32; ++n) {
        EXPECT_EQ(kHuffmanPairTables[n].Codes, kHuffmanPairTables[24].Codes) << n;
    }
    EXPECT_NE(kHuffmanPairTables[16].Codes, kHuffmanPairTables[24].Codes);
    EXPECT_NE(kHuffmanPairTables[13].Codes, kHuffmanPairTables[15].Codes);
    // Table 1 codes (0, 0) as the single bit 1.
    EXPECT_EQ(kHuffmanPairTables[1].Codes[0].Length, 1);
    EXPECT_EQ(kHuffmanPairTables[1].Codes[0].Bits, 1u);
}

TEST(HuffmanTables, QuadTableA) {
    std::set<int> values;
    for (const THuffmanCode& code : kHuffmanQuadA) {
        EXPECT_LT(code.X, 16);
        values.insert(code.X);
    }
    EXPECT_EQ(values.size(), 16u);
    CheckCompletePrefixCode(kHuffmanQuadA, 16, "quadruple table A");
    // v w x y = 0 0 0 0 is the single bit 1.
    EXPECT_EQ(kHuffmanQuadA[0].X, 0);
    EXPECT_EQ(kHuffmanQuadA[0].Length, 1);
    EXPECT_EQ(kHuffmanQuadA[0].Bits, 1u);
}

} // namespace
} // namespace tunelo
