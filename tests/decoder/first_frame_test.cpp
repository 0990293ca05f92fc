// The confirmed first-frame search: a sync pattern counts only when the frame it announces is followed
// by a compatible header, or by the end of the data (or an end tag) for a one-frame stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "MP3decdr.h"

namespace {

using namespace tunelo;
using Bytes = std::vector<uint8_t>;

// MPEG-1 Layer III, 128 kbit/s, 44100 Hz: 417 bytes, 418 with padding.
Bytes Frame(bool padded = false, uint8_t mode = 0x64) {
    Bytes frame(padded ? 418 : 417, 0);
    frame[0] = 0xFF;
    frame[1] = 0xFB;
    frame[2] = padded ? 0x92 : 0x90;
    frame[3] = mode;
    return frame;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

struct TCase {
    const char* Name;
    Bytes Block;
    bool EndOfData;
    TMPFrameSearch Result;
    int32_t Offset;
};

class FirstFrameTest : public ::testing::TestWithParam<TCase> {};

TEST_P(FirstFrameTest, FindsTheFrameThatTheNextHeaderConfirms) {
    const TCase& c = GetParam();
    TMPConfirmedFrame found{};
    EXPECT_EQ(FindConfirmedFrame(c.Block.data(), static_cast<int32_t>(c.Block.size()), c.EndOfData, found),
              c.Result);
    EXPECT_EQ(found.Offset, c.Offset);
    if (c.Result == TMPFrameSearch::Found) {
        EXPECT_EQ(found.Header.LayerCode, 1);
        EXPECT_EQ(found.Bitrate, 128000);
        EXPECT_EQ(found.FrameBytes, found.Length + found.Header.PaddingBit);
    }
}

Bytes FalseSync() {
    // A header whose frame is followed by no header: taken by a search that looks no further.
    return Cat({{0xFF, 0xFB, 0x90, 0x64}, Bytes(500, 0x11)});
}

Bytes RateFlipped() {
    Bytes frame = Frame();
    frame[2] |= 0x08; // 32 kHz: a different length, and the next header no longer matches
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, FirstFrameTest,
    ::testing::Values(
        TCase{"two_frames", Cat({Frame(), Frame()}), false, TMPFrameSearch::Found, 0},
        TCase{"padding_and_mode_may_change", Cat({Frame(), Frame(true, 0xC4), Frame()}), false,
              TMPFrameSearch::Found, 0},
        TCase{"false_sync_before_the_audio", Cat({FalseSync(), Frame(), Frame()}), false,
              TMPFrameSearch::Found, 504},
        TCase{"damaged_first_header", Cat({RateFlipped(), Frame(), Frame()}), false, TMPFrameSearch::Found,
              417},
        TCase{"one_frame_stream", Frame(), true, TMPFrameSearch::Found, 0},
        TCase{"one_frame_and_an_id3v1_tag", Cat({Frame(), Bytes{'T', 'A', 'G'}, Bytes(125, 0)}), true,
              TMPFrameSearch::Found, 0},
        TCase{"one_frame_then_junk", Cat({Frame(), Bytes(10, 0x22)}), true, TMPFrameSearch::None, 427},
        TCase{"frame_cut_by_the_block", Cat({Bytes(7, 0), Frame()}), false, TMPFrameSearch::NeedMore, 7},
        TCase{"zeros", Bytes(4096, 0), false, TMPFrameSearch::None, 4096},
        TCase{"ends_in_a_sync_byte", Cat({Bytes(99, 0), Bytes{0xFF}}), false, TMPFrameSearch::None, 99},
        TCase{"other_sampling_rate_next", Cat({Frame(), RateFlipped()}), true, TMPFrameSearch::None, 834}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
