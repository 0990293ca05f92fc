// What the wave-device tests share: formats, a collector of done notifications, the device position.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "wave_device.h"

namespace tunelo::test {

inline TMPWaveFormat Format(uint32_t rate, uint16_t channels, uint16_t bits) {
    TMPWaveFormat format;
    format.Channels = channels;
    format.SamplesPerSec = rate;
    format.BitsPerSample = bits;
    format.BlockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.AvgBytesPerSec = rate * format.BlockAlign;
    return format;
}

// Collects the done notifications of one device, with the time each came.
class DoneCollector {
public:
    TMPWaveNotify Notify() {
        return [this](uint32_t msg, uintptr_t, intptr_t lParam) {
            std::lock_guard lock(FMutex);
            FMessages.push_back(msg);
            FDone.push_back(reinterpret_cast<TMPWaveHeader*>(lParam));
            FTimes.push_back(std::chrono::steady_clock::now());
            FArrived.notify_all();
        };
    }

    // Waits until count notifications arrived; the default bound is far beyond any real wait.
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        std::unique_lock lock(FMutex);
        return FArrived.wait_for(lock, timeout, [&] { return FDone.size() >= count; });
    }

    std::vector<TMPWaveHeader*> Done() {
        std::lock_guard lock(FMutex);
        return FDone;
    }

    std::vector<uint32_t> Messages() {
        std::lock_guard lock(FMutex);
        return FMessages;
    }

    std::vector<std::chrono::steady_clock::time_point> Times() {
        std::lock_guard lock(FMutex);
        return FTimes;
    }

private:
    std::mutex FMutex;
    std::condition_variable FArrived;
    std::vector<TMPWaveHeader*> FDone;
    std::vector<uint32_t> FMessages;
    std::vector<std::chrono::steady_clock::time_point> FTimes;
};

inline uint32_t Position(TMPWaveDevice& device) {
    uint32_t bytes = 0;
    EXPECT_EQ(device.GetPosition(bytes), MMSYSERR_NOERROR);
    return bytes;
}

} // namespace tunelo::test
