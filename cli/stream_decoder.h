// Decodes a whole MPEG audio file held in memory, frame by frame, the way the player's decode loop
// walks a stream: first-frame search, information-frame skip, frame check and byte-wise resync.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "MP3decdr.h"
#include "MPGapless.h"

namespace tunelo::cli {

class TStreamDecoder {
public:
    TStreamDecoder();
    ~TStreamDecoder();

    // full: decode the whole bandwidth (frequency limit 0) instead of the player's 24000 Hz.
    // On failure returns false with the reason in error.
    bool Open(const uint8_t* data, size_t size, bool full, std::string& error);

    // Decodes the next frame into pcm (which holds MaxFrameBytes); returns its PCM bytes, 0 at the end.
    int32_t Next(uint8_t* pcm);

    const TMPOutputFormat& Format() const { return Format_; }
    int32_t FramesDecoded() const { return Frames_; }
    // The encoder's delay and padding, from the LAME tag or an iTunSMPB comment.
    const TMPEncoderGap& Gap() const { return Gap_; }
    // What the information frame's count says the stream decodes to, per channel; kUnknownSamples without.
    int64_t DecodedSamples() const { return DecodedSamples_; }
    static constexpr int32_t MaxFrameBytes = 5120;

private:
    int32_t CheckFrame(size_t pos, TMPHeader& header) const;
    void ReadGap(const uint8_t* frame, int32_t frameLength, int32_t tagAt);

    std::unique_ptr<TMPDecoderState> State_;
    const uint8_t* Data_ = nullptr;
    size_t Size_ = 0;
    size_t Pos_ = 0;
    uint8_t First_[4] = {};
    int32_t FreeFormatLength_ = 0; // without padding; 0 for fixed bit rates
    int32_t Frames_ = 0;
    TMPOutputFormat Format_{};
    TMPEncoderGap Gap_;
    int64_t DecodedSamples_ = kUnknownSamples;
};

} // namespace tunelo::cli
