// Tests of the wave output on the null device and into WAV files: buffer size rule, buffer accounting,
// FreePercent, the waiter, done bytes, progress ticks, volume and balance levels, the WAV header, a close
// while file buffers are still queued, and the error texts.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "MP3Plyr.h"

using namespace tunelo;

namespace {

const bool kNullAudio = [] { return setenv("TUNELO_AUDIO", "null", 1) == 0; }();

std::vector<uint8_t> Pattern(size_t size, uint32_t seed = 7) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed;
    for (uint8_t& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t LE32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

uint16_t LE16(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::string Tag(const std::vector<uint8_t>& bytes, size_t at) {
    return std::string(reinterpret_cast<const char*>(&bytes[at]), 4);
}

// A scratch folder for WAV files, removed with its files at the end of the test.
class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/sound_out_test_XXXXXX";
        FPath = mkdtemp(name);
    }
    ~TempDir() {
        for (const std::string& file : FFiles) {
            unlink(file.c_str());
        }
        rmdir(FPath.c_str());
    }
    std::string File(const std::string& name) {
        FFiles.push_back(FPath + "/" + name);
        return FFiles.back();
    }

private:
    std::string FPath;
    std::vector<std::string> FFiles;
};

uint32_t DeviceVolume(TSoundOut& out) {
    uint32_t volume = 0;
    EXPECT_NE(out.WaveOut(), nullptr);
    if (out.WaveOut() != nullptr) {
        EXPECT_EQ(out.WaveOut()->GetVolume(volume), MMSYSERR_NOERROR);
    }
    return volume;
}

void RestoreFullVolume() {
    std::unique_ptr<TMPWaveDevice> device;
    TMPWaveFormat format;
    if (WaveOutOpen(device, WAVE_MAPPER, format, {}) == MMSYSERR_NOERROR) {
        device->SetVolume(0xFFFFFFFF);
    }
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EMPError& e) {
        return e.what();
    }
    return "no error";
}

TEST(SoundOut, BufferSizeHoldsAQuarterOfTwoSecondsRoundedUpToFourBytes) {
    EXPECT_EQ(TSoundOut::ComputeBufferSize(44100, 2, 16), 88200);
    EXPECT_EQ(TSoundOut::ComputeBufferSize(22050, 1, 16), 22052);
    EXPECT_EQ(TSoundOut::ComputeBufferSize(11025, 1, 16), 11028);
    EXPECT_EQ(TSoundOut::ComputeBufferSize(11025, 1, 8), 5512);
    EXPECT_EQ(TSoundOut::ComputeBufferSize(8000, 1, 8), 4000);
    EXPECT_EQ(TSoundOut::ComputeBufferSize(48000, 2, 16), 96000);
}

TEST(SoundOut, StartsWithDefaultsAndIgnoresOutOfRangeSettings) {
    ASSERT_TRUE(kNullAudio);
    TSoundOut out;
    EXPECT_EQ(out.SamplesPerSec(), 44100);
    EXPECT_EQ(out.Channels(), 2);
    EXPECT_EQ(out.BitsPerSample(), 16);
    EXPECT_FALSE(out.Active());
    EXPECT_EQ(out.Volume(), 100);
    EXPECT_EQ(out.Balance(), 0);
    EXPECT_EQ(out.DeviceId(), WAVE_MAPPER);
    EXPECT_EQ(out.ProgressInterval(), -1);
    EXPECT_TRUE(out.FileName().empty());

    out.SetBitsPerSample(24);
    out.SetChannels(3);
    out.SetChannels(0);
    out.SetSamplesPerSec(0);
    out.SetSamplesPerSec(-44100);
    out.SetVolume(101);
    out.SetVolume(-1);
    out.SetBalance(101);
    out.SetBalance(-101);
    EXPECT_EQ(out.BitsPerSample(), 16);
    EXPECT_EQ(out.Channels(), 2);
    EXPECT_EQ(out.SamplesPerSec(), 44100);
    EXPECT_EQ(out.Volume(), 100);
    EXPECT_EQ(out.Balance(), 0);

    out.SetBitsPerSample(8);
    out.SetChannels(1);
    out.SetSamplesPerSec(22050);
    out.SetVolume(0);
    out.SetBalance(-100);
    EXPECT_EQ(out.BitsPerSample(), 8);
    EXPECT_EQ(out.Channels(), 1);
    EXPECT_EQ(out.SamplesPerSec(), 22050);
    EXPECT_EQ(out.Volume(), 0);
    EXPECT_EQ(out.Balance(), -100);

    // Nothing to write into while closed.
    const std::vector<uint8_t> data(100);
    EXPECT_FALSE(out.CanWrite());
    EXPECT_EQ(out.Write(data.data(), 100), 0);
    EXPECT_EQ(out.FreePercent(), 0);
    EXPECT_EQ(out.GetDoneBytes(), 0);
    out.Flush();
    out.Reset();
    out.Close();
}

TEST(SoundOut, WriteFillsTheFourBuffersAndThenAcceptsNothing) {
    TSoundOut out;
    out.Open();
    ASSERT_TRUE(out.Active());
    EXPECT_FALSE(out.FileMode());
    out.Pause(); // nothing is played, so the accounting holds still
    const int32_t size = out.BufferSize();
    ASSERT_EQ(size, 88200);
    EXPECT_EQ(out.FreePercent(), 100);
    EXPECT_TRUE(out.CanWrite());

    const std::vector<uint8_t> pcm = Pattern(5 * static_cast<size_t>(size));
    EXPECT_EQ(out.Write(pcm.data(), size / 2), size / 2);
    EXPECT_EQ(out.Queued(), 0);
    EXPECT_EQ(out.FreePercent(), 87); // (4 x size - size / 2) x 100 div (4 x size)
    EXPECT_EQ(out.Write(pcm.data(), size), size);
    EXPECT_EQ(out.Queued(), 1);
    EXPECT_EQ(out.FreePercent(), 62);

    // More than fits: only the rest of the space is taken.
    const int32_t rest = 4 * size - size / 2 - size;
    EXPECT_EQ(out.Write(pcm.data(), 3 * size), rest);
    EXPECT_EQ(out.Queued(), 4);
    EXPECT_FALSE(out.CanWrite());
    EXPECT_EQ(out.FreePercent(), 0);
    EXPECT_EQ(out.Write(pcm.data(), 1), 0);

    out.Reset();
    out.WaitAllDone();
    EXPECT_EQ(out.Queued(), 0);
    EXPECT_EQ(out.FreePercent(), 100);
    EXPECT_EQ(out.GetDoneBytes(), 0);
    out.Close();
    EXPECT_FALSE(out.Active());
    EXPECT_EQ(out.WaveOut(), nullptr);
}

TEST(SoundOut, WaiterIsSignalledOnceABufferComesBack) {
    TSoundOut out;
    out.SetSamplesPerSec(8000);
    out.SetChannels(1);
    out.SetBitsPerSample(8);
    out.Open();
    out.Pause();
    const int32_t size = out.BufferSize();
    const std::vector<uint8_t> pcm = Pattern(4 * static_cast<size_t>(size));
    ASSERT_EQ(out.Write(pcm.data(), 4 * size), 4 * size);
    ASSERT_FALSE(out.CanWrite());

    TMPSimpleEvent waiter;
    out.SetWaiter(&waiter);
    EXPECT_EQ(waiter.WaitFor(20), WAIT_TIMEOUT) << "signalled while every buffer was queued";
    out.Unpause();
    ASSERT_EQ(waiter.WaitFor(30000), WAIT_OBJECT_0);
    EXPECT_TRUE(out.CanWrite());

    // With a buffer free, a new waiter is signalled at once.
    TMPSimpleEvent second;
    out.SetWaiter(&second);
    EXPECT_EQ(second.WaitFor(0), WAIT_OBJECT_0);
    out.Reset();
    out.Close();
}

TEST(SoundOut, DoneBytesAddUpToEverythingPlayedAndTicksComeFromTheOutputThread) {
    TSoundOut out;
    std::atomic<int> ticks{0};
    std::atomic<bool> elsewhere{false};
    out.SetProgressInterval(100);
    out.SetOnProgress([&](TSoundOut& sender) {
        ++ticks;
        if (&sender != &out || static_cast<uint32_t>(::syscall(SYS_gettid)) != out.Thread().ThreadId()) {
            elsewhere = true;
        }
    });
    out.Open();
    EXPECT_EQ(out.Thread().Timeout(), 100) << "the device's time-outs drive ticks while buffers are queued";
    const int32_t total = 88200 + 44100; // 750 ms
    const std::vector<uint8_t> pcm = Pattern(static_cast<size_t>(total));
    ASSERT_EQ(out.Write(pcm.data(), total), total);
    out.Flush();
    int64_t done = out.GetDoneBytes();
    out.WaitAllDone();
    EXPECT_EQ(out.Queued(), 0);
    EXPECT_EQ(out.Thread().Timeout(), -1) << "nothing queued: the output thread sleeps without time-out";
    done += out.GetDoneBytes();
    EXPECT_EQ(done, total);
    EXPECT_EQ(out.GetDoneBytes(), 0);
    EXPECT_GE(ticks.load(), 1);
    EXPECT_FALSE(elsewhere) << "a tick ran outside the output thread";
    out.Close();

    // Without an interval there are no ticks at all.
    out.SetProgressInterval(-1);
    const int before = ticks;
    out.Open();
    ASSERT_EQ(out.Write(pcm.data(), 44100), 44100);
    out.Flush();
    out.WaitAllDone();
    out.Close();
    EXPECT_EQ(ticks.load(), before);
}

TEST(SoundOut, ClearingOnProgressStopsTicksAtOnce) {
    TSoundOut out;
    std::atomic<int> ticks{0};
    out.SetProgressInterval(0);
    out.SetOnProgress([&](TSoundOut&) { ++ticks; });
    out.Open();
    const std::vector<uint8_t> pcm = Pattern(88200);
    ASSERT_EQ(out.Write(pcm.data(), 88200), 88200);
    out.SetOnProgress(nullptr);
    const int after = ticks;
    out.WaitAllDone();
    EXPECT_EQ(ticks.load(), after);
    out.Close();
}

TEST(SoundOut, VolumeAndBalanceBecomeTheDeviceLevels) {
    TSoundOut out;
    out.Open();
    EXPECT_EQ(DeviceVolume(out), 0xFFFFFFFFu);
    out.SetVolume(50);
    EXPECT_EQ(DeviceVolume(out), 0x80008000u);
    out.SetBalance(-100); // right silent
    EXPECT_EQ(DeviceVolume(out), 0x00008000u);
    out.SetBalance(100); // left silent
    EXPECT_EQ(DeviceVolume(out), 0x80000000u);
    out.SetBalance(-50);
    EXPECT_EQ(DeviceVolume(out), 0x40008000u);
    out.SetBalance(25);
    EXPECT_EQ(DeviceVolume(out), 0x80006000u);
    out.SetVolume(0);
    EXPECT_EQ(DeviceVolume(out), 0u);
    out.SetVolume(100);
    out.SetBalance(0);
    EXPECT_EQ(DeviceVolume(out), 0xFFFFFFFFu);
    out.Close();

    // Settings made while closed reach the device at the next Open.
    out.SetVolume(1);
    out.SetBalance(-100);
    out.Open();
    EXPECT_EQ(DeviceVolume(out), 0x0000028Fu); // (65535 + 50) div 100 = 655
    out.Close();
    RestoreFullVolume();
}

TEST(SoundOut, InitialVolumeIsTheLouderChannelOfTheDevice) {
    {
        std::unique_ptr<TMPWaveDevice> device;
        ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, TMPWaveFormat{}, {}), MMSYSERR_NOERROR);
        device->SetVolume(0x00008000); // left at half, right silent
    }
    TSoundOut half;
    EXPECT_EQ(half.Volume(), 50);
    {
        std::unique_ptr<TMPWaveDevice> device;
        ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, TMPWaveFormat{}, {}), MMSYSERR_NOERROR);
        device->SetVolume(0xFFFF0000);
    }
    TSoundOut full;
    EXPECT_EQ(full.Volume(), 100);
    RestoreFullVolume();

    // Without any device the volume reads as 100.
    setenv("TUNELO_AUDIO", "oss", 1);
    TSoundOut none;
    setenv("TUNELO_AUDIO", "null", 1);
    EXPECT_EQ(none.Volume(), 100);
}

TEST(SoundOut, DeviceFailuresReportTheDeviceTextWithTheOperation) {
    TSoundOut out;
    out.SetDeviceId(5);
    EXPECT_EQ(ErrorOf([&] { out.Open(); }),
              "The specified device identifier is out of range.(TSoundOut.Open:WaveOutOpen)");
    EXPECT_FALSE(out.Active());

    out.SetDeviceId(WAVE_MAPPER);
    setenv("TUNELO_AUDIO", "oss", 1);
    const std::string message = ErrorOf([&] { out.Open(); });
    setenv("TUNELO_AUDIO", "null", 1);
    EXPECT_EQ(message, "No such sound output: name one as pulse, pulse:SINK, alsa, alsa:NAME or null (in "
                       "TUNELO_AUDIO or tunelo-cli play --device).(TSoundOut.Open:WaveOutOpen)");
    EXPECT_FALSE(out.Active());
    out.Open();
    EXPECT_TRUE(out.Active());
    out.Close();
}

TEST(SoundOut, CloseWhilePausedDropsTheQueuedAudioInsteadOfWaitingForever) {
    TSoundOut out;
    out.Open();
    out.Pause();
    const std::vector<uint8_t> pcm = Pattern(200000);
    ASSERT_EQ(out.Write(pcm.data(), 200000), 200000);
    out.Close();
    EXPECT_FALSE(out.Active());
    EXPECT_EQ(out.Queued(), 0);
}

// The WAV file's header, checked field by field against the format and the number of data bytes.
void ExpectWavHeader(const std::vector<uint8_t>& file, uint16_t channels, uint32_t rate, uint16_t bits,
                     uint32_t dataBytes) {
    ASSERT_GE(file.size(), 44u);
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    EXPECT_EQ(Tag(file, 0), "RIFF");
    EXPECT_EQ(LE32(file, 4), dataBytes + 36);
    EXPECT_EQ(Tag(file, 8), "WAVE");
    EXPECT_EQ(Tag(file, 12), "fmt ");
    EXPECT_EQ(LE32(file, 16), 16u);
    EXPECT_EQ(LE16(file, 20), 1);
    EXPECT_EQ(LE16(file, 22), channels);
    EXPECT_EQ(LE32(file, 24), rate);
    EXPECT_EQ(LE32(file, 28), rate * align);
    EXPECT_EQ(LE16(file, 32), align);
    EXPECT_EQ(LE16(file, 34), bits);
    EXPECT_EQ(Tag(file, 36), "data");
    EXPECT_EQ(LE32(file, 40), dataBytes);
    EXPECT_EQ(file.size(), 44u + dataBytes);
}

TEST(SoundOut, FileModeWritesTheHeaderWithExactSizesAndEveryByte) {
    TempDir dir;
    TSoundOut out;
    std::atomic<int> ticks{0};
    out.SetProgressInterval(0);
    out.SetOnProgress([&](TSoundOut&) { ++ticks; });
    const std::string path = dir.File("stereo.wav");
    out.SetFileName(path);
    out.Open();
    EXPECT_TRUE(out.FileMode());
    EXPECT_EQ(out.WaveOut(), nullptr);
    out.SetFileName(dir.File("ignored.wav"));
    EXPECT_EQ(out.FileName(), path) << "the file name changed while active";
    std::this_thread::sleep_for(std::chrono::milliseconds(2)); // so that the first write is a tick later

    const int32_t total = 3 * 88200 + 1234;
    const std::vector<uint8_t> pcm = Pattern(static_cast<size_t>(total));
    int32_t written = 0;
    int64_t done = 0;
    while (written < total) {
        const int32_t n = out.Write(pcm.data() + written, std::min(total - written, 10000));
        written += n;
        done += out.GetDoneBytes();
    }
    // Pause, Unpause and Reset have no effect on a file.
    out.Pause();
    out.Unpause();
    out.Reset();
    out.Flush();
    out.WaitAllDone();
    done += out.GetDoneBytes();
    EXPECT_EQ(done, total);
    EXPECT_GE(ticks.load(), 1);
    EXPECT_FALSE(std::filesystem::exists(path)) << "the name shows only a complete file";
    out.FinishFile();
    out.Close();
    EXPECT_FALSE(out.Active());

    const std::vector<uint8_t> file = ReadFile(path);
    ExpectWavHeader(file, 2, 44100, 16, static_cast<uint32_t>(total));
    ASSERT_EQ(file.size(), 44u + total);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44));

    // The format of the next Open is the one set meanwhile, and an empty output gives an empty data chunk.
    out.SetChannels(1);
    out.SetBitsPerSample(8);
    out.SetSamplesPerSec(11025);
    const std::string empty = dir.File("empty.wav");
    out.SetFileName(empty);
    out.Open();
    out.FinishFile();
    out.Close();
    ExpectWavHeader(ReadFile(empty), 1, 11025, 8, 0);
}

TEST(SoundOut, FinishingAFileWritesTheSubmittedBuffersAndACloseBeforeThatLeavesNone) {
    TempDir dir;
    for (int round = 0; round < 3; ++round) {
        for (const bool finish : {true, false}) {
            TSoundOut out;
            out.SetSamplesPerSec(22050);
            out.SetChannels(1);
            const std::string path =
                dir.File("stop" + std::to_string(round) + (finish ? ".wav" : "-stopped.wav"));
            out.SetFileName(path);
            out.Open();
            const int32_t size = out.BufferSize();
            ASSERT_EQ(size, 22052);
            const std::vector<uint8_t> pcm = Pattern(static_cast<size_t>(size) * 4, 11 + round);
            // Three full buffers go to the output thread; the half buffer behind them is not submitted.
            ASSERT_EQ(out.Write(pcm.data(), 3 * size + size / 2), 3 * size + size / 2);
            if (!finish) {
                // Stopped or aborted: no partial file under the name, and no temporary left either.
                out.Close();
                EXPECT_FALSE(std::filesystem::exists(path));
                continue;
            }
            out.FinishFile();
            out.Close();
            const std::vector<uint8_t> file = ReadFile(path);
            ExpectWavHeader(file, 1, 22050, 16, static_cast<uint32_t>(3 * size));
            ASSERT_EQ(file.size(), 44u + 3 * size);
            EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 3 * size, file.begin() + 44));
        }
    }
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.File(""))) {
        ++entries;
    }
    EXPECT_EQ(entries, 3u) << "only the finished files";
}

TEST(SoundOut, FileCreationFailureLeavesTheOutputClosed) {
    TSoundOut out;
    out.SetFileName("/nonexistent-folder/out.wav");
    const std::string message = ErrorOf([&] { out.Open(); });
    EXPECT_NE(message.find("Cannot create file \"/nonexistent-folder/out.wav\""), std::string::npos)
        << message;
    EXPECT_FALSE(out.Active());
}

TEST(SoundOut, AFailedFileWriteIsReportedOnceAndLeavesNoFile) {
    TempDir dir;
    TSoundOut out;
    std::mutex mutex;
    std::vector<std::string> errors;
    std::atomic<uint32_t> reportedOn{0};
    out.SetOnException([&](TSoundOut&, const std::exception& error, bool& handled) {
        std::lock_guard lock(mutex);
        errors.push_back(error.what());
        reportedOn = out.Thread().ThreadId();
        handled = true;
    });
    const std::string path = dir.File("full.wav");
    out.SetFileName(path);
    out.Open();

    // The file may not grow beyond 44 + 1000 bytes: the first buffer is cut short, the rest fail.
    signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 1044;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::vector<uint8_t> pcm = Pattern(3 * 88200);
    const int32_t accepted = out.Write(pcm.data(), 3 * 88200);
    out.Flush();
    out.WaitAllDone();
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, SIG_DFL);

    EXPECT_EQ(accepted, 3 * 88200);
    EXPECT_EQ(out.Queued(), 0) << "buffers whose write failed stayed queued";
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("Cannot write to file \"" + path + "\""), std::string::npos) << errors[0];
    }
    EXPECT_NE(reportedOn.load(), 0u);
    // A cut file would look valid: it never takes the name.
    out.FinishFile();
    out.Close();
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
