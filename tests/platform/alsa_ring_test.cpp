// The ALSA device returns a buffer only once the speaker has played all of it: ALSA's "null" PCM stands
// in for the card, and snd_pcm_delay is wrapped here so that its ring can be made to hold frames not yet
// played, as a card's ring does for up to the device latency.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "wave_test_support.h"

using namespace tunelo;
using namespace tunelo::test;
using namespace std::chrono_literals;

namespace {

// Frames the ring reports as still to be played; negative: what ALSA says.
std::atomic<long> gUnplayed{-1};

} // namespace

extern "C" int snd_pcm_delay(void* pcm, long* delay) {
    using TDelay = int (*)(void*, long*);
    static const auto real = reinterpret_cast<TDelay>(dlsym(RTLD_NEXT, "snd_pcm_delay"));
    const int result = real(pcm, delay);
    const long unplayed = gUnplayed.load();
    if (unplayed >= 0) {
        *delay = unplayed;
        return 0;
    }
    return result;
}

namespace {

TEST(AlsaRing, ABufferComesBackOnlyOnceItsLastFrameHasBeenPlayed) {
    setenv("TUNELO_AUDIO", "alsa:null", 1);
    if (WaveOutGetNumDevs() == 0) {
        GTEST_SKIP() << "ALSA cannot open its null PCM here";
    }
    const TMPWaveFormat format = Format(44100, 2, 16);
    constexpr uint32_t kFrames = 2205; // 50 ms each: both together stay below ALSA's start threshold
    std::vector<std::vector<uint8_t>> data(2, std::vector<uint8_t>(kFrames * format.BlockAlign, 1));
    std::vector<TMPWaveHeader> headers(2);
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, format, collector.Notify()), MMSYSERR_NOERROR);
    gUnplayed.store(1L << 30);
    for (size_t i = 0; i < headers.size(); ++i) {
        headers[i].Data = data[i].data();
        headers[i].BufferLength = static_cast<uint32_t>(data[i].size());
        ASSERT_EQ(device->Prepare(headers[i]), MMSYSERR_NOERROR);
        ASSERT_EQ(device->Write(headers[i]), MMSYSERR_NOERROR);
    }
    EXPECT_FALSE(collector.WaitFor(1, 300ms)) << "a buffer came back while all of it was still in the ring";
    EXPECT_EQ(Position(*device), 0u);

    gUnplayed.store(kFrames); // the first buffer has been played, the second not yet
    ASSERT_TRUE(collector.WaitFor(1));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(collector.Done().size(), 1u);
    EXPECT_EQ(Position(*device), kFrames * format.BlockAlign);

    gUnplayed.store(0);
    ASSERT_TRUE(collector.WaitFor(2));
    EXPECT_EQ(collector.Done()[1], &headers[1]);
    gUnplayed.store(-1);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    setenv("TUNELO_AUDIO", "null", 1);
}

} // namespace
