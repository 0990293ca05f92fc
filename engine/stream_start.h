// Opening the audio of a source, shared by the player and every command of tunelo-cli so that they cannot
// disagree about where a stream starts or whether it is one: the tag reader's bounds, then the first
// frame that the frame after it confirms, and the VBR information frame (Xing, lame's Info, VBRI) if the
// first frame is one.
#pragma once

#include <atomic>
#include <cstdint>

#include "MP3decdr.h"
#include "mp3_info.h"
#include "stream_reader.h"

namespace tunelo {

constexpr const char* kUnknownMpegAudioFormat = "unknown MPEG Audio format.";

// Bytes searched for the first frame past the tag reader's data start before the source counts as no
// MPEG audio; other decoders give up after the same distance.
constexpr int32_t kMaxLeadingJunk = 65536;

enum class TMPInfoFrameKind { None, Xing, Info, Vbri };

// A first frame that carries the stream's frame and byte counts instead of audio.
struct TMPInfoFrame {
    TMPInfoFrameKind Kind = TMPInfoFrameKind::None;
    int32_t Frames = 0;    // audio frames after the information frame; 0 when not stated
    int32_t Bytes = 0;     // stated byte count; 0 when not stated
    int32_t TagOffset = 0; // where "Xing", "Info" or "VBRI" stands in the frame
};

struct TMPStreamStart {
    int64_t DataStart = 0;                         // offset of the first frame
    int64_t DataLength = TMP3Info::kUnknownLength; // from the first frame on
    uint8_t FirstHeader[4] = {};
    TMPHeader Header{};
    int32_t Length = 0;           // first frame without padding
    int32_t FrameBytes = 0;       // first frame with padding
    int32_t Bitrate = 0;          // bit/s of the first frame
    int32_t FreeFormatLength = 0; // without padding; 0 for stated bit rates
    TMPInfoFrame InfoFrame;
};

// Attaches info to the reader (which stands at the source's first byte), reads the tags (the tail too
// for a seekable source), and leaves the reader at the first confirmed frame with that whole frame
// contiguous at Data. A RIFF WAVE file whose format is not MPEG audio, or a source without a confirmed
// frame, raises EMPError(kUnknownMpegAudioFormat).
TMPStreamStart OpenAudioData(TMPStreamReader& reader, TMP3Info& info);

// The VBR information frame in the first frame (all frameBytes of it at frame), if it is one.
TMPInfoFrame ReadInfoFrame(const uint8_t* frame, int32_t frameBytes, const TMPHeader& header);

// The frame check of the decode loop: the frame length with padding of the frame at bytes (4 readable), or
// 0 when the bytes there are no frame of the stream that start opened.
int32_t StreamFrameLength(const uint8_t* bytes, const TMPStreamStart& start, TMPHeader& header);

// Counts the frames from the reader's position (the first audio frame) up to dataEnd (an absolute
// offset), passing what is no frame byte by byte as the decode loop does; -1 when cancel was set first.
// variableRate tells whether the frames' bit rates differ.
int64_t CountAudioFrames(TMPStreamReader& reader, const TMPStreamStart& start, int64_t dataEnd,
                         const std::atomic<bool>& cancel, bool& variableRate);

} // namespace tunelo
