// PCM output of the command-line front end: raw PCM or a WAV file. A regular file is written through a
// temporary file that takes the name only when everything was written; a device or a pipe is written
// directly; "-" is standard output.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "output_file.h"
#include "wav_header.h"

namespace tunelo::cli {

class TPcmFileWriter {
public:
    // "-" writes raw PCM to standard output; a name ending in ".wav" gets the 44-byte WAV header.
    bool Open(const std::string& path, int32_t channels, int32_t sampleRate, std::string& reason);
    bool Write(const uint8_t* data, size_t size);
    // Completes the output (header sizes, rename); on failure the target is left untouched.
    bool Commit(std::string& reason);
    // Drops an unfinished file.
    void Discard();
    ~TPcmFileWriter() { Discard(); }

private:
    TMPWaveFormat Format() const;
    std::array<uint8_t, kWavHeaderBytes> Header(uint32_t dataBytes) const;
    bool WriteHeader(uint32_t dataBytes);
    bool Drain();

    TMPOutputFile Output_;
    int Handle_ = -1;
    bool Wav_ = false;
    std::vector<uint8_t> Pending_;
    int32_t Channels_ = 0;
    int32_t SampleRate_ = 0;
    uint64_t DataBytes_ = 0;
};

} // namespace tunelo::cli
