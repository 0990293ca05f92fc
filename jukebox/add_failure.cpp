// Why a file could not be added, said so that the person adding it knows what to do about it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "album.h"
#include "stream_start.h"

namespace tunelo {

namespace {

std::string SystemReason(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "file not found";
    case EACCES:
    case EPERM:
        return "permission denied";
    case ELOOP:
        return "a symbolic link that leads nowhere";
    case EIO:
        return "the disk could not be read (input/output error)";
    default:
        return std::strerror(error);
    }
}

} // namespace

std::string AddFailureReason(const std::string& path, const std::exception& error) {
    if (dynamic_cast<const EAlbumFull*>(&error)) {
        return "the album is full (it holds at most " + std::to_string(TAlbum::kCapacity) + " files)";
    }
    // The file system first: a player that could not open the file only knows that it could not.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        return SystemReason(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return "a folder, not a file";
    }
    if (!S_ISREG(info.st_mode)) {
        return "not a regular file";
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return SystemReason(errno);
    }
    ::close(fd);
    if (info.st_size == 0) {
        return "empty file";
    }
    // The file reads; then the player found no MPEG audio in it, or it says what else went wrong.
    const std::string message = error.what();
    if (message.find(kUnknownMpegAudioFormat) != std::string::npos) {
        return "not MPEG audio";
    }
    return message;
}

} // namespace tunelo
