// Playing one track after another without a gap: the caller prepares the next file while the current one
// plays; at the end of the current data the decode thread opens it in its place and goes on writing to
// the same open device. The listener still hears the end of the current track for as long as the output
// holds, so the track change is reported to the window thread only once the device has played up to the
// switch.
#include "errors.h"
#include "player.h"

namespace tunelo {

void TMP3Player::SetNextFileName(const std::string& fileName) {
    if (fileName.empty()) {
        CancelNext();
        return;
    }
    // Decoding to WAV files writes a file per track. Preparing before Play leaves no chance for a short
    // first track to end before the next one is there.
    if (!IsOpen() || !FWavOutputName.empty()) {
        return;
    }
    {
        // The decode thread has moved on to a track the window thread has not yet been told of: what
        // follows is asked for again when it has been (OnTrackChange).
        TMPLockGuard lock(FDecoderLock);
        if (!FSwitchedFileName.empty()) {
            return;
        }
    }
    // Raises when the file cannot be opened, before anything changes.
    std::unique_ptr<TMPSourceStream> stream = std::make_unique<TMPFileStream>(fileName);
    TMPLockGuard lock(FDecoderLock);
    FNextStream = std::move(stream);
    FNextFileName = fileName;
}

void TMP3Player::CancelNext() {
    TMPLockGuard lock(FDecoderLock);
    FNextStream.reset();
    FNextFileName.clear();
}

std::string TMP3Player::NextFileName() {
    TMPLockGuard lock(FDecoderLock);
    return FNextFileName;
}

bool TMP3Player::SwitchToNext() {
    if (!FNextStream) {
        return false;
    }
    int64_t played = 0;
    int64_t written = 0;
    int32_t position = 0;
    {
        TMPLockGuard outputLock(FOutputLock);
        // One switch at a time: the window thread has not yet been told of the last one.
        if (FSwitchPending || FSwitchHeard) {
            return false;
        }
        played = FPlayedBytes;
        written = FWrittenBytes;
        position = FPosition;
    }
    const int32_t sampleRate = FSampleRate;
    const int32_t channels = FChannels;
    const int32_t duration = DurationLocked();

    FReader.Close();
    if ((FStreamFlags & kStreamOwned) != 0) {
        delete FStream;
    }
    FStream = FNextStream.release();
    FStreamFlags = kStreamSeekable | kStreamOwned;
    FSwitchedFileName = std::move(FNextFileName);
    FNextFileName.clear();
    FAlbumRun = FNextAlbumRun;
    bool opened = true;
    try {
        OpenStreamUnderLock();
    } catch (const std::exception&) {
        // The caller opens it by name once this play has ended, and shows why it cannot be played.
        opened = false;
    }
    TMPLockGuard outputLock(FOutputLock);
    // Opening reset the play state of the track still being heard.
    FPlayedBytes = played;
    FPosition = position;
    if (!opened || sampleRate != FSampleRate || channels != FChannels) {
        // The device plays on in the current track's format until this play has ended.
        FSoundOut.SetSamplesPerSec(sampleRate);
        FSoundOut.SetChannels(channels);
        FSwitchEnded = true;
        return false;
    }
    FSwitchPending = true;
    FAwaitingTrackChange = true;
    FSwitchAt = written;
    FWrittenBytes = 0;
    FDurationBeforeSwitch = duration;
    FWindow->PostUnlessQueued(MPM_TRACK_SWITCHED);
    RequestEqualizer();
    return true;
}

void TMP3Player::CheckTrackChange() {
    Position();
    {
        TMPLockGuard outputLock(FOutputLock);
        if (!FSwitchHeard) {
            return;
        }
        FSwitchHeard = false;
    }
    bool wasAwaiting = false;
    {
        TMPLockGuard decoderLock(FDecoderLock);
        FFileName = FSwitchedFileName;
        FSwitchedFileName.clear();
        wasAwaiting = FAwaitingTrackChange;
    }
    if (!FDestroying && OnTrackChange) {
        OnTrackChange(*this);
    }
    {
        // Only now: a decode thread that reaches the end of the data while the handler prepares what
        // follows must wait for it rather than take "nothing prepared" for the end of the album. A switch
        // the handler's preparation already led to is awaited in its turn.
        TMPLockGuard decoderLock(FDecoderLock);
        if (FSwitchedFileName.empty()) {
            FAwaitingTrackChange = false;
        } else {
            wasAwaiting = false;
        }
    }
    // The decode thread may be waiting at the end of the new track's data for what comes after it (which
    // the handler may just have prepared).
    if (wasAwaiting && (FStatus == mpsPlaying || FStatus == mpsPaused)) {
        TMPLockGuard decoderLock(FDecoderLock);
        FDecodeThread->Event().Signal();
    }
}

} // namespace tunelo
