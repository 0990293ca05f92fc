// The player component's life, properties and transport control: play, pause, resume, stop, close.
#include <algorithm>

#include "errors.h"
#include "player.h"

namespace tunelo {

TMP3Player::TMP3Player() : FDecoderState(std::make_unique<TMPDecoderState>()) {
    TMPMessageTarget& windowTarget = *this;
    FWindow = std::make_unique<TMPMessageWindow>(windowTarget);
    FSoundOut.SetProgressInterval(FChangePosStep);
    FSoundOut.SetOnException([this](TSoundOut&, const std::exception& error, bool& handled) {
        HandleWorkerError(error, handled, false);
    });
    FSoundOut.SetOnProgress(ProgressHandler());
    FDecodeThread = std::make_unique<TMPLoopThread>(FDecodeTarget);
    FDecodeThread->OnException = [this](TMPLoopThread&, const std::exception& error, bool& handled) {
        HandleWorkerError(error, handled, true);
    };
    FDecodeThread->Resume();
}

TMP3Player::~TMP3Player() {
    FDestroying = true;
    try {
        Stop();
    } catch (...) {
        // Nobody is left to tell; closing below releases the file all the same.
    }
    try {
        Close();
    } catch (...) {
    }
    // The decode thread uses the wave output and posts to the window: it ends first (while the pointer to
    // it is still valid for its last pass). The output thread ends with the wave output, a member that
    // goes before the window (with whatever is still queued for it).
    if (FDecodeThread->Handle() != 0) {
        FDecodeThread->Quit();
        FDecodeThread->Ended().WaitFor(INFINITE);
    }
    FSoundOut.SetWaiter(nullptr);
    FSoundOut.SetOnProgress(nullptr);
    FSoundOut.SetOnException(nullptr);
    FDecodeThread.reset();
}

// ---- Loading phase and properties ----

void TMP3Player::Loaded() {
    FLoading = false;
    if (FEqualizerMode == memFreq) {
        SetFrequencyBands(60, 16000);
    }
    if (FAutoOpen && !FFileName.empty()) {
        OpenFile();
    }
}

void TMP3Player::SetAutoOpen(bool value) {
    FAutoOpen = value;
    if (value && !FLoading) {
        OpenFile();
    }
}

void TMP3Player::SetAutoPlay(bool value) {
    FAutoPlay = value;
    if (value && IsOpen() && FStatus == mpsStopped) {
        Play();
    }
}

void TMP3Player::SetChangePosStep(int32_t value) {
    if (value < 100) {
        return;
    }
    FChangePosStep = value;
    TMPLockGuard lock(FOutputLock);
    FSoundOut.SetProgressInterval(value);
}

void TMP3Player::SetDecodePriority(TThreadPriority value) {
    FDecodePriority = value;
    FDecodeThread->SetPriority(SystemThreadPriority(value));
}

void TMP3Player::SetFileName(const std::string& value) {
    FFileName = value;
    if (FAutoOpen && !FLoading) {
        OpenFile();
    }
}

bool TMP3Player::InvertPolarity() {
    TMPLockGuard lock(FDecoderLock);
    return GetPolarity(*FDecoderState);
}

void TMP3Player::SetInvertPolarity(bool value) {
    TMPLockGuard lock(FDecoderLock);
    SetPolarity(*FDecoderState, value);
}

void TMP3Player::SetUsingCpuCapabilities(TMP3CpuCapabilities value) {
    const TMP3CpuCapabilities present = CapabilitiesFromWord(DetectCapabilities());
    FUsingCpuCapabilities.Bits = static_cast<uint8_t>(value.Bits & present.Bits);
}

void TMP3Player::SetVolBalance(int32_t value) {
    if (value < -100 || value > 100) {
        return;
    }
    FVolBalance = value;
    TMPLockGuard lock(FOutputLock);
    FSoundOut.SetBalance(value);
}

void TMP3Player::SetVolume(int32_t value) {
    if (value < 0 || value > 100) {
        return;
    }
    TMPLockGuard lock(FOutputLock);
    // A stored 0 would start the program muted; the system's own volume is kept instead.
    if (value == 0 && FLoading) {
        value = FSoundOut.Volume();
    }
    FVolume = value;
    FSoundOut.SetVolume(value);
}

// ---- Tags ----

std::string TMP3Player::Title() const {
    std::string title = FInfo.Title();
    if (title.empty()) {
        const size_t slash = FFileName.find_last_of('/');
        title = slash == std::string::npos ? FFileName : FFileName.substr(slash + 1);
    }
    return title;
}

// ---- Status ----

void TMP3Player::SetStatus(TMP3PlayerStatus status) {
    const bool ended = IsOpen() && (FStatus == mpsPlaying || FStatus == mpsPaused) && status == mpsStopped;
    FStatus = status;
    if (ended) {
        // Taken now, so that whatever happens before the report is handled (a new Play resets the reason)
        // cannot change what this end is reported as.
        FReportedEndPlayReason = FEndPlayReason;
        FEndPlayReason = meprStopped;
    }
    FWindow->PostUnlessQueued(MPM_CHANGE_STATUS);
    if (ended) {
        FWindow->PostUnlessQueued(MPM_END_PLAY);
    }
}

void TMP3Player::RequestPosition() {
    FWindow->PostUnlessQueued(MPM_CHANGE_POSITION);
}

void TMP3Player::DoChangeStatus() {
    if (!FDestroying && OnChangeStatus) {
        OnChangeStatus(*this);
    }
}

void TMP3Player::DoChangePosition() {
    if (!FDestroying && OnChangePosition) {
        OnChangePosition(*this);
    }
}

void TMP3Player::DoEndPlay() {
    const TMP3EndPlayReason reason = FReportedEndPlayReason;
    FReportedEndPlayReason = meprStopped;
    if (!FDestroying && OnEndPlay) {
        OnEndPlay(*this, reason);
    }
}

// ---- Transport ----

void TMP3Player::Play() {
    if (!IsOpen() || FStatus != mpsStopped) {
        return;
    }
    try {
        {
            // The processor features the user allows, as far as this processor has them.
            const uint32_t detected = DetectCapabilities();
            const uint32_t word =
                detected & (~uint32_t{kCapSetBits} | WordFromCapabilities(FUsingCpuCapabilities));
            TMPLockGuard lock(FDecoderLock);
            SelectRoutines(FDecoderState->Routines, word);
        }
        // The first frame is shaped as the equalizer stands now, not only once the window thread gets to
        // the change: unshaped first frames would be heard, and would be louder than the headroom allows.
        if (FWindow->RemoveQueued(MPM_EQUALIZER_CHANGED) > 0) {
            ApplyEqualizer();
        }
        {
            TMPLockGuard lock(FOutputLock);
            FSoundOut.SetOnProgress(ProgressHandler());
            FSoundOut.SetFileName(FWavOutputName);
            FSoundOut.SetDeviceId(FOutputDevice);
            FSoundOut.SetMediaInfo(Title(), Artist());
            FSoundOut.Open();
        }
        FPlayGeneration.fetch_add(1);
        FDecodeThread->Event().Signal();
    } catch (...) {
        try {
            StopOutput();
        } catch (...) {
            // The error that stopped the start is the one to report.
        }
        throw;
    }
    SetStatus(mpsPlaying);
    FEndPlayReason = meprStopped;
    RequestPosition();
}

void TMP3Player::PlayToFile(const std::string& wavFileName) {
    if (!IsOpen() || FStatus != mpsStopped) {
        return;
    }
    // Each track goes into a file of its own.
    CancelNext();
    FWavOutputName = wavFileName;
    Play();
}

void TMP3Player::Pause() {
    if (FStatus != mpsPlaying || !FWavOutputName.empty()) {
        return;
    }
    {
        TMPLockGuard lock(FOutputLock);
        FSoundOut.Pause();
    }
    SetStatus(mpsPaused);
}

void TMP3Player::Resume() {
    if (FStatus != mpsPaused || !FWavOutputName.empty()) {
        return;
    }
    {
        TMPLockGuard lock(FOutputLock);
        FSoundOut.Unpause();
    }
    SetStatus(mpsPlaying);
}

void TMP3Player::ResetPlayState() {
    FPendingPcm = 0;
    FCurrentFrameLength = 0;
    FResyncCount = 0;
    FPlayedBytes = 0;
    FPosition = 0;
    FNextFrameSample = 0;
    FHeardFrom = FHeard.Begin;
    FWrittenBytes = 0;
    FSwitchPending = false;
}

void TMP3Player::StopOutput() {
    FWavOutputName.clear();
    std::exception_ptr failure;
    TMPLockGuard decoderLock(FDecoderLock);
    TMPLockGuard outputLock(FOutputLock);
    FSoundOut.SetOnProgress(nullptr);
    try {
        FSoundOut.Reset();
        FSoundOut.Close();
    } catch (...) {
        failure = std::current_exception();
    }
    FDecodeThread->Event().Reset();
    if (Seekable() && FReader.Active()) {
        FReader.Seek(FDataStart, soFromBeginning);
    }
    // A prepared track is dropped; one the decode thread already moved on to is the open file now.
    FNextStream.reset();
    FNextFileName.clear();
    if (!FSwitchedFileName.empty()) {
        FFileName = FSwitchedFileName;
        FSwitchedFileName.clear();
    }
    FSwitchEnded = false;
    FSwitchHeard = false;
    FAwaitingTrackChange = false;
    ResetPlayState();
    FReInitNeeded = true;
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TMP3Player::Stop() {
    if (!IsOpen() || (FStatus != mpsPlaying && FStatus != mpsPaused)) {
        return;
    }
    std::exception_ptr failure;
    try {
        StopOutput();
    } catch (...) {
        // The player is stopped whatever closing the output said; the error is reported afterwards.
        failure = std::current_exception();
    }
    SetStatus(mpsStopped);
    RequestPosition();
    if (!Seekable()) {
        Close();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TMP3Player::Close() {
    StopFrameCount();
    FNeedsFrameCount = false;
    FCountedPcmBytes = 0;
    std::exception_ptr failure;
    if (FStatus != mpsStopped) {
        try {
            Stop();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    {
        TMPLockGuard lock(FDecoderLock);
        FReader.Close();
        FPcmBuffer.Free();
        FFileName.clear();
        if ((FStreamFlags & kStreamOwned) != 0) {
            delete FStream;
        }
        FStream = nullptr;
        FStreamFlags = 0;
        FInfo.Clear();
        FHeader = TMPHeader{};
        FFrameHeader = TMPHeader{};
        FStart = TMPStreamStart{};
        FBitRate = 0;
        FLayer = 0;
        FVersion = 0;
        FSampleRate = 0;
        FChannels = 0;
        FBytesPerFrame = 0;
        FTotalPcmBytes = 0;
        FDataStart = 0;
        FDataLength = TMP3Info::kUnknownLength;
        FEncoderGap = TMPEncoderGap{};
        FHeard = TMPHeardRange{};
        FFrameSamples = 0;
        ResetPlayState();
        TMPLockGuard positionsLock(FFramePositionsLock);
        FFramePositions.clear();
    }
    SetStatus(mpsStopped);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace tunelo
