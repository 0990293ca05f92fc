// Chief header of the engine's threading: locks, events and the loop thread that runs the decode loop and
// the wave output. A loop thread sleeps until its run event is signalled, its time-out passes or a message
// arrives, and turns each of these into a message for its target.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

#include "message_numbers.h"

namespace tunelo {

// Wait results and the wait without time-out.
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 258;
constexpr int32_t INFINITE = -1;

// Loop-thread messages.
constexpr uint32_t MPM_QUIT = WM_USER + 30;        // owner -> thread: the thread ends
constexpr uint32_t MPM_WATCH_EVENT = WM_USER + 31; // thread -> target: the run event is signalled
constexpr uint32_t MPM_SYNC = WM_USER + 32;        // owner -> thread: wParam is a TMPEvent to signal
constexpr uint32_t MPM_TIMEOUT = WM_USER + 33;     // thread -> target: the wait timed out

class TMPAbstractMutex {
public:
    virtual ~TMPAbstractMutex() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// Re-entrant: the thread that holds it may lock it again; each Lock needs its Unlock.
class TMPSimpleMutex : public TMPAbstractMutex {
public:
    void Lock() override { FMutex.lock(); }
    void Unlock() override { FMutex.unlock(); }

private:
    std::recursive_mutex FMutex;
};

// Holds a TMPAbstractMutex for a scope.
class TMPLockGuard {
public:
    explicit TMPLockGuard(TMPAbstractMutex& mutex) : FMutex(mutex) { FMutex.Lock(); }
    ~TMPLockGuard() { FMutex.Unlock(); }

    TMPLockGuard(const TMPLockGuard&) = delete;
    TMPLockGuard& operator=(const TMPLockGuard&) = delete;

private:
    TMPAbstractMutex& FMutex;
};

// A place where one thread sleeps until any of several events (and whatever else its owner adds, such as
// a message queue) wakes it. Events notify it under its Mutex after they become signalled.
struct TMPWaitPoint {
    std::mutex Mutex;
    std::condition_variable Wake;
};

// An event object. A manual-reset event stays signalled until Reset; an auto-reset event lets one wait
// through and turns itself off.
class TMPEvent {
public:
    TMPEvent(bool manualReset, bool initiallySignalled);
    virtual ~TMPEvent();

    TMPEvent(const TMPEvent&) = delete;
    TMPEvent& operator=(const TMPEvent&) = delete;

    void Signal();
    void Reset();
    // WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT when the time (ms; INFINITE = none) passed first.
    // WaitFor(0) tests the state without blocking.
    uint32_t WaitFor(int32_t milliseconds);

    // Wait points notified whenever the event becomes signalled.
    void AddWaitPoint(TMPWaitPoint& point);
    void RemoveWaitPoint(TMPWaitPoint& point);
    // Takes the signal as a wait would (clears an auto-reset event); false when not signalled. Safe under
    // a wait point's mutex.
    bool TryTake();

private:
    const bool FManualReset;
    std::atomic<bool> FSignalled;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<TMPWaitPoint*> FWaitPoints;
};

// The event kind the engine uses: unnamed, manual-reset, initially not signalled.
class TMPSimpleEvent : public TMPEvent {
public:
    TMPSimpleEvent() : TMPEvent(true, false) {}
};

// Waits until any of the events is signalled: returns WAIT_OBJECT_0 + its index (the lowest signalled
// one), or WAIT_TIMEOUT.
uint32_t WaitForAny(std::initializer_list<TMPEvent*> events, int32_t milliseconds);

enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The system priority of a TThreadPriority: -15, -2, -1, 0, 1, 2, 15.
int32_t SystemThreadPriority(TThreadPriority priority);

class TMPLoopThread {
public:
    // Called in the worker thread when a dispatched message raised an error; set handled to keep the
    // standard error display quiet.
    using TExceptionHandler =
        std::function<void(TMPLoopThread& sender, const std::exception& error, bool& handled)>;

    // Creates the thread suspended: it dispatches nothing until Resume, but messages may be posted at
    // once and are kept. The target is not owned.
    explicit TMPLoopThread(TMPMessageTarget& target);
    // Ends the thread (quit) and waits for it. A thread that was never resumed ends without dispatching.
    ~TMPLoopThread();

    TMPLoopThread(const TMPLoopThread&) = delete;
    TMPLoopThread& operator=(const TMPLoopThread&) = delete;

    void Resume();
    // System priority, -15 (idle) .. 15 (time critical); applied as far as the system allows.
    void SetPriority(int32_t priority);
    // Queues a thread message; false when there is no thread or it has ended.
    bool Post(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    void Quit() { Post(MPM_QUIT); }
    // Returns once every message posted before the call has been handled, or the thread has ended. Not
    // from the worker thread itself.
    void WaitIdle();

    // The run event: while it is signalled, the thread dispatches MPM_WATCH_EVENT once per pass.
    TMPSimpleEvent& Event() { return FEvent; }
    // The wait time-out in ms, -1 = none; any thread may change it, and the next wait uses it.
    int32_t Timeout() const { return FTimeout.load(std::memory_order_relaxed); }
    void SetTimeout(int32_t milliseconds) { FTimeout.store(milliseconds, std::memory_order_relaxed); }
    // Signalled once the thread function has returned.
    TMPEvent& Ended() { return FEnded; }

    uint32_t ThreadId() const { return FThreadId; }
    // Non-zero while a system thread exists (0 when creation failed).
    uintptr_t Handle() const { return FHandle; }
    TMPMessageTarget& Target() const { return FTarget; }

    // Set before Resume; read by the worker thread.
    TExceptionHandler OnException;

private:
    struct TQueued {
        uint32_t Msg;
        uintptr_t WParam;
        intptr_t LParam;
    };

    void Run();
    // Sleeps until the run event, a message or the time-out: the message to dispatch for the wait (0 for
    // none).
    uint32_t Wait();
    bool TakeMessage(TQueued& message);
    void DispatchGuarded(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    void HandleError(const std::exception& error);

    TMPMessageTarget& FTarget;
    TMPSimpleEvent FEvent;
    TMPEvent FEnded{true, false};
    std::atomic<int32_t> FTimeout{-1};
    // The queue and the resume gate; the wait point is notified by the run event.
    TMPWaitPoint FQueueWait;
    std::deque<TQueued> FQueue;
    bool FResumed = false;
    bool FAbandoned = false;
    bool FFinished = false;
    std::atomic<uint32_t> FThreadId{0};
    uintptr_t FHandle = 0;
    std::thread FThread;
};

// The application's standard error display: shows an error's message to the user. Any thread may call it;
// a host whose display belongs to one thread must hand it over there. Without a host display the message
// goes to stderr as "error: MESSAGE".
void SetErrorDisplay(std::function<void(const std::exception& error)> display);
void ShowException(const std::exception& error);

} // namespace tunelo
