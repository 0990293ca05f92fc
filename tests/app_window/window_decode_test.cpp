// Decoding the album to WAV files through the window: folder choice, list order, the progress window,
// "Complete!", a failing file passed over, same names, ABORT.
#include <QPushButton>
#include <QSignalSpy>

#include "window_test_support.h"

namespace tunelo::test {
namespace {

class DecodeTest : public WindowTest {
protected:
    // Starts a run into the folder and records the files as they are begun.
    void Decode(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        FileAnswers.push_back(QString::fromStdString((folder / "(none)").string()));
        QObject::connect(
            Window.get(), &TPlatform::DecodeFileStarted,
            [this](const QString&, const QString& wav) { Started.push_back(wav.toStdString()); });
        Window->BitBtn1Click();
    }

    bool WaitForComplete() {
        return ProcessEventsUntil([this] { return !Messages.empty(); }, 20000);
    }

    static bool IsWav(const std::filesystem::path& path) {
        const std::string bytes = ReadFile(path);
        return bytes.size() > 44 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "WAVE") == 0;
    }

    std::vector<std::string> Started;
};

TEST_F(DecodeTest, ThreeFilesInRandomModeAreWrittenInListOrder) {
    MakeWindow();
    const std::string a = Copy("l3-id3v2.mp3", "src/a.mp3");
    const std::string b = Copy("l2-mpeg1-44k.mp2", "src/b.mp3");
    const std::string c = Copy("l3-mpeg2-22k.mp3", "src/c.mp3");
    AddThroughDialog({a, b, c});
    // A shuffled order that is not list order, so that list order has to be restored.
    Window->RAND->click();
    for (int tries = 0; tries < 100 && Window->PlayOrder.EntryAt(0) == 0; ++tries) {
        Window->RAND->click();
        Window->RAND->click();
    }
    ASSERT_TRUE(Window->PlayOrder.Random());
    ASSERT_NE(Window->PlayOrder.EntryAt(0), 0);

    const std::filesystem::path out = FFolder / "out";
    std::filesystem::create_directories(out);
    bool disabledWhileRunning = false;
    bool progressShown = false;
    QObject::connect(Window.get(), &TPlatform::DecodeFileStarted, [&] {
        disabledWhileRunning = !Window->isEnabled() && Window->Decoding;
        progressShown = Window->DecodeProgress() && Window->DecodeProgress()->isVisible() &&
                        Window->DecodeProgress()->windowTitle() == QStringLiteral("Decode to WAV");
    });
    Decode(out);
    ASSERT_EQ(Calls.back().Title, QStringLiteral("Select directory to decode"));
    EXPECT_EQ(Calls.back().Start, QString::fromStdString((FFolder / "src" / "(none)").string()))
        << "the dialog opens in the first entry's folder with its name preset";
    EXPECT_TRUE(disabledWhileRunning);
    EXPECT_TRUE(progressShown);

    ASSERT_TRUE(WaitForComplete());
    EXPECT_EQ(
        Messages,
        std::vector<QString>{
            QStringLiteral("Complete!\n\n3 files written to %1.").arg(QString::fromStdString(out.string()))});
    EXPECT_EQ(Started, (std::vector<std::string>{(out / "a.wav").string(), (out / "b.wav").string(),
                                                 (out / "c.wav").string()}));
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        EXPECT_TRUE(IsWav(out / name)) << name;
    }
    EXPECT_FALSE(Window->RAND->isChecked());
    EXPECT_FALSE(Window->PlayOrder.Random());
    EXPECT_FALSE(Window->Decoding);
    EXPECT_TRUE(Window->isEnabled());
    EXPECT_EQ(Window->DecodeProgress(), nullptr);
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(DecodeTest, AFileThatCannotBeOpenedIsReportedAndPassedOver) {
    MakeWindow();
    const std::string a = Copy("l2-mpeg1-44k.mp2", "src/a.mp3");
    const std::string b = Copy("l2-mpeg1-44k.mp2", "src/b.mp3");
    const std::string c = Copy("l2-mpeg1-44k.mp2", "src/c.mp3");
    const std::string d = Copy("l2-mpeg1-44k.mp2", "src/d.mp3");
    AddThroughDialog({a, b, c, d});
    WriteFile(b, std::string(3000, 'x'));
    std::filesystem::remove(d);

    const std::filesystem::path out = FFolder / "out";
    Decode(out);
    ASSERT_TRUE(WaitForComplete());
    // The files passed over are named with their reasons in the summary at the end, not in a box per file
    // that would hold the run up until someone answers it.
    ASSERT_EQ(Messages.size(), 1u) << "the last file failing still ends";
    const QStringList summary = Messages[0].split(QLatin1Char('\n'));
    ASSERT_EQ(summary.size(), 6) << Messages[0].toStdString();
    EXPECT_EQ(summary[0], QStringLiteral("Complete!"));
    EXPECT_EQ(summary[2], QStringLiteral("2 files written to %1.").arg(QString::fromStdString(out.string())));
    EXPECT_EQ(summary[3], QStringLiteral("2 skipped:"));
    EXPECT_EQ(summary[4], QString::fromStdString(b) + QStringLiteral(": not MPEG audio"));
    EXPECT_TRUE(summary[5].startsWith(QString::fromStdString(d) + QStringLiteral(": ")))
        << summary[5].toStdString();
    EXPECT_TRUE(ErrorBoxes().empty()) << ErrorBoxes().front().toStdString();
    EXPECT_TRUE(IsWav(out / "a.wav"));
    EXPECT_FALSE(std::filesystem::exists(out / "b.wav"));
    EXPECT_TRUE(IsWav(out / "c.wav"));
    EXPECT_TRUE(Window->isEnabled());
    EXPECT_FALSE(Window->Decoding);
}

TEST_F(DecodeTest, EntriesWithTheSameNameNeverOverwriteEachOtherInOneRun) {
    MakeWindow();
    const std::string first = Copy("l2-mpeg1-44k.mp2", "one/song.mp3");
    const std::string second = Copy("l3-mpeg2-22k.mp3", "two/song.mp3");
    const std::string third = Copy("l3-id3v2.mp3", "three/song.mp3");
    AddThroughDialog({first, second, third});
    const std::filesystem::path out = FFolder / "out";
    WriteFile(out / "song.wav", "an older file of that name");

    Decode(out);
    ASSERT_TRUE(WaitForComplete());
    EXPECT_EQ(Started, (std::vector<std::string>{(out / "song.wav").string(), (out / "song (2).wav").string(),
                                                 (out / "song (3).wav").string()}));
    EXPECT_TRUE(IsWav(out / "song.wav")) << "a file from before the run is overwritten";
    EXPECT_TRUE(IsWav(out / "song (2).wav"));
    EXPECT_TRUE(IsWav(out / "song (3).wav"));
}

TEST_F(DecodeTest, AbortEndsTheRunWithoutComplete) {
    MakeWindow();
    AddThroughDialog({LongStream("src/a.mp3", 40), LongStream("src/b.mp3", 40)});
    const std::filesystem::path out = FFolder / "out";
    Decode(out);
    ASSERT_TRUE(Window->Decoding);
    ASSERT_NE(Window->DecodeProgress(), nullptr);
    auto* abort = Window->DecodeProgress()->findChild<QPushButton*>(QStringLiteral("ABORT"));
    ASSERT_NE(abort, nullptr);
    EXPECT_EQ(abort->text(), QStringLiteral("ABORT"));
    EXPECT_EQ(abort->size(), QSize(64, 24));

    // Closing the progress window only hides it.
    Window->DecodeProgress()->close();
    EXPECT_TRUE(Window->Decoding);
    EXPECT_FALSE(Window->isEnabled());

    abort->click();
    EXPECT_FALSE(Window->Decoding);
    EXPECT_TRUE(Window->isEnabled());
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
    ProcessEventsFor(300);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Started.size(), 1u);
    // An aborted file is never left behind, under its name or as a temporary one.
    EXPECT_TRUE(std::filesystem::is_empty(out)) << "the aborted run leaves nothing in the folder";
}

TEST_F(DecodeTest, NothingHappensWithAnEmptyAlbumOrACancelledDialog) {
    MakeWindow();
    Window->BitBtn1Click();
    EXPECT_TRUE(Calls.empty()) << "no dialog for an empty album";

    AddThroughDialog({Copy("l2-mpeg1-44k.mp2", "src/a.mp3")});
    Window->BitBtn1Click();
    EXPECT_EQ(Calls.back().Kind, QStringLiteral("SaveFileName"));
    EXPECT_FALSE(Window->Decoding);
    EXPECT_TRUE(Window->isEnabled());
}

} // namespace
} // namespace tunelo::test
