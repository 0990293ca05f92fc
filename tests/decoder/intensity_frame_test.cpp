// MPEG-2 intensity stereo through the whole decoder: a hand-made joint-stereo frame against a plain
// stereo frame that codes, line by line, what the standard says intensity stereo gives. The right channel
// of the plain frame carries the intensity factors as its global gain and scale factors, so both frames
// must give the same PCM. The intensity frame has a bound (the right channel codes a line in band 2), an
// illegal position, and a last band that takes the position of the band below.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "MP3decdr.h"
#include "bit_writer.h"
#include "standard_tables.h"

namespace tunelo {
namespace {

using testsupport::TBitWriter;

constexpr int kFrameBytes = 208;      // MPEG-2, 22050 Hz, 64 kbit/s, no padding
constexpr int kGlobalGain = 210 - 20; // loud, but no sample near full scale
constexpr int kIllegal = 15;          // the right channel's positions are 4 bits wide
constexpr int kBand20Position = 2;

using Spectrum = std::array<int, 576>;

int LongBandOf(int line) {
    int band = 0;
    while (line >= kSfbLongEnd[0][0][band]) {
        ++band;
    }
    return band;
}

// Table 1 codes every pair of values in -1..1: (0,0) "1", (0,1) "001", (1,0) "01", (1,1) "000", then the
// sign of each non-zero value.
void PutPairs(TBitWriter& w, const Spectrum& q, int pairs) {
    for (int p = 0; p < pairs; ++p) {
        const int x = q[2 * p];
        const int y = q[2 * p + 1];
        if (x == 0 && y == 0) {
            w.Put(1, 1);
        } else if (x == 0) {
            w.Put(0b001, 3);
        } else if (y == 0) {
            w.Put(0b01, 2);
        } else {
            w.Put(0b000, 3);
        }
        if (x != 0) {
            w.Put(x < 0, 1);
        }
        if (y != 0) {
            w.Put(y < 0, 1);
        }
    }
}

struct Channel {
    int GlobalGain = kGlobalGain;
    int ScalefacCompress = 0;
    int ScaleFactorBits = 0;          // per long band, bands 0..20
    std::array<int, 21> Factors = {}; // scale factors, or intensity positions
    Spectrum Lines = {};
    int BigValues = 0;
};

std::vector<uint8_t> BuildFrame(int mode, int modeExtension, const Channel (&channels)[2]) {
    TBitWriter main;
    int part23[2];
    for (int c = 0; c < 2; ++c) {
        const int start = main.Bits;
        for (int factor : channels[c].Factors) {
            main.Put(static_cast<uint32_t>(factor), channels[c].ScaleFactorBits);
        }
        PutPairs(main, channels[c].Lines, channels[c].BigValues);
        part23[c] = main.Bits - start;
    }
    TBitWriter w;
    w.Put(0xFFF, 12);
    w.Put(0, 1); // MPEG-2
    w.Put(1, 2); // Layer III
    w.Put(1, 1); // no CRC
    w.Put(8, 4); // 64 kbit/s
    w.Put(0, 2); // 22050 Hz
    w.Put(0, 2); // no padding, private bit
    w.Put(static_cast<uint32_t>(mode), 2);
    w.Put(static_cast<uint32_t>(modeExtension), 2);
    w.Put(0, 4);
    w.Put(0, 8); // main_data_begin
    w.Put(0, 2); // private bits
    for (int c = 0; c < 2; ++c) {
        w.Put(static_cast<uint32_t>(part23[c]), 12);
        w.Put(static_cast<uint32_t>(channels[c].BigValues), 9);
        w.Put(static_cast<uint32_t>(channels[c].GlobalGain), 8);
        w.Put(static_cast<uint32_t>(channels[c].ScalefacCompress), 9);
        w.Put(0, 1); // long blocks
        w.Put(1, 5); // table 1 in every region
        w.Put(1, 5);
        w.Put(1, 5);
        w.Put(7, 4); // region0_count
        w.Put(7, 3); // region1_count
        w.Put(0, 1); // scalefac_scale
        w.Put(0, 1); // count1 table
    }
    std::vector<uint8_t> frame = w.Bytes;
    frame.insert(frame.end(), main.Bytes.begin(), main.Bytes.end());
    EXPECT_LE(frame.size(), static_cast<size_t>(kFrameBytes));
    frame.resize(kFrameBytes, 0);
    return frame;
}

std::vector<int16_t> DecodeOne(const std::vector<uint8_t>& frame) {
    TMPHeader header{};
    EXPECT_GT(ParseHeader(frame.data(), 4, header), 0);
    auto state = std::make_unique<TMPDecoderState>();
    EXPECT_EQ(DecoderSetup(*state, header, kFrameBytes, 0, 0, 0), 1);
    std::vector<int16_t> pcm(static_cast<size_t>(state->OutputBytes) / 2);
    const TMPDecodeResult r = DecodeFrame(*state, frame.data(), reinterpret_cast<uint8_t*>(pcm.data()));
    EXPECT_EQ(r.BytesConsumed, kFrameBytes);
    return pcm;
}

TEST(IntensityFrame, DecodesLikeThePlainStereoFrameThatCodesItsFactors) {
    // Left values in bands below the bound, in bands with legal and illegal positions, in band 20 and in
    // band 21 (lines 522..575).
    Spectrum left = {};
    const int lines[] = {1, 9, 20, 33, 60, 100, 150, 200, 260, 300, 340, 400, 470, 500, 530, 560, 575};
    for (int i = 0; i < static_cast<int>(std::size(lines)); ++i) {
        left[lines[i]] = i % 3 == 1 ? -1 : 1;
    }
    // Even positions from 2 on, so that every factor below the band 21 one is a whole number of scale-
    // factor steps: k = 2^(-1/2) (intensity_scale 1), left x 1, right x k^(p/2).
    std::array<int, 21> positions = {};
    for (int band = 0; band < 21; ++band) {
        positions[band] = 2 + 2 * (band % 7);
    }
    positions[2] = 0; // band 2 is below the bound: its value is the right channel's scale factor
    positions[LongBandOf(300)] = kIllegal;
    positions[20] = kBand20Position;

    Channel intensity[2];
    intensity[0].Lines = left;
    intensity[0].BigValues = 288;
    // Band 2's coded line has the same gain in both frames.
    intensity[1].GlobalGain = kGlobalGain - kBand20Position;
    intensity[1].ScalefacCompress = 2 * (4 * 36 + 4 * 6 + 4) + 1; // lengths 4, 4, 4; intensity_scale 1
    intensity[1].ScaleFactorBits = 4;
    intensity[1].Factors = positions;
    intensity[1].Lines[14] = 1; // the right channel's last coded line: the region starts at band 3
    intensity[1].BigValues = 8;

    Channel plain[2];
    plain[0] = intensity[0];
    // Global gain carries band 20's factor (also band 21's); each scale factor step of 2^(-1/2) the rest.
    plain[1].GlobalGain = kGlobalGain - kBand20Position;
    plain[1].ScalefacCompress = (5 * 3 + 3) * 16 + 3 * 4 + 3; // every length 3
    plain[1].ScaleFactorBits = 3;
    plain[1].BigValues = 288;
    for (int line = 0; line < 576; ++line) {
        const int band = LongBandOf(line);
        if (band >= 3 && positions[std::min(band, 20)] != kIllegal) {
            plain[1].Lines[line] = left[line];
        }
    }
    plain[1].Lines[14] = 1;
    for (int band = 0; band < 21; ++band) {
        plain[1].Factors[band] = band < 3 ? 0 : (positions[band] == kIllegal ? 0 : (positions[band] - 2) / 2);
    }

    const std::vector<int16_t> ours = DecodeOne(BuildFrame(1, 1, intensity));
    const std::vector<int16_t> expected = DecodeOne(BuildFrame(0, 0, plain));
    ASSERT_EQ(ours.size(), expected.size());
    int loudest = 0;
    int largestDifference = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        loudest = std::max(loudest, std::abs(static_cast<int>(expected[i])));
        largestDifference = std::max(largestDifference, std::abs(ours[i] - expected[i]));
    }
    // A frame of silence would prove nothing, and clipped samples would hide differences.
    EXPECT_GT(loudest, 1000);
    EXPECT_LT(loudest, 30000);
    EXPECT_LE(largestDifference, 1);
}

} // namespace
} // namespace tunelo
