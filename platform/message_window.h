// Hidden message windows: the way worker threads report to the window thread. Every thread that creates a
// window gets one message queue; a post from any thread lands in the queue of the window's thread, and that
// thread dispatches it to the window's target when it pumps (ProcessMessages). A host wakes the window
// thread through the wake hook: the Qt program posts an event that pumps on the GUI thread, the command line
// and the tests pump themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "message_numbers.h"

namespace tunelo {

class TMPThreadMessageQueue;

class TMPMessageWindow {
public:
    // The window belongs to the calling thread; it must also be destroyed there. The target is not owned
    // and must outlive the window.
    explicit TMPMessageWindow(TMPMessageTarget& target);
    // Messages still queued for the window are dropped.
    ~TMPMessageWindow();

    TMPMessageWindow(const TMPMessageWindow&) = delete;
    TMPMessageWindow& operator=(const TMPMessageWindow&) = delete;

    // Queues a message for the window; any thread. Always succeeds.
    void Post(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Queues a message only when no message of that number is waiting for this window; true if it was
    // queued. Any thread.
    bool PostUnlessQueued(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Takes every waiting message of that number out of the window's queue; returns how many.
    int32_t RemoveQueued(uint32_t msg);
    // Whether a message of that number is waiting for this window.
    bool IsQueued(uint32_t msg) const;
    // Dispatches a message to the target at once, on the calling thread (the window's thread), and returns
    // the handler's result.
    intptr_t Send(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);

private:
    void Enqueue(const TMPMessage& message);

    TMPMessageTarget& FTarget;
    std::shared_ptr<TMPThreadMessageQueue> FQueue;
};

// Dispatches the messages waiting for the calling thread's windows, in the order they were posted, until
// none is left (also those posted meanwhile); returns how many were dispatched. Re-entrant: a handler may
// pump again.
int32_t ProcessMessages();
// Blocks until a message is waiting for the calling thread's windows or the time-out (ms; -1 = none)
// passes; true if a message is waiting.
bool WaitMessage(int32_t milliseconds);

// Called on the posting thread after every post to any window, so that a host whose window thread sleeps
// in its own event loop can make it pump. Empty: no hook.
void SetMessageWakeHook(std::function<void()> hook);
// The application's message pump: the host's own (the Qt program processes its events, which pumps the
// windows too). Empty: ProcessMessages.
void SetApplicationPump(std::function<void()> pump);
// Runs the application's message pump once on the calling thread.
void ApplicationProcessMessages();

} // namespace tunelo
