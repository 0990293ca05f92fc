#include "replay_gain_items.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "tag_bytes.h"

namespace tunelo {

using tagbytes::SameIgnoringCase;

namespace {

// "-6.02 dB", "+1.5 dB", "0.988"; false when no number leads the text.
bool ParseNumber(std::string_view text, double& value) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end != text.data() && std::isfinite(value);
}

} // namespace

void TakeReplayGainItem(std::string_view name, std::string_view value, TMPReplayGain& gain) {
    double number = 0;
    if (!ParseNumber(value, number)) {
        return;
    }
    if (SameIgnoringCase(name, "REPLAYGAIN_TRACK_GAIN")) {
        gain.TrackGain = number;
        gain.HasTrackGain = true;
    } else if (SameIgnoringCase(name, "REPLAYGAIN_TRACK_PEAK")) {
        gain.TrackPeak = std::max(0.0, number);
    } else if (SameIgnoringCase(name, "REPLAYGAIN_ALBUM_GAIN")) {
        gain.AlbumGain = number;
        gain.HasAlbumGain = true;
    } else if (SameIgnoringCase(name, "REPLAYGAIN_ALBUM_PEAK")) {
        gain.AlbumPeak = std::max(0.0, number);
    }
}

} // namespace tunelo
