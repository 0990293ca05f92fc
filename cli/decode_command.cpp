// tunelo-cli decode [--full] [--no-gapless] IN OUT: the encoder's delay and padding are cut off unless
// --no-gapless keeps every sample of every frame.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "file_bytes.h"
#include "stream_decoder.h"
#include "wav_writer.h"

namespace tunelo::cli {

int RunDecode(int argc, char** argv) {
    bool full = false;
    bool gapless = true;
    std::vector<std::string> paths;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--full") == 0) {
            full = true;
        } else if (std::strcmp(argv[i], "--no-gapless") == 0) {
            gapless = false;
        } else {
            paths.emplace_back(argv[i]);
        }
    }
    if (paths.size() != 2) {
        std::fprintf(stderr, "usage: tunelo-cli decode [--full] [--no-gapless] IN OUT\n");
        return 2;
    }
    const std::string& in = paths[0];
    const std::string& out = paths[1];

    std::vector<uint8_t> bytes;
    std::string reason;
    if (!ReadWholeFile(in, bytes, reason)) {
        std::fprintf(stderr, "%s: %s\n", in.c_str(), reason.c_str());
        return 1;
    }
    TStreamDecoder decoder;
    if (!decoder.Open(bytes.data(), bytes.size(), full, reason)) {
        std::fprintf(stderr, "%s: %s\n", in.c_str(), reason.c_str());
        return 1;
    }
    TPcmFileWriter writer;
    if (!writer.Open(out, decoder.Format().Channels, decoder.Format().SampleRate, reason)) {
        std::fprintf(stderr, "%s: %s\n", out.c_str(), reason.c_str());
        return 1;
    }
    const TMPHeardRange heard =
        gapless ? HeardRange(decoder.Gap(), decoder.DecodedSamples()) : TMPHeardRange{};
    const int32_t bytesPerSample = decoder.Format().Channels * decoder.Format().BitsPerSample / 8;
    int64_t frameStart = 0;
    uint8_t pcm[TStreamDecoder::MaxFrameBytes];
    for (int32_t n; (n = decoder.Next(pcm)) > 0;) {
        const int32_t samples = n / bytesPerSample;
        const TMPFramePart part = HeardPartOfFrame(frameStart, samples, heard.Begin, heard.End);
        frameStart += samples;
        if (part.Count == 0) {
            continue;
        }
        const uint8_t* heardPcm = pcm + part.First * bytesPerSample;
        if (!writer.Write(heardPcm, static_cast<size_t>(part.Count * bytesPerSample))) {
            std::fprintf(stderr, "%s: %s\n", out.c_str(), std::strerror(errno));
            writer.Discard();
            return 1;
        }
    }
    if (!writer.Commit(reason)) {
        std::fprintf(stderr, "%s: %s\n", out.c_str(), reason.c_str());
        return 1;
    }
    return 0;
}

} // namespace tunelo::cli
