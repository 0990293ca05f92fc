// The synthesis window over the ring of the last 16 transform vectors, and the conversion to 16-bit PCM.
#include <cmath>

#include "MP3decdr.h"
#include "layer3_tables.h"
#include "routine_table.h"

namespace tunelo {

namespace {

constexpr int32_t kRingMask = 511;

// Round to nearest with ties to even (the default rounding mode), then clip to 16 bits. Clipping
// compares the rounded value, so a sum of any size (or a NaN, which becomes silence) never reaches
// an out-of-range integer conversion.
int16_t ToPcm(double sum) {
    const double rounded = std::nearbyint(sum);
    if (rounded > 32767.0) {
        return 32767;
    }
    if (rounded < -32768.0) {
        return -32768;
    }
    if (rounded != rounded) {
        return 0;
    }
    return static_cast<int16_t>(rounded);
}

// Writes the 32 samples of one slot at output[0], output[step], output[2 step], ...
// The ring holds the transform values c_0..c_31 of the current slot at position, the slot before at
// position + 32, and so on; the window works on them directly instead of on the standard's 64-value
// vectors, whose halves are mirrored copies of c. Sums run in double, the way the floating-point
// unit's extended registers held them, and term by term in the order below.
void Window(const float* ring, int32_t position, int16_t* output, int32_t step) {
    const float* c = SynthWindowTable;
    const int32_t p = position;

    // Samples 0..15.
    for (int32_t j = 0; j < 16; ++j) {
        const float* block = c + 16 * j;
        const int32_t s = p + 16 + j;
        const int32_t b = p + 48 - j;
        double sum = 0.0;
        for (int32_t i = 0; i < 8; ++i) {
            sum += static_cast<double>(block[2 * i]) * ring[(s + 64 * i) & kRingMask];
            sum -= static_cast<double>(block[2 * i + 1]) * ring[(b + 64 * i) & kRingMask];
        }
        output[step * j] = ToPcm(sum);
    }

    // Sample 16: the even slots' terms vanish (the standard vector's middle value is always 0).
    {
        const int32_t b = p + 32;
        double sum = 0.0;
        for (int32_t i = 0; i < 8; ++i) {
            sum += static_cast<double>(c[256 + i]) * ring[(b + 64 * i) & kRingMask];
        }
        output[step * 16] = ToPcm(sum);
    }

    // Samples 17..31 reuse blocks 15..1 backwards (the window is antisymmetric about its middle).
    for (int32_t m = 1; m < 16; ++m) {
        const float* block = c + 16 * (16 - m);
        const int32_t s = p + 32 - m;
        const int32_t b = p + 32 + m;
        double sum = 0.0;
        for (int32_t i = 0; i < 8; ++i) {
            sum += static_cast<double>(block[15 - 2 * i]) * ring[(s + 64 * i) & kRingMask];
            sum += static_cast<double>(block[14 - 2 * i]) * ring[(b + 64 * i) & kRingMask];
        }
        output[step * (16 + m)] = ToPcm(sum);
    }
}

} // namespace

void WindowMonoGeneric(const float* ring, int32_t position, int16_t* output) {
    Window(ring, position, output, 1);
}

void WindowStereoGeneric(const float* ring, int32_t position, int16_t* output) {
    Window(ring, position, output, 2);
}

} // namespace tunelo
