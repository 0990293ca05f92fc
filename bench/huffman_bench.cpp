// Huffman decoding of part 3: the pair walk per table kind, the count1 quadruples, and a whole granule.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "bench_data.h"
#include "bit_reader.h"
#include "layer3_huffman.h"

namespace tunelo::bench {
namespace {

// Checked once before timing: a stream the walk misreads would time the wrong work.
bool SameValues(const int32_t* decoded, const std::vector<int32_t>& expected, int32_t count) {
    return std::equal(decoded, decoded + count, expected.begin());
}

// 288 pairs (a whole granule) with one table; the argument is the table number.
void BM_DecodeBigValues(benchmark::State& state) {
    const int32_t table = static_cast<int32_t>(state.range(0));
    const int32_t lines = kGranuleLines;
    const TCodedBits coded = PairStream(table, lines / 2);
    alignas(32) int32_t output[kGranuleLines] = {};
    TMPBitReader reader{};
    coded.StartReader(reader);
    DecodeBigValues(reader, output, lines, table);
    if (!SameValues(output, coded.Values, lines)) {
        state.SkipWithError("decoded values differ from the encoded ones");
        return;
    }
    for (auto _ : state) {
        coded.StartReader(reader);
        DecodeBigValues(reader, output, lines, table);
        benchmark::DoNotOptimize(output);
        benchmark::DoNotOptimize(reader);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.SetBytesProcessed(state.iterations() * (coded.Bits / 8));
}
BENCHMARK(BM_DecodeBigValues)->ArgName("table")->Arg(7)->Arg(15)->Arg(24);

// 144 quadruples (a whole granule) with count1 table A (0) or B (1).
void BM_DecodeCount1(benchmark::State& state) {
    const int32_t tableSelect = static_cast<int32_t>(state.range(0));
    const int32_t lines = kGranuleLines;
    const TCodedBits coded = QuadrupleStream(tableSelect, lines / 4);
    alignas(32) int32_t output[kGranuleLines] = {};
    TMPBitReader reader{};
    coded.StartReader(reader);
    DecodeCount1(reader, output, lines, coded.Bits, tableSelect);
    if (!SameValues(output, coded.Values, lines)) {
        state.SkipWithError("decoded values differ from the encoded ones");
        return;
    }
    for (auto _ : state) {
        coded.StartReader(reader);
        benchmark::DoNotOptimize(DecodeCount1(reader, output, lines, coded.Bits, tableSelect));
        benchmark::DoNotOptimize(output);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_DecodeCount1)->ArgName("table")->Arg(0)->Arg(1);

// One granule and channel through the region boundaries: tables 24, 15, 7, then count1 table A.
void BM_DecodeSpectrum(benchmark::State& state) {
    auto decoder = NewState();
    const TCodedBits coded = GranuleSpectrum(*decoder);
    coded.StartReader(decoder->Reader);
    DecodeSpectrum(*decoder, 0, 0, 0);
    if (!SameValues(decoder->IntLines(0, 0), coded.Values, kGranuleLines)) {
        state.SkipWithError("decoded values differ from the encoded ones");
        return;
    }
    for (auto _ : state) {
        coded.StartReader(decoder->Reader);
        benchmark::DoNotOptimize(DecodeSpectrum(*decoder, 0, 0, 0));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kGranuleLines);
    state.SetBytesProcessed(state.iterations() * (coded.Bits / 8));
}
BENCHMARK(BM_DecodeSpectrum);

} // namespace
} // namespace tunelo::bench
