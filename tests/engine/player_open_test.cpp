// Opening: the stream parameters of the test files, VBR information frames (Xing, lame's Info, VBRI) and
// the playing time, junk before the first frame, files that are not MPEG audio, garbage between frames
// during playback, free format, and the tag getters.
#include "player_test_support.h"

namespace {

using namespace playertest;

struct Expected {
    const char* File;
    int32_t Layer;
    int32_t Version;
    int32_t SampleRate;
    int32_t Channels;
    int32_t BitRate;
    int32_t DataStart;
};

TEST(PlayerOpen, TheTestFilesOpenWithTheirStreamParameters) {
    const Expected files[] = {
        {"l3-mpeg1-44k-vbr.mp3", 3, 1, 44100, 2, 0, 417}, // Xing frame skipped
        // lame's Info frame marks a constant bit rate: skipped, and the bit rate stays.
        {"l3-mpeg1-32k-mono-crc.mp3", 3, 1, 32000, 1, 64000, 288},
        {"l3-id3v2.mp3", 3, 1, 32000, 2, 96000, 141 + 432}, // ID3v2 tag and Info frame
        {"l3-mpeg2-22k.mp3", 3, 2, 22050, 2, 48000, 0},
        {"l3-mpeg25-11k.mp3", 3, 3, 11025, 1, 24000, 0},
        {"l3-junk100.mp3", 3, 1, 44100, 2, 128000, 100},
        {"l2-mpeg1-44k.mp2", 2, 1, 44100, 2, 128000, 0},
        {"l2-mpeg2-22k.mp2", 2, 2, 22050, 1, 64000, 0},
    };
    TMP3Player player;
    for (const Expected& e : files) {
        SCOPED_TRACE(e.File);
        OpenQuietly(player, DataFile(e.File));
        ASSERT_TRUE(player.IsOpen());
        EXPECT_EQ(player.Layer(), e.Layer);
        EXPECT_EQ(player.Version(), e.Version);
        EXPECT_EQ(player.SampleRate(), e.SampleRate);
        EXPECT_EQ(player.Channels(), e.Channels);
        EXPECT_EQ(player.BitRate(), e.BitRate);
        EXPECT_EQ(player.DataStart(), e.DataStart);
        EXPECT_EQ(player.Status(), mpsStopped);
        EXPECT_EQ(player.FramePositions(), std::vector<int64_t>{e.DataStart});
    }
}

TEST(PlayerOpen, AXingFrameGivesThePlayingTimeFromItsFrameCountAndIsNeverDecoded) {
    const std::string path = DataFile("l3-mpeg1-44k-vbr.mp3");
    const Bytes bytes = ReadBytes(path);
    const int32_t frameCount = static_cast<int32_t>(BE32(bytes, 36 + 8));
    const int32_t byteCount = static_cast<int32_t>(BE32(bytes, 36 + 12));
    ASSERT_EQ(frameCount, 21);
    TMP3Player player;
    OpenQuietly(player, path);
    // The count is of the audio frames: the information frame is not one of them.
    EXPECT_EQ(player.TotalPcmBytes(), frameCount * 4608);
    EXPECT_EQ(player.DataLength(), byteCount - 417);
    // lame's tag follows the Xing fields (flags 15: 120 bytes); its delay and padding make the 21 frames
    // the encoder's input exactly, less the decoder's delay at the start, plus it at the end.
    const size_t lame = 36 + 120;
    const int32_t delay = (bytes[lame + 21] << 4) | (bytes[lame + 22] >> 4);
    const int32_t padding = ((bytes[lame + 22] & 0x0F) << 8) | bytes[lame + 23];
    const int32_t heard = frameCount * 1152 - delay - padding;
    EXPECT_EQ(player.ExactSamples(), heard);
    EXPECT_EQ(player.Duration(), heard * 1000 / 44100);

    TempDir dir;
    const Bytes wav = PlayToWav(player, path, dir.Path("vbr.wav"));
    // 21 audio frames follow the Xing frame (ffprobe lists 21 packets); what is heard of them is written.
    EXPECT_EQ(wav.size(), 44u + size_t(heard) * 4u);
}

TEST(PlayerOpen, AXingFrameCountOfOneGivesOneFramesPlayingTime) {
    Bytes bytes = ReadBytes(DataFile("l3-mpeg1-44k-vbr.mp3"));
    PutBE32(bytes, 36 + 8, 1);
    TempDir dir;
    TMP3Player player;
    OpenQuietly(player, dir.Write("one.mp3", bytes));
    EXPECT_EQ(player.TotalPcmBytes(), 4608);
    EXPECT_EQ(player.BitRate(), 0);
    EXPECT_EQ(player.Duration(), 26);
}

TEST(PlayerOpen, LamesInfoTagInAProtectedFrameIsFoundWithoutTheCrcWord) {
    const std::string path = DataFile("l3-mpeg1-32k-mono-crc.mp3");
    TMP3Player player;
    OpenQuietly(player, path);
    // 13 audio frames of 1152 mono samples at 32000 Hz follow the Info frame.
    EXPECT_EQ(player.TotalPcmBytes(), 13 * 2304);
    // Its LAME tag (whose CRC holds) trims the 13 frames to the 0.4 s lame was given.
    EXPECT_EQ(player.ExactSamples(), 12800);
    EXPECT_EQ(player.Duration(), 400);
    TempDir dir;
    const Bytes wav = PlayToWav(player, path, dir.Path("crc.wav"));
    EXPECT_EQ(wav.size(), 44u + 12800u * 2u);
}

TEST(PlayerOpen, AVbriFrameInAnMpeg1StereoFileIsFoundAtOffset36AndSkipped) {
    Bytes bytes = RepeatedStream(2);
    const std::vector<FrameSpan> frames = FixedRateFrames(bytes, 0);
    const size_t first = frames[0].Length;
    std::copy_n("VBRI", 4, bytes.begin() + 36);
    PutBE32(bytes, 36 + 10, static_cast<uint32_t>(bytes.size()));
    PutBE32(bytes, 36 + 14, static_cast<uint32_t>(frames.size() - 1));
    TempDir dir;
    const std::string path = dir.Write("vbri.mp3", bytes);
    TMP3Player player;
    OpenQuietly(player, path);
    EXPECT_EQ(player.BitRate(), 0);
    EXPECT_EQ(player.DataStart(), static_cast<int32_t>(first));
    EXPECT_EQ(player.DataLength(), static_cast<int32_t>(bytes.size() - first));
    EXPECT_EQ(player.TotalPcmBytes(), static_cast<int64_t>((frames.size() - 1) * 4608));
    const Bytes wav = PlayToWav(player, path, dir.Path("vbri.wav"));
    EXPECT_EQ(wav.size(), 44u + (frames.size() - 1) * 4608u);
}

TEST(PlayerOpen, JunkBeforeTheFirstFrameMovesTheDataStart) {
    const std::string path = DataFile("l3-junk100.mp3");
    const int32_t size = static_cast<int32_t>(ReadBytes(path).size());
    TMP3Player player;
    OpenQuietly(player, path);
    EXPECT_EQ(player.DataStart(), 100);
    EXPECT_EQ(player.DataLength(), size - 100);
    EXPECT_EQ(player.Duration(), static_cast<int32_t>(int64_t{size - 100} * 8 * 1000 / 128000));
}

TEST(PlayerOpen, AConstantBitRateFileTakesItsPlayingTimeFromItsLength) {
    Bytes bytes = RepeatedStream(200);
    ASSERT_GE(bytes.size(), 1000000u);
    bytes.resize(1000000);
    TempDir dir;
    TMP3Player player;
    OpenQuietly(player, dir.Write("million.mp3", bytes));
    EXPECT_EQ(player.DataLength(), 1000000);
    EXPECT_EQ(player.Duration(), 62500);
}

TEST(PlayerOpen, DataThatIsNotMpegAudioFailsAndLeavesNoFileOpen) {
    TempDir dir;
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"empty.mp3", {}},
        {"text.mp3", Bytes{'h', 'e', 'l', 'l', 'o', '\n'}},
        {"garbage.mp3", Garbage(10000)},
        {"cut.mp3", Bytes{0xFF, 0xFB, 0x90}},
        {"reserved-layer.mp3", Bytes(400, 0xFF)},
    };
    TMP3Player player;
    EventLog log(player);
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        OpenQuietly(player, DataFile("l3-mpeg2-22k.mp3"));
        ASSERT_TRUE(player.IsOpen());
        const std::string path = dir.Write(name, bytes);
        EXPECT_EQ(ErrorOf([&] { player.SetFileName(path); }), "unknown MPEG Audio format.");
        EXPECT_FALSE(player.IsOpen());
        EXPECT_EQ(player.FileName(), "");
        EXPECT_EQ(player.Status(), mpsStopped);
        EXPECT_EQ(player.SampleRate(), 0);
        EXPECT_EQ(player.Duration(), 0);
        player.Play();
        EXPECT_EQ(player.Status(), mpsStopped);
    }
    PumpFor(50);
    EXPECT_TRUE(log.EndReasons.empty());
}

TEST(PlayerOpen, AFileThatCannotBeOpenedKeepsTheOpenOne) {
    TMP3Player player;
    OpenQuietly(player, DataFile("l3-mpeg2-22k.mp3"));
    const std::string error = ErrorOf([&] { player.SetFileName("/nonexistent/file.mp3"); });
    EXPECT_NE(error.find("Cannot open file"), std::string::npos) << error;
    EXPECT_TRUE(player.IsOpen());
    EXPECT_EQ(player.SampleRate(), 22050);
}

TEST(PlayerOpen, PlaybackPassesOver4096GarbageBytesAndEndsAt4097) {
    TempDir dir;
    TMP3Player player;
    const Bytes stream = RepeatedStream(2);
    const size_t frames = FixedRateFrames(stream, 0).size();
    const Bytes passed = PlayToWav(player, dir.Write("g4096.mp3", WithGarbageAfterFrame10(stream, 4096)),
                                   dir.Path("g4096.wav"));
    EXPECT_EQ(passed.size(), 44u + frames * 4608u);
    const Bytes ended = PlayToWav(player, dir.Write("g4097.mp3", WithGarbageAfterFrame10(stream, 4097)),
                                  dir.Path("g4097.wav"));
    EXPECT_EQ(ended.size(), 44u + 10u * 4608u);
}

TEST(PlayerOpen, FramesOfAnotherSamplingFrequencyOrLayerArePassedOverAsGarbage) {
    const Bytes stream = RepeatedStream(2);
    const std::vector<FrameSpan> frames = FixedRateFrames(stream, 0);
    const size_t cut = frames[5].Offset;
    for (const char* other : {"l3-mpeg2-22k.mp3", "l2-mpeg2-22k.mp2"}) {
        SCOPED_TRACE(other);
        Bytes foreign = ReadBytes(DataFile(other));
        foreign.resize(std::min<size_t>(foreign.size(), 4000));
        Bytes bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
        bytes.insert(bytes.end(), foreign.begin(), foreign.end());
        bytes.insert(bytes.end(), stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end());
        TempDir dir;
        TMP3Player player;
        const Bytes wav = PlayToWav(player, dir.Write("mixed.mp3", bytes), dir.Path("mixed.wav"));
        EXPECT_EQ(wav.size(), 44u + frames.size() * 4608u);
    }
}

TEST(PlayerOpen, AFreeFormatStreamOpensAndPlaysEveryFrame) {
    const std::string path = DataFile("l3-mpeg1-freeformat.mp3");
    TMP3Player player;
    OpenQuietly(player, path);
    ASSERT_TRUE(player.IsOpen());
    EXPECT_EQ(player.Header().BitrateIndex, 0);
    // 653-byte frames (without padding) at 44100 Hz: 200 kbit/s.
    EXPECT_NEAR(player.BitRate(), 200000, 100);
    EXPECT_GT(player.Duration(), 250);
    TempDir dir;
    const Bytes wav = PlayToWav(player, path, dir.Path("free.wav"));
    EXPECT_EQ(wav.size(), 44u + 13u * 4608u); // mpg123 counts 13 frames
}

TEST(PlayerOpen, TagGettersAndTheFileNameAsTitle) {
    TMP3Player player;
    OpenQuietly(player, DataFile("l3-id3v2.mp3"));
    EXPECT_EQ(player.Title(), "Frames test");
    EXPECT_EQ(player.Artist(), "TUNELO");
    EXPECT_TRUE(player.FoundInfoTypes().Has(mitID3V2));

    OpenQuietly(player, DataFile("l3-mpeg2-22k.mp3"));
    EXPECT_EQ(player.Title(), "l3-mpeg2-22k.mp3");
    EXPECT_EQ(player.Artist(), "");
    EXPECT_TRUE(player.FoundInfoTypes().Empty());

    // Only RIFF tags are wanted, and there are none: the file name again.
    OpenQuietly(player, DataFile("l3-id3v2.mp3"));
    player.SetNeedInfoType(TMP3InfoType{mitRiff});
    EXPECT_EQ(player.Title(), "l3-id3v2.mp3");
    player.SetNeedInfoType(TMP3InfoType{mitID3V1, mitID3V2, mitRiff});

    player.Close();
    EXPECT_EQ(player.Title(), "");
}

} // namespace
