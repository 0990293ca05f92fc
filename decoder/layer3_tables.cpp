// The computed tables of the Layer III back end and the synthesis transform's factors. Everything
// is worked out in long double and rounded to float only when stored.

#include "layer3_tables.h"

#include <cmath>
#include <initializer_list>

namespace tunelo {

namespace {

using Real = long double;

// Functions rather than constants, so that a table built during another file's static
// initialisation never sees them unset.
Real Pi() {
    return 4 * std::atan(Real(1));
}
Real Sqrt2() {
    return std::sqrt(Real(2));
}

float Store(Real value) {
    return static_cast<float>(value);
}

void BuildGlobalGain(TMPLayer3Tables& t) {
    // Index 6 + global gain; 2^((gain - 210) / 4) with the 16-bit PCM scale 2^15 folded in.
    for (int i = 0; i < 262; ++i) {
        t.GlobalGainTable[i] = Store(std::pow(Real(2), (i - 156) / Real(4)));
    }
}

void BuildScalefactor(TMPLayer3Tables& t) {
    for (int s = 0; s < 2; ++s) {
        for (int p = 0; p < 4; ++p) {
            for (int f = 0; f < 32; ++f) {
                t.ScalefactorTable[s][p][f] = Store(std::pow(Real(2), Real(-0.5) * (s + 1) * (f + p)));
            }
        }
    }
}

void BuildPower(TMPLayer3Tables& t) {
    // The signed 4/3 power of -32..31: k |k|^(1/3).
    for (int i = 0; i < 64; ++i) {
        const int k = i - 32;
        t.PowerTable[i] = Store(k * std::cbrt(Real(k < 0 ? -k : k)));
    }
}

void BuildSubblockGain(TMPLayer3Tables& t) {
    for (int g = 0; g < 8; ++g) {
        t.SubblockGainTable[g] = Store(std::pow(Real(2), Real(-2 * g)));
    }
}

void BuildAliasCoefficients(TMPLayer3Tables& t) {
    for (int i = 0; i < 8; ++i) {
        const Real c = AliasCoefficients[i];
        const Real root = std::sqrt(1 + c * c);
        t.AliasCoefTable[i][0] = Store(1 / root);
        t.AliasCoefTable[i][1] = Store(c / root);
    }
}

void BuildIntensityRatio(TMPLayer3Tables& t) {
    for (int m = 0; m < 2; ++m) {
        const Real factor = m == 0 ? Real(1) : Sqrt2();
        for (int p = 0; p < 7; ++p) {
            const Real s = std::sin(p * Pi() / 12);
            const Real c = std::cos(p * Pi() / 12);
            t.IntensityRatioTable[m][p][0] = Store(factor * s / (s + c));
            t.IntensityRatioTable[m][p][1] = Store(factor * c / (s + c));
        }
        // Position 7 is illegal: the band stays as coded.
        t.IntensityRatioTable[m][7][0] = 1;
        t.IntensityRatioTable[m][7][1] = m == 0 ? 0 : 1;
    }
}

void BuildLsfIntensity(TMPLayer3Tables& t) {
    for (int i = 0; i < 2; ++i) {
        const Real ratio = std::pow(Real(2), Real(-0.25) * (i + 1));
        for (int m = 0; m < 2; ++m) {
            const Real factor = m == 0 ? Real(1) : Sqrt2();
            float(*row)[2] = t.LsfIntensityTable[i][m];
            // One group per scale-factor length L: 2^L entries from entry 2^L - 1, the last of which
            // is the illegal position.
            for (int length = 0; length <= 5; ++length) {
                const int first = (1 << length) - 1;
                const int count = 1 << length;
                for (int q = 0; q < count - 1; ++q) {
                    Real left = factor;
                    Real right = factor;
                    if (q % 2 == 1) {
                        left = factor * std::pow(ratio, Real((q + 1) / 2));
                    } else if (q > 0) {
                        right = factor * std::pow(ratio, Real(q / 2));
                    }
                    row[first + q][0] = Store(left);
                    row[first + q][1] = Store(right);
                }
                row[first + count - 1][0] = 1;
                row[first + count - 1][1] = m == 0 ? 0 : 1;
            }
            // No group reaches entry 63; keep it defined all the same.
            row[63][0] = 0;
            row[63][1] = 0;
        }
    }
}

void BuildImdctLong(TMPLayer3Tables& t) {
    float* out = t.ImdctLongTable;
    for (int p = 0; p < 18; ++p) {
        *out++ = Store(2 * std::cos((2 * p + 1) * Pi() / 72));
    }
    for (int p = 0; p < 9; ++p) {
        *out++ = Store(2 * std::cos((2 * p + 1) * Pi() / 36));
    }
    for (int k = 0; k < 9; ++k) {
        for (int p = 0; p < 4; ++p) {
            *out++ = Store(std::cos(k * (2 * p + 1) * Pi() / 18));
        }
    }
}

void BuildImdctShort(TMPLayer3Tables& t) {
    float* out = t.ImdctShortTable;
    for (int p = 0; p < 6; ++p) {
        *out++ = Store(2 * std::cos((2 * p + 1) * Pi() / 24) / 2);
    }
    for (int p = 0; p < 3; ++p) {
        *out++ = Store(2 * std::cos((2 * p + 1) * Pi() / 12));
    }
    *out = Store(2 * std::cos(Pi() / 6));
}

void BuildHybridWindow(TMPLayer3Tables& t) {
    float(*w)[36] = t.HybridWindowTable;
    auto longSine = [](int i) { return std::sin((i + Real(0.5)) * Pi() / 36); };
    auto shortSine = [](int i) { return std::sin((i + Real(0.5)) * Pi() / 12); };
    for (int i = 0; i < 36; ++i) {
        w[0][i] = Store(longSine(i));
    }
    for (int i = 0; i < 36; ++i) {
        w[1][i] = Store(i < 18 ? longSine(i) : i < 24 ? Real(1) : i < 30 ? shortSine(i - 18) : Real(0));
    }
    for (int i = 0; i < 36; ++i) {
        w[2][i] = Store(i < 12 ? shortSine(i) : Real(0));
    }
    for (int i = 0; i < 36; ++i) {
        w[3][i] = Store(i < 6 ? Real(0) : i < 12 ? shortSine(i - 6) : i < 18 ? Real(1) : longSine(i));
    }
    // The filterbank folds the transform's sign changes into the windows.
    for (int row : {0, 1, 3}) {
        for (int i = 9; i < 36; ++i) {
            w[row][i] = -w[row][i];
        }
    }
    for (int i = 3; i < 12; ++i) {
        w[2][i] = -w[2][i];
    }
}

struct TDctCosines {
    float Values[31];
    TDctCosines() {
        float* out = Values;
        for (int n = 16; n >= 1; n /= 2) {
            for (int j = 0; j < n; ++j) {
                *out++ = Store(Real(0.5) / std::cos((2 * j + 1) * Pi() / (4 * n)));
            }
        }
    }
};

} // namespace

void BuildLayer3Tables(TMPLayer3Tables& tables) {
    BuildGlobalGain(tables);
    BuildScalefactor(tables);
    BuildPower(tables);
    BuildSubblockGain(tables);
    BuildAliasCoefficients(tables);
    BuildIntensityRatio(tables);
    BuildLsfIntensity(tables);
    BuildImdctLong(tables);
    BuildImdctShort(tables);
    BuildHybridWindow(tables);
}

const TMPLayer3Tables& Layer3Tables() {
    static const TMPLayer3Tables tables = [] {
        TMPLayer3Tables built{};
        BuildLayer3Tables(built);
        return built;
    }();
    return tables;
}

const float* DctCosineTable() {
    static const TDctCosines cosines;
    return cosines.Values;
}

} // namespace tunelo
