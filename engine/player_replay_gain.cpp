// ReplayGain in the player: the factor for the open file's samples follows the mode and the pre-amp.
#include <cmath>

#include "player.h"

namespace tunelo {

void TMP3Player::SetReplayGainMode(TMPReplayGainMode value) {
    TMPLockGuard decoderLock(FDecoderLock);
    FReplayGainMode = value;
    FGainFactor = ReplayGainFactor(FInfo.ReplayGain(), FReplayGainMode, FReplayGainPreamp);
}

void TMP3Player::SetReplayGainPreamp(double decibels) {
    if (!std::isfinite(decibels)) {
        return;
    }
    TMPLockGuard decoderLock(FDecoderLock);
    FReplayGainPreamp = decibels;
    FGainFactor = ReplayGainFactor(FInfo.ReplayGain(), FReplayGainMode, FReplayGainPreamp);
}

} // namespace tunelo
