#include "wav_header.h"

#include <algorithm>
#include <cstring>

namespace tunelo {

namespace {

void PutLE16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void PutLE32(uint8_t* p, uint32_t value) {
    PutLE16(p, value & 0xFFFF);
    PutLE16(p + 2, value >> 16);
}

} // namespace

std::array<uint8_t, kWavHeaderBytes> WavHeader(const TMPWaveFormat& format, uint32_t dataBytes) {
    std::array<uint8_t, kWavHeaderBytes> header{};
    std::memcpy(&header[0], "RIFF", 4);
    PutLE32(&header[4], static_cast<uint32_t>(std::min<uint64_t>(uint64_t{dataBytes} + 36, UINT32_MAX)));
    std::memcpy(&header[8], "WAVE", 4);
    std::memcpy(&header[12], "fmt ", 4);
    PutLE32(&header[16], 16);
    PutLE16(&header[20], format.FormatTag);
    PutLE16(&header[22], format.Channels);
    PutLE32(&header[24], format.SamplesPerSec);
    PutLE32(&header[28], format.AvgBytesPerSec);
    PutLE16(&header[32], format.BlockAlign);
    PutLE16(&header[34], format.BitsPerSample);
    std::memcpy(&header[36], "data", 4);
    PutLE32(&header[40], dataBytes);
    return header;
}

} // namespace tunelo
