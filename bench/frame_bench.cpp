// Whole frames: set-up and DecodeFrame over every frame of a stream held in memory, at the player's
// frequency limit (24000) and at full bandwidth (0). Streams: two of the conformance set, plus any
// files named in TUNELO_BENCH_FILES (separated by ':'), e.g. a long encoder-made file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "MP3decdr.h"

#ifndef TUNELO_CONFORMANCE_DIR
#define TUNELO_CONFORMANCE_DIR "."
#endif

namespace tunelo::bench {
namespace {

constexpr int32_t kSyncWindow = 4096;
constexpr int32_t kMaxFrameBytes = 5120;

struct TStreamFrames {
    std::vector<uint8_t> Bytes;
    TMPHeader First{};
    int32_t FirstLength = 0; // without padding, as the set-up takes it
    size_t FirstOffset = 0;  // later frames must match this one's header
    std::vector<size_t> Offsets;
};

size_t LeadingId3v2Size(const std::vector<uint8_t>& b) {
    if (b.size() < 10 || std::memcmp(b.data(), "ID3", 3) != 0) {
        return 0;
    }
    const size_t size = (size_t{b[6]} & 0x7F) << 21 | (size_t{b[7]} & 0x7F) << 14 |
                        (size_t{b[8]} & 0x7F) << 7 | (size_t{b[9]} & 0x7F);
    return 10 + size + ((b[5] & 0x10) != 0 ? 10 : 0);
}

bool IsInfoTag(const uint8_t* p) {
    return std::memcmp(p, "Xing", 4) == 0 || std::memcmp(p, "Info", 4) == 0 || std::memcmp(p, "VBRI", 4) == 0;
}

// A Layer III information frame (Xing, Info or VBRI) carries no audio; the player skips it. The tag
// follows the side information; lame leaves out the CRC word in a protected stream's tag frame.
bool IsInformationFrame(const uint8_t* frame, size_t available, const TMPHeader& h) {
    if (h.LayerCode != 1) {
        return false;
    }
    const bool mono = h.Mode == 3;
    size_t offset = h.VersionId == 1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    offset += h.ProtectionBit == 0 ? 2 : 0;
    if (offset + 4 <= available && IsInfoTag(frame + offset)) {
        return true;
    }
    return h.ProtectionBit == 0 && offset + 2 <= available && IsInfoTag(frame + offset - 2);
}

// Frame length with padding at pos, or 0 where the bytes are not a whole frame of the stream.
size_t FrameAt(const TStreamFrames& s, size_t pos, int32_t freeFormatLength) {
    if (s.Bytes.size() - pos < 4) {
        return 0;
    }
    const uint8_t* p = s.Bytes.data() + pos;
    TMPHeader header{};
    int32_t length = ParseHeader(p, 0, header);
    if (header.SyncKind != 0 && header.BitrateIndex == 0 && header.LayerCode != 0) {
        length = freeFormatLength;
    }
    if (length <= 0 || header.LayerCode < 1 || header.LayerCode > 3 ||
        !HeadersCompatible(s.Bytes.data() + s.FirstOffset, p)) {
        return 0;
    }
    const size_t bytes =
        static_cast<size_t>(length) + (header.PaddingBit ? (header.LayerCode == 3 ? 4 : 1) : 0);
    return bytes <= s.Bytes.size() - pos ? bytes : 0;
}

// Reads the file and lists its audio frames: the first found by the synchronising search, the rest
// walked by length, with a byte-wise search past anything that is not a frame.
bool LoadStream(const std::string& path, TStreamFrames& s, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    s.Bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        error = "cannot read " + path;
        return false;
    }
    size_t pos = LeadingId3v2Size(s.Bytes);
    if (s.Bytes.empty() || pos >= s.Bytes.size()) {
        error = "cannot read " + path;
        return false;
    }
    const int32_t window = static_cast<int32_t>(std::min<size_t>(s.Bytes.size() - pos, kSyncWindow));
    int32_t bitrate = 0;
    int32_t offset = 0;
    s.FirstLength = SyncSearch(s.Bytes.data() + pos, window, s.First, bitrate, offset);
    if (s.FirstLength <= 0) {
        error = "no MPEG audio in " + path;
        return false;
    }
    pos += static_cast<size_t>(offset);
    s.FirstOffset = pos;
    const int32_t freeFormatLength = s.First.BitrateIndex == 0 ? s.FirstLength : 0;
    const size_t firstBytes = FrameAt(s, pos, freeFormatLength);
    if (firstBytes > 0 && IsInformationFrame(s.Bytes.data() + pos, firstBytes, s.First)) {
        pos += firstBytes;
    }
    while (pos + 4 <= s.Bytes.size()) {
        const size_t bytes = FrameAt(s, pos, freeFormatLength);
        if (bytes == 0) {
            ++pos;
            continue;
        }
        s.Offsets.push_back(pos);
        pos += bytes;
    }
    if (s.Offsets.empty()) {
        error = "no whole frame in " + path;
        return false;
    }
    return true;
}

void BM_DecodeStream(benchmark::State& state, const std::string& path) {
    TStreamFrames stream;
    std::string error;
    if (!LoadStream(path, stream, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int32_t frequencyLimit = static_cast<int32_t>(state.range(0));
    auto decoder = std::make_unique<TMPDecoderState>();
    if (DecoderSetup(*decoder, stream.First, stream.FirstLength, 0, 0, frequencyLimit) != 1) {
        state.SkipWithError("the decoder refused the stream");
        return;
    }
    TMPOutputFormat format{};
    GetOutputFormat(*decoder, format);
    alignas(32) uint8_t pcm[kMaxFrameBytes];
    int64_t refused = 0;
    for (auto _ : state) {
        DecoderSetup(*decoder, stream.First, stream.FirstLength, 0, 0, frequencyLimit);
        for (const size_t offset : stream.Offsets) {
            const TMPDecodeResult result = DecodeFrame(*decoder, stream.Bytes.data() + offset, pcm);
            refused += result.BytesConsumed < 1 ? 1 : 0;
            benchmark::DoNotOptimize(pcm);
            benchmark::ClobberMemory();
        }
    }
    const int64_t frames = static_cast<int64_t>(stream.Offsets.size());
    const double audioSeconds = static_cast<double>(frames) * format.SamplesPerFrame /
                                (static_cast<double>(format.Channels) * format.SampleRate);
    state.SetItemsProcessed(state.iterations() * frames);
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["x_realtime"] =
        benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
    if (refused > 0) {
        state.SetLabel("some frames refused");
    }
}

std::vector<std::string> StreamPaths() {
    std::vector<std::string> paths = {std::string(TUNELO_CONFORMANCE_DIR) + "/l3-he_44khz.bit",
                                      std::string(TUNELO_CONFORMANCE_DIR) + "/l2-fl10.bit"};
    if (const char* extra = std::getenv("TUNELO_BENCH_FILES")) {
        std::string list = extra;
        for (size_t start = 0; start <= list.size();) {
            const size_t end = std::min(list.find(':', start), list.size());
            if (end > start) {
                paths.push_back(list.substr(start, end - start));
            }
            start = end + 1;
        }
    }
    return paths;
}

const bool registered = [] {
    for (const std::string& path : StreamPaths()) {
        const std::string name = "BM_DecodeStream/" + path.substr(path.find_last_of('/') + 1);
        benchmark::RegisterBenchmark(name.c_str(), BM_DecodeStream, path)
            ->ArgName("limit")
            ->Arg(24000)
            ->Arg(0)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
} // namespace tunelo::bench
