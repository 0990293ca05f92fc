// The decoder's bit readers: fields are read most significant bit first from a 32-bit accumulator
// whose low Held bits are the unconsumed ones (the bits above them are always 0).
#pragma once

#include <cstdint>

#include "decoder_state.h"

namespace tunelo {

namespace detail {
template <typename Reader> inline void LoadByte(Reader& r) {
    const uint32_t byte = r.Fetch < r.Limit ? *r.Fetch : 0u;
    ++r.Fetch;
    r.Accumulator = (r.Accumulator << 8) | byte;
    r.Held += 8;
}
template <typename Reader> inline uint32_t Consume(Reader& r, int32_t n) {
    r.Held -= n;
    // Held can still be 32 here (nothing consumed right after a peek that loaded four bytes): the
    // shifts are done in 64 bits so that they stay defined.
    const uint32_t value = static_cast<uint32_t>(uint64_t{r.Accumulator} >> r.Held);
    r.Accumulator &= static_cast<uint32_t>((uint64_t{1} << r.Held) - 1u);
    return value;
}
} // namespace detail

// --- Layer III reader ---

inline void BitStart(TMPBitReader& r, const uint8_t* p, const uint8_t* limit) {
    r.Fetch = p;
    r.Start = p;
    r.Held = 0;
    r.Accumulator = 0;
    r.Limit = limit;
    r.End = limit;
}

inline void BitSetEnd(TMPBitReader& r, const uint8_t* end) {
    r.End = end;
}

// n = 0..24.
inline uint32_t BitRead(TMPBitReader& r, int32_t n) {
    if (n == 0) {
        return 0;
    }
    if (r.Held < n) {
        while (r.Held <= 24) {
            detail::LoadByte(r);
        }
    }
    return detail::Consume(r, n);
}

// n = 0..11; refills only when 10 bits or fewer are held.
inline uint32_t BitPeek(TMPBitReader& r, int32_t n) {
    if (r.Held <= 10) {
        while (r.Held < 25) {
            detail::LoadByte(r);
        }
    }
    return r.Accumulator >> (r.Held - n);
}

// Consumes n bits that a peek has already made available.
inline void BitSkipHeld(TMPBitReader& r, int32_t n) {
    detail::Consume(r, n);
}

// Makes sure at least 25 bits are held when 10 or fewer are (the refill before a Huffman look-up).
inline void BitRefill(TMPBitReader& r) {
    if (r.Held <= 10) {
        while (r.Held < 25) {
            detail::LoadByte(r);
        }
    }
}

// n = 0..22: for linbits.
inline uint32_t BitReadRefill(TMPBitReader& r, int32_t n) {
    if (r.Held < n + 2) {
        while (r.Held < 25) {
            detail::LoadByte(r);
        }
    }
    return detail::Consume(r, n);
}

inline int32_t BitConsumed(const TMPBitReader& r) {
    return static_cast<int32_t>(r.Fetch - r.Start) * 8 - r.Held;
}

inline bool BitExhausted(const TMPBitReader& r) {
    return r.Fetch > r.End;
}

// --- Layer I/II reader ---

inline void BitStart(TMPBitReader12& r, const uint8_t* p, const uint8_t* limit) {
    r.Fetch = p;
    r.Held = 0;
    r.Accumulator = 0;
    r.Limit = limit;
}

// n = 0..24.
inline uint32_t BitRead(TMPBitReader12& r, int32_t n) {
    if (n == 0) {
        return 0;
    }
    if (r.Held < n) {
        while (r.Held <= 24) {
            detail::LoadByte(r);
        }
    }
    return detail::Consume(r, n);
}

// Skips n >= 0 bits: whole bytes are passed over without loading them.
inline void BitSkip(TMPBitReader12& r, int32_t n) {
    if (n > r.Held) {
        const int32_t rest = n - r.Held;
        r.Held = 0;
        r.Accumulator = 0;
        r.Fetch += rest / 8;
        detail::LoadByte(r);
        detail::Consume(r, rest % 8);
    } else {
        detail::Consume(r, n);
    }
}

} // namespace tunelo
