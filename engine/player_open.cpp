// Opening a stream: the tag reader finds the audio data, the first frame is found and checked, the decoder
// and the wave output are set up for it, and a VBR information frame (Xing, lame's Info, VBRI) gives the
// playing time.
#include <algorithm>
#include <cstring>

#include "errors.h"
#include "lame_tag.h"
#include "player.h"

namespace tunelo {

namespace {

[[noreturn]] void RaiseUnknownFormat() {
    throw EMPFormatError(kUnknownMpegAudioFormat);
}

} // namespace

void TMP3Player::OpenFile() {
    if (FFileName.empty()) {
        Close();
        return;
    }
    const std::string fileName = FFileName;
    // Raises when the file cannot be opened, before anything changes.
    auto stream = std::make_unique<TMPFileStream>(fileName);
    OpenStreamUnchecked(stream.release(), kStreamSeekable | kStreamOwned);
    FFileName = fileName;
    if (FNeedsFrameCount) {
        StartFrameCount(fileName);
    }
    if (FAutoPlay) {
        Play();
    }
}

void TMP3Player::OpenStream(TMPSourceStream* stream, uint8_t flags) {
    OpenStreamUnchecked(stream, flags);
    if (FAutoPlay) {
        Play();
    }
}

void TMP3Player::OpenStreamUnchecked(TMPSourceStream* stream, uint8_t flags) {
    try {
        Close();
    } catch (...) {
        if ((flags & kStreamOwned) != 0) {
            delete stream;
        }
        throw;
    }
    FStream = stream;
    FStreamFlags = flags;
    if (stream == nullptr) {
        return;
    }
    try {
        TMPLockGuard lock(FDecoderLock);
        OpenStreamUnderLock();
    } catch (...) {
        Close();
        throw;
    }
    RequestEqualizer();
    SetStatus(mpsStopped);
}

void TMP3Player::OpenStreamUnderLock() {
    {
        TMPLockGuard positionsLock(FFramePositionsLock);
        FFramePositions.clear();
    }
    FReader.Open(FStream, Seekable());
    FPcmBuffer.Allocate(kPcmBufferSize);
    FEncoderGap = TMPEncoderGap{};
    FHeard = TMPHeardRange{};
    {
        TMPLockGuard outputLock(FOutputLock);
        FPendingPcm = 0;
        FPlayedBytes = 0;
        FPosition = 0;
    }
    const TMPStreamStart start = OpenAudioData(FReader, FInfo);
    FStart = start;
    FDataStart = start.DataStart;
    FDataLength = start.DataLength;
    UpdateGainFactorLocked();
    FHeader = start.Header;
    FCurrentFrameLength = start.FrameBytes;
    FLayer = 4 - FHeader.LayerCode;
    if (FHeader.VersionId == 1) {
        FVersion = 1;
    } else if (FHeader.SyncKind == 1) {
        FVersion = 2;
    } else if (FHeader.SyncKind == 2) {
        FVersion = 3;
    } else {
        RaiseUnknownFormat();
    }
    if (DecoderSetup(*FDecoderState, FHeader, start.Length, 0, 0, kFrequencyLimit) != 1) {
        RaiseUnknownFormat();
    }
    FReInitNeeded = false;
    FResyncCount = 0;
    TMPOutputFormat format{};
    GetOutputFormat(*FDecoderState, format);
    {
        TMPLockGuard outputLock(FOutputLock);
        FSoundOut.SetSamplesPerSec(format.SampleRate);
        FSoundOut.SetBitsPerSample(format.BitsPerSample);
        FSoundOut.SetChannels(format.Channels);
    }
    FSampleRate = format.SampleRate;
    FChannels = format.Channels;
    FBytesPerFrame = format.SamplesPerFrame * format.BitsPerSample / 8;
    FFrameSamples = format.SamplesPerFrame / std::max<int32_t>(format.Channels, 1);
    MP_ASSERT(FBytesPerFrame > 0 && FBytesPerFrame <= kPcmBufferSize);
    FBitRate = start.Bitrate;
    FTotalPcmBytes = 0;

    if (Seekable()) {
        ReadITunesGap(start);
    }
    int64_t decodedSamples = kUnknownSamples;
    if (start.InfoFrame.Kind != TMPInfoFrameKind::None) {
        decodedSamples = SkipInfoFrame(start.InfoFrame);
    } else {
        // Without an information frame only a walk over the frames gives a VBR file's true length.
        FNeedsFrameCount = Seekable() && FDataLength != TMP3Info::kUnknownLength;
    }
    FHeard = HeardRange(FEncoderGap, decodedSamples);
    FNextFrameSample = 0;
    FHeardFrom = FHeard.Begin;

    TMPLockGuard positionsLock(FFramePositionsLock);
    FFramePositions.push_back(FReader.Position());
}

void TMP3Player::ReadITunesGap(const TMPStreamStart& start) {
    const int64_t tagBytes = std::min<int64_t>(FInfo.DataStart(), FReader.Capacity());
    if (tagBytes >= 10) {
        FReader.Seek(0, soFromBeginning);
        TMPEncoderGap gap;
        if (FReader.NeedContiguous(static_cast<int32_t>(tagBytes)) &&
            FindITunSmpb(FReader.Data(), static_cast<size_t>(FReader.Linear()), gap)) {
            FEncoderGap = gap;
        }
    }
    FReader.Seek(start.DataStart, soFromBeginning);
    if (!FReader.NeedContiguous(start.FrameBytes)) {
        RaiseUnknownFormat();
    }
}

int64_t TMP3Player::SkipInfoFrame(const TMPInfoFrame& info) {
    // A constant-bit-rate file keeps its bit rate; only a variable one has none to show.
    if (info.Kind != TMPInfoFrameKind::Info) {
        FBitRate = 0;
    }
    // The stated count is of the audio frames: the information frame itself is not one of them.
    if (info.Frames > 0) {
        FTotalPcmBytes = int64_t{info.Frames} * FBytesPerFrame;
    }
    // lame's tag is the better source of the gap: it travels with the audio frames when tags are rewritten.
    TMPLameTag lame;
    if (info.Kind != TMPInfoFrameKind::Vbri &&
        ReadLameTag(FReader.Data(), FCurrentFrameLength, info.TagOffset, lame)) {
        FEncoderGap = TMPEncoderGap{true, lame.EncoderDelay, lame.EncoderPadding, kUnknownSamples};
    }
    // The stated byte count does not bound the data: a stale count (a file cut or joined after it was
    // written) would drop audio that the decode and other decoders play.
    const int32_t length = FCurrentFrameLength;
    if (!FReader.Skip(length)) {
        RaiseUnknownFormat();
    }
    FDataStart += length;
    if (FDataLength != TMP3Info::kUnknownLength) {
        FDataLength = std::max<int64_t>(FDataLength - length, 0);
    }
    FCurrentFrameLength = 0;
    // The count is of the audio frames that follow the information frame.
    return info.Frames > 0 ? int64_t{info.Frames} * FFrameSamples : kUnknownSamples;
}

void TMP3Player::StartFrameCount(const std::string& fileName) {
    StopFrameCount();
    FStopFrameCount = false;
    FCountedPcmBytes = 0;
    const TMPStreamStart start = FStart;
    const int64_t dataStart = FDataStart;
    const int64_t dataEnd = int64_t{FDataStart} + FDataLength;
    const int32_t bytesPerFrame = FBytesPerFrame;
    // Its own file and reader: the walk never touches the playing stream, and the window thread never
    // waits for it.
    FFrameCounter = std::thread([this, fileName, start, dataStart, dataEnd, bytesPerFrame] {
        try {
            TMPFileStream file(fileName);
            TMPStreamReader reader(kReaderCapacity);
            reader.Open(&file, true);
            reader.Seek(dataStart, soFromBeginning);
            bool variableRate = false;
            const int64_t frames = CountAudioFrames(reader, start, dataEnd, FStopFrameCount, variableRate);
            // A constant bit rate gives the time from the length already, without a count.
            if (frames > 0 && variableRate) {
                FCountedPcmBytes = frames * bytesPerFrame;
            }
        } catch (...) {
            // The file went away or cannot be read: the estimate from the bit rate stays.
        }
    });
}

void TMP3Player::StopFrameCount() {
    FStopFrameCount = true;
    if (FFrameCounter.joinable()) {
        FFrameCounter.join();
    }
}

int32_t TMP3Player::CountedDuration() {
    if (FFrameCounter.joinable()) {
        FFrameCounter.join();
    }
    return Duration();
}

int32_t TMP3Player::Duration() {
    TMPLockGuard lock(FDecoderLock);
    {
        // Until the listener reaches the next track, the duration is that of the one heard.
        TMPLockGuard outputLock(FOutputLock);
        if (FSwitchPending) {
            return FDurationBeforeSwitch;
        }
    }
    return DurationLocked();
}

int32_t TMP3Player::DurationLocked() {
    int64_t ms = 0;
    const int64_t counted = FCountedPcmBytes.load();
    if (FSampleRate > 0 && FEncoderGap.Known && FHeard.EndKnown()) {
        ms = FHeard.Length() * 1000 / FSampleRate;
    } else if (FSampleRate > 0 && counted > 0) {
        ms = counted * 1000 / (int64_t{FSampleRate} * FChannels * 2);
    } else if (FSampleRate > 0 && FTotalPcmBytes > 0) {
        ms = static_cast<int64_t>(FTotalPcmBytes) * 1000 / (int64_t{FSampleRate} * FChannels * 2);
    } else if (FBitRate > 0 && FDataLength != TMP3Info::kUnknownLength) {
        ms = static_cast<int64_t>(FDataLength) * 8 * 1000 / FBitRate;
    }
    // An information frame may claim fewer bytes than itself.
    return static_cast<int32_t>(std::clamp<int64_t>(ms, 0, INT32_MAX));
}

int64_t TMP3Player::DataLength() {
    TMPLockGuard lock(FDecoderLock);
    return FDataLength;
}

std::vector<int64_t> TMP3Player::FramePositions() {
    TMPLockGuard lock(FFramePositionsLock);
    return FFramePositions;
}

} // namespace tunelo
