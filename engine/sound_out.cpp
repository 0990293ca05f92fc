#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "errors.h"
#include "sound_out.h"
#include "tick_clock.h"
#include "wav_header.h"

namespace tunelo {

namespace {

// The wave device's own text for a failed call, followed by the operation's name.
[[noreturn]] void RaiseWaveError(int32_t code, const char* operation) {
    std::string text;
    if (!WaveOutGetErrorText(code, text)) {
        text = "unknown wave out API error.";
    }
    if (text.size() > 127) {
        text.resize(127);
    }
    throw EMPWaveError(text + "(" + operation + ")", code);
}

void CheckWave(int32_t code, const char* operation) {
    if (code != MMSYSERR_NOERROR) {
        RaiseWaveError(code, operation);
    }
}

std::string FileErrorText(const char* what, const std::string& path, int error) {
    return std::string(what) + " \"" + path + "\". " + std::strerror(error);
}

} // namespace

TSoundOut::TSoundOut() : FThread(*this) {
    FVolume = GetWaveVolume();
    FThread.OnException = [this](TMPLoopThread&, const std::exception& error, bool& handled) {
        TExceptionEvent handler;
        {
            TMPLockGuard lock(FCallbackLock);
            handler = FOnException;
        }
        // Called without the lock: the handler may wait for the window thread, which may be setting a
        // handler meanwhile.
        if (handler) {
            handler(*this, error, handled);
        }
    };
    FThread.Resume();
}

TSoundOut::~TSoundOut() {
    try {
        Close();
    } catch (...) {
        // Nobody is left to tell; the device and the file are released all the same.
    }
    // The device posts to the output thread, which ends before the device member would be destroyed.
    FWaveOut.reset();
}

void TSoundOut::SetSamplesPerSec(int32_t value) {
    if (value > 0) {
        FSamplesPerSec = value;
    }
}

void TSoundOut::SetChannels(int32_t value) {
    if (value == 1 || value == 2) {
        FChannels = value;
    }
}

void TSoundOut::SetBitsPerSample(int32_t value) {
    if (value == 8 || value == 16) {
        FBitsPerSample = value;
    }
}

void TSoundOut::SetVolume(int32_t value) {
    if (value < 0 || value > 100) {
        return;
    }
    FVolume = value;
    if (Active() && !FileMode()) {
        SetVolumeToWaveDevice();
    }
}

void TSoundOut::SetBalance(int32_t value) {
    if (value < -100 || value > 100) {
        return;
    }
    FBalance = value;
    if (Active() && !FileMode()) {
        SetVolumeToWaveDevice();
    }
}

void TSoundOut::SetFileName(const std::string& value) {
    if (!Active()) {
        FFileName = value;
    }
}

void TSoundOut::SetMediaInfo(const std::string& title, const std::string& artist) {
    FMediaTitle = title;
    FMediaArtist = artist;
    if (Active() && FWaveOut) {
        FWaveOut->SetMediaInfo(title, artist);
    }
}

void TSoundOut::SetOnProgress(TNotifyEvent handler) {
    TMPLockGuard lock(FCallbackLock);
    FOnProgress = std::move(handler);
}

void TSoundOut::SetOnException(TExceptionEvent handler) {
    TMPLockGuard lock(FCallbackLock);
    FOnException = std::move(handler);
}

TMPWaveFormat TSoundOut::WaveFormat() const {
    TMPWaveFormat format;
    format.FormatTag = WAVE_FORMAT_PCM;
    format.Channels = static_cast<uint16_t>(FChannels);
    format.SamplesPerSec = static_cast<uint32_t>(FSamplesPerSec);
    format.BlockAlign = static_cast<uint16_t>(FChannels * FBitsPerSample / 8);
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;
    format.BitsPerSample = static_cast<uint16_t>(FBitsPerSample);
    return format;
}

int32_t TSoundOut::ComputeBufferSize(int32_t samplesPerSec, int32_t channels, int32_t bitsPerSample) {
    const int64_t blockAlign = channels * bitsPerSample / 8;
    const int64_t quarter = (static_cast<int64_t>(samplesPerSec) * blockAlign * 2000 / 1000) / kBufferCount;
    // Absurd rates saturate instead of wrapping; allocating such buffers then fails cleanly.
    return static_cast<int32_t>(std::min<int64_t>((quarter + 3) / 4 * 4, INT32_MAX - 3));
}

void TSoundOut::Open() {
    if (Active()) {
        return;
    }
    FActive.store(true);
    try {
        FFileMode.store(!FFileName.empty());
        FBufferSize = ComputeBufferSize(FSamplesPerSec, FChannels, FBitsPerSample);
        {
            TMPLockGuard lock(FBufferLock);
            FCurrent = 0;
            FFill = 0;
            FQueued.store(0);
        }
        FPaused = false;
        FAllDone.Signal();
        if (FileMode()) {
            OpenFile();
        } else {
            OpenDevice();
        }
        FLastProgressTick.store(GetTickCount());
    } catch (...) {
        Close();
        throw;
    }
}

void TSoundOut::OpenDevice() {
    FLastDoneBytes = 0;
    const int32_t opened = WaveOutOpen(
        FWaveOut, FDeviceId, WaveFormat(),
        [this](uint32_t msg, uintptr_t wParam, intptr_t lParam) { FThread.Post(msg, wParam, lParam); });
    CheckWave(opened, "TSoundOut.Open:WaveOutOpen");
    FWaveOut->SetMediaInfo(FMediaTitle, FMediaArtist);
    SetVolumeToWaveDevice();
    AllocateBuffers();
    for (TMPWaveHeader& header : FHeaders) {
        CheckWave(FWaveOut->Prepare(header), "TSoundOut.Open:WaveOutPreperHeader");
    }
    FThread.SetTimeout(FProgressInterval.load());
}

void TSoundOut::OpenFile() {
    FLastDoneBytes = 0;
    FFilePosition.store(0);
    FFileFailed.store(false);
    if (!FOutput.Open(FFileName)) {
        throw EMPError(FileErrorText("Cannot create file", FFileName, errno));
    }
    // Both sizes 0 until PatchFileHeader fills them in; a pipe, which cannot be rewritten, gets the sizes
    // that readers of a stream take for "up to the end".
    const auto header = WavHeader(WaveFormat(), FOutput.Seekable() ? 0 : UINT32_MAX);
    WriteToFile(header.data(), static_cast<uint32_t>(header.size()));
    AllocateBuffers();
}

void TSoundOut::AllocateBuffers() {
    for (int32_t i = 0; i < kBufferCount; ++i) {
        FBuffers[i] = std::make_unique<uint8_t[]>(static_cast<size_t>(FBufferSize));
        FHeaders[i] = TMPWaveHeader{};
        FHeaders[i].Data = FBuffers[i].get();
        FHeaders[i].BufferLength = static_cast<uint32_t>(FBufferSize);
    }
}

void TSoundOut::FreeBuffers() {
    for (int32_t i = 0; i < kBufferCount; ++i) {
        FHeaders[i] = TMPWaveHeader{};
        FBuffers[i].reset();
    }
}

void TSoundOut::Close() {
    if (!Active()) {
        return;
    }
    {
        TMPLockGuard lock(FWaiterLock);
        FWaiter = nullptr;
    }
    std::exception_ptr failure;
    try {
        if (FileMode()) {
            CloseFile();
        } else {
            CloseDevice();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    FreeBuffers();
    FActive.store(false);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TSoundOut::CloseDevice() {
    FThread.SetTimeout(-1);
    if (!FWaveOut) {
        return;
    }
    std::exception_ptr failure;
    try {
        // A paused device returns no buffers, so waiting for them would never end; what is queued would
        // not be heard anyway.
        if (FPaused) {
            Reset();
        }
        Flush();
    } catch (...) {
        failure = std::current_exception();
        FWaveOut->Reset();
    }
    WaitAllDone();
    for (int32_t i = 0; i < kBufferCount; ++i) {
        if (!FBuffers[i]) {
            continue;
        }
        // Bounded, so that a device that never lets go cannot hang the caller; destroying the device below
        // ends its use of the buffers in any case.
        for (int attempt = 0; FWaveOut->Unprepare(FHeaders[i]) == WAVERR_STILLPLAYING && attempt < 50;
             ++attempt) {
            usleep(100000);
        }
    }
    FWaveOut->Close();
    FWaveOut.reset();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TSoundOut::CloseFile() {
    // Buffers submitted before the close are written first, so the file ends with everything the caller
    // handed over and the header counts exactly those bytes.
    FThread.WaitIdle();
    // Not finished by FinishFile: stopped, aborted or failed. Only a complete file may carry the name.
    FOutput.Discard();
}

void TSoundOut::FinishFile() {
    if (!Active() || !FileMode() || !FOutput.IsOpen()) {
        return;
    }
    FThread.WaitIdle();
    if (FFileFailed.load()) {
        FOutput.Discard(); // the failed write was reported when it happened
        return;
    }
    try {
        PatchFileHeader();
    } catch (...) {
        FOutput.Discard();
        throw;
    }
    if (!FOutput.Commit()) {
        throw EMPError(FileErrorText("Cannot write to file", FFileName, errno));
    }
}

void TSoundOut::WriteToFile(const uint8_t* data, uint32_t length) {
    while (length > 0) {
        const ssize_t written = ::write(FOutput.Handle(), data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EMPError(FileErrorText("Cannot write to file", FFileName, errno));
        }
        FFilePosition.fetch_add(written);
        data += written;
        length -= static_cast<uint32_t>(written);
    }
}

void TSoundOut::PatchFileHeader() {
    const int64_t end = FFilePosition.load();
    if (end < kWavHeaderSize || !FOutput.Seekable()) {
        return;
    }
    // More PCM than a RIFF header can count becomes an RF64 file, which the common tools read.
    const uint64_t dataBytes = static_cast<uint64_t>(end - kWavHeaderSize);
    if (dataBytes > kMaxRiffDataBytes) {
        if (!RewriteAsRf64(FOutput.Handle(), WaveFormat(), dataBytes)) {
            throw EMPError(FileErrorText("Cannot write to file", FFileName, errno));
        }
        return;
    }
    const auto header = WavHeader(WaveFormat(), static_cast<uint32_t>(dataBytes));
    if (::pwrite(FOutput.Handle(), &header[4], 4, 4) != 4 ||
        ::pwrite(FOutput.Handle(), &header[40], 4, 40) != 4) {
        throw EMPError(FileErrorText("Cannot write to file", FFileName, errno));
    }
}

bool TSoundOut::CanWrite() {
    TMPLockGuard lock(FBufferLock);
    return Active() && FQueued.load() < kBufferCount && FFill < FBufferSize;
}

int32_t TSoundOut::Write(const void* data, int32_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    int32_t accepted = 0;
    while (length > 0) {
        TMPLockGuard lock(FBufferLock);
        if (!CanWrite()) {
            break;
        }
        const int32_t n = std::min(FBufferSize - FFill, length);
        std::memcpy(FBuffers[FCurrent].get() + FFill, bytes + accepted, static_cast<size_t>(n));
        FFill += n;
        accepted += n;
        length -= n;
        if (FFill >= FBufferSize) {
            WaveWrite();
        }
    }
    return accepted;
}

void TSoundOut::WaveWrite() {
    TMPLockGuard lock(FBufferLock);
    MP_ASSERT(FQueued.load() < kBufferCount);
    MP_ASSERT(FileMode() || FWaveOut != nullptr);
    FQueued.fetch_add(1);
    FAllDone.Reset();
    TMPWaveHeader& header = FHeaders[FCurrent];
    header.BufferLength = static_cast<uint32_t>(FFill);
    FFill = 0;
    if (FileMode()) {
        FThread.Post(MPM_WRITE_FILE_BUFFER, 0, FCurrent);
    } else if (const int32_t result = FWaveOut->Write(header); result != MMSYSERR_NOERROR) {
        // The device did not take the buffer, so it will never come back: count it out again, or waiting
        // for all buffers would never end.
        if (FQueued.fetch_sub(1) == 1) {
            FAllDone.Signal();
        }
        RaiseWaveError(result, "TSoundOut.WaveWrite");
    }
    FCurrent = (FCurrent + 1) % kBufferCount;
}

void TSoundOut::Flush() {
    bool submitted = false;
    {
        TMPLockGuard lock(FBufferLock);
        if (Active() && FFill > 0) {
            WaveWrite();
            submitted = true;
        }
    }
    if (submitted) {
        FThread.WaitIdle();
    }
}

void TSoundOut::CheckDevice() {
    TMPLockGuard lock(FBufferLock);
    if (Active() && !FileMode() && FWaveOut) {
        CheckWave(FWaveOut->Failure(), "TSoundOut.CheckDevice");
    }
}

void TSoundOut::WaitAllDone() {
    WaitForAny({&FAllDone, &FThread.Ended()}, INFINITE);
}

void TSoundOut::SetWaiter(TMPEvent* waiter) {
    {
        TMPLockGuard lock(FWaiterLock);
        FWaiter = waiter;
    }
    NotifyWaiter();
}

void TSoundOut::NotifyWaiter() {
    if (!CanWrite()) {
        return;
    }
    TMPLockGuard lock(FWaiterLock);
    if (FWaiter != nullptr) {
        FWaiter->Signal();
        FWaiter = nullptr;
    }
}

int32_t TSoundOut::FreePercent() {
    if (!Active()) {
        return 0;
    }
    TMPLockGuard lock(FBufferLock);
    const int64_t total = static_cast<int64_t>(kBufferCount) * FBufferSize;
    if (total == 0) {
        return 0;
    }
    const int64_t free = (kBufferCount - FQueued.load()) * static_cast<int64_t>(FBufferSize) - FFill;
    return static_cast<int32_t>(free * 100 / total);
}

int32_t TSoundOut::GetDoneBytes() {
    if (!Active()) {
        return 0;
    }
    uint32_t position = 0;
    if (FileMode()) {
        position = static_cast<uint32_t>(std::max<int64_t>(FFilePosition.load() - kWavHeaderSize, 0));
    } else {
        CheckWave(FWaveOut->GetPosition(position), "TSoundOut.GetDoneBytes");
    }
    // Unsigned difference: a position that wrapped past 4 GiB still gives the bytes in between.
    const auto done = static_cast<int32_t>(position - static_cast<uint32_t>(FLastDoneBytes));
    FLastDoneBytes = static_cast<int32_t>(position);
    return done;
}

void TSoundOut::Pause() {
    if (Active() && !FileMode() && FWaveOut) {
        CheckWave(FWaveOut->Pause(), "TSoundOut.Pause");
        FPaused = true;
    }
}

void TSoundOut::Unpause() {
    if (Active() && !FileMode() && FWaveOut) {
        CheckWave(FWaveOut->Restart(), "TSoundOut.Unpause");
        FPaused = false;
    }
}

void TSoundOut::Reset() {
    if (!Active() || FileMode() || !FWaveOut) {
        return;
    }
    {
        TMPLockGuard lock(FBufferLock);
        FFill = 0;
    }
    FWaveOut->Reset();
    FLastDoneBytes = 0;
    FPaused = false;
}

void TSoundOut::SetVolumeToWaveDevice() {
    if (!FWaveOut) {
        return;
    }
    const uint32_t base = (static_cast<uint32_t>(FVolume) * 65535 + 50) / 100;
    uint32_t left = base;
    uint32_t right = base;
    if (FBalance < 0) {
        right = (base * static_cast<uint32_t>(FBalance + 100) + 50) / 100;
    } else if (FBalance > 0) {
        left = (base * static_cast<uint32_t>(100 - FBalance) + 50) / 100;
    }
    const int32_t result = FWaveOut->SetVolume(left | (right << 16));
    if (result != MMSYSERR_NOERROR && result != MMSYSERR_NOTSUPPORTED) {
        RaiseWaveError(result, "TSoundOut.SetVolumeToWaveDevice");
    }
}

int32_t TSoundOut::GetWaveVolume() {
    try {
        uint32_t volume = 0;
        std::unique_ptr<TMPWaveDevice> probe;
        if (WaveOutOpen(probe, FDeviceId, WaveFormat(), {}) == MMSYSERR_NOERROR) {
            const int32_t result = probe->GetVolume(volume);
            probe->Close();
            probe.reset();
            CheckWave(result, "TSoundOut.GetWaveVolume");
        } else {
            if (WaveOutGetNumDevs() == 0) {
                return 100;
            }
            CheckWave(WaveOutGetVolume(0, volume), "TSoundOut.GetWaveVolume");
        }
        const uint32_t loudest = std::max(volume & 0xFFFF, volume >> 16);
        return static_cast<int32_t>((loudest * 100 + 32767) / 65535);
    } catch (const EMPError&) {
        return 100;
    }
}

void TSoundOut::Dispatch(TMPMessage& message) {
    switch (message.Msg) {
    case MM_WOM_DONE:
        BufferDone();
        break;
    case MPM_WRITE_FILE_BUFFER:
        WriteFileBuffer(message.LParam);
        break;
    case MPM_TIMEOUT:
        if (Active() && !FileMode()) {
            ProgressTick();
        }
        break;
    default:
        break;
    }
}

void TSoundOut::BufferDone() {
    const int32_t queued = FQueued.fetch_sub(1) - 1;
    if (queued > 0) {
        FThread.SetTimeout(FProgressInterval.load());
    } else {
        // The time-out goes first, so whoever wakes on AllDone finds the thread already told to sleep.
        FThread.SetTimeout(-1);
        FAllDone.Signal();
    }
    MP_ASSERT(queued >= 0);
    NotifyWaiter();
    if (!FileMode()) {
        ProgressTick();
    }
}

void TSoundOut::WriteFileBuffer(intptr_t index) {
    MP_ASSERT(FOutput.IsOpen());
    MP_ASSERT(index >= 0 && index < kBufferCount);
    const TMPWaveHeader& header = FHeaders[static_cast<size_t>(index)];
    std::exception_ptr failure;
    if (!FFileFailed.load()) {
        try {
            WriteToFile(header.Data, header.BufferLength);
        } catch (...) {
            FFileFailed.store(true);
            failure = std::current_exception();
        }
    }
    if (!failure) {
        ProgressTick();
    }
    // The buffer is free again whether or not its bytes reached the file; otherwise a failed write would
    // leave it queued for ever and every wait for the output would hang.
    BufferDone();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TSoundOut::ProgressTick() {
    TMPLockGuard lock(FCallbackLock);
    const int32_t interval = FProgressInterval.load();
    if (!FOnProgress || interval == -1) {
        return;
    }
    const uint32_t now = GetTickCount();
    if (static_cast<int64_t>(now - FLastProgressTick.load()) > interval) {
        FOnProgress(*this);
        FLastProgressTick.store(now);
    }
}

} // namespace tunelo
