// The window plays an album without a gap: three files cut from one continuous signal at points that are
// no frame boundaries, played from the first row on the recording sound device, record exactly as mpg123's
// gapless decodes of the three end to end; each track change shows the new row. Repeat one loops the
// track the same way.
#include <cstdlib>
#include <string>
#include <vector>

#include "window_test_support.h"

namespace tunelo::test {
namespace {

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<int16_t> Samples(const std::filesystem::path& path, size_t offset) {
    const std::string bytes = ReadFile(path);
    std::vector<int16_t> samples;
    for (size_t i = offset; i + 1 < bytes.size(); i += 2) {
        samples.push_back(
            static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    }
    return samples;
}

// As many samples, each within the accuracy the standard asks of a decoder.
::testing::AssertionResult SameSound(const std::vector<int16_t>& heard,
                                     const std::vector<int16_t>& reference) {
    if (heard.size() != reference.size()) {
        return ::testing::AssertionFailure() << heard.size() << " samples, expected " << reference.size();
    }
    for (size_t i = 0; i < heard.size(); ++i) {
        if (std::abs(int(heard[i]) - int(reference[i])) > 2) {
            return ::testing::AssertionFailure() << "sample " << i << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

class GaplessWindowTest : public WindowTest {
protected:
    void TearDown() override {
        WindowTest::TearDown();
        setenv("TUNELO_AUDIO", "null", 1);
    }

    // Cuts a continuous signal into tracks of these lengths (samples at 44100 Hz stereo) and encodes them
    // with lame; Reference gets mpg123's gapless decode of each.
    std::vector<std::string> CutAlbum(const std::vector<int64_t>& lengths) {
        int64_t total = 0;
        for (const int64_t length : lengths) {
            total += length;
        }
        const std::string whole = (FFolder / "whole.wav").string();
        EXPECT_EQ(Shell("sox -r 44100 -c 2 -n -b 16 " + whole + " synth " + std::to_string(total) +
                        "s sine 300-4000 vol 0.4 2>/dev/null"),
                  0);
        std::vector<std::string> files;
        int64_t start = 0;
        for (size_t i = 0; i < lengths.size(); ++i) {
            const std::string stem = (FFolder / ("part" + std::to_string(i + 1))).string();
            EXPECT_EQ(Shell("sox " + whole + " " + stem + ".wav trim " + std::to_string(start) + "s " +
                            std::to_string(lengths[i]) + "s"),
                      0);
            EXPECT_EQ(Shell("lame --quiet -b 192 " + stem + ".wav " + stem + ".mp3"), 0);
            EXPECT_EQ(Shell("mpg123 -q -s " + stem + ".mp3 > " + stem + ".pcm"), 0);
            Reference.push_back(Samples(stem + ".pcm", 0));
            files.push_back(stem + ".mp3");
            start += lengths[i];
        }
        return files;
    }

    void Record(const std::string& name) {
        Recording = FFolder / name;
        setenv("TUNELO_AUDIO", ("file:" + Recording.string()).c_str(), 1);
    }

    std::vector<std::vector<int16_t>> Reference;
    std::filesystem::path Recording;
};

TEST_F(GaplessWindowTest, AnAlbumRecordsAsItsGaplessDecodesEndToEndAndShowsEachRow) {
    MakeWindow();
    const std::vector<std::string> files = CutAlbum({100003, 80011, 90001});
    AddThroughDialog(files);
    Record("album.wav");
    std::vector<int> rows;
    QObject::connect(Window->MList, &QTableWidget::itemSelectionChanged,
                     [&] { rows.push_back(Window->SelectedRow()); });
    Window->SelectRow(1);
    rows.clear();
    Window->MListDblClick();
    ASSERT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Window->MP3Player1->Status() == mpsStopped; }, 30000));
    ProcessEventsFor(100);
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_EQ(Window->SelectedRow(), 3);
    EXPECT_NE(std::find(rows.begin(), rows.end(), 2), rows.end()) << "the second row was shown";
    std::vector<int16_t> expected;
    for (const auto& track : Reference) {
        expected.insert(expected.end(), track.begin(), track.end());
    }
    EXPECT_TRUE(SameSound(Samples(Recording, 44), expected));
    EXPECT_FALSE(std::filesystem::exists(FFolder / "album-2.wav")) << "the device was never reopened";
}

TEST_F(GaplessWindowTest, RepeatOneLoopsTheTrackWithoutAGapUntilStopped) {
    MakeWindow();
    const std::vector<std::string> files = CutAlbum({70001});
    AddThroughDialog(files);
    Window->REPONE->click();
    ASSERT_FALSE(Window->NRM->isChecked());
    Record("loop.wav");
    Window->SelectRow(1);
    Window->MListDblClick();
    const size_t once = Reference[0].size();
    // Three times round, then stop.
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return std::filesystem::exists(Recording) && Samples(Recording, 44).size() >= 3 * once; },
        30000));
    Window->STOPClick();
    const std::vector<int16_t> heard = Samples(Recording, 44);
    for (size_t round = 0; round < 3; ++round) {
        const std::vector<int16_t> part(heard.begin() + long(round * once),
                                        heard.begin() + long((round + 1) * once));
        EXPECT_TRUE(SameSound(part, Reference[0])) << "round " << round;
    }
    EXPECT_FALSE(std::filesystem::exists(FFolder / "loop-2.wav"));
}

} // namespace
} // namespace tunelo::test
