// The recording device of TUNELO_AUDIO=file:PATH: the WAV file holds exactly the bytes the device played,
// at once or (":paced") in real time; devices opened later with the same format carry on in the same
// file, another format starts the next file; a reset drops what was not yet played; an unwritable path
// fails the open.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "wave_device.h"

using namespace tunelo;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

TMPWaveFormat Format(uint32_t rate, uint16_t channels) {
    TMPWaveFormat format;
    format.Channels = channels;
    format.SamplesPerSec = rate;
    format.BitsPerSample = 16;
    format.BlockAlign = static_cast<uint16_t>(channels * 2);
    format.AvgBytesPerSec = rate * format.BlockAlign;
    return format;
}

class DoneCounter {
public:
    TMPWaveNotify Notify() {
        return [this](uint32_t, uintptr_t, intptr_t) {
            std::lock_guard lock(FMutex);
            ++FCount;
            FArrived.notify_all();
        };
    }
    bool WaitFor(size_t count) {
        std::unique_lock lock(FMutex);
        return FArrived.wait_for(lock, 30s, [&] { return FCount >= count; });
    }

private:
    std::mutex FMutex;
    std::condition_variable FArrived;
    size_t FCount = 0;
};

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t LE(const Bytes& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | b[at + size_t(i)];
    }
    return v;
}

struct TWav {
    uint32_t Rate = 0;
    uint32_t Channels = 0;
    Bytes Data;
};

TWav ReadWav(const fs::path& path) {
    const Bytes file = ReadAll(path);
    TWav wav;
    EXPECT_GE(file.size(), 44u) << path;
    if (file.size() < 44) {
        return wav;
    }
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(LE(file, 4, 4), file.size() - 8) << "RIFF size";
    EXPECT_EQ(LE(file, 40, 4), file.size() - 44) << "data size";
    wav.Channels = LE(file, 22, 2);
    wav.Rate = LE(file, 24, 4);
    wav.Data.assign(file.begin() + 44, file.end());
    return wav;
}

// A pattern that shows any lost, doubled or reordered byte.
Bytes Pattern(size_t size, uint32_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
    }
    return bytes;
}

class WaveFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/wave_file_test_XXXXXX";
        FFolder = mkdtemp(name);
    }
    void TearDown() override {
        unsetenv("TUNELO_AUDIO");
        std::error_code error;
        fs::remove_all(FFolder, error);
    }
    void Record(const std::string& name, const char* suffix = "") {
        const std::string setting = "file:" + (FFolder / name).string() + suffix;
        setenv("TUNELO_AUDIO", setting.c_str(), 1);
    }
    // Plays buffers through a new device and closes it.
    void Play(const TMPWaveFormat& format, const std::vector<Bytes>& buffers) {
        DoneCounter done;
        std::unique_ptr<TMPWaveDevice> device;
        ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, format, done.Notify()), MMSYSERR_NOERROR);
        std::vector<Bytes> data = buffers;
        std::vector<TMPWaveHeader> headers(data.size());
        for (size_t i = 0; i < data.size(); ++i) {
            headers[i].Data = data[i].data();
            headers[i].BufferLength = static_cast<uint32_t>(data[i].size());
            ASSERT_EQ(device->Prepare(headers[i]), MMSYSERR_NOERROR);
            ASSERT_EQ(device->Write(headers[i]), MMSYSERR_NOERROR);
        }
        ASSERT_TRUE(done.WaitFor(data.size()));
        for (TMPWaveHeader& header : headers) {
            ASSERT_EQ(device->Unprepare(header), MMSYSERR_NOERROR);
        }
        EXPECT_EQ(device->Failure(), MMSYSERR_NOERROR);
        EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    }

    fs::path FFolder;
};

TEST_F(WaveFileTest, RecordsEveryBufferInOrderAcrossDevicesOfOneFormat) {
    Record("album.wav");
    const Bytes a = Pattern(17640, 1), b = Pattern(4, 2), c = Pattern(70000, 3), d = Pattern(1000, 4);
    const auto start = std::chrono::steady_clock::now();
    Play(Format(44100, 2), {a, b, c});
    Play(Format(44100, 2), {d});
    // Unpaced: half a second of audio takes nowhere near half a second.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
    const TWav wav = ReadWav(FFolder / "album.wav");
    EXPECT_EQ(wav.Rate, 44100u);
    EXPECT_EQ(wav.Channels, 2u);
    Bytes expected = a;
    for (const Bytes* next : {&b, &c, &d}) {
        expected.insert(expected.end(), next->begin(), next->end());
    }
    EXPECT_TRUE(wav.Data == expected)
        << wav.Data.size() << " bytes recorded, " << expected.size() << " played";
}

TEST_F(WaveFileTest, AnotherFormatStartsTheNextFile) {
    Record("tracks.wav");
    const Bytes a = Pattern(4000, 5), b = Pattern(2000, 6), c = Pattern(800, 7);
    Play(Format(44100, 2), {a});
    Play(Format(22050, 1), {b});
    Play(Format(44100, 2), {c});
    const TWav first = ReadWav(FFolder / "tracks.wav");
    const TWav second = ReadWav(FFolder / "tracks-2.wav");
    const TWav third = ReadWav(FFolder / "tracks-3.wav");
    EXPECT_EQ(first.Rate, 44100u);
    EXPECT_TRUE(first.Data == a);
    EXPECT_EQ(second.Rate, 22050u);
    EXPECT_EQ(second.Channels, 1u);
    EXPECT_TRUE(second.Data == b);
    EXPECT_EQ(third.Rate, 44100u);
    EXPECT_TRUE(third.Data == c);
}

TEST_F(WaveFileTest, PacedRecordingTakesRealTimeAndAResetDropsWhatWasNotPlayed) {
    Record("paced.wav", ":paced");
    DoneCounter done;
    std::unique_ptr<TMPWaveDevice> device;
    const TMPWaveFormat format = Format(8000, 1);
    ASSERT_EQ(WaveOutOpen(device, WAVE_MAPPER, format, done.Notify()), MMSYSERR_NOERROR);
    Bytes first = Pattern(1600, 8);   // 100 ms
    Bytes second = Pattern(16000, 9); // 1 s
    TMPWaveHeader h1{first.data(), uint32_t(first.size())}, h2{second.data(), uint32_t(second.size())};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(device->Prepare(h1), MMSYSERR_NOERROR);
    ASSERT_EQ(device->Prepare(h2), MMSYSERR_NOERROR);
    ASSERT_EQ(device->Write(h1), MMSYSERR_NOERROR);
    ASSERT_EQ(device->Write(h2), MMSYSERR_NOERROR);
    ASSERT_TRUE(done.WaitFor(1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(device->Reset(), MMSYSERR_NOERROR);
    ASSERT_TRUE(done.WaitFor(2));
    device.reset();
    const TWav wav = ReadWav(FFolder / "paced.wav");
    // All of the first buffer, the start of the second as far as it played, nothing after.
    ASSERT_GT(wav.Data.size(), first.size());
    ASSERT_LT(wav.Data.size(), first.size() + second.size() / 2);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), wav.Data.begin()));
    EXPECT_TRUE(std::equal(wav.Data.begin() + long(first.size()), wav.Data.end(), second.begin()));
}

TEST_F(WaveFileTest, AFileThatCannotBeWrittenFailsTheOpenWithAMessage) {
    Record("no-such-folder/out.wav");
    DoneCounter done;
    std::unique_ptr<TMPWaveDevice> device;
    const int32_t result = WaveOutOpen(device, WAVE_MAPPER, Format(44100, 2), done.Notify());
    EXPECT_EQ(result, WAVERR_RECORDINGFILE);
    EXPECT_EQ(device, nullptr);
    std::string text;
    ASSERT_TRUE(WaveOutGetErrorText(result, text));
    EXPECT_NE(text.find("file:PATH"), std::string::npos) << text;
    // Nothing to play into: the device counts as absent only for opening, the setting is well formed.
    EXPECT_EQ(WaveOutGetNumDevs(), 1u);
}

} // namespace
