// The ReplayGain fields of the LAME tag, which lame writes into the first (silent) frame of the audio
// data behind a "Xing" or "Info" header.
#include <cmath>

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

// One 16-bit gain field: name code (1 track, 2 album), originator, sign and tenths of a dB.
void TakeGainField(const uint8_t* field, TMPReplayGain& gain, double peak) {
    const int word = (field[0] << 8) | field[1];
    const int name = word >> 13;
    const int originator = (word >> 10) & 0x7;
    if (originator == 0) {
        return;
    }
    const double decibels = ((word & 0x200) != 0 ? -1 : 1) * (word & 0x1FF) / 10.0;
    if (name == 1) {
        gain.HasTrackGain = true;
        gain.TrackGain = decibels;
        gain.TrackPeak = peak;
    } else if (name == 2) {
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
    const int32_t flags = BigEndian32(frame + xing + 4);
    const int32_t lame = xing + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) +
                         ((flags & 8) ? 4 : 0);
    constexpr int32_t kLameFieldsSize = 19; // encoder (9), revision, lowpass, peak (4), two gains (4)
    if (!Need(reader, lame + kLameFieldsSize)) {
        return;
    }
    const uint8_t* fields = reader.Data() + lame;
    if (!HasId(fields, "LAME")) {
        return;
    }
    // Fixed point with 1.0 at 2^23; lame leaves it 0 unless asked to find the peak.
    const double peak = static_cast<uint32_t>(BigEndian32(fields + 11)) / std::ldexp(1.0, 23);
    TakeGainField(fields + 15, FLameGain, peak);
    TakeGainField(fields + 17, FLameGain, peak);
}

} // namespace tunelo
