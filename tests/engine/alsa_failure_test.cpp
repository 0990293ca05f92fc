// A sound device that fails while it plays (a USB card pulled out, a sound server gone): ALSA's "null" PCM
// stands in for the card, and snd_pcm_writei is wrapped here so that it fails after a set number of
// frames, the way a vanished device answers. The device returns its buffers and refuses more; the player
// ends with an error the user is shown once, and nothing waits for buffers that never come back.
#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "player_test_support.h"
#include "wave_device.h"

using namespace playertest;

namespace {

// Frames that still go through before the wrapped call fails; negative: never fail.
std::atomic<int64_t> gFramesBeforeFailure{-1};
std::atomic<int> gFailures{0};

} // namespace

// Calls from the wave device resolve to this definition when the test program links; the real call is
// the next one in the search order.
extern "C" long snd_pcm_writei(void* pcm, const void* buffer, unsigned long frames) {
    using TWriteI = long (*)(void*, const void*, unsigned long);
    static const auto real = reinterpret_cast<TWriteI>(dlsym(RTLD_NEXT, "snd_pcm_writei"));
    int64_t left = gFramesBeforeFailure.load();
    if (left >= 0) {
        if (left == 0) {
            ++gFailures;
            return -ENODEV;
        }
        frames = static_cast<unsigned long>(std::min<int64_t>(left, static_cast<int64_t>(frames)));
    }
    const long written = real(pcm, buffer, frames);
    if (left >= 0 && written > 0) {
        gFramesBeforeFailure.fetch_sub(written);
    }
    return written;
}

namespace {

class FailingAlsaDevice : public ::testing::Test {
protected:
    void SetUp() override {
        gFramesBeforeFailure.store(-1);
        gFailures.store(0);
        setenv("TUNELO_AUDIO", "alsa:null", 1);
        if (WaveOutGetNumDevs() == 0) {
            setenv("TUNELO_AUDIO", "null", 1);
            GTEST_SKIP() << "ALSA cannot open its null PCM here";
        }
    }
    void TearDown() override {
        gFramesBeforeFailure.store(-1);
        setenv("TUNELO_AUDIO", "null", 1);
    }
};

TMPWaveFormat CdFormat() {
    TMPWaveFormat format;
    format.Channels = 2;
    format.SamplesPerSec = 44100;
    format.BitsPerSample = 16;
    format.BlockAlign = 4;
    format.AvgBytesPerSec = 176400;
    return format;
}

TEST_F(FailingAlsaDevice, TheDeviceReturnsItsBuffersAndRefusesMoreWithTheSoundSystemsError) {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<TMPWaveHeader*> done;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, CdFormat(),
                          [&](uint32_t, uintptr_t, intptr_t lParam) {
                              std::lock_guard lock(mutex);
                              done.push_back(reinterpret_cast<TMPWaveHeader*>(lParam));
                              arrived.notify_all();
                          }),
              MMSYSERR_NOERROR);
    // The failure falls inside the last buffer: the device cannot reach it before every buffer is
    // queued, so no Write below meets a broken device however the threads are scheduled.
    constexpr int64_t kFramesPerBuffer = 17640 / 4;
    gFramesBeforeFailure.store(3 * kFramesPerBuffer + 1000);
    std::vector<std::vector<uint8_t>> data(4, std::vector<uint8_t>(17640, 1));
    std::vector<TMPWaveHeader> headers(4);
    for (size_t i = 0; i < headers.size(); ++i) {
        headers[i].Data = data[i].data();
        headers[i].BufferLength = static_cast<uint32_t>(data[i].size());
        ASSERT_EQ(device->Prepare(headers[i]), MMSYSERR_NOERROR);
        ASSERT_EQ(device->Write(headers[i]), MMSYSERR_NOERROR);
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(20), [&] { return done.size() == 4; }))
            << "buffers were kept by a failed device";
        for (size_t i = 0; i < headers.size(); ++i) {
            EXPECT_EQ(done[i], &headers[i]);
        }
    }
    EXPECT_GE(gFailures.load(), 1);
    const int32_t refused = device->Write(headers[0]);
    EXPECT_EQ(refused, -ENODEV);
    std::string text;
    ASSERT_TRUE(WaveOutGetErrorText(refused, text));
    EXPECT_EQ(text, "No such device");
    EXPECT_EQ(device->Failure(), -ENODEV);
    for (TMPWaveHeader& header : headers) {
        EXPECT_EQ(device->Unprepare(header), MMSYSERR_NOERROR);
    }
    // A reset that brings the sound system's side back clears the failure.
    gFramesBeforeFailure.store(-1);
    ASSERT_EQ(device->Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(device->Failure(), MMSYSERR_NOERROR);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

TEST_F(FailingAlsaDevice, PlaybackEndsWithAnErrorThatIsShownOnceAndTheNextPlayWorks) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(30)); // 9 s
    ShownErrors shown;
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    ASSERT_TRUE(player.IsOpen());
    gFramesBeforeFailure.store(44100 / 2);
    {
        Watchdog watchdog(30, "playback on a failing device");
        player.Play();
        ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    }
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprError});
    EXPECT_EQ(player.Status(), mpsStopped);
    PumpFor(200);
    const std::vector<std::string> messages = shown.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("No such device"), std::string::npos) << messages[0];
    // Handed over from the output thread as the wave error it is, so the window can say what to do.
    EXPECT_EQ(WaveOutFault(shown.WaveCodes().at(0)), TMPWaveFault::NoDevice);
    EXPECT_EQ(shown.ForeignThread(), 0);

    // The device is back (plugged in again): the same player plays to the end. (ALSA's null PCM takes
    // audio as fast as it comes, so that end comes soon.)
    gFramesBeforeFailure.store(-1);
    {
        Watchdog watchdog(30, "playback after a device failure");
        player.Play();
        ASSERT_TRUE(PumpUntil([&] { return log.EndReasons.size() == 2; }));
    }
    EXPECT_EQ(log.EndReasons.back(), meprEndOfStream);
    PumpFor(100);
    EXPECT_EQ(shown.Messages().size(), 1u);
}

TEST_F(FailingAlsaDevice, ADeviceThatFailsAfterTheLastBufferWasQueuedStillEndsWithAnError) {
    TempDir dir;
    // 0.3 s: the whole stream fits in the player's buffers before the device has played much of it.
    const std::string path = dir.Write("short.mp3", RepeatedStream(1));
    ShownErrors shown;
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    ASSERT_TRUE(player.IsOpen());
    gFramesBeforeFailure.store(4410);
    {
        Watchdog watchdog(30, "the end of a stream on a failing device");
        player.Play();
        ASSERT_TRUE(PumpUntil([&] { return !log.EndReasons.empty(); }));
    }
    EXPECT_EQ(log.EndReasons, std::vector<TMP3EndPlayReason>{meprError});
    PumpFor(200);
    ASSERT_EQ(shown.Messages().size(), 1u);
    EXPECT_NE(shown.Messages()[0].find("No such device"), std::string::npos) << shown.Messages()[0];
}

TEST_F(FailingAlsaDevice, StopWhileTheDeviceFailsDoesNotHang) {
    TempDir dir;
    const std::string path = dir.Write("long.mp3", RepeatedStream(30));
    ShownErrors shown;
    TMP3Player player;
    EventLog log(player);
    OpenQuietly(player, path);
    gFramesBeforeFailure.store(2000);
    player.Play();
    // Without pumping: the failure meets a window thread that is busy stopping.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    {
        Watchdog watchdog(20, "Stop on a failed device");
        player.Stop();
    }
    EXPECT_EQ(player.Status(), mpsStopped);
    PumpFor(200);
    ASSERT_EQ(log.EndReasons.size(), 1u);
    EXPECT_LE(shown.Messages().size(), 1u);
}

} // namespace
