#include "stream_decoder.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "errors.h"
#include "lame_tag.h"
#include "stream_start.h"

namespace tunelo::cli {

namespace {

constexpr int32_t kMaxResync = 4096;

} // namespace

TStreamDecoder::TStreamDecoder() : State_(new TMPDecoderState()) {}
TStreamDecoder::~TStreamDecoder() = default;

bool TStreamDecoder::Open(TMPSourceStream& source, bool seekable, bool full, std::string& error) {
    Frames_ = 0;
    Error_.clear();
    try {
        Reader_.Open(&source, seekable);
        const TMPStreamStart start = OpenAudioData(Reader_, Info_);
        Start_ = start;
        DataEnd_ = start.DataLength == TMP3Info::kUnknownLength ? INT64_MAX
                                                                : int64_t{start.DataStart} + start.DataLength;
        if (DecoderSetup(*State_, start.Header, start.Length, 0, 0, full ? 0 : 24000) != 1) {
            error = kUnknownMpegAudioFormat;
            return false;
        }
        GetOutputFormat(*State_, Format_);
        ReadGap(start, seekable);
        // An information frame carries no audio.
        if (start.InfoFrame.Kind != TMPInfoFrameKind::None) {
            Reader_.Skip(start.FrameBytes);
        }
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    error.clear();
    return true;
}

bool TStreamDecoder::AtDataEnd() const {
    return Reader_.Position() >= DataEnd_;
}

// The frame length with padding at the reader, or 0 when the bytes there are not a frame of this stream.
int32_t TStreamDecoder::CheckFrame(TMPHeader& header) const {
    return StreamFrameLength(Reader_.Data(), Start_, header);
}

void TStreamDecoder::ReadGap(const TMPStreamStart& start, bool seekable) {
    Gap_ = TMPEncoderGap{};
    DecodedSamples_ = kUnknownSamples;
    // An iTunSMPB comment in the leading tag first, so that a LAME tag, which travels with the audio
    // frames, wins. A pipe has gone past its tag by now.
    if (seekable) {
        const int64_t tagBytes = std::min<int64_t>(Info_.DataStart(), Reader_.Capacity());
        if (tagBytes >= 10) {
            Reader_.Seek(0, soFromBeginning);
            if (Reader_.NeedContiguous(static_cast<int32_t>(tagBytes))) {
                FindITunSmpb(Reader_.Data(), static_cast<size_t>(Reader_.Linear()), Gap_);
            }
            Reader_.Seek(start.DataStart, soFromBeginning);
        }
        if (!Reader_.NeedContiguous(start.FrameBytes)) {
            throw EMPError(kUnknownMpegAudioFormat);
        }
    }
    const TMPInfoFrame& info = start.InfoFrame;
    TMPLameTag lame;
    if (info.Kind != TMPInfoFrameKind::None && info.Kind != TMPInfoFrameKind::Vbri &&
        ReadLameTag(Reader_.Data(), start.FrameBytes, info.TagOffset, lame)) {
        Gap_ = TMPEncoderGap{true, lame.EncoderDelay, lame.EncoderPadding, kUnknownSamples};
    }
    // The count is of the audio frames after the information frame.
    if (info.Frames > 0 && Format_.Channels > 0) {
        DecodedSamples_ = int64_t{info.Frames} * (Format_.SamplesPerFrame / Format_.Channels);
    }
}

int32_t TStreamDecoder::Next(uint8_t* pcm) {
    try {
        return NextFrame(pcm);
    } catch (const std::exception& e) {
        Error_ = e.what(); // a read error ends the stream, and says so
        return 0;
    }
}

int32_t TStreamDecoder::NextFrame(uint8_t* pcm) {
    for (int32_t resync = 0; resync <= kMaxResync; ++resync) {
        if (AtDataEnd() || !Reader_.NeedContiguous(4)) {
            return 0;
        }
        TMPHeader header{};
        const int32_t frameLength = CheckFrame(header);
        if (frameLength <= 0) {
            Reader_.Skip(1);
            continue;
        }
        if (!Reader_.NeedContiguous(frameLength)) {
            return 0; // a frame cut off by the end of the data ends the stream
        }
        const TMPDecodeResult result = DecodeFrame(*State_, Reader_.Data(), pcm);
        const int32_t bytes = Format_.SamplesPerFrame * Format_.BitsPerSample / 8;
        if (result.BytesConsumed < 1) {
            std::memset(pcm, 0, static_cast<size_t>(bytes)); // a refused frame plays as silence
        }
        Reader_.Skip(frameLength);
        ++Frames_;
        return bytes;
    }
    return 0;
}

} // namespace tunelo::cli
