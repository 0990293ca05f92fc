// The PulseAudio wave device against a real, private PulseAudio daemon with a null sink: what it plays is
// recorded from the sink's monitor and compared sample for sample; done notifications, pause, reset,
// volume, the position against the clock, the stream's properties, the automatic choice, and a server
// killed while it plays. tunelo-cli play through the daemon must record exactly as tunelo-cli decode
// decodes.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../cli/cli_run.h"
#include "pulse_test_server.h"
#include "wave_backend.h"
#include "wave_device.h"
#include "wave_test_support.h"

using namespace tunelo;
using namespace tunelo::test;
using namespace pulsetest;
using namespace std::chrono_literals;

namespace {

const TMPWaveFormat kCd = Format(44100, 2, 16);

// Stereo 16-bit tones, different on each side, never silent after the first frame.
std::vector<int16_t> Tone(size_t frames, size_t firstFrame) {
    std::vector<int16_t> samples(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(firstFrame + i) / 44100.0;
        samples[2 * i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * t) + 1000);
        samples[2 * i + 1] = static_cast<int16_t>(-9000 * std::sin(2 * M_PI * 660 * t) - 1000);
    }
    return samples;
}

struct ToneBuffers {
    explicit ToneBuffers(const std::vector<size_t>& frames) {
        size_t first = 0;
        for (size_t count : frames) {
            Samples.push_back(Tone(count, first));
            first += count;
        }
        Headers.resize(frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            Headers[i].Data = reinterpret_cast<uint8_t*>(Samples[i].data());
            Headers[i].BufferLength = static_cast<uint32_t>(Samples[i].size() * 2);
        }
    }
    std::vector<int16_t> All() const {
        std::vector<int16_t> all;
        for (const auto& part : Samples) {
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }
    std::vector<std::vector<int16_t>> Samples;
    std::vector<TMPWaveHeader> Headers;
};

void QueueAll(TMPWaveDevice& device, std::vector<TMPWaveHeader>& headers) {
    for (TMPWaveHeader& header : headers) {
        ASSERT_EQ(device.Prepare(header), MMSYSERR_NOERROR);
        ASSERT_EQ(device.Write(header), MMSYSERR_NOERROR);
    }
}

// The daemon is shared by the suite; a test that kills it starts it again.
class PulseWaveDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gServer = new TPulseTestServer;
        gStartFailure = gServer->Start();
    }
    static void TearDownTestSuite() {
        delete gServer;
        gServer = nullptr;
        unsetenv("PULSE_SERVER");
    }
    void SetUp() override {
        if (!gStartFailure.empty()) {
            GTEST_SKIP() << "no private PulseAudio daemon: " << gStartFailure;
        }
        setenv("TUNELO_AUDIO", "pulse", 1);
        SetWaveOutputChoice({});
    }
    void TearDown() override {
        setenv("TUNELO_AUDIO", "null", 1);
        SetWaveOutputChoice({});
        std::unique_ptr<TMPWaveDevice> device;
        // Full volume again for the next test.
        if (WaveOutOpen(device, WAVE_MAPPER, kCd, {}) == MMSYSERR_NOERROR) {
            device->SetVolume(0xFFFFFFFF);
        }
    }

    static TPulseTestServer* gServer;
    static std::string gStartFailure;
};

TPulseTestServer* PulseWaveDevice::gServer = nullptr;
std::string PulseWaveDevice::gStartFailure;

TEST_F(PulseWaveDevice, PlaysEveryBufferToTheSinkAndReturnsEachOnceHeardInOrder) {
    TMonitorRecording recording(*gServer, "buffers.raw");
    ASSERT_TRUE(recording.Running());
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify()), MMSYSERR_NOERROR);
    // 250 ms, an empty buffer, 100 ms, 400 ms: 750 ms in all.
    ToneBuffers buffers({11025, 0, 4410, 17640});
    const auto start = std::chrono::steady_clock::now();
    QueueAll(*device, buffers.Headers);
    ASSERT_TRUE(collector.WaitFor(4));
    const std::vector<TMPWaveHeader*> done = collector.Done();
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(done[i], &buffers.Headers[i]) << i;
        EXPECT_EQ(buffers.Headers[i].Flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE) << i;
    }
    // The last buffer comes back when it has been heard, not when the server took it.
    const double lastDone = std::chrono::duration<double>(collector.Times().back() - start).count();
    EXPECT_GE(lastDone, 0.75 - 0.05);
    EXPECT_LE(lastDone, 0.75 + 1.0);
    EXPECT_EQ(Position(*device), 33075u * 4);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    device.reset();

    const std::vector<int16_t> recorded = recording.Stop();
    const std::vector<int16_t> played = buffers.All();
    const int64_t offset = AlignmentOffset(recorded, played);
    ASSERT_GE(offset, 0) << "nothing reached the sink";
    EXPECT_EQ(Mismatches(recorded, played, offset), 0u) << "of " << played.size() << " samples";
}

TEST_F(PulseWaveDevice, ThePositionFollowsTheClockNotWhatTheServerHolds) {
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify()), MMSYSERR_NOERROR);
    ToneBuffers buffers({22050, 22050, 22050, 22050}); // 2 s
    const auto start = std::chrono::steady_clock::now();
    QueueAll(*device, buffers.Headers);
    uint32_t previous = 0;
    while (collector.Done().size() < 4) {
        const uint32_t position = Position(*device);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Never ahead of what the clock allows by more than 50 ms: the server's buffer and the sink's
        // latency are not yet heard.
        EXPECT_LE(position, (elapsed + 0.05) * kCd.AvgBytesPerSec) << elapsed;
        // Nor far behind it, once the first sound is out.
        if (elapsed > 0.6 && position < 4 * 88200) {
            EXPECT_GE(position, (elapsed - 0.5) * kCd.AvgBytesPerSec) << elapsed;
        }
        EXPECT_GE(position, previous);
        EXPECT_EQ(position % 4, 0u);
        previous = position;
        std::this_thread::sleep_for(20ms);
        ASSERT_LT(elapsed, 20.0);
    }
    EXPECT_EQ(Position(*device), 4u * 88200);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

TEST_F(PulseWaveDevice, PauseHoldsPositionAndBuffersAndResetReturnsThemAll) {
    TMonitorRecording recording(*gServer, "reset.raw");
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify()), MMSYSERR_NOERROR);
    ToneBuffers buffers({44100, 44100, 44100}); // a second each
    QueueAll(*device, buffers.Headers);
    std::this_thread::sleep_for(400ms);
    ASSERT_EQ(device->Pause(), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(100ms);
    const uint32_t pausedAt = Position(*device);
    EXPECT_GT(pausedAt, 0u);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(Position(*device), pausedAt);
    EXPECT_TRUE(collector.Done().empty());
    ASSERT_EQ(device->Restart(), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(Position(*device), pausedAt);

    ASSERT_EQ(device->Reset(), MMSYSERR_NOERROR);
    std::vector<TMPWaveHeader*> done = collector.Done();
    ASSERT_EQ(done.size(), 3u) << "Reset returned before every buffer was back";
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(done[i], &buffers.Headers[i]);
        EXPECT_EQ(buffers.Headers[i].Flags & WHDR_INQUEUE, 0u);
    }
    EXPECT_EQ(Position(*device), 0u);

    // After the reset a new buffer plays from position 0, whole.
    ToneBuffers more({8820});
    QueueAll(*device, more.Headers);
    ASSERT_TRUE(collector.WaitFor(4));
    EXPECT_EQ(collector.Done().back(), &more.Headers[0]);
    EXPECT_EQ(Position(*device), 8820u * 4);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    device.reset();
    const std::vector<int16_t> recorded = recording.Stop();
    // The buffer after the reset is the recording's last sound.
    const std::vector<int16_t>& last = more.Samples[0];
    size_t end = recorded.size();
    while (end >= 2 && recorded[end - 1] == 0 && recorded[end - 2] == 0) {
        end -= 2;
    }
    ASSERT_GE(end, last.size());
    EXPECT_EQ(Mismatches(recorded, last, static_cast<int64_t>(end - last.size())), 0u);
}

TEST_F(PulseWaveDevice, VolumeAndBalanceScaleTheSamplesSentToTheServer) {
    TMonitorRecording recording(*gServer, "volume.raw");
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify()), MMSYSERR_NOERROR);
    device->SetVolume(0x00008000); // left at half, right silent
    ToneBuffers buffers({8820});
    QueueAll(*device, buffers.Headers);
    ASSERT_TRUE(collector.WaitFor(1));
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    device.reset();
    const std::vector<int16_t> recorded = recording.Stop();
    std::vector<int16_t> expected = buffers.Samples[0];
    ApplyWaveVolume(reinterpret_cast<uint8_t*>(expected.data()), 8820, 2, 16, 0x00008000);
    const int64_t offset = AlignmentOffset(recorded, expected);
    ASSERT_GE(offset, 0);
    EXPECT_EQ(Mismatches(recorded, expected, offset), 0u);
    int16_t loudestRight = 0;
    for (size_t i = 1; i < recorded.size(); i += 2) {
        loudestRight = std::max<int16_t>(loudestRight, static_cast<int16_t>(std::abs(recorded[i])));
    }
    EXPECT_EQ(loudestRight, 0);
}

TEST_F(PulseWaveDevice, TheStreamCarriesTheApplicationTheRoleAndTheTrack) {
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify()), MMSYSERR_NOERROR);
    device->SetMediaInfo("Song Title", "Some Artist");
    // The update reaches the server asynchronously.
    std::string listing;
    for (int i = 0; i < 100 && listing.find("Some Artist") == std::string::npos; ++i) {
        std::this_thread::sleep_for(20ms);
        listing = gServer->PactlText({"list", "sink-inputs"});
    }
    EXPECT_NE(listing.find("application.name = \"TUNELO\""), std::string::npos) << listing;
    EXPECT_NE(listing.find("application.icon_name = "), std::string::npos) << listing;
    EXPECT_NE(listing.find("media.role = \"music\""), std::string::npos) << listing;
    EXPECT_NE(listing.find("media.title = \"Song Title\""), std::string::npos) << listing;
    EXPECT_NE(listing.find("media.artist = \"Some Artist\""), std::string::npos) << listing;
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

TEST_F(PulseWaveDevice, WithoutAChoiceTheAnsweringServerIsUsedAndItsSinksAreListed) {
    unsetenv("TUNELO_AUDIO");
    EXPECT_EQ(WaveOutGetNumDevs(), 1u);
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify()), MMSYSERR_NOERROR);
    EXPECT_NE(gServer->PactlText({"list", "sink-inputs"}).find("TUNELO"), std::string::npos)
        << "the default choice did not reach the server";
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    device.reset();

    const std::vector<TMPWaveOutput> outputs = ListWaveOutputs();
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].Name, "pulse:tunelo_test");
    EXPECT_FALSE(outputs[0].Description.empty());

    // The program's choice goes before TUNELO_AUDIO, and names a sink.
    setenv("TUNELO_AUDIO", "null", 1);
    SetWaveOutputChoice("pulse:no_such_sink");
    const int32_t refused = WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify());
    EXPECT_NE(refused, MMSYSERR_NOERROR);
    std::string text;
    ASSERT_TRUE(WaveOutGetErrorText(refused, text));
    EXPECT_NE(text.find(gServer->Socket().string()), std::string::npos) << text;
    EXPECT_NE(text.find("no output \"no_such_sink\""), std::string::npos) << text;
    SetWaveOutputChoice("pulse:tunelo_test");
    EXPECT_EQ(WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify()), MMSYSERR_NOERROR);
}

TEST_F(PulseWaveDevice, WithoutAServerTheChoiceFallsBackToAlsaOrSaysThereIsNoSoundDevice) {
    unsetenv("TUNELO_AUDIO");
    // No autospawn: a server address where nothing listens stays silent.
    setenv("PULSE_SERVER", ("unix:" + (gServer->Folder() / "nothing").string()).c_str(), 1);
    std::unique_ptr<TMPWaveDevice> device;
    const int32_t result = WaveOutOpen(device, WAVE_MAPPER, kCd, {});
    const bool alsa = AlsaWaveDeviceAvailable("default");
    EXPECT_EQ(WaveOutGetNumDevs(), alsa ? 1u : 0u);
    setenv("PULSE_SERVER", gServer->Address().c_str(), 1);
    EXPECT_EQ(result, alsa ? MMSYSERR_NOERROR : WAVERR_NOSOUNDDEVICE);
    std::string text;
    ASSERT_TRUE(WaveOutGetErrorText(WAVERR_NOSOUNDDEVICE, text));
    EXPECT_NE(text.find("No sound device"), std::string::npos);
    EXPECT_FALSE(fs::exists(gServer->Folder() / "nothing"));
}

TEST_F(PulseWaveDevice, AServerKilledWhilePlayingReturnsTheBuffersAndNamesItselfAndComesBack) {
    DoneCollector collector;
    std::unique_ptr<TMPWaveDevice> device;
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify()), MMSYSERR_NOERROR);
    ToneBuffers buffers({44100, 44100, 44100, 44100});
    QueueAll(*device, buffers.Headers);
    std::this_thread::sleep_for(300ms);
    gServer->Kill();
    ASSERT_TRUE(collector.WaitFor(4, 10s)) << "a dead server kept the buffers";
    const int32_t failure = device->Failure();
    EXPECT_NE(failure, MMSYSERR_NOERROR);
    EXPECT_EQ(device->Write(buffers.Headers[0]), failure);
    EXPECT_EQ(WaveOutFault(failure), TMPWaveFault::Lost) << "told apart from a server that never answered";
    std::string text;
    ASSERT_TRUE(WaveOutGetErrorText(failure, text));
    EXPECT_NE(text.find(gServer->Socket().string()), std::string::npos) << text;
    const auto closing = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    device.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 2s);

    const int32_t refused = WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify());
    EXPECT_NE(refused, MMSYSERR_NOERROR) << "no server, no device";
    ASSERT_TRUE(WaveOutGetErrorText(refused, text));
    EXPECT_NE(text.find(gServer->Socket().string()), std::string::npos) << text;
    ASSERT_EQ(gServer->Start(), "");
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, kCd, collector.Notify()), MMSYSERR_NOERROR);
    ToneBuffers again({4410});
    QueueAll(*device, again.Headers);
    ASSERT_TRUE(collector.WaitFor(5));
    EXPECT_EQ(collector.Done().back(), &again.Headers[0]);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

// The command line's play through the server, against its own decode.
TEST_F(PulseWaveDevice, CliPlayRecordsExactlyAsCliDecodeDecodes) {
    clitest::TempDir dir;
    const std::string mp3 = dir.Path("three.mp3").string();
    clitest::WriteBytes(mp3, clitest::RepeatedStream(10)); // 3 s at 128 kbit/s
    const std::string wav = dir.Path("three.wav").string();
    ASSERT_EQ(clitest::RunCli({"decode", mp3, wav}).ExitCode, 0);
    const clitest::Bytes decodedBytes = clitest::ReadBytes(wav);
    ASSERT_GT(decodedBytes.size(), 44u);
    std::vector<int16_t> decoded((decodedBytes.size() - 44) / 2);
    std::memcpy(decoded.data(), decodedBytes.data() + 44, decoded.size() * 2);

    TMonitorRecording recording(*gServer, "cli.raw");
    unsetenv("TUNELO_AUDIO"); // chosen by itself
    const clitest::CliResult played = clitest::RunCli({"play", mp3});
    EXPECT_EQ(played.ExitCode, 0) << played.Err;
    EXPECT_GE(played.Seconds, 2.9);
    const std::vector<int16_t> recorded = recording.Stop();
    const int64_t offset = AlignmentOffset(recorded, decoded);
    ASSERT_GE(offset, 0);
    EXPECT_EQ(Mismatches(recorded, decoded, offset), 0u) << "of " << decoded.size() << " samples";
}

TEST_F(PulseWaveDevice, CliPlayEndsWithAnErrorNamingTheServerWhenItIsKilledAndPlaysWhenItIsBack) {
    clitest::TempDir dir;
    const std::string mp3 = dir.Path("long.mp3").string();
    clitest::WriteBytes(mp3, clitest::RepeatedStream(30)); // 9 s
    clitest::CliResult played;
    std::thread player([&] { played = clitest::RunCli({"play", "--device", "pulse", mp3}); });
    std::this_thread::sleep_for(1500ms);
    gServer->Kill();
    player.join();
    EXPECT_EQ(played.ExitCode, 1);
    EXPECT_LT(played.Seconds, 6.0) << "the play went on without a server";
    EXPECT_NE(played.Err.find(gServer->Socket().string()), std::string::npos) << played.Err;

    ASSERT_EQ(gServer->Start(), "");
    clitest::WriteBytes(mp3, clitest::RepeatedStream(2));
    played = clitest::RunCli({"play", "--device", "pulse", mp3});
    EXPECT_EQ(played.ExitCode, 0) << played.Err;
}

} // namespace
