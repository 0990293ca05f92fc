// The null wave device: consumes queued buffers at the pace real playback would, without sound. The
// position is worked out from the clock whenever someone looks; a thread of its own returns each buffer
// when the clock says it has been played. The recording device is the same with a sink that receives each
// byte as it is played, and optionally without the pacing (every buffer is played the moment it arrives).
#include <chrono>
#include <thread>

#include "wave_backend.h"

namespace tunelo {

namespace {

using TClock = std::chrono::steady_clock;
constexpr int64_t kNanosPerSecond = 1000000000;

class TNullWaveDevice final : public TMPQueuedWaveDevice {
public:
    TNullWaveDevice(const TMPWaveFormat& format, TMPWaveNotify notify, TMPWaveSink sink, bool paced)
        : TMPQueuedWaveDevice(format, std::move(notify)), FSink(std::move(sink)), FPaced(paced),
          FLastUpdate(TClock::now()) {
        FThread = std::thread([this] { Run(); });
    }

    ~TNullWaveDevice() override { Stop(); }

    int32_t Close() override {
        {
            std::lock_guard lock(FMutex);
            Advance(TClock::now());
            if (!FQueue.empty()) {
                return WAVERR_STILLPLAYING;
            }
        }
        Stop();
        return MMSYSERR_NOERROR;
    }

    int32_t Pause() override {
        std::lock_guard lock(FMutex);
        Advance(TClock::now());
        FPaused = true;
        return MMSYSERR_NOERROR;
    }

    int32_t Restart() override {
        std::lock_guard lock(FMutex);
        Advance(TClock::now());
        FPaused = false;
        FWake.notify_all();
        return MMSYSERR_NOERROR;
    }

    int32_t Reset() override {
        std::lock_guard lock(FMutex);
        // What played up to now has been heard (and, when recording, is written) before the rest is dropped.
        Advance(TClock::now());
        ReturnAllLocked();
        FPosition = 0;
        FConsumedOfFirst = 0;
        FCarry = 0;
        FPaused = false;
        FLastUpdate = TClock::now();
        FWake.notify_all();
        return MMSYSERR_NOERROR;
    }

    int32_t GetPosition(uint32_t& bytes) override {
        std::lock_guard lock(FMutex);
        Advance(TClock::now());
        bytes = static_cast<uint32_t>(FPosition);
        return MMSYSERR_NOERROR;
    }

    int32_t Failure() override {
        std::lock_guard lock(FMutex);
        return FFailure;
    }

private:
    // Time that passes while a buffer is queued is time spent playing.
    void QueuedLocked() override {
        if (FQueue.size() == 1) {
            FLastUpdate = TClock::now();
            FCarry = 0;
        }
    }

    // Consumes what the time since the last update has played, returning finished buffers. Time while
    // paused or while nothing is queued plays nothing.
    void Advance(TClock::time_point now) {
        if (FPaused || FQueue.empty()) {
            FLastUpdate = now;
            FCarry = 0;
            return;
        }
        const int64_t elapsed =
            std::chrono::duration_cast<std::chrono::nanoseconds>(now - FLastUpdate).count();
        FLastUpdate = now;
        const int64_t scaled = std::max<int64_t>(elapsed, 0) * FFormat.SamplesPerSec + FCarry;
        FCarry = FPaced ? scaled % kNanosPerSecond : 0;
        uint64_t bytes =
            FPaced ? static_cast<uint64_t>(scaled / kNanosPerSecond) * FFormat.BlockAlign : UINT64_MAX;
        while (!FQueue.empty()) {
            const uint32_t left = Remaining();
            if (left == 0) {
                ReturnFirst();
                continue;
            }
            if (bytes == 0) {
                break;
            }
            const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(bytes, left));
            if (FSink && FFailure == MMSYSERR_NOERROR) {
                FFailure = FSink(FQueue.front()->Data + FConsumedOfFirst, take);
            }
            FConsumedOfFirst += take;
            FPosition += take;
            bytes -= take;
        }
        if (FQueue.empty()) {
            FCarry = 0;
        }
    }

    // Bytes of the first buffer still to play; a trailing part of a frame counts as played.
    uint32_t Remaining() const {
        const uint32_t length = FQueue.front()->BufferLength;
        const uint32_t playable = length - length % FFormat.BlockAlign;
        return FConsumedOfFirst < playable ? playable - FConsumedOfFirst : 0;
    }

    void ReturnFirst() {
        FConsumedOfFirst = 0;
        ReturnFirstLocked();
    }

    void Run() {
        std::unique_lock lock(FMutex);
        while (!FStopping) {
            Advance(TClock::now());
            if (FPaused || FQueue.empty()) {
                FWake.wait(lock);
                continue;
            }
            const int64_t frames = Remaining() / FFormat.BlockAlign;
            const int64_t nanos =
                (frames * kNanosPerSecond - FCarry + FFormat.SamplesPerSec - 1) / FFormat.SamplesPerSec;
            FWake.wait_until(lock, FLastUpdate + std::chrono::nanoseconds(std::max<int64_t>(nanos, 0)));
        }
    }

    void Stop() {
        {
            std::lock_guard lock(FMutex);
            FStopping = true;
            FWake.notify_all();
        }
        if (FThread.joinable()) {
            FThread.join();
        }
    }

    const TMPWaveSink FSink;
    const bool FPaced;
    int32_t FFailure = MMSYSERR_NOERROR;
    std::thread FThread;
    bool FStopping = false;
    bool FPaused = false;
    uint64_t FPosition = 0;
    uint32_t FConsumedOfFirst = 0;
    // Fraction of a frame played but not yet counted, in frames x 10^-9.
    int64_t FCarry = 0;
    TClock::time_point FLastUpdate;
};

} // namespace

int32_t OpenNullWaveDevice(std::unique_ptr<TMPWaveDevice>& device, const TMPWaveFormat& format,
                           TMPWaveNotify notify) {
    device = std::make_unique<TNullWaveDevice>(format, std::move(notify), TMPWaveSink{}, true);
    return MMSYSERR_NOERROR;
}

std::unique_ptr<TMPWaveDevice> MakeSinkWaveDevice(const TMPWaveFormat& format, TMPWaveNotify notify,
                                                  TMPWaveSink sink, bool paced) {
    return std::make_unique<TNullWaveDevice>(format, std::move(notify), std::move(sink), paced);
}

} // namespace tunelo
