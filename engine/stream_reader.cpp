#include "stream_reader.h"

#include <algorithm>
#include <cstring>

#include "errors.h"

namespace tunelo {

void RotateRing(uint8_t* ring, int32_t capacity, int32_t head, int32_t count) {
    MP_ASSERT(ring != nullptr && capacity > 0 && head >= 0 && head < capacity && count >= 0 &&
              count <= capacity);
    const int32_t tailLen = capacity - head;
    const int64_t wrapLen = static_cast<int64_t>(count) + head - capacity;
    if (wrapLen <= 0) {
        std::memmove(ring, ring + head, static_cast<size_t>(count));
    } else if (count < head) {
        // The unread bytes leave a gap of at least tailLen bytes below head, so the wrapped part can move up
        // first and the end part down after it without overwriting each other.
        std::memmove(ring + tailLen, ring, static_cast<size_t>(wrapLen));
        std::memmove(ring, ring + head, static_cast<size_t>(tailLen));
    } else {
        // The moved wrapped part would overwrite the end part: park the end part first.
        TMPAlignedBlock parked(tailLen);
        std::memcpy(parked.Get(), ring + head, static_cast<size_t>(tailLen));
        std::memmove(ring + tailLen, ring, static_cast<size_t>(wrapLen));
        std::memcpy(ring, parked.Get(), static_cast<size_t>(tailLen));
    }
}

TMPStreamReader::TMPStreamReader(int32_t capacity) : FCapacity(capacity) {
    MP_ASSERT(capacity > 0);
}

TMPStreamReader::~TMPStreamReader() {
    Close();
}

void TMPStreamReader::Open(TMPSourceStream* stream, bool seekable) {
    MP_ASSERT(stream != nullptr);
    Close();
    FStream = stream;
    FSeekable = seekable;
    FActive = true;
    FPosition = 0;
    FHead = 0;
    FCount = 0;
    FLinear = 0;
    FSize = 0;
    try {
        FBuffer.Allocate(FCapacity);
        if (seekable) {
            const int64_t size = stream->Size();
            MP_ASSERT(size >= 0);
            FSize = size;
        }
    } catch (...) {
        Close();
        throw;
    }
}

void TMPStreamReader::Close() {
    if (!FActive) {
        return;
    }
    FStream = nullptr;
    FLinear = 0;
    FSize = 0;
    // The bytes that Head and Count describe go with the ring.
    FHead = 0;
    FCount = 0;
    FBuffer.Free();
    FActive = false;
}

bool TMPStreamReader::FillTo(int32_t n) {
    MP_ASSERT(FStream != nullptr);
    MP_ASSERT(n >= 0 && n <= FCapacity);
    MP_ASSERT(FBuffer.Get() != nullptr);
    try {
        while (FCount < n) {
            const int32_t shortfall = n - FCount;
            const int32_t free = FCapacity - FCount;
            const int32_t chunk = shortfall < kChunkSize ? std::min(kChunkSize, free) : shortfall;
            const int32_t tail = static_cast<int32_t>((static_cast<int64_t>(FHead) + FCount) % FCapacity);
            // One read never crosses the end of the ring; the wrapped rest comes on the next pass.
            int64_t want = std::min(chunk, FCapacity - tail);
            want = std::min(want, kMaxPosition - FPosition - FCount);
            if (want <= 0) {
                break;
            }
            const int32_t got = FStream->Read(FBuffer.Get() + tail, static_cast<int32_t>(want));
            MP_ASSERT(got >= 0 && got <= want);
            if (got == 0) {
                break;
            }
            FCount += got;
        }
    } catch (...) {
        UpdateLinear();
        throw;
    }
    UpdateLinear();
    return FCount >= n;
}

bool TMPStreamReader::NeedContiguous(int32_t n) {
    MP_ASSERT(FStream != nullptr);
    if (!FillTo(n)) {
        return false;
    }
    if (FLinear < n) {
        RotateRing(FBuffer.Get(), FCapacity, FHead, FCount);
        FHead = 0;
        FLinear = FCount;
        MP_ASSERT(FLinear >= n);
    }
    return true;
}

bool TMPStreamReader::ReadAhead() {
    MP_ASSERT(FStream != nullptr);
    if (FCount == FCapacity) {
        return false;
    }
    const int32_t free = FCapacity - FCount;
    return FillTo(FCount + std::min(free, kChunkSize));
}

const uint8_t* TMPStreamReader::Data() const {
    MP_ASSERT(FStream != nullptr);
    return FBuffer.Get() + FHead;
}

bool TMPStreamReader::Skip(int32_t n) {
    MP_ASSERT(FStream != nullptr);
    MP_ASSERT(n >= 0);
    if (FCount >= n) {
        Consume(n);
        return true;
    }
    if (!FSeekable) {
        int32_t left = n;
        while (FillTo(1)) {
            FillTo(FCapacity);
            if (FCount >= left) {
                Consume(left);
                return true;
            }
            FPosition += FCount;
            left -= FCount;
            FCount = 0;
            FHead = 0;
            FLinear = 0;
        }
        return false;
    }
    if (FPosition + n > FSize) {
        Seek(0, soFromEnd);
        return false;
    }
    Seek(n, soFromCurrent);
    return true;
}

int64_t TMPStreamReader::Seek(int64_t offset, int32_t origin) {
    MP_ASSERT(FStream != nullptr);
    MP_ASSERT(FSeekable);
    MP_ASSERT(origin == soFromBeginning || origin == soFromCurrent || origin == soFromEnd);
    int64_t streamOffset = offset;
    if (origin == soFromCurrent) {
        // The stream itself stands Count bytes ahead of Position.
        streamOffset -= FCount;
    }
    const int64_t position = FStream->Seek(streamOffset, origin);
    MP_ASSERT(position >= 0);
    FHead = 0;
    FCount = 0;
    FLinear = 0;
    FPosition = position;
    return FPosition;
}

void TMPStreamReader::Consume(int32_t n) {
    FCount -= n;
    FHead = static_cast<int32_t>((static_cast<int64_t>(FHead) + n) % FCapacity);
    FPosition += n;
    // Kept exact so that Data() is never taken to be valid past the bytes still unread.
    UpdateLinear();
}

void TMPStreamReader::UpdateLinear() {
    FLinear = static_cast<int64_t>(FHead) + FCount > FCapacity ? FCapacity - FHead : FCount;
}

} // namespace tunelo
