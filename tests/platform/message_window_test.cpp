// The hidden message window: posts from any thread dispatched in order on the window thread when it pumps,
// post-unless-queued and remove-queued per window and number, destroyed windows, re-entrant pumps, the
// wake hook and the host's pump.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "MPMessageWindow.h"
#include "recording_target.h"

using namespace tunelo;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kFirst = WM_USER + 100;

TEST(MessageWindow, PostsFromWorkersAreDispatchedInOrderOnTheWindowThreadWhenItPumps) {
    testsupport::RecordingTarget target;
    TMPMessageWindow window(target);
    std::thread worker([&] {
        for (uint32_t i = 0; i < 100; ++i) {
            window.Post(kFirst + i, i, -1);
        }
    });
    worker.join();
    EXPECT_TRUE(target.Numbers().empty()) << "dispatched before the window thread pumped";
    EXPECT_TRUE(WaitMessage(0));
    EXPECT_EQ(ProcessMessages(), 100);
    EXPECT_FALSE(WaitMessage(0));
    std::lock_guard lock(target.Mutex);
    ASSERT_EQ(target.Messages.size(), 100u);
    for (uint32_t i = 0; i < 100; ++i) {
        EXPECT_EQ(target.Messages[i].Msg, kFirst + i);
        EXPECT_EQ(target.Messages[i].WParam, i);
        EXPECT_EQ(target.ThreadIds[i], testsupport::CurrentThreadId());
    }
}

TEST(MessageWindow, PostUnlessQueuedAndRemoveQueuedLookOnlyAtTheirOwnWindowAndNumber) {
    testsupport::RecordingTarget firstTarget;
    testsupport::RecordingTarget secondTarget;
    TMPMessageWindow first(firstTarget);
    TMPMessageWindow second(secondTarget);
    EXPECT_FALSE(first.IsQueued(kFirst));
    EXPECT_TRUE(first.PostUnlessQueued(kFirst, 1));
    EXPECT_FALSE(first.PostUnlessQueued(kFirst, 2));
    EXPECT_TRUE(second.PostUnlessQueued(kFirst, 3)) << "another window's message counted";
    EXPECT_TRUE(first.PostUnlessQueued(kFirst + 1));
    first.Post(kFirst, 4);
    first.Post(kFirst + 2);
    EXPECT_TRUE(first.IsQueued(kFirst));

    EXPECT_EQ(first.RemoveQueued(kFirst), 2);
    EXPECT_FALSE(first.IsQueued(kFirst));
    EXPECT_TRUE(second.IsQueued(kFirst));
    EXPECT_EQ(first.RemoveQueued(kFirst), 0);
    EXPECT_EQ(ProcessMessages(), 3);
    EXPECT_EQ(firstTarget.Numbers(), (std::vector<uint32_t>{kFirst + 1, kFirst + 2}));
    EXPECT_EQ(secondTarget.Numbers(), (std::vector<uint32_t>{kFirst}));
    EXPECT_TRUE(first.PostUnlessQueued(kFirst));
    ProcessMessages();
}

TEST(MessageWindow, ADestroyedWindowTakesItsQueuedMessagesWithIt) {
    testsupport::RecordingTarget keptTarget;
    testsupport::RecordingTarget goneTarget;
    TMPMessageWindow kept(keptTarget);
    auto gone = std::make_unique<TMPMessageWindow>(goneTarget);
    gone->Post(kFirst);
    kept.Post(kFirst + 1);
    gone->Post(kFirst + 2);
    // A handler that destroys another window drops that window's later messages too.
    testsupport::RecordingTarget killerTarget;
    TMPMessageWindow killer(killerTarget);
    killerTarget.Handler = [&](TMPMessage&) { gone.reset(); };
    killer.Post(kFirst + 3);
    gone->Post(kFirst + 4);
    EXPECT_EQ(ProcessMessages(), 4);
    EXPECT_EQ(goneTarget.Numbers(), (std::vector<uint32_t>{kFirst, kFirst + 2}));
    EXPECT_EQ(keptTarget.Numbers(), (std::vector<uint32_t>{kFirst + 1}));
    EXPECT_EQ(gone, nullptr);
}

TEST(MessageWindow, AHandlerMayPumpAgainWithoutMessagesRunningTwice) {
    testsupport::RecordingTarget target;
    TMPMessageWindow window(target);
    target.Handler = [&](TMPMessage& message) {
        if (message.Msg == kFirst) {
            ApplicationProcessMessages();
        }
    };
    window.Post(kFirst);
    window.Post(kFirst + 1);
    window.Post(kFirst + 2);
    ProcessMessages();
    EXPECT_EQ(target.Numbers(), (std::vector<uint32_t>{kFirst, kFirst + 1, kFirst + 2}));
}

TEST(MessageWindow, WakeHookRunsForEveryPostAndTheHostPumpReplacesOurs) {
    std::atomic<int> wakes{0};
    SetMessageWakeHook([&] { ++wakes; });
    testsupport::RecordingTarget target;
    TMPMessageWindow window(target);
    window.Post(kFirst);
    window.PostUnlessQueued(kFirst);     // not posted: no wake
    window.PostUnlessQueued(kFirst + 1); // posted
    std::thread([&] { window.Post(kFirst + 2); }).join();
    EXPECT_EQ(wakes.load(), 3);

    int hostPumps = 0;
    SetApplicationPump([&] {
        ++hostPumps;
        ProcessMessages();
    });
    ApplicationProcessMessages();
    EXPECT_EQ(hostPumps, 1);
    EXPECT_EQ(target.Numbers().size(), 3u);
    SetApplicationPump(nullptr);
    SetMessageWakeHook(nullptr);
    window.Post(kFirst + 3);
    ApplicationProcessMessages();
    EXPECT_EQ(target.Numbers().size(), 4u);
    EXPECT_EQ(wakes.load(), 3);
}

TEST(MessageWindow, WaitMessageWakesForAPostFromAnotherThreadAndOnlyForItsOwnThreadsWindows) {
    testsupport::RecordingTarget target;
    TMPMessageWindow window(target);
    EXPECT_FALSE(WaitMessage(5));
    // A window made on another thread queues its messages there.
    std::unique_ptr<TMPMessageWindow> foreign;
    testsupport::RecordingTarget foreignTarget;
    std::thread([&] {
        foreign = std::make_unique<TMPMessageWindow>(foreignTarget);
        foreign->Post(kFirst);
    }).join();
    EXPECT_FALSE(WaitMessage(0));
    EXPECT_EQ(ProcessMessages(), 0);

    std::thread poster([&] {
        std::this_thread::sleep_for(10ms);
        window.Post(kFirst + 1);
    });
    EXPECT_TRUE(WaitMessage(-1));
    poster.join();
    EXPECT_EQ(ProcessMessages(), 1);
    EXPECT_TRUE(foreignTarget.Numbers().empty());
    std::thread([&] { foreign.reset(); }).join();
}

TEST(MessageWindow, SendDispatchesAtOnceAndReturnsTheResult) {
    testsupport::RecordingTarget target;
    target.Handler = [](TMPMessage& message) { message.Result = static_cast<intptr_t>(message.WParam) * 2; };
    TMPMessageWindow window(target);
    EXPECT_EQ(window.Send(WM_DESTROY, 21), 42);
    EXPECT_EQ(target.Numbers(), std::vector<uint32_t>{WM_DESTROY});
    EXPECT_FALSE(WaitMessage(0));
}

} // namespace
