// PCM output of the command-line front end: raw PCM or a WAV file, written through a temporary file
// that is renamed into place only when everything was written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tunelo::cli {

class TPcmFileWriter {
public:
    // "-" writes raw PCM to standard output; a name ending in ".wav" gets the 44-byte WAV header.
    bool Open(const std::string& path, int32_t channels, int32_t sampleRate, std::string& reason);
    bool Write(const uint8_t* data, size_t size);
    // Completes the file (header sizes, rename); on failure the target is left untouched.
    bool Commit(std::string& reason);
    // Drops an unfinished file.
    void Discard();
    ~TPcmFileWriter() { Discard(); }

private:
    bool WriteHeader(uint32_t dataBytes);

    FILE* File_ = nullptr;
    bool ToStdout_ = false;
    bool Wav_ = false;
    std::string Path_;
    std::string TempPath_;
    int32_t Channels_ = 0;
    int32_t SampleRate_ = 0;
    uint64_t DataBytes_ = 0;
};

} // namespace tunelo::cli
