// The album buttons and the album menu: adding files, opening and saving album files, the recent-album
// history and files dropped onto the grid.
#include <QFileInfo>

#include <filesystem>

#include "Unit4.h"
#include "album_adder.h"
#include "album_opener.h"
#include "error_box.h"
#include "ini_file.h"
#include "jukebox_settings.h"

namespace tunelo {

namespace {

const QString kMp3Filter = QStringLiteral("MP3 file (*.mp3);;All file (*.*)");
const QString kAlbumFilter = QStringLiteral("M3U file (*.m3u);;All file (*.*)");
// Opening also reads the album files of other players.
const QString kOpenAlbumFilter =
    QStringLiteral("M3U file (*.m3u);;M3U8 or PLS file (*.m3u8 *.pls);;All file (*.*)");

QString FolderOf(const QString& file) {
    return QString::fromStdString(TJukeboxSettings::FolderOf(file.toStdString()));
}

} // namespace

void TPlatform::CreateAlbumButtons() {
    BitBtn4 = new QPushButton(QStringLiteral("Add "), this);
    BitBtn4->setToolTip(QStringLiteral("Add MP3 file to Album"));
    BitBtn4->setGeometry(378, 216, 64, 24);
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });

    DEL = new QPushButton(QStringLiteral("Del"), this);
    DEL->setToolTip(QStringLiteral("Delete MP3 file from Album"));
    DEL->setGeometry(446, 216, 64, 24);
    connect(DEL, &QPushButton::clicked, this, [this] { DELClick(); });

    ALBUM = new QPushButton(QStringLiteral("Album "), this);
    ALBUM->setToolTip(QStringLiteral("Menu of Album"));
    ALBUM->setGeometry(514, 216, 64, 24);
    connect(ALBUM, &QPushButton::clicked, this, [this] { ALBUMClick(); });

    for (QPushButton* button : {BitBtn4, DEL, ALBUM}) {
        button->setFocusPolicy(Qt::NoFocus);
    }

    // The accelerator letters are part of the captions as written.
    AlbumMenu = new QMenu(this);
    ClearAlbum1 = AlbumMenu->addAction(QStringLiteral("Clear Album (&C)"));
    AlbumMenu->addSeparator();
    SelectAlbum1 = AlbumMenu->addAction(QStringLiteral("Open Album (&O)"));
    SaveAlbum1 = AlbumMenu->addAction(QStringLiteral("Save Album (&S)"));
    AddFolder1 = AlbumMenu->addAction(QStringLiteral("Add Folder (&F)"));
    AlbumMenu->addSeparator();
    HistoryAlbum1 = AlbumMenu->addMenu(QStringLiteral("History album (&H)"));
    Clearrecentfile1 = AlbumMenu->addAction(QStringLiteral("Clear history (&L)"));
    connect(ClearAlbum1, &QAction::triggered, this, [this] { ClearAlbum1Click(); });
    connect(SelectAlbum1, &QAction::triggered, this, [this] { SelectAlbum1Click(); });
    connect(AddFolder1, &QAction::triggered, this, [this] { AddFolder1Click(); });
    connect(SaveAlbum1, &QAction::triggered, this, [this] { SaveAlbum1Click(); });
    connect(Clearrecentfile1, &QAction::triggered, this, [this] { Clearrecentfile1Click(); });
}

void TPlatform::AddEntry(const QString& path) {
    Album.AddEntry(path.toStdString());
}

void TPlatform::LoadAlbum(const QString& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path.toStdString()), error)) {
        ShowErrorBox(QStringLiteral("File not found. (") + path + QStringLiteral(")"), this);
        return;
    }
    TAddReport report;
    LoadAlbumFile(*this, path, report);
    report.Show(this);
}

void TPlatform::BitBtn4Click() {
    const TJukeboxSettings settings(FIniFileName);
    const QStringList files = FDialogs.OpenFileNames(
        this, QStringLiteral("Add MP3 file(s)"), QString::fromStdString(settings.LastAddPath()), kMp3Filter);
    if (files.isEmpty()) {
        return;
    }
    settings.SetLastAddPath(TJukeboxSettings::FolderOf(files.constFirst().toStdString()));
    TAddReport report;
    AddPathsToAlbum(*this, files, report);
    report.Show(this);
}

void TPlatform::AddFolder1Click() {
    const TJukeboxSettings settings(FIniFileName);
    const QString folder = FDialogs.FolderName(this, QStringLiteral("Add folder"),
                                               QString::fromStdString(settings.LastAddPath()));
    if (folder.isEmpty()) {
        return;
    }
    settings.SetLastAddPath(folder.toStdString());
    TAddReport report;
    AddPathsToAlbum(*this, {folder}, report);
    report.Show(this);
}

void TPlatform::ALBUMClick() {
    AlbumMenu->popup(ALBUM->mapToGlobal(QPoint(0, 0)));
}

void TPlatform::ClearAlbum1Click() {
    Album.Clear();
}

void TPlatform::SelectAlbum1Click() {
    const TJukeboxSettings settings(FIniFileName);
    const QString file =
        FDialogs.OpenFileName(this, QStringLiteral("Open album"),
                              QString::fromStdString(settings.LastAlbumPath()), kOpenAlbumFilter);
    if (file.isEmpty()) {
        return;
    }
    settings.SetLastAlbumPath(FolderOf(file).toStdString());
    Album.Clear();
    LoadAlbum(file);
}

void TPlatform::SaveAlbum1Click() {
    const TJukeboxSettings settings(FIniFileName);
    const QString file = FDialogs.SaveFileName(this, QStringLiteral("Save album"),
                                               QString::fromStdString(settings.LastAlbumPath()), kAlbumFilter,
                                               QStringLiteral("m3u"), true);
    if (file.isEmpty()) {
        return;
    }
    settings.SetLastAlbumPath(FolderOf(file).toStdString());
    try {
        Album.SaveAlbum(file.toStdString());
    } catch (const std::exception& failure) {
        ShowErrorBox(failure, this);
    }
}

void TPlatform::FileNameKeep1Select(const QString& path) {
    Album.Clear();
    LoadAlbum(path);
}

void TPlatform::Clearrecentfile1Click() {
    if (!FDialogs.Confirm(this, QStringLiteral("Clear history file?"))) {
        return;
    }
    TMPIniFile(FIniFileName).EraseSection("KeepFileNames");
    FileNameKeep1->ClearAll();
}

void TPlatform::FileDrop1FileDrop(const QStringList& files) {
    // A drop often carries more than music (covers, notes); only folders and the names the album takes
    // from a folder go in, as a dropped folder's own files would.
    QStringList music;
    for (const QString& file : files) {
        if (IsAlbumFileName(file) || QFileInfo(file).isDir()) {
            music.append(file);
        }
    }
    TAddReport report;
    AddPathsToAlbum(*this, music, report);
    report.Show(this);
}

} // namespace tunelo
