// Decoding the album to WAV files: the folder choice, the progress window with its ABORT button, the
// output names, the files passed over, and the end of a run with its summary. The files themselves go through
// the transport's play step, which calls PlayToFile instead of Play while Decoding is set.
#include <QFileInfo>
#include <QWindow>

#include <filesystem>

#include "Unit4.h"
#include "decode_progress.h"

namespace tunelo {

namespace {

TDecodeProgressWindow* RunProgress(QDialog* window) {
    return static_cast<TDecodeProgressWindow*>(window);
}

} // namespace

void TPlatform::CreateDecodeAndPowerButtons() {
    BitBtn1 = new QPushButton(QStringLiteral("Decode"), this);
    BitBtn1->setToolTip(QStringLiteral("Decode MP3 to WAV"));
    BitBtn1->setGeometry(480, 244, 98, 24);
    BitBtn1->setFocusPolicy(Qt::NoFocus);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

    BitBtn7 = new QPushButton(QStringLiteral("Power"), this);
    BitBtn7->setToolTip(QStringLiteral("Power Switch"));
    BitBtn7->setGeometry(514, 272, 64, 24);
    BitBtn7->setFocusPolicy(Qt::NoFocus);
    connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
}

QString TPlatform::DecodeOutputPath(const QString& sourceFile) {
    const std::filesystem::path source(sourceFile.toStdString());
    const std::filesystem::path stem = std::filesystem::path(source.filename()).replace_extension();
    const QString base = FDecodeFolder + QLatin1Char('/') + QString::fromStdString(stem.string());
    // A file written earlier in this run is never overwritten by a later entry of the same name.
    QString candidate = base + QStringLiteral(".wav");
    for (int copy = 2; FDecodeWritten.count(candidate) != 0; ++copy) {
        candidate = base + QStringLiteral(" (%1).wav").arg(copy);
    }
    FDecodeWritten.insert(candidate);
    return candidate;
}

void TPlatform::BitBtn1Click() {
    if (Album.MusicCount() == 0 || Decoding) {
        return;
    }
    const QString firstFolder = QFileInfo(QString::fromStdString(Album.Entry(0).FileName)).absolutePath();
    const QString chosen =
        FDialogs.SaveFileName(this, QStringLiteral("Select directory to decode"),
                              firstFolder + QStringLiteral("/(none)"), QString(), QString(), false);
    if (chosen.isEmpty()) {
        return;
    }
    // Only the folder of the confirmed name counts.
    FDecodeFolder = QFileInfo(chosen).absolutePath();
    FDecodeWritten.clear();

    if (MP3Player1->Status() != mpsStopped) {
        MP3Player1->Stop();
    }

    auto* progress = new TDecodeProgressWindow(
        Album.MusicCount(), FDecodeFolder, MP3Player1->EqualizerEnabled(), [this] { EndDecodeRun(); },
        [this] { return std::pair(MP3Player1->Position(), MP3Player1->Duration()); });
    connect(this, &TPlatform::DecodeFileStarted, progress,
            [this, progress](const QString& source, const QString& wav) {
                // The play step has selected the entry's row before it starts writing it.
                progress->FileStarted(SelectedRow(), source, wav);
            });
    progress->move(pos() + QPoint(32, 32));
    progress->winId();
    if (QWindow* handle = progress->windowHandle()) {
        handle->setTransientParent(windowHandle());
    }
    FDecodeProgress = progress;
    progress->show();
    setEnabled(false);
    SetTransportActionsEnabled(false);

    // Files are converted in list order.
    if (RAND->isChecked()) {
        RAND->setChecked(false);
        RANDClick();
    }
    Decoding = true;
    PlayOrder.SetPlayIndex(0);
    PlayStep();
}

void TPlatform::EndDecodeRun() {
    // An aborted output file keeps what was written so far.
    StopAndClose();
    if (FDecodeProgress) {
        RunProgress(FDecodeProgress)->RunEnded();
        // The ABORT button's own click may be what runs this.
        FDecodeProgress->hide();
        FDecodeProgress->deleteLater();
        FDecodeProgress = nullptr;
    }
    Decoding = false;
    setEnabled(true);
    SetTransportActionsEnabled(true);
    activateWindow();
    setFocus();
}

void TPlatform::FinishDecodeRun() {
    QString summary = QStringLiteral("Complete!");
    if (TDecodeProgressWindow* progress = RunProgress(FDecodeProgress)) {
        progress->RunComplete();
        summary = progress->Summary();
    }
    EndDecodeRun();
    FDialogs.Message(this, summary);
}

void TPlatform::DecodeEntrySkipped(int32_t entry, const std::exception& error) {
    // Told in the summary at the end rather than in a box that would hold up the rest of the run.
    if (TDecodeProgressWindow* progress = RunProgress(FDecodeProgress)) {
        const std::string& path = Album.Entry(entry).FileName;
        progress->FileSkipped(entry + 1, QString::fromStdString(path),
                              QString::fromStdString(AddFailureReason(path, error)));
    }
}

void TPlatform::DecodeFileFailed() {
    if (TDecodeProgressWindow* progress = RunProgress(FDecodeProgress)) {
        progress->FileFailed(QStringLiteral(
            "writing it stopped with an error (shown at the time); no WAV file was made of it"));
    }
}

} // namespace tunelo
