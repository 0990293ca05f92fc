// What the player's tests share: the null device, test files made from the frames in tests/data, a pump
// that runs the window thread's messages until something has happened, an event recorder and a watchdog
// that turns a hang into a failure.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MP3Plyr.h"

namespace playertest {

using namespace tunelo;
using Bytes = std::vector<uint8_t>;

// Playback in these tests goes to the null device, which consumes buffers in real time without sound.
inline const bool kNullAudio = [] { return setenv("TUNELO_AUDIO", "null", 1) == 0; }();

inline std::string DataFile(const std::string& name) {
    return std::string(TUNELO_TEST_DATA) + "/" + name;
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t LE32(const Bytes& bytes, size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

inline uint32_t BE32(const Bytes& bytes, size_t at) {
    return (static_cast<uint32_t>(bytes[at]) << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) |
           bytes[at + 3];
}

inline void PutBE32(Bytes& bytes, size_t at, uint32_t value) {
    bytes[at] = static_cast<uint8_t>(value >> 24);
    bytes[at + 1] = static_cast<uint8_t>(value >> 16);
    bytes[at + 2] = static_cast<uint8_t>(value >> 8);
    bytes[at + 3] = static_cast<uint8_t>(value);
}

// A scratch folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/player_test_XXXXXX";
        FPath = mkdtemp(name);
    }
    ~TempDir() {
        std::string command = "rm -rf '" + FPath + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "could not remove %s\n", FPath.c_str());
        }
    }
    std::string Path(const std::string& name) const { return FPath + "/" + name; }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        WriteBytes(Path(name), bytes);
        return Path(name);
    }
    const std::string& Folder() const { return FPath; }

private:
    std::string FPath;
};

struct FrameSpan {
    size_t Offset;
    size_t Length;
};

// The frames of a constant-bit-rate stream from offset on, found from their headers alone.
inline std::vector<FrameSpan> FixedRateFrames(const Bytes& bytes, size_t offset) {
    std::vector<FrameSpan> frames;
    while (offset + 4 <= bytes.size()) {
        TMPHeader header{};
        const int32_t length = ParseHeader(&bytes[offset], 0, header);
        if (length <= 0) {
            break;
        }
        const size_t total =
            static_cast<size_t>(length) + (header.PaddingBit ? (header.LayerCode == 3 ? 4 : 1) : 0);
        if (offset + total > bytes.size()) {
            break;
        }
        frames.push_back({offset, total});
        offset += total;
    }
    return frames;
}

// l3-junk100.mp3 holds 100 junk bytes and then a 0.3 s stream of 44100 Hz stereo Layer III at 128 kbit/s
// written without an information frame, whose first frame draws on no earlier bytes: so copies of its
// frames in a row make a longer stream of the same kind.
inline Bytes CbrFrames() {
    const Bytes file = ReadBytes(DataFile("l3-junk100.mp3"));
    return Bytes(file.begin() + 100, file.end());
}

inline Bytes RepeatedStream(int copies) {
    const Bytes one = CbrFrames();
    Bytes all;
    for (int i = 0; i < copies; ++i) {
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

// Bytes that hold no 0xFF, so that no frame header can be seen in them.
inline Bytes Garbage(size_t n) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>((i * 97 + 13) % 255);
    }
    return bytes;
}

// The stream's frames 0..9, garbage, then the rest of the stream.
inline Bytes WithGarbageAfterFrame10(const Bytes& stream, size_t garbage) {
    const std::vector<FrameSpan> frames = FixedRateFrames(stream, 0);
    const size_t cut = frames[9].Offset + frames[9].Length;
    Bytes bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
    const Bytes junk = Garbage(garbage);
    bytes.insert(bytes.end(), junk.begin(), junk.end());
    bytes.insert(bytes.end(), stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end());
    return bytes;
}

// Runs the window thread's messages until the condition holds; false when it still does not after the
// (generous) limit.
inline bool PumpUntil(const std::function<bool()>& condition, int seconds = 20) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        ProcessMessages();
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        WaitMessage(20);
    }
}

// Pumps for a while, so that whatever is about to be reported has been.
inline void PumpFor(int milliseconds) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < limit) {
        ProcessMessages();
        WaitMessage(10);
    }
    ProcessMessages();
}

// What a player reported through its events, and on which thread.
struct EventLog {
    explicit EventLog(TMP3Player& player) {
        player.OnChangeStatus = [this](TMP3Player& sender) {
            Statuses.push_back(sender.Status());
            CheckThread();
        };
        player.OnEndPlay = [this](TMP3Player&, TMP3EndPlayReason reason) {
            EndReasons.push_back(reason);
            CheckThread();
        };
        player.OnChangePosition = [this](TMP3Player&) {
            ++Positions;
            CheckThread();
        };
    }
    void CheckThread() {
        if (std::this_thread::get_id() != Owner) {
            ++ForeignThreadEvents;
        }
    }
    std::thread::id Owner = std::this_thread::get_id();
    std::vector<TMP3PlayerStatus> Statuses;
    std::vector<TMP3EndPlayReason> EndReasons;
    int Positions = 0;
    int ForeignThreadEvents = 0;
};

// Collects what the standard error display is asked to show, and on which thread.
class ShownErrors {
public:
    ShownErrors() {
        SetErrorDisplay([this](const std::exception& error) {
            std::lock_guard lock(FMutex);
            FMessages.emplace_back(error.what());
            const auto* wave = dynamic_cast<const EMPWaveError*>(&error);
            FWaveCodes.push_back(wave ? wave->Code() : MMSYSERR_NOERROR);
            if (std::this_thread::get_id() != FOwner) {
                ++FForeign;
            }
        });
    }
    ~ShownErrors() { SetErrorDisplay(nullptr); }
    std::vector<std::string> Messages() {
        std::lock_guard lock(FMutex);
        return FMessages;
    }
    // The wave device's result code of each error shown, 0 for an error that did not come from it.
    std::vector<int32_t> WaveCodes() {
        std::lock_guard lock(FMutex);
        return FWaveCodes;
    }
    int ForeignThread() {
        std::lock_guard lock(FMutex);
        return FForeign;
    }

private:
    std::mutex FMutex;
    std::vector<std::string> FMessages;
    std::vector<int32_t> FWaveCodes;
    int FForeign = 0;
    std::thread::id FOwner = std::this_thread::get_id();
};

// Ends the test program with a message when a call does not return in time: a hang is a failure, not a
// test run that never ends.
class Watchdog {
public:
    Watchdog(int seconds, std::string what) : FWhat(std::move(what)) {
        FThread = std::thread([this, seconds] {
            std::unique_lock lock(FMutex);
            if (!FDone.wait_for(lock, std::chrono::seconds(seconds), [this] { return FFinished; })) {
                std::fprintf(stderr, "HANG: %s did not return within %d s\n", FWhat.c_str(), seconds);
                std::fflush(stderr);
                std::_Exit(3);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(FMutex);
            FFinished = true;
        }
        FDone.notify_all();
        FThread.join();
    }

private:
    std::string FWhat;
    std::mutex FMutex;
    std::condition_variable FDone;
    bool FFinished = false;
    std::thread FThread;
};

// A player that opens files without starting to play them.
inline void OpenQuietly(TMP3Player& player, const std::string& path) {
    player.SetAutoPlay(false);
    player.SetFileName(path);
}

inline std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

// Decodes a file with the player into a WAV file and returns that file's bytes.
inline Bytes PlayToWav(TMP3Player& player, const std::string& mp3, const std::string& wav) {
    OpenQuietly(player, mp3);
    if (!player.IsOpen()) {
        return {};
    }
    bool ended = false;
    player.OnEndPlay = [&ended](TMP3Player&, TMP3EndPlayReason) { ended = true; };
    player.PlayToFile(wav);
    EXPECT_TRUE(PumpUntil([&] { return ended; })) << "decoding " << mp3 << " did not end";
    player.OnEndPlay = nullptr;
    return ReadBytes(wav);
}

} // namespace playertest
