// The frames of an ID3 version 2.2, 2.3 or 2.4 tag, read from the tag's bytes in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mp3_info.h"

namespace tunelo {

struct TId3v2Contents {
    std::vector<TMPInfoList::TEntry> Lines;
    std::vector<TMPPicture> Pictures;
    TMPReplayGain Gain;
};

// Reads the frames of a tag of that major version from body, the bytes behind the 10-byte header up to
// the tag's end (footer excluded), with the header's flags. False when the frames do not fill the tag
// exactly (padding included); what was read is in contents either way.
bool ReadId3v2Frames(uint8_t version, uint8_t flags, std::string_view body, std::string_view codePage,
                     TId3v2Contents& contents);

// Undoes unsynchronisation: every 0xFF 0x00 pair loses its zero byte.
std::string Resynchronised(std::string_view bytes);

} // namespace tunelo
