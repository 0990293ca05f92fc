// tunelo-cli frames, compared with a walk written here from the standards' numbers alone, and with the
// frame positions that ffprobe reported for the same files (tests/data/*.packets).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

// ---- running the program ----

struct CliResult {
    int ExitCode = -1;
    std::vector<std::string> Lines;
    std::string Stderr;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path TempDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("tunelo-frames-test-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

CliResult RunFrames(const std::string& file) {
    const fs::path err = TempDir() / "stderr.txt";
    const std::string command =
        std::string("'") + TUNELO_CLI + "' frames '" + file + "' 2>'" + err.string() + "'";
    CliResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return result;
    }
    std::string out;
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        out.append(chunk, n);
    }
    const int status = ::pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        result.Lines.push_back(line);
    }
    result.Stderr = ReadText(err);
    return result;
}

Bytes ReadBytes(const fs::path& path) {
    const std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
}

fs::path WriteTemp(const std::string& name, const Bytes& bytes) {
    const fs::path path = TempDir() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// ---- the independent walk ----

// Bit rates in kbit/s from the standards: [MPEG-1 / MPEG-2 and 2.5][layer - 1][index].
constexpr int kRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1}},
};
constexpr int kRatesHz[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

struct Header {
    std::string Version;
    int Layer;
    int SampleRate;
    int Mode;
    int Kbps; // 0: free format
    int Padding;
    // Samples per frame, and bytes per padding slot.
    int Samples() const { return Layer == 1 ? 384 : Layer == 3 && Version != "1" ? 576 : 1152; }
    int Slot() const { return Layer == 1 ? 4 : 1; }
    // Length without padding for a stated bit rate: a whole number of slots of the frame's bits.
    int StatedLength() const {
        const int64_t bits = int64_t{Kbps} * 1000 * Samples() / SampleRate;
        return static_cast<int>(bits / 8 / Slot() * Slot());
    }
};

std::optional<Header> Decode(const uint8_t* p) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const bool mpeg1 = (p[1] & 0x08) != 0;
    const bool mpeg25 = !mpeg1 && (p[1] & 0x10) == 0;
    const int layerBits = (p[1] >> 1) & 3;
    const int rateIndex = p[2] >> 4;
    const int fsIndex = (p[2] >> 2) & 3;
    if (layerBits == 0 || rateIndex == 15 || fsIndex == 3) {
        return std::nullopt;
    }
    Header h;
    h.Version = mpeg1 ? "1" : mpeg25 ? "2.5" : "2";
    h.Layer = 4 - layerBits;
    h.SampleRate = kRatesHz[mpeg1 ? 0 : mpeg25 ? 2 : 1][fsIndex];
    h.Mode = p[3] >> 6;
    h.Kbps = kRates[mpeg1 ? 0 : 1][h.Layer - 1][rateIndex];
    h.Padding = (p[2] >> 1) & 1;
    return h;
}

std::string Line(size_t offset, const Header& h, int bitrate, int bytes) {
    std::ostringstream s;
    s << offset << '\t' << h.Version << '\t' << h.Layer << '\t' << h.SampleRate << '\t' << h.Mode << '\t'
      << bitrate << '\t' << bytes;
    return s.str();
}

// Lines as tunelo-cli frames must print them (without the count line).
std::vector<std::string> IndependentWalk(const Bytes& file) {
    std::vector<std::string> lines;
    size_t start = 0;
    if (file.size() >= 10 && file[0] == 'I' && file[1] == 'D' && file[2] == '3' &&
        std::all_of(file.begin() + 6, file.begin() + 10, [](uint8_t b) { return b < 0x80; })) {
        start = 10 + (size_t{file[6]} << 21 | size_t{file[7]} << 14 | size_t{file[8]} << 7 | file[9]) +
                ((file[5] & 0x10) ? 10 : 0);
    }
    if (start >= file.size()) {
        return lines;
    }
    const size_t windowEnd = std::min(file.size(), start + 4096);
    size_t pos = start;
    while (pos + 1 < windowEnd && !(file[pos] == 0xFF && file[pos + 1] >= 0xE0)) {
        ++pos;
    }
    if (pos + 4 > windowEnd) {
        return lines;
    }
    const std::optional<Header> first = Decode(&file[pos]);
    if (!first) {
        return lines;
    }
    const uint8_t f0 = file[pos], f1 = file[pos + 1], f2 = file[pos + 2];
    // Free format: the next header with the same first two bytes gives the length (lame's free-format
    // streams leave no doubt about it).
    int freeLength = 0;
    if (first->Kbps == 0) {
        size_t next = pos + 24;
        while (next + 3 < windowEnd && !(file[next] == f0 && file[next + 1] == f1)) {
            ++next;
        }
        if (next + 3 >= windowEnd) {
            return lines;
        }
        freeLength = static_cast<int>(next - pos) - first->Slot() * first->Padding;
    }
    int skipped = 0;
    while (pos + 4 <= file.size()) {
        const uint8_t* p = &file[pos];
        const bool compatible = p[0] == f0 && (p[1] & 0xFE) == (f1 & 0xFE) && (p[2] & 0x0C) == (f2 & 0x0C);
        const std::optional<Header> h = compatible ? Decode(p) : std::nullopt;
        if (h && (h->Kbps > 0 || freeLength > 0)) {
            const int length = h->Kbps > 0 ? h->StatedLength() : freeLength;
            const int bitrate =
                h->Kbps > 0 ? h->Kbps * 1000
                            : static_cast<int>(int64_t{freeLength} * 8 * h->SampleRate / h->Samples());
            const int bytes = length + h->Slot() * h->Padding;
            if (pos + bytes > file.size()) {
                break;
            }
            lines.push_back(Line(pos, *h, bitrate, bytes));
            pos += bytes;
            skipped = 0;
            continue;
        }
        if (skipped == 4096) {
            break;
        }
        ++skipped;
        ++pos;
    }
    return lines;
}

std::vector<std::string> WithCount(std::vector<std::string> lines) {
    lines.push_back("frames " + std::to_string(lines.size()));
    return lines;
}

void ExpectSameWalk(const fs::path& path, size_t minimumFrames) {
    SCOPED_TRACE(path.string());
    const std::vector<std::string> expected = WithCount(IndependentWalk(ReadBytes(path)));
    ASSERT_GE(expected.size(), minimumFrames + 1);
    const CliResult result = RunFrames(path.string());
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Stderr, "");
    ASSERT_EQ(result.Lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(result.Lines[i], expected[i]) << "line " << i;
    }
}

// ---- the ffprobe oracle ----

struct Frame {
    size_t Offset;
    size_t Bytes;
};

std::vector<Frame> FramesOf(const CliResult& result) {
    std::vector<Frame> frames;
    for (const std::string& line : result.Lines) {
        std::istringstream s(line);
        std::vector<std::string> fields;
        for (std::string f; std::getline(s, f, '\t');) {
            fields.push_back(f);
        }
        if (fields.size() == 7) {
            frames.push_back({std::stoul(fields[0]), std::stoul(fields[6])});
        }
    }
    return frames;
}

bool IsInformationFrame(const Bytes& file, const Frame& frame) {
    const std::string text(file.begin() + static_cast<long>(frame.Offset),
                           file.begin() + static_cast<long>(frame.Offset + frame.Bytes));
    return text.find("Xing") != std::string::npos || text.find("Info") != std::string::npos;
}

// ffprobe lists the frames as packets; it leaves out a leading Xing frame and counts bytes it skipped to
// the packet after them, so packets and frames are compared by where they end.
void ExpectFramesEndWhereFfprobeSaysTheyEnd(const std::string& name) {
    SCOPED_TRACE(name);
    const fs::path data = fs::path(TUNELO_TEST_DATA);
    const fs::path stem = data / fs::path(name).stem();
    std::ifstream packets(stem.string() + ".packets");
    ASSERT_TRUE(packets) << "no .packets file next to " << name;
    std::set<size_t> packetEnds;
    for (size_t offset = 0, size = 0; packets >> offset >> size;) {
        packetEnds.insert(offset + size);
    }
    ASSERT_GE(packetEnds.size(), 8u);

    const Bytes file = ReadBytes(data / name);
    const CliResult result = RunFrames((data / name).string());
    const std::vector<Frame> frames = FramesOf(result);
    std::set<size_t> frameEnds;
    for (size_t i = 0; i < frames.size(); ++i) {
        const size_t end = frames[i].Offset + frames[i].Bytes;
        frameEnds.insert(end);
        if (packetEnds.count(end) == 0) {
            EXPECT_EQ(i, 0u) << "frame at " << frames[i].Offset << " is not a packet of ffprobe";
            EXPECT_TRUE(IsInformationFrame(file, frames[i])) << "frame at " << frames[i].Offset;
        }
    }
    for (size_t end : packetEnds) {
        EXPECT_EQ(frameEnds.count(end), 1u) << "ffprobe packet ending at " << end << " not listed";
    }
}

// ---- the tests ----

const char* const kDataFiles[] = {
    "l3-mpeg1-44k-vbr.mp3", "l3-mpeg1-32k-mono-crc.mp3", "l3-mpeg2-22k.mp3",
    "l3-mpeg25-11k.mp3",    "l2-mpeg1-44k.mp2",          "l2-mpeg2-22k.mp2",
    "l3-junk100.mp3",       "l3-garbage3000.mp3",        "l3-id3v2.mp3",
};

TEST(FramesCommand, AgreesWithAnIndependentWalkOnEncodedFiles) {
    for (const char* name : kDataFiles) {
        ExpectSameWalk(fs::path(TUNELO_TEST_DATA) / name, 8);
    }
    ExpectSameWalk(fs::path(TUNELO_TEST_DATA) / "l3-mpeg1-freeformat.mp3", 8);
}

TEST(FramesCommand, FramesEndWhereFfprobeFoundThem) {
    for (const char* name : kDataFiles) {
        ExpectFramesEndWhereFfprobeSaysTheyEnd(name);
    }
}

TEST(FramesCommand, WalksTheLayerIConformanceStreams) {
    for (int i = 1; i <= 6; ++i) {
        const fs::path path = fs::path(TUNELO_CONFORMANCE) / ("l1-fl" + std::to_string(i) + ".bit");
        ExpectSameWalk(path, 49);
        // These streams hold nothing but frames: 49 of them (as mpg123 counts), covering every byte.
        const CliResult result = RunFrames(path.string());
        ASSERT_FALSE(result.Lines.empty());
        EXPECT_EQ(result.Lines.back(), "frames 49") << path;
        size_t total = 0;
        for (const Frame& f : FramesOf(result)) {
            EXPECT_EQ(f.Offset, total) << path;
            total += f.Bytes;
        }
        EXPECT_EQ(total, fs::file_size(path)) << path;
    }
}

TEST(FramesCommand, KnownLinesOfTheDataFiles) {
    const fs::path data(TUNELO_TEST_DATA);
    CliResult r = RunFrames((data / "l3-junk100.mp3").string());
    ASSERT_GE(r.Lines.size(), 2u);
    EXPECT_EQ(r.Lines[0], "100\t1\t3\t44100\t1\t128000\t417");
    EXPECT_EQ(r.Lines[1], "517\t1\t3\t44100\t1\t128000\t418");
    r = RunFrames((data / "l3-mpeg25-11k.mp3").string());
    ASSERT_GE(r.Lines.size(), 1u);
    EXPECT_EQ(r.Lines[0], "0\t2.5\t3\t11025\t3\t24000\t156");
    r = RunFrames((data / "l3-mpeg1-freeformat.mp3").string());
    ASSERT_GE(r.Lines.size(), 2u);
    EXPECT_EQ(r.Lines[0], "0\t1\t3\t44100\t1\t199981\t653");
    EXPECT_EQ(r.Lines.back(), "frames 13"); // as mpg123 counts them
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes DataFile(const char* name) {
    return ReadBytes(fs::path(TUNELO_TEST_DATA) / name);
}

TEST(FramesCommand, SkipsAnId3v2TagByItsDeclaredSizeWithFooter) {
    // A version 4 tag with footer: 10 + 20 + 10 bytes. Its body holds a header of another stream, which a
    // walk that skipped too little would take as the first frame.
    Bytes tag = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 20};
    Bytes body(20, 0);
    body[4] = 0xFF;
    body[5] = 0xFD;
    body[6] = 0x94;
    Bytes footer = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 0, 20};
    const fs::path path = WriteTemp("footer.mp3", Concat({tag, body, footer, DataFile("l3-mpeg2-22k.mp3")}));
    ExpectSameWalk(path, 8);
    const CliResult result = RunFrames(path.string());
    ASSERT_FALSE(result.Lines.empty());
    EXPECT_EQ(result.Lines[0].substr(0, 5), "40\t2\t");

    // A tag that claims more bytes than the file has: no frames.
    Bytes huge = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    const CliResult none = RunFrames(WriteTemp("hugetag.mp3", Concat({huge, DataFile("l3-mpeg2-22k.mp3")})));
    EXPECT_EQ(none.ExitCode, 0);
    EXPECT_EQ(none.Lines, std::vector<std::string>{"frames 0"});
}

TEST(FramesCommand, SkipsAtMost4096BytesInARow) {
    const Bytes plain = DataFile("l2-mpeg1-44k.mp2");
    // The first two frames of this file are 417 and 418 bytes long.
    const Bytes head(plain.begin(), plain.begin() + 835);
    const Bytes tail(plain.begin() + 835, plain.end());
    const fs::path passable = WriteTemp("gap4096.mp2", Concat({head, Bytes(4096, 0), tail}));
    ExpectSameWalk(passable, 10);
    EXPECT_EQ(RunFrames(passable.string()).Lines.back(), "frames 20");

    const fs::path tooLong = WriteTemp("gap4097.mp2", Concat({head, Bytes(4097, 0), tail}));
    ExpectSameWalk(tooLong, 2);
    EXPECT_EQ(RunFrames(tooLong.string()).Lines.back(), "frames 2");
}

TEST(FramesCommand, LaterFramesMustBelongToTheFirstFramesStream) {
    // The same frames again but marked 48000 Hz are not compatible with the 44100 Hz ones before them:
    // the walk passes them byte by byte and gives up after 4096 bytes.
    const Bytes plain = DataFile("l2-mpeg1-44k.mp2");
    Bytes other = plain;
    for (size_t i = 0; i + 3 < other.size(); ++i) {
        if (other[i] == 0xFF && other[i + 1] == plain[1]) {
            other[i + 2] = static_cast<uint8_t>((other[i + 2] & ~0x0C) | 0x04);
        }
    }
    const fs::path path = WriteTemp("mixed.mp2", Concat({plain, other}));
    ExpectSameWalk(path, 20);
    EXPECT_EQ(RunFrames(path.string()).Lines.back(), "frames 20");
}

TEST(FramesCommand, AFrameCutOffByTheEndOfTheFileEndsTheWalk) {
    Bytes file = DataFile("l3-mpeg2-22k.mp3");
    file.resize(file.size() - 10);
    const fs::path path = WriteTemp("cut.mp3", file);
    ExpectSameWalk(path, 8);
    EXPECT_EQ(RunFrames(path.string()).Lines.back(), "frames 21");
}

TEST(FramesCommand, FilesWithoutFramesListNone) {
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"empty.mp3", {}},
        {"text.mp3", Bytes(5000, 'x')},
        {"short.mp3", {0xFF, 0xFB, 0x90}},
        // The first frame lies beyond the distance other decoders search too.
        {"far.mp3", Concat({Bytes(65537, 0), DataFile("l3-mpeg2-22k.mp3")})},
    };
    for (const auto& [name, bytes] : files) {
        const CliResult result = RunFrames(WriteTemp(name, bytes));
        EXPECT_EQ(result.ExitCode, 0) << name;
        EXPECT_EQ(result.Lines, std::vector<std::string>{"frames 0"}) << name;
        EXPECT_EQ(result.Stderr, "") << name;
    }
}

TEST(FramesCommand, AFirstFrameBehindADamagedHeaderOrJunkIsFoundByTheFrameThatFollowsIt) {
    const Bytes audio = DataFile("l3-mpeg2-22k.mp3");
    const std::vector<std::string> bare = RunFrames(WriteTemp("bare.mp3", audio)).Lines;
    ASSERT_EQ(bare.back(), "frames 22");
    struct TCase {
        const char* Name;
        Bytes Before;
    };
    const std::vector<TCase> cases = {
        {"badfirst.mp3", {0xFF, 0xE0, 0x90, 0x64}},            // a reserved layer
        {"fakeheader.mp3", {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0}}, // a frame that no header follows
        {"late.mp3", Bytes(4096, 0)},
        {"later.mp3", Bytes(16000, 0xFF)},
        {"far.mp3", Bytes(65000, 0)},
    };
    for (const TCase& c : cases) {
        const CliResult result = RunFrames(WriteTemp(c.Name, Concat({c.Before, audio})).string());
        EXPECT_EQ(result.ExitCode, 0) << c.Name;
        ASSERT_EQ(result.Lines.size(), bare.size()) << c.Name;
        EXPECT_EQ(result.Lines.front(), std::to_string(c.Before.size()) + bare.front().substr(1)) << c.Name;
        EXPECT_EQ(result.Lines.back(), "frames 22") << c.Name;
    }
}

TEST(FramesCommand, AnUnreadableFileIsOneErrorLineAndExitCode1) {
    for (const fs::path& path : {TempDir() / "does-not-exist.mp3", TempDir()}) {
        const CliResult result = RunFrames(path.string());
        EXPECT_EQ(result.ExitCode, 1) << path;
        EXPECT_TRUE(result.Lines.empty()) << path;
        EXPECT_NE(result.Stderr.find(path.string()), std::string::npos) << result.Stderr;
        EXPECT_EQ(std::count(result.Stderr.begin(), result.Stderr.end(), '\n'), 1) << result.Stderr;
    }
}

} // namespace
