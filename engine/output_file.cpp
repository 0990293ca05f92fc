#include "output_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tunelo {

namespace {

// Temporary names of the outputs open now, kept in fixed storage that a signal handler can read.
constexpr int kPendingSlots = 8;
struct TPendingSlot {
    std::atomic<bool> Used{false};
    std::atomic<bool> Ready{false};
    char Path[PATH_MAX];
};
std::array<TPendingSlot, kPendingSlots> gPending;

int ClaimSlot(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return -1;
    }
    for (int i = 0; i < kPendingSlots; ++i) {
        bool expected = false;
        if (gPending[i].Used.compare_exchange_strong(expected, true)) {
            std::memcpy(gPending[i].Path, path.c_str(), path.size() + 1);
            gPending[i].Ready.store(true);
            return i;
        }
    }
    return -1; // more outputs than slots: the extra one is only left behind by a signal
}

void ReleaseSlot(int slot) {
    if (slot >= 0) {
        gPending[slot].Ready.store(false);
        gPending[slot].Used.store(false);
    }
}

// The name a symbolic link finally leads to (the name itself when it is no link); a dangling link leads
// to the name the file is to be created under.
std::string FinalTarget(const std::string& path) {
    namespace fs = std::filesystem;
    constexpr int kMaxLinks = 40; // the system's own limit on links in a row
    fs::path current(path);
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) {
            break;
        }
        const fs::path next = fs::read_symlink(current, error);
        if (error) {
            break;
        }
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current.string();
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A short name in the target's folder, so that a target name at the system's limit still works.
int CreateTemporary(const std::string& folder, std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "/.tunelo-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        const int handle = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle >= 0 || errno != EEXIST) {
            return handle;
        }
    }
    return -1;
}

void RemoveAndReraise(int signal) {
    RemovePendingOutputFiles();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

TMPOutputFile::~TMPOutputFile() {
    Discard();
}

bool TMPOutputFile::Open(const std::string& path) {
    Discard();
    FTarget = FinalTarget(path);
    struct stat info {};
    const bool exists = ::stat(FTarget.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (exists && !S_ISREG(info.st_mode)) {
        FDirect = true;
        do {
            FHandle = ::open(FTarget.c_str(), O_WRONLY | O_CLOEXEC);
        } while (FHandle < 0 && errno == EINTR);
        FSeekable = FHandle >= 0 && ::lseek(FHandle, 0, SEEK_CUR) >= 0 && !S_ISCHR(info.st_mode);
        return FHandle >= 0;
    }
    FDirect = false;
    FHandle = CreateTemporary(FolderOf(FTarget), FTemporary);
    if (FHandle < 0) {
        return false;
    }
    // A replaced file keeps its permissions.
    if (exists) {
        ::fchmod(FHandle, info.st_mode & 07777);
    }
    FSlot = ClaimSlot(FTemporary);
    FSeekable = true;
    return true;
}

bool TMPOutputFile::Commit() {
    if (FHandle < 0) {
        errno = EBADF;
        return false;
    }
    if (FDirect) {
        const int result = ::close(FHandle);
        FHandle = -1;
        return result == 0 || errno == EINTR;
    }
    bool ok = ::fsync(FHandle) == 0;
    int saved = errno;
    if (::close(FHandle) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    FHandle = -1;
    if (ok && ::rename(FTemporary.c_str(), FTarget.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(FTemporary.c_str());
    }
    ReleaseSlot(FSlot);
    FSlot = -1;
    FTemporary.clear();
    errno = saved;
    return ok;
}

void TMPOutputFile::Discard() {
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
    if (!FTemporary.empty()) {
        ::unlink(FTemporary.c_str());
        FTemporary.clear();
    }
    ReleaseSlot(FSlot);
    FSlot = -1;
}

void RemovePendingOutputFiles() noexcept {
    for (TPendingSlot& slot : gPending) {
        if (slot.Ready.load()) {
            ::unlink(slot.Path);
        }
    }
}

void RemovePendingOutputFilesOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        std::signal(signal, RemoveAndReraise);
    }
}

} // namespace tunelo
