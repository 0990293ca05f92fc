// Packs fields most significant bit first, the way an encoder lays out a frame; of each value only its
// low `bits` bits are written. Shared by the decoder tests and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

class TBitWriter {
public:
    void Put(uint32_t value, int32_t bits) {
        for (int32_t i = bits - 1; i >= 0; --i) {
            if (Bits % 8 == 0) {
                Bytes.push_back(0);
            }
            if ((value >> i) & 1u) {
                Bytes.back() |= static_cast<uint8_t>(0x80u >> (Bits % 8));
            }
            ++Bits;
        }
    }

    // Whether value fits in bits, for tests that want to catch a field written too wide.
    static bool Fits(uint32_t value, int32_t bits) { return bits >= 32 || value < (1u << bits); }

    // The bytes written, then `count` bytes of `fill`: what a reader would meet past the end.
    std::vector<uint8_t> BytesThen(size_t count, uint8_t fill) const {
        std::vector<uint8_t> bytes = Bytes;
        bytes.insert(bytes.end(), count, fill);
        return bytes;
    }

    std::vector<uint8_t> Bytes;
    int32_t Bits = 0;
};

} // namespace testsupport
