// The buffered byte source between an open source stream and the parsers of the player and the tag
// reader. It keeps a ring of read-ahead bytes and hands out runs of contiguous unread bytes in place.
#pragma once

#include <cstdint>

#include "aligned_block.h"
#include "file_stream.h"

namespace tunelo {

class TMPStreamReader {
public:
    // Bytes read per pass when a small request or a read-ahead is served.
    static constexpr int32_t kChunkSize = 16384;
    // Positions are 64-bit: files beyond 4 GiB open, seek and keep their end tags.
    static constexpr int64_t kMaxPosition = INT64_MAX;

    // The ring is allocated at Open; capacity must be positive.
    explicit TMPStreamReader(int32_t capacity);
    ~TMPStreamReader();

    TMPStreamReader(const TMPStreamReader&) = delete;
    TMPStreamReader& operator=(const TMPStreamReader&) = delete;

    // Attaches a stream (not owned) that the reader takes to stand at offset 0: Position starts at 0
    // without a seek. A reader in use is closed first. On failure the reader is closed and the error
    // propagates.
    void Open(TMPSourceStream* stream, bool seekable);
    // Detaches the stream and frees the ring; does nothing when closed.
    void Close();

    // Reads until Count >= n or the stream ends; returns Count >= n. 0 <= n <= Capacity.
    bool FillTo(int32_t n);
    // Makes n unread bytes available contiguously at Data; false when the stream ends first.
    bool NeedContiguous(int32_t n);
    // Reads one more chunk of up to kChunkSize bytes; false when the ring is full or the stream ends.
    bool ReadAhead();
    // The first unread byte; valid for Linear bytes (n bytes after a successful NeedContiguous(n)).
    const uint8_t* Data() const;
    // Consumes n bytes; false when the stream ends first (then everything up to the end is consumed).
    bool Skip(int32_t n);
    // Repositions (origin soFromBeginning, soFromCurrent relative to Position, or soFromEnd), discards the
    // buffered bytes and returns the new Position. Only for seekable streams.
    int64_t Seek(int64_t offset, int32_t origin);

    TMPSourceStream* Stream() const { return FStream; }
    int64_t Size() const { return FSize; }
    bool Seekable() const { return FSeekable; }
    bool Active() const { return FActive; }
    const uint8_t* Buffer() const { return FBuffer.Get(); }
    int32_t Head() const { return FHead; }
    int32_t Count() const { return FCount; }
    int32_t Capacity() const { return FCapacity; }
    int64_t Position() const { return FPosition; }
    int32_t Linear() const { return FLinear; }

private:
    void Consume(int32_t n);
    void UpdateLinear();

    TMPSourceStream* FStream = nullptr;
    int64_t FSize = 0;
    bool FSeekable = false;
    bool FActive = false;
    TMPAlignedBlock FBuffer;
    int32_t FHead = 0;
    int32_t FCount = 0;
    int32_t FCapacity;
    int64_t FPosition = 0;
    int32_t FLinear = 0;
};

// Moves the count unread bytes of a ring of capacity bytes, which start at index head and may wrap
// around the end, so that they lie in stream order from index 0.
void RotateRing(uint8_t* ring, int32_t capacity, int32_t head, int32_t count);

} // namespace tunelo
