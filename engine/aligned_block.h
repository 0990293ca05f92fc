// 8-byte aligned memory blocks that can be freed from the aligned pointer alone: the ring buffer of the
// stream reader and the player's PCM buffer.
#pragma once

#include <cstdint>

namespace tunelo {

// Returns size bytes starting at an 8-byte boundary; the address of the underlying block is kept just below
// the returned pointer. Throws EMPError("Out of memory") when the block cannot be obtained; a negative size
// is an assertion failure. A size of 0 still yields a valid, freeable pointer.
uint8_t* MPAllocAligned(int32_t size);

// Frees a pointer returned by MPAllocAligned; nullptr is ignored.
void MPFreeAligned(void* aligned);

// Owner of one aligned block: freed on destruction, movable, not copyable.
class TMPAlignedBlock {
public:
    TMPAlignedBlock() = default;
    explicit TMPAlignedBlock(int32_t size) { Allocate(size); }
    ~TMPAlignedBlock() { Free(); }

    TMPAlignedBlock(const TMPAlignedBlock&) = delete;
    TMPAlignedBlock& operator=(const TMPAlignedBlock&) = delete;
    TMPAlignedBlock(TMPAlignedBlock&& other) noexcept;
    TMPAlignedBlock& operator=(TMPAlignedBlock&& other) noexcept;

    // Replaces the current block by a new one of size bytes (contents undefined).
    void Allocate(int32_t size);
    void Free();

    uint8_t* Get() const { return FData; }
    int32_t Size() const { return FSize; }

private:
    uint8_t* FData = nullptr;
    int32_t FSize = 0;
};

} // namespace tunelo
