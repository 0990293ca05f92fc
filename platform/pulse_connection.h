// The connection to a PulseAudio (or PipeWire) server that the sound server's wave device, the probe and
// the sink list share: a threaded main loop with one context, connected without starting a server, and the
// result codes that carry libpulse's errors.
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "wave_device.h"

namespace tunelo {

// A server that does not answer within this is taken as absent.
constexpr std::chrono::milliseconds kPulseAnswerTimeout{5000};

// The result code of a libpulse error number.
int32_t PulseCode(int error);
// Keeps the address of the server the context talks to (or tried to), for the error texts.
void RememberPulseServer(pa_context* context, bool connected);
// Keeps the sink a stream is opened on (empty for the server's default), so that "no such entity" can
// name it.
void RememberPulseSink(const std::string& sinkName);

// A threaded main loop with one context, connected without starting a server.
class TPulseConnection {
public:
    TPulseConnection() = default;
    TPulseConnection(const TPulseConnection&) = delete;
    TPulseConnection& operator=(const TPulseConnection&) = delete;
    ~TPulseConnection() { Disconnect(); }

    // Waits until the server answers, refuses or the time-out passes. onLost runs on the loop thread when a
    // ready connection breaks, with the main loop locked.
    int32_t Connect(std::function<void(int32_t)> onLost);

    void StopLoop() {
        if (FLoop != nullptr) {
            pa_threaded_mainloop_stop(FLoop);
        }
    }

    // Stops the loop thread first, so that no callback runs while the objects go.
    void Disconnect();

    bool ReadyLocked() const { return pa_context_get_state(FContext) == PA_CONTEXT_READY; }
    void Lock() { pa_threaded_mainloop_lock(FLoop); }
    void Unlock() { pa_threaded_mainloop_unlock(FLoop); }
    pa_context* Context() const { return FContext; }

    // Waits, without the main loop's lock, until done() holds; done runs under FStateMutex.
    template <class TDone> bool WaitFor(TDone done, std::chrono::milliseconds timeout) {
        std::unique_lock lock(FStateMutex);
        return FStateChanged.wait_for(lock, timeout, done);
    }
    // Wakes WaitFor; change runs under FStateMutex.
    template <class TChange> void Notify(TChange change) {
        std::lock_guard lock(FStateMutex);
        change();
        FStateChanged.notify_all();
    }

private:
    static void StateChanged(pa_context* context, void* self);

    pa_threaded_mainloop* FLoop = nullptr;
    pa_context* FContext = nullptr;
    std::function<void(int32_t)> FOnLost;
    std::mutex FStateMutex;
    std::condition_variable FStateChanged;
    // UNCONNECTED until the server answered: READY, FAILED or TERMINATED.
    pa_context_state_t FState = PA_CONTEXT_UNCONNECTED;
};

} // namespace tunelo
