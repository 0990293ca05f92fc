// Gapless playback: which decoded samples of a stream are music. Encoders put a delay of their own before
// the first sample and pad the last frame; a Layer III decoder adds 529 samples of its own delay. With the
// encoder's delay and padding known (from the LAME tag or an iTunes "iTunSMPB" comment) the samples a
// listener hears are exactly those of the encoder's input, as in the common decoders.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tunelo {

// The delay of the Layer III synthesis: the encoder's first sample leaves the decoder this many samples
// after the delay it reports.
constexpr int32_t kDecoderDelay = 529;
constexpr int64_t kUnknownSamples = -1;

// What an encoder reported about the start and end of its stream, in samples per channel.
struct TMPEncoderGap {
    bool Known = false;
    int32_t Delay = 0;
    int32_t Padding = 0;
    // The music's own sample count, where the source states it (iTunSMPB); kUnknownSamples otherwise.
    int64_t Samples = kUnknownSamples;
};

// The heard samples of a stream, as indexes into its decoded samples (per channel): [Begin, End).
struct TMPHeardRange {
    int64_t Begin = 0;
    int64_t End = INT64_MAX;
    bool EndKnown() const { return End != INT64_MAX; }
    int64_t Length() const { return EndKnown() ? End - Begin : kUnknownSamples; }
};

// decodedSamples: what the whole stream decodes to (per channel), kUnknownSamples when not known. The range
// never starts before 0, never reaches beyond the stream and is never negative; without a known gap it is
// the whole stream.
TMPHeardRange HeardRange(const TMPEncoderGap& gap, int64_t decodedSamples);

// The part of a frame of frameSamples samples starting at decoded sample frameStart that lies in
// [from, end): its first sample within the frame and the count (0 when none of it is heard).
struct TMPFramePart {
    int32_t First = 0;
    int32_t Count = 0;
};
TMPFramePart HeardPartOfFrame(int64_t frameStart, int32_t frameSamples, int64_t from, int64_t end);

// The iTunes "iTunSMPB" comment in an ID3v2 tag (bytes: the whole tag from its "ID3" header): delay,
// padding and sample count. false when the tag holds none or it cannot be read.
bool FindITunSmpb(const uint8_t* tag, size_t size, TMPEncoderGap& gap);

// Parses the comment's text: " 00000000 00000210 000007C4 00000000000A8A00 ...", hexadecimal fields, the
// second the delay, the third the padding, the fourth the sample count.
bool ParseITunSmpb(const char* text, size_t length, TMPEncoderGap& gap);

} // namespace tunelo
