#include "wav_writer.h"

#include "MPWavHeader.h"

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
    TMPWaveFormat format;
    format.Channels = static_cast<uint16_t>(Channels_);
    format.SamplesPerSec = static_cast<uint32_t>(SampleRate_);
    format.BitsPerSample = 16;
    format.BlockAlign = static_cast<uint16_t>(Channels_ * 2);
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;
    const auto header = WavHeader(format, dataBytes);
    return std::fwrite(header.data(), 1, header.size(), File_) == header.size();
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
