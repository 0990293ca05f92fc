// Seeking to a time through the list of known frame positions (walking the file frame by frame beyond
// the last known one), and the play position.
#include <algorithm>

#include "errors.h"
#include "player.h"

namespace tunelo {

namespace {

// Garbage bytes a seek walk passes over between two frames.
constexpr int32_t kMaxWalkSkip = 4095;

} // namespace

bool TMP3Player::WalkFrame() {
    int32_t skipped = 0;
    int32_t length = 0;
    for (;;) {
        if (!FReader.NeedContiguous(4)) {
            return false;
        }
        TMPHeader header{};
        length = CheckFrame(FReader.Data(), header);
        if (length > 0) {
            break;
        }
        FReader.Skip(1);
        if (++skipped > kMaxWalkSkip) {
            return false;
        }
    }
    if (static_cast<int64_t>(FReader.Position()) + length > static_cast<int64_t>(FDataStart) + FDataLength) {
        return false;
    }
    return FReader.Skip(length);
}

void TMP3Player::Seek(int32_t ms) {
    if (!IsOpen() || ms < 0 || (FStatus != mpsPlaying && FStatus != mpsPaused) || !FWavOutputName.empty()) {
        return;
    }
    MP_ASSERT(Seekable());
    {
        TMPLockGuard decoderLock(FDecoderLock);
        TMPLockGuard outputLock(FOutputLock);
        FSoundOut.SetOnProgress(nullptr);
        const bool paused = FStatus == mpsPaused;
        FSoundOut.Reset();
        FSoundOut.WaitAllDone();
        // A seek in the last moments of a track after the decode thread moved on goes into the next one:
        // the track change is reported at once. A prepared track is dropped.
        FSwitchHeard = FSwitchHeard || FSwitchPending;
        FNextStream.reset();
        FNextFileName.clear();
        ResetPlayState();
        if (!FNoisySeek) {
            FReInitNeeded = true;
        }

        // Without the encoder's delay the seek lands on the next frame boundary; with it, on the very
        // sample, counted from the first one heard.
        const int64_t target = static_cast<int64_t>(ms) * FSampleRate / 1000 + FHeard.Begin;
        const int64_t bytes = static_cast<int64_t>(ms) * FSampleRate * FChannels * 2 / 1000;
        const int64_t frame =
            FEncoderGap.Known ? target / FFrameSamples : (bytes + FBytesPerFrame - 1) / FBytesPerFrame;
        const int32_t wanted = static_cast<int32_t>(std::min<int64_t>(frame, INT32_MAX));
        int32_t index = wanted;
        {
            TMPLockGuard positionsLock(FFramePositionsLock);
            auto count = [this] { return static_cast<int32_t>(FFramePositions.size()); };
            if (index >= count()) {
                FReader.Seek(FFramePositions.back(), soFromBeginning);
                if (WalkFrame()) {
                    while (index >= count()) {
                        const int64_t position = FReader.Position();
                        if (!WalkFrame()) {
                            index = count() - 1;
                            break;
                        }
                        FFramePositions.push_back(position);
                    }
                } else {
                    index = count() - 1;
                }
            }
            FReader.Seek(FFramePositions[static_cast<size_t>(index)], soFromBeginning);
            FNextFrameSample = static_cast<int64_t>(index) * FFrameSamples;
            FHeardFrom = FEncoderGap.Known && index == wanted ? target : FNextFrameSample;
            FHeardFrom = std::clamp(FHeardFrom, FHeard.Begin, std::max(FHeard.Begin, FHeard.End));
            FPlayedBytes = (FHeardFrom - FHeard.Begin) * (FBytesPerFrame / FFrameSamples);
            FWrittenBytes = FPlayedBytes;
        }
        if (paused) {
            FSoundOut.Pause();
        }
        FSoundOut.SetOnProgress(ProgressHandler());
    }
    RequestPosition();
}

bool TMP3Player::AccountPlayedLocked() {
    if (!FSoundOut.Active()) {
        return false;
    }
    FPlayedBytes += FSoundOut.GetDoneBytes();
    if (FSwitchPending && FPlayedBytes >= FSwitchAt) {
        // The device has played the last of the previous track: the next one is being heard.
        FPlayedBytes -= FSwitchAt;
        FSwitchPending = false;
        FSwitchHeard = true;
        return true;
    }
    return false;
}

int32_t TMP3Player::Position() {
    TMPLockGuard lock(FOutputLock);
    if (FSoundOut.Active()) {
        AccountPlayedLocked();
        const int64_t bitsPerSecond =
            int64_t{FSoundOut.SamplesPerSec()} * FSoundOut.Channels() * FSoundOut.BitsPerSample();
        if (bitsPerSecond > 0) {
            FPosition = static_cast<int32_t>(
                std::clamp<int64_t>(FPlayedBytes * 1000 * 8 / bitsPerSecond, 0, INT32_MAX));
        }
    }
    return FPosition;
}

} // namespace tunelo
