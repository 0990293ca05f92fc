// The lock that keeps the program to one instance per user: an exclusive flock on a lock file, held from
// the moment it is taken until the object is destroyed (or the process ends, when the system drops it
// even after a crash, so a stale file never blocks a new start).
#pragma once

#include <string>

namespace tunelo {

class TMPInstanceLock {
public:
    enum TResult {
        ilAcquired,      // this object holds the lock
        ilHeldElsewhere, // another instance holds it
        ilFailed         // the lock file could not be opened or locked (see ErrorText)
    };

    // Tries once, without waiting.
    explicit TMPInstanceLock(std::string fileName = InstanceLockPath());
    ~TMPInstanceLock();

    TMPInstanceLock(const TMPInstanceLock&) = delete;
    TMPInstanceLock& operator=(const TMPInstanceLock&) = delete;

    TResult Result() const { return FResult; }
    bool Held() const { return FResult == ilAcquired; }
    const std::string& FileName() const { return FFileName; }
    // The system's reason when the result is ilFailed, else empty.
    const std::string& ErrorText() const { return FErrorText; }

    // $XDG_RUNTIME_DIR/TUNELO.lock when XDG_RUNTIME_DIR names an absolute folder, else
    // /tmp/TUNELO-<uid>.lock.
    static std::string InstanceLockPath();

private:
    std::string FFileName;
    int FDescriptor = -1;
    TResult FResult = ilFailed;
    std::string FErrorText;
};

} // namespace tunelo
