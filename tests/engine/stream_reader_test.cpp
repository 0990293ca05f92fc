// Tests of the engine's errors, aligned blocks, source streams and the ring-buffered stream reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "MP3Plyr.h"

using namespace tunelo;

namespace {

// Bytes that differ from their neighbours and from bytes 256 positions away, so a byte read from the
// wrong offset shows up.
std::vector<uint8_t> Pattern(size_t size, uint32_t seed = 1) {
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(seed);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

std::string AssertionMessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EMPAssertionFailed& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("other exception: ") + e.what();
    }
    return "no exception";
}

#define EXPECT_ASSERTION_FAILURE(statement)                                                                  \
    do {                                                                                                     \
        const std::string message = AssertionMessageOf([&] { statement; });                                  \
        EXPECT_NE(message.find("Assertion failure"), std::string::npos) << #statement << ": " << message;    \
        EXPECT_NE(message.find("mp3plyr"), std::string::npos) << #statement << ": " << message;              \
    } while (0)

// Forwards to another stream and records every read. When a reader is set, each read must land inside
// its ring: a read that ran past the ring's end would write into the aligned block's slack, where the
// address sanitizer cannot see it.
class RecordingStream : public TMPSourceStream {
public:
    explicit RecordingStream(TMPSourceStream& inner) : Inner(inner) {}

    int32_t Read(void* buffer, int32_t count) override {
        if (Reader != nullptr) {
            const uint8_t* ring = Reader->Buffer();
            const uint8_t* target = static_cast<const uint8_t*>(buffer);
            EXPECT_TRUE(ring != nullptr && target >= ring && count >= 0 &&
                        target + count <= ring + Reader->Capacity())
                << "read of " << count << " bytes at ring offset " << (target - ring);
        }
        ReadSizes.push_back(count);
        if (FailAfter >= 0 && BytesRead + count > FailAfter) {
            const int32_t partial = static_cast<int32_t>(FailAfter - BytesRead);
            if (partial > 0) {
                BytesRead += Inner.Read(buffer, partial);
                return partial;
            }
            throw EMPError("Stream read error: device gone");
        }
        const int32_t got = Inner.Read(buffer, count);
        BytesRead += got;
        return got;
    }
    int64_t Seek(int64_t offset, int32_t origin) override {
        ++Seeks;
        return Inner.Seek(offset, origin);
    }
    int64_t Size() override {
        if (FailSize) {
            throw EMPError("Stream size error: gone");
        }
        return Inner.Size();
    }

    TMPSourceStream& Inner;
    const TMPStreamReader* Reader = nullptr;
    std::vector<int32_t> ReadSizes;
    int64_t BytesRead = 0;
    int64_t FailAfter = -1; // reads fail once this many bytes were delivered
    bool FailSize = false;
    int Seeks = 0;
};

// memcmp that also accepts the null data pointer of an empty vector.
bool SameBytes(const uint8_t* a, const uint8_t* b, size_t n) {
    return n == 0 || std::memcmp(a, b, n) == 0;
}

// Checks the reader's bookkeeping against the stream it reads: the Count unread bytes in the ring are the
// stream's bytes from Position on, Linear is the contiguous part of them, Data points at Head.
void ExpectUnreadBytes(const TMPStreamReader& reader, const std::vector<uint8_t>& stream) {
    const int32_t capacity = reader.Capacity();
    ASSERT_GE(reader.Head(), 0);
    ASSERT_LT(reader.Head(), capacity);
    ASSERT_GE(reader.Count(), 0);
    ASSERT_LE(reader.Count(), capacity);
    ASSERT_GE(reader.Position(), 0);
    ASSERT_LE(static_cast<size_t>(reader.Position()) + reader.Count(), stream.size());
    EXPECT_EQ(reader.Linear(), std::min(reader.Count(), capacity - reader.Head()));
    EXPECT_EQ(reader.Data(), reader.Buffer() + reader.Head());
    const int32_t first = std::min(reader.Count(), capacity - reader.Head());
    const uint8_t* expected = stream.data() + reader.Position();
    EXPECT_TRUE(SameBytes(reader.Buffer() + reader.Head(), expected, static_cast<size_t>(first)))
        << "unread bytes before the ring end differ from the stream";
    EXPECT_TRUE(SameBytes(reader.Buffer(), expected + first, static_cast<size_t>(reader.Count() - first)))
        << "wrapped unread bytes differ from the stream";
}

// --- errors ------------------------------------------------------------------------------------------

TEST(MPErrors, AssertionNamesUnitAndLineAndIsAnEngineError) {
    const int32_t line = __LINE__ + 2;
    try {
        MP_ASSERT(1 + 1 == 3);
        FAIL() << "MP_ASSERT did not throw";
    } catch (const EMPError& e) {
        EXPECT_EQ(e.Message(), "Assertion failure (mp3plyr, line " + std::to_string(line) + ")");
        const auto* assertion = dynamic_cast<const EMPAssertionFailed*>(&e);
        ASSERT_NE(assertion, nullptr);
        EXPECT_EQ(assertion->Unit(), "mp3plyr");
        EXPECT_EQ(assertion->Line(), line);
    }
    EXPECT_NO_THROW(MP_ASSERT(2 + 2 == 4));
}

TEST(MPErrors, AssertionWithTextPutsTheTextFirst) {
    try {
        MP_ASSERT_MSG(false, "TMP3Player.MPMWatchEvent");
        FAIL() << "MP_ASSERT_MSG did not throw";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("TMP3Player.MPMWatchEvent (mp3plyr, line ", 0), 0u) << e.what();
    }
}

// --- aligned blocks ----------------------------------------------------------------------------------

TEST(MPAlignedBlock, StartsOnEightByteBoundaryWithTheBlockAddressBelow) {
    std::vector<uint8_t*> blocks;
    for (int32_t size : {0, 1, 3, 7, 8, 9, 15, 16, 17, 100, 5120, 65536}) {
        uint8_t* p = MPAllocAligned(size);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u) << "size " << size;
        void* block = nullptr;
        std::memcpy(&block, p - sizeof(void*), sizeof(void*));
        const uintptr_t below = reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(block);
        EXPECT_GE(below, sizeof(void*)) << "the stored address must lie inside the block";
        EXPECT_LE(below, sizeof(void*) + 7);
        // Every byte of the requested size must be usable (the sanitizer build catches a short block).
        std::memset(p, 0xA5, static_cast<size_t>(size));
        blocks.push_back(p);
    }
    for (uint8_t* p : blocks) {
        MPFreeAligned(p);
    }
    MPFreeAligned(nullptr);
}

TEST(MPAlignedBlock, RejectsNegativeSizeAndOwnsItsBlock) {
    EXPECT_ASSERTION_FAILURE(MPAllocAligned(-1));
    TMPAlignedBlock a(5120);
    ASSERT_NE(a.Get(), nullptr);
    EXPECT_EQ(a.Size(), 5120);
    std::memset(a.Get(), 1, 5120);
    TMPAlignedBlock b(std::move(a));
    EXPECT_EQ(a.Get(), nullptr);
    EXPECT_EQ(a.Size(), 0);
    EXPECT_EQ(b.Size(), 5120);
    b.Allocate(16);
    EXPECT_EQ(b.Size(), 16);
    a = std::move(b);
    EXPECT_EQ(a.Size(), 16);
    a.Free();
    EXPECT_EQ(a.Get(), nullptr);
}

// --- source streams ----------------------------------------------------------------------------------

TEST(MPSourceStreams, MemoryStreamReadsAndSeeksLikeAFile) {
    const std::vector<uint8_t> bytes = Pattern(100);
    TMPMemoryStream stream(bytes);
    uint8_t buffer[64];
    EXPECT_EQ(stream.Read(buffer, 30), 30);
    EXPECT_EQ(0, std::memcmp(buffer, bytes.data(), 30));
    EXPECT_EQ(stream.Seek(10, soFromCurrent), 40);
    EXPECT_EQ(stream.Seek(-5, soFromEnd), 95);
    EXPECT_EQ(stream.Read(buffer, 64), 5);
    EXPECT_EQ(0, std::memcmp(buffer, bytes.data() + 95, 5));
    EXPECT_EQ(stream.Read(buffer, 64), 0);
    EXPECT_EQ(stream.Seek(200, soFromBeginning), 200);
    EXPECT_EQ(stream.Read(buffer, 64), 0);
    EXPECT_THROW(stream.Seek(-1, soFromBeginning), EMPError);
    EXPECT_THROW(stream.Seek(-101, soFromEnd), EMPError);
    EXPECT_EQ(stream.Position(), 200) << "a refused seek leaves the position alone";
    EXPECT_THROW(stream.Seek(0, 3), EMPError);
}

TEST(MPSourceStreams, NonSeekableWrapperPassesReadsAndRefusesSeekAndSize) {
    TMPMemoryStream inner(Pattern(10));
    TMPNonSeekableStream stream(inner);
    uint8_t buffer[16];
    EXPECT_EQ(stream.Read(buffer, 16), 10);
    EXPECT_THROW(stream.Seek(0, soFromBeginning), EMPError);
    EXPECT_THROW(stream.Size(), EMPError);
}

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/tunelo-reader-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        Path = name;
        Bytes = Pattern(70000, 7);
        ASSERT_EQ(write(fd, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
        close(fd);
    }
    void TearDown() override {
        if (!Path.empty()) {
            unlink(Path.c_str());
        }
    }
    std::string Path;
    std::vector<uint8_t> Bytes;
};

TEST_F(FileStreamTest, ReadsSeeksAndFeedsTheReader) {
    TMPFileStream file(Path);
    EXPECT_EQ(file.Size(), 70000);
    EXPECT_EQ(file.Seek(-100, soFromEnd), 69900);
    EXPECT_EQ(file.Seek(50, soFromCurrent), 69950);
    EXPECT_THROW(file.Seek(-1, soFromBeginning), EMPError);
    EXPECT_EQ(file.Seek(0, soFromBeginning), 0);

    TMPStreamReader reader(65536);
    reader.Open(&file, true);
    EXPECT_EQ(reader.Size(), 70000);
    ASSERT_TRUE(reader.NeedContiguous(4));
    ASSERT_TRUE(reader.Skip(60000));
    ASSERT_TRUE(reader.NeedContiguous(10000));
    EXPECT_EQ(0, std::memcmp(reader.Data(), Bytes.data() + 60000, 10000));
    EXPECT_FALSE(reader.Skip(10001));
    EXPECT_EQ(reader.Position(), 70000);
}

TEST_F(FileStreamTest, OpenFailuresNameTheFile) {
    const std::string missing = Path + ".missing";
    try {
        TMPFileStream file(missing);
        FAIL() << "a missing file opened";
    } catch (const EMPError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("Cannot open file"), std::string::npos) << message;
        EXPECT_NE(message.find(missing), std::string::npos) << message;
    }
    EXPECT_THROW(TMPFileStream("/tmp"), EMPError);
}

TEST(MPFileStream, ReadErrorReachesTheReaderCaller) {
    // Reading this process's memory at address 0 fails with an I/O error: a real failing read.
    if (access("/proc/self/mem", R_OK) != 0) {
        GTEST_SKIP() << "/proc/self/mem is not readable here";
    }
    TMPFileStream file("/proc/self/mem");
    TMPStreamReader reader(1024);
    reader.Open(&file, false);
    try {
        reader.FillTo(4);
        FAIL() << "reading unmapped memory succeeded";
    } catch (const EMPError& e) {
        EXPECT_NE(std::string(e.what()).find("Stream read error"), std::string::npos) << e.what();
    }
    EXPECT_EQ(reader.Count(), 0);
    EXPECT_TRUE(reader.Active());
}

// --- reader: life cycle and preconditions ------------------------------------------------------------

TEST(MPStreamReader, PreconditionsRaiseTheAssertionError) {
    EXPECT_ASSERTION_FAILURE(TMPStreamReader(0));
    EXPECT_ASSERTION_FAILURE(TMPStreamReader(-5));

    TMPStreamReader reader(64);
    EXPECT_NO_THROW(reader.Close());
    EXPECT_ASSERTION_FAILURE(reader.FillTo(1));
    EXPECT_ASSERTION_FAILURE(reader.NeedContiguous(1));
    EXPECT_ASSERTION_FAILURE(reader.ReadAhead());
    EXPECT_ASSERTION_FAILURE(reader.Data());
    EXPECT_ASSERTION_FAILURE(reader.Skip(0));
    EXPECT_ASSERTION_FAILURE(reader.Seek(0, soFromBeginning));
    EXPECT_ASSERTION_FAILURE(reader.Open(nullptr, true));

    TMPMemoryStream memory(Pattern(100));
    reader.Open(&memory, true);
    EXPECT_ASSERTION_FAILURE(reader.FillTo(-1));
    EXPECT_ASSERTION_FAILURE(reader.FillTo(65));
    EXPECT_ASSERTION_FAILURE(reader.NeedContiguous(65));
    EXPECT_ASSERTION_FAILURE(reader.NeedContiguous(-1));
    EXPECT_ASSERTION_FAILURE(reader.Skip(-1));
    EXPECT_ASSERTION_FAILURE(reader.Seek(0, 3));
    EXPECT_EQ(reader.Count(), 0) << "a refused request reads nothing";

    TMPNonSeekableStream pipe(memory);
    reader.Open(&pipe, false);
    EXPECT_ASSERTION_FAILURE(reader.Seek(0, soFromBeginning));
    reader.Close();
    EXPECT_ASSERTION_FAILURE(reader.FillTo(1));
}

TEST(MPStreamReader, OpenAttachesAndCloseDetachesWithoutFreeingTheStream) {
    TMPMemoryStream first(Pattern(1000, 1));
    TMPStreamReader reader(65536);
    EXPECT_FALSE(reader.Active());
    EXPECT_EQ(reader.Buffer(), nullptr) << "no ring before Open";

    reader.Open(&first, true);
    EXPECT_TRUE(reader.Active());
    EXPECT_TRUE(reader.Seekable());
    EXPECT_EQ(reader.Stream(), &first);
    EXPECT_EQ(reader.Size(), 1000);
    EXPECT_EQ(reader.Capacity(), 65536);
    ASSERT_NE(reader.Buffer(), nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(reader.Buffer()) % 8, 0u);
    ASSERT_TRUE(reader.Skip(0));
    ASSERT_TRUE(reader.NeedContiguous(100));
    ASSERT_TRUE(reader.Skip(30));

    // Re-opening on another stream starts over; a stream that is not seekable has no size.
    const std::vector<uint8_t> secondBytes = Pattern(500, 2);
    TMPMemoryStream second(secondBytes);
    TMPNonSeekableStream pipe(second);
    reader.Open(&pipe, false);
    EXPECT_EQ(reader.Stream(), &pipe);
    EXPECT_FALSE(reader.Seekable());
    EXPECT_EQ(reader.Size(), 0);
    EXPECT_EQ(reader.Position(), 0);
    EXPECT_EQ(reader.Count(), 0);
    EXPECT_EQ(reader.Head(), 0);
    EXPECT_EQ(reader.Linear(), 0);
    ASSERT_TRUE(reader.NeedContiguous(500));
    ExpectUnreadBytes(reader, secondBytes);

    reader.Close();
    EXPECT_FALSE(reader.Active());
    EXPECT_EQ(reader.Stream(), nullptr);
    EXPECT_EQ(reader.Buffer(), nullptr);
    EXPECT_EQ(reader.Size(), 0);
    EXPECT_EQ(reader.Linear(), 0);
    EXPECT_EQ(first.Seek(0, soFromBeginning), 0) << "the stream stays usable after Close";
    reader.Close();
}

TEST(MPStreamReader, OpenOfAStreamNotAtOffsetZeroReportsPositionZeroUntilSeek) {
    const std::vector<uint8_t> bytes = Pattern(3000);
    TMPMemoryStream stream(bytes);
    stream.Seek(1000, soFromBeginning);
    TMPStreamReader reader(4096);
    reader.Open(&stream, true);
    EXPECT_EQ(reader.Position(), 0);
    ASSERT_TRUE(reader.NeedContiguous(4));
    EXPECT_EQ(reader.Position(), 0);
    EXPECT_EQ(0, std::memcmp(reader.Data(), bytes.data() + 1000, 4))
        << "the reader reads where the stream is";
    EXPECT_EQ(reader.Seek(0, soFromBeginning), 0);
    ASSERT_TRUE(reader.NeedContiguous(4));
    ExpectUnreadBytes(reader, bytes);
}

TEST(MPStreamReader, OpenFailureClosesTheReaderAndPropagates) {
    TMPMemoryStream good(Pattern(100));
    TMPMemoryStream bad(Pattern(100));
    RecordingStream failing(bad);
    failing.FailSize = true;
    TMPStreamReader reader(256);
    reader.Open(&good, true);
    ASSERT_TRUE(reader.FillTo(10));
    EXPECT_THROW(reader.Open(&failing, true), EMPError);
    EXPECT_FALSE(reader.Active());
    EXPECT_EQ(reader.Stream(), nullptr);
    EXPECT_EQ(reader.Buffer(), nullptr);
    EXPECT_EQ(reader.Size(), 0);
    EXPECT_ASSERTION_FAILURE(reader.FillTo(1));
    // Not seekable: the size is never asked for, so the same stream opens.
    EXPECT_NO_THROW(reader.Open(&failing, false));
    EXPECT_TRUE(reader.Active());
}

TEST(MPStreamReader, ReadErrorPropagatesAndKeepsTheBytesAlreadyRead) {
    const std::vector<uint8_t> bytes = Pattern(100000);
    TMPMemoryStream memory(bytes);
    RecordingStream stream(memory);
    stream.FailAfter = 20000;
    TMPStreamReader reader(65536);
    stream.Reader = &reader;
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.NeedContiguous(4)); // 16384 bytes
    EXPECT_THROW(reader.FillTo(30000), EMPError);
    EXPECT_EQ(reader.Count(), 20000);
    ExpectUnreadBytes(reader, bytes);
    EXPECT_THROW(reader.NeedContiguous(20001), EMPError) << "a stream error is not the end of the data";
    EXPECT_EQ(reader.Count(), 20000);
}

// --- reader: filling ---------------------------------------------------------------------------------

TEST(MPStreamReader, SmallRequestsReadWholeChunksLargeOnesJustTheShortfall) {
    const std::vector<uint8_t> bytes = Pattern(200000);
    TMPMemoryStream memory(bytes);
    RecordingStream stream(memory);
    TMPStreamReader reader(65536);
    stream.Reader = &reader;
    reader.Open(&stream, true);

    ASSERT_TRUE(reader.FillTo(4));
    EXPECT_EQ(stream.ReadSizes, std::vector<int32_t>({16384}));
    EXPECT_EQ(reader.Count(), 16384);
    ASSERT_TRUE(reader.FillTo(16384));
    EXPECT_EQ(stream.ReadSizes.size(), 1u) << "no read when enough is buffered";
    ASSERT_TRUE(reader.FillTo(16384 + 20000));
    EXPECT_EQ(stream.ReadSizes.back(), 20000) << "a shortfall of 16384 or more is read exactly";
    ASSERT_TRUE(reader.FillTo(36385));
    EXPECT_EQ(stream.ReadSizes.back(), 16384);
    EXPECT_EQ(reader.Count(), 52768);
    ASSERT_TRUE(reader.FillTo(65536));
    EXPECT_EQ(stream.ReadSizes.back(), 65536 - 52768) << "a chunk never exceeds the free space";
    ExpectUnreadBytes(reader, bytes);
    EXPECT_EQ(memory.Position(), reader.Position() + reader.Count());
}

TEST(MPStreamReader, AFillThatWrapsSplitsItsReadAtTheRingEnd) {
    const std::vector<uint8_t> bytes = Pattern(1000);
    TMPMemoryStream memory(bytes);
    RecordingStream stream(memory);
    TMPStreamReader reader(100);
    stream.Reader = &reader;
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.FillTo(80));
    EXPECT_EQ(reader.Count(), 100) << "a small request fills the free space";
    ASSERT_TRUE(reader.Skip(70));
    ASSERT_TRUE(reader.Skip(20)); // Head 90, Count 10
    stream.ReadSizes.clear();
    ASSERT_TRUE(reader.FillTo(50));
    // Tail at index 0 (the ring end was reached exactly): one read of the free space.
    EXPECT_EQ(stream.ReadSizes, std::vector<int32_t>({90}));
    EXPECT_EQ(reader.Linear(), 10);
    ExpectUnreadBytes(reader, bytes);

    ASSERT_TRUE(reader.Skip(95)); // Head 85, Count 5, tail at 90
    stream.ReadSizes.clear();
    ASSERT_TRUE(reader.FillTo(100));
    EXPECT_EQ(stream.ReadSizes, std::vector<int32_t>({10, 85}));
    EXPECT_EQ(reader.Count(), 100);
    ExpectUnreadBytes(reader, bytes);
}

TEST(MPStreamReader, ReadAheadReadsOneChunkAndNothingWhenFull) {
    const std::vector<uint8_t> bytes = Pattern(100000);
    TMPMemoryStream memory(bytes);
    RecordingStream stream(memory);
    TMPStreamReader reader(40000);
    stream.Reader = &reader;
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.ReadAhead());
    ASSERT_TRUE(reader.ReadAhead());
    EXPECT_EQ(reader.Count(), 32768);
    ASSERT_TRUE(reader.ReadAhead());
    EXPECT_EQ(stream.ReadSizes.back(), 40000 - 32768) << "the last chunk is the free space";
    EXPECT_EQ(reader.Count(), 40000);
    const size_t reads = stream.ReadSizes.size();
    EXPECT_FALSE(reader.ReadAhead());
    EXPECT_EQ(stream.ReadSizes.size(), reads) << "a full ring is not read";
    EXPECT_EQ(reader.Count(), 40000);
    ExpectUnreadBytes(reader, bytes);

    // Near the end: returns false but keeps what it read.
    reader.Seek(-100, soFromEnd);
    EXPECT_FALSE(reader.ReadAhead());
    EXPECT_EQ(reader.Count(), 100);
    ExpectUnreadBytes(reader, bytes);
}

// --- reader: contiguous runs and rotation ------------------------------------------------------------

TEST(MPStreamReader, NeedContiguousShortOfTheEndKeepsTheRest) {
    const std::vector<uint8_t> bytes = Pattern(10);
    TMPMemoryStream stream(bytes);
    TMPStreamReader reader(64);
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.Skip(7));
    EXPECT_FALSE(reader.NeedContiguous(4));
    EXPECT_EQ(reader.Count(), 3);
    EXPECT_EQ(reader.Linear(), 3);
    ExpectUnreadBytes(reader, bytes);
    EXPECT_TRUE(reader.NeedContiguous(3));
    EXPECT_TRUE(reader.NeedContiguous(0));
}

TEST(MPStreamReader, RotationWithRoomBelowHeadMovesInPlace) {
    // Large ring, realistic chunks: Head 39000, Count 1000 at the ring end; the next small fill wraps.
    const std::vector<uint8_t> bytes = Pattern(100000);
    TMPMemoryStream memory(bytes);
    RecordingStream stream(memory);
    TMPStreamReader reader(40000);
    stream.Reader = &reader;
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.FillTo(40000));
    ASSERT_TRUE(reader.Skip(39000));
    ASSERT_TRUE(reader.FillTo(2000));
    ASSERT_EQ(reader.Head(), 39000);
    ASSERT_EQ(reader.Count(), 1000 + 16384);
    ASSERT_LT(reader.Count(), reader.Head());
    ASSERT_EQ(reader.Linear(), 1000);
    ASSERT_TRUE(reader.NeedContiguous(2000));
    EXPECT_EQ(reader.Head(), 0);
    EXPECT_EQ(reader.Linear(), reader.Count());
    EXPECT_EQ(reader.Position(), 39000);
    ExpectUnreadBytes(reader, bytes);
    EXPECT_EQ(0, std::memcmp(reader.Data(), bytes.data() + 39000, 2000));
}

TEST(MPStreamReader, RotationOfAFullWrappedRingKeepsStreamOrder) {
    const std::vector<uint8_t> bytes = Pattern(64);
    TMPMemoryStream stream(bytes);
    TMPStreamReader reader(16);
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.FillTo(16));
    ASSERT_TRUE(reader.Skip(12));
    ASSERT_TRUE(reader.FillTo(16)); // Head 12, Count 16: the unread bytes fill the ring
    ASSERT_EQ(reader.Head(), 12);
    ASSERT_GE(reader.Count(), reader.Head());
    ASSERT_TRUE(reader.NeedContiguous(10));
    EXPECT_EQ(reader.Head(), 0);
    EXPECT_EQ(reader.Linear(), 16);
    EXPECT_EQ(0, std::memcmp(reader.Data(), bytes.data() + 12, 16));
}

TEST(MPStreamReader, NoRotationWhileTheRunIsAlreadyContiguous) {
    const std::vector<uint8_t> bytes = Pattern(1000);
    TMPMemoryStream stream(bytes);
    TMPStreamReader reader(100);
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.FillTo(100));
    ASSERT_TRUE(reader.Skip(30));
    ASSERT_TRUE(reader.FillTo(100)); // Head 30, 70 bytes before the ring end
    ASSERT_TRUE(reader.NeedContiguous(70));
    EXPECT_EQ(reader.Head(), 30) << "bytes are only moved when the run wraps";
    ASSERT_TRUE(reader.NeedContiguous(71));
    EXPECT_EQ(reader.Head(), 0);
    ExpectUnreadBytes(reader, bytes);
}

// RotateRing on every layout of small rings: no wrap, wrap with room below Head, wrap without.
TEST(MPStreamReader, RotateRingPutsUnreadBytesInOrderForEveryLayout) {
    int wrappedWithRoom = 0;
    int wrappedWithoutRoom = 0;
    for (int32_t capacity = 1; capacity <= 12; ++capacity) {
        for (int32_t head = 0; head < capacity; ++head) {
            for (int32_t count = 0; count <= capacity; ++count) {
                std::vector<uint8_t> ring(static_cast<size_t>(capacity), 0xEE);
                for (int32_t i = 0; i < count; ++i) {
                    ring[static_cast<size_t>((head + i) % capacity)] = static_cast<uint8_t>(i + 1);
                }
                RotateRing(ring.data(), capacity, head, count);
                for (int32_t i = 0; i < count; ++i) {
                    ASSERT_EQ(ring[static_cast<size_t>(i)], i + 1)
                        << "capacity " << capacity << " head " << head << " count " << count << " at " << i;
                }
                if (head + count > capacity) {
                    (count < head ? wrappedWithRoom : wrappedWithoutRoom)++;
                }
            }
        }
    }
    EXPECT_GT(wrappedWithRoom, 0);
    EXPECT_GT(wrappedWithoutRoom, 0);
    uint8_t ring[4] = {};
    EXPECT_ASSERTION_FAILURE(RotateRing(ring, 4, 4, 1));
    EXPECT_ASSERTION_FAILURE(RotateRing(ring, 4, 0, 5));
}

// --- reader: skipping and seeking --------------------------------------------------------------------

TEST(MPStreamReader, SkipZeroChangesNothing) {
    const std::vector<uint8_t> bytes = Pattern(1000);
    TMPMemoryStream memory(bytes);
    RecordingStream stream(memory);
    TMPStreamReader reader(64);
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.FillTo(40));
    ASSERT_TRUE(reader.Skip(25));
    const auto before =
        std::vector<int64_t>{reader.Head(), reader.Count(), reader.Position(), reader.Linear()};
    const size_t reads = stream.ReadSizes.size();
    EXPECT_TRUE(reader.Skip(0));
    EXPECT_EQ(before,
              (std::vector<int64_t>{reader.Head(), reader.Count(), reader.Position(), reader.Linear()}));
    EXPECT_EQ(stream.ReadSizes.size(), reads);
    EXPECT_EQ(stream.Seeks, 0);
}

TEST(MPStreamReader, SeekableSkipPastTheBufferLandsAtPositionPlusN) {
    const std::vector<uint8_t> bytes = Pattern(100000);
    TMPMemoryStream stream(bytes);
    TMPStreamReader reader(65536);
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.NeedContiguous(4));
    ASSERT_TRUE(reader.Skip(10));
    ASSERT_LT(reader.Count(), 20000);
    ASSERT_TRUE(reader.Skip(20000));
    EXPECT_EQ(reader.Position(), 20010);
    EXPECT_EQ(reader.Count(), 0);
    ASSERT_TRUE(reader.NeedContiguous(4));
    EXPECT_EQ(0, std::memcmp(reader.Data(), bytes.data() + 20010, 4));
    ExpectUnreadBytes(reader, bytes);

    ASSERT_TRUE(reader.Skip(100000 - 20010)) << "a skip up to the exact end succeeds";
    EXPECT_EQ(reader.Position(), 100000);
    EXPECT_FALSE(reader.FillTo(1));
}

TEST(MPStreamReader, SkipPastTheEndStopsAtTheEnd) {
    const std::vector<uint8_t> bytes = Pattern(50000);
    for (bool seekable : {true, false}) {
        SCOPED_TRACE(seekable ? "seekable" : "not seekable");
        TMPMemoryStream memory(bytes);
        TMPNonSeekableStream pipe(memory);
        TMPStreamReader reader(4096);
        reader.Open(seekable ? static_cast<TMPSourceStream*>(&memory) : &pipe, seekable);
        ASSERT_TRUE(reader.NeedContiguous(100));
        ASSERT_TRUE(reader.Skip(10));
        EXPECT_FALSE(reader.Skip(49991));
        EXPECT_EQ(reader.Position(), 50000);
        EXPECT_EQ(reader.Count(), 0);
        EXPECT_EQ(memory.Position(), 50000);
        EXPECT_FALSE(reader.NeedContiguous(1));
    }
}

TEST(MPStreamReader, NonSeekableSkipReadsThroughSeveralRingfuls) {
    const std::vector<uint8_t> bytes = Pattern(50000);
    TMPMemoryStream memory(bytes);
    TMPNonSeekableStream pipe(memory);
    RecordingStream stream(pipe);
    TMPStreamReader reader(1000);
    stream.Reader = &reader;
    reader.Open(&stream, false);
    ASSERT_TRUE(reader.NeedContiguous(10));
    ASSERT_TRUE(reader.Skip(3));
    ASSERT_TRUE(reader.Skip(12345));
    EXPECT_EQ(reader.Position(), 12348);
    ASSERT_TRUE(reader.NeedContiguous(1000));
    ExpectUnreadBytes(reader, bytes);
    EXPECT_EQ(stream.Seeks, 0);
    ASSERT_TRUE(reader.Skip(50000 - 12348));
    EXPECT_EQ(reader.Position(), 50000);
}

TEST(MPStreamReader, SeekDiscardsTheBufferAndUsesAllThreeOrigins) {
    const std::vector<uint8_t> bytes = Pattern(100000);
    TMPMemoryStream stream(bytes);
    TMPStreamReader reader(65536);
    reader.Open(&stream, true);
    ASSERT_TRUE(reader.NeedContiguous(4));
    ASSERT_TRUE(reader.Skip(10));
    EXPECT_EQ(reader.Seek(5, soFromCurrent), 15) << "relative to the logical position, not the stream's";
    EXPECT_EQ(reader.Count(), 0);
    EXPECT_EQ(reader.Head(), 0);
    EXPECT_EQ(reader.Linear(), 0);
    ASSERT_TRUE(reader.NeedContiguous(8));
    EXPECT_EQ(0, std::memcmp(reader.Data(), bytes.data() + 15, 8));
    ASSERT_TRUE(reader.Skip(100));
    EXPECT_EQ(reader.Seek(0, soFromBeginning), 0);
    EXPECT_EQ(reader.Count(), 0);
    ASSERT_TRUE(reader.NeedContiguous(4));
    EXPECT_EQ(0, std::memcmp(reader.Data(), bytes.data(), 4)) << "the next read starts at offset 0 again";
    EXPECT_EQ(reader.Seek(-128, soFromEnd), 100000 - 128);
    ASSERT_TRUE(reader.NeedContiguous(128));
    ExpectUnreadBytes(reader, bytes);
    EXPECT_EQ(reader.Seek(-28, soFromCurrent), 100000 - 156);

    // A refused seek leaves the buffered bytes as they were.
    ASSERT_TRUE(reader.NeedContiguous(100));
    const int32_t count = reader.Count();
    EXPECT_THROW(reader.Seek(-1, soFromBeginning), EMPError);
    EXPECT_EQ(reader.Count(), count);
    ExpectUnreadBytes(reader, bytes);
}

// --- reader: streams beyond the reach of 32-bit positions --------------------------------------------

// A stream of a given virtual size whose byte at offset p is (p * 7) & 0xFF, without holding the bytes.
class VirtualStream : public TMPSourceStream {
public:
    explicit VirtualStream(int64_t size, bool writeBytes = true) : FSize(size), FWrite(writeBytes) {}
    int32_t Read(void* buffer, int32_t count) override {
        const int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, FSize - FPosition));
        if (FWrite) {
            for (int64_t i = 0; i < n; ++i) {
                static_cast<uint8_t*>(buffer)[i] = static_cast<uint8_t>((FPosition + i) * 7);
            }
        }
        FPosition += n;
        return static_cast<int32_t>(n);
    }
    int64_t Seek(int64_t offset, int32_t origin) override {
        FPosition = (origin == soFromBeginning ? 0 : origin == soFromCurrent ? FPosition : FSize) + offset;
        if (FPosition < 0) {
            throw EMPError("Stream seek error");
        }
        return FPosition;
    }
    int64_t Size() override { return FSize; }

private:
    int64_t FSize;
    bool FWrite;
    int64_t FPosition = 0;
};

TEST(MPStreamReader, AStreamLargerThanFourGigabytesIsReadAtItsRealPositions) {
    const int64_t size = int64_t{5} << 30;
    VirtualStream stream(size);
    TMPStreamReader reader(65536);
    reader.Open(&stream, true);
    EXPECT_EQ(reader.Size(), size);
    EXPECT_EQ(reader.Seek(0, soFromEnd), size);
    EXPECT_EQ(reader.Seek(size - 10, soFromBeginning), size - 10);
    EXPECT_FALSE(reader.FillTo(100));
    ASSERT_EQ(reader.Count(), 10);
    for (int32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(reader.Data()[i], static_cast<uint8_t>((size - 10 + i) * 7));
    }
    EXPECT_FALSE(reader.Skip(11));
    EXPECT_EQ(reader.Position(), size);
    // A skip across the 2 GiB and 4 GiB marks lands exactly.
    reader.Seek(INT32_MAX - 5, soFromBeginning);
    ASSERT_TRUE(reader.NeedContiguous(4));
    ASSERT_TRUE(reader.Skip(INT32_MAX));
    EXPECT_EQ(reader.Position(), int64_t{INT32_MAX} * 2 - 5);
    ASSERT_TRUE(reader.NeedContiguous(1));
    EXPECT_EQ(reader.Data()[0], static_cast<uint8_t>((int64_t{INT32_MAX} * 2 - 5) * 7));
}

TEST(MPStreamReader, AnUnseekableStreamGoesOnPastTwoGigabytes) {
    VirtualStream endless(INT64_MAX / 2, false);
    TMPStreamReader reader(65536);
    reader.Open(&endless, false);
    ASSERT_TRUE(reader.Skip(INT32_MAX - 5));
    EXPECT_EQ(reader.Position(), INT32_MAX - 5);
    EXPECT_TRUE(reader.FillTo(6));
    EXPECT_TRUE(reader.Skip(6));
    EXPECT_EQ(reader.Position(), int64_t{INT32_MAX} + 1);
}

// --- reader: randomized model check ------------------------------------------------------------------

struct ModelCase {
    int32_t Capacity;
    int32_t StreamSize;
    bool Seekable;
};

class StreamReaderModelTest : public ::testing::TestWithParam<ModelCase> {};

// Random operations against a reader; after each one the reader's results, Position and unread bytes
// must agree with what the stream holds.
TEST_P(StreamReaderModelTest, DataAlwaysShowsTheStreamBytes) {
    const ModelCase param = GetParam();
    const std::vector<uint8_t> bytes = Pattern(static_cast<size_t>(param.StreamSize), 99);
    const int64_t size = param.StreamSize;
    const int32_t capacity = param.Capacity;
    std::mt19937 random(static_cast<uint32_t>(capacity * 31 + param.StreamSize + (param.Seekable ? 1 : 0)));
    auto upTo = [&](int64_t limit) {
        return static_cast<int32_t>(random() % static_cast<uint64_t>(limit + 1));
    };

    TMPStreamReader reader(capacity);
    std::unique_ptr<TMPMemoryStream> memory;
    std::unique_ptr<TMPNonSeekableStream> pipe;
    std::unique_ptr<RecordingStream> stream;
    int64_t position = 0; // the model's logical read position
    auto reopen = [&] {
        memory = std::make_unique<TMPMemoryStream>(bytes);
        pipe = std::make_unique<TMPNonSeekableStream>(*memory);
        stream = std::make_unique<RecordingStream>(param.Seekable ? static_cast<TMPSourceStream&>(*memory)
                                                                  : static_cast<TMPSourceStream&>(*pipe));
        stream->Reader = &reader;
        reader.Open(stream.get(), param.Seekable);
        position = 0;
    };
    reopen();

    for (int step = 0; step < 1500; ++step) {
        const int64_t remaining = std::max<int64_t>(0, size - position);
        const int operation = static_cast<int>(random() % 6);
        const int scale = static_cast<int>(random() % 3); // small, up to the ring, beyond it
        std::string what;
        if (operation == 0 || operation == 1) {
            const int32_t n = scale == 0 ? upTo(std::min(capacity, 8)) : upTo(capacity);
            const bool expected = remaining >= n;
            bool result;
            if (operation == 0) {
                what = "FillTo(" + std::to_string(n) + ")";
                result = reader.FillTo(n);
            } else {
                what = "NeedContiguous(" + std::to_string(n) + ")";
                result = reader.NeedContiguous(n);
                if (result) {
                    ASSERT_GE(reader.Linear(), n) << what;
                    if (n > 0) {
                        ASSERT_EQ(0,
                                  std::memcmp(reader.Data(), bytes.data() + position, static_cast<size_t>(n)))
                            << what;
                    }
                }
            }
            ASSERT_EQ(result, expected) << what << " at " << position;
            ASSERT_EQ(reader.Count(), expected ? std::max<int64_t>(reader.Count(), n) : remaining) << what;
        } else if (operation == 2 || operation == 3) {
            const int32_t n = scale == 0   ? upTo(16)
                              : scale == 1 ? upTo(std::max(reader.Count(), 1))
                                           : upTo(std::min<int64_t>(INT32_MAX, 2 * int64_t{capacity} + 100));
            what = "Skip(" + std::to_string(n) + ")";
            const bool expected = remaining >= n;
            ASSERT_EQ(reader.Skip(n), expected) << what << " at " << position;
            position = expected ? position + n : size;
        } else if (operation == 4) {
            what = "ReadAhead";
            const size_t reads = stream->ReadSizes.size();
            const int32_t count = reader.Count();
            if (count == capacity) {
                ASSERT_FALSE(reader.ReadAhead());
                ASSERT_EQ(stream->ReadSizes.size(), reads);
            } else {
                const int64_t target = count + std::min(capacity - count, TMPStreamReader::kChunkSize);
                ASSERT_EQ(reader.ReadAhead(), remaining >= target) << what;
            }
        } else if (param.Seekable) {
            const int64_t target = upTo(size + 50);
            const int32_t origin = static_cast<int32_t>(random() % 3);
            const int64_t offset = origin == soFromBeginning ? target
                                   : origin == soFromCurrent ? target - position
                                                             : target - size;
            what = "Seek(" + std::to_string(offset) + ", " + std::to_string(origin) + ")";
            ASSERT_EQ(reader.Seek(static_cast<int32_t>(offset), origin), target) << what;
            position = target;
            ASSERT_EQ(reader.Count(), 0);
        } else if (position == size) {
            what = "reopen";
            reopen();
        }
        ASSERT_EQ(reader.Position(), position) << "after " << what;
        ASSERT_LE(reader.Count(), std::max<int64_t>(0, size - position)) << "after " << what;
        ASSERT_EQ(memory->Position(), position + reader.Count())
            << "the stream stands Count bytes ahead of Position, after " << what;
        if (position <= size) {
            ASSERT_NO_FATAL_FAILURE(ExpectUnreadBytes(reader, bytes)) << "after " << what;
        } else {
            ASSERT_EQ(reader.Count(), 0);
        }
        ASSERT_FALSE(HasFailure()) << "after " << what << " at step " << step;
    }
}

std::vector<ModelCase> ModelCases() {
    std::vector<ModelCase> cases;
    for (int32_t capacity : {1, 5, 64, 1000, 20000, 65536}) {
        for (int32_t streamSize : {0, 1, 17, 5000, 70000, 300000}) {
            for (bool seekable : {true, false}) {
                cases.push_back({capacity, streamSize, seekable});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Random, StreamReaderModelTest, ::testing::ValuesIn(ModelCases()),
                         [](const ::testing::TestParamInfo<ModelCase>& info) {
                             return "ring" + std::to_string(info.param.Capacity) + "_stream" +
                                    std::to_string(info.param.StreamSize) +
                                    (info.param.Seekable ? "_seekable" : "_pipe");
                         });

} // namespace
