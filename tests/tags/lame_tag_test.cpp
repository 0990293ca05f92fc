// The LAME extension of the information frame, read from files lame writes here, with its CRC guarding
// every byte from the frame's start.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lame_tag.h"

namespace {

using namespace tunelo;
using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/lame_tag_test_XXXXXX";
        FPath = mkdtemp(name);
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(FPath, error);
    }
    std::string Path(const std::string& name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Where "Xing" or "Info" stands in the first frame of a file lame wrote without an ID3v2 tag.
int32_t XingOffset(const Bytes& file) {
    for (int32_t offset : {13, 21, 36}) {
        if (file.size() > size_t(offset) + 4 &&
            (std::memcmp(&file[offset], "Xing", 4) == 0 || std::memcmp(&file[offset], "Info", 4) == 0)) {
            return offset;
        }
    }
    return -1;
}

struct TLameFile {
    Bytes Data;
    int32_t XingAt = -1;
};

TLameFile EncodeSine(const TempDir& dir, const std::string& lameOptions, int rate, int channels,
                     double amplitude) {
    const std::string wav = dir.Path("in.wav");
    const std::string mp3 = dir.Path("out.mp3");
    EXPECT_EQ(Run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " + wav +
                  " synth 0.5 sine 1000 vol " + std::to_string(amplitude) + " 2>/dev/null"),
              0);
    EXPECT_EQ(Run("lame --quiet --resample " + std::to_string(rate / 1000.0) + " " + lameOptions + " " + wav +
                  " " + mp3),
              0);
    TLameFile file;
    file.Data = ReadBytes(mp3);
    file.XingAt = XingOffset(file.Data);
    return file;
}

TEST(LameCrc, IsTheCrc16LameWrites) {
    // The published check value of this CRC (polynomial 0x8005 reflected, start 0) over "123456789".
    const std::string check = "123456789";
    EXPECT_EQ(LameCrc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xBB3D);
    EXPECT_EQ(LameCrc16(nullptr, 0), 0);
}

struct TLameCase {
    const char* Options;
    int Rate;
    int Channels;
};

class LameTagFromLame : public ::testing::TestWithParam<TLameCase> {};

TEST_P(LameTagFromLame, GivesLamesDelayAndAPaddingThatFillsTheLastFrame) {
    const TLameCase& c = GetParam();
    TempDir dir;
    const TLameFile file = EncodeSine(dir, c.Options, c.Rate, c.Channels, 0.5);
    ASSERT_GE(file.XingAt, 0);
    const int32_t frameLength = static_cast<int32_t>(std::min<size_t>(file.Data.size(), 1441));
    TMPLameTag tag;
    ASSERT_TRUE(ReadLameTag(file.Data.data(), frameLength, file.XingAt, tag));
    EXPECT_EQ(tag.Encoder.substr(0, 4), "LAME");
    // lame's encoder delay is 576 samples at every rate.
    EXPECT_EQ(tag.EncoderDelay, 576);
    const int32_t frameSamples = c.Rate >= 32000 ? 1152 : 576;
    const int64_t source = c.Rate / 2; // 0.5 s
    const int64_t total = source + tag.EncoderDelay + tag.EncoderPadding;
    EXPECT_EQ(total % frameSamples, 0) << "delay + music + padding fill whole frames";
    EXPECT_GE(tag.EncoderPadding, 0);
    EXPECT_LT(tag.EncoderPadding, frameSamples + 1152);
}

INSTANTIATE_TEST_SUITE_P(Encodings, LameTagFromLame,
                         ::testing::Values(TLameCase{"-b 128", 44100, 2}, TLameCase{"-V 2", 48000, 2},
                                           TLameCase{"-b 64 -m m", 22050, 1}, TLameCase{"-V 5 -m m", 8000, 1},
                                           TLameCase{"-b 96 -p", 32000, 2}),
                         [](const auto& info) {
                             return "rate" + std::to_string(info.param.Rate) +
                                    (info.param.Channels == 1 ? "_mono" : "_stereo") + "_" +
                                    std::to_string(info.index);
                         });

TEST(LameTag, ACorruptByteAnywhereBeforeItsCrcMakesTheTagUntrusted) {
    TempDir dir;
    const TLameFile file = EncodeSine(dir, "-b 128", 44100, 2, 0.5);
    ASSERT_GE(file.XingAt, 0);
    const int32_t lameAt = LameTagOffset(file.Data.data(), 417, file.XingAt);
    ASSERT_GT(lameAt, file.XingAt);
    // The frame header, the Xing frame count, the delay/padding bytes, the music CRC.
    for (int32_t at : {1, file.XingAt + 9, lameAt + 22, lameAt + 33}) {
        Bytes bad = file.Data;
        bad[size_t(at)] ^= 0x10;
        TMPLameTag tag;
        EXPECT_FALSE(ReadLameTag(bad.data(), 417, file.XingAt, tag)) << "byte " << at;
        EXPECT_EQ(tag.EncoderDelay, 0);
    }
    TMPLameTag tag;
    EXPECT_TRUE(ReadLameTag(file.Data.data(), 417, file.XingAt, tag));
    // Too short a frame for the tag.
    EXPECT_FALSE(ReadLameTag(file.Data.data(), lameAt + kLameTagSize - 1, file.XingAt, tag));
}

TEST(LameTag, CarriesTheTrackGainAndPeakLameMeasured) {
    TempDir dir;
    // A full-scale half of a sine: the peak lame measures is close to 0.5.
    const TLameFile file = EncodeSine(dir, "-b 128 --replaygain-accurate", 44100, 2, 0.5);
    ASSERT_GE(file.XingAt, 0);
    TMPLameTag tag;
    ASSERT_TRUE(ReadLameTag(file.Data.data(), 417, file.XingAt, tag));
    EXPECT_NEAR(tag.Peak, 0.5, 0.03);
    ASSERT_TRUE(tag.TrackGain.Present());
    EXPECT_EQ(tag.TrackGain.Name, 1);
    // A loud 1 kHz tone needs turning down.
    EXPECT_LT(tag.TrackGain.TenthsDb, 0);
    EXPECT_GT(tag.TrackGain.TenthsDb, -300);
}

TEST(LameTag, FindsTheExtensionAfterTheFieldsTheXingFlagsAnnounce) {
    Bytes frame(400, 0);
    std::memcpy(&frame[36], "Xing", 4);
    const struct {
        uint8_t Flags;
        int32_t Expected;
    } cases[] = {{0, 44}, {1, 48}, {3, 52}, {7, 152}, {15, 156}, {8, 48}};
    for (const auto& c : cases) {
        frame[43] = c.Flags;
        EXPECT_EQ(LameTagOffset(frame.data(), 400, 36), c.Expected) << int(c.Flags);
    }
    frame[43] = 15;
    EXPECT_EQ(LameTagOffset(frame.data(), 156 + kLameTagSize - 1, 36), -1);
}

} // namespace
