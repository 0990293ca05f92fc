// Dequantisation of one granule (long, short and mixed blocks) and alias reduction.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench_data.h"
#include "layer3_spectrum.h"

namespace tunelo::bench {
namespace {

// The copy back of the 576 integers (a few tens of nanoseconds) is timed with each run: pausing the
// timer around it would cost more than the copy itself.
void BM_Dequantise(benchmark::State& state) {
    TQuantisedGranule granule(state.range(0));
    for (auto _ : state) {
        granule.Restore();
        Dequantise(*granule.State, 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kGranuleLines);
}
BENCHMARK(BM_Dequantise)->ArgName("block")->Arg(kLongBlock)->Arg(kShortBlock)->Arg(kMixedBlock);

// All 31 subband boundaries of a long block. The butterflies are rotations, so running them over their
// own output keeps the values in range and needs no fresh input; their cost does not depend on the values.
void AliasReduceBench(benchmark::State& state, TMPAliasReduceProc reduce) {
    TQuantisedGranule granule(kLongBlock);
    granule.Restore();
    Dequantise(*granule.State, 0, 0);
    float* lines = granule.State->FloatLines(0, 0);
    for (auto _ : state) {
        reduce(lines, 31);
        benchmark::DoNotOptimize(lines);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 31);
}

void BM_AliasReduce(benchmark::State& state, TMPAliasReduceProc reduce) {
    AliasReduceBench(state, reduce);
}
// The member the routine table holds on this processor.
void BM_AliasReduceSelected(benchmark::State& state) {
    AliasReduceBench(state, NewState()->Routines.AliasReduce);
}
BENCHMARK_CAPTURE(BM_AliasReduce, generic, AliasReduceGeneric);
BENCHMARK(BM_AliasReduceSelected);

} // namespace
} // namespace tunelo::bench
