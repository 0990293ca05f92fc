// The album grid MList: its columns, rewriting it from the album, the Delete key, the double click and
// reordering the album by dragging a row.
#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

#include "Unit4.h"
#include "album_grid_controls.h"

namespace tunelo {

namespace {

// What a row drag of the grid carries; other drags (files from the desktop) never look like it.
const QString kRowDragFormat = QStringLiteral("application/x-tunelo-album-row");

struct TColumn {
    const char* Heading;
    int Width;
};
// In TGridColumn's order. The columns of old keep their widths; the grid scrolls sideways to the rest.
constexpr TColumn kColumns[] = {{"Title", 128}, {"Artist", 80}, {"Album", 80},    {"Track", 44},
                                {"Length", 60}, {"Year", 48},   {"Comment", 120}, {"Genre", 80}};
static_assert(std::size(kColumns) == gcColumnCount);
constexpr int kRowHeight = 16;

void SetCell(QTableWidget& grid, int row, int column, const QString& text) {
    if (QTableWidgetItem* item = grid.item(row, column)) {
        if (item->text() != text) {
            item->setText(text);
        }
        return;
    }
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    grid.setItem(row, column, item);
}

} // namespace

void TPlatform::CreateAlbumGrid() {
    MList = new TAlbumGridView(1, static_cast<int>(std::size(kColumns)), this);
    MList->setGeometry(8, 8, 570, 180);
    QStringList headings;
    for (const TColumn& column : kColumns) {
        headings.append(QString::fromLatin1(column.Heading));
    }
    MList->setHorizontalHeaderLabels(headings);
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column) {
        MList->setColumnWidth(column, kColumns[column].Width);
    }
    MList->verticalHeader()->hide();
    MList->verticalHeader()->setMinimumSectionSize(kRowHeight);
    MList->verticalHeader()->setDefaultSectionSize(kRowHeight);
    MList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MList->horizontalHeader()->setFixedHeight(kRowHeight + 2);
    MList->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    MList->horizontalHeader()->setHighlightSections(false);
    MList->setSelectionBehavior(QAbstractItemView::SelectRows);
    MList->setSelectionMode(QAbstractItemView::SingleSelection);
    MList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MList->setShowGrid(true);
    // The style draws the grid lines a shade darker than the background colour: grey, so they show on the
    // black cells.
    QPalette colours = MList->palette();
    colours.setColor(QPalette::Window, QColor(160, 160, 160));
    MList->setPalette(colours);
    MList->setWordWrap(false);
    MList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    MList->setDragDropMode(QAbstractItemView::NoDragDrop);

    MList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(MList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { PopupMenu1->popup(MList->viewport()->mapToGlobal(point)); });

    MList->installEventFilter(this);
    MList->viewport()->installEventFilter(this);
    MList->viewport()->setAcceptDrops(true);
    MList->setAcceptDrops(true);
    // A click on a heading sorts the album; the controls make the headings clickable.
    GridControls = new TAlbumGridControls(*this);
}

void TPlatform::RefreshList() {
    const int32_t count = Album.MusicCount();
    const int columns = MList->columnCount();
    if (count == 0) {
        // The heading and one empty row.
        MList->setRowCount(1);
        for (int column = 0; column < columns; ++column) {
            SetCell(*MList, 0, column, QString());
        }
        GridControls->ApplyFilter();
        return;
    }
    MList->setRowCount(count);
    for (int32_t index = 0; index < count; ++index) {
        const TMusicList& entry = Album.Entry(index);
        for (int column = 0; column < columns; ++column) {
            SetCell(*MList, index, column, GridCellText(entry, column));
        }
    }
    GridControls->ApplyFilter();
}

void TPlatform::DELClick() {
    const int32_t index = SelectedRow() - 1;
    // A row the filter hides is out of the user's sight: Delete must not take it.
    if (Album.MusicCount() > 0 && index < Album.MusicCount() && GridControls->EntryShown(index)) {
        Album.RemoveEntry(index);
    }
}

void TPlatform::MListMouseDown(const QPoint& point) {
    // The row under the pointer is the one the press selects.
    const int row = MList->rowAt(point.y());
    FDragSource = row >= 0 ? row : SelectedRow() - 1;
    FDragStart = point;
    FDragArmed = FDragSource >= 0 && FDragSource < Album.MusicCount();
}

void TPlatform::MListDragDrop(const QPoint& point) {
    // Row 0 stands for the heading and anything outside the rows: the album puts the entry at the end.
    const int row = MList->rowAt(point.y());
    const int32_t dropRow = point.y() >= 0 && row >= 0 ? row + 1 : 0;
    const int32_t moved = Album.MoveEntry(FDragSource, dropRow);
    FDragSource = -1;
    if (moved >= 0) {
        SelectRow(moved + 1);
    }
}

void TPlatform::BeginRowDrag() {
    FDragArmed = false;
    auto* data = new QMimeData;
    data->setData(kRowDragFormat, QByteArray::number(FDragSource));
    auto* drag = new QDrag(MList);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
}

bool TPlatform::MListViewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            MListMouseDown(mouse->position().toPoint());
        }
        return false;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // A plain click stays a click: the drag begins only past the desktop's drag distance.
        if (FDragArmed && (mouse->buttons() & Qt::LeftButton) &&
            (mouse->position().toPoint() - FDragStart).manhattanLength() >=
                QApplication::startDragDistance()) {
            BeginRowDrag();
            return true;
        }
        return false;
    }
    case QEvent::MouseButtonRelease:
        FDragArmed = false;
        return false;
    case QEvent::MouseButtonDblClick:
        MListDblClick();
        return false;
    default:
        return false;
    }
}

bool TPlatform::eventFilter(QObject* watched, QEvent* event) {
    const bool onGrid = MList && watched == MList;
    const bool onViewport = MList && watched == MList->viewport();
    if (!onGrid && !onViewport) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress:
        if (onGrid && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            DELClick();
            return true;
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        // Only the grid's own rows; files from the desktop are the file drop target's.
        if (!drop->mimeData()->hasFormat(kRowDragFormat) || drop->source() != MList) {
            break;
        }
        drop->setDropAction(Qt::MoveAction);
        drop->accept();
        if (event->type() == QEvent::Drop) {
            // Over the grid's frame or heading the point lies outside the viewport's rows.
            const QPoint point = onViewport ? drop->position().toPoint()
                                            : MList->viewport()->mapFrom(MList, drop->position().toPoint());
            MListDragDrop(point);
        }
        return true;
    }
    default:
        if (onViewport) {
            return MListViewportEvent(event);
        }
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tunelo
