// The album grid's Track and Length columns, its filter box and sorting the album by a column heading.
//
// The filter only hides grid rows: the album, the play order and the row numbers (row 0 the heading,
// entry i row i + 1) stay as they are. A sort puts the album itself in a new order, through moves that the
// play order follows, so the playing track stays the current one; each sort is one step that Ctrl+Z takes
// back while the album is still as the sort left it.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QTableWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "album.h"

namespace tunelo {

class TPlatform;

// The grid's columns, left to right.
enum TGridColumn : int {
    gcTitle,
    gcArtist,
    gcAlbum,
    gcTrack,
    gcLength,
    gcYear,
    gcComment,
    gcGenre,
    gcColumnCount,
};

// What a cell of the grid shows for an entry.
QString GridCellText(const TMusicList& entry, int column);
// A playing time as the grid shows it: "m:ss", "h:mm:ss" from an hour; empty when unknown (0 or less).
QString LengthText(int32_t ms);

// The new order (as TAlbum::Reorder takes it) that sorts the entries by a column: numbers by value (track
// "3/12" as 3), text in natural order without regard to case; entries without a value last either way;
// equal entries keep their order.
std::vector<int32_t> SortedAlbumOrder(const TAlbum& album, int column, bool descending);

// The album grid with room below its rows for the filter box, inside its frame.
class TAlbumGridView : public QTableWidget {
public:
    TAlbumGridView(int rows, int columns, QWidget* parent);
    void SetFilterBox(QLineEdit* box);

protected:
    void updateGeometries() override;

private:
    QLineEdit* FFilterBox = nullptr;
};

class TAlbumGridControls : public QObject {
public:
    explicit TAlbumGridControls(TPlatform& window);

    QLineEdit* FilterBox() const { return FFilterBox; }
    // Ctrl+F: shows the filter box and gives it the focus.
    void ShowFilter();
    // Escape in the filter box: clears it, every row shows again, the box goes and the grid has the focus.
    void LeaveFilter();
    // Enter in the filter box: plays the selected entry, when a row is selected and shown.
    void PlaySelected();
    // Hides the rows whose text does not hold the filter text (any column, without regard to case); when the
    // selected row is hidden, the first shown row is selected instead. The grid calls it after each rewrite.
    void ApplyFilter();
    // Whether the grid shows the entry's row (the filter may hide it).
    bool EntryShown(int32_t entry) const;

    // A click on a heading: sorts the album by that column, ascending; the same heading again reverses.
    void SortByColumn(int column);
    // Ctrl+Z: takes the last sort back; false when there is none or the album has changed since.
    bool UndoSort();
    int SortColumn() const { return FSortColumn; }
    bool SortDescending() const { return FDescending; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TSortStep {
        std::vector<int32_t> Inverse;        // the order that brings the album back
        std::vector<std::string> FilesAfter; // the album as the sort left it
    };
    std::vector<std::string> AlbumFiles() const;
    void Reorder(const std::vector<int32_t>& order);

    TPlatform& FWindow;
    QLineEdit* FFilterBox = nullptr;
    int FSortColumn = -1;
    bool FDescending = false;
    std::vector<TSortStep> FUndo;
};

} // namespace tunelo
