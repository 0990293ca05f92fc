// The transport decisions: play step, double click, end of track.
#include "transport.h"

namespace tunelo {

TPlayDecision TTransport::PlayCurrent(TPlayAction action) {
    const int32_t entry = FOrder.TakeCurrent();
    if (entry < 0) {
        return {};
    }
    return {action, entry};
}

TPlayDecision TTransport::PlayStep(TMP3PlayerStatus status, bool decoding, int32_t selectedRow) {
    if (FOrder.Count() == 0) {
        return {};
    }
    if (status == mpsPaused) {
        return {TPlayAction::Resume, -1};
    }
    if (!decoding && status == mpsPlaying) {
        const int32_t current = FOrder.CurrentEntry();
        if (current >= 0 && selectedRow == current + 1) {
            return {};
        }
        const int32_t position = FOrder.PositionOfEntry(selectedRow - 1);
        if (position < 0) {
            return {};
        }
        FOrder.SetPlayIndex(position);
        return PlayCurrent(TPlayAction::SwitchAndPlay);
    }
    return PlayCurrent(TPlayAction::Play);
}

TPlayDecision TTransport::DoubleClick(TMP3PlayerStatus status, bool decoding, int32_t selectedRow) {
    if (status == mpsStopped) {
        const int32_t position = FOrder.PositionOfEntry(selectedRow - 1);
        if (position >= 0) {
            FOrder.SetPlayIndex(position);
        }
    }
    return PlayStep(status, decoding, selectedRow);
}

TAfterTrack TTransport::EndOfTrack(TMP3EndPlayReason reason, bool decoding) {
    if (reason != meprEndOfStream) {
        return TAfterTrack::Nothing;
    }
    if (decoding) {
        return FOrder.AdvanceForDecode() ? TAfterTrack::PlayStep : TAfterTrack::DecodeComplete;
    }
    return FOrder.EndOfTrack() == TEndOfTrack::Stop ? TAfterTrack::Nothing : TAfterTrack::PlayStep;
}

} // namespace tunelo
