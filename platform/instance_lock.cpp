#include "instance_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tunelo {

TMPInstanceLock::TMPInstanceLock(std::string fileName) : FFileName(std::move(fileName)) {
    // O_NOFOLLOW: in a shared folder such as /tmp, a link planted under our name must not make us create or
    // lock some other file.
    FDescriptor = open(FFileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (FDescriptor < 0) {
        FErrorText = std::strerror(errno);
        return;
    }
    int status;
    do {
        status = flock(FDescriptor, LOCK_EX | LOCK_NB);
    } while (status != 0 && errno == EINTR);
    if (status == 0) {
        FResult = ilAcquired;
        return;
    }
    if (errno == EWOULDBLOCK) {
        FResult = ilHeldElsewhere;
    } else {
        FErrorText = std::strerror(errno);
    }
    close(FDescriptor);
    FDescriptor = -1;
}

TMPInstanceLock::~TMPInstanceLock() {
    if (FDescriptor >= 0) {
        // The file stays: removing it could let a third instance lock a new file while a second one still
        // waits on the old one.
        close(FDescriptor);
    }
}

std::string TMPInstanceLock::InstanceLockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        return std::string(runtime) + "/TUNELO.lock";
    }
    return "/tmp/TUNELO-" + std::to_string(getuid()) + ".lock";
}

} // namespace tunelo
