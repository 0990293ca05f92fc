// The synthesis window rearranged for throughput: the coefficients are regrouped so that the 32
// samples of a slot accumulate side by side (16 independent sums per pass instead of one long chain),
// which the compiler turns into packed arithmetic. Sums run in single precision, so a result may
// differ from the portable member's in the last bit; rounding and clipping are the same.
#include <cmath>
#include <cstdint>
#include <mutex>

#include "layer3_tables.h"
#include "routine_table.h"
#include "synthesis_window_layout.h"

namespace tunelo {

namespace {

constexpr int32_t kRingMask = 511;

TWindowLayout layout;
std::once_flag layoutBuilt;

inline int16_t ToPcm(float sum) {
    sum = sum > 32767.0f ? 32767.0f : sum;
    sum = sum < -32768.0f ? -32768.0f : sum;
    return static_cast<int16_t>(std::lrintf(sum)); // the default rounding mode: nearest, ties to even
}

// Slot pairs i = 0..7: X holds the 16 values at (p + 64 i) + 16 .. 31, Y the 17 values at
// (p + 32 + 64 i) + 0 .. 16. Every output sample is a sum of products of these with one
// coefficient each (see BuildWindowLayout for which sample each lane feeds).
inline void Window(const float* ring, int32_t p, int16_t* output, int32_t step) {
    std::call_once(layoutBuilt, [] { BuildWindowLayout(layout); });
    alignas(64) float low[16] = {};   // samples 0..15 from X
    alignas(64) float lowB[16] = {};  // samples 15..0 from Y[1..16], subtracted
    alignas(64) float high[16] = {};  // samples 32 - t from X[t]
    alignas(64) float highB[16] = {}; // samples 16 + k from Y[k]
    float middle = 0.0f;
    for (int32_t i = 0; i < 8; ++i) {
        const float* x = ring + (((p + 64 * i) & kRingMask) + 16);
        const float* y = ring + ((p + 32 + 64 * i) & kRingMask);
        const TWindowLayout::TPair& c = layout.Pairs[i];
        for (int32_t t = 0; t < 16; ++t) {
            low[t] += c.Low[t] * x[t];
            high[t] += c.High[t] * x[t];
            lowB[t] += c.LowB[t] * y[t + 1];
            highB[t] += c.HighB[t] * y[t + 1];
        }
        middle += layout.Middle[i] * y[0];
    }
    for (int32_t j = 0; j < 16; ++j) {
        output[step * j] = ToPcm(low[j] - lowB[15 - j]);
    }
    output[step * 16] = ToPcm(middle);
    for (int32_t m = 1; m < 16; ++m) {
        output[step * (16 + m)] = ToPcm(high[16 - m] + highB[m - 1]);
    }
}

} // namespace

void BuildWindowLayout(TWindowLayout& l) {
    const float* c = SynthWindowTable;
    for (int32_t i = 0; i < 8; ++i) {
        TWindowLayout::TPair& pair = l.Pairs[i];
        for (int32_t t = 0; t < 16; ++t) {
            // Sample t: + C[16 t + 2 i] x X[t].
            pair.Low[t] = c[16 * t + 2 * i];
            // Sample 32 - t (t = 1..15, block 16 - m with m = 16 - t): + C[16 t + 15 - 2 i] x X[t].
            pair.High[t] = t == 0 ? 0.0f : c[16 * t + 15 - 2 * i];
            // Y[k], k = t + 1: sample 16 - k gets - C[16 (16 - k) + 2 i + 1] x Y[k].
            const int32_t k = t + 1;
            pair.LowB[t] = c[16 * (16 - k) + 2 * i + 1];
            // Sample 16 + k (k = 1..15): + C[16 (16 - k) + 14 - 2 i] x Y[k].
            pair.HighB[t] = k == 16 ? 0.0f : c[16 * (16 - k) + 14 - 2 * i];
        }
        l.Middle[i] = c[256 + i];
    }
}

const TWindowLayout& CurrentWindowLayout() {
    std::call_once(layoutBuilt, [] { BuildWindowLayout(layout); });
    return layout;
}

void WindowMonoFast(const float* ring, int32_t position, int16_t* output) {
    Window(ring, position, output, 1);
}

void WindowStereoFast(const float* ring, int32_t position, int16_t* output) {
    Window(ring, position, output, 2);
}

} // namespace tunelo
