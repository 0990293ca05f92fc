// Polyphase synthesis of one granule (18 time slots): the 32-point transform into the ring, and the
// window that turns the ring into PCM, mono and stereo, per member.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "bench_data.h"
#include "routine_table.h"
#include "synthesis.h"

namespace tunelo::bench {
namespace {

constexpr int32_t kSlots = 18;
constexpr int32_t kPositionMask = 512 - 32;

// Subband samples in 16-bit units, of a size that keeps the PCM below full scale (peaks near 60 %), as
// music's: clipping is not the common case.
struct TSubbandSlots {
    alignas(32) float Rows[kSlots][32];
    explicit TSubbandSlots(uint32_t seed) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> sample(-2000.0f, 2000.0f);
        for (auto& row : Rows) {
            for (float& value : row) {
                value = sample(random);
            }
        }
    }
};

void BM_SubbandDct(benchmark::State& state) {
    const TSubbandSlots slots(kSeed);
    alignas(32) float ring[512] = {};
    for (auto _ : state) {
        int32_t position = 0;
        for (int32_t t = 0; t < kSlots; ++t) {
            SubbandDct(slots.Rows[t], ring + position);
            position = (position - 32) & kPositionMask;
        }
        benchmark::DoNotOptimize(ring);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSlots);
}
BENCHMARK(BM_SubbandDct);

// A ring filled by the transform over all 16 of its positions, as after the first frames of a stream.
struct TRing {
    alignas(32) float Values[512] = {};
    explicit TRing(uint32_t seed) {
        const TSubbandSlots slots(seed);
        for (int32_t k = 0; k < 16; ++k) {
            SubbandDct(slots.Rows[k], Values + 32 * k);
        }
    }
};

// The window reads the ring and writes PCM: nothing to restore between runs.
void WindowMonoBench(benchmark::State& state, TMPWindowProc window) {
    const TRing ring(kSeed);
    int16_t pcm[kSlots * 32];
    for (auto _ : state) {
        int32_t position = 0;
        for (int32_t t = 0; t < kSlots; ++t) {
            window(ring.Values, position, pcm + 32 * t);
            position = (position - 32) & kPositionMask;
        }
        benchmark::DoNotOptimize(pcm);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSlots);
}

// Both channels of a granule, interleaved into one block as the stereo output routine does.
void WindowStereoBench(benchmark::State& state, TMPWindowProc window) {
    const TRing rings[2] = {TRing(kSeed), TRing(kSeed + 1)};
    int16_t pcm[kSlots * 64];
    for (auto _ : state) {
        for (int32_t c = 0; c < 2; ++c) {
            int32_t position = 0;
            for (int32_t t = 0; t < kSlots; ++t) {
                window(rings[c].Values, position, pcm + 64 * t + c);
                position = (position - 32) & kPositionMask;
            }
        }
        benchmark::DoNotOptimize(pcm);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSlots * 2);
}

void BM_WindowMono(benchmark::State& state, TMPWindowProc window) {
    WindowMonoBench(state, window);
}
void BM_WindowMonoSelected(benchmark::State& state) {
    WindowMonoBench(state, NewState()->Routines.WindowMono);
}
void BM_WindowStereo(benchmark::State& state, TMPWindowProc window) {
    WindowStereoBench(state, window);
}
void BM_WindowStereoSelected(benchmark::State& state) {
    WindowStereoBench(state, NewState()->Routines.WindowStereo);
}
BENCHMARK_CAPTURE(BM_WindowMono, generic, WindowMonoGeneric);
BENCHMARK_CAPTURE(BM_WindowMono, fast, WindowMonoFast);
BENCHMARK(BM_WindowMonoSelected);
BENCHMARK_CAPTURE(BM_WindowStereo, generic, WindowStereoGeneric);
BENCHMARK_CAPTURE(BM_WindowStereo, fast, WindowStereoFast);
BENCHMARK(BM_WindowStereoSelected);

} // namespace
} // namespace tunelo::bench
