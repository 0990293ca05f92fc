// Files damaged at the start of their audio decode as mpg123 decodes them (to within two frames): a
// flipped rate or bit-rate bit in the first header, junk or zeros before the first frame, an ID3v2 tag
// whose size is one byte off or that carries a footer flag its version does not have. What mpg123 finds
// no audio in gives none, and exit 1; so does a PCM WAV file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "cli_run.h"

namespace {

using namespace clitest;

constexpr size_t kFrameBytes = 4608; // MPEG-1 Layer III stereo, 16 bits

struct DamageCase {
    const char* Name;
    Bytes (*Make)(const Bytes& audio);
};

Bytes Id3v23(uint8_t flags, int sizeError) {
    Bytes frame = {'T', 'I', 'T', '2', 0, 0, 0, 6, 0, 0, 0, 'h', 'e', 'l', 'l', 'o'};
    frame.resize(frame.size() + 100, 0); // padding
    const uint32_t size = static_cast<uint32_t>(static_cast<int>(frame.size()) + sizeError);
    Bytes tag(10 + frame.size(), 0);
    const uint8_t header[10] = {'I',
                                'D',
                                '3',
                                3,
                                0,
                                flags,
                                static_cast<uint8_t>((size >> 21) & 0x7F),
                                static_cast<uint8_t>((size >> 14) & 0x7F),
                                static_cast<uint8_t>((size >> 7) & 0x7F),
                                static_cast<uint8_t>(size & 0x7F)};
    std::copy(std::begin(header), std::end(header), tag.begin());
    std::copy(frame.begin(), frame.end(), tag.begin() + 10);
    return tag;
}

Bytes Before(const Bytes& prefix, const Bytes& audio) {
    Bytes all = prefix;
    all.insert(all.end(), audio.begin(), audio.end());
    return all;
}

const DamageCase kDecodable[] = {
    {"rate-bits",
     [](const Bytes& a) {
         Bytes b = a;
         b[2] |= 0x08;
         return b;
     }}, // 32 kHz
    {"bitrate-bits",
     [](const Bytes& a) {
         Bytes b = a;
         b[2] ^= 0x50;
         return b;
     }},
    {"junk-5000",
     [](const Bytes& a) {
         Bytes junk(5000);
         for (size_t i = 0; i < junk.size(); ++i) {
             junk[i] = static_cast<uint8_t>(i * 7919 >> 3);
         }
         return Before(junk, a);
     }},
    {"zeros-16000", [](const Bytes& a) { return Before(Bytes(16000, 0), a); }},
    {"ones-9000", [](const Bytes& a) { return Before(Bytes(9000, 0xFF), a); }},
    {"tag-size-minus-1", [](const Bytes& a) { return Before(Id3v23(0, -1), a); }},
    {"tag-size-plus-1", [](const Bytes& a) { return Before(Id3v23(0, 1), a); }},
    {"tag-v23-footer-flag", [](const Bytes& a) { return Before(Id3v23(0x10, 0), a); }},
};

class DamagedStartTest : public ::testing::TestWithParam<DamageCase> {
protected:
    // PCM bytes mpg123 writes for the file, -1 when it fails to run.
    static long Mpg123Bytes(const fs::path& file, const fs::path& out) {
        const std::string command =
            "mpg123 -q --no-gapless -s '" + file.string() + "' > '" + out.string() + "' 2>/dev/null";
        if (std::system(command.c_str()) == -1) {
            return -1;
        }
        return static_cast<long>(fs::file_size(out));
    }

    TempDir Dir;
};

TEST_P(DamagedStartTest, DecodesWithinTwoFramesOfMpg123) {
    // A VBR stream with a Xing frame (damage to its header is damage to the information frame) and a
    // plain constant-bit-rate stream.
    for (const Bytes& audio : {ReadBytes(DataFile("l3-mpeg1-44k-vbr.mp3")), RepeatedStream(10)}) {
        const fs::path file = Dir.Path(std::string(GetParam().Name) + ".mp3");
        WriteBytes(file, GetParam().Make(audio));
        const long reference = Mpg123Bytes(file, Dir.Path("ref.raw"));
        ASSERT_GT(reference, 0) << "mpg123 decodes the damaged file";
        const CliResult run = RunCli({"decode", file.string(), Dir.Path("ours.raw").string()});
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        const long ours = static_cast<long>(fs::file_size(Dir.Path("ours.raw")));
        EXPECT_LE(std::labs(ours - reference), static_cast<long>(2 * kFrameBytes))
            << "ours " << ours << ", mpg123 " << reference;
        // The player's paths agree: info opens it, and frames walks it.
        const CliResult info = RunCli({"info", file.string()});
        EXPECT_EQ(info.ExitCode, 0) << info.Out;
        EXPECT_EQ(info.Out.find("error:"), std::string::npos) << info.Out;
    }
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedStartTest, ::testing::ValuesIn(kDecodable), [](const auto& info) {
    std::string name = info.param.Name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

TEST(DamagedStart, WhatMpg123FindsNoAudioInIsRefused) {
    TempDir dir;
    const Bytes audio = RepeatedStream(10);
    const fs::path zeros = dir.Path("zeros.mp3");
    WriteBytes(zeros, Before(Bytes(70000, 0), audio)); // past the distance decoders search
    const fs::path pcm = dir.Path("pcm.wav");
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 '" + pcm.string() + "' synth 1 sine 300").c_str()), 0);
    for (const fs::path& file : {zeros, pcm}) {
        const std::string command =
            "mpg123 -q -s '" + file.string() + "' 2>/dev/null | wc -c > '" + dir.Path("count").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        if (file == zeros) {
            EXPECT_EQ(std::stol(ReadText(dir.Path("count"))), 0) << "mpg123 finds no audio";
        }
        const CliResult run = RunCli({"decode", file.string(), dir.Path("out.wav").string()});
        EXPECT_EQ(run.ExitCode, 1) << file;
        EXPECT_EQ(run.Err, file.string() + ": unknown MPEG Audio format.\n");
        EXPECT_FALSE(fs::exists(dir.Path("out.wav")));
        const CliResult info = RunCli({"info", file.string()});
        EXPECT_EQ(info.ExitCode, 1) << info.Out;
        EXPECT_NE(info.Out.find("error: unknown MPEG Audio format."), std::string::npos) << info.Out;
    }
}

// Decoding holds a fixed amount of the input whatever its size: a stream 16 times longer takes no more
// than a few megabytes more at its peak.
TEST(DamagedStart, DecodingRunsInFlatMemory) {
    TempDir dir;
    const Bytes piece = RepeatedStream(200);
    Bytes longer;
    for (int i = 0; i < 16; ++i) {
        longer.insert(longer.end(), piece.begin(), piece.end());
    }
    WriteBytes(dir.Path("short.mp3"), piece);
    WriteBytes(dir.Path("long.mp3"), longer);
    const CliResult small = RunCli({"decode", dir.Path("short.mp3").string(), "/dev/null"});
    const CliResult large = RunCli({"decode", dir.Path("long.mp3").string(), "/dev/null"});
    ASSERT_EQ(small.ExitCode, 0) << small.Err;
    ASSERT_EQ(large.ExitCode, 0) << large.Err;
    ASSERT_GT(longer.size(), 20u * 1024 * 1024 / 4);
    EXPECT_LT(large.PeakKb - small.PeakKb, 2048) << small.PeakKb << " kB, then " << large.PeakKb << " kB";
}

} // namespace

namespace {

// info's playing time against the decoded length, within one frame: constant bit rate (with lame's Info
// frame and without), VBR with a Xing frame, and VBR without one (counted from its frame headers).
TEST(Durations, InfoIsWithinOneFrameOfTheDecodedLength) {
    TempDir dir;
    const fs::path source = dir.Path("sweep.wav");
    ASSERT_EQ(std::system(
                  ("sox -n -r 44100 -c 2 -b 16 '" + source.string() + "' synth 9.9 sine 200-3000 2>/dev/null")
                      .c_str()),
              0);
    struct TCase {
        const char* Name;
        const char* LameOptions;
    };
    for (const TCase& c : {TCase{"cbr-info.mp3", "-b 128"}, TCase{"cbr-plain.mp3", "-b 128 -t"},
                           TCase{"vbr-xing.mp3", "-V 2"}, TCase{"vbr-plain.mp3", "-V 2 -t"}}) {
        const fs::path mp3 = dir.Path(c.Name);
        ASSERT_EQ(std::system(("lame --quiet " + std::string(c.LameOptions) + " '" + source.string() + "' '" +
                               mp3.string() + "'")
                                  .c_str()),
                  0);
        const CliResult decode = RunCli({"decode", mp3.string(), dir.Path("out.raw").string()});
        ASSERT_EQ(decode.ExitCode, 0) << decode.Err;
        const double decodedMs = static_cast<double>(fs::file_size(dir.Path("out.raw"))) / 176.4;
        const CliResult info = RunCli({"info", mp3.string()});
        ASSERT_EQ(info.ExitCode, 0) << info.Out;
        const size_t at = info.Out.find("duration (ms): ");
        ASSERT_NE(at, std::string::npos) << info.Out;
        const double shownMs = std::stod(info.Out.substr(at + 15));
        EXPECT_NEAR(shownMs, decodedMs, 1152 * 1000.0 / 44100 + 1) << c.Name;
    }
}

} // namespace
