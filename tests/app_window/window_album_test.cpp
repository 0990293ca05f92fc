// The album in the window: adding with tags read by the tag player, the grid, deleting, dragging rows,
// dropped files, the album menu with its dialogs, album files and the history.
#include <QTest>

#include <unistd.h>

#include "jukebox_settings.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class AlbumWindowTest : public WindowTest {
protected:
    // Four entries A, B, C, D (untagged: the grid shows their file names as titles).
    void MakeAbcd() {
        MakeWindow();
        AddThroughDialog({Copy("l2-mpeg1-44k.mp2", "abcd/A.mp3"), Copy("l2-mpeg1-44k.mp2", "abcd/B.mp3"),
                          Copy("l2-mpeg1-44k.mp2", "abcd/C.mp3"), Copy("l2-mpeg1-44k.mp2", "abcd/D.mp3")});
        ASSERT_EQ(Titles(), "ABCD");
    }

    // The first letter of each row's title.
    std::string Titles() const {
        std::string titles;
        for (int row = 1; row <= Window->Album.MusicCount(); ++row) {
            titles += Cell(row, 0).left(1).toStdString();
        }
        return titles;
    }

    void Drag(int fromRow, QPoint dropPoint) {
        Window->MListMouseDown(RowPoint(fromRow));
        Window->MListDragDrop(dropPoint);
    }
};

TEST_F(AlbumWindowTest, AddReadsTheTagsThroughTheTagPlayerOnly) {
    MakeWindow();
    EXPECT_EQ(Window->MList->rowCount(), 1) << "an empty album shows the heading and one empty row";
    EXPECT_EQ(Window->MList->horizontalHeaderItem(0)->text(), QStringLiteral("Title"));
    EXPECT_EQ(Window->MList->columnWidth(6), 120) << "Comment, after the Track and Length columns";

    const std::string playing = LongStream("play/long.mp3", 10);
    AddThroughDialog({playing});
    Window->PLAYClick();
    ASSERT_EQ(Window->MP3Player1->Status(), mpsPlaying);

    const std::string tagged = Copy("l3-id3v2.mp3", "add/tagged.mp3");
    const std::string plain = Copy("l2-mpeg1-44k.mp2", "add/plain sweep.mp2");
    AddThroughDialog({tagged, plain});

    ASSERT_EQ(Calls.size(), 2u);
    EXPECT_EQ(Calls[1].Title, QStringLiteral("Add MP3 file(s)"));
    EXPECT_EQ(Calls[1].Filter, QStringLiteral("MP3 file (*.mp3);;All file (*.*)"));
    EXPECT_EQ(Calls[1].Start, QString::fromStdString((FFolder / "play").string())) << "the last Add folder";
    EXPECT_EQ(TJukeboxSettings(FIni).LastAddPath(), (FFolder / "add").string());

    ASSERT_EQ(Window->Album.MusicCount(), 3);
    EXPECT_EQ(Cell(2, 0), QStringLiteral("Frames test"));
    EXPECT_EQ(Cell(2, 1), QStringLiteral("TUNELO"));
    EXPECT_EQ(Window->Album.Entry(1).FileName, tagged);
    EXPECT_EQ(Cell(3, 0), QStringLiteral("plain sweep.mp2"))
        << "no tags: the tag player's title is the file name";
    EXPECT_FALSE(Window->MP3Player2->IsOpen()) << "the tag player closes each file";
    EXPECT_FALSE(Window->MP3Player2->AutoPlay());

    // The album player was never touched.
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    EXPECT_EQ(Window->MP3Player1->FileName(), playing);
}

TEST_F(AlbumWindowTest, AFileThatIsNotMpegAudioIsNamedAndTheAddGoesOn) {
    MakeWindow();
    const std::string good = Copy("l2-mpeg1-44k.mp2", "x/good.mp3");
    const std::string text = (FFolder / "x/notes.mp3").string();
    WriteFile(text, "just some words, no audio at all\n");
    const std::string after = Copy("l2-mpeg1-44k.mp2", "x/after.mp3");
    AddThroughDialog({good, text, after});
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{good, after}));
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_EQ(ErrorBoxes()[0], QStringLiteral("These files could not be added:\n") +
                                   QString::fromStdString(text) + QStringLiteral(": not MPEG audio"));
    EXPECT_EQ(Window->MList->rowCount(), 2);
    EXPECT_EQ(Cell(1, 0), QStringLiteral("good.mp3"));
}

TEST_F(AlbumWindowTest, DeleteRemovesTheSelectedRowAndLeavesPlaybackAlone) {
    MakeAbcd();
    Window->SelectRow(2);
    Window->DELClick();
    EXPECT_EQ(Titles(), "ACD") << "the button removes the selected row";

    // The Delete key on the grid does the same; other keys keep the grid's own behaviour.
    Window->SelectRow(1);
    Window->PLAYClick();
    const std::string playing = PlayingFile();
    QTest::keyClick(Window->MList, Qt::Key_Down);
    EXPECT_EQ(Window->SelectedRow(), 2);
    QTest::keyClick(Window->MList, Qt::Key_Delete);
    EXPECT_EQ(Titles(), "AD");
    Window->SelectRow(1);
    QTest::keyClick(Window->MList, Qt::Key_Delete);
    EXPECT_EQ(Titles(), "D");
    EXPECT_EQ(Window->MP3Player1->FileName(), playing) << "deleting the playing entry does not stop it";

    QTest::keyClick(Window->MList, Qt::Key_Delete);
    EXPECT_EQ(Window->Album.MusicCount(), 0);
    EXPECT_EQ(Window->MList->rowCount(), 1);
    EXPECT_EQ(Cell(1, 0), QString()) << "the last row is emptied";
    Window->DELClick();
    EXPECT_TRUE(ErrorBoxes().empty()) << "Delete on an empty album does nothing";
}

TEST_F(AlbumWindowTest, DraggingARowMovesItsEntry) {
    MakeAbcd();
    Drag(4, RowPoint(1));
    EXPECT_EQ(Titles(), "DABC") << "the last entry dropped on the first row";
    Drag(2, RowPoint(4));
    EXPECT_EQ(Titles(), "DBCA") << "A dropped on the last row";
    EXPECT_EQ(Window->SelectedRow(), 4) << "the moved entry stays selected";

    // Below the last row, or on the heading: to the end, nothing lost.
    Drag(1, QPoint(RowPoint(4).x(), RowPoint(4).y() + 200));
    EXPECT_EQ(Titles(), "BCAD");
    Drag(1, QPoint(10, -5));
    EXPECT_EQ(Titles(), "CADB");

    // A press on a row makes that row the drag source.
    QTest::mousePress(Window->MList->viewport(), Qt::LeftButton, {}, RowPoint(3));
    EXPECT_EQ(Window->DragSource(), 2);
    QTest::mouseRelease(Window->MList->viewport(), Qt::LeftButton, {}, RowPoint(3));
    Window->MListDragDrop(RowPoint(1));
    EXPECT_EQ(Titles(), "DCAB");
}

TEST_F(AlbumWindowTest, DroppedFilesJoinInDropOrder) {
    MakeWindow();
    const std::string a = Copy("l2-mpeg1-44k.mp2", "drop/a.mp3");
    const std::string b = Copy("l2-mpeg1-44k.mp2", "drop/b.MP3");
    const std::string c = Copy("l2-mpeg1-44k.mp2", "drop/c.mp3");
    const std::string album = (FFolder / "drop/list.M3U").string();
    WriteFile(album, "c.mp3\r\n");
    const std::string text = (FFolder / "drop/readme.txt").string();
    WriteFile(text, "not audio\n");

    Window->FileDrop1->DropFiles({QString::fromStdString(a), QString::fromStdString(album),
                                  QString::fromStdString(text), QString::fromStdString(b)},
                                 QPoint(5, 5));
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{a, c, b}));
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_EQ(Window->FileNameKeep1->Name(1), QString::fromStdString(album))
        << "a dropped album is remembered";
}

TEST_F(AlbumWindowTest, SavedAlbumsHoldRelativePathsAndLoadFromAnotherFolder) {
    MakeWindow();
    const std::string pop = Copy("l2-mpeg1-44k.mp2", "music/pop/a.mp3");
    const std::string rock = Copy("l2-mpeg1-44k.mp2", "music/rock/b.mp3");
    AddThroughDialog({pop, rock});

    std::filesystem::create_directories(FFolder / "music/albums");
    const std::string albumPath = (FFolder / "music/albums/mine.m3u").string();
    FileAnswers.push_back(QString::fromStdString(albumPath));
    Window->SaveAlbum1Click();
    ASSERT_EQ(Calls.back().Kind, QStringLiteral("SaveFileName"));
    EXPECT_EQ(Calls.back().Title, QStringLiteral("Save album"));
    EXPECT_EQ(Calls.back().Filter, QStringLiteral("M3U file (*.m3u);;All file (*.*)"));
    EXPECT_EQ(Calls.back().DefaultSuffix, QStringLiteral("m3u"));
    EXPECT_EQ(ReadFile(albumPath),
              "#EXTM3U\r\n#EXTINF:1,a.mp3\r\n../pop/a.mp3\r\n#EXTINF:1,b.mp3\r\n../rock/b.mp3\r\n");
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_EQ(TJukeboxSettings(FIni).LastAlbumPath(), (FFolder / "music/albums").string());
    EXPECT_TRUE(Window->FileNameKeep1->Names().isEmpty()) << "saving does not touch the history";

    // Open it again from another current folder: the list is replaced by the album's entries.
    AddThroughDialog({Copy("l2-mpeg1-44k.mp2", "other.mp3")});
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path("/");
    FileAnswers.push_back(QString::fromStdString(albumPath));
    Window->SelectAlbum1Click();
    std::filesystem::current_path(before);
    EXPECT_EQ(Calls.back().Title, QStringLiteral("Open album"));
    EXPECT_EQ(Calls.back().Start, QString::fromStdString((FFolder / "music/albums").string()));
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{pop, rock}));
    EXPECT_EQ(Window->FileNameKeep1->Name(1), QString::fromStdString(albumPath));
}

TEST_F(AlbumWindowTest, AlbumFileLinesAndMissingAlbums) {
    MakeWindow();
    const std::string a = Copy("l2-mpeg1-44k.mp2", "m3u/a.mp3");
    const std::string b = Copy("l2-mpeg1-44k.mp2", "m3u/b.mp3");
    const std::string extended = (FFolder / "m3u/extended.m3u").string();
    WriteFile(extended, "#EXTM3U\r\n#EXTINF:1,Sweep A\r\na.mp3\r\n#EXTINF:1,Sweep B\r\nb.mp3\r\n");
    Window->LoadAlbum(QString::fromStdString(extended));
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{a, b}));
    EXPECT_TRUE(ErrorBoxes().empty()) << "comment lines are passed over silently";

    // Line feeds alone end lines too (albums written on this platform).
    const std::string unix = (FFolder / "m3u/unix.m3u").string();
    WriteFile(unix, "b.mp3\na.mp3\n");
    Window->FileNameKeep1Select(QString::fromStdString(unix));
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{b, a}));

    // A missing album: a message, the list and the history as they were.
    const QString missing = QString::fromStdString((FFolder / "m3u/gone.m3u").string());
    Window->FileNameKeep1Select(missing);
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_EQ(ErrorBoxes()[0], QStringLiteral("File not found. (") + missing + QStringLiteral(")"));
    EXPECT_EQ(Window->Album.MusicCount(), 0) << "choosing it cleared the list first";
    EXPECT_EQ(Window->FileNameKeep1->Names(),
              (QStringList{QString::fromStdString(unix), QString::fromStdString(extended)}));
}

TEST_F(AlbumWindowTest, TheHistoryReopensAlbumsAndCanBeCleared) {
    MakeWindow();
    const std::string a = Copy("l2-mpeg1-44k.mp2", "h/a.mp3");
    const std::string album = (FFolder / "h/one.m3u").string();
    WriteFile(album, "a.mp3\r\n");
    Window->LoadAlbum(QString::fromStdString(album));
    ASSERT_EQ(Window->FileNameKeep1->Items().size(), 1u);
    EXPECT_TRUE(Window->HistoryAlbum1->menuAction()->isEnabled());

    AddThroughDialog({a});
    ASSERT_EQ(Window->Album.MusicCount(), 2);
    Window->FileNameKeep1->Items()[0]->trigger();
    EXPECT_EQ(AlbumFiles(), std::vector<std::string>{a}) << "the chosen album replaces the list";

    ConfirmAnswer = false;
    Window->Clearrecentfile1Click();
    ASSERT_EQ(Questions.size(), 1u);
    EXPECT_EQ(Questions[0], QStringLiteral("Clear history file?"));
    EXPECT_EQ(Window->FileNameKeep1->Items().size(), 1u);

    ConfirmAnswer = true;
    Window->Clearrecentfile1Click();
    EXPECT_TRUE(Window->FileNameKeep1->Items().empty());
    EXPECT_FALSE(Window->HistoryAlbum1->menuAction()->isEnabled());
    EXPECT_FALSE(TMPIniFile(FIni).SectionExists("KeepFileNames"));

    Window->ClearAlbum1Click();
    EXPECT_EQ(Window->Album.MusicCount(), 0);
    EXPECT_EQ(Window->MList->rowCount(), 1);
}

TEST_F(AlbumWindowTest, TheAlbumMenuHoldsItsItemsInOrder) {
    MakeWindow();
    QStringList texts;
    for (const QAction* action : Window->AlbumMenu->actions()) {
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    EXPECT_EQ(texts, (QStringList{"Clear Album (&C)", "-", "Open Album (&O)", "Save Album (&S)",
                                  "Add Folder (&F)", "-", "History album (&H)", "Clear history (&L)"}));
    EXPECT_FALSE(Window->HistoryAlbum1->menuAction()->isEnabled()) << "an empty history is disabled";

    // Cancelled dialogs change nothing.
    Window->SelectAlbum1Click();
    Window->SaveAlbum1Click();
    Window->BitBtn4Click();
    Window->AddFolder1Click();
    EXPECT_EQ(Window->Album.MusicCount(), 0);
    EXPECT_EQ(TMPIniFile(FIni).ReadString("Options", "LastAlbumPath", "<none>"), "<none>");
    EXPECT_EQ(TMPIniFile(FIni).ReadString("Options", "LastAddPath", "<none>"), "<none>");
}

TEST_F(AlbumWindowTest, AFullAlbumRefusesTheNextFileWithAMessage) {
    MakeWindow();
    const std::string file = Copy("l2-mpeg1-44k.mp2", "full/a.mp3");
    QStringList names;
    for (int i = 0; i < TAlbum::kCapacity + 1; ++i) {
        names.append(QString::fromStdString(file));
    }
    OpenFileNamesAnswers.push_back(names);
    Window->BitBtn4Click();
    EXPECT_EQ(Window->Album.MusicCount(), TAlbum::kCapacity);
    EXPECT_EQ(Window->MList->rowCount(), TAlbum::kCapacity);
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_FALSE(ErrorBoxes()[0].isEmpty());
}

} // namespace
} // namespace tunelo::test
