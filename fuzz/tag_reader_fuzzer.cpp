// The tag reader alone: head scan, tail scan and every getter over arbitrary bytes held in memory and
// read through a stream reader, the way the player opens a source.
//
// Input layout: byte 0 bits 0-1 choose the reader's look-ahead (the player's 64 KiB or smaller ones, so
// that short inputs reach the paths for structures larger than it), bit 2 makes the source unseekable,
// bits 3-7 are the NeedInfoType set, and bit 7 (Lyrics3, which selects no getter's source) also reads
// undeclared text as Shift-JIS, a multi-byte code page; the rest is the source.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "file_stream.h"
#include "mp3_info.h"
#include "stream_reader.h"

namespace {

using namespace tunelo;

constexpr int32_t kCapacities[4] = {65536, 16384, 4096, 1024};

void Consume(const std::string& text) {
    // Getters hand out UTF-8; touching every byte lets AddressSanitizer check the whole string.
    volatile uint8_t sink = 0;
    for (char c : text) {
        sink = static_cast<uint8_t>(sink ^ static_cast<uint8_t>(c));
    }
}

void ConsumeList(const TMPInfoList& list) {
    for (int32_t i = 0; i < list.Count(); ++i) {
        Consume(list.Line(i));
        Consume(list.ValueOf(list[i].Name));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const int32_t capacity = kCapacities[data[0] & 3];
    const bool seekable = (data[0] & 4) == 0;
    TMPMemoryStream memory(std::vector<uint8_t>(data + 1, data + size));
    TMPNonSeekableStream pipe(memory);
    TMPStreamReader reader(capacity);
    reader.Open(seekable ? static_cast<TMPSourceStream*>(&memory) : &pipe, seekable);

    TMP3Info info;
    info.SetNeedInfoType(TMP3InfoType::FromBits(static_cast<uint8_t>(data[0] >> 3)));
    if ((data[0] & 0x80) != 0) {
        info.SetLegacyCodePage("SHIFT_JIS");
    }
    info.Attach(&reader);
    info.ReadHead();
    if (seekable) {
        info.ReadTail();
    }
    const int64_t sourceSize = static_cast<int64_t>(size - 1);
    if (info.DataStart() < 0 || (seekable && info.DataStart() > sourceSize)) {
        std::abort(); // the audio data must start inside the source
    }
    if (info.DataLength() < 0) {
        std::abort();
    }
    if (seekable && int64_t{info.DataStart()} + info.DataLength() > sourceSize) {
        std::abort(); // nor end beyond it
    }
    const TMPPicture& picture = info.Picture();
    if (static_cast<int64_t>(picture.Data.size()) > kMaxPictureBytes) {
        std::abort(); // the bound on what a tag may make the reader hold
    }
    Consume(picture.Mime);
    Consume(picture.Data);
    const TMPReplayGain gain = info.ReplayGain();
    if (!std::isfinite(gain.TrackGain) || !std::isfinite(gain.AlbumGain) || gain.TrackPeak < 0 ||
        gain.AlbumPeak < 0) {
        std::abort();
    }
    if (seekable) {
        reader.Seek(info.DataStart(), soFromBeginning); // where the player starts decoding
    }
    Consume(info.Title());
    Consume(info.Artist());
    Consume(info.Album());
    Consume(info.Year());
    Consume(info.Comment());
    Consume(info.Genre());
    Consume(info.Track());
    Consume(info.TrackTotal());
    Consume(info.Disc());
    Consume(info.DiscTotal());
    Consume(info.AlbumArtist());
    Consume(info.Composer());
    ConsumeList(info.ID3V1Tags());
    ConsumeList(info.ID3V2Frames());
    ConsumeList(info.RiffInfo());
    ConsumeList(info.LyricsFields());
    ConsumeList(info.ApeItems());
    return 0;
}
