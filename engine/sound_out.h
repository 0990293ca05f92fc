// The wave output: takes the decode loop's PCM in four buffers of half a second each and plays them on the
// wave device, or writes them into a RIFF WAVE file when a file name is set. Its own loop thread receives
// the device's buffer-done notifications, writes the file buffers and produces the progress ticks that
// drive the player's position display.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "MP3Trds.h"
#include "output_file.h"
#include "wav_header.h"
#include "wave_device.h"

namespace tunelo {

class TSoundOut : private TMPMessageTarget {
public:
    using TNotifyEvent = std::function<void(TSoundOut& sender)>;
    using TExceptionEvent =
        std::function<void(TSoundOut& sender, const std::exception& error, bool& handled)>;

    static constexpr int32_t kBufferCount = 4;
    static constexpr int32_t kWavHeaderSize = static_cast<int32_t>(kWavHeaderBytes);
    // Output-thread message: write the file buffer whose index is lParam.
    static constexpr uint32_t MPM_WRITE_FILE_BUFFER = WM_USER + 20;

    // Starts the output thread and reads the device's current volume.
    TSoundOut();
    ~TSoundOut();

    TSoundOut(const TSoundOut&) = delete;
    TSoundOut& operator=(const TSoundOut&) = delete;

    // The format of the next Open; values out of range are ignored (rate > 0, 1 or 2 channels, 8 or 16 bits).
    int32_t SamplesPerSec() const { return FSamplesPerSec; }
    void SetSamplesPerSec(int32_t value);
    int32_t Channels() const { return FChannels; }
    void SetChannels(int32_t value);
    int32_t BitsPerSample() const { return FBitsPerSample; }
    void SetBitsPerSample(int32_t value);
    // Per cent, 0..100; applied at once while the device is open.
    int32_t Volume() const { return FVolume; }
    void SetVolume(int32_t value);
    // -100..100: negative turns the right channel down, positive the left; applied at once while the
    // device is open.
    int32_t Balance() const { return FBalance; }
    void SetBalance(int32_t value);
    uint32_t DeviceId() const { return FDeviceId; }
    void SetDeviceId(uint32_t value) { FDeviceId = value; }
    // What plays, shown by a sound server's mixer; applied at once while the device is open.
    void SetMediaInfo(const std::string& title, const std::string& artist);
    // Non-empty at Open: output goes to this WAV file. Changes only while not active.
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& value);
    // Minimum ms between two progress ticks; -1: no ticks.
    int32_t ProgressInterval() const { return FProgressInterval.load(); }
    void SetProgressInterval(int32_t value) { FProgressInterval.store(value); }
    // Called in the output thread. Once SetOnProgress returns, the previous handler is not running and will
    // not be called again.
    void SetOnProgress(TNotifyEvent handler);
    // Receives errors raised in the output thread (in that thread).
    void SetOnException(TExceptionEvent handler);

    bool Active() const { return FActive.load(); }
    bool FileMode() const { return FFileMode.load(); }
    int32_t BufferSize() const { return FBufferSize; }
    int32_t Queued() const { return FQueued.load(); }
    uint32_t LastProgressTick() const { return FLastProgressTick.load(); }
    // The open device (none in file mode or when closed).
    TMPWaveDevice* WaveOut() const { return FWaveOut.get(); }
    TMPLoopThread& Thread() { return FThread; }
    TMPWaveFormat WaveFormat() const;

    // Opens the file or the device; on failure everything is closed again and the error propagates.
    void Open();
    // Device: plays what is queued (a partial buffer too) and closes the device. File: writes the buffers
    // already submitted (not a partial one); a file that FinishFile did not complete is dropped.
    void Close();

    bool CanWrite();
    // Copies as much as fits into the free buffers, submitting each one that fills; returns the bytes taken.
    int32_t Write(const void* data, int32_t length);
    // Submits the current buffer with what it holds.
    void WaveWrite();
    // Submits a partial buffer and waits until the output thread has handled every earlier message.
    void Flush();
    // File mode, at the end of the stream: completes the WAV header and puts the file under its name.
    // Until then (and after a stop or a failure) the name keeps what it had. Raises on failure.
    void FinishFile();
    // Waits until no buffer is queued (or the output thread has ended).
    void WaitAllDone();
    // Raises the error that broke the device while it played, if one did.
    void CheckDevice();
    // An event to signal once, as soon as a buffer is free (at once if one is); nullptr clears it.
    void SetWaiter(TMPEvent* waiter);
    void NotifyWaiter();
    // Free share of the whole buffer space, per cent; 0 when not active.
    int32_t FreePercent();
    // Bytes played (or written) since the previous call; 0 when not active.
    int32_t GetDoneBytes();
    void Pause();
    void Unpause();
    // Drops the partial buffer and everything queued on the device; its position returns to 0.
    void Reset();
    void SetVolumeToWaveDevice();
    // The device's current volume in per cent; 100 when it cannot be read.
    int32_t GetWaveVolume();

    // Each buffer holds a quarter of two seconds, rounded up to a multiple of 4 bytes.
    static int32_t ComputeBufferSize(int32_t samplesPerSec, int32_t channels, int32_t bitsPerSample);

private:
    void Dispatch(TMPMessage& message) override;

    void OpenDevice();
    void OpenFile();
    void CloseDevice();
    void CloseFile();
    void AllocateBuffers();
    void FreeBuffers();
    void WriteToFile(const uint8_t* data, uint32_t length);
    void PatchFileHeader();

    void BufferDone();
    void WriteFileBuffer(intptr_t index);
    void ProgressTick();

    int32_t FSamplesPerSec = 44100;
    int32_t FChannels = 2;
    int32_t FBitsPerSample = 16;
    std::atomic<bool> FActive{false};
    std::atomic<bool> FFileMode{false};
    int32_t FVolume = 100;
    int32_t FBalance = 0;
    uint32_t FDeviceId = WAVE_MAPPER;
    std::string FFileName;
    std::string FMediaTitle;
    std::string FMediaArtist;

    TMPSimpleMutex FCallbackLock;
    TNotifyEvent FOnProgress;
    TExceptionEvent FOnException;
    std::atomic<int32_t> FProgressInterval{-1};
    std::atomic<uint32_t> FLastProgressTick{0};

    std::unique_ptr<TMPWaveDevice> FWaveOut;
    std::array<TMPWaveHeader, kBufferCount> FHeaders{};
    std::array<std::unique_ptr<uint8_t[]>, kBufferCount> FBuffers;
    bool FPaused = false;

    TMPOutputFile FOutput;
    std::atomic<int64_t> FFilePosition{0};
    // After a failed write the rest of the file's buffers are dropped, so the failure is reported once.
    std::atomic<bool> FFileFailed{false};

    TMPSimpleMutex FBufferLock;
    int32_t FCurrent = 0;
    int32_t FFill = 0;
    int32_t FBufferSize = 0;
    std::atomic<int32_t> FQueued{0};

    TMPSimpleMutex FWaiterLock;
    TMPEvent* FWaiter = nullptr;
    TMPSimpleEvent FAllDone;
    int32_t FLastDoneBytes = 0;

    // Last, so that it ends before anything its handlers use is destroyed.
    TMPLoopThread FThread;
};

} // namespace tunelo
