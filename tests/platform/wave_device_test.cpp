// Tests of the wave device on the null backend (and on ALSA's own "null" PCM where ALSA can open it):
// done notifications, real-time pace, pause, reset, header rules, volume, error texts and software volume.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "wave_device.h"
#include "wave_test_support.h"

using namespace tunelo;
using namespace tunelo::test;
using namespace std::chrono_literals;

namespace {

const bool kNullAudio = [] { return setenv("TUNELO_AUDIO", "null", 1) == 0; }();

// Buffers of the given lengths with their headers.
struct Buffers {
    explicit Buffers(const std::vector<uint32_t>& lengths) : Data(lengths.size()), Headers(lengths.size()) {
        for (size_t i = 0; i < lengths.size(); ++i) {
            Data[i].assign(lengths[i], static_cast<uint8_t>(i + 1));
            Headers[i].Data = Data[i].data();
            Headers[i].BufferLength = lengths[i];
        }
    }

    std::vector<std::vector<uint8_t>> Data;
    std::vector<TMPWaveHeader> Headers;
};

void PrepareAndQueueAll(TMPWaveDevice& device, Buffers& buffers) {
    for (TMPWaveHeader& header : buffers.Headers) {
        ASSERT_EQ(device.Prepare(header), MMSYSERR_NOERROR);
    }
    for (TMPWaveHeader& header : buffers.Headers) {
        ASSERT_EQ(device.Write(header), MMSYSERR_NOERROR);
    }
}

TEST(NullWaveDevice, OpensOnlyValidFormatsAndDevices) {
    ASSERT_TRUE(kNullAudio);
    EXPECT_EQ(WaveOutGetNumDevs(), 1u);
    std::unique_ptr<TMPWaveDevice> device;
    EXPECT_EQ(WaveOutOpen(device, 1, Format(44100, 2, 16), {}), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(WaveOutOpen(device, WAVE_MAPPER, Format(44100, 3, 16), {}), WAVERR_BADFORMAT);
    EXPECT_EQ(WaveOutOpen(device, WAVE_MAPPER, Format(44100, 2, 24), {}), WAVERR_BADFORMAT);
    EXPECT_EQ(WaveOutOpen(device, WAVE_MAPPER, Format(0, 2, 16), {}), WAVERR_BADFORMAT);
    TMPWaveFormat inconsistent = Format(44100, 2, 16);
    inconsistent.BlockAlign = 2;
    EXPECT_EQ(WaveOutOpen(device, WAVE_MAPPER, inconsistent, {}), WAVERR_BADFORMAT);
    inconsistent = Format(44100, 2, 16);
    inconsistent.FormatTag = 3;
    EXPECT_EQ(WaveOutOpen(device, WAVE_MAPPER, inconsistent, {}), WAVERR_BADFORMAT);
    EXPECT_EQ(device, nullptr);

    EXPECT_EQ(WaveOutOpen(device, WAVE_MAPPER, Format(8000, 1, 8), {}), MMSYSERR_NOERROR);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(WaveOutOpen(device, 0, Format(48000, 2, 16), {}), MMSYSERR_NOERROR);
}

TEST(NullWaveDevice, ReturnsEveryBufferOnceInQueueOrderAtRealTimePace) {
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    const TMPWaveFormat format = Format(44100, 2, 16);
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, format, collector.Notify()), MMSYSERR_NOERROR);
    // 100 ms, 0 ms, 50 ms, 150 ms.
    Buffers buffers({17640, 0, 8820, 26460});
    const uint32_t total = 17640 + 8820 + 26460;
    const auto start = std::chrono::steady_clock::now();
    PrepareAndQueueAll(*device, buffers);

    // Never ahead of the clock: no more bytes played than the time since queuing allows.
    size_t doneSoFar = 0;
    while (doneSoFar < 4) {
        const uint32_t position = Position(*device);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const double allowed = std::chrono::duration<double>(elapsed).count() * format.AvgBytesPerSec;
        EXPECT_LE(position, allowed + format.BlockAlign);
        EXPECT_LE(position, total);
        std::this_thread::sleep_for(5ms);
        doneSoFar = collector.Done().size();
    }
    ASSERT_TRUE(collector.WaitFor(4));
    const std::vector<TMPWaveHeader*> done = collector.Done();
    ASSERT_EQ(done.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(done[i], &buffers.Headers[i]) << i;
        EXPECT_EQ(buffers.Headers[i].Flags & (WHDR_DONE | WHDR_INQUEUE | WHDR_PREPARED),
                  WHDR_DONE | WHDR_PREPARED);
    }
    EXPECT_EQ(collector.Messages(), std::vector<uint32_t>(4, MM_WOM_DONE));
    EXPECT_EQ(Position(*device), total);
    // Time with nothing queued plays nothing.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(Position(*device), total);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

TEST(NullWaveDevice, EnforcesThePreparedAndQueuedStatesOfHeaders) {
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, Format(8000, 1, 8), collector.Notify()), MMSYSERR_NOERROR);
    Buffers buffers({8000});
    TMPWaveHeader& header = buffers.Headers[0];
    EXPECT_EQ(device->Write(header), WAVERR_UNPREPARED);
    ASSERT_EQ(device->Prepare(header), MMSYSERR_NOERROR);
    ASSERT_EQ(device->Write(header), MMSYSERR_NOERROR);
    EXPECT_EQ(device->Write(header), WAVERR_STILLPLAYING);
    EXPECT_EQ(device->Unprepare(header), WAVERR_STILLPLAYING);
    EXPECT_EQ(device->Close(), WAVERR_STILLPLAYING);
    EXPECT_EQ(device->Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(collector.Done(), std::vector<TMPWaveHeader*>{&header});
    EXPECT_EQ(device->Unprepare(header), MMSYSERR_NOERROR);
    EXPECT_EQ(device->Write(header), WAVERR_UNPREPARED);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

TEST(NullWaveDevice, PauseHoldsThePositionAndTheBuffersUntilRestart) {
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    const TMPWaveFormat format = Format(22050, 1, 16);
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, format, collector.Notify()), MMSYSERR_NOERROR);
    Buffers buffers({4410, 4410}); // 100 ms each
    PrepareAndQueueAll(*device, buffers);
    ASSERT_EQ(device->Pause(), MMSYSERR_NOERROR);
    const uint32_t pausedAt = Position(*device);
    const size_t doneAtPause = collector.Done().size();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(Position(*device), pausedAt);
    EXPECT_EQ(collector.Done().size(), doneAtPause);
    ASSERT_EQ(device->Restart(), MMSYSERR_NOERROR);
    ASSERT_TRUE(collector.WaitFor(2));
    EXPECT_EQ(Position(*device), 8820u);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

TEST(NullWaveDevice, ResetReturnsEveryQueuedBufferBeforeItReturnsAndRewindsThePosition) {
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    const TMPWaveFormat format = Format(44100, 2, 16);
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, format, collector.Notify()), MMSYSERR_NOERROR);
    Buffers buffers({176400, 176400, 176400}); // a second each
    PrepareAndQueueAll(*device, buffers);
    ASSERT_EQ(device->Pause(), MMSYSERR_NOERROR);
    ASSERT_EQ(device->Reset(), MMSYSERR_NOERROR);
    const std::vector<TMPWaveHeader*> done = collector.Done();
    ASSERT_EQ(done.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(done[i], &buffers.Headers[i]);
        EXPECT_EQ(buffers.Headers[i].Flags & WHDR_INQUEUE, 0u);
    }
    EXPECT_EQ(Position(*device), 0u);

    // The reset also ended the pause: a buffer queued now plays and counts from 0.
    Buffers more({1764});
    PrepareAndQueueAll(*device, more);
    ASSERT_TRUE(collector.WaitFor(4));
    EXPECT_EQ(collector.Done().back(), &more.Headers[0]);
    EXPECT_EQ(Position(*device), 1764u);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

TEST(WaveDevice, VolumeBelongsToTheDeviceAndOutlivesAHandle) {
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, Format(44100, 2, 16), {}), MMSYSERR_NOERROR);
    ASSERT_EQ(device->SetVolume(0x1234ABCD), MMSYSERR_NOERROR);
    uint32_t volume = 0;
    ASSERT_EQ(device->GetVolume(volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x1234ABCDu);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    device.reset();

    volume = 0;
    ASSERT_EQ(WaveOutGetVolume(0, volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x1234ABCDu);
    EXPECT_EQ(WaveOutGetVolume(7, volume), MMSYSERR_BADDEVICEID);
    ASSERT_EQ(WaveOutOpen(device, 0, Format(8000, 1, 8), {}), MMSYSERR_NOERROR);
    volume = 0;
    ASSERT_EQ(device->GetVolume(volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x1234ABCDu);
    device->SetVolume(0xFFFFFFFF);
}

TEST(WaveDevice, ErrorTextsCoverTheDeviceCodesAndTheSoundSystemsErrors) {
    std::string text;
    for (int32_t code : {MMSYSERR_ERROR, MMSYSERR_BADDEVICEID, MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER,
                         MMSYSERR_NOMEM, MMSYSERR_NOTSUPPORTED, MMSYSERR_INVALPARAM, WAVERR_BADFORMAT,
                         WAVERR_STILLPLAYING, WAVERR_UNPREPARED, WAVERR_UNKNOWNBACKEND}) {
        text.clear();
        EXPECT_TRUE(WaveOutGetErrorText(code, text)) << code;
        EXPECT_FALSE(text.empty()) << code;
    }
    EXPECT_FALSE(WaveOutGetErrorText(12345, text));
    ASSERT_TRUE(WaveOutGetErrorText(-EBUSY, text));
    EXPECT_EQ(text, std::strerror(EBUSY));
}

TEST(WaveDevice, AnUnknownBackendSettingOpensNothing) {
    setenv("TUNELO_AUDIO", "oss", 1);
    std::unique_ptr<TMPWaveDevice> device;
    const int32_t result = WaveOutOpen(device, WAVE_MAPPER, Format(44100, 2, 16), {});
    const uint32_t devices = WaveOutGetNumDevs();
    uint32_t volume = 0;
    const int32_t volumeResult = WaveOutGetVolume(WAVE_MAPPER, volume);
    setenv("TUNELO_AUDIO", "null", 1);
    EXPECT_EQ(result, WAVERR_UNKNOWNBACKEND);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(devices, 0u);
    EXPECT_EQ(volumeResult, MMSYSERR_NODRIVER);
    std::string text;
    ASSERT_TRUE(WaveOutGetErrorText(result, text));
    EXPECT_NE(text.find("TUNELO_AUDIO"), std::string::npos);
}

std::vector<uint8_t> Samples16(const std::vector<int16_t>& values) {
    std::vector<uint8_t> bytes(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

std::vector<int16_t> Values16(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> values(bytes.size() / 2);
    std::memcpy(values.data(), bytes.data(), bytes.size());
    return values;
}

TEST(ApplyWaveVolume, ScalesLeftByTheLowLevelAndRightByTheHighLevel) {
    const std::vector<int16_t> stereo = {32767, -32768, -1000, 1000, 12345, -12345};
    std::vector<uint8_t> bytes = Samples16(stereo);
    ApplyWaveVolume(bytes.data(), 3, 2, 16, 0xFFFFFFFF);
    EXPECT_EQ(Values16(bytes), stereo);
    ApplyWaveVolume(bytes.data(), 3, 2, 16, 0xFFFF0000 | 0xFFFF);
    EXPECT_EQ(Values16(bytes), stereo) << "full level on both sides written out";

    bytes = Samples16(stereo);
    ApplyWaveVolume(bytes.data(), 3, 2, 16, 0x0000FFFF); // right silent
    std::vector<int16_t> values = Values16(bytes);
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i], i % 2 == 0 ? stereo[i] : 0) << i;
    }

    bytes = Samples16(stereo);
    ApplyWaveVolume(bytes.data(), 3, 2, 16, 0x80000000 | 0x4000); // left quarter, right half
    values = Values16(bytes);
    for (size_t i = 0; i < values.size(); ++i) {
        const double expected = stereo[i] * (i % 2 == 0 ? 0.25 : 0.5);
        EXPECT_NEAR(values[i], expected, 1.01) << i;
    }

    const std::vector<int16_t> mono = {20000, -20000};
    bytes = Samples16(mono);
    ApplyWaveVolume(bytes.data(), 2, 1, 16, 0x00008000); // mono follows the left level
    values = Values16(bytes);
    EXPECT_NEAR(values[0], 10000, 1.01);
    EXPECT_NEAR(values[1], -10000, 1.01);
}

TEST(ApplyWaveVolume, ScalesEightBitSamplesAroundTheirMidpoint) {
    std::vector<uint8_t> samples = {0, 128, 255, 200};
    ApplyWaveVolume(samples.data(), 2, 2, 8, 0xFFFFFFFF);
    EXPECT_EQ(samples, (std::vector<uint8_t>{0, 128, 255, 200}));
    ApplyWaveVolume(samples.data(), 2, 2, 8, 0);
    EXPECT_EQ(samples, (std::vector<uint8_t>{128, 128, 128, 128}));
    samples = {0, 128, 255, 200};
    ApplyWaveVolume(samples.data(), 4, 1, 8, 0x8000);
    EXPECT_NEAR(samples[0], 64, 1);
    EXPECT_EQ(samples[1], 128);
    EXPECT_NEAR(samples[2], 191.5, 1);
    EXPECT_NEAR(samples[3], 164, 1);
}

// ALSA's "null" PCM swallows audio without a sound card, so the ALSA backend's feeder, its notifications
// and its reset can be checked on any machine whose ALSA configuration has it.
class AlsaNullPcm : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TUNELO_AUDIO", "alsa:null", 1);
        if (WaveOutGetNumDevs() == 0) {
            setenv("TUNELO_AUDIO", "null", 1);
            GTEST_SKIP() << "ALSA cannot open its null PCM here";
        }
    }
    void TearDown() override { setenv("TUNELO_AUDIO", "null", 1); }
};

TEST_F(AlsaNullPcm, FeedsEveryBufferAndReturnsThemInOrder) {
    for (const TMPWaveFormat& format : {Format(44100, 2, 16), Format(22050, 1, 16), Format(8000, 1, 8)}) {
        DoneCollector collector;
        std::unique_ptr<TMPWaveDevice> device;
        ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, format, collector.Notify()), MMSYSERR_NOERROR);
        device->SetVolume(0x40008000);
        const uint32_t quarter = format.AvgBytesPerSec / 4;
        Buffers buffers({quarter, quarter, 0, quarter + format.BlockAlign});
        PrepareAndQueueAll(*device, buffers);
        ASSERT_TRUE(collector.WaitFor(4));
        const std::vector<TMPWaveHeader*> done = collector.Done();
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(done[i], &buffers.Headers[i]);
        }
        // The feeder copies: the caller's buffers keep their bytes.
        EXPECT_EQ(buffers.Data[0][0], 1);
        EXPECT_LE(Position(*device), 3 * quarter + format.BlockAlign);
        EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
        device.reset();
    }
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, Format(44100, 2, 16), {}), MMSYSERR_NOERROR);
    device->SetVolume(0xFFFFFFFF);
}

TEST_F(AlsaNullPcm, ResetReturnsQueuedBuffersAndPauseHoldsThem) {
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, Format(44100, 2, 16), collector.Notify()), MMSYSERR_NOERROR);
    ASSERT_EQ(device->Pause(), MMSYSERR_NOERROR);
    Buffers buffers({17640, 17640, 17640});
    PrepareAndQueueAll(*device, buffers);
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(collector.Done().empty()) << "a paused device returned a buffer";
    ASSERT_EQ(device->Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(collector.Done().size(), 3u);
    EXPECT_EQ(Position(*device), 0u);
    Buffers more({17640});
    PrepareAndQueueAll(*device, more);
    ASSERT_TRUE(collector.WaitFor(4));
    EXPECT_EQ(collector.Done().back(), &more.Headers[0]);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

} // namespace
