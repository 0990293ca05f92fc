// The 32-point synthesis transform, the ring reset and the spectral-line equalizer.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "layer3_tables.h"
#include "synthesis.h"

namespace tunelo {

namespace {

// Offsets of the runs of 16, 8, 4, 2 and 1 factors in DctCosineTable.
enum : int32_t { kRun16 = 0, kRun8 = 16, kRun4 = 24, kRun2 = 28, kRun1 = 30 };

// One forward stage on every block of m values: the first half takes the sums of mirrored pairs,
// the second half their differences scaled by the run's factors.
void ForwardStage(const float* source, float* destination, int32_t m, const float* run) {
    const int32_t half = m / 2;
    for (int32_t block = 0; block < 32; block += m) {
        const float* in = source + block;
        float* out = destination + block;
        for (int32_t j = 0; j < half; ++j) {
            const float low = in[j];
            const float high = in[m - 1 - j];
            out[j] = low + high;
            out[half + j] = (low - high) * run[j];
        }
    }
}

// One recombination stage on every block of m values: the even outputs are the first half's
// transform, each odd output the sum of two neighbouring values of the second half's transform.
void Recombine(const float* source, float* destination, int32_t m) {
    const int32_t half = m / 2;
    for (int32_t block = 0; block < 32; block += m) {
        const float* in = source + block;
        float* out = destination + block;
        for (int32_t k = 0; k < half - 1; ++k) {
            out[2 * k] = in[k];
            out[2 * k + 1] = in[half + k] + in[half + k + 1];
        }
        out[m - 2] = in[half - 1];
        out[m - 1] = in[m - 1];
    }
}

// The whole transform; input(n) yields s_n. The scratch lives on the stack so that several decoder
// states can synthesise at the same time.
template <typename Input> void Transform(Input input, float* destination) {
    const float* cosines = DctCosineTable();
    float a[32];
    float b[32];
    for (int32_t n = 0; n < 16; ++n) {
        const float low = input(n);
        const float high = input(31 - n);
        a[n] = low + high;
        a[16 + n] = (low - high) * cosines[kRun16 + n];
    }
    ForwardStage(a, b, 16, cosines + kRun8);
    ForwardStage(b, a, 8, cosines + kRun4);
    ForwardStage(a, b, 4, cosines + kRun2);
    ForwardStage(b, a, 2, cosines + kRun1);
    // A block of two is its own transform: sum at 0, scaled difference at 1.
    Recombine(a, b, 4);
    Recombine(b, a, 8);
    Recombine(a, b, 16);
    Recombine(b, destination, 32);
}

} // namespace

void SynthesisReset(TMPDecoderState& state) {
    DctCosineTable(); // built once per process; done here so that no frame pays for it
    std::memset(state.SynthBuffer, 0, sizeof state.SynthBuffer);
    state.SynthPos[0] = 0;
    state.SynthPos[1] = 0;
}

void SubbandDct(const float* input, float* destination) {
    Transform([input](int32_t n) { return input[n]; }, destination);
}

void SubbandDctPair(const float* input, float* destination) {
    Transform([input](int32_t n) { return input[2 * n]; }, destination);
}

void SubbandDctMix(const float* input, float* destination) {
    Transform([input](int32_t n) { return (input[2 * n] + input[2 * n + 1]) * 0.5f; }, destination);
}

void ApplyLineGains(const TMPDecoderState& state, float* lines, int32_t n) {
    n = std::clamp<int32_t>(n, 0, 576);
    for (int32_t k = 0; k < n; ++k) {
        // The player changes single gains from its window thread while this runs.
        const float gain =
            std::atomic_ref<float>(const_cast<float&>(state.LineGains[k])).load(std::memory_order_relaxed);
        lines[k] *= gain;
    }
}

} // namespace tunelo
