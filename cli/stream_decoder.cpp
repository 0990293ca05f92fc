#include "stream_decoder.h"

#include <cstring>
#include <exception>

#include "MPStreamStart.h"

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
