// A WAV file whose PCM passes what a RIFF header can count becomes RF64: the data moves up behind the
// longer header without a second copy, and the ds64 chunk carries the 64-bit sizes that sox reads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "wav_header.h"

namespace {

using namespace tunelo;
using Bytes = std::vector<uint8_t>;

uint64_t LE(const Bytes& b, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | b[at + static_cast<size_t>(i)];
    }
    return value;
}

class Rf64Test : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override {
        char name[] = "/tmp/rf64_test_XXXXXX";
        Folder = mkdtemp(name);
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }
    std::string Folder;
};

// Data sizes around the rewrite's 1 MiB blocks.
TEST_P(Rf64Test, TheDataMovesBehindAnRf64HeaderThatCountsIt) {
    const size_t dataBytes = GetParam();
    TMPWaveFormat format; // 44100 Hz, stereo, 16 bits
    Bytes pcm(dataBytes);
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
    }
    const std::string path = Folder + "/long.wav";
    {
        const auto header = WavHeader(format, 0);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(header.data()), header.size());
        out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
    }
    const int handle = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(RewriteAsRf64(handle, format, dataBytes));
    ::close(handle);

    std::ifstream in(path, std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(file.size(), kRf64HeaderBytes + dataBytes);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RF64");
    EXPECT_EQ(LE(file, 4, 4), 0xFFFFFFFFu);
    EXPECT_EQ(std::string(file.begin() + 12, file.begin() + 16), "ds64");
    EXPECT_EQ(LE(file, 20, 8), file.size() - 8);
    EXPECT_EQ(LE(file, 28, 8), dataBytes);
    EXPECT_EQ(LE(file, 36, 8), dataBytes / 4);
    EXPECT_EQ(std::string(file.begin() + 48, file.begin() + 52), "fmt ");
    EXPECT_EQ(LE(file, 60, 4), 44100u);
    EXPECT_EQ(std::string(file.begin() + 72, file.begin() + 76), "data");
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + kRf64HeaderBytes));

    // sox takes the sample count from the ds64 chunk.
    const std::string count = Folder + "/count";
    ASSERT_EQ(std::system(("sox --i -s '" + path + "' > '" + count + "' 2>/dev/null").c_str()), 0);
    std::ifstream counted(count);
    uint64_t samples = 0;
    counted >> samples;
    EXPECT_EQ(samples, dataBytes / 4);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Rf64Test, ::testing::Values(4, 1 << 20, (3 << 20) + 1236));

} // namespace
