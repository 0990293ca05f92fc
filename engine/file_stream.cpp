// 64-bit file offsets also where off_t defaults to 32 bits.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "file_stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "errors.h"

namespace tunelo {

namespace {

std::string SystemText(int error) {
    return std::strerror(error);
}

// Applies a seek request to a position and a size, rejecting targets before the start.
int64_t SeekTarget(int64_t current, int64_t size, int64_t offset, int32_t origin) {
    int64_t base = 0;
    switch (origin) {
    case soFromBeginning:
        base = 0;
        break;
    case soFromCurrent:
        base = current;
        break;
    case soFromEnd:
        base = size;
        break;
    default:
        throw EMPError("Stream seek error: invalid origin " + std::to_string(origin));
    }
    if ((offset < 0 && base < -offset) || (offset > 0 && base > INT64_MAX - offset)) {
        throw EMPError("Stream seek error: position out of range");
    }
    return base + offset;
}

} // namespace

TMPFileStream::TMPFileStream(const std::string& path) : FPath(path) {
    do {
        FHandle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (FHandle < 0 && errno == EINTR);
    if (FHandle < 0) {
        const int error = errno;
        throw EMPFileError("Cannot open file \"" + path + "\". " + SystemText(error), path, error);
    }
    struct stat info {};
    if (::fstat(FHandle, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        throw EMPFileError("Cannot open file \"" + path + "\". " + SystemText(EISDIR), path, EISDIR);
    }
}

TMPFileStream::~TMPFileStream() {
    if (FHandle >= 0) {
        ::close(FHandle);
    }
}

int32_t TMPFileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) {
        return 0;
    }
    ssize_t got;
    do {
        got = ::read(FHandle, buffer, static_cast<size_t>(count));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        const int error = errno;
        throw EMPFileError("Stream read error: \"" + FPath + "\". " + SystemText(error), FPath, error);
    }
    return static_cast<int32_t>(got);
}

int64_t TMPFileStream::Seek(int64_t offset, int32_t origin) {
    int whence = SEEK_SET;
    switch (origin) {
    case soFromBeginning:
        whence = SEEK_SET;
        break;
    case soFromCurrent:
        whence = SEEK_CUR;
        break;
    case soFromEnd:
        whence = SEEK_END;
        break;
    default:
        throw EMPError("Stream seek error: \"" + FPath + "\". invalid origin " + std::to_string(origin));
    }
    const off_t result = ::lseek(FHandle, static_cast<off_t>(offset), whence);
    if (result < 0) {
        throw EMPError("Stream seek error: \"" + FPath + "\". " + SystemText(errno));
    }
    return static_cast<int64_t>(result);
}

int64_t TMPFileStream::Size() {
    struct stat info {};
    if (::fstat(FHandle, &info) != 0) {
        throw EMPError("Cannot read the size of \"" + FPath + "\". " + SystemText(errno));
    }
    return static_cast<int64_t>(info.st_size);
}

int32_t TMPMemoryStream::Read(void* buffer, int32_t count) {
    const int64_t size = Size();
    if (count <= 0 || FPosition >= size) {
        return 0;
    }
    const int64_t available = size - FPosition;
    const int32_t n = available < count ? static_cast<int32_t>(available) : count;
    std::memcpy(buffer, FBytes.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TMPMemoryStream::Seek(int64_t offset, int32_t origin) {
    FPosition = SeekTarget(FPosition, Size(), offset, origin);
    return FPosition;
}

int64_t TMPNonSeekableStream::Seek(int64_t, int32_t) {
    throw EMPError("Stream seek error: the stream cannot seek");
}

int64_t TMPNonSeekableStream::Size() {
    throw EMPError("Stream size error: the stream has no known size");
}

} // namespace tunelo
