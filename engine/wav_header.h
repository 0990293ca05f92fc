// The RIFF WAVE header in front of PCM samples, shared by the player's decode to file and the command line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "MPWaveDevice.h"

namespace tunelo {

constexpr size_t kWavHeaderBytes = 44;

// The header for dataBytes of PCM in the format. The RIFF size (dataBytes + 36) stops at the largest value
// its 32 bits hold.
std::array<uint8_t, kWavHeaderBytes> WavHeader(const TMPWaveFormat& format, uint32_t dataBytes);

} // namespace tunelo
