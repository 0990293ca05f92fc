// Frequencies written as short as a scale under 16-pixel bars needs: "345", "1.0k", "9.3k", "22k".
#pragma once

#include <cstdint>
#include <string>

namespace tunelo {

// Below 1 kHz whole hertz; below 10 kHz kilohertz with one decimal; above that whole kilohertz.
std::string CompactFrequencyText(int32_t hertz);

} // namespace tunelo
