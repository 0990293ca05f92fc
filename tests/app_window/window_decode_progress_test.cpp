// The decode run's progress window: which file is written (n of N), the file's and the run's progress,
// the time left, the equalizer's part in what is written, and the account behind the summary at the end.
// And what the equalizer's headroom means for a run: a full-scale file under full boost writes no clipped
// run of samples.
#include <QPushButton>

#include <cmath>
#include <cstdlib>

#include "decode_progress.h"
#include "pcm_checks.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DecodeProgressTest : public WindowTest {
protected:
    void Decode(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        FileAnswers.push_back(QString::fromStdString((folder / "(none)").string()));
        Window->BitBtn1Click();
    }

    TDecodeProgressWindow* Progress() const {
        return dynamic_cast<TDecodeProgressWindow*>(Window->DecodeProgress());
    }

    // The 16-bit samples of a WAV file the player wrote (canonical 44-byte header).
    static std::vector<int16_t> WavSamples(const std::filesystem::path& path) {
        const std::string bytes = ReadFile(path);
        std::vector<int16_t> samples;
        for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
            samples.push_back(static_cast<int16_t>(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8)));
        }
        return samples;
    }
};

TEST_F(DecodeProgressTest, TheWindowShowsTheFileItsProgressAndTheRunsWhileTheAppGoesOn) {
    MakeWindow();
    AddThroughDialog({LongStream("src/a.mp3", 120), LongStream("src/b.mp3", 120)});
    Decode(FFolder / "out");
    TDecodeProgressWindow* progress = Progress();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_FALSE(Window->isEnabled()) << "the main window waits for the run";
    EXPECT_EQ(progress->FileLabel->text(), QStringLiteral("Writing 1 of 2: a.wav"));
    EXPECT_EQ(progress->EqualizerLabel->text(),
              QStringLiteral("Equalizer off: the files are written unequalized."));
    auto* abort = progress->findChild<QPushButton*>(QStringLiteral("ABORT"));
    ASSERT_NE(abort, nullptr);
    bool abortCaption = false;
    for (const QLabel* label : progress->findChildren<QLabel*>()) {
        abortCaption = abortCaption || label->text() == QStringLiteral("Click to abort...");
    }
    EXPECT_TRUE(abortCaption);

    // Part of the first file is written: its bar shows it, and the run's bar half of it.
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            progress->Refresh();
            return progress->FileBar->value() > 0;
        },
        20000));
    if (progress->FileLabel->text().startsWith(QStringLiteral("Writing 1"))) {
        EXPECT_NEAR(progress->RunBar->value(), progress->FileBar->value() / 2, 2);
    }
    // On the second file the run is at least half done.
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return progress->FileLabel->text() == QStringLiteral("Writing 2 of 2: b.wav"); }, 20000));
    progress->Refresh();
    EXPECT_GE(progress->RunBar->value(), 500);
    EXPECT_TRUE(progress->TimeLeftLabel->text().startsWith(QStringLiteral("Time left: ")))
        << progress->TimeLeftLabel->text().toStdString();
    EXPECT_EQ(progress->Written(), 1);

    abort->click();
    EXPECT_FALSE(Window->Decoding);
    EXPECT_TRUE(Window->isEnabled());
    EXPECT_TRUE(Messages.empty()) << "an aborted run ends without a summary of a run that did not complete";
}

TEST_F(DecodeProgressTest, TheRunSaysTheEqualizerShapesWhatIsWrittenAndFullBoostNeverClips) {
    const std::filesystem::path noiseWav = FFolder / "noise.wav";
    const std::filesystem::path noise = FFolder / "src" / "noise.mp3";
    std::filesystem::create_directories(noise.parent_path());
    ASSERT_EQ(Shell("sox -n -r 44100 -c 2 -b 16 " + noiseWav.string() + " synth 3 whitenoise 2>/dev/null"),
              0);
    ASSERT_EQ(Shell("lame --quiet -b 192 " + noiseWav.string() + " " + noise.string()), 0);

    MakeWindow();
    AddThroughDialog({noise.string()});
    // Every bar at the top: +20 dB on every band, and the equalizer on.
    for (QSlider* bar : Window->EQ) {
        bar->setValue(bar->minimum());
    }
    Window->SpeedButton1->click();
    ASSERT_EQ(Window->MP3Player1->EqualizerBand(0), 100);

    const std::filesystem::path out = FFolder / "out";
    Decode(out);
    ASSERT_NE(Progress(), nullptr);
    EXPECT_EQ(Progress()->EqualizerLabel->text(),
              QStringLiteral("Equalizer on: the files are written as the equalizer panel shapes them."));
    ASSERT_TRUE(ProcessEventsUntil([this] { return !Messages.empty(); }, 20000));

    const std::vector<int16_t> samples = WavSamples(out / "noise.wav");
    ASSERT_GT(samples.size(), 2u * 44100 * 2);
    EXPECT_EQ(ClippedRuns(samples, 2), 0) << "runs of two or more samples at full scale";
    EXPECT_GT(PeakLevel(samples), 16000) << "the boost is taken back to full level, not below it";
}

TEST_F(DecodeProgressTest, TheAccountCountsWrittenAndSkippedFilesWithTheirReasons) {
    TDecodeProgressWindow progress(
        5, QStringLiteral("/music/out"), false, [] {}, [] { return std::pair(2500, 10000); });
    EXPECT_EQ(progress.windowTitle(), QStringLiteral("Decode to WAV"));
    progress.FileStarted(1, QStringLiteral("/m/a.mp3"), QStringLiteral("/music/out/a.wav"));
    progress.Refresh();
    EXPECT_EQ(progress.FileBar->value(), 250);
    EXPECT_EQ(progress.RunBar->value(), 50) << "a quarter of the first of five files";
    progress.FileStarted(2, QStringLiteral("/m/b.mp3"), QStringLiteral("/music/out/b.wav"));
    EXPECT_EQ(progress.Written(), 1) << "moving on to the next file completes the one before";
    progress.FileFailed(QStringLiteral("disk full"));
    progress.FileSkipped(3, QStringLiteral("/m/c.mp3"), QStringLiteral("unknown MPEG Audio format."));
    EXPECT_EQ(progress.FileLabel->text(), QStringLiteral("Skipped 3 of 5: c.mp3"));
    progress.FileStarted(4, QStringLiteral("/m/d.mp3"), QStringLiteral("/music/out/d.wav"));
    progress.Refresh();
    EXPECT_EQ(progress.RunBar->value(), 650) << "three of five done and a quarter of the fourth";
    progress.FileStarted(5, QStringLiteral("/m/e.mp3"), QStringLiteral("/music/out/e.wav"));
    progress.RunComplete();
    EXPECT_EQ(progress.Written(), 3);
    ASSERT_EQ(progress.Skipped().size(), 2u);
    EXPECT_EQ(progress.Summary(),
              QStringLiteral("Complete!\n\n3 files written to /music/out.\n2 skipped:\n"
                             "/m/b.mp3: disk full\n/m/c.mp3: unknown MPEG Audio format."));

    TDecodeProgressWindow single(
        1, QStringLiteral("/o"), true, [] {}, [] { return std::pair(0, 0); });
    single.FileStarted(1, QStringLiteral("/m/a.mp3"), QStringLiteral("/o/a.wav"));
    single.Refresh();
    EXPECT_EQ(single.FileBar->value(), 0) << "a file of unknown length shows no progress";
    single.RunComplete();
    EXPECT_EQ(single.Summary(), QStringLiteral("Complete!\n\n1 file written to /o."));

    // Long names are shortened in the middle rather than stretching the window off the screen.
    const QString deep = QStringLiteral("/music") + QString(40, QLatin1Char('x')).repeated(8);
    TDecodeProgressWindow longNames(
        1, deep, false, [] {}, [] { return std::pair(0, 0); });
    const int width = longNames.width();
    EXPECT_LE(width, 480);
    longNames.FileStarted(1, deep + QStringLiteral("/a.mp3"), deep + QStringLiteral("/") + QString(300, 'n'));
    EXPECT_EQ(longNames.width(), width);
    EXPECT_TRUE(longNames.FileLabel->text().contains(QChar(0x2026))) << "an ellipsis stands for the middle";
    EXPECT_EQ(longNames.findChild<QLabel*>(QStringLiteral("DecodeFolder"))->toolTip(), deep);
}

struct TTimeLeftCase {
    int64_t ElapsedMs;
    double Fraction;
    std::optional<int64_t> Seconds;
};

class DecodeTimeLeft : public ::testing::TestWithParam<TTimeLeftCase> {};

TEST_P(DecodeTimeLeft, FollowsThePaceSoFar) {
    const TTimeLeftCase& c = GetParam();
    EXPECT_EQ(TDecodeProgressWindow::SecondsLeft(c.ElapsedMs, c.Fraction), c.Seconds);
}

INSTANTIATE_TEST_SUITE_P(Cases, DecodeTimeLeft,
                         ::testing::Values(TTimeLeftCase{500, 0.5, std::nullopt},
                                           TTimeLeftCase{10000, 0.005, std::nullopt},
                                           TTimeLeftCase{10000, 0.5, 10}, TTimeLeftCase{30000, 0.25, 90},
                                           TTimeLeftCase{3000, 0.75, 1}, TTimeLeftCase{5000, 1.0, 0}));

} // namespace
} // namespace tunelo::test
