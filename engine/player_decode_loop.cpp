// The decode loop: one step per pass of the decode thread while its run event is signalled. Each step
// decodes at most one frame and offers its PCM to the wave output once; a full output parks the thread
// until a buffer comes back, and the end of the data flushes the output and reports to the window thread.
#include <cstring>
#include <thread>

#include "errors.h"
#include "pcm_gain.h"
#include "player.h"

namespace tunelo {

namespace {

int32_t PaddingBytes(const TMPHeader& header) {
    return header.PaddingBit ? (header.LayerCode == 3 ? 4 : 1) : 0;
}

} // namespace

int32_t TMP3Player::CheckFrame(const uint8_t* bytes, TMPHeader& header) const {
    return StreamFrameLength(bytes, FStart, header);
}

void TMP3Player::Truncate() {
    FDataLength = FReader.Position() - FDataStart;
}

void TMP3Player::Resync() {
    if (FResyncCount >= kMaxResync) {
        Truncate();
        return;
    }
    FReader.Skip(1);
    ++FResyncCount;
}

bool TMP3Player::DecodeUnderLock(int32_t& freePercent, bool& endOfData) {
    TMPEvent& event = FDecodeThread->Event();
    if (event.WaitFor(0) != WAIT_OBJECT_0) {
        return false;
    }
    if (FSwitchEnded) {
        endOfData = true; // what the output holds plays out; the window thread goes on from there
        return false;
    }
    MP_ASSERT_MSG(FReader.Stream() != nullptr, "TMP3Player.MPMWatchEvent");
    if (FPendingPcm <= 0) {
        if (static_cast<int64_t>(FReader.Position()) - FDataStart >= FDataLength) {
            if (SwitchToNext()) {
                return false; // the next step decodes the next track's first frame
            }
            endOfData = true;
            return false;
        }
        if (FCurrentFrameLength <= 0) {
            if (!FReader.NeedContiguous(4)) {
                Truncate();
                return false;
            }
            FCurrentFrameLength = CheckFrame(FReader.Data(), FFrameHeader);
            if (FCurrentFrameLength <= 0) {
                Resync();
                return false;
            }
        }
        if (FReInitNeeded) {
            const int32_t unpadded = FCurrentFrameLength - PaddingBytes(FFrameHeader);
            if (DecoderSetup(*FDecoderState, FFrameHeader, unpadded, 0, 0, kFrequencyLimit) == 1) {
                FReInitNeeded = false;
                FResyncCount = 0;
            } else {
                FCurrentFrameLength = 0;
                Resync();
                return false;
            }
        }
        if (!FReader.NeedContiguous(FCurrentFrameLength)) {
            Truncate();
            return false;
        }
        uint8_t* pcm = FPcmBuffer.Get();
        const TMPDecodeResult result = DecodeFrame(*FDecoderState, FReader.Data(), pcm);
        FReader.Skip(FCurrentFrameLength);
        FCurrentFrameLength = 0;
        FResyncCount = 0;
        if (result.BytesConsumed < 1) {
            // A frame the decoder refuses plays as one frame of silence.
            std::memset(pcm, 0, static_cast<size_t>(FBytesPerFrame));
        } else {
            ApplyPcmGain(pcm, FBytesPerFrame, FGainFactor);
        }
        FPendingPcm = TrimDecodedFrame(pcm);
        if (FPendingPcm == 0) {
            return false; // the encoder's delay or padding, or what a seek passes over: nothing to hear
        }
    }
    MP_ASSERT(FPendingPcm >= 1);
    TMPLockGuard outputLock(FOutputLock);
    if (FSoundOut.CanWrite()) {
        uint8_t* pcm = FPcmBuffer.Get();
        const int32_t accepted = FSoundOut.Write(pcm, FPendingPcm);
        FPendingPcm -= accepted;
        FWrittenBytes += accepted;
        if (FSwitchPending && AccountPlayedLocked()) {
            FWindow->PostUnlessQueued(MPM_TRACK_SWITCHED);
        }
        if (FPendingPcm > 0 && accepted > 0) {
            std::memmove(pcm, pcm + accepted, static_cast<size_t>(FPendingPcm));
        }
    } else {
        // Sleep until the output has room: the wave output signals the run event when a buffer is free.
        event.Reset();
        FSoundOut.SetWaiter(&event);
    }
    freePercent = FSoundOut.FreePercent();
    return true;
}

int32_t TMP3Player::TrimDecodedFrame(uint8_t* pcm) {
    const int64_t frameStart = FNextFrameSample;
    FNextFrameSample += FFrameSamples;
    const TMPFramePart part = HeardPartOfFrame(frameStart, FFrameSamples, FHeardFrom, FHeard.End);
    const int32_t bytesPerSample = FBytesPerFrame / FFrameSamples;
    if (part.First > 0 && part.Count > 0) {
        std::memmove(pcm, pcm + part.First * bytesPerSample,
                     static_cast<size_t>(part.Count * bytesPerSample));
    }
    return part.Count * bytesPerSample;
}

void TMP3Player::MPMWatchEvent() {
    int32_t freePercent = 0;
    bool endOfData = false;
    bool handedOver = false;
    {
        TMPLockGuard decoderLock(FDecoderLock);
        handedOver = DecodeUnderLock(freePercent, endOfData);
    }
    if (endOfData) {
        FinishEndOfData();
        return;
    }
    if (!handedOver) {
        return;
    }
    // While every output buffer is queued, fill the reader ahead of need.
    while (freePercent == 0) {
        {
            TMPLockGuard decoderLock(FDecoderLock);
            if (FDecodeThread->Event().WaitFor(0) != WAIT_OBJECT_0 || !FReader.ReadAhead()) {
                break;
            }
        }
        TMPLockGuard outputLock(FOutputLock);
        freePercent = FSoundOut.FreePercent();
    }
    if (freePercent <= 25) {
        std::this_thread::yield();
    }
}

void TMP3Player::FinishEndOfData() {
    {
        TMPLockGuard decoderLock(FDecoderLock);
        TMPLockGuard outputLock(FOutputLock);
        if (FDecodeThread->Event().WaitFor(0) != WAIT_OBJECT_0) {
            return;
        }
        FSoundOut.SetWaiter(nullptr);
        FSoundOut.Flush();
    }
    // Waited for without the decoder lock: on a paused device this wait lasts until the window thread
    // resumes, stops or seeks, and those need the lock. A stop or seek resets the device, which ends the
    // wait; what the step then finds decides whether the data has really ended.
    FSoundOut.WaitAllDone();
    TMPLockGuard decoderLock(FDecoderLock);
    TMPEvent& event = FDecodeThread->Event();
    // A track prepared while the output played out is switched to by the next step.
    if (event.WaitFor(0) != WAIT_OBJECT_0 || FPendingPcm > 0 || (FNextStream && !FSwitchEnded) ||
        (!FSwitchEnded && static_cast<int64_t>(FReader.Position()) - FDataStart < FDataLength)) {
        return;
    }
    {
        // Buffers also come back when the device broke before playing them: that is no end of the music.
        TMPLockGuard outputLock(FOutputLock);
        FSoundOut.CheckDevice();
        if (FAwaitingTrackChange) {
            // Everything has played, the track change too: once the window thread has reported it (and
            // perhaps prepared another track) it wakes this loop, which then switches or ends.
            AccountPlayedLocked();
            event.Reset();
            FWindow->PostUnlessQueued(MPM_TRACK_SWITCHED);
            return;
        }
        FSoundOut.FinishFile();
    }
    event.Reset();
    FWindow->Post(MPM_END_OF_DATA, FPlayGeneration.load());
}

} // namespace tunelo
