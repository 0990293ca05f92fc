// Adding never stops early: through the Add button, a drop and Open Album every file that can be read goes
// in, in order, folders are walked in natural name order, and what could not be added is named with its
// reason in one report that leaves the window usable.
#include <QMessageBox>
#include <QTest>

#include "album_adder.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

enum class TAddWay { AddButton, Drop };

class AddingWindowTest : public WindowTest, public ::testing::WithParamInterface<TAddWay> {
protected:
    void AddAs(TAddWay way, const std::vector<std::string>& paths) {
        if (way == TAddWay::AddButton) {
            AddThroughDialog(paths);
            return;
        }
        QStringList names;
        for (const std::string& path : paths) {
            names.append(QString::fromStdString(path));
        }
        Window->FileDrop1->DropFiles(names, QPoint(5, 5));
    }
    std::string Good(const std::string& relative) const { return Copy("l2-mpeg1-44k.mp2", relative); }
    std::string Broken(const std::string& relative) const {
        WriteFile(FFolder / relative, "these are words, not MPEG audio\n");
        return (FFolder / relative).string();
    }
};

TEST_P(AddingWindowTest, ABrokenFileAmongGoodOnesIsNamedAndTheRestGoIn) {
    MakeWindow();
    const std::string one = Good("in/one.mp3");
    const std::string broken = Broken("in/broken.mp3");
    const std::string two = Good("in/two.mp3");
    const std::string three = Good("in/three.mp3");
    AddAs(GetParam(), {one, broken, two, three});
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{one, two, three}));
    EXPECT_EQ(Window->MList->rowCount(), 3);
    ASSERT_EQ(ErrorBoxes().size(), 1u) << "one report for the whole add";
    EXPECT_EQ(ErrorBoxes()[0], QStringLiteral("These files could not be added:\n") +
                                   QString::fromStdString(broken) + QStringLiteral(": not MPEG audio"));
}

TEST_P(AddingWindowTest, FoldersAreWalkedInNaturalNameOrderWithTheirAlbumFiles) {
    MakeWindow();
    const std::string track1 = Good("f/a/track1.mp2");
    const std::string track2 = Good("f/track2.mp3");
    const std::string track10 = Good("f/track10.MP3");
    const std::string layer1 = Good("f/track11.mp1");
    WriteFile(FFolder / "f/cover.jpg", "not music");
    const std::string listed = Good("elsewhere/listed.mp3");
    WriteFile(FFolder / "f/z.pls",
              "[playlist]\nFile1=../elsewhere/listed.mp3\nFile2=../elsewhere/gone.mp3\n");
    const std::string single = Good("single.mp3");
    const std::string bare = (FFolder / "bare").string();
    WriteFile(FFolder / "bare/notes.txt", "no music here");
    AddAs(GetParam(), {(FFolder / "f").string(), single, bare});
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{track1, track2, track10, layer1, listed, single}));
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_TRUE(ErrorBoxes()[0].contains(QStringLiteral("../elsewhere/gone.mp3: file not found (named in ")))
        << ErrorBoxes()[0].toStdString();
    EXPECT_TRUE(ErrorBoxes()[0].endsWith(QString::fromStdString(bare) +
                                         QStringLiteral(": a folder without MPEG audio or album files")))
        << ErrorBoxes()[0].toStdString();
    EXPECT_FALSE(ErrorBoxes()[0].contains(QStringLiteral("cover.jpg")))
        << "a folder's other files are no concern";
}

INSTANTIATE_TEST_SUITE_P(Ways, AddingWindowTest, ::testing::Values(TAddWay::AddButton, TAddWay::Drop),
                         [](const ::testing::TestParamInfo<TAddWay>& info) {
                             return info.param == TAddWay::AddButton ? std::string("AddButton")
                                                                     : std::string("Drop");
                         });

class AddReportWindowTest : public WindowTest {};

TEST_F(AddReportWindowTest, AddFolderTakesTheChosenFoldersMusicInNaturalOrder) {
    MakeWindow();
    const std::string a2 = Copy("l2-mpeg1-44k.mp2", "pick/a2.mp3");
    const std::string a10 = Copy("l2-mpeg1-44k.mp2", "pick/a10.mp3");
    const std::string deeper = Copy("l2-mpeg1-44k.mp2", "pick/b/c.mp3");
    FileAnswers.push_back(QString::fromStdString((FFolder / "pick").string()));
    Window->AddFolder1Click();
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{a2, a10, deeper}));
    ASSERT_FALSE(Calls.empty());
    EXPECT_EQ(Calls.back().Kind, QStringLiteral("FolderName"));
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(AddReportWindowTest, MissingFilesAndAlbumsAreNamedWithTheirReasons) {
    MakeWindow();
    const std::string good = Copy("l2-mpeg1-44k.mp2", "r/good.mp3");
    const std::string gone = (FFolder / "r/gone.mp3").string();
    const std::string goneAlbum = (FFolder / "r/gone.m3u8").string();
    const std::string empty = (FFolder / "r/empty.mp3").string();
    WriteFile(empty, "");
    AddThroughDialog({gone, good, goneAlbum, empty});
    EXPECT_EQ(AlbumFiles(), std::vector<std::string>{good});
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_EQ(ErrorBoxes()[0],
              QStringLiteral("These files could not be added:\n%1: file not found\n%2: file not "
                             "found\n%3: empty file")
                  .arg(QString::fromStdString(gone), QString::fromStdString(goneAlbum),
                       QString::fromStdString(empty)));
}

TEST_F(AddReportWindowTest, AnAlbumFileWithBrokenEntriesLoadsTheRestAndSaysWhich) {
    MakeWindow();
    const std::string a = Copy("l2-mpeg1-44k.mp2", "m/a.mp3");
    WriteFile(FFolder / "m/bad.mp3", "no audio");
    const std::string c = Copy("l2-mpeg1-44k.mp2", "m/c.mp3");
    const std::string album = (FFolder / "m/list.m3u8").string();
    WriteFile(album, "#EXTM3U\n#EXTINF:1,A\na.mp3\nbad.mp3\n#EXTINF:1,C\nc.mp3\n");
    FileAnswers.push_back(QString::fromStdString(album));
    Window->SelectAlbum1Click();
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{a, c}));
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_TRUE(ErrorBoxes()[0].endsWith(QStringLiteral("bad.mp3: not MPEG audio")))
        << ErrorBoxes()[0].toStdString();
    EXPECT_EQ(Window->FileNameKeep1->Name(1), QString::fromStdString(album));
}

TEST_F(AddReportWindowTest, TheReportDoesNotBlockTheWindow) {
    MakeWindow();
    Window->show();
    const std::string good = Copy("l2-mpeg1-44k.mp2", "n/good.mp3");
    WriteFile(FFolder / "n/broken.mp3", "no audio");
    // The desktop's own box this time, not the recorder.
    SetErrorBoxHook(nullptr);
    AddThroughDialog({good, (FFolder / "n/broken.mp3").string()});
    SetErrorBoxHook([](const QString& message) { ErrorBoxes().push_back(message); });

    QMessageBox* report = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            report = box;
        }
    }
    ASSERT_NE(report, nullptr) << "the add returned with the report on screen";
    EXPECT_TRUE(report->text().contains(QStringLiteral("broken.mp3: not MPEG audio")));
    EXPECT_FALSE(report->isModal());
    EXPECT_EQ(report->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(AlbumFiles(), std::vector<std::string>{good});
    // The window goes on working while the report is up.
    Window->SelectRow(1);
    Window->PLAYClick();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    Window->STOPClick();
    QPointer<QMessageBox> watched(report);
    report->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watched.isNull()) << "a closed report is deleted";
}

TEST_F(AddReportWindowTest, AVeryLongReportShowsTheFirstLinesAndKeepsTheRestInTheDetails) {
    TAddReport report;
    for (int i = 0; i < 25; ++i) {
        report.Add(QStringLiteral("/m/%1.mp3").arg(i), QStringLiteral("file not found"));
    }
    SetErrorBoxHook(nullptr);
    QMessageBox* box = report.Show(nullptr);
    SetErrorBoxHook([](const QString& message) { ErrorBoxes().push_back(message); });
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains(QStringLiteral("/m/19.mp3: file not found")));
    EXPECT_FALSE(box->text().contains(QStringLiteral("/m/20.mp3")));
    EXPECT_TRUE(box->text().endsWith(QStringLiteral("... and 5 more.")));
    EXPECT_EQ(box->detailedText(), report.Text());
    EXPECT_TRUE(report.Text().endsWith(QStringLiteral("/m/24.mp3: file not found")));
    delete box;
}

} // namespace
} // namespace tunelo::test
