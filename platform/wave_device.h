// The wave-output device: plays 16- or 8-bit PCM from buffers that the caller prepares once and queues
// again and again. Every queued buffer comes back exactly once, in queue order, as an MM_WOM_DONE
// notification (lParam: the header). Four backends sit behind it: a PulseAudio server (PipeWire serves
// the same protocol; TUNELO_AUDIO=pulse or pulse:SINK), ALSA (the "default" PCM, or TUNELO_AUDIO=alsa:NAME),
// a null device that consumes buffers at real-time pace without sound (TUNELO_AUDIO=null), and a recording
// device that writes what it is given into a WAV file (TUNELO_AUDIO=file:PATH, at once; file:PATH:paced,
// in real time). Without a choice the server is used when one answers, else ALSA's "default".
//
// Every call returns a result code: 0 for success, a positive code of the device layer (below, including
// the sound server's errors), or a negative code of ALSA (an error number); WaveOutGetErrorText turns each
// into text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "message_numbers.h"

namespace tunelo {

constexpr int32_t MMSYSERR_NOERROR = 0;
constexpr int32_t MMSYSERR_ERROR = 1;
constexpr int32_t MMSYSERR_BADDEVICEID = 2;
constexpr int32_t MMSYSERR_INVALHANDLE = 5;
constexpr int32_t MMSYSERR_NODRIVER = 6;
constexpr int32_t MMSYSERR_NOMEM = 7;
constexpr int32_t MMSYSERR_NOTSUPPORTED = 8;
constexpr int32_t MMSYSERR_INVALPARAM = 11;
constexpr int32_t WAVERR_BADFORMAT = 32;
constexpr int32_t WAVERR_STILLPLAYING = 33;
constexpr int32_t WAVERR_UNPREPARED = 34;
// TUNELO_AUDIO names no backend this program has.
constexpr int32_t WAVERR_UNKNOWNBACKEND = 4096;
// No choice was made, and neither a sound server nor ALSA's "default" device answers.
constexpr int32_t WAVERR_NOSOUNDDEVICE = 4097;
// The recording file of TUNELO_AUDIO=file:PATH cannot be created or written.
constexpr int32_t WAVERR_RECORDINGFILE = 4098;

// The default device; device 0 is the only other identifier.
constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFF;
constexpr uint16_t WAVE_FORMAT_PCM = 1;

struct TMPWaveFormat {
    uint16_t FormatTag = WAVE_FORMAT_PCM;
    uint16_t Channels = 2;
    uint32_t SamplesPerSec = 44100;
    uint32_t AvgBytesPerSec = 176400;
    uint16_t BlockAlign = 4;
    uint16_t BitsPerSample = 16;
};

// Header flags, kept by the device.
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_INQUEUE = 0x10;

// One buffer as the device sees it. The caller owns the header and the data; while the header is queued
// the device reads them, and the caller must leave both alone until the buffer is done.
struct TMPWaveHeader {
    uint8_t* Data = nullptr;
    uint32_t BufferLength = 0;
    uint32_t Flags = 0;
};

// Receives the device's notifications (msg, wParam, lParam) on the device's own thread, or on the thread
// that called Reset. It must not call back into the device.
using TMPWaveNotify = std::function<void(uint32_t msg, uintptr_t wParam, intptr_t lParam)>;

// An open device. Destroying it closes it; buffers still queued then are dropped without notification.
class TMPWaveDevice {
public:
    virtual ~TMPWaveDevice() = default;

    // Fails with WAVERR_STILLPLAYING while any buffer is queued. Audio handed to the sound system is
    // played to its end unless the device is paused or was reset since.
    virtual int32_t Close() = 0;
    virtual int32_t Prepare(TMPWaveHeader& header) = 0;
    // WAVERR_STILLPLAYING while the header is queued.
    virtual int32_t Unprepare(TMPWaveHeader& header) = 0;
    // Queues a prepared header (WAVERR_UNPREPARED otherwise) that is not already queued.
    virtual int32_t Write(TMPWaveHeader& header) = 0;
    // Stops consuming buffers; the position holds still.
    virtual int32_t Pause() = 0;
    virtual int32_t Restart() = 0;
    // Returns every queued buffer as done, in queue order, before it returns; the position goes back to 0
    // and a pause ends.
    virtual int32_t Reset() = 0;
    // Bytes played since the device was opened or last reset.
    virtual int32_t GetPosition(uint32_t& bytes) = 0;
    // The error that broke the device while it played (its buffers then came back unplayed), or 0. A
    // caller that only waits for its buffers would otherwise take such an end for the end of the music.
    virtual int32_t Failure() { return MMSYSERR_NOERROR; }
    // What is playing, for a sound server's mixer; devices that show nothing ignore it.
    virtual int32_t SetMediaInfo(const std::string& /*title*/, const std::string& /*artist*/) {
        return MMSYSERR_NOERROR;
    }

    // The volume: left level in the low 16 bits, right level in the high 16 bits, 0xFFFF = full. It belongs
    // to the device, not to one open handle: a device opened later starts with the last volume set.
    int32_t SetVolume(uint32_t volume);
    int32_t GetVolume(uint32_t& volume);
};

// The output the program chose (a device menu, a command-line option), in TUNELO_AUDIO's form: "pulse",
// "pulse:SINK", "alsa", "alsa:NAME" or "null". It takes precedence over TUNELO_AUDIO; empty leaves the
// choice to TUNELO_AUDIO and then to what answers. Applies to devices opened afterwards.
void SetWaveOutputChoice(const std::string& name);
std::string WaveOutputChoice();

struct TMPWaveOutput {
    // A value for SetWaveOutputChoice.
    std::string Name;
    // What to show a user.
    std::string Description;
};
// What can be chosen now: the sound server's sinks when a server answers, else ALSA's playback devices.
std::vector<TMPWaveOutput> ListWaveOutputs();

// Opens a device for the format. notify may be empty (no notifications: a handle opened only to read the
// volume).
int32_t WaveOutOpen(std::unique_ptr<TMPWaveDevice>& device, uint32_t deviceId, const TMPWaveFormat& format,
                    TMPWaveNotify notify);
// 1 when the selected backend can open its device, else 0.
uint32_t WaveOutGetNumDevs();
// The volume of a device that is not open.
int32_t WaveOutGetVolume(uint32_t deviceId, uint32_t& volume);
// The text of a result code; false when the code has none.
bool WaveOutGetErrorText(int32_t code, std::string& text);

// What a failed call means for the person at the computer: there is no device to play on (none present,
// none answering, or the chosen one gone), the device is there but another program holds it, or the
// sound server went away while it played.
enum class TMPWaveFault { Other, NoDevice, Busy, Lost };
TMPWaveFault WaveOutFault(int32_t code);
// The device that opening one would try now, as a person knows it: ALSA device "hw:1", the sound server's
// default output, ...
std::string WaveOutDeviceName();

// Scales interleaved samples (frames x channels, 8-bit unsigned or 16-bit signed little-endian) in place by
// a volume as above. A mono stream takes the left level.
void ApplyWaveVolume(uint8_t* samples, uint32_t frames, uint16_t channels, uint16_t bitsPerSample,
                     uint32_t volume);

} // namespace tunelo
