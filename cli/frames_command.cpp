// tunelo-cli frames FILE: lists the MPEG audio frames of a file the way the player walks them. After a
// leading ID3v2 tag the first frame is searched in the next 4096 bytes; every later frame must be
// compatible with the first, and a position that is not is passed byte by byte (at most 4096 in a row).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "MP3decdr.h"
#include "MPFileStream.h"
#include "MPStandardTables.h"
#include "MPStreamReader.h"
#include "commands.h"
#include "file_bytes.h"

namespace tunelo::cli {

namespace {

constexpr int32_t kReaderCapacity = 65536;
constexpr int32_t kFirstFrameWindow = 4096;
constexpr int32_t kMaxSkipInARow = 4096;
constexpr int32_t kId3v2HeaderSize = 10;

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

int32_t SamplingRateHz(const TMPHeader& h) {
    const int32_t rate = kSamplingTable50[h.VersionId][h.SamplingIndex] * 50;
    // MPEG-2.5 has no sampling row of its own: its rates are half of the MPEG-2 row.
    return h.VersionId == 0 && h.SyncKind == 2 ? rate / 2 : rate;
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
                4 - h.LayerCode, SamplingRateHz(h), h.Mode, line.Bitrate, line.Bytes);
}

// Skips a leading ID3v2 tag; false when the tag claims more bytes than the file has.
bool SkipLeadingTag(TMPStreamReader& reader) {
    if (!reader.NeedContiguous(kId3v2HeaderSize)) {
        return true;
    }
    const size_t tag = LeadingId3v2Size(reader.Data(), kId3v2HeaderSize);
    return tag == 0 || reader.Skip(static_cast<int32_t>(tag));
}

// Finds the first frame within the next 4096 bytes and leaves the reader at it.
bool FindFirstFrame(TMPStreamReader& reader, TStreamStart& start) {
    reader.FillTo(kFirstFrameWindow);
    const int32_t window = reader.Count() < kFirstFrameWindow ? reader.Count() : kFirstFrameWindow;
    if (window < 4 || !reader.NeedContiguous(window)) {
        return false;
    }
    TMPHeader header{};
    int32_t bitrate = 0;
    int32_t offset = 0;
    const int32_t length = SyncSearch(reader.Data(), window, header, bitrate, offset);
    if (length <= 0) {
        return false;
    }
    std::memcpy(start.First, reader.Data() + offset, 4);
    start.FreeFormatLength = header.BitrateIndex == 0 ? length : 0;
    start.FreeFormatBitrate = header.BitrateIndex == 0 ? bitrate : 0;
    return reader.Skip(offset);
}

int32_t WalkFrames(TMPStreamReader& reader) {
    TStreamStart start{};
    if (!SkipLeadingTag(reader) || !FindFirstFrame(reader, start)) {
        return 0;
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
        std::fprintf(stderr, "tunelo-cli: %s\n", e.what()); // the message names the file
        return 1;
    }
    try {
        TMPStreamReader reader(kReaderCapacity);
        reader.Open(file.get(), true);
        const int32_t frames = WalkFrames(reader);
        std::printf("frames %d\n", frames);
        return 0;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "tunelo-cli: %s: %s\n", path.c_str(), e.what());
        return 1;
    }
}

} // namespace tunelo::cli
