// Inside the wave device: the queue of buffers that every backend keeps, and the backends' entry points.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "wave_device.h"

namespace tunelo {

// Header bookkeeping shared by the backends. Everything here runs under FMutex; a backend's own thread
// waits on FWake for work.
class TMPQueuedWaveDevice : public TMPWaveDevice {
public:
    int32_t Prepare(TMPWaveHeader& header) override;
    int32_t Unprepare(TMPWaveHeader& header) override;
    int32_t Write(TMPWaveHeader& header) override;

protected:
    TMPQueuedWaveDevice(const TMPWaveFormat& format, TMPWaveNotify notify);

    // Called under FMutex after a header joined the queue.
    virtual void QueuedLocked() {}
    // Takes the first queued header off the queue and reports it done.
    void ReturnFirstLocked();
    // Reports every queued header done, in order.
    void ReturnAllLocked();

    const TMPWaveFormat FFormat;
    const TMPWaveNotify FNotify;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<TMPWaveHeader*> FQueue;
};

// The current volume of the (single) device, shared by every handle.
uint32_t CurrentWaveVolume();

// Receives the bytes a device plays, in order, as it plays them; returns 0 or the error that breaks the
// device (it keeps consuming, and reports the error as its Failure).
using TMPWaveSink = std::function<int32_t(const uint8_t* data, uint32_t size)>;

// The null device's consumption with a sink; unpaced, every buffer is played as soon as it is queued.
std::unique_ptr<TMPWaveDevice> MakeSinkWaveDevice(const TMPWaveFormat& format, TMPWaveNotify notify,
                                                  TMPWaveSink sink, bool paced);
// The recording device of TUNELO_AUDIO=file:PATH[:paced].
int32_t OpenFileWaveDevice(std::unique_ptr<TMPWaveDevice>& device, const std::string& path, bool paced,
                           const TMPWaveFormat& format, TMPWaveNotify notify);

int32_t OpenNullWaveDevice(std::unique_ptr<TMPWaveDevice>& device, const TMPWaveFormat& format,
                           TMPWaveNotify notify);
int32_t OpenAlsaWaveDevice(std::unique_ptr<TMPWaveDevice>& device, const std::string& pcmName,
                           const TMPWaveFormat& format, TMPWaveNotify notify);
// Whether the ALSA PCM can be opened for playback right now.
bool AlsaWaveDeviceAvailable(const std::string& pcmName);
const char* AlsaErrorText(int32_t code);

// Result codes kPulseErrorBase + a libpulse error number.
constexpr int32_t kPulseErrorBase = 8192;
constexpr int32_t kPulseErrorCount = 1024;
// sinkName empty: the server's default sink.
int32_t OpenPulseWaveDevice(std::unique_ptr<TMPWaveDevice>& device, const std::string& sinkName,
                            const TMPWaveFormat& format, TMPWaveNotify notify);
// Whether a PulseAudio (or PipeWire) server answers; never starts one.
bool PulseServerAnswers();
// The libpulse error's text, naming the server it came from.
std::string PulseErrorText(int32_t code);
// Which of the libpulse errors (as result codes) mean no server or sink, and which a busy one.
TMPWaveFault PulseErrorFault(int32_t code);
// The server's sinks as "pulse:NAME"; none when no server answers.
std::vector<TMPWaveOutput> ListPulseSinks();
// ALSA's playback devices as "alsa:NAME".
std::vector<TMPWaveOutput> ListAlsaOutputs();

} // namespace tunelo
