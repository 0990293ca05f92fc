// The system tick count: milliseconds of a monotonic clock as an unsigned 32-bit value that wraps after
// about 49.7 days. Compare two ticks only by their unsigned difference.
#pragma once

#include <chrono>
#include <cstdint>

namespace tunelo {

inline uint32_t GetTickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

} // namespace tunelo
