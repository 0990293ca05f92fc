// Layer III hybrid filterbank: per subband an inverse transform (one 18-point or three 6-point), the
// block-type window, and overlap-add with the previous granule's second half.
//
// Both transforms are DCT-IVs. A DCT-IV of size N is turned into a DCT-III by adding neighbouring
// inputs and dividing output m by 2 cos((2m + 1) pi / 4N); the DCT-III splits into a DCT-III of its
// even inputs and a DCT-IV of half the size of its odd inputs, which is reduced the same way. That
// leaves DCT-IIIs of sizes 9 and 3, evaluated with their output symmetry.
#include <algorithm>
#include <cstring>

#include "layer3_hybrid.h"
#include "layer3_tables.h"

namespace tunelo {

namespace {

constexpr int32_t kLines = 576;

inline int32_t SubbandsOf(int32_t lines) {
    return (std::clamp(lines, 0, kLines) + 17) / 18;
}

// The divisors of the DCT-IV reductions turned into factors once: a multiply costs a fraction of a
// divide. Long: 1 / ImdctLongTable's first 27 values; short: 1 / (2 cos((2m + 1) pi / 24)), then
// 1 / ImdctShortTable's three 2 cos((2p + 1) pi / 12), then sqrt(3) / 2.
struct TImdctFactors {
    float Long[18 + 9];
    float Short[6 + 3 + 1];
    TImdctFactors() {
        const TMPLayer3Tables& tables = Layer3Tables();
        for (int32_t i = 0; i < 27; ++i) {
            Long[i] = 1.0f / tables.ImdctLongTable[i];
        }
        for (int32_t i = 0; i < 6; ++i) {
            Short[i] = 0.5f / tables.ImdctShortTable[i];
        }
        for (int32_t i = 6; i < 9; ++i) {
            Short[i] = 1.0f / tables.ImdctShortTable[i];
        }
        Short[9] = 0.5f * tables.ImdctShortTable[9];
    }
};

const TImdctFactors& ImdctFactors() {
    static const TImdctFactors factors;
    return factors;
}

// g[m] = sum over r of u[r] cos(pi (2m + 1) r / 18), m = 0..8. cosines[4r + p] = cos(r (2p + 1) pi / 18);
// output 8 - p uses the same coefficients with the odd inputs negated.
inline void Dct3Nine(const float* u, const float* cosines, float* g) {
    for (int32_t p = 0; p < 4; ++p) {
        const float even = u[0] + u[2] * cosines[8 + p] + u[4] * cosines[16 + p] + u[6] * cosines[24 + p] +
                           u[8] * cosines[32 + p];
        const float odd =
            u[1] * cosines[4 + p] + u[3] * cosines[12 + p] + u[5] * cosines[20 + p] + u[7] * cosines[28 + p];
        g[p] = even + odd;
        g[8 - p] = even - odd;
    }
    g[4] = u[0] - u[2] + u[4] - u[6] + u[8];
}

// g[m] = sum over r of u[r] cos(pi (2m + 1) r / 6), m = 0..2; halfSqrt3 = cos(pi / 6).
inline void Dct3Three(float u0, float u1, float u2, float halfSqrt3, float* g) {
    const float outer = u0 + 0.5f * u2;
    const float middle = halfSqrt3 * u1;
    g[0] = outer + middle;
    g[1] = u0 - u2;
    g[2] = outer - middle;
}

// Six-point DCT-IV of x[0], x[stride], ..., x[5 stride] into out[0..5].
inline void Dct4Six(const float* x, int32_t stride, const float* factors, float* out) {
    float y[6];
    y[0] = x[0];
    for (int32_t n = 1; n < 6; ++n) {
        y[n] = x[(n - 1) * stride] + x[n * stride];
    }
    float even[3];
    float odd[3];
    Dct3Three(y[0], y[2], y[4], factors[9], even);
    Dct3Three(y[1], y[1] + y[3], y[3] + y[5], factors[9], odd);
    for (int32_t m = 0; m < 3; ++m) {
        const float o = odd[m] * factors[6 + m];
        out[m] = (even[m] + o) * factors[m];
        out[5 - m] = (even[m] - o) * factors[5 - m];
    }
}

// The windowed long-block samples z[0..35] of one subband's transform values v.
inline void WindowLong(const float* v, const float* window, float* z) {
    for (int32_t t = 0; t < 9; ++t) {
        z[t] = window[t] * v[9 + t];
        z[9 + t] = window[9 + t] * v[17 - t];
        z[18 + t] = window[18 + t] * v[8 - t];
        z[27 + t] = window[27 + t] * v[t];
    }
}

// The 36-sample frame of a short block: the three windowed 12-sample outputs at offsets 6, 12 and 18.
inline void WindowShort(const float* v, const float* window, float* z) {
    // Which in-place value feeds output k of a window.
    static constexpr int32_t kSource[12] = {3, 4, 5, 5, 4, 3, 2, 1, 0, 0, 1, 2};
    std::fill(z, z + 36, 0.0f);
    for (int32_t w = 0; w < 3; ++w) {
        float* frame = z + 6 + 6 * w;
        const float* values = v + 6 * w;
        for (int32_t k = 0; k < 12; ++k) {
            frame[k] += window[k] * values[kSource[k]];
        }
    }
}

// Overlap-adds z into the subband's output column and leaves its second half as the next overlap.
template <bool Accumulate>
inline void StoreSubband(const float* z, const float* previous, float* next, float (*hybridOut)[32],
                         int32_t sb) {
    for (int32_t t = 0; t < 18; ++t) {
        if constexpr (Accumulate) {
            hybridOut[t][sb] += z[t];
            next[t] += z[18 + t];
        } else {
            hybridOut[t][sb] = previous[t] + z[t];
            next[t] = z[18 + t];
        }
    }
}

// The window of a long subband. The long part of a mixed block uses the normal window; with the
// mixed flag its two lowest subbands do so for every block type.
inline const float* LongWindowRow(const TMPLayer3Tables& tables, int32_t blockType, int32_t sb) {
    const int32_t type = blockType & 3;
    const bool mixedLow = (blockType & kHybridMixedBlock) != 0 && sb < 2;
    return tables.HybridWindowTable[type == 2 || mixedLow ? 0 : type];
}

} // namespace

void LongImdctGeneric(float* values18) {
    const float* table = Layer3Tables().ImdctLongTable;
    const float* factors = ImdctFactors().Long;
    float y[18];
    y[0] = values18[0];
    for (int32_t n = 1; n < 18; ++n) {
        y[n] = values18[n - 1] + values18[n];
    }
    float evenInputs[9];
    float oddInputs[9];
    for (int32_t r = 0; r < 9; ++r) {
        evenInputs[r] = y[2 * r];
        oddInputs[r] = r == 0 ? y[1] : y[2 * r - 1] + y[2 * r + 1];
    }
    float even[9];
    float odd[9];
    Dct3Nine(evenInputs, table + 27, even);
    Dct3Nine(oddInputs, table + 27, odd);
    for (int32_t m = 0; m < 9; ++m) {
        const float o = odd[m] * factors[18 + m];
        values18[m] = (even[m] + o) * factors[m];
        values18[17 - m] = (even[m] - o) * factors[17 - m];
    }
}

void ShortImdctGeneric(float* values18) {
    const float* factors = ImdctFactors().Short;
    float input[18];
    std::memcpy(input, values18, sizeof(input));
    for (int32_t w = 0; w < 3; ++w) {
        Dct4Six(input + w, 3, factors, values18 + 6 * w);
    }
}

int32_t HybridGeneric(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType,
                      int32_t longLines, int32_t totalLines, int32_t previousLines, int32_t clearSubbands) {
    const TMPLayer3Tables& tables = Layer3Tables();
    const float* shortWindow = tables.HybridWindowTable[2];
    const int32_t longEnd = SubbandsOf(longLines);
    const int32_t totalEnd = SubbandsOf(totalLines);
    const int32_t previousEnd = SubbandsOf(previousLines);
    float z[36];
    int32_t sb = 0;
    for (; sb < longEnd; ++sb) {
        float* values = lines + 18 * sb;
        LongImdctGeneric(values);
        WindowLong(values, LongWindowRow(tables, blockType, sb), z);
        StoreSubband<false>(z, overlap + 18 * sb, values, hybridOut, sb);
    }
    for (; sb < totalEnd; ++sb) {
        float* values = lines + 18 * sb;
        ShortImdctGeneric(values);
        WindowShort(values, shortWindow, z);
        StoreSubband<false>(z, overlap + 18 * sb, values, hybridOut, sb);
    }
    // Subbands that only the previous granule reached: its overlap alone.
    for (; sb < previousEnd; ++sb) {
        for (int32_t t = 0; t < 18; ++t) {
            hybridOut[t][sb] = overlap[18 * sb + t];
        }
    }
    const int32_t count = 18 * sb;
    const int32_t clearEnd = std::clamp(clearSubbands, 0, 32);
    for (; sb < clearEnd; ++sb) {
        for (int32_t t = 0; t < 18; ++t) {
            hybridOut[t][sb] = 0.0f;
        }
    }
    return count;
}

int32_t HybridMix(const TMPRoutineTable& routines, float* lines, float* overlap, float (*hybridOut)[32],
                  int32_t blockType, int32_t longLines, int32_t totalLines) {
    const TMPLayer3Tables& tables = Layer3Tables();
    const TMPImdctProc longImdct = routines.LongImdct ? routines.LongImdct : LongImdctGeneric;
    const TMPImdctProc shortImdct = routines.ShortImdct ? routines.ShortImdct : ShortImdctGeneric;
    const float* shortWindow = tables.HybridWindowTable[2];
    const int32_t longEnd = SubbandsOf(longLines);
    const int32_t totalEnd = SubbandsOf(totalLines);
    float z[36];
    int32_t sb = 0;
    for (; sb < longEnd; ++sb) {
        float* values = lines + 18 * sb;
        longImdct(values);
        WindowLong(values, LongWindowRow(tables, blockType, sb), z);
        StoreSubband<true>(z, nullptr, overlap + 18 * sb, hybridOut, sb);
    }
    for (; sb < totalEnd; ++sb) {
        float* values = lines + 18 * sb;
        shortImdct(values);
        WindowShort(values, shortWindow, z);
        StoreSubband<true>(z, nullptr, overlap + 18 * sb, hybridOut, sb);
    }
    return 18 * sb;
}

void AddLines(float* destination, const float* source, int32_t n) {
    n = std::clamp(n, 0, kLines);
    for (int32_t i = 0; i < n; ++i) {
        destination[i] += source[i];
    }
}

void InvertOddSubbands(float (*hybridOut)[32], int32_t count) {
    const int32_t pairs = (std::clamp(count, 0, kLines) + 17) / 36;
    for (int32_t p = 0; p < pairs; ++p) {
        const int32_t sb = 2 * p + 1;
        for (int32_t t = 1; t < 18; t += 2) {
            hybridOut[t][sb] = -hybridOut[t][sb];
        }
    }
}

} // namespace tunelo
