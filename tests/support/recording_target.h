// A message target that records every message it is handed and the thread it arrived on, for the tests
// of the message window and of the threads that post to it.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "MPMessageWindow.h"

namespace testsupport {

inline uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(::syscall(SYS_gettid));
}

class RecordingTarget : public tunelo::TMPMessageTarget {
public:
    void Dispatch(tunelo::TMPMessage& message) override {
        {
            std::lock_guard lock(Mutex);
            Messages.push_back(message);
            ThreadIds.push_back(CurrentThreadId());
        }
        if (Handler) {
            Handler(message);
        }
    }

    // The numbers of the messages dispatched so far, in order, leaving out those in skipped.
    std::vector<uint32_t> Numbers(const std::vector<uint32_t>& skipped = {}) {
        std::lock_guard lock(Mutex);
        std::vector<uint32_t> numbers;
        for (const tunelo::TMPMessage& message : Messages) {
            if (std::find(skipped.begin(), skipped.end(), message.Msg) == skipped.end()) {
                numbers.push_back(message.Msg);
            }
        }
        return numbers;
    }

    // How many messages of this number were dispatched.
    int Count(uint32_t number) {
        std::lock_guard lock(Mutex);
        return static_cast<int>(
            std::count_if(Messages.begin(), Messages.end(),
                          [number](const tunelo::TMPMessage& m) { return m.Msg == number; }));
    }

    std::function<void(tunelo::TMPMessage&)> Handler;
    std::mutex Mutex;
    std::vector<tunelo::TMPMessage> Messages;
    std::vector<uint32_t> ThreadIds;
};

} // namespace testsupport
