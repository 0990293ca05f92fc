// Backend choice, header bookkeeping, the shared volume, error texts and software volume.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "wave_backend.h"

namespace tunelo {

namespace {

std::atomic<uint32_t> gWaveVolume{0xFFFFFFFF};

// Far above any audio rate; keeps the byte rate inside 32 bits.
constexpr uint32_t kMaxSampleRate = 1000000;

std::mutex gChoiceMutex;
std::string gChoice;

struct TBackendChoice {
    enum { kAutomatic, kNull, kAlsa, kPulse, kFile, kUnknown } Kind;
    // The ALSA PCM or the server's sink (empty: the server's default sink), or the recording's path.
    std::string DeviceName;
    bool Paced = false;
};

// The program's choice, else TUNELO_AUDIO: "null", "alsa", "alsa:NAME", "pulse", "pulse:SINK",
// "file:PATH", "file:PATH:paced". Neither: whatever answers.
TBackendChoice ChooseBackend() {
    std::string value = WaveOutputChoice();
    if (value.empty()) {
        const char* setting = std::getenv("TUNELO_AUDIO");
        value = setting != nullptr ? setting : "";
    }
    const std::string_view view = value;
    if (view.empty()) {
        return {TBackendChoice::kAutomatic, {}};
    }
    if (view == "null") {
        return {TBackendChoice::kNull, {}};
    }
    if (view == "alsa") {
        return {TBackendChoice::kAlsa, "default"};
    }
    if (view.starts_with("alsa:") && view.size() > 5) {
        return {TBackendChoice::kAlsa, std::string(view.substr(5))};
    }
    if (view == "pulse") {
        return {TBackendChoice::kPulse, {}};
    }
    if (view.starts_with("pulse:") && view.size() > 6) {
        return {TBackendChoice::kPulse, std::string(view.substr(6))};
    }
    if (view.starts_with("file:") && view.size() > 5) {
        std::string_view path = view.substr(5);
        const bool paced = path.ends_with(":paced");
        if (paced) {
            path.remove_suffix(6);
        }
        if (!path.empty()) {
            return {TBackendChoice::kFile, std::string(path), paced};
        }
    }
    return {TBackendChoice::kUnknown, {}};
}

// The server's default sink when a server answers, else ALSA's "default".
int32_t OpenAutomaticWaveDevice(std::unique_ptr<TMPWaveDevice>& device, const TMPWaveFormat& format,
                                TMPWaveNotify notify) {
    if (OpenPulseWaveDevice(device, {}, format, notify) == MMSYSERR_NOERROR) {
        return MMSYSERR_NOERROR;
    }
    if (OpenAlsaWaveDevice(device, "default", format, std::move(notify)) == MMSYSERR_NOERROR) {
        return MMSYSERR_NOERROR;
    }
    device.reset();
    return WAVERR_NOSOUNDDEVICE;
}

bool ValidFormat(const TMPWaveFormat& format) {
    return format.FormatTag == WAVE_FORMAT_PCM && (format.Channels == 1 || format.Channels == 2) &&
           (format.BitsPerSample == 8 || format.BitsPerSample == 16) && format.SamplesPerSec > 0 &&
           format.SamplesPerSec <= kMaxSampleRate &&
           format.BlockAlign == format.Channels * format.BitsPerSample / 8 &&
           format.AvgBytesPerSec == format.SamplesPerSec * format.BlockAlign;
}

bool ValidDeviceId(uint32_t deviceId) {
    return deviceId == WAVE_MAPPER || deviceId == 0;
}

} // namespace

void SetWaveOutputChoice(const std::string& name) {
    std::lock_guard lock(gChoiceMutex);
    gChoice = name;
}

std::string WaveOutputChoice() {
    std::lock_guard lock(gChoiceMutex);
    return gChoice;
}

std::vector<TMPWaveOutput> ListWaveOutputs() {
    std::vector<TMPWaveOutput> outputs = ListPulseSinks();
    if (outputs.empty()) {
        outputs = ListAlsaOutputs();
    }
    return outputs;
}

uint32_t CurrentWaveVolume() {
    return gWaveVolume.load(std::memory_order_relaxed);
}

int32_t TMPWaveDevice::SetVolume(uint32_t volume) {
    gWaveVolume.store(volume, std::memory_order_relaxed);
    return MMSYSERR_NOERROR;
}

int32_t TMPWaveDevice::GetVolume(uint32_t& volume) {
    volume = CurrentWaveVolume();
    return MMSYSERR_NOERROR;
}

TMPQueuedWaveDevice::TMPQueuedWaveDevice(const TMPWaveFormat& format, TMPWaveNotify notify)
    : FFormat(format), FNotify(std::move(notify)) {}

int32_t TMPQueuedWaveDevice::Prepare(TMPWaveHeader& header) {
    std::lock_guard lock(FMutex);
    if ((header.Flags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header.Flags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

int32_t TMPQueuedWaveDevice::Unprepare(TMPWaveHeader& header) {
    std::lock_guard lock(FMutex);
    if ((header.Flags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header.Flags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

int32_t TMPQueuedWaveDevice::Write(TMPWaveHeader& header) {
    std::lock_guard lock(FMutex);
    if ((header.Flags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((header.Flags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    if (header.Data == nullptr && header.BufferLength > 0) {
        return MMSYSERR_INVALPARAM;
    }
    header.Flags = (header.Flags & ~WHDR_DONE) | WHDR_INQUEUE;
    FQueue.push_back(&header);
    QueuedLocked();
    FWake.notify_all();
    return MMSYSERR_NOERROR;
}

void TMPQueuedWaveDevice::ReturnFirstLocked() {
    TMPWaveHeader* header = FQueue.front();
    FQueue.pop_front();
    header->Flags = (header->Flags & ~WHDR_INQUEUE) | WHDR_DONE;
    // Notified under the lock, so that done reports from the device's thread and from Reset cannot
    // overtake one another.
    if (FNotify) {
        FNotify(MM_WOM_DONE, 0, reinterpret_cast<intptr_t>(header));
    }
}

void TMPQueuedWaveDevice::ReturnAllLocked() {
    while (!FQueue.empty()) {
        ReturnFirstLocked();
    }
}

int32_t WaveOutOpen(std::unique_ptr<TMPWaveDevice>& device, uint32_t deviceId, const TMPWaveFormat& format,
                    TMPWaveNotify notify) {
    device.reset();
    if (!ValidDeviceId(deviceId)) {
        return MMSYSERR_BADDEVICEID;
    }
    if (!ValidFormat(format)) {
        return WAVERR_BADFORMAT;
    }
    const TBackendChoice backend = ChooseBackend();
    switch (backend.Kind) {
    case TBackendChoice::kAutomatic:
        return OpenAutomaticWaveDevice(device, format, std::move(notify));
    case TBackendChoice::kNull:
        return OpenNullWaveDevice(device, format, std::move(notify));
    case TBackendChoice::kAlsa:
        return OpenAlsaWaveDevice(device, backend.DeviceName, format, std::move(notify));
    case TBackendChoice::kPulse:
        return OpenPulseWaveDevice(device, backend.DeviceName, format, std::move(notify));
    case TBackendChoice::kFile:
        return OpenFileWaveDevice(device, backend.DeviceName, backend.Paced, format, std::move(notify));
    case TBackendChoice::kUnknown:
        break;
    }
    return WAVERR_UNKNOWNBACKEND;
}

uint32_t WaveOutGetNumDevs() {
    const TBackendChoice backend = ChooseBackend();
    switch (backend.Kind) {
    case TBackendChoice::kAutomatic:
        return PulseServerAnswers() || AlsaWaveDeviceAvailable("default") ? 1 : 0;
    case TBackendChoice::kNull:
    case TBackendChoice::kFile:
        return 1;
    case TBackendChoice::kAlsa:
        return AlsaWaveDeviceAvailable(backend.DeviceName) ? 1 : 0;
    case TBackendChoice::kPulse:
        return PulseServerAnswers() ? 1 : 0;
    case TBackendChoice::kUnknown:
        break;
    }
    return 0;
}

int32_t WaveOutGetVolume(uint32_t deviceId, uint32_t& volume) {
    if (!ValidDeviceId(deviceId)) {
        return MMSYSERR_BADDEVICEID;
    }
    if (WaveOutGetNumDevs() == 0) {
        return MMSYSERR_NODRIVER;
    }
    volume = CurrentWaveVolume();
    return MMSYSERR_NOERROR;
}

bool WaveOutGetErrorText(int32_t code, std::string& text) {
    if (code < 0) {
        text = AlsaErrorText(code);
        return true;
    }
    if (code >= kPulseErrorBase && code < kPulseErrorBase + kPulseErrorCount) {
        text = PulseErrorText(code);
        return true;
    }
    switch (code) {
    case MMSYSERR_ERROR:
        text = "Unspecified error.";
        return true;
    case MMSYSERR_BADDEVICEID:
        text = "The specified device identifier is out of range.";
        return true;
    case MMSYSERR_INVALHANDLE:
        text = "The specified device handle is invalid.";
        return true;
    case MMSYSERR_NODRIVER:
        text = "No sound device is present.";
        return true;
    case MMSYSERR_NOMEM:
        text = "Unable to allocate memory.";
        return true;
    case MMSYSERR_NOTSUPPORTED:
        text = "The function is not supported by the device.";
        return true;
    case MMSYSERR_INVALPARAM:
        text = "An invalid parameter was passed.";
        return true;
    case WAVERR_BADFORMAT:
        text = "The device does not support this wave format.";
        return true;
    case WAVERR_STILLPLAYING:
        text = "The buffer is still queued for playing.";
        return true;
    case WAVERR_UNPREPARED:
        text = "The buffer was not prepared.";
        return true;
    case WAVERR_UNKNOWNBACKEND:
        text =
            "No such sound output: name one as pulse, pulse:SINK, alsa, alsa:NAME or null (in TUNELO_AUDIO "
            "or tunelo-cli play --device).";
        return true;
    case WAVERR_NOSOUNDDEVICE:
        text =
            "No sound device: no PulseAudio or PipeWire server answers and ALSA cannot open its \"default\" "
            "device.";
        return true;
    case WAVERR_RECORDINGFILE:
        text = "The recording file of TUNELO_AUDIO=file:PATH cannot be written.";
        return true;
    default:
        return false;
    }
}

TMPWaveFault WaveOutFault(int32_t code) {
    if (code < 0) {
        // ALSA reports the system's error numbers.
        switch (-code) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return TMPWaveFault::NoDevice;
        case EBUSY:
        case EAGAIN:
            return TMPWaveFault::Busy;
        default:
            return TMPWaveFault::Other;
        }
    }
    if (code >= kPulseErrorBase && code < kPulseErrorBase + kPulseErrorCount) {
        return PulseErrorFault(code);
    }
    switch (code) {
    case MMSYSERR_BADDEVICEID:
    case MMSYSERR_NODRIVER:
    case WAVERR_NOSOUNDDEVICE:
        return TMPWaveFault::NoDevice;
    default:
        return TMPWaveFault::Other;
    }
}

std::string WaveOutDeviceName() {
    const TBackendChoice backend = ChooseBackend();
    switch (backend.Kind) {
    case TBackendChoice::kAutomatic:
        return "the sound server or ALSA device \"default\"";
    case TBackendChoice::kNull:
        return "the silent null output";
    case TBackendChoice::kAlsa:
        return "ALSA device \"" + backend.DeviceName + "\"";
    case TBackendChoice::kPulse:
        return backend.DeviceName.empty() ? "the sound server's default output"
                                          : "sound server output \"" + backend.DeviceName + "\"";
    case TBackendChoice::kFile:
        return "recording file \"" + backend.DeviceName + "\"";
    case TBackendChoice::kUnknown:
        break;
    }
    return "the output TUNELO_AUDIO names";
}

void ApplyWaveVolume(uint8_t* samples, uint32_t frames, uint16_t channels, uint16_t bitsPerSample,
                     uint32_t volume) {
    if (volume == 0xFFFFFFFF || channels == 0) {
        return;
    }
    // A level of 0xFFFF maps to the factor 65536 so that full volume leaves every sample as it is.
    const auto factor = [](uint32_t level) { return static_cast<int32_t>(level + (level >> 15)); };
    const int32_t factors[2] = {factor(volume & 0xFFFF), factor(volume >> 16)};
    const uint32_t count = frames * channels;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t scale = factors[channels == 2 ? i % 2 : 0];
        if (bitsPerSample == 16) {
            uint8_t* p = samples + 2 * static_cast<size_t>(i);
            const auto sample = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
            const auto scaled = static_cast<uint16_t>(static_cast<int16_t>((sample * scale) >> 16));
            p[0] = static_cast<uint8_t>(scaled & 0xFF);
            p[1] = static_cast<uint8_t>(scaled >> 8);
        } else {
            const int32_t centred = static_cast<int32_t>(samples[i]) - 128;
            samples[i] = static_cast<uint8_t>(((centred * scale) >> 16) + 128);
        }
    }
}

} // namespace tunelo
