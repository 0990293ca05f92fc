// tunelo-cli decode [--full] [--replaygain track|album [--preamp DB]] IN OUT
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "file_bytes.h"
#include "pcm_gain.h"
#include "replay_gain_options.h"
#include "stream_decoder.h"
#include "tag_scan.h"
#include "wav_writer.h"

namespace tunelo::cli {

int RunDecode(int argc, char** argv) {
    bool full = false;
    TReplayGainOptions gainOptions;
    std::vector<std::string> paths;
    for (int i = 0; i < argc; ++i) {
        const TOptionResult gainOption = TakeReplayGainOption(argc, argv, i, gainOptions, "decode");
        if (gainOption == TOptionResult::Bad) {
            return 2;
        } else if (gainOption == TOptionResult::Taken) {
            continue;
        } else if (std::strcmp(argv[i], "--full") == 0) {
            full = true;
        } else {
            paths.emplace_back(argv[i]);
        }
    }
    if (paths.size() != 2) {
        std::fprintf(stderr,
                     "usage: tunelo-cli decode [--full] [--replaygain track|album [--preamp DB]] IN OUT\n");
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
    double gainFactor = 1.0;
    if (gainOptions.Mode != rgmOff) {
        TTagScan scan;
        if (!scan.Open(in, {}, reason)) {
            std::fprintf(stderr, "%s: %s\n", in.c_str(), reason.c_str());
            return 1;
        }
        gainFactor = ReplayGainFactor(scan.Info().ReplayGain(), gainOptions.Mode, gainOptions.Preamp);
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
    uint8_t pcm[TStreamDecoder::MaxFrameBytes];
    for (int32_t n; (n = decoder.Next(pcm)) > 0;) {
        ApplyPcmGain(pcm, n, gainFactor);
        if (!writer.Write(pcm, static_cast<size_t>(n))) {
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
