#include "message_window.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace tunelo {

// The message queue of one window thread. Windows keep it alive, so a post from a worker thread never
// reaches a queue that is gone, even when the window thread has ended.
class TMPThreadMessageQueue {
public:
    struct TEntry {
        TMPMessageWindow* Window;
        TMPMessageTarget* Target;
        TMPMessage Message;
    };

    std::mutex Mutex;
    std::condition_variable Arrived;
    std::deque<TEntry> Entries;
};

namespace {

using THook = std::shared_ptr<const std::function<void()>>;

std::mutex gHookMutex;
THook gWakeHook;
THook gApplicationPump;

THook LoadHook(const THook& hook) {
    std::lock_guard lock(gHookMutex);
    return hook;
}

void StoreHook(THook& hook, std::function<void()> value) {
    THook stored = value ? std::make_shared<const std::function<void()>>(std::move(value)) : nullptr;
    std::lock_guard lock(gHookMutex);
    hook.swap(stored);
}

std::shared_ptr<TMPThreadMessageQueue>& ThreadQueue() {
    thread_local std::shared_ptr<TMPThreadMessageQueue> queue = std::make_shared<TMPThreadMessageQueue>();
    return queue;
}

void Wake() {
    if (THook hook = LoadHook(gWakeHook)) {
        (*hook)();
    }
}

} // namespace

TMPMessageWindow::TMPMessageWindow(TMPMessageTarget& target) : FTarget(target), FQueue(ThreadQueue()) {}

TMPMessageWindow::~TMPMessageWindow() {
    std::lock_guard lock(FQueue->Mutex);
    std::erase_if(FQueue->Entries, [this](const auto& entry) { return entry.Window == this; });
}

void TMPMessageWindow::Enqueue(const TMPMessage& message) {
    FQueue->Entries.push_back({this, &FTarget, message});
    FQueue->Arrived.notify_all();
}

void TMPMessageWindow::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard lock(FQueue->Mutex);
        Enqueue({msg, wParam, lParam, 0});
    }
    Wake();
}

bool TMPMessageWindow::PostUnlessQueued(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard lock(FQueue->Mutex);
        for (const auto& entry : FQueue->Entries) {
            if (entry.Window == this && entry.Message.Msg == msg) {
                return false;
            }
        }
        Enqueue({msg, wParam, lParam, 0});
    }
    Wake();
    return true;
}

int32_t TMPMessageWindow::RemoveQueued(uint32_t msg) {
    std::lock_guard lock(FQueue->Mutex);
    return static_cast<int32_t>(std::erase_if(FQueue->Entries, [this, msg](const auto& entry) {
        return entry.Window == this && entry.Message.Msg == msg;
    }));
}

bool TMPMessageWindow::IsQueued(uint32_t msg) const {
    std::lock_guard lock(FQueue->Mutex);
    for (const auto& entry : FQueue->Entries) {
        if (entry.Window == this && entry.Message.Msg == msg) {
            return true;
        }
    }
    return false;
}

intptr_t TMPMessageWindow::Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    TMPMessage message{msg, wParam, lParam, 0};
    FTarget.Dispatch(message);
    return message.Result;
}

int32_t ProcessMessages() {
    TMPThreadMessageQueue& queue = *ThreadQueue();
    int32_t dispatched = 0;
    for (;;) {
        TMPThreadMessageQueue::TEntry entry;
        {
            std::lock_guard lock(queue.Mutex);
            if (queue.Entries.empty()) {
                return dispatched;
            }
            entry = queue.Entries.front();
            queue.Entries.pop_front();
        }
        // Windows are destroyed only on this thread, and a destroyed window takes its entries with it, so
        // the target of an entry taken from the queue is alive here.
        entry.Target->Dispatch(entry.Message);
        ++dispatched;
    }
}

bool WaitMessage(int32_t milliseconds) {
    TMPThreadMessageQueue& queue = *ThreadQueue();
    std::unique_lock lock(queue.Mutex);
    const auto waiting = [&queue] { return !queue.Entries.empty(); };
    if (milliseconds < 0) {
        queue.Arrived.wait(lock, waiting);
        return true;
    }
    return queue.Arrived.wait_for(lock, std::chrono::milliseconds(milliseconds), waiting);
}

void SetMessageWakeHook(std::function<void()> hook) {
    StoreHook(gWakeHook, std::move(hook));
}

void SetApplicationPump(std::function<void()> pump) {
    StoreHook(gApplicationPump, std::move(pump));
}

void ApplicationProcessMessages() {
    if (THook pump = LoadHook(gApplicationPump)) {
        (*pump)();
    } else {
        ProcessMessages();
    }
}

} // namespace tunelo
