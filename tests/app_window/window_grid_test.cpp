// The album grid's Track and Length columns, the filter box (Ctrl+F, Enter, Escape) that hides rows without
// touching the album, and sorting the album by a heading with Ctrl+Z taking the sort back.
#include <QHeaderView>
#include <QShortcut>
#include <QTest>

#include "album_grid_controls.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class AlbumGridWindowTest : public WindowTest {
protected:
    // Four untagged streams of different lengths; the grid shows their file names as titles.
    void MakeAlbum() {
        MakeWindow();
        Track10 = LongStream("g/track10.mp3", 2);
        Track2 = LongStream("g/Track2.mp3", 8);
        Beta = LongStream("g/beta.mp3", 4);
        Track1 = LongStream("g/track1.mp3", 6);
        AddThroughDialog({Track10, Track2, Beta, Track1});
        ASSERT_EQ(Window->Album.MusicCount(), 4);
    }
    // The window active, as a user's is, so that its shortcuts answer.
    void Activate() {
        Window->show();
        QApplication::setActiveWindow(Window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    }
    std::vector<QString> Titles() const {
        std::vector<QString> titles;
        for (int row = 1; row <= Window->Album.MusicCount(); ++row) {
            titles.push_back(Cell(row, gcTitle));
        }
        return titles;
    }
    std::vector<QString> ShownTitles() const {
        std::vector<QString> titles;
        for (int row = 0; row < Window->MList->rowCount(); ++row) {
            if (!Window->MList->isRowHidden(row)) {
                titles.push_back(Cell(row + 1, gcTitle));
            }
        }
        return titles;
    }
    void ClickHeading(int column) {
        QHeaderView* headings = Window->MList->horizontalHeader();
        Window->MList->scrollTo(Window->MList->model()->index(0, column));
        const int x = headings->sectionViewportPosition(column) + headings->sectionSize(column) / 2;
        QTest::mouseClick(headings->viewport(), Qt::LeftButton, {}, QPoint(x, headings->height() / 2));
    }
    TAlbumGridControls& Controls() const { return *Window->GridControls; }

    std::string Track10, Track2, Beta, Track1;
};

TEST_F(AlbumGridWindowTest, TrackAndLengthColumnsShowTheStreamInformation) {
    MakeAlbum();
    QStringList headings;
    for (int column = 0; column < Window->MList->columnCount(); ++column) {
        headings.append(Window->MList->horizontalHeaderItem(column)->text());
    }
    EXPECT_EQ(headings,
              (QStringList{"Title", "Artist", "Album", "Track", "Length", "Year", "Comment", "Genre"}));
    // Each copy of the test stream adds a little over half a second.
    EXPECT_NEAR(Window->Album.Entry(1).LengthMs, 4200, 200);
    EXPECT_EQ(Cell(2, gcLength), QStringLiteral("0:04"));
    EXPECT_EQ(Cell(3, gcLength), QStringLiteral("0:02"));

    const std::string tagged = Copy("l3-id3v2.mp3", "g/tagged.mp3");
    AddThroughDialog({tagged});
    EXPECT_EQ(Cell(5, gcTrack), QString::fromStdString(Window->Album.Entry(4).Track));
    EXPECT_EQ(Cell(5, gcLength), LengthText(Window->Album.Entry(4).LengthMs));
    EXPECT_GT(Window->Album.Entry(4).LengthMs, 0);
}

struct TLengthCase {
    int32_t Ms;
    const char* Text;
};

class GridLengthTextTest : public ::testing::TestWithParam<TLengthCase> {};

TEST_P(GridLengthTextTest, ReadsAsMinutesAndSeconds) {
    EXPECT_EQ(LengthText(GetParam().Ms), QString::fromLatin1(GetParam().Text));
}

INSTANTIATE_TEST_SUITE_P(Lengths, GridLengthTextTest,
                         ::testing::Values(TLengthCase{0, ""}, TLengthCase{-5, ""}, TLengthCase{499, "0:00"},
                                           TLengthCase{500, "0:01"}, TLengthCase{59'600, "1:00"},
                                           TLengthCase{61'000, "1:01"}, TLengthCase{600'000, "10:00"},
                                           TLengthCase{3'599'000, "59:59"}, TLengthCase{3'600'000, "1:00:00"},
                                           TLengthCase{3'725'000, "1:02:05"}));

// ---- Sorting ----

struct TSortCase {
    const char* Name;
    int Column;
    std::vector<std::string> Values; // the column's value per entry
    std::vector<int32_t> Ascending;
    std::vector<int32_t> Descending;
};

class AlbumSortOrderTest : public ::testing::TestWithParam<TSortCase> {};

TEST_P(AlbumSortOrderTest, NumbersByValueTextNaturallyEmptiesLast) {
    const TSortCase& param = GetParam();
    size_t next = 0;
    TAlbum album([&](const std::string&) {
        TMusicList entry;
        const std::string& value = param.Values[next++];
        switch (param.Column) {
        case gcTrack:
            entry.Track = value;
            break;
        case gcLength:
            entry.LengthMs = value.empty() ? 0 : std::stoi(value);
            break;
        default:
            entry.Title = value.empty() ? " " : value; // a blank title, not the file name
            break;
        }
        return entry;
    });
    for (size_t i = 0; i < param.Values.size(); ++i) {
        album.AddEntry("/m/" + std::to_string(i));
    }
    EXPECT_EQ(SortedAlbumOrder(album, param.Column, false), param.Ascending);
    EXPECT_EQ(SortedAlbumOrder(album, param.Column, true), param.Descending);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, AlbumSortOrderTest,
    ::testing::Values(
        TSortCase{"Track", gcTrack, {"10/12", "3/12", "", "1", "03"}, {3, 1, 4, 0, 2}, {0, 1, 4, 3, 2}},
        TSortCase{"Length", gcLength, {"61000", "", "300", "5000", "300"}, {2, 4, 3, 0, 1}, {0, 3, 2, 4, 1}},
        TSortCase{
            "Title", gcTitle, {"track10", "Track2", "", "track1", "beta"}, {4, 3, 1, 0, 2}, {0, 1, 3, 4, 2}}),
    [](const ::testing::TestParamInfo<TSortCase>& info) { return std::string(info.param.Name); });

TEST_F(AlbumGridWindowTest, AHeadingSortsTheAlbumAgainReversesAndCtrlZTakesItBack) {
    MakeAlbum();
    Activate();
    Window->SelectRow(2); // Track2
    Window->MListDblClick();
    ASSERT_EQ(PlayingFile(), Track2);

    ClickHeading(gcTitle);
    EXPECT_EQ(Titles(), (std::vector<QString>{"beta.mp3", "track1.mp3", "Track2.mp3", "track10.mp3"}));
    EXPECT_EQ(Controls().SortColumn(), gcTitle);
    EXPECT_EQ(Window->MList->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    // The playing track is still the current one, where it went, and still the selected row.
    EXPECT_EQ(PlayingFile(), Track2);
    EXPECT_EQ(Window->Album.Entry(Window->PlayOrder.CurrentEntry()).FileName, Track2);
    EXPECT_EQ(Window->SelectedRow(), 3);
    EXPECT_EQ(Window->MP3Player1->NextFileName(), Track10) << "what follows in the new order is prepared";

    ClickHeading(gcTitle);
    EXPECT_EQ(Titles(), (std::vector<QString>{"track10.mp3", "Track2.mp3", "track1.mp3", "beta.mp3"}));
    EXPECT_EQ(Window->MList->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    ClickHeading(gcLength);
    EXPECT_EQ(Titles(), (std::vector<QString>{"track10.mp3", "beta.mp3", "track1.mp3", "Track2.mp3"}));

    // Each sort is one step back.
    QTest::keyClick(Window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Titles(), (std::vector<QString>{"track10.mp3", "Track2.mp3", "track1.mp3", "beta.mp3"}));
    QTest::keyClick(Window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Titles(), (std::vector<QString>{"beta.mp3", "track1.mp3", "Track2.mp3", "track10.mp3"}));
    QTest::keyClick(Window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Titles(), (std::vector<QString>{"track10.mp3", "Track2.mp3", "beta.mp3", "track1.mp3"}))
        << "the order the files were added in";
    EXPECT_EQ(Window->Album.Entry(Window->PlayOrder.CurrentEntry()).FileName, Track2);
    EXPECT_EQ(PlayingFile(), Track2);
    EXPECT_FALSE(Controls().UndoSort()) << "nothing more to take back";
}

TEST_F(AlbumGridWindowTest, AfterTheAlbumChangesCtrlZNoLongerReordersIt) {
    MakeAlbum();
    Controls().SortByColumn(gcTitle);
    Window->SelectRow(1);
    Window->DELClick();
    const std::vector<QString> after = Titles();
    EXPECT_FALSE(Controls().UndoSort());
    EXPECT_EQ(Titles(), after);
}

// ---- Filter ----

TEST_F(AlbumGridWindowTest, TheFilterShowsMatchingRowsOnlyAndLeavesTheAlbumAlone) {
    MakeAlbum();
    Activate();
    EXPECT_TRUE(Controls().FilterBox()->isHidden());
    const int fullHeight = Window->MList->viewport()->height();
    QTest::keyClick(Window.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(Controls().FilterBox()->isVisible());
    EXPECT_TRUE(Controls().FilterBox()->hasFocus());
    EXPECT_LT(Window->MList->viewport()->height(), fullHeight) << "the box takes room of its own";
    EXPECT_GE(Controls().FilterBox()->geometry().top(), Window->MList->viewport()->geometry().bottom());

    Window->SelectRow(3); // beta
    QTest::keyClicks(Controls().FilterBox(), QStringLiteral("TRACK1"));
    EXPECT_EQ(ShownTitles(), (std::vector<QString>{"track10.mp3", "track1.mp3"})) << "without regard to case";
    EXPECT_EQ(Window->Album.MusicCount(), 4);
    EXPECT_EQ(Window->SelectedRow(), 1) << "the hidden selection gives way to the first row shown";

    // Any column: the length column's text as well.
    Controls().FilterBox()->setText(QStringLiteral("0:03"));
    EXPECT_EQ(ShownTitles(), (std::vector<QString>{"track1.mp3"}));

    // Nothing matches: Delete has no row in sight to remove.
    Controls().FilterBox()->setText(QStringLiteral("no such text"));
    EXPECT_TRUE(ShownTitles().empty());
    Window->DELClick();
    EXPECT_EQ(Window->Album.MusicCount(), 4);

    // A new entry that does not match stays hidden; the grid's rewrite keeps the filter.
    Controls().FilterBox()->setText(QStringLiteral("beta"));
    AddThroughDialog({LongStream("g/gamma.mp3", 2)});
    EXPECT_EQ(ShownTitles(), (std::vector<QString>{"beta.mp3"}));

    QTest::keyClick(Controls().FilterBox(), Qt::Key_Escape);
    EXPECT_TRUE(Controls().FilterBox()->isHidden());
    EXPECT_TRUE(Controls().FilterBox()->text().isEmpty());
    EXPECT_EQ(ShownTitles().size(), 5u);
    EXPECT_EQ(Window->MList->viewport()->height(), fullHeight);
    EXPECT_TRUE(Window->MList->hasFocus());
}

TEST_F(AlbumGridWindowTest, EnterInTheFilterBoxPlaysTheSelectedShownEntry) {
    MakeAlbum();
    Activate();
    Window->SelectRow(1);
    Window->MListDblClick();
    ASSERT_EQ(PlayingFile(), Track10);

    Controls().ShowFilter();
    QTest::keyClicks(Controls().FilterBox(), QStringLiteral("beta"));
    QTest::keyClick(Controls().FilterBox(), Qt::Key_Return);
    EXPECT_EQ(PlayingFile(), Beta) << "the chosen entry takes over from the one playing";
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    EXPECT_EQ(Window->PlayOrder.CurrentEntry(), 2);

    Window->PAUSEClick();
    Controls().FilterBox()->setText(QStringLiteral("track2"));
    QTest::keyClick(Controls().FilterBox(), Qt::Key_Enter);
    EXPECT_EQ(PlayingFile(), Track2) << "a paused track gives way as well";
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);

    Controls().FilterBox()->setText(QStringLiteral("nothing"));
    QTest::keyClick(Controls().FilterBox(), Qt::Key_Return);
    EXPECT_EQ(PlayingFile(), Track2) << "no row in sight: nothing to play";
    // Typing Ctrl+Z in the box is the box's own undo, not a sort's.
    Controls().SortByColumn(gcTitle);
    const std::vector<QString> sorted = Titles();
    QTest::keyClick(Controls().FilterBox(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Titles(), sorted);
}

} // namespace
} // namespace tunelo::test
