// The ReplayGain fields of the LAME tag, which lame writes into the first (silent) frame of the audio
// data behind a "Xing" or "Info" header.

#include "lame_tag.h"
#include "mp3_info.h"
#include "tag_bytes.h"

namespace tunelo {

using namespace tagbytes;

namespace {

// Offset of the Xing header in a Layer III frame: behind the header, the CRC and the side information.
int32_t XingOffset(const uint8_t* header) {
    const bool mpeg1 = (header[1] & 0x18) == 0x18;
    const bool mono = (header[3] & 0xC0) == 0xC0;
    const bool crc = (header[1] & 0x01) == 0;
    const int32_t sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return 4 + (crc ? 2 : 0) + sideInfo;
}

// A gain field of the tag as the tag reader's figures; an unset one or one nobody set is left out.
void TakeGain(const TMPLameGain& field, double peak, TMPReplayGain& gain) {
    if (!field.Present() || field.Originator == 0) {
        return;
    }
    const double decibels = field.TenthsDb / 10.0;
    if (field.Name == 1) {
        gain.HasTrackGain = true;
        gain.TrackGain = decibels;
        gain.TrackPeak = peak;
    } else if (field.Name == 2) {
        gain.HasAlbumGain = true;
        gain.AlbumGain = decibels;
        gain.AlbumPeak = peak;
    }
}

} // namespace

void TMP3Info::ReadLameGain() {
    TMPStreamReader& reader = *FReader;
    if (!Need(reader, 4)) {
        return;
    }
    const uint8_t* header = reader.Data();
    const bool layer3 = (header[1] & 0x06) == 0x02;
    if (header[0] != 0xFF || (header[1] & 0xE0) != 0xE0 || !layer3) {
        return;
    }
    const int32_t xing = XingOffset(header);
    if (!Need(reader, xing + 8)) {
        return;
    }
    const uint8_t* frame = reader.Data();
    if (!HasId(frame + xing, "Xing") && !HasId(frame + xing, "Info")) {
        return;
    }
    // The tag and its CRC lie within the Xing fields' largest extent (with the table of contents).
    constexpr int32_t kLargestTagEnd = 8 + 4 + 4 + 100 + 4 + kLameTagSize;
    // A short file may end before that; NeedContiguous then leaves all that is left in Linear.
    const int32_t available = Need(reader, xing + kLargestTagEnd) ? xing + kLargestTagEnd : reader.Linear();
    TMPLameTag tag;
    if (!ReadLameTag(reader.Data(), available, xing, tag)) {
        return;
    }
    TakeGain(tag.TrackGain, tag.Peak, FLameGain);
    TakeGain(tag.AlbumGain, tag.Peak, FLameGain);
}

} // namespace tunelo
