// The hybrid filterbank of one granule (long and short blocks over all 32 subbands) and its two inverse
// transforms on their own, each as the portable member and as the member the routine table selects.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "bench_data.h"
#include "routine_table.h"

namespace tunelo::bench {
namespace {

// The filterbank's input and the overlap a previous granule of the same kind left.
struct THybridInput {
    std::unique_ptr<TMPDecoderState> State = NewState();
    alignas(32) float Lines[kGranuleLines];
    int32_t BlockType;
    int32_t LongLines;

    explicit THybridInput(int64_t block)
        : BlockType(block == kLongBlock ? 0 : 2), LongLines(block == kLongBlock ? kGranuleLines : 0) {
        FilterbankInput(block, Lines);
        // The filterbank leaves the next overlap in its input buffer.
        float* overlap = State->FloatLines(0, 1);
        std::memcpy(overlap, Lines, sizeof Lines);
        Run(HybridGeneric, overlap, State->FloatLines(0, 0));
    }
    int32_t Run(TMPHybridProc hybrid, float* lines, float* overlap) {
        return hybrid(lines, overlap, State->HybridOut, BlockType, LongLines, kGranuleLines, kGranuleLines,
                      32);
    }
};

// The filterbank works in place (the input becomes the next overlap), so each run copies its 576 input
// lines first; the copy costs a few tens of nanoseconds against microseconds of work, less than pausing
// the timer would.
void HybridBench(benchmark::State& state, TMPHybridProc hybrid) {
    THybridInput input(state.range(0));
    float* lines = input.State->FloatLines(0, 0);
    float* overlap = input.State->FloatLines(0, 1);
    for (auto _ : state) {
        std::memcpy(lines, input.Lines, sizeof input.Lines);
        benchmark::DoNotOptimize(input.Run(hybrid, lines, overlap));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 32);
}

void BM_Hybrid(benchmark::State& state, TMPHybridProc hybrid) {
    HybridBench(state, hybrid);
}
void BM_HybridSelected(benchmark::State& state) {
    HybridBench(state, NewState()->Routines.Hybrid);
}
BENCHMARK_CAPTURE(BM_Hybrid, generic, HybridGeneric)->ArgName("block")->Arg(kLongBlock)->Arg(kShortBlock);
BENCHMARK(BM_HybridSelected)->ArgName("block")->Arg(kLongBlock)->Arg(kShortBlock);

// One transform per subband of a granule (32 per run), each on a fresh copy of its 18 values: the
// transforms work in place and would grow without bound on their own output.
void ImdctBench(benchmark::State& state, TMPImdctProc imdct, int64_t block) {
    alignas(32) float source[kGranuleLines];
    alignas(32) float values[kGranuleLines];
    FilterbankInput(block, source);
    for (auto _ : state) {
        std::memcpy(values, source, sizeof values);
        for (int32_t sb = 0; sb < 32; ++sb) {
            imdct(values + 18 * sb);
        }
        benchmark::DoNotOptimize(values);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 32);
}

void BM_LongImdct(benchmark::State& state, TMPImdctProc imdct) {
    ImdctBench(state, imdct, kLongBlock);
}
void BM_LongImdctSelected(benchmark::State& state) {
    ImdctBench(state, NewState()->Routines.LongImdct, kLongBlock);
}
void BM_ShortImdct(benchmark::State& state, TMPImdctProc imdct) {
    ImdctBench(state, imdct, kShortBlock);
}
void BM_ShortImdctSelected(benchmark::State& state) {
    ImdctBench(state, NewState()->Routines.ShortImdct, kShortBlock);
}
BENCHMARK_CAPTURE(BM_LongImdct, generic, LongImdctGeneric);
BENCHMARK(BM_LongImdctSelected);
BENCHMARK_CAPTURE(BM_ShortImdct, generic, ShortImdctGeneric);
BENCHMARK(BM_ShortImdctSelected);

} // namespace
} // namespace tunelo::bench
