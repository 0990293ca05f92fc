#include "WavWriter.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tunelo::cli {

namespace {

bool EndsWithWav(const std::string& path) {
    if (path.size() < 4) {
        return false;
    }
    std::string ext = path.substr(path.size() - 4);
    for (char& ch : ext) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return ext == ".wav";
}

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

} // namespace

bool TPcmFileWriter::Open(const std::string& path, int32_t channels, int32_t sampleRate,
                          std::string& reason) {
    Channels_ = channels;
    SampleRate_ = sampleRate;
    DataBytes_ = 0;
    if (path == "-") {
        ToStdout_ = true;
        File_ = stdout;
        // A large buffer turns one write per frame into one per 64 KB when decoding into a pipe.
        static char stdoutBuffer[1 << 16];
        std::setvbuf(stdout, stdoutBuffer, _IOFBF, sizeof stdoutBuffer);
        return true;
    }
    Path_ = path;
    Wav_ = EndsWithWav(path);
    TempPath_ = path + ".part-" + std::to_string(getpid());
    File_ = std::fopen(TempPath_.c_str(), "wb");
    if (File_ == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    if (Wav_ && !WriteHeader(0)) {
        reason = std::strerror(errno);
        Discard();
        return false;
    }
    return true;
}

bool TPcmFileWriter::WriteHeader(uint32_t dataBytes) {
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, static_cast<uint32_t>(Channels_));
    Put32(h + 24, static_cast<uint32_t>(SampleRate_));
    Put32(h + 28, static_cast<uint32_t>(SampleRate_ * Channels_ * 2));
    Put16(h + 32, static_cast<uint32_t>(Channels_ * 2));
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
    return std::fwrite(h, 1, sizeof h, File_) == sizeof h;
}

bool TPcmFileWriter::Write(const uint8_t* data, size_t size) {
    DataBytes_ += size;
    return std::fwrite(data, 1, size, File_) == size;
}

bool TPcmFileWriter::Commit(std::string& reason) {
    if (ToStdout_) {
        File_ = nullptr;
        if (std::fflush(stdout) != 0) {
            reason = std::strerror(errno);
            return false;
        }
        return true;
    }
    if (File_ == nullptr) {
        reason = "not open";
        return false;
    }
    if (Wav_ && DataBytes_ > 0xFFFFFFFFull - 36) {
        reason = "too much audio for a WAV file";
        Discard();
        return false;
    }
    bool ok = true;
    if (Wav_) {
        ok = std::fseek(File_, 0, SEEK_SET) == 0 && WriteHeader(static_cast<uint32_t>(DataBytes_));
    }
    ok = std::fflush(File_) == 0 && ok;
    ok = fsync(fileno(File_)) == 0 && ok;
    const int closeResult = std::fclose(File_);
    File_ = nullptr;
    if (!ok || closeResult != 0 || std::rename(TempPath_.c_str(), Path_.c_str()) != 0) {
        reason = std::strerror(errno);
        std::remove(TempPath_.c_str());
        return false;
    }
    return true;
}

void TPcmFileWriter::Discard() {
    if (File_ != nullptr && !ToStdout_) {
        std::fclose(File_);
        std::remove(TempPath_.c_str());
    }
    File_ = nullptr;
}

} // namespace tunelo::cli
