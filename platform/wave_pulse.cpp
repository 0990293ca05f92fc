// The PulseAudio wave device (PipeWire serves the same protocol). libpulse's threaded main loop runs the
// connection; its thread hands queued buffers to the server as the server asks for data, applying the
// device volume as it copies, and returns each buffer once the server reports that its last sample has been
// heard. So the player's end of a track is the end of what the listener hears, and the position counts
// what came out of the speaker rather than what went into the server.
//
// Locks: the main loop's lock first, then FMutex. libpulse calls back with its lock held.
#include <algorithm>
#include <cstring>
#include <deque>

#include "pulse_connection.h"
#include "wave_backend.h"

namespace tunelo {

namespace {

// What the server keeps between us and the speaker; pausing and seeking take effect within this.
constexpr uint32_t kTargetLatencyMillis = 200;

class TPulseWaveDevice final : public TMPQueuedWaveDevice {
public:
    TPulseWaveDevice(const TMPWaveFormat& format, TMPWaveNotify notify)
        : TMPQueuedWaveDevice(format, std::move(notify)) {}

    ~TPulseWaveDevice() override { Release(); }

    int32_t Connect(const std::string& sinkName) {
        int32_t result = FConnection.Connect([this](int32_t error) { Fail(error); });
        if (result != MMSYSERR_NOERROR || !FNotify) {
            // A handle without notifications only reads the volume: it needs no stream.
            return result;
        }
        RememberPulseSink(sinkName);
        FConnection.Lock();
        result = CreateStreamLocked(sinkName);
        FConnection.Unlock();
        if (result != MMSYSERR_NOERROR) {
            return result;
        }
        FConnection.WaitFor([&] { return FStreamState != PA_STREAM_CREATING; }, kPulseAnswerTimeout);
        FConnection.Lock();
        if (pa_stream_get_state(FStream) != PA_STREAM_READY) {
            // No error recorded: the server never answered.
            const int error = pa_context_errno(FConnection.Context());
            result = PulseCode(error != PA_OK ? error : PA_ERR_TIMEOUT);
        } else {
            FeedLocked();
        }
        FConnection.Unlock();
        return result;
    }

    int32_t Close() override {
        {
            std::lock_guard lock(FMutex);
            if (!FQueue.empty()) {
                return WAVERR_STILLPLAYING;
            }
        }
        // Every buffer came back only once it was heard: what the server still holds is silence.
        Release();
        return MMSYSERR_NOERROR;
    }

    int32_t Write(TMPWaveHeader& header) override {
        {
            std::lock_guard lock(FMutex);
            if (FFailure != 0) {
                return FFailure;
            }
        }
        const int32_t result = TMPQueuedWaveDevice::Write(header);
        if (result == MMSYSERR_NOERROR && FStream != nullptr) {
            FConnection.Lock();
            FeedLocked();
            FConnection.Unlock();
        }
        return result;
    }

    int32_t Pause() override { return Cork(true); }
    int32_t Restart() override { return Cork(false); }

    int32_t Reset() override {
        if (FStream == nullptr) {
            return MMSYSERR_NOERROR;
        }
        FConnection.Lock();
        if (StreamUsableLocked()) {
            Forget(pa_stream_flush(FStream, nullptr, nullptr));
            if (FCorked) {
                Forget(pa_stream_cork(FStream, 0, nullptr, nullptr));
            }
        }
        {
            std::lock_guard lock(FMutex);
            ReturnAllLocked();
            FSpans.clear();
            FCompletedBytes = 0;
            FWrittenBytes = 0;
            FHeardBytes = 0;
            FStarted = false;
            FCorked = false;
        }
        StopTimerLocked();
        FConnection.Unlock();
        return MMSYSERR_NOERROR;
    }

    int32_t GetPosition(uint32_t& bytes) override {
        if (FStream == nullptr) {
            bytes = 0;
            return MMSYSERR_NOERROR;
        }
        FConnection.Lock();
        {
            std::lock_guard lock(FMutex);
            const uint64_t heard = HeardLocked();
            uint64_t position = FCompletedBytes;
            if (!FSpans.empty() && heard > FSpans.front().Start) {
                position += std::min(heard, FSpans.front().End) - FSpans.front().Start;
            }
            bytes = static_cast<uint32_t>(position);
        }
        FConnection.Unlock();
        return MMSYSERR_NOERROR;
    }

    int32_t Failure() override {
        std::lock_guard lock(FMutex);
        return FFailure;
    }

    int32_t SetMediaInfo(const std::string& title, const std::string& artist) override {
        if (FStream == nullptr) {
            return MMSYSERR_NOERROR;
        }
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_MEDIA_TITLE, title.c_str());
        pa_proplist_sets(properties, PA_PROP_MEDIA_ARTIST, artist.c_str());
        pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, title.empty() ? "Music" : title.c_str());
        FConnection.Lock();
        if (StreamUsableLocked()) {
            Forget(pa_stream_proplist_update(FStream, PA_UPDATE_REPLACE, properties, nullptr, nullptr));
        }
        FConnection.Unlock();
        pa_proplist_free(properties);
        return MMSYSERR_NOERROR;
    }

private:
    // Where a queued buffer lies in the bytes written to the stream since the last reset; End grows while
    // the buffer is being written.
    struct TSpan {
        uint64_t Start = 0;
        uint64_t End = 0;
        bool Complete = false;
    };

    static void Forget(pa_operation* operation) {
        if (operation != nullptr) {
            pa_operation_unref(operation);
        }
    }

    int32_t CreateStreamLocked(const std::string& sinkName) {
        pa_sample_spec spec{};
        spec.format = FFormat.BitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
        spec.rate = FFormat.SamplesPerSec;
        spec.channels = static_cast<uint8_t>(FFormat.Channels);
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
        FStream = pa_stream_new_with_proplist(FConnection.Context(), "Music", &spec, nullptr, properties);
        pa_proplist_free(properties);
        if (FStream == nullptr) {
            return PulseCode(pa_context_errno(FConnection.Context()));
        }
        FTimer = pa_context_rttime_new(FConnection.Context(), PA_USEC_INVALID, &TPulseWaveDevice::TimerFired,
                                       this);
        pa_stream_set_state_callback(FStream, &TPulseWaveDevice::StreamStateChanged, this);
        pa_stream_set_write_callback(FStream, &TPulseWaveDevice::WriteRequested, this);
        pa_stream_set_latency_update_callback(FStream, &TPulseWaveDevice::LatencyUpdated, this);

        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<uint32_t>(-1);
        attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyMillis * 1000, &spec));
        attributes.prebuf = static_cast<uint32_t>(-1);
        attributes.minreq = static_cast<uint32_t>(-1);
        attributes.fragsize = static_cast<uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(FStream, sinkName.empty() ? nullptr : sinkName.c_str(), &attributes,
                                       flags, nullptr, nullptr) < 0) {
            return PulseCode(pa_context_errno(FConnection.Context()));
        }
        return MMSYSERR_NOERROR;
    }

    bool StreamUsableLocked() const {
        return FStream != nullptr && pa_stream_get_state(FStream) == PA_STREAM_READY;
    }

    int32_t Cork(bool cork) {
        if (FStream == nullptr) {
            return MMSYSERR_NOERROR;
        }
        FConnection.Lock();
        if (StreamUsableLocked()) {
            Forget(pa_stream_cork(FStream, cork ? 1 : 0, nullptr, nullptr));
        }
        {
            std::lock_guard lock(FMutex);
            FCorked = cork;
        }
        if (cork) {
            StopTimerLocked();
        } else {
            CheckDoneLocked();
        }
        FConnection.Unlock();
        return MMSYSERR_NOERROR;
    }

    // Hands the server as much as it asks for: queued audio, or silence once playing has begun and the
    // queue has run dry, so that the stream keeps running and the last buffer's end is heard on time.
    void FeedLocked() {
        if (!StreamUsableLocked()) {
            return;
        }
        size_t writable = pa_stream_writable_size(FStream);
        const uint32_t blockAlign = FFormat.BlockAlign;
        while (writable >= blockAlign) {
            std::unique_lock lock(FMutex);
            TMPWaveHeader* header = NextToWriteLocked();
            if (header == nullptr && !FStarted) {
                break;
            }
            void* target = nullptr;
            size_t size = writable - writable % blockAlign;
            if (header != nullptr) {
                // The odd bytes of a frame at a buffer's end are not sent.
                uint32_t left =
                    header->BufferLength - static_cast<uint32_t>(FSpans.back().End - FSpans.back().Start);
                left -= left % blockAlign;
                size = std::min<size_t>(size, left);
            }
            if (size == 0) {
                // An empty buffer, or one written to its end: nothing more to send.
                FSpans.back().Complete = true;
                continue;
            }
            lock.unlock();
            if (pa_stream_begin_write(FStream, &target, &size) < 0 || target == nullptr) {
                return;
            }
            size -= size % blockAlign;
            lock.lock();
            if (header != nullptr) {
                TSpan& span = FSpans.back();
                std::memcpy(target, header->Data + (span.End - span.Start), size);
                ApplyWaveVolume(static_cast<uint8_t*>(target), static_cast<uint32_t>(size / blockAlign),
                                FFormat.Channels, FFormat.BitsPerSample, CurrentWaveVolume());
                span.End += size;
                if (header->BufferLength - (span.End - span.Start) < blockAlign) {
                    span.Complete = true;
                }
                FStarted = true;
            } else {
                std::memset(target, FFormat.BitsPerSample == 8 ? 0x80 : 0, size);
            }
            FWrittenBytes += size;
            lock.unlock();
            if (pa_stream_write(FStream, target, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                return;
            }
            writable -= std::min(writable, size);
        }
        CheckDoneLocked();
    }

    // The buffer whose bytes go out next, with its span begun; none when every queued buffer is written.
    TMPWaveHeader* NextToWriteLocked() {
        if (!FSpans.empty() && !FSpans.back().Complete) {
            return FQueue[FSpans.size() - 1];
        }
        if (FSpans.size() >= FQueue.size()) {
            return nullptr;
        }
        FSpans.push_back({FWrittenBytes, FWrittenBytes, false});
        return FQueue[FSpans.size() - 1];
    }

    // Bytes of the stream heard since the last reset: written minus what is still between us and the
    // speaker. Never goes back; until the server's timing arrives after a reset, nothing counts as heard.
    uint64_t HeardLocked() {
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(FStream, &latency, &negative) == 0) {
            const uint64_t pending =
                negative != 0 ? 0 : pa_usec_to_bytes(latency, pa_stream_get_sample_spec(FStream));
            const uint64_t heard = FWrittenBytes - std::min(pending, FWrittenBytes);
            FHeardBytes = std::max(FHeardBytes, heard);
        }
        return FHeardBytes;
    }

    // Returns the buffers heard to their end, and sets the timer for the next one.
    void CheckDoneLocked() {
        if (!StreamUsableLocked()) {
            return;
        }
        uint64_t waitBytes = 0;
        {
            std::lock_guard lock(FMutex);
            const uint64_t heard = HeardLocked();
            while (!FSpans.empty() && FSpans.front().Complete && FSpans.front().End <= heard) {
                FCompletedBytes += FSpans.front().End - FSpans.front().Start;
                FSpans.pop_front();
                ReturnFirstLocked();
            }
            if (FCorked || FSpans.empty() || !FSpans.front().Complete) {
                waitBytes = 0;
            } else {
                waitBytes = FSpans.front().End - heard;
            }
        }
        if (waitBytes == 0) {
            // The next request from the server or its next timing report looks again.
            StopTimerLocked();
            return;
        }
        const pa_usec_t wait = pa_bytes_to_usec(waitBytes, pa_stream_get_sample_spec(FStream));
        if (FTimer != nullptr) {
            pa_context_rttime_restart(FConnection.Context(), FTimer,
                                      pa_rtclock_now() + std::max<pa_usec_t>(wait, 2000));
        }
    }

    void StopTimerLocked() {
        if (FTimer != nullptr) {
            pa_context_rttime_restart(FConnection.Context(), FTimer, PA_USEC_INVALID);
        }
    }

    // The server or the stream is gone: the buffers come back unplayed and the next Write reports why.
    void Fail(int32_t error) {
        std::lock_guard lock(FMutex);
        if (FFailure == 0) {
            FFailure = error;
        }
        ReturnAllLocked();
        FSpans.clear();
    }

    void Release() {
        FConnection.StopLoop();
        // The loop thread has ended: no callback can meet the stream any more.
        if (FStream != nullptr) {
            pa_stream_set_state_callback(FStream, nullptr, nullptr);
            pa_stream_set_write_callback(FStream, nullptr, nullptr);
            pa_stream_set_latency_update_callback(FStream, nullptr, nullptr);
            pa_stream_disconnect(FStream);
            pa_stream_unref(FStream);
            FStream = nullptr;
        }
        // The timer belongs to the main loop and goes with it.
        FTimer = nullptr;
        FConnection.Disconnect();
    }

    static void StreamStateChanged(pa_stream* stream, void* self) {
        auto& device = *static_cast<TPulseWaveDevice*>(self);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        device.FConnection.Notify([&] {
            if (state != PA_STREAM_CREATING && state != PA_STREAM_UNCONNECTED) {
                device.FStreamState = state;
            }
        });
        if (state == PA_STREAM_FAILED) {
            device.Fail(PulseCode(pa_context_errno(pa_stream_get_context(stream))));
        }
    }

    static void WriteRequested(pa_stream*, size_t, void* self) {
        static_cast<TPulseWaveDevice*>(self)->FeedLocked();
    }

    static void LatencyUpdated(pa_stream*, void* self) {
        static_cast<TPulseWaveDevice*>(self)->CheckDoneLocked();
    }

    static void TimerFired(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        static_cast<TPulseWaveDevice*>(self)->CheckDoneLocked();
    }

    TPulseConnection FConnection;
    pa_stream* FStream = nullptr;
    pa_time_event* FTimer = nullptr;
    // Read by Connect's wait under the connection's state lock.
    pa_stream_state_t FStreamState = PA_STREAM_CREATING;

    // Under FMutex.
    std::deque<TSpan> FSpans;
    uint64_t FWrittenBytes = 0;
    uint64_t FHeardBytes = 0;
    // Bytes of the buffers already returned since the last reset.
    uint64_t FCompletedBytes = 0;
    bool FStarted = false;
    bool FCorked = false;
    int32_t FFailure = 0;
};

} // namespace

int32_t OpenPulseWaveDevice(std::unique_ptr<TMPWaveDevice>& device, const std::string& sinkName,
                            const TMPWaveFormat& format, TMPWaveNotify notify) {
    auto pulse = std::make_unique<TPulseWaveDevice>(format, std::move(notify));
    const int32_t result = pulse->Connect(sinkName);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    device = std::move(pulse);
    return MMSYSERR_NOERROR;
}

} // namespace tunelo
