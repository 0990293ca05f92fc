// The message record that worker threads, hidden windows and the wave device hand to their targets, and
// the message numbers shared between the platform layers and the engine.
#pragma once

#include <cstdint>

namespace tunelo {

// Start of the numbers an application may give its own messages.
constexpr uint32_t WM_USER = 1024;
// Sent when a window is destroyed and when the desktop session ends.
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_ENDSESSION = 0x0016;
// The wave device has finished with one queued buffer (lParam: its TMPWaveHeader).
constexpr uint32_t MM_WOM_DONE = 957;

// One dispatched message. WParam and LParam are wide enough to carry a pointer; Result starts at 0 and a
// handler may set it for a synchronous sender.
struct TMPMessage {
    uint32_t Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

// Receives the messages of a loop thread or a message window. Numbers it has no handler for are ignored.
class TMPMessageTarget {
public:
    virtual void Dispatch(TMPMessage& message) = 0;

protected:
    ~TMPMessageTarget() = default;
};

} // namespace tunelo
