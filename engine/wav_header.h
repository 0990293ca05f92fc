// The RIFF WAVE header in front of PCM samples, shared by the player's decode to file and the command line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "wave_device.h"

namespace tunelo {

constexpr size_t kWavHeaderBytes = 44;

// The header for dataBytes of PCM in the format. The RIFF size (dataBytes + 36) stops at the largest value
// its 32 bits hold.
std::array<uint8_t, kWavHeaderBytes> WavHeader(const TMPWaveFormat& format, uint32_t dataBytes);

// The most PCM a RIFF header can count; more (a long audiobook) is written as RF64.
constexpr uint64_t kMaxRiffDataBytes = 0xFFFFFFFFull - 36;
constexpr size_t kRf64HeaderBytes = 80;

// The RF64 header (with its ds64 chunk of 64-bit sizes) for dataBytes of PCM in the format.
std::array<uint8_t, kRf64HeaderBytes> Rf64Header(const TMPWaveFormat& format, uint64_t dataBytes);

// Turns a file made of a 44-byte header and dataBytes of PCM into an RF64 file: the PCM moves up by the
// longer header's extra bytes, block by block from the end so that no second copy of the data is
// needed, and the RF64 header goes in front. False with errno set on failure.
bool RewriteAsRf64(int handle, const TMPWaveFormat& format, uint64_t dataBytes);

} // namespace tunelo
