// Source streams: the byte sources the stream reader reads from. A file on disk for the player, bytes in
// memory for generated data and tests, and a wrapper that hides a stream's ability to seek.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tunelo {

// Seek origins.
constexpr int32_t soFromBeginning = 0;
constexpr int32_t soFromCurrent = 1;
constexpr int32_t soFromEnd = 2;

class TMPSourceStream {
public:
    virtual ~TMPSourceStream() = default;

    // Reads up to count bytes into buffer; returns the number read, 0 at the end of the stream.
    // Failures are thrown as EMPError.
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Moves the stream position; returns the new absolute position. A position before the start, or a
    // stream that cannot seek, throws EMPError. Positions beyond the end are allowed (reads then return 0).
    virtual int64_t Seek(int64_t offset, int32_t origin) = 0;
    // Total size in bytes.
    virtual int64_t Size() = 0;
};

// A file opened for reading, with 64-bit positions.
class TMPFileStream : public TMPSourceStream {
public:
    // Throws EMPError("Cannot open file \"<path>\". <reason>") when the file cannot be opened for reading
    // or is a directory.
    explicit TMPFileStream(const std::string& path);
    ~TMPFileStream() override;

    TMPFileStream(const TMPFileStream&) = delete;
    TMPFileStream& operator=(const TMPFileStream&) = delete;

    int32_t Read(void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int32_t origin) override;
    int64_t Size() override;

    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    int FHandle = -1;
};

// Bytes held in memory; seekable.
class TMPMemoryStream : public TMPSourceStream {
public:
    TMPMemoryStream() = default;
    explicit TMPMemoryStream(std::vector<uint8_t> bytes) : FBytes(std::move(bytes)) {}

    int32_t Read(void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int32_t origin) override;
    int64_t Size() override { return static_cast<int64_t>(FBytes.size()); }

    const std::vector<uint8_t>& Bytes() const { return FBytes; }
    int64_t Position() const { return FPosition; }

private:
    std::vector<uint8_t> FBytes;
    int64_t FPosition = 0;
};

// Passes reads through to another stream (not owned) and refuses Seek and Size, the way a pipe or a
// network stream would.
class TMPNonSeekableStream : public TMPSourceStream {
public:
    explicit TMPNonSeekableStream(TMPSourceStream& inner) : FInner(inner) {}

    int32_t Read(void* buffer, int32_t count) override { return FInner.Read(buffer, count); }
    int64_t Seek(int64_t offset, int32_t origin) override;
    int64_t Size() override;

private:
    TMPSourceStream& FInner;
};

} // namespace tunelo
