// Decoding the album to WAV files: the folder choice, the small progress window with its ABORT button, the
// output names, and the end of a run. The files themselves go through the transport's play step, which
// calls PlayToFile instead of Play while Decoding is set.
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QWindow>

#include <filesystem>

#include "Unit4.h"

namespace tunelo {

namespace {

// The run's progress window. Closing it through its title bar only hides it: the run goes on, and only
// ABORT (or the last file) ends it.
class TDecodeProgressWindow : public QDialog {
public:
    static constexpr int kClientWidth = 120;
    static constexpr int kClientHeight = 64;

    explicit TDecodeProgressWindow(std::function<void()> abort)
        : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
        setWindowTitle(QStringLiteral("Decode to WAV"));
        setFixedSize(kClientWidth, kClientHeight);
        auto* label = new QLabel(QStringLiteral("Click to abort..."), this);
        label->move(8, 8);
        label->adjustSize();
        auto* button = new QPushButton(QStringLiteral("ABORT"), this);
        button->setObjectName(QStringLiteral("ABORT"));
        button->setGeometry((kClientWidth - 64) / 2, kClientHeight - 24 - 8, 64, 24);
        connect(button, &QPushButton::clicked, this, std::move(abort));
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        hide();
    }
    void reject() override { hide(); }
};

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

    auto* progress = new TDecodeProgressWindow([this] { EndDecodeRun(); });
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
    EndDecodeRun();
    FDialogs.Message(this, QStringLiteral("Complete!"));
}

} // namespace tunelo
