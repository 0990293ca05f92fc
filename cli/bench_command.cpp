// tunelo-cli bench FILE [-n N]: decode speed of the whole file, held in memory, without output.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "commands.h"
#include "file_bytes.h"
#include "stream_decoder.h"

namespace tunelo::cli {

namespace {

// Processor time of this process: on a shared machine it moves far less with the load than the wall
// clock does.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

} // namespace

int RunBench(int argc, char** argv) {
    std::string path;
    int runs = 5;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "-n") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else {
            path = argv[i];
        }
    }
    if (path.empty() || runs < 1) {
        std::fprintf(stderr, "usage: tunelo-cli bench FILE [-n N]\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!ReadWholeFile(path, bytes, reason)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), reason.c_str());
        return 1;
    }
    std::vector<double> seconds;
    int32_t frames = 0;
    uint64_t pcmBytes = 0;
    TMPOutputFormat format{};
    uint8_t pcm[TStreamDecoder::MaxFrameBytes];
    for (int run = 0; run < runs; ++run) {
        TStreamDecoder decoder;
        const double start = CpuSeconds();
        if (!decoder.Open(bytes.data(), bytes.size(), false, reason)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), reason.c_str());
            return 1;
        }
        pcmBytes = 0;
        for (int32_t n; (n = decoder.Next(pcm)) > 0;) {
            pcmBytes += static_cast<uint64_t>(n);
        }
        seconds.push_back(CpuSeconds() - start);
        frames = decoder.FramesDecoded();
        format = decoder.Format();
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const double audioSeconds =
        format.SampleRate > 0 ? static_cast<double>(pcmBytes) / (2.0 * format.Channels * format.SampleRate)
                              : 0.0;
    std::printf("file\t%s\nframes\t%d\naudio\t%.3f s\nruns\t%d\nmedian\t%.6f s cpu\nspeed\t%.1f x real time\n"
                "per frame\t%.0f ns\n",
                path.c_str(), frames, audioSeconds, runs, median, median > 0 ? audioSeconds / median : 0.0,
                frames > 0 ? median * 1e9 / frames : 0.0);
    return 0;
}

} // namespace tunelo::cli
