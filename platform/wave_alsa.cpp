// The ALSA wave device. A feeder thread of its own hands the queued buffers to the PCM in non-blocking
// writes, applying the device volume as it copies, and returns each buffer once ALSA has played all of
// it: a buffer returned while its end still sat in ALSA's ring would let the player take the music for
// ended and stop the device, cutting off what the ring still held.
// Every ALSA call is made under the device lock, so callers on other threads never meet the feeder inside
// the library.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "wave_backend.h"

namespace tunelo {

namespace {

// What ALSA keeps buffered ahead of the speaker; pausing and resetting take effect within this.
constexpr unsigned kLatencyMicros = 200000;

void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

// ALSA prints its own complaints to stderr; the device reports every failure through its result codes.
void SilenceAlsaMessages() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(IgnoreAlsaMessage); });
}

class TAlsaWaveDevice final : public TMPQueuedWaveDevice {
public:
    TAlsaWaveDevice(snd_pcm_t* pcm, uint16_t pcmChannels, const TMPWaveFormat& format, TMPWaveNotify notify)
        : TMPQueuedWaveDevice(format, std::move(notify)), FPcm(pcm), FPcmChannels(pcmChannels) {
        snd_pcm_uframes_t bufferFrames = 0;
        snd_pcm_uframes_t periodFrames = 0;
        if (snd_pcm_get_params(pcm, &bufferFrames, &periodFrames) < 0 || periodFrames == 0) {
            periodFrames = format.SamplesPerSec / 20;
        }
        FChunkFrames = static_cast<uint32_t>(std::max<snd_pcm_uframes_t>(periodFrames, 64));
        FScratch.resize(static_cast<size_t>(FChunkFrames) * FPcmChannels * (format.BitsPerSample / 8));
        const auto periodMillis = static_cast<int64_t>(periodFrames) * 1000 / format.SamplesPerSec;
        FRetry = std::chrono::milliseconds(std::clamp<int64_t>(periodMillis / 2, 1, 50));

        snd_pcm_hw_params_t* params = nullptr;
        snd_pcm_hw_params_alloca(&params);
        FCanPause = snd_pcm_hw_params_current(pcm, params) == 0 && snd_pcm_hw_params_can_pause(params) == 1;

        FThread = std::thread([this] { Run(); });
    }

    ~TAlsaWaveDevice() override {
        StopFeeder();
        if (FPcm != nullptr) {
            snd_pcm_drop(FPcm);
            snd_pcm_close(FPcm);
        }
    }

    int32_t Close() override {
        {
            std::lock_guard lock(FMutex);
            if (!FQueue.empty()) {
                return WAVERR_STILLPLAYING;
            }
        }
        StopFeeder();
        int32_t result = 0;
        if (!FPaused && FFailure == 0 && FWritten > 0) {
            // What is still in ALSA's buffer is the end of the music: let it play out.
            snd_pcm_nonblock(FPcm, 0);
            snd_pcm_drain(FPcm);
        } else {
            snd_pcm_drop(FPcm);
        }
        result = snd_pcm_close(FPcm);
        FPcm = nullptr;
        return result < 0 ? result : MMSYSERR_NOERROR;
    }

    int32_t Write(TMPWaveHeader& header) override {
        {
            std::lock_guard lock(FMutex);
            if (FFailure != 0) {
                return FFailure;
            }
        }
        return TMPQueuedWaveDevice::Write(header);
    }

    int32_t Pause() override {
        std::lock_guard lock(FMutex);
        if (!FPaused && FCanPause && snd_pcm_state(FPcm) == SND_PCM_STATE_RUNNING) {
            FHardwarePaused = snd_pcm_pause(FPcm, 1) == 0;
        }
        // Without a hardware pause the feeder just stops: ALSA plays what it holds and then runs dry.
        FPaused = true;
        return MMSYSERR_NOERROR;
    }

    int32_t Restart() override {
        std::lock_guard lock(FMutex);
        if (FHardwarePaused && snd_pcm_pause(FPcm, 0) < 0) {
            snd_pcm_drop(FPcm);
            snd_pcm_prepare(FPcm);
        }
        FHardwarePaused = false;
        FPaused = false;
        FWake.notify_all();
        return MMSYSERR_NOERROR;
    }

    int32_t Reset() override {
        std::lock_guard lock(FMutex);
        snd_pcm_drop(FPcm);
        const int prepared = snd_pcm_prepare(FPcm);
        FHanded.clear();
        ReturnAllLocked();
        FConsumedOfFirst = 0;
        FWritten = 0;
        FPaused = false;
        FHardwarePaused = false;
        if (prepared == 0) {
            FFailure = 0;
        }
        FWake.notify_all();
        return MMSYSERR_NOERROR;
    }

    int32_t Failure() override {
        std::lock_guard lock(FMutex);
        return FFailure;
    }

    int32_t GetPosition(uint32_t& bytes) override {
        std::lock_guard lock(FMutex);
        bytes = static_cast<uint32_t>(PlayedFramesLocked() * FFormat.BlockAlign);
        return MMSYSERR_NOERROR;
    }

private:
    // Frames of FWritten that have left the ring for the speaker.
    uint64_t PlayedFramesLocked() {
        snd_pcm_sframes_t delay = 0;
        switch (snd_pcm_state(FPcm)) {
        case SND_PCM_STATE_PREPARED:
        case SND_PCM_STATE_RUNNING:
        case SND_PCM_STATE_PAUSED:
        case SND_PCM_STATE_DRAINING:
            if (snd_pcm_delay(FPcm, &delay) < 0) {
                delay = 0;
            }
            break;
        default:
            // After an underrun everything handed over has been played.
            break;
        }
        const auto pending = static_cast<uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0));
        return FWritten - std::min(pending, FWritten);
    }

    void Run() {
        std::unique_lock lock(FMutex);
        while (!FStopping) {
            ReturnPlayedLocked();
            const bool toFeed = !FPaused && FFailure == 0 && FQueue.size() > FHanded.size();
            if (toFeed && Feed()) {
                continue;
            }
            // Played buffers come back as the ring drains; a pause holds them, and Restart wakes the feeder.
            if (toFeed || (!FHanded.empty() && !FPaused)) {
                FWake.wait_for(lock, FRetry);
            } else {
                FWake.wait(lock);
            }
        }
    }

    // Returns the buffers whose every frame has been played.
    void ReturnPlayedLocked() {
        if (FHanded.empty()) {
            return;
        }
        // ALSA starts only once its start threshold is reached: the end of the music may be less than that.
        if (FQueue.size() == FHanded.size() && !FPaused && snd_pcm_state(FPcm) == SND_PCM_STATE_PREPARED &&
            snd_pcm_start(FPcm) < 0) {
            FHanded.clear();
            ReturnAllLocked();
            return;
        }
        const uint64_t played = PlayedFramesLocked();
        while (!FHanded.empty() && FHanded.front() <= played) {
            FHanded.pop_front();
            ReturnFirstLocked();
        }
    }

    // Hands as much of the first buffer not yet with ALSA as it takes now; false when nothing could be done.
    bool Feed() {
        TMPWaveHeader& header = *FQueue[FHanded.size()];
        const uint32_t blockAlign = FFormat.BlockAlign;
        const uint32_t framesLeft =
            (header.BufferLength - std::min(FConsumedOfFirst, header.BufferLength)) / blockAlign;
        if (framesLeft == 0) {
            HandedOver();
            return true;
        }
        const snd_pcm_sframes_t avail = snd_pcm_avail_update(FPcm);
        if (avail < 0) {
            return Recover(static_cast<int>(avail));
        }
        if (avail == 0) {
            return false;
        }
        const auto frames = static_cast<uint32_t>(
            std::min<uint64_t>({static_cast<uint64_t>(avail), framesLeft, FChunkFrames}));
        CopyToScratch(header.Data + FConsumedOfFirst, frames);
        ApplyWaveVolume(FScratch.data(), frames, FPcmChannels, FFormat.BitsPerSample, CurrentWaveVolume());
        const snd_pcm_sframes_t written = snd_pcm_writei(FPcm, FScratch.data(), frames);
        if (written == -EAGAIN) {
            return false;
        }
        if (written < 0) {
            return Recover(static_cast<int>(written));
        }
        FConsumedOfFirst += static_cast<uint32_t>(written) * blockAlign;
        FWritten += static_cast<uint64_t>(written);
        if ((header.BufferLength - FConsumedOfFirst) < blockAlign) {
            HandedOver();
        }
        return true;
    }

    // A mono stream on a stereo PCM goes to both channels, so that balance works on it too.
    void CopyToScratch(const uint8_t* source, uint32_t frames) {
        const size_t bytesPerSample = FFormat.BitsPerSample / 8;
        if (FPcmChannels == FFormat.Channels) {
            std::memcpy(FScratch.data(), source, frames * FFormat.BlockAlign);
            return;
        }
        uint8_t* target = FScratch.data();
        for (uint32_t i = 0; i < frames; ++i) {
            std::memcpy(target, source + i * bytesPerSample, bytesPerSample);
            std::memcpy(target + bytesPerSample, source + i * bytesPerSample, bytesPerSample);
            target += 2 * bytesPerSample;
        }
    }

    // Underruns and suspends are recovered; anything else breaks the device: its buffers come back, and
    // the next Write reports the error.
    bool Recover(int error) {
        const int recovered = snd_pcm_recover(FPcm, error, 1);
        if (recovered == 0) {
            return true;
        }
        FFailure = recovered;
        FHanded.clear();
        ReturnAllLocked();
        FConsumedOfFirst = 0;
        return false;
    }

    // The buffer being fed is all with ALSA; it comes back once played (ReturnPlayedLocked).
    void HandedOver() {
        FConsumedOfFirst = 0;
        FHanded.push_back(FWritten);
    }

    void StopFeeder() {
        {
            std::lock_guard lock(FMutex);
            FStopping = true;
            FWake.notify_all();
        }
        if (FThread.joinable()) {
            FThread.join();
        }
    }

    snd_pcm_t* FPcm;
    const uint16_t FPcmChannels;
    uint32_t FChunkFrames = 0;
    std::chrono::milliseconds FRetry{10};
    bool FCanPause = false;
    bool FPaused = false;
    bool FHardwarePaused = false;
    bool FStopping = false;
    int32_t FFailure = 0;
    // Frames handed to ALSA since the device was opened or reset.
    uint64_t FWritten = 0;
    // Where each buffer all with ALSA ends, in frames of FWritten; they are the first of FQueue.
    std::deque<uint64_t> FHanded;
    // Bytes of the first queued buffer not yet all with ALSA that have been handed over.
    uint32_t FConsumedOfFirst = 0;
    std::vector<uint8_t> FScratch;
    std::thread FThread;
};

int OpenPcm(snd_pcm_t*& pcm, const std::string& pcmName) {
    SilenceAlsaMessages();
    return snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
}

} // namespace

int32_t OpenAlsaWaveDevice(std::unique_ptr<TMPWaveDevice>& device, const std::string& pcmName,
                           const TMPWaveFormat& format, TMPWaveNotify notify) {
    snd_pcm_t* pcm = nullptr;
    int error = OpenPcm(pcm, pcmName);
    if (error < 0) {
        return error;
    }
    const snd_pcm_format_t sampleFormat =
        format.BitsPerSample == 16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8;
    uint16_t pcmChannels = 2;
    error = snd_pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, pcmChannels,
                               format.SamplesPerSec, 1, kLatencyMicros);
    if (error < 0 && format.Channels == 1) {
        pcmChannels = 1;
        error = snd_pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, pcmChannels,
                                   format.SamplesPerSec, 1, kLatencyMicros);
    }
    if (error < 0) {
        snd_pcm_close(pcm);
        return error;
    }
    device = std::make_unique<TAlsaWaveDevice>(pcm, pcmChannels, format, std::move(notify));
    return MMSYSERR_NOERROR;
}

bool AlsaWaveDeviceAvailable(const std::string& pcmName) {
    snd_pcm_t* pcm = nullptr;
    if (OpenPcm(pcm, pcmName) < 0) {
        return false;
    }
    snd_pcm_close(pcm);
    return true;
}

std::vector<TMPWaveOutput> ListAlsaOutputs() {
    SilenceAlsaMessages();
    std::vector<TMPWaveOutput> outputs;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) {
        return outputs;
    }
    for (void** hint = hints; *hint != nullptr; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* description = snd_device_name_get_hint(*hint, "DESC");
        char* direction = snd_device_name_get_hint(*hint, "IOID");
        // No IOID: the device plays and records.
        if (name != nullptr && (direction == nullptr || std::strcmp(direction, "Output") == 0)) {
            std::string text = description != nullptr ? description : name;
            std::replace(text.begin(), text.end(), '\n', ' ');
            outputs.push_back({std::string("alsa:") + name, text});
        }
        std::free(name);
        std::free(description);
        std::free(direction);
    }
    snd_device_name_free_hint(hints);
    return outputs;
}

const char* AlsaErrorText(int32_t code) {
    return snd_strerror(code);
}

} // namespace tunelo
