// ReplayGain in the player: the factor for the open file's samples follows the mode and the pre-amp.
#include <cmath>

#include "player.h"

namespace tunelo {

void TMP3Player::SetReplayGainMode(TMPReplayGainMode value) {
    TMPLockGuard decoderLock(FDecoderLock);
    FReplayGainMode = value;
    UpdateGainFactorLocked();
}

void TMP3Player::SetReplayGainPreamp(double decibels) {
    if (!std::isfinite(decibels)) {
        return;
    }
    TMPLockGuard decoderLock(FDecoderLock);
    FReplayGainPreamp = decibels;
    UpdateGainFactorLocked();
}

void TMP3Player::SetAlbumRun(bool value) {
    TMPLockGuard decoderLock(FDecoderLock);
    FAlbumRun = value;
    UpdateGainFactorLocked();
}

void TMP3Player::SetNextAlbumRun(bool value) {
    TMPLockGuard decoderLock(FDecoderLock);
    FNextAlbumRun = value;
}

void TMP3Player::UpdateGainFactorLocked() {
    FGainFactor = ReplayGainFactor(FInfo.ReplayGain(), FReplayGainMode, FReplayGainPreamp, FAlbumRun);
}

} // namespace tunelo
