// tunelo-cli decode [--full] [--no-gapless] [--replaygain track|album|auto [--preamp DB]] IN OUT: the
// encoder's delay and padding are cut off unless --no-gapless keeps every sample of every frame.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "commands.h"
#include "pcm_gain.h"
#include "replay_gain_options.h"
#include "stream_decoder.h"
#include "tag_scan.h"
#include "terminal_text.h"
#include "wav_writer.h"

namespace tunelo::cli {

int RunDecode(int argc, char** argv) {
    bool full = false;
    bool gapless = true;
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
        } else if (std::strcmp(argv[i], "--no-gapless") == 0) {
            gapless = false;
        } else {
            paths.emplace_back(argv[i]);
        }
    }
    if (paths.size() != 2) {
        std::fprintf(stderr, "usage: tunelo-cli decode [--full] [--no-gapless] [--replaygain track|album "
                             "[--preamp DB]] IN OUT\n");
        return 2;
    }
    // "-" reads standard input, as it writes standard output.
    const std::string in = paths[0] == "-" ? std::string("/dev/stdin") : paths[0];
    const std::string& out = paths[1];

    std::unique_ptr<TMPFileStream> source;
    try {
        source = std::make_unique<TMPFileStream>(in);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tunelo-cli: %s\n", Printable(e.what()).c_str()); // the message names the file
        return 1;
    }
    // A pipe or a device is read as it comes; only a regular file can be repositioned.
    struct stat info {};
    const bool seekable = ::stat(in.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    std::string reason;
    double gainFactor = 1.0;
    if (gainOptions.Mode != rgmOff) {
        TTagScan scan;
        if (!scan.Open(in, {}, reason)) {
            std::fprintf(stderr, "%s: %s\n", Printable(in).c_str(), reason.c_str());
            return 1;
        }
        gainFactor = ReplayGainFactor(scan.Info().ReplayGain(), gainOptions.Mode, gainOptions.Preamp);
    }
    TStreamDecoder decoder;
    if (!decoder.Open(*source, seekable, full, reason)) {
        std::fprintf(stderr, "%s: %s\n", Printable(in).c_str(), reason.c_str());
        return 1;
    }
    TPcmFileWriter writer;
    if (!writer.Open(out, decoder.Format().Channels, decoder.Format().SampleRate, reason)) {
        std::fprintf(stderr, "%s: %s\n", Printable(out).c_str(), reason.c_str());
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
        uint8_t* heardPcm = pcm + part.First * bytesPerSample;
        const int32_t heardBytes = part.Count * bytesPerSample;
        ApplyPcmGain(heardPcm, heardBytes, gainFactor);
        if (!writer.Write(heardPcm, static_cast<size_t>(heardBytes))) {
            std::fprintf(stderr, "%s: %s\n", Printable(out).c_str(), std::strerror(errno));
            writer.Discard();
            return 1;
        }
    }
    if (!decoder.Error().empty()) {
        std::fprintf(stderr, "%s: %s\n", Printable(in).c_str(), Printable(decoder.Error()).c_str());
        writer.Discard();
        return 1;
    }
    if (!writer.Commit(reason)) {
        std::fprintf(stderr, "%s: %s\n", Printable(out).c_str(), reason.c_str());
        return 1;
    }
    return 0;
}

} // namespace tunelo::cli
