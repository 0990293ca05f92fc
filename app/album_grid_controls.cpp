#include "album_grid_controls.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QShortcut>

#include <algorithm>
#include <numeric>

#include "Unit4.h"
#include "album_opener.h"
#include "play_time.h"

namespace tunelo {

namespace {

// Sorts beyond this many are not kept for Ctrl+Z.
constexpr size_t kUndoSteps = 32;

// The number a track or year begins with ("3/12" is 3); -1 when it begins otherwise.
long LeadingNumber(const QString& text) {
    qsizetype digits = 0;
    while (digits < text.size() && digits < 9 && text[digits].isDigit()) {
        ++digits;
    }
    return digits == 0 ? -1 : text.left(digits).toLong();
}

int Compare(long a, long b) {
    return (a > b) - (a < b);
}

} // namespace

QString LengthText(int32_t ms) {
    if (ms <= 0) {
        return {};
    }
    // A length is shown to the nearest second; the elapsed time beside it counts whole seconds.
    return FormatPlayTime((int64_t{ms} + 500) / 1000 * 1000);
}

QString GridCellText(const TMusicList& entry, int column) {
    switch (column) {
    case gcTitle:
        return QString::fromStdString(GridTitle(entry));
    case gcArtist:
        return QString::fromStdString(entry.Artist);
    case gcAlbum:
        return QString::fromStdString(entry.Album);
    case gcTrack:
        return QString::fromStdString(entry.Track);
    case gcLength:
        return LengthText(entry.LengthMs);
    case gcYear:
        return QString::fromStdString(entry.Year);
    case gcComment:
        return QString::fromStdString(entry.Comment);
    case gcGenre:
        return QString::fromStdString(entry.Genre);
    default:
        return {};
    }
}

std::vector<int32_t> SortedAlbumOrder(const TAlbum& album, int column, bool descending) {
    const int32_t count = album.MusicCount();
    std::vector<QString> texts(static_cast<size_t>(count));
    std::vector<int32_t> lengths(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        texts[static_cast<size_t>(i)] = GridCellText(album.Entry(i), column).trimmed();
        lengths[static_cast<size_t>(i)] = album.Entry(i).LengthMs;
    }
    const auto hasValue = [&](int32_t i) {
        return column == gcLength ? lengths[static_cast<size_t>(i)] > 0
                                  : !texts[static_cast<size_t>(i)].isEmpty();
    };
    std::vector<int32_t> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        const bool valueA = hasValue(a);
        const bool valueB = hasValue(b);
        if (valueA != valueB) {
            return valueA;
        }
        if (!valueA) {
            return false;
        }
        const QString& textA = texts[static_cast<size_t>(a)];
        const QString& textB = texts[static_cast<size_t>(b)];
        int compared = 0;
        if (column == gcLength) {
            compared = Compare(lengths[static_cast<size_t>(a)], lengths[static_cast<size_t>(b)]);
        } else if ((column == gcTrack || column == gcYear) && LeadingNumber(textA) >= 0 &&
                   LeadingNumber(textB) >= 0) {
            // Track "3/12" and "03" are the same track number.
            compared = Compare(LeadingNumber(textA), LeadingNumber(textB));
        } else {
            // Digits compare as numbers, so "track2" comes before "track10".
            compared = NaturalCompare(textA, textB);
        }
        return descending ? compared > 0 : compared < 0;
    });
    return order;
}

// ---- The grid with room for the filter box ----

TAlbumGridView::TAlbumGridView(int rows, int columns, QWidget* parent)
    : QTableWidget(rows, columns, parent) {}

void TAlbumGridView::SetFilterBox(QLineEdit* box) {
    FFilterBox = box;
    updateGeometries();
}

void TAlbumGridView::updateGeometries() {
    // The table view sets the viewport margins for its headings each time; the box's room is added after.
    QTableWidget::updateGeometries();
    const bool shown = FFilterBox && !FFilterBox->isHidden();
    const int room = shown ? FFilterBox->sizeHint().height() : 0;
    QMargins margins = viewportMargins();
    if (margins.bottom() != room) {
        margins.setBottom(room);
        setViewportMargins(margins);
    }
    if (shown) {
        const QRect view = viewport()->geometry();
        FFilterBox->setGeometry(view.left() - margins.left(), view.bottom() + 1,
                                view.width() + margins.left(), room);
    }
}

// ---- Filter, sort and undo ----

TAlbumGridControls::TAlbumGridControls(TPlatform& window) : QObject(&window), FWindow(window) {
    auto* grid = static_cast<TAlbumGridView*>(FWindow.MList);
    FFilterBox = new QLineEdit(grid);
    FFilterBox->setObjectName(QStringLiteral("AlbumFilter"));
    FFilterBox->setPlaceholderText(QStringLiteral("Filter (Esc clears, Enter plays)"));
    FFilterBox->setToolTip(QStringLiteral("Show only the entries holding this text"));
    FFilterBox->setAccessibleName(QStringLiteral("Album filter"));
    FFilterBox->setAccessibleDescription(
        QStringLiteral("Shows only the album entries holding this text; Enter plays the selected entry, "
                       "Escape clears the filter"));
    FFilterBox->setClearButtonEnabled(true);
    FFilterBox->hide();
    FFilterBox->installEventFilter(this);
    grid->SetFilterBox(FFilterBox);
    connect(FFilterBox, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    connect(FFilterBox, &QLineEdit::returnPressed, this, [this] { PlaySelected(); });

    QHeaderView* headings = grid->horizontalHeader();
    headings->setSectionsClickable(true);
    connect(headings, &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });

    auto* find = new QShortcut(QKeySequence::Find, &FWindow);
    connect(find, &QShortcut::activated, this, [this] { ShowFilter(); });
    auto* undo = new QShortcut(QKeySequence::Undo, &FWindow);
    connect(undo, &QShortcut::activated, this, [this] { UndoSort(); });
}

bool TAlbumGridControls::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FFilterBox && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        LeaveFilter();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TAlbumGridControls::ShowFilter() {
    if (FFilterBox->isHidden()) {
        FFilterBox->show();
        static_cast<TAlbumGridView*>(FWindow.MList)->SetFilterBox(FFilterBox);
    }
    FFilterBox->setFocus(Qt::ShortcutFocusReason);
    FFilterBox->selectAll();
}

void TAlbumGridControls::LeaveFilter() {
    FFilterBox->clear();
    FFilterBox->hide();
    static_cast<TAlbumGridView*>(FWindow.MList)->SetFilterBox(FFilterBox);
    FWindow.MList->setFocus(Qt::OtherFocusReason);
    if (FWindow.MList->currentRow() >= 0) {
        FWindow.MList->scrollTo(FWindow.MList->currentIndex(), QAbstractItemView::EnsureVisible);
    }
}

void TAlbumGridControls::PlaySelected() {
    QTableWidget* grid = FWindow.MList;
    const int32_t entry = grid->currentRow();
    if (FWindow.Decoding || entry < 0 || entry >= FWindow.Album.MusicCount() || !EntryShown(entry)) {
        return;
    }
    // Another track playing or paused gives way to the chosen one; the same one goes on.
    if (FWindow.MP3Player1->Status() != mpsStopped && FWindow.PlayOrder.CurrentEntry() != entry) {
        FWindow.STOPClick();
    }
    FWindow.MListDblClick();
}

void TAlbumGridControls::ApplyFilter() {
    QTableWidget* grid = FWindow.MList;
    const QString wanted = FFilterBox->text().trimmed();
    const bool filtering = !wanted.isEmpty() && FWindow.Album.MusicCount() > 0;
    int firstShown = -1;
    for (int row = 0; row < grid->rowCount(); ++row) {
        bool matches = !filtering;
        for (int column = 0; column < grid->columnCount() && !matches; ++column) {
            const QTableWidgetItem* item = grid->item(row, column);
            matches = item && item->text().contains(wanted, Qt::CaseInsensitive);
        }
        if (grid->isRowHidden(row) == matches) {
            grid->setRowHidden(row, !matches);
        }
        if (matches && firstShown < 0) {
            firstShown = row;
        }
    }
    const int current = grid->currentRow();
    if (filtering && current >= 0 && grid->isRowHidden(current) && firstShown >= 0) {
        FWindow.SelectRow(firstShown + 1);
    }
}

bool TAlbumGridControls::EntryShown(int32_t entry) const {
    return entry >= 0 && entry < FWindow.MList->rowCount() && !FWindow.MList->isRowHidden(entry);
}

std::vector<std::string> TAlbumGridControls::AlbumFiles() const {
    std::vector<std::string> files;
    for (int32_t i = 0; i < FWindow.Album.MusicCount(); ++i) {
        files.push_back(FWindow.Album.Entry(i).FileName);
    }
    return files;
}

void TAlbumGridControls::Reorder(const std::vector<int32_t>& order) {
    // The selected entry stays selected wherever it goes.
    const int32_t selected = FWindow.MList->currentRow();
    FWindow.Album.Reorder(order);
    if (selected >= 0 && selected < static_cast<int32_t>(order.size())) {
        const auto found = std::find(order.begin(), order.end(), selected);
        FWindow.SelectRow(static_cast<int32_t>(found - order.begin()) + 1);
    }
}

void TAlbumGridControls::SortByColumn(int column) {
    if (column < 0 || column >= gcColumnCount || FWindow.Album.MusicCount() == 0) {
        return;
    }
    FDescending = column == FSortColumn ? !FDescending : false;
    FSortColumn = column;
    FWindow.MList->horizontalHeader()->setSortIndicatorShown(true);
    FWindow.MList->horizontalHeader()->setSortIndicator(column, FDescending ? Qt::DescendingOrder
                                                                            : Qt::AscendingOrder);
    const std::vector<int32_t> order = SortedAlbumOrder(FWindow.Album, column, FDescending);
    TSortStep step;
    step.Inverse.resize(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        step.Inverse[static_cast<size_t>(order[i])] = static_cast<int32_t>(i);
    }
    Reorder(order);
    step.FilesAfter = AlbumFiles();
    FUndo.push_back(std::move(step));
    if (FUndo.size() > kUndoSteps) {
        FUndo.erase(FUndo.begin());
    }
}

bool TAlbumGridControls::UndoSort() {
    if (FUndo.empty()) {
        return false;
    }
    TSortStep step = std::move(FUndo.back());
    FUndo.pop_back();
    // Added, removed or moved entries since: the saved order no longer describes this album.
    if (step.FilesAfter != AlbumFiles()) {
        FUndo.clear();
        return false;
    }
    Reorder(step.Inverse);
    FSortColumn = -1;
    FDescending = false;
    FWindow.MList->horizontalHeader()->setSortIndicatorShown(false);
    return true;
}

} // namespace tunelo
