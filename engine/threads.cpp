#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <system_error>

#include "MP3Trds.h"
#include "errors.h"

namespace tunelo {

TMPEvent::TMPEvent(bool manualReset, bool initiallySignalled)
    : FManualReset(manualReset), FSignalled(initiallySignalled) {}

TMPEvent::~TMPEvent() = default;

void TMPEvent::Signal() {
    std::lock_guard lock(FMutex);
    FSignalled.store(true);
    FChanged.notify_all();
    for (TMPWaitPoint* point : FWaitPoints) {
        // Taking the point's mutex orders this signal after a waiter's check of the state, so the waiter
        // is either not asleep yet (and will see the signal) or already asleep (and is woken here).
        std::lock_guard pointLock(point->Mutex);
        point->Wake.notify_all();
    }
}

void TMPEvent::Reset() {
    std::lock_guard lock(FMutex);
    FSignalled.store(false);
}

bool TMPEvent::TryTake() {
    if (FManualReset) {
        return FSignalled.load();
    }
    bool expected = true;
    return FSignalled.compare_exchange_strong(expected, false);
}

uint32_t TMPEvent::WaitFor(int32_t milliseconds) {
    std::unique_lock lock(FMutex);
    const auto signalled = [this] { return TryTake(); };
    if (milliseconds < 0) {
        FChanged.wait(lock, signalled);
        return WAIT_OBJECT_0;
    }
    return FChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled) ? WAIT_OBJECT_0
                                                                                       : WAIT_TIMEOUT;
}

void TMPEvent::AddWaitPoint(TMPWaitPoint& point) {
    std::lock_guard lock(FMutex);
    FWaitPoints.push_back(&point);
}

void TMPEvent::RemoveWaitPoint(TMPWaitPoint& point) {
    std::lock_guard lock(FMutex);
    std::erase(FWaitPoints, &point);
}

uint32_t WaitForAny(std::initializer_list<TMPEvent*> events, int32_t milliseconds) {
    TMPWaitPoint point;
    for (TMPEvent* event : events) {
        event->AddWaitPoint(point);
    }
    uint32_t result = WAIT_TIMEOUT;
    {
        std::unique_lock lock(point.Mutex);
        const auto anySignalled = [&] {
            uint32_t index = 0;
            for (TMPEvent* event : events) {
                if (event->TryTake()) {
                    result = WAIT_OBJECT_0 + index;
                    return true;
                }
                ++index;
            }
            return false;
        };
        if (milliseconds < 0) {
            point.Wake.wait(lock, anySignalled);
        } else {
            point.Wake.wait_for(lock, std::chrono::milliseconds(milliseconds), anySignalled);
        }
    }
    // Removal waits until no Signal is still notifying the point.
    for (TMPEvent* event : events) {
        event->RemoveWaitPoint(point);
    }
    return result;
}

int32_t SystemThreadPriority(TThreadPriority priority) {
    static constexpr int32_t kPriorities[] = {-15, -2, -1, 0, 1, 2, 15};
    return kPriorities[std::min<size_t>(priority, std::size(kPriorities) - 1)];
}

TMPLoopThread::TMPLoopThread(TMPMessageTarget& target) : FTarget(target) {
    FEvent.AddWaitPoint(FQueueWait);
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return;
    }
    FHandle = static_cast<uintptr_t>(FThread.native_handle());
    // The thread reports its identifier before it waits for Resume.
    std::unique_lock lock(FQueueWait.Mutex);
    FQueueWait.Wake.wait(lock, [this] { return FThreadId.load() != 0; });
}

TMPLoopThread::~TMPLoopThread() {
    if (FThread.joinable()) {
        {
            std::lock_guard lock(FQueueWait.Mutex);
            if (FResumed) {
                FQueue.push_back({MPM_QUIT, 0, 0});
            } else {
                FAbandoned = true;
            }
            FQueueWait.Wake.notify_all();
        }
        FThread.join();
    }
    FEvent.RemoveWaitPoint(FQueueWait);
}

void TMPLoopThread::Resume() {
    std::lock_guard lock(FQueueWait.Mutex);
    FResumed = true;
    FQueueWait.Wake.notify_all();
}

void TMPLoopThread::SetPriority(int32_t priority) {
    const uint32_t id = FThreadId.load();
    if (FHandle == 0 || id == 0) {
        return;
    }
    // Linux gives threads their own nice value. Raising the priority needs a privilege that a desktop user
    // usually lacks; the refusal leaves the thread as it is.
    const int nice = std::clamp(-priority * 5, -20, 19);
    setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice);
}

bool TMPLoopThread::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (FHandle == 0) {
        return false;
    }
    std::lock_guard lock(FQueueWait.Mutex);
    if (FFinished) {
        return false;
    }
    FQueue.push_back({msg, wParam, lParam});
    FQueueWait.Wake.notify_all();
    return true;
}

void TMPLoopThread::WaitIdle() {
    if (FHandle == 0) {
        return;
    }
    MP_ASSERT_MSG_IN("mp3trds", std::this_thread::get_id() != FThread.get_id(),
                     "TMPLoopThread.WaitIdle called from its own thread");
    {
        // A thread that has not been resumed handles nothing, so the wait could never end.
        std::lock_guard lock(FQueueWait.Mutex);
        if (!FResumed) {
            return;
        }
    }
    TMPSimpleEvent idle;
    if (!Post(MPM_SYNC, reinterpret_cast<uintptr_t>(&idle))) {
        return;
    }
    WaitForAny({&idle, &FEnded}, INFINITE);
}

void TMPLoopThread::Run() {
    bool running = false;
    {
        std::unique_lock lock(FQueueWait.Mutex);
        FThreadId.store(static_cast<uint32_t>(::syscall(SYS_gettid)));
        FQueueWait.Wake.notify_all();
        FQueueWait.Wake.wait(lock, [this] { return FResumed || FAbandoned; });
        running = FResumed;
    }
    while (running) {
        if (const uint32_t waitMessage = Wait(); waitMessage != 0) {
            DispatchGuarded(waitMessage, 0, 0);
        }
        TQueued message{};
        while (running && TakeMessage(message)) {
            if (message.Msg == MPM_QUIT) {
                running = false;
            } else if (message.Msg == MPM_SYNC) {
                if (message.WParam != 0) {
                    reinterpret_cast<TMPEvent*>(message.WParam)->Signal();
                }
            } else {
                DispatchGuarded(message.Msg, message.WParam, message.LParam);
            }
        }
    }
    {
        std::lock_guard lock(FQueueWait.Mutex);
        FFinished = true;
    }
    FEnded.Signal();
}

uint32_t TMPLoopThread::Wait() {
    const int32_t timeout = Timeout();
    std::unique_lock lock(FQueueWait.Mutex);
    const auto woken = [this] { return FEvent.TryTake() || !FQueue.empty(); };
    if (timeout < 0) {
        FQueueWait.Wake.wait(lock, woken);
    } else if (!FQueueWait.Wake.wait_for(lock, std::chrono::milliseconds(timeout), woken)) {
        return MPM_TIMEOUT;
    }
    // The event wins over queued messages; those are handled right after its dispatch.
    return FEvent.TryTake() ? MPM_WATCH_EVENT : 0;
}

bool TMPLoopThread::TakeMessage(TQueued& message) {
    std::lock_guard lock(FQueueWait.Mutex);
    if (FQueue.empty()) {
        return false;
    }
    message = FQueue.front();
    FQueue.pop_front();
    return true;
}

void TMPLoopThread::DispatchGuarded(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    try {
        TMPMessage message{msg, wParam, lParam, 0};
        FTarget.Dispatch(message);
    } catch (const std::exception& error) {
        HandleError(error);
    } catch (...) {
        HandleError(EMPError("Unknown error in a worker thread"));
    }
}

void TMPLoopThread::HandleError(const std::exception& error) {
    bool handled = false;
    if (OnException) {
        try {
            OnException(*this, error, handled);
        } catch (...) {
            handled = false;
        }
    }
    if (!handled) {
        ShowException(error);
    }
}

namespace {

using TErrorDisplay = std::function<void(const std::exception&)>;

std::mutex gErrorDisplayMutex;
std::shared_ptr<const TErrorDisplay> gErrorDisplay;

} // namespace

void SetErrorDisplay(std::function<void(const std::exception& error)> display) {
    std::shared_ptr<const TErrorDisplay> stored =
        display ? std::make_shared<const TErrorDisplay>(std::move(display)) : nullptr;
    std::lock_guard lock(gErrorDisplayMutex);
    gErrorDisplay.swap(stored);
}

void ShowException(const std::exception& error) {
    std::shared_ptr<const TErrorDisplay> display;
    {
        std::lock_guard lock(gErrorDisplayMutex);
        display = gErrorDisplay;
    }
    if (display) {
        (*display)(error);
    } else {
        std::fprintf(stderr, "error: %s\n", error.what());
    }
}

} // namespace tunelo
