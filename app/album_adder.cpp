#include "album_adder.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <exception>

#include "Unit4.h"
#include "album_opener.h"
#include "error_box.h"

namespace tunelo {

namespace {

// A longer list would make the box taller than the screen; the rest is under "Show Details...".
constexpr qsizetype kLinesShown = 20;

// The window's grid is rewritten once, when the last file has gone in (also after a failure).
class TAlbumUpdate {
public:
    explicit TAlbumUpdate(TAlbum& album) : FAlbum(album) { FAlbum.BeginUpdate(); }
    ~TAlbumUpdate() { FAlbum.EndUpdate(); }
    TAlbumUpdate(const TAlbumUpdate&) = delete;
    TAlbumUpdate& operator=(const TAlbumUpdate&) = delete;

private:
    TAlbum& FAlbum;
};

const QString kHeading = QStringLiteral("These files could not be added:");

} // namespace

void TAddReport::Add(const QString& file, const QString& reason) {
    FLines.append(QDir::toNativeSeparators(file) + QStringLiteral(": ") + reason);
}

void TAddReport::Add(const TAddFailures& failures) {
    for (const TAddFailure& failure : failures) {
        Add(QString::fromStdString(failure.FileName), QString::fromStdString(failure.Reason));
    }
}

QString TAddReport::Text() const {
    return kHeading + QLatin1Char('\n') + FLines.join(QLatin1Char('\n'));
}

QMessageBox* TAddReport::Show(QWidget* parent) const {
    if (IsEmpty()) {
        return nullptr;
    }
    if (FLines.size() <= kLinesShown) {
        return ShowReportBox(Text(), parent);
    }
    const QString shown = kHeading + QLatin1Char('\n') + FLines.mid(0, kLinesShown).join(QLatin1Char('\n')) +
                          QStringLiteral("\n... and %1 more.").arg(FLines.size() - kLinesShown);
    QMessageBox* box = ShowReportBox(shown, parent);
    if (box) {
        box->setDetailedText(Text());
    }
    return box;
}

void LoadAlbumFile(TPlatform& window, const QString& path, TAddReport& report) {
    if (!QFileInfo(path).isFile()) {
        report.Add(path, QStringLiteral("file not found"));
        return;
    }
    window.FileNameKeep1->Add(path);
    TAddFailures failures;
    try {
        if (window.Album.LoadAlbum(path.toStdString(), &failures) == TAlbum::TLoadResult::NotFound) {
            report.Add(path, QStringLiteral("file not found"));
        }
    } catch (const std::exception& error) {
        report.Add(path, QString::fromStdString(AddFailureReason(path.toStdString(), error)));
    }
    report.Add(failures);
}

int AddPathsToAlbum(TPlatform& window, const QStringList& paths, TAddReport& report) {
    const int32_t before = window.Album.MusicCount();
    TAlbumUpdate update(window.Album);
    for (const QString& given : paths) {
        const QStringList files = ExpandAlbumArguments({given}, QDir::currentPath());
        // A folder that gives nothing would otherwise leave the user wondering whether the drop took.
        if (files.isEmpty()) {
            report.Add(given, QStringLiteral("a folder without MPEG audio or album files"));
        }
        for (const QString& path : files) {
            if (IsAlbumListName(path) || IsPlsName(path)) {
                LoadAlbumFile(window, path, report);
                continue;
            }
            try {
                window.AddEntry(path);
            } catch (const std::exception& error) {
                report.Add(path, QString::fromStdString(AddFailureReason(path.toStdString(), error)));
            }
        }
    }
    return window.Album.MusicCount() - before;
}

} // namespace tunelo
