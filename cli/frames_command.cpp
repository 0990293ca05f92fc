// tunelo-cli frames FILE: lists the MPEG audio frames of a file the way the player walks them: from the
// first confirmed frame after the tags (an information frame is listed too) every later frame must be
// compatible with the first, and a position that is not is passed byte by byte (at most 4096 in a row).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "MP3decdr.h"
#include "commands.h"
#include "errors.h"
#include "file_stream.h"
#include "stream_reader.h"
#include "stream_start.h"
#include "terminal_text.h"

namespace tunelo::cli {

namespace {

constexpr int32_t kReaderCapacity = 65536;
constexpr int32_t kMaxSkipInARow = 4096;

// What is known about the stream once its first frame is found.
struct TStreamStart {
    uint8_t First[4];
    int32_t FreeFormatLength; // without padding; 0 for a stream with stated bit rates
    int32_t FreeFormatBitrate;
};

struct TFrameLine {
    TMPHeader Header;
    int32_t Bitrate;
    int32_t Bytes; // with padding
};

const char* VersionName(const TMPHeader& h) {
    if (h.VersionId == 1) {
        return "1";
    }
    return h.SyncKind == 2 ? "2.5" : "2";
}

// The frame at bytes (4 readable) as a listing line; false when it does not belong to the stream.
bool DescribeFrame(const uint8_t* bytes, const TStreamStart& start, TFrameLine& line) {
    if (!HeadersCompatible(start.First, bytes)) {
        return false;
    }
    // 0 bytes available: a free-format header yields no length here, it is known from the first frame.
    int32_t length = SearchWithBitrate(bytes, 0, line.Header, line.Bitrate);
    if (line.Header.SyncKind != 0 && line.Header.LayerCode != 0 && line.Header.BitrateIndex == 0) {
        length = start.FreeFormatLength;
        line.Bitrate = start.FreeFormatBitrate;
    }
    if (length <= 0) {
        return false;
    }
    const int32_t slot = line.Header.LayerCode == 3 ? 4 : 1;
    line.Bytes = length + slot * line.Header.PaddingBit;
    return true;
}

void PrintFrame(int64_t offset, const TFrameLine& line) {
    const TMPHeader& h = line.Header;
    std::printf("%lld\t%s\t%d\t%d\t%d\t%d\t%d\n", static_cast<long long>(offset), VersionName(h),
                4 - h.LayerCode, SamplingFrequency(h.VersionId, h.SamplingIndex, h.SyncKind == 2), h.Mode,
                line.Bitrate, line.Bytes);
}

int32_t WalkFrames(TMPStreamReader& reader) {
    TStreamStart start{};
    TMP3Info info;
    try {
        const TMPStreamStart opened = OpenAudioData(reader, info);
        std::memcpy(start.First, opened.FirstHeader, 4);
        start.FreeFormatLength = opened.FreeFormatLength;
        start.FreeFormatBitrate = opened.FreeFormatLength > 0 ? opened.Bitrate : 0;
    } catch (const EMPError& e) {
        if (std::strcmp(e.what(), kUnknownMpegAudioFormat) != 0) {
            throw;
        }
        return 0; // no MPEG audio: no frames
    }
    int32_t frames = 0;
    int32_t skippedInARow = 0;
    while (reader.NeedContiguous(4)) {
        TFrameLine line{};
        if (DescribeFrame(reader.Data(), start, line)) {
            if (!reader.NeedContiguous(line.Bytes)) {
                break; // cut off by the end of the file
            }
            PrintFrame(reader.Position(), line);
            ++frames;
            skippedInARow = 0;
            reader.Skip(line.Bytes);
            continue;
        }
        if (skippedInARow == kMaxSkipInARow) {
            break;
        }
        ++skippedInARow;
        reader.Skip(1);
    }
    return frames;
}

} // namespace

int RunFrames(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: tunelo-cli frames FILE\n");
        return 2;
    }
    const std::string path = argv[0];
    std::unique_ptr<TMPFileStream> file;
    try {
        file = std::make_unique<TMPFileStream>(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tunelo-cli: %s\n", Printable(e.what()).c_str()); // the message names the file
        return 1;
    }
    try {
        TMPStreamReader reader(kReaderCapacity);
        reader.Open(file.get(), true);
        const int32_t frames = WalkFrames(reader);
        std::printf("frames %d\n", frames);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "tunelo-cli: standard output: %s\n", std::strerror(errno));
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "tunelo-cli: %s: %s\n", Printable(path).c_str(), Printable(e.what()).c_str());
        return 1;
    }
}

} // namespace tunelo::cli
