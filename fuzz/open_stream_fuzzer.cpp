// The player's open-and-decode path on arbitrary bytes held in memory, without a sound device: OpenStream
// (tag scan, first-frame search, frame check, decoder set-up, Xing and VBRI frames), the stream
// information, the decode loop into a WAV file, and (when asked) seeks on the null device.
//
// Input layout: byte 0 bit 0 makes the source unseekable, bit 1 adds the paused play with seeks, bits 2-7
// choose the seek target; the rest is the source.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "MP3Plyr.h"

namespace {

using namespace tunelo;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "open_stream_fuzzer: %s\n", what);
    std::abort();
}

std::string ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tunelo-open-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        Fail("cannot make a scratch folder");
    }
    return pattern;
}

// One player for the whole run, as the jukebox keeps one for every file it opens.
struct TRig {
    TRig() : Folder(ScratchFolder()), Wav(Folder + "/out.wav") {
        setenv("TUNELO_AUDIO", "null", 1);
        Player = std::make_unique<TMP3Player>();
        Player->SetAutoPlay(false);
        Player->OnEndPlay = [this](TMP3Player&, TMP3EndPlayReason reason) {
            Ended = true;
            Reason = reason;
        };
        SetErrorDisplay([this](const std::exception& error) { Errors.push_back(error.what()); });
    }

    void WaitForEnd() {
        while (!Ended) {
            WaitMessage(-1);
            ProcessMessages();
        }
    }

    std::string Folder;
    std::string Wav;
    std::unique_ptr<TMP3Player> Player;
    bool Ended = false;
    TMP3EndPlayReason Reason = meprStopped;
    std::vector<std::string> Errors;
};

TRig* TheRig = nullptr;

TRig& Rig() {
    if (TheRig == nullptr) {
        TheRig = new TRig();
        // The player's threads end before anything static goes away.
        std::atexit([] {
            const std::string wav = TheRig->Wav;
            const std::string folder = TheRig->Folder;
            SetErrorDisplay(nullptr);
            delete TheRig;
            std::remove(wav.c_str());
            rmdir(folder.c_str());
        });
    }
    return *TheRig;
}

uint32_t LittleEndian32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// The WAV file the decode wrote: its header must count exactly the sample bytes in it.
void CheckWav(const std::string& path, int32_t bytesPerFrame) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (wav.size() < 44) {
        Fail("the WAV file has no complete header");
    }
    if (LittleEndian32(wav, 4) != wav.size() - 8 || LittleEndian32(wav, 40) != wav.size() - 44) {
        Fail("the WAV header does not count the bytes in the file");
    }
    if ((wav.size() - 44) % static_cast<size_t>(bytesPerFrame) != 0) {
        Fail("the WAV file holds a partial frame (or, trimmed, a partial sample)");
    }
}

void CheckStreamInformation(TMP3Player& player) {
    if (player.Layer() < 1 || player.Layer() > 3 || player.Version() < 1 || player.Version() > 3) {
        Fail("an open stream without layer or version");
    }
    if (player.SampleRate() <= 0 || player.Channels() < 1 || player.Channels() > 2 ||
        player.BytesPerFrame() <= 0 || player.BytesPerFrame() > TMP3Player::kPcmBufferSize) {
        Fail("an open stream with an impossible output format");
    }
    if (player.Duration() < 0 || player.FramePositions().empty()) {
        Fail("an open stream without duration or first frame");
    }
    volatile size_t sink = player.Title().size() + player.Artist().size() + player.Album().size() +
                           player.Year().size() + player.Comment().size() + player.Genre().size() +
                           player.Track().size();
    (void)sink;
}

void PausedSeeks(TRig& rig, int32_t target) {
    TMP3Player& player = *rig.Player;
    rig.Ended = false;
    player.Play();
    player.Pause();
    const int32_t duration = player.Duration();
    player.Seek(duration > 0 ? static_cast<int32_t>(int64_t{duration} * target / 63) : target * 1000);
    player.Seek(0);
    player.Seek(2147483647);
    player.Stop();
    ProcessMessages();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    TRig& rig = Rig();
    TMP3Player& player = *rig.Player;
    const bool seekable = (data[0] & 1) == 0;
    const bool seeks = (data[0] & 2) != 0;
    rig.Errors.clear();

    TMPMemoryStream memory(std::vector<uint8_t>(data + 1, data + size));
    TMPNonSeekableStream pipe(memory);
    try {
        player.OpenStream(seekable ? static_cast<TMPSourceStream*>(&memory) : &pipe,
                          seekable ? kStreamSeekable : 0);
    } catch (const EMPError& error) {
        if (std::string(error.what()) != kUnknownMpegAudioFormat || player.IsOpen()) {
            Fail("opening failed with another message or left the stream open");
        }
        return 0;
    }
    CheckStreamInformation(player);
    // An unseekable stream is closed at its end, and its figures with it.
    // With the encoder's delay and padding known, what is written is trimmed to the heard samples; else it
    // is whole frames.
    const int32_t bytesPerFrame = player.EncoderGap().Known ? player.Channels() * 2 : player.BytesPerFrame();

    rig.Ended = false;
    player.PlayToFile(rig.Wav);
    rig.WaitForEnd();
    if (rig.Reason != meprEndOfStream || !rig.Errors.empty()) {
        Fail("decoding into a WAV file did not end with the stream");
    }
    CheckWav(rig.Wav, bytesPerFrame);

    if (seeks && seekable) {
        PausedSeeks(rig, data[0] >> 2);
    }
    player.Close();
    ProcessMessages();
    return 0;
}
