// How the player's worker threads report to the window thread: the hidden window's messages (position,
// worker error, end of data, status, end of play, equalizer) and the handlers that post them.
//
// No worker thread ever waits for the window thread. The window thread waits for workers while it stops or
// seeks (the wave output's Reset, Close and WaitAllDone, the decoder lock); a worker that waited in turn
// for the window thread to show its error would hang both. So a worker's error is queued with the play it
// belongs to, the window is told by a plain post, and the worker goes on at once: the decode thread first
// stops its own loop, the wave output drops the rest of a failed file by itself.
#include "errors.h"
#include "player.h"

namespace tunelo {

void TMP3Player::TDecodeTarget::Dispatch(TMPMessage& message) {
    if (message.Msg == MPM_WATCH_EVENT) {
        FPlayer.MPMWatchEvent();
    }
}

void TMP3Player::Dispatch(TMPMessage& message) {
    // A handler's error has no caller to go to: it is shown like any other error of the window thread.
    try {
        HandleMessage(message);
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TMP3Player::HandleMessage(TMPMessage& message) {
    switch (message.Msg) {
    case MPM_CHANGE_POSITION:
        HandleChangePosition();
        break;
    case MPM_THREAD_ERROR:
        HandleThreadError();
        break;
    case MPM_END_OF_DATA:
        HandleEndOfData(static_cast<uint32_t>(message.WParam));
        break;
    case MPM_CHANGE_STATUS:
        FWindow->RemoveQueued(MPM_CHANGE_STATUS);
        DoChangeStatus();
        break;
    case MPM_END_PLAY:
        FWindow->RemoveQueued(MPM_END_PLAY);
        DoEndPlay();
        break;
    case MPM_TRACK_SWITCHED:
        FWindow->RemoveQueued(MPM_TRACK_SWITCHED);
        CheckTrackChange();
        break;
    case MPM_EQUALIZER_CHANGED:
        FWindow->RemoveQueued(MPM_EQUALIZER_CHANGED);
        if (IsOpen()) {
            ApplyEqualizer();
        }
        break;
    case WM_DESTROY:
    case WM_ENDSESSION:
        Close();
        break;
    default:
        break;
    }
}

void TMP3Player::HandleChangePosition() {
    // Let the rest of the application catch up first; a report that arrives while doing so is folded into
    // this one instead of pumping again.
    if (!FPumping) {
        FPumping = true;
        try {
            ApplicationProcessMessages();
        } catch (...) {
            FPumping = false;
            throw;
        }
        FPumping = false;
    }
    FWindow->RemoveQueued(MPM_CHANGE_POSITION);
    CheckTrackChange();
    DoChangePosition();
}

void TMP3Player::HandleThreadError() {
    std::deque<TWorkerError> errors;
    {
        std::lock_guard lock(FWorkerErrorsLock);
        errors.swap(FWorkerErrors);
    }
    for (const TWorkerError& error : errors) {
        try {
            std::rethrow_exception(error.Error);
        } catch (const std::exception& thrown) {
            ShowException(thrown);
        }
        // An error of a play that has already ended (stopped by the user meanwhile) ends nothing more.
        if (error.Generation == FPlayGeneration.load() && (FStatus == mpsPlaying || FStatus == mpsPaused)) {
            FEndPlayReason = meprError;
            Stop();
        }
    }
}

void TMP3Player::HandleEndOfData(uint32_t generation) {
    // The play may have been stopped, or stopped and started again, after the decode thread reported.
    if (generation != FPlayGeneration.load() || (FStatus != mpsPlaying && FStatus != mpsPaused)) {
        return;
    }
    // A track change the output reached on its last buffers comes first.
    CheckTrackChange();
    bool switchEnded = false;
    {
        TMPLockGuard lock(FDecoderLock);
        switchEnded = FSwitchEnded;
    }
    FEndPlayReason = meprEndOfStream;
    // The open stream is no longer the file FileName names (the next one, or none that could be read):
    // the caller opens the next file by name, as at the end of any track.
    if (switchEnded) {
        Close();
    } else if (Seekable()) {
        Stop();
    } else {
        Close();
    }
}

void TMP3Player::HandleWorkerError(const std::exception& error, bool& handled, bool fromDecodeThread) {
    if (fromDecodeThread) {
        // The step would meet the same error again at once; the loop waits for the window thread's Stop.
        FDecodeThread->Event().Reset();
    }
    {
        std::lock_guard lock(FWorkerErrorsLock);
        // Called inside the worker's catch block: the exception in flight is the one reported.
        std::exception_ptr thrown = std::current_exception();
        if (!thrown) {
            thrown = std::make_exception_ptr(EMPError(error.what()));
        }
        FWorkerErrors.push_back({thrown, FPlayGeneration.load()});
    }
    FWindow->Post(MPM_THREAD_ERROR);
    handled = true;
}

void TMP3Player::PositionHandler() {
    FWindow->Post(MPM_CHANGE_POSITION);
}

TSoundOut::TNotifyEvent TMP3Player::ProgressHandler() {
    return [this](TSoundOut&) { PositionHandler(); };
}

} // namespace tunelo
