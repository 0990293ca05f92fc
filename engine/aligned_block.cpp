#include "aligned_block.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "errors.h"

namespace tunelo {

namespace {

constexpr std::uintptr_t kAlignment = 8;

// The block address is stored in the sizeof(void*) bytes just below the aligned start. Rounding
// (block + sizeof(void*) + 7) down to a multiple of 8 leaves at least sizeof(void*) bytes below the aligned
// start and at most sizeof(void*) + 7 bytes, so a block of size + sizeof(void*) + 7 bytes always holds
// both. With 4-byte pointers this is the classic "size + 11, (block + 11) & ~7" rule; the classic rule
// with an 8-byte pointer could put the aligned start only 4 bytes into the block and store the address
// in front of it.
constexpr std::size_t kHeadroom = sizeof(void*) + kAlignment - 1;

} // namespace

uint8_t* MPAllocAligned(int32_t size) {
    MP_ASSERT(size >= 0);
    void* block = std::malloc(static_cast<std::size_t>(size) + kHeadroom);
    if (block == nullptr) {
        throw EMPError("Out of memory");
    }
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(block) + kHeadroom) & ~(kAlignment - 1);
    uint8_t* aligned = static_cast<uint8_t*>(block) + (start - reinterpret_cast<std::uintptr_t>(block));
    std::memcpy(aligned - sizeof(void*), &block, sizeof(void*));
    return aligned;
}

void MPFreeAligned(void* aligned) {
    if (aligned == nullptr) {
        return;
    }
    void* block = nullptr;
    std::memcpy(&block, static_cast<uint8_t*>(aligned) - sizeof(void*), sizeof(void*));
    std::free(block);
}

TMPAlignedBlock::TMPAlignedBlock(TMPAlignedBlock&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0)) {}

TMPAlignedBlock& TMPAlignedBlock::operator=(TMPAlignedBlock&& other) noexcept {
    if (this != &other) {
        Free();
        FData = std::exchange(other.FData, nullptr);
        FSize = std::exchange(other.FSize, 0);
    }
    return *this;
}

void TMPAlignedBlock::Allocate(int32_t size) {
    uint8_t* fresh = MPAllocAligned(size);
    Free();
    FData = fresh;
    FSize = size;
}

void TMPAlignedBlock::Free() {
    MPFreeAligned(FData);
    FData = nullptr;
    FSize = 0;
}

} // namespace tunelo
