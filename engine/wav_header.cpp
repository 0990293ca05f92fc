#include "wav_header.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <unistd.h>

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

void PutLE64(uint8_t* p, uint64_t value) {
    PutLE32(p, static_cast<uint32_t>(value));
    PutLE32(p + 4, static_cast<uint32_t>(value >> 32));
}

bool ReadExactly(int handle, uint8_t* data, size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t got = ::pread(handle, data, size, static_cast<off_t>(offset));
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got == 0) {
                errno = EIO;
            }
            return false;
        }
        data += got;
        size -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

bool WriteExactly(int handle, const uint8_t* data, size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(handle, data, size, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    return true;
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

std::array<uint8_t, kRf64HeaderBytes> Rf64Header(const TMPWaveFormat& format, uint64_t dataBytes) {
    std::array<uint8_t, kRf64HeaderBytes> header{};
    const std::array<uint8_t, kWavHeaderBytes> plain = WavHeader(format, 0);
    std::memcpy(&header[0], "RF64", 4);
    PutLE32(&header[4], UINT32_MAX); // the real sizes are in ds64
    std::memcpy(&header[8], "WAVE", 4);
    std::memcpy(&header[12], "ds64", 4);
    PutLE32(&header[16], 28);
    PutLE64(&header[20], dataBytes + kRf64HeaderBytes - 8); // RIFF size
    PutLE64(&header[28], dataBytes);                        // data size
    const uint64_t frameBytes = std::max<uint16_t>(format.BlockAlign, 1);
    PutLE64(&header[36], dataBytes / frameBytes); // sample count
    PutLE32(&header[44], 0);                      // no table
    std::memcpy(&header[48], &plain[12], 24);     // the "fmt " chunk as in a RIFF file
    std::memcpy(&header[72], "data", 4);
    PutLE32(&header[76], UINT32_MAX);
    return header;
}

bool RewriteAsRf64(int handle, const TMPWaveFormat& format, uint64_t dataBytes) {
    constexpr uint64_t kShift = kRf64HeaderBytes - kWavHeaderBytes;
    constexpr uint64_t kBlock = 1 << 20;
    std::vector<uint8_t> block(kBlock);
    for (uint64_t end = dataBytes; end > 0;) {
        const uint64_t size = std::min(kBlock, end);
        const uint64_t from = kWavHeaderBytes + end - size;
        if (!ReadExactly(handle, block.data(), size, from) ||
            !WriteExactly(handle, block.data(), size, from + kShift)) {
            return false;
        }
        end -= size;
    }
    const auto header = Rf64Header(format, dataBytes);
    return WriteExactly(handle, header.data(), header.size(), 0);
}

} // namespace tunelo
