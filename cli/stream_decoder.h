// Decodes an MPEG audio source frame by frame through a fixed-size read-ahead ring, the way the player's
// decode loop walks a stream: the shared stream opening (tags, confirmed first frame, information frame),
// then the frame check and byte-wise resync. Memory stays the same whatever the source's size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "MP3decdr.h"
#include "file_stream.h"
#include "gapless.h"
#include "mp3_info.h"
#include "stream_reader.h"
#include "stream_start.h"

namespace tunelo::cli {

class TStreamDecoder {
public:
    // Bytes of read-ahead: the largest frame many times over.
    static constexpr int32_t kReaderCapacity = 65536;
    static constexpr int32_t MaxFrameBytes = 5120;

    TStreamDecoder();
    ~TStreamDecoder();

    // Reads source (not owned, standing at its first byte) from now on. full: decode the whole bandwidth
    // (frequency limit 0) instead of the player's 24000 Hz. On failure returns false with the reason.
    bool Open(TMPSourceStream& source, bool seekable, bool full, std::string& error);

    // Decodes the next frame into pcm (which holds MaxFrameBytes); returns its PCM bytes, 0 at the end.
    int32_t Next(uint8_t* pcm);
    // Why the stream ended early (a read error); empty when it ended with its data.
    const std::string& Error() const { return Error_; }

    const TMPOutputFormat& Format() const { return Format_; }
    int32_t FramesDecoded() const { return Frames_; }
    // The read-ahead ring never grows: this is all the source's bytes held at any time.
    int32_t BufferedBytesLimit() const { return Reader_.Capacity(); }
    // The encoder's delay and padding, from the LAME tag or an iTunSMPB comment.
    const TMPEncoderGap& Gap() const { return Gap_; }
    // What the information frame's count says the stream decodes to, per channel; kUnknownSamples without.
    int64_t DecodedSamples() const { return DecodedSamples_; }

private:
    int32_t NextFrame(uint8_t* pcm);
    int32_t CheckFrame(TMPHeader& header) const;
    bool AtDataEnd() const;
    // The gap from the information frame at the reader, else from an iTunSMPB comment in the leading tag.
    void ReadGap(const TMPStreamStart& start, bool seekable);

    std::unique_ptr<TMPDecoderState> State_;
    TMPStreamReader Reader_{kReaderCapacity};
    TMP3Info Info_;
    int64_t DataEnd_ = 0;
    TMPStreamStart Start_;
    int32_t Frames_ = 0;
    TMPOutputFormat Format_{};
    std::string Error_;
    TMPEncoderGap Gap_;
    int64_t DecodedSamples_ = kUnknownSamples;
};

} // namespace tunelo::cli
