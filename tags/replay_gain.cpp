#include "replay_gain.h"

#include <cmath>

namespace tunelo {

double ReplayGainFactor(const TMPReplayGain& gain, TMPReplayGainMode mode, double preampDb, bool albumRun) {
    if (mode == rgmOff) {
        return 1.0;
    }
    if (mode == rgmAuto) {
        mode = albumRun ? rgmAlbum : rgmTrack;
    }
    // A file that lacks the chosen figure plays by the other one, and by the pre-amp alone without either.
    const bool album = gain.HasAlbumGain && (mode == rgmAlbum || !gain.HasTrackGain);
    const bool track = !album && gain.HasTrackGain;
    double decibels = preampDb;
    double peak = 0;
    if (album) {
        decibels += gain.AlbumGain;
        peak = gain.AlbumPeak;
    } else if (track) {
        decibels += gain.TrackGain;
        peak = gain.TrackPeak;
    }
    double factor = std::pow(10.0, decibels / 20.0);
    // A peak of 0 is unknown; with a known one the loudest sample stays within full scale.
    if (peak > 0 && factor * peak > 1.0) {
        factor = 1.0 / peak;
    }
    return factor;
}

bool InAlbumRun(std::string_view album, std::string_view before, std::string_view after) {
    return !album.empty() && (album == before || album == after);
}

bool ReplayGainModeFromName(std::string_view name, TMPReplayGainMode& mode) {
    for (TMPReplayGainMode candidate : {rgmOff, rgmTrack, rgmAlbum, rgmAuto}) {
        if (name == ReplayGainModeName(candidate)) {
            mode = candidate;
            return true;
        }
    }
    return false;
}

const char* ReplayGainModeName(TMPReplayGainMode mode) {
    switch (mode) {
    case rgmTrack:
        return "track";
    case rgmAlbum:
        return "album";
    case rgmAuto:
        return "auto";
    default:
        return "off";
    }
}

} // namespace tunelo
