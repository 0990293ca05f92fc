// Adding to the album never stops at a file it cannot take: every file that can be read goes in, in
// order, and the ones that cannot are named with their reasons in one report at the end, which leaves the
// window usable. The Add button, a drop, the command line and the bus all add this way.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "album.h"

class QMessageBox;
class QWidget;

namespace tunelo {

class TPlatform;

// The files one add could not take, and why.
class TAddReport {
public:
    void Add(const QString& file, const QString& reason);
    void Add(const TAddFailures& failures);
    bool IsEmpty() const { return FLines.isEmpty(); }
    // "These files could not be added:" and a line "<file>: <reason>" for each, in the order met.
    QString Text() const;
    // Shows the report without blocking the window; nothing when it is empty. The box, or nullptr when
    // there was nothing to show or the error-box hook took it.
    QMessageBox* Show(QWidget* parent) const;

private:
    QStringList FLines;
};

// Loads an album file (M3U, M3U8 or PLS) after the album's entries, with the history, as Open Album does;
// files it names that cannot be added, and a missing album file, go into the report.
void LoadAlbumFile(TPlatform& window, const QString& path, TAddReport& report);

// Adds each path in order: album files load (LoadAlbumFile), folders are walked for MPEG audio and album
// files in natural name order, every other path is added as an entry. Returns how many entries went in.
int AddPathsToAlbum(TPlatform& window, const QStringList& paths, TAddReport& report);

} // namespace tunelo
