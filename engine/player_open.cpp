// Opening a stream: the tag reader finds the audio data, the first frame is found and checked, the decoder
// and the wave output are set up for it, and a VBR information frame (Xing, lame's Info, VBRI) gives the
// playing time.
#include <algorithm>
#include <cstring>

#include "MPErrors.h"
#include "MPLameTag.h"
#include "MPPlayer.h"

namespace tunelo {

namespace {

[[noreturn]] void RaiseUnknownFormat() {
    throw EMPError(kUnknownMpegAudioFormat);
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Where a VBR information tag starts in the first frame: after the header, the Layer III side information
// and the CRC word.
int32_t InfoTagOffset(const TMPHeader& header) {
    const bool mono = header.Mode == 3;
    const int32_t offset = header.VersionId == 1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    return header.ProtectionBit == 0 ? offset + 2 : offset;
}

enum class TInfoTag { None, Xing, Vbri };

TInfoTag InfoTagAt(const uint8_t* frame, int32_t frameLength, int32_t offset) {
    if (offset < 0 || offset + 4 > frameLength) {
        return TInfoTag::None;
    }
    const uint8_t* tag = frame + offset;
    // "Info" is what lame writes into a constant-bit-rate file; its fields are those of "Xing".
    if (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0) {
        return TInfoTag::Xing;
    }
    if (std::memcmp(tag, "VBRI", 4) == 0) {
        return TInfoTag::Vbri;
    }
    return TInfoTag::None;
}

// A 32-bit field of the frame, 0 when it would lie beyond the frame.
int32_t FieldAt(const uint8_t* frame, int32_t frameLength, int32_t offset) {
    if (offset < 0 || offset + 4 > frameLength) {
        return 0;
    }
    return static_cast<int32_t>(BigEndian32(frame + offset));
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
    const bool seekable = Seekable();
    FReader.Open(FStream, seekable);
    FPcmBuffer.Allocate(kPcmBufferSize);
    FInfo.Attach(&FReader);
    FInfo.ReadHead();
    FEncoderGap = TMPEncoderGap{};
    FHeard = TMPHeardRange{};
    if (seekable) {
        FInfo.ReadTail();
        ReadITunesGap();
        FReader.Seek(FInfo.DataStart(), soFromBeginning);
    }
    FDataStart = FInfo.DataStart();
    FDataLength = FInfo.DataLength();
    {
        TMPLockGuard outputLock(FOutputLock);
        FPendingPcm = 0;
        FPlayedBytes = 0;
        FPosition = 0;
    }

    // The first frame: the first sync pattern in the bytes at hand (a short stream is searched as far as
    // it goes).
    if (!FReader.NeedContiguous(4096)) {
        FReader.NeedContiguous(FReader.Count());
    }
    TMPHeader header{};
    int32_t bitRate = 0;
    int32_t offset = 0;
    const int32_t searched = SyncSearch(FReader.Data(), FReader.Linear(), header, bitRate, offset);
    if (searched <= 0) {
        RaiseUnknownFormat();
    }
    if (offset > 0) {
        FDataStart += offset;
        if (FDataLength != TMP3Info::kUnknownLength) {
            FDataLength -= offset;
        }
        if (!FReader.Skip(offset)) {
            RaiseUnknownFormat();
        }
        if (!FReader.NeedContiguous(1441)) {
            FReader.NeedContiguous(FReader.Count());
        }
        if (FReader.Linear() < 4) {
            RaiseUnknownFormat();
        }
    }
    std::memcpy(FFirstHeader, FReader.Data(), 4);
    FFreeFormatLength = header.BitrateIndex == 0 ? searched : 0;
    FCurrentFrameLength = CheckFrame(FReader.Data(), FHeader);
    if (FCurrentFrameLength <= 0 || FHeader.LayerCode < 1 || FHeader.LayerCode > 3) {
        RaiseUnknownFormat();
    }
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

    if (!FReader.NeedContiguous(FCurrentFrameLength)) {
        RaiseUnknownFormat();
    }
    const int32_t padding = FHeader.PaddingBit ? (FHeader.LayerCode == 3 ? 4 : 1) : 0;
    if (DecoderSetup(*FDecoderState, FHeader, FCurrentFrameLength - padding, 0, 0, kFrequencyLimit) != 1) {
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
    FBitRate = bitRate;
    FTotalPcmBytes = 0;

    FHeard = HeardRange(FEncoderGap, ReadInfoFrame());
    FNextFrameSample = 0;
    FHeardFrom = FHeard.Begin;

    TMPLockGuard positionsLock(FFramePositionsLock);
    FFramePositions.push_back(FReader.Position());
}

void TMP3Player::ReadITunesGap() {
    FReader.Seek(0, soFromBeginning);
    const int32_t tagBytes = std::min(FInfo.DataStart(), FReader.Capacity());
    if (tagBytes < 10 || !FReader.NeedContiguous(tagBytes)) {
        return;
    }
    TMPEncoderGap gap;
    if (FindITunSmpb(FReader.Data(), static_cast<size_t>(FReader.Linear()), gap)) {
        FEncoderGap = gap;
    }
}

int64_t TMP3Player::ReadInfoFrame() {
    const uint8_t* frame = FReader.Data();
    const int32_t length = FCurrentFrameLength;
    int32_t offset = InfoTagOffset(FHeader);
    TInfoTag tag = InfoTagAt(frame, length, offset);
    // lame leaves the CRC word out of its count when it places the tag in a protected first frame.
    if (tag == TInfoTag::None && FHeader.ProtectionBit == 0) {
        offset -= 2;
        tag = InfoTagAt(frame, length, offset);
    }
    if (tag == TInfoTag::None) {
        return kUnknownSamples;
    }
    FBitRate = 0;
    int32_t frames = 0;
    int32_t bytes = 0;
    if (tag == TInfoTag::Xing) {
        const int32_t flags = FieldAt(frame, length, offset + 4);
        int32_t next = offset + 8;
        if ((flags & 1) != 0) {
            frames = FieldAt(frame, length, next);
            next += 4;
        }
        if ((flags & 2) != 0) {
            bytes = FieldAt(frame, length, next);
        }
        // lame's tag is the better source: it travels with the audio frames when tags are rewritten.
        TMPLameTag lame;
        if (ReadLameTag(frame, length, offset, lame)) {
            FEncoderGap = TMPEncoderGap{true, lame.EncoderDelay, lame.EncoderPadding, kUnknownSamples};
        }
    } else {
        bytes = FieldAt(frame, length, offset + 10);
        frames = FieldAt(frame, length, offset + 14);
    }
    if (frames > 0) {
        FTotalPcmBytes = static_cast<int32_t>(
            std::min<int64_t>(static_cast<int64_t>(frames - 1) * FBytesPerFrame, INT32_MAX));
    }
    if (bytes > 0) {
        FDataLength = bytes;
    }
    // The information frame carries no audio.
    if (!FReader.Skip(length)) {
        RaiseUnknownFormat();
    }
    FDataStart += length;
    if (FDataLength != TMP3Info::kUnknownLength) {
        FDataLength -= length;
    }
    FCurrentFrameLength = 0;
    // The count is of the audio frames that follow the information frame.
    return frames > 0 ? int64_t{frames} * FFrameSamples : kUnknownSamples;
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
    if (FSampleRate > 0 && FEncoderGap.Known && FHeard.EndKnown()) {
        ms = FHeard.Length() * 1000 / FSampleRate;
    } else if (FSampleRate > 0 && FTotalPcmBytes > 0) {
        ms = static_cast<int64_t>(FTotalPcmBytes) * 1000 / (int64_t{FSampleRate} * FChannels * 2);
    } else if (FBitRate > 0 && FDataLength != TMP3Info::kUnknownLength) {
        ms = static_cast<int64_t>(FDataLength) * 8 * 1000 / FBitRate;
    }
    // An information frame may claim fewer bytes than itself.
    return static_cast<int32_t>(std::clamp<int64_t>(ms, 0, INT32_MAX));
}

int32_t TMP3Player::DataLength() {
    TMPLockGuard lock(FDecoderLock);
    return FDataLength;
}

std::vector<int32_t> TMP3Player::FramePositions() {
    TMPLockGuard lock(FFramePositionsLock);
    return FFramePositions;
}

} // namespace tunelo
