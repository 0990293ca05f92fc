// The sound server's connection helpers: error codes and texts naming the server, the probe and the sink
// list.
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>

#include "pulse_connection.h"
#include "wave_backend.h"

namespace tunelo {

namespace {

std::mutex gServerMutex;
std::string gServerName;
std::string gSinkName;

} // namespace

void RememberPulseServer(pa_context* context, bool connected) {
    // After a failed connection libpulse names the last place it tried, the system-wide socket, where
    // a user's server never is: name the one the user would have, or the one PULSE_SERVER gives.
    const char* server = connected ? pa_context_get_server(context) : nullptr;
    const char* configured = std::getenv("PULSE_SERVER");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::lock_guard lock(gServerMutex);
    if (server != nullptr) {
        gServerName = server;
    } else if (configured != nullptr && *configured != '\0') {
        gServerName = configured;
    } else if (runtime != nullptr && *runtime != '\0') {
        gServerName = std::string(runtime) + "/pulse/native";
    } else {
        gServerName = "default";
    }
}

void RememberPulseSink(const std::string& sinkName) {
    std::lock_guard lock(gServerMutex);
    gSinkName = sinkName;
}

int32_t PulseCode(int error) {
    return kPulseErrorBase + std::clamp(error, 1, kPulseErrorCount - 1);
}

int32_t TPulseConnection::Connect(std::function<void(int32_t)> onLost) {
    FOnLost = std::move(onLost);
    FLoop = pa_threaded_mainloop_new();
    if (FLoop == nullptr) {
        return MMSYSERR_NOMEM;
    }
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "TUNELO");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "tunelo");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "audio-x-generic");
    FContext = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(FLoop), "TUNELO", properties);
    pa_proplist_free(properties);
    if (FContext == nullptr) {
        return MMSYSERR_NOMEM;
    }
    pa_context_set_state_callback(FContext, &TPulseConnection::StateChanged, this);
    // No autospawn: a desktop without a server falls back to ALSA instead of growing one.
    if (pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        RememberPulseServer(FContext, false);
        return PulseCode(pa_context_errno(FContext));
    }
    if (pa_threaded_mainloop_start(FLoop) < 0) {
        return MMSYSERR_NOMEM;
    }
    std::unique_lock lock(FStateMutex);
    if (!FStateChanged.wait_for(lock, kPulseAnswerTimeout,
                                [&] { return FState != PA_CONTEXT_UNCONNECTED; })) {
        lock.unlock();
        Lock();
        RememberPulseServer(FContext, false);
        Unlock();
        return PulseCode(PA_ERR_TIMEOUT);
    }
    lock.unlock();
    Lock();
    RememberPulseServer(FContext, ReadyLocked());
    const int32_t result = ReadyLocked() ? MMSYSERR_NOERROR : PulseCode(pa_context_errno(FContext));
    Unlock();
    return result;
}

void TPulseConnection::Disconnect() {
    StopLoop();
    if (FContext != nullptr) {
        pa_context_set_state_callback(FContext, nullptr, nullptr);
        pa_context_disconnect(FContext);
        pa_context_unref(FContext);
        FContext = nullptr;
    }
    if (FLoop != nullptr) {
        pa_threaded_mainloop_free(FLoop);
        FLoop = nullptr;
    }
}

void TPulseConnection::StateChanged(pa_context* context, void* self) {
    auto& connection = *static_cast<TPulseConnection*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    bool lost = false;
    connection.Notify([&] {
        if (state == PA_CONTEXT_READY) {
            connection.FState = state;
        } else if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
            lost = connection.FState == PA_CONTEXT_READY;
            connection.FState = state;
        }
    });
    if (lost && connection.FOnLost) {
        connection.FOnLost(PulseCode(pa_context_errno(context)));
    }
}

bool PulseServerAnswers() {
    TPulseConnection connection;
    return connection.Connect({}) == MMSYSERR_NOERROR;
}

std::vector<TMPWaveOutput> ListPulseSinks() {
    TPulseConnection connection;
    if (connection.Connect({}) != MMSYSERR_NOERROR) {
        return {};
    }
    struct TListing {
        TPulseConnection* Connection;
        std::vector<TMPWaveOutput> Sinks;
        bool Done = false;
    } listing{&connection, {}, false};
    const auto sinkFound = [](pa_context*, const pa_sink_info* info, int last, void* data) {
        auto& found = *static_cast<TListing*>(data);
        found.Connection->Notify([&] {
            if (last != 0) {
                found.Done = true;
            } else if (info != nullptr) {
                const std::string name = info->name != nullptr ? info->name : "";
                found.Sinks.push_back(
                    {"pulse:" + name, info->description != nullptr ? info->description : name});
            }
        });
    };
    connection.Lock();
    pa_operation* operation = pa_context_get_sink_info_list(connection.Context(), sinkFound, &listing);
    connection.Unlock();
    if (operation == nullptr) {
        return {};
    }
    const bool done = connection.WaitFor([&] { return listing.Done; }, kPulseAnswerTimeout);
    connection.Lock();
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    connection.Unlock();
    connection.Disconnect();
    return done ? listing.Sinks : std::vector<TMPWaveOutput>{};
}

TMPWaveFault PulseErrorFault(int32_t code) {
    switch (code - kPulseErrorBase) {
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_NOENTITY:
    case PA_ERR_INVALIDSERVER:
        return TMPWaveFault::NoDevice;
    case PA_ERR_CONNECTIONTERMINATED:
        return TMPWaveFault::Lost;
    case PA_ERR_BUSY:
        return TMPWaveFault::Busy;
    default:
        return TMPWaveFault::Other;
    }
}

std::string PulseErrorText(int32_t code) {
    std::string server;
    std::string sink;
    {
        std::lock_guard lock(gServerMutex);
        server = gServerName.empty() ? "default" : gServerName;
        sink = gSinkName;
    }
    if (code - kPulseErrorBase == PA_ERR_NOENTITY && !sink.empty()) {
        return "PulseAudio server " + server + " has no output \"" + sink + "\"";
    }
    return std::string("PulseAudio server ") + server + ": " + pa_strerror(code - kPulseErrorBase);
}

} // namespace tunelo
