// Tests of the locks, events and the loop thread (message order, quit, the run event, time-outs,
// WaitIdle, errors raised by handlers). The message windows they report through are tested in
// tests/platform.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MP3Plyr.h"
#include "recording_target.h"

using namespace tunelo;
using testsupport::CurrentThreadId;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kFirst = WM_USER + 100;

// Polls until the condition holds; the bound is far beyond any wait these tests expect, so it only ends a
// test that would otherwise hang.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The loop thread's own wait messages (event watches and time-outs) are left out unless asked for.
class RecordingTarget : public testsupport::RecordingTarget {
public:
    std::vector<uint32_t> Numbers(bool withWaitMessages = false) {
        return testsupport::RecordingTarget::Numbers(
            withWaitMessages ? std::vector<uint32_t>{} : std::vector<uint32_t>{MPM_WATCH_EVENT, MPM_TIMEOUT});
    }
    int Watches() { return Count(MPM_WATCH_EVENT); }
    int Timeouts() { return Count(MPM_TIMEOUT); }
};

// Captures what the standard error display shows while a test runs.
class ErrorDisplayCapture {
public:
    ErrorDisplayCapture() {
        SetErrorDisplay([this](const std::exception& error) {
            std::lock_guard lock(FMutex);
            FShown.push_back(error.what());
        });
    }
    ~ErrorDisplayCapture() { SetErrorDisplay(nullptr); }

    std::vector<std::string> Shown() {
        std::lock_guard lock(FMutex);
        return FShown;
    }

private:
    std::mutex FMutex;
    std::vector<std::string> FShown;
};

TEST(SimpleMutex, IsReentrantAndExcludesOtherThreadsUntilFullyUnlocked) {
    TMPSimpleMutex mutex;
    std::atomic<bool> otherHasLock{false};
    mutex.Lock();
    mutex.Lock();
    std::thread other([&] {
        mutex.Lock();
        otherHasLock = true;
        mutex.Unlock();
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(otherHasLock);
    mutex.Unlock();
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(otherHasLock) << "one Unlock of two released the lock";
    mutex.Unlock();
    other.join();
    EXPECT_TRUE(otherHasLock);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    TMPSimpleEvent event;
    EXPECT_EQ(event.WaitFor(0), WAIT_TIMEOUT);
    EXPECT_EQ(event.WaitFor(5), WAIT_TIMEOUT);
    event.Signal();
    EXPECT_EQ(event.WaitFor(0), WAIT_OBJECT_0);
    EXPECT_EQ(event.WaitFor(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(event.WaitFor(0), WAIT_OBJECT_0);
    event.Reset();
    EXPECT_EQ(event.WaitFor(0), WAIT_TIMEOUT);
}

TEST(Event, AutoResetLetsOneWaitThrough) {
    TMPEvent event(false, true);
    EXPECT_EQ(event.WaitFor(0), WAIT_OBJECT_0);
    EXPECT_EQ(event.WaitFor(0), WAIT_TIMEOUT);
    event.Signal();
    EXPECT_EQ(WaitForAny({&event}, 0), WAIT_OBJECT_0);
    EXPECT_EQ(event.WaitFor(0), WAIT_TIMEOUT);
}

TEST(Event, SignalFromAnotherThreadReleasesWaiters) {
    TMPSimpleEvent event;
    TMPSimpleEvent other;
    std::atomic<int> released{0};
    std::thread single([&] {
        if (event.WaitFor(INFINITE) == WAIT_OBJECT_0) {
            ++released;
        }
    });
    std::thread any([&] {
        if (WaitForAny({&other, &event}, INFINITE) == WAIT_OBJECT_0 + 1) {
            ++released;
        }
    });
    std::this_thread::sleep_for(10ms);
    event.Signal();
    single.join();
    any.join();
    EXPECT_EQ(released, 2);
}

TEST(Event, WaitForAnyReportsTheLowestSignalledEventOrTimesOut) {
    TMPSimpleEvent a;
    TMPSimpleEvent b;
    TMPSimpleEvent c;
    EXPECT_EQ(WaitForAny({&a, &b, &c}, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForAny({&a, &b, &c}, 5), WAIT_TIMEOUT);
    c.Signal();
    b.Signal();
    EXPECT_EQ(WaitForAny({&a, &b, &c}, INFINITE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForAny({&a, &c}, 0), WAIT_OBJECT_0 + 1);
}

TEST(ThreadPriority, MapsToTheSystemPriorities) {
    const int32_t expected[] = {-15, -2, -1, 0, 1, 2, 15};
    for (int p = tpIdle; p <= tpTimeCritical; ++p) {
        EXPECT_EQ(SystemThreadPriority(static_cast<TThreadPriority>(p)), expected[p]) << p;
    }
}

TEST(LoopThread, KeepsMessagesPostedBeforeResumeAndHandlesThemInOrderOnItsOwnThread) {
    RecordingTarget target;
    TMPLoopThread thread(target);
    ASSERT_NE(thread.Handle(), 0u);
    EXPECT_NE(thread.ThreadId(), 0u);
    EXPECT_NE(thread.ThreadId(), CurrentThreadId());
    EXPECT_EQ(thread.Timeout(), -1);
    for (uint32_t i = 0; i < 200; ++i) {
        ASSERT_TRUE(thread.Post(kFirst + i, i * 3, -static_cast<intptr_t>(i)));
    }
    std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(target.Numbers(true).empty()) << "a thread that was not resumed dispatched";
    thread.Resume();
    thread.WaitIdle();

    std::lock_guard lock(target.Mutex);
    ASSERT_EQ(target.Messages.size(), 200u) << "no wait message expected: the event is off, no time-out";
    for (uint32_t i = 0; i < 200; ++i) {
        EXPECT_EQ(target.Messages[i].Msg, kFirst + i);
        EXPECT_EQ(target.Messages[i].WParam, i * 3);
        EXPECT_EQ(target.Messages[i].LParam, -static_cast<intptr_t>(i));
        EXPECT_EQ(target.Messages[i].Result, 0);
        EXPECT_EQ(target.ThreadIds[i], thread.ThreadId());
    }
}

TEST(LoopThread, QuitEndsTheThreadWhenReachedAndLeavesLaterMessagesUnhandled) {
    RecordingTarget target;
    TMPLoopThread thread(target);
    thread.Post(kFirst);
    thread.Post(kFirst + 1);
    thread.Quit();
    thread.Post(kFirst + 2);
    thread.Resume();
    ASSERT_EQ(thread.Ended().WaitFor(20000), WAIT_OBJECT_0);
    EXPECT_EQ(target.Numbers(), (std::vector<uint32_t>{kFirst, kFirst + 1}));
    EXPECT_FALSE(thread.Post(kFirst + 3));
    thread.WaitIdle(); // returns at once: the thread has ended
    EXPECT_EQ(target.Numbers(), (std::vector<uint32_t>{kFirst, kFirst + 1}));
}

TEST(LoopThread, SignalledEventDispatchesOncePerPassWithPostedMessagesHandledBetween) {
    RecordingTarget target;
    TMPLoopThread thread(target);
    thread.Resume();
    thread.Event().Signal();
    ASSERT_TRUE(Eventually([&] { return target.Watches() >= 3; }));
    for (uint32_t i = 0; i < 20; ++i) {
        thread.Post(kFirst + i);
        std::this_thread::sleep_for(1ms);
    }
    // WaitIdle returns although the event keeps the thread busy: messages are not starved.
    thread.WaitIdle();
    const int watchesAfterMessages = target.Watches();
    ASSERT_TRUE(Eventually([&] { return target.Watches() > watchesAfterMessages + 2; }))
        << "the event stopped being dispatched";
    thread.Event().Reset();
    thread.WaitIdle();

    const std::vector<uint32_t> numbers = target.Numbers();
    ASSERT_EQ(numbers.size(), 20u);
    for (uint32_t i = 0; i < 20; ++i) {
        EXPECT_EQ(numbers[i], kFirst + i);
    }

    // Once reset, the event is not dispatched any more.
    const int watchesAfterReset = target.Watches();
    thread.Post(kFirst);
    thread.WaitIdle();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(target.Watches(), watchesAfterReset);
}

TEST(LoopThread, TimeoutDispatchesTimeoutMessagesUntilSetBackToMinusOne) {
    RecordingTarget target;
    TMPLoopThread thread(target);
    thread.Resume();
    thread.Post(kFirst);
    thread.WaitIdle();
    EXPECT_EQ(target.Timeouts(), 0);
    EXPECT_EQ(target.Watches(), 0);

    thread.SetTimeout(2);
    thread.Post(kFirst + 1); // wakes the thread so that the next wait uses the new time-out
    ASSERT_TRUE(Eventually([&] { return target.Timeouts() >= 3; }));

    thread.SetTimeout(-1);
    thread.WaitIdle(); // the wait that ends here is the last one with a time-out
    const int timeouts = target.Timeouts();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(target.Timeouts(), timeouts);
    EXPECT_EQ(target.Watches(), 0);
}

TEST(LoopThread, WaitIdleReturnsAfterEveryEarlierMessageWasHandled) {
    RecordingTarget target;
    std::atomic<int> handled{0};
    target.Handler = [&](TMPMessage&) {
        std::this_thread::sleep_for(3ms);
        ++handled;
    };
    TMPLoopThread thread(target);
    thread.Resume();
    for (int round = 1; round <= 3; ++round) {
        for (int i = 0; i < 5; ++i) {
            thread.Post(kFirst);
        }
        thread.WaitIdle();
        EXPECT_EQ(handled, 5 * round);
    }
}

TEST(LoopThread, SyncMessageSignalsTheEventItCarries) {
    RecordingTarget target;
    TMPLoopThread thread(target);
    thread.Resume();
    TMPSimpleEvent reached;
    thread.Post(kFirst);
    thread.Post(MPM_SYNC, reinterpret_cast<uintptr_t>(&reached));
    ASSERT_EQ(reached.WaitFor(20000), WAIT_OBJECT_0);
    EXPECT_EQ(target.Numbers(), (std::vector<uint32_t>{kFirst})) << "the sync message reached the target";
    thread.Post(MPM_SYNC, 0); // no event: nothing to signal, nothing dispatched
    thread.WaitIdle();
    EXPECT_EQ(target.Numbers(), (std::vector<uint32_t>{kFirst}));
}

TEST(LoopThread, WaitIdleFromTheWorkerThreadItselfIsRefused) {
    RecordingTarget target;
    TMPLoopThread thread(target);
    std::string error;
    target.Handler = [&](TMPMessage&) {
        try {
            thread.WaitIdle();
            error = "no error";
        } catch (const EMPAssertionFailed& e) {
            error = e.what();
        }
    };
    thread.Resume();
    thread.Post(kFirst);
    thread.WaitIdle();
    EXPECT_NE(error.find("WaitIdle"), std::string::npos) << error;
}

TEST(LoopThread, HandlerErrorGoesToOnExceptionInTheWorkerAndTheThreadGoesOn) {
    ErrorDisplayCapture display;
    RecordingTarget target;
    target.Handler = [](TMPMessage& message) {
        if (message.Msg == kFirst) {
            throw EMPError("write failed");
        }
    };
    TMPLoopThread thread(target);
    std::vector<std::string> reported;
    uint32_t reportedOn = 0;
    TMPLoopThread* sender = nullptr;
    thread.OnException = [&](TMPLoopThread& from, const std::exception& error, bool& handled) {
        EXPECT_FALSE(handled);
        reported.push_back(error.what());
        reportedOn = CurrentThreadId();
        sender = &from;
        handled = true;
    };
    thread.Resume();
    thread.Post(kFirst);
    thread.Post(kFirst + 1);
    thread.WaitIdle();
    EXPECT_EQ(reported, std::vector<std::string>{"write failed"});
    EXPECT_EQ(reportedOn, thread.ThreadId());
    EXPECT_EQ(sender, &thread);
    EXPECT_TRUE(display.Shown().empty());
    EXPECT_EQ(target.Numbers(), (std::vector<uint32_t>{kFirst, kFirst + 1}));
}

TEST(LoopThread, UnhandledErrorIsShownAndTheThreadKeepsRunning) {
    ErrorDisplayCapture display;
    RecordingTarget target;
    target.Handler = [](TMPMessage& message) {
        if (message.Msg == kFirst) {
            throw EMPError("first");
        }
        if (message.Msg == MPM_WATCH_EVENT) {
            throw EMPError("from the event");
        }
    };
    TMPLoopThread without(target);
    without.Resume();
    without.Post(kFirst);
    without.Post(kFirst + 1);
    without.WaitIdle();
    EXPECT_EQ(display.Shown(), std::vector<std::string>{"first"});
    EXPECT_EQ(target.Numbers(), (std::vector<uint32_t>{kFirst, kFirst + 1}));

    // A handler that leaves the flag false gets the error shown as well; errors of the event dispatch
    // take the same road.
    RecordingTarget second;
    second.Handler = target.Handler;
    TMPLoopThread declining(second);
    std::atomic<int> offered{0};
    declining.OnException = [&](TMPLoopThread&, const std::exception&, bool&) { ++offered; };
    declining.Resume();
    declining.Post(kFirst);
    declining.WaitIdle();
    declining.Event().Signal();
    ASSERT_TRUE(Eventually([&] { return second.Watches() >= 2; }));
    declining.Event().Reset();
    declining.WaitIdle();
    const std::vector<std::string> shown = display.Shown();
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[1], "first");
    EXPECT_EQ(shown[2], "from the event");
    EXPECT_EQ(offered.load(), static_cast<int>(shown.size()) - 1);
}

TEST(LoopThread, DestroyingAThreadThatWasNeverResumedDispatchesNothing) {
    RecordingTarget target;
    {
        TMPLoopThread thread(target);
        thread.Post(kFirst);
        thread.Event().Signal();
        thread.WaitIdle(); // would never end on a suspended thread; returns instead
    }
    EXPECT_TRUE(target.Numbers(true).empty());
}

TEST(LoopThread, LowerPrioritiesBecomeTheThreadsNiceValue) {
    RecordingTarget target;
    TMPLoopThread thread(target);
    thread.Resume();
    const auto niceOf = [&] {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread.ThreadId()));
        EXPECT_EQ(errno, 0);
        return nice;
    };
    const int before = niceOf();
    thread.SetPriority(SystemThreadPriority(tpLower));
    if (before <= 5) { // a process started nicer than that cannot go back without privilege
        EXPECT_EQ(niceOf(), 5);
    }
    thread.SetPriority(SystemThreadPriority(tpIdle));
    EXPECT_EQ(niceOf(), 19);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId())), before)
        << "the owner's thread changed too";
}

TEST(LoopThread, DestroyingARunningThreadEndsIt) {
    RecordingTarget target;
    auto thread = std::make_unique<TMPLoopThread>(target);
    thread->Resume();
    thread->Event().Signal(); // busy with the event when it is destroyed
    ASSERT_TRUE(Eventually([&] { return target.Watches() > 0; }));
    thread.reset();
    const int watches = target.Watches();
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(target.Watches(), watches);
}

} // namespace
