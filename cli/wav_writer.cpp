#include "wav_writer.h"

#include "wav_header.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tunelo::cli {

namespace {

// Writes are gathered into blocks of this size: one system call per 64 KB instead of one per frame.
constexpr size_t kBlockBytes = 1 << 16;

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

bool WriteAll(int handle, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(handle, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

bool TPcmFileWriter::Open(const std::string& path, int32_t channels, int32_t sampleRate,
                          std::string& reason) {
    Channels_ = channels;
    SampleRate_ = sampleRate;
    DataBytes_ = 0;
    Pending_.clear();
    Pending_.reserve(kBlockBytes);
    if (path == "-") {
        Handle_ = STDOUT_FILENO;
        Wav_ = false;
        return true;
    }
    Wav_ = EndsWithWav(path);
    if (!Output_.Open(path)) {
        reason = std::strerror(errno);
        return false;
    }
    Handle_ = Output_.Handle();
    // A pipe cannot be rewritten: its header carries the sizes that stream readers take as "to the end".
    if (Wav_ && !WriteHeader(Output_.Seekable() ? 0 : UINT32_MAX)) {
        reason = std::strerror(errno);
        Discard();
        return false;
    }
    return true;
}

TMPWaveFormat TPcmFileWriter::Format() const {
    TMPWaveFormat format;
    format.Channels = static_cast<uint16_t>(Channels_);
    format.SamplesPerSec = static_cast<uint32_t>(SampleRate_);
    format.BitsPerSample = 16;
    format.BlockAlign = static_cast<uint16_t>(Channels_ * 2);
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;
    return format;
}

std::array<uint8_t, kWavHeaderBytes> TPcmFileWriter::Header(uint32_t dataBytes) const {
    return WavHeader(Format(), dataBytes);
}

bool TPcmFileWriter::WriteHeader(uint32_t dataBytes) {
    const auto header = Header(dataBytes);
    return WriteAll(Handle_, header.data(), header.size());
}

bool TPcmFileWriter::Drain() {
    const bool ok = WriteAll(Handle_, Pending_.data(), Pending_.size());
    Pending_.clear();
    return ok;
}

bool TPcmFileWriter::Write(const uint8_t* data, size_t size) {
    DataBytes_ += size;
    Pending_.insert(Pending_.end(), data, data + size);
    return Pending_.size() < kBlockBytes || Drain();
}

bool TPcmFileWriter::Commit(std::string& reason) {
    if (Handle_ < 0) {
        reason = "not open";
        return false;
    }
    if (!Drain()) {
        reason = std::strerror(errno);
        Discard();
        return false;
    }
    if (Handle_ == STDOUT_FILENO && !Output_.IsOpen()) {
        Handle_ = -1;
        return true;
    }
    if (Wav_ && Output_.Seekable()) {
        const auto header = Header(static_cast<uint32_t>(std::min<uint64_t>(DataBytes_, kMaxRiffDataBytes)));
        const bool written =
            DataBytes_ > kMaxRiffDataBytes
                ? RewriteAsRf64(Handle_, Format(), DataBytes_)
                : ::pwrite(Handle_, header.data(), header.size(), 0) == static_cast<ssize_t>(header.size());
        if (!written) {
            reason = std::strerror(errno);
            Discard();
            return false;
        }
    }
    Handle_ = -1;
    if (!Output_.Commit()) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

void TPcmFileWriter::Discard() {
    Output_.Discard();
    Handle_ = -1;
    Pending_.clear();
}

} // namespace tunelo::cli
