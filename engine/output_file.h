// An output file that never destroys what its name stands for and never shows a half-written result under
// that name. A regular file (or a name not yet taken) is written as a temporary file in the same folder
// and renamed over the name only when complete; a symbolic link is followed and its target written the
// same way; a device, a named pipe or a socket is written directly, since renaming a file over it would
// replace the node instead of feeding it.
#pragma once

#include <string>

namespace tunelo {

class TMPOutputFile {
public:
    TMPOutputFile() = default;
    ~TMPOutputFile();

    TMPOutputFile(const TMPOutputFile&) = delete;
    TMPOutputFile& operator=(const TMPOutputFile&) = delete;

    // Opens for writing; false with errno set on failure. A named pipe blocks here until it has a reader.
    bool Open(const std::string& path);
    // Makes the written bytes the file's content (for a temporary file: flush to disk, then rename); false
    // with errno set on failure, and then nothing was replaced.
    bool Commit();
    // Drops an unfinished temporary file; a direct output is only closed.
    void Discard();

    int Handle() const { return FHandle; }
    bool IsOpen() const { return FHandle >= 0; }
    // Written in place (device, pipe, socket): no temporary file, and maybe no seeking back.
    bool Direct() const { return FDirect; }
    // Whether the header can be rewritten at the end.
    bool Seekable() const { return FSeekable; }

private:
    int FHandle = -1;
    bool FDirect = false;
    bool FSeekable = false;
    std::string FTarget;
    std::string FTemporary;
    int FSlot = -1;
};

// Removes the temporary files of every output still open. Only async-signal-safe calls: meant for a
// handler of a terminating signal.
void RemovePendingOutputFiles() noexcept;

// Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGPIPE that remove the pending temporary files and
// then end the process by the same signal.
void RemovePendingOutputFilesOnSignals();

} // namespace tunelo
