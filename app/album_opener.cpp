#include "album_opener.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "Unit4.h"
#include "album_adder.h"

namespace tunelo {

namespace {

void WalkFolder(const QString& folder, QStringList& files) {
    QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable);
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return NaturalCompare(a.fileName(), b.fileName()) < 0;
    });
    for (const QFileInfo& entry : entries) {
        if (entry.isDir()) {
            // A link back up the tree would never end.
            if (!entry.isSymLink()) {
                WalkFolder(entry.filePath(), files);
            }
        } else if (IsAlbumFileName(entry.fileName())) {
            files.append(entry.absoluteFilePath());
        }
    }
}

} // namespace

int NaturalCompare(const QString& a, const QString& b) {
    // Qt's collator counts digits as numbers only where it is built with ICU; this rule holds everywhere.
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit()) {
                ++endA;
            }
            while (endB < b.size() && b[endB].isDigit()) {
                ++endB;
            }
            // Leading zeros say nothing about the number; then the longer run is the larger number.
            qsizetype startA = i;
            qsizetype startB = j;
            while (startA + 1 < endA && a[startA] == QLatin1Char('0')) {
                ++startA;
            }
            while (startB + 1 < endB && b[startB] == QLatin1Char('0')) {
                ++startB;
            }
            if (endA - startA != endB - startB) {
                return endA - startA < endB - startB ? -1 : 1;
            }
            const int digits =
                QStringView(a).mid(startA, endA - startA).compare(QStringView(b).mid(startB, endB - startB));
            if (digits != 0) {
                return digits;
            }
            i = endA;
            j = endB;
            continue;
        }
        const int letter = QString::compare(a.mid(i, 1), b.mid(j, 1), Qt::CaseInsensitive);
        if (letter != 0) {
            return letter;
        }
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) {
        return i < a.size() ? 1 : -1;
    }
    // Names that differ only in case or leading zeros still need one order.
    return a.compare(b);
}

bool IsAlbumListName(const QString& name) {
    const QString suffix = QFileInfo(name).suffix();
    return suffix.compare(QStringLiteral("m3u"), Qt::CaseInsensitive) == 0 ||
           suffix.compare(QStringLiteral("m3u8"), Qt::CaseInsensitive) == 0;
}

bool IsPlsName(const QString& name) {
    return QFileInfo(name).suffix().compare(QStringLiteral("pls"), Qt::CaseInsensitive) == 0;
}

bool IsAlbumFileName(const QString& name) {
    static const QStringList kAudio = {QStringLiteral("mp3"), QStringLiteral("mp2"), QStringLiteral("mp1"),
                                       QStringLiteral("mpa"), QStringLiteral("mpga")};
    return kAudio.contains(QFileInfo(name).suffix(), Qt::CaseInsensitive) || IsAlbumListName(name) ||
           IsPlsName(name);
}

QStringList ExpandAlbumArguments(const QStringList& arguments, const QString& workingFolder) {
    const QDir base(workingFolder);
    QStringList files;
    for (const QString& argument : arguments) {
        const QString path = QDir::cleanPath(base.absoluteFilePath(argument));
        if (QFileInfo(path).isDir()) {
            WalkFolder(path, files);
        } else {
            files.append(path);
        }
    }
    return files;
}

int OpenInAlbum(TPlatform& window, const QStringList& files, bool play) {
    const int32_t before = window.Album.MusicCount();
    TAddReport report;
    AddPathsToAlbum(window, files, report);
    report.Show(&window);
    const int32_t added = window.Album.MusicCount() - before;
    if (play && added > 0) {
        // As the user would: stop, pick the row, double-click it.
        window.STOPClick();
        window.SelectRow(before + 1);
        window.MListDblClick();
    }
    return added;
}

} // namespace tunelo
