// tunelo-cli's open-and-decode path on arbitrary file content: leading ID3v2 tag, first-frame search,
// information-frame skip, frame checks, byte-wise resync and the decoder, at the player's bandwidth and
// at full bandwidth. libFuzzer (and the corpus replay) hand over the input in a block of exactly its
// size, so any read past the end of the file is seen.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "stream_decoder.h"

namespace {

using tunelo::cli::TStreamDecoder;

constexpr int32_t kMaxFrames = 2000;

void DecodeAll(const uint8_t* data, size_t size, bool full) {
    TStreamDecoder decoder;
    std::string error;
    if (!decoder.Open(data, size, full, error)) {
        if (error.empty()) {
            std::abort(); // a refusal always says why
        }
        return;
    }
    const tunelo::TMPOutputFormat& format = decoder.Format();
    const int32_t frameBytes = format.SamplesPerFrame * format.BitsPerSample / 8;
    if (frameBytes <= 0 || frameBytes > TStreamDecoder::MaxFrameBytes) {
        std::abort();
    }
    std::unique_ptr<uint8_t[]> pcm(new uint8_t[TStreamDecoder::MaxFrameBytes]);
    for (int32_t n = 0; n < kMaxFrames; ++n) {
        const int32_t bytes = decoder.Next(pcm.get());
        if (bytes == 0) {
            break;
        }
        if (bytes != frameBytes) {
            std::abort(); // every frame of a stream yields the same PCM block
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeAll(data, size, false);
    DecodeAll(data, size, true);
    return 0;
}
