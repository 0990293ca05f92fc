// The recording device (TUNELO_AUDIO=file:PATH): what the player hands the sound device, written into a WAV
// file, so that tests and users can check exactly what a listener would hear. Every device opened in the
// process with the format of the recording carries on at its end, so an album played with a device
// reopened for each track still records as one piece; a device opened with another format starts the next
// file, PATH with "-2", "-3" ... before its extension. The header is brought up to date after every write,
// so the file is a whole WAV file at any moment.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "wave_backend.h"

namespace tunelo {

namespace {

constexpr uint32_t kHeaderSize = 44;

void PutLE(uint8_t* p, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

bool WriteAt(int fd, const uint8_t* data, size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, offset);
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
        offset += written;
    }
    return true;
}

// PATH for the first format, then PATH with "-N" before the extension.
std::string SegmentPath(const std::string& path, int segment) {
    if (segment <= 1) {
        return path;
    }
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    return stem + "-" + std::to_string(segment) + (hasExtension ? path.substr(dot) : "");
}

// One WAV file being recorded; shared by the devices that write into it.
class TRecording {
public:
    ~TRecording() {
        if (FFd >= 0) {
            ::close(FFd);
        }
    }

    bool Create(const std::string& path, const TMPWaveFormat& format) {
        FFormat = format;
        FFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        return FFd >= 0 && UpdateHeader();
    }

    bool SameFormat(const TMPWaveFormat& format) const {
        return format.Channels == FFormat.Channels && format.SamplesPerSec == FFormat.SamplesPerSec &&
               format.BitsPerSample == FFormat.BitsPerSample;
    }

    int32_t Append(const uint8_t* data, uint32_t size) {
        std::lock_guard lock(FLock);
        // A WAV file counts its data in 32 bits.
        if (uint64_t{FDataSize} + size > UINT32_MAX - kHeaderSize ||
            !WriteAt(FFd, data, size, static_cast<off_t>(kHeaderSize + uint64_t{FDataSize}))) {
            return WAVERR_RECORDINGFILE;
        }
        FDataSize += size;
        return UpdateHeader() ? MMSYSERR_NOERROR : WAVERR_RECORDINGFILE;
    }

private:
    bool UpdateHeader() {
        uint8_t header[kHeaderSize] = {'R', 'I', 'F', 'F', 0,   0,   0,   0,
                                       'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
        PutLE(header + 4, FDataSize + kHeaderSize - 8, 4);
        PutLE(header + 16, 16, 4);
        PutLE(header + 20, WAVE_FORMAT_PCM, 2);
        PutLE(header + 22, FFormat.Channels, 2);
        PutLE(header + 24, FFormat.SamplesPerSec, 4);
        PutLE(header + 28, FFormat.AvgBytesPerSec, 4);
        PutLE(header + 32, FFormat.BlockAlign, 2);
        PutLE(header + 34, FFormat.BitsPerSample, 2);
        std::memcpy(header + 36, "data", 4);
        PutLE(header + 40, FDataSize, 4);
        return WriteAt(FFd, header, kHeaderSize, 0);
    }

    std::mutex FLock;
    int FFd = -1;
    TMPWaveFormat FFormat;
    uint32_t FDataSize = 0;
};

struct TRecordings {
    std::mutex Lock;
    // Per path named in TUNELO_AUDIO: the file being written and how many files it has had.
    struct TEntry {
        std::shared_ptr<TRecording> Current;
        int Segments = 0;
    };
    std::map<std::string, TEntry> ByPath;
};

TRecordings& Recordings() {
    static TRecordings recordings;
    return recordings;
}

std::shared_ptr<TRecording> RecordingFor(const std::string& path, const TMPWaveFormat& format) {
    TRecordings& all = Recordings();
    std::lock_guard lock(all.Lock);
    TRecordings::TEntry& entry = all.ByPath[path];
    if (entry.Current && entry.Current->SameFormat(format)) {
        return entry.Current;
    }
    auto recording = std::make_shared<TRecording>();
    if (!recording->Create(SegmentPath(path, entry.Segments + 1), format)) {
        return nullptr;
    }
    ++entry.Segments;
    entry.Current = recording;
    return recording;
}

} // namespace

int32_t OpenFileWaveDevice(std::unique_ptr<TMPWaveDevice>& device, const std::string& path, bool paced,
                           const TMPWaveFormat& format, TMPWaveNotify notify) {
    // A handle opened only to read the volume records nothing and must not start a file.
    if (!notify) {
        device = MakeSinkWaveDevice(format, std::move(notify), TMPWaveSink{}, paced);
        return MMSYSERR_NOERROR;
    }
    std::shared_ptr<TRecording> recording = RecordingFor(path, format);
    if (!recording) {
        return WAVERR_RECORDINGFILE;
    }
    device = MakeSinkWaveDevice(
        format, std::move(notify),
        [recording](const uint8_t* data, uint32_t size) { return recording->Append(data, size); }, paced);
    return MMSYSERR_NOERROR;
}

} // namespace tunelo
