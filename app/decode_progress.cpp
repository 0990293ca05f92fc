#include "decode_progress.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace tunelo {

namespace {

QLabel* NamedLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    return label;
}

QProgressBar* NamedBar(const QString& name, const QString& what, QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 1000);
    bar->setValue(0);
    bar->setTextVisible(true);
    bar->setFormat(what + QStringLiteral(" %p%"));
    return bar;
}

// Long names are shortened in the middle, so the window keeps its size and both ends stay readable.
QString Shortened(const QWidget* shownIn, const QString& text) {
    return shownIn->fontMetrics().elidedText(text, Qt::ElideMiddle, 260);
}

QString ClockText(int64_t seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TDecodeProgressWindow::TDecodeProgressWindow(int32_t fileCount, const QString& folder, bool equalized,
                                             std::function<void()> abort, TFileProgress fileProgress)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      FFileCount(std::max(fileCount, 1)), FFolder(folder), FFileProgress(std::move(fileProgress)) {
    setWindowTitle(QStringLiteral("Decode to WAV"));
    setObjectName(QStringLiteral("DecodeProgress"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);

    FileLabel = NamedLabel(QStringLiteral("DecodeFile"), this);
    FileLabel->setText(QStringLiteral("Starting..."));
    FileLabel->setTextFormat(Qt::PlainText);
    FileLabel->setMinimumWidth(320);
    auto* folderLabel = NamedLabel(QStringLiteral("DecodeFolder"), this);
    folderLabel->setTextFormat(Qt::PlainText);
    folderLabel->setText(QStringLiteral("Into %1").arg(Shortened(folderLabel, folder)));
    folderLabel->setToolTip(folder);
    FileBar = NamedBar(QStringLiteral("DecodeFileProgress"), QStringLiteral("File"), this);
    RunBar = NamedBar(QStringLiteral("DecodeRunProgress"), QStringLiteral("All files"), this);
    TimeLeftLabel = NamedLabel(QStringLiteral("DecodeTimeLeft"), this);
    TimeLeftLabel->setText(QStringLiteral("Time left: estimating..."));
    // What is written is what the window would play: the equalizer is part of it when it is on.
    EqualizerLabel = NamedLabel(QStringLiteral("DecodeEqualizer"), this);
    EqualizerLabel->setWordWrap(true);
    EqualizerLabel->setText(equalized ? QStringLiteral("Equalizer on: the files are written as the equalizer "
                                                       "panel shapes them.")
                                      : QStringLiteral("Equalizer off: the files are written unequalized."));

    auto* abortRow = new QHBoxLayout;
    abortRow->addWidget(new QLabel(QStringLiteral("Click to abort..."), this));
    abortRow->addStretch(1);
    AbortButton = new QPushButton(QStringLiteral("ABORT"), this);
    AbortButton->setObjectName(QStringLiteral("ABORT"));
    AbortButton->setFixedSize(64, 24);
    abortRow->addWidget(AbortButton);
    connect(AbortButton, &QPushButton::clicked, this, std::move(abort));

    for (QWidget* widget : std::initializer_list<QWidget*>{FileLabel, folderLabel, FileBar, RunBar,
                                                           TimeLeftLabel, EqualizerLabel}) {
        column->addWidget(widget);
    }
    column->addLayout(abortRow);
    setFixedSize(sizeHint());

    FClock.start();
    FTimer.setInterval(250);
    connect(&FTimer, &QTimer::timeout, this, [this] { Refresh(); });
    FTimer.start();
}

void TDecodeProgressWindow::CompletePending() {
    if (FPending) {
        ++FWritten;
        ++FDone;
        FPending.reset();
    }
}

void TDecodeProgressWindow::FileStarted(int32_t number, const QString& source, const QString& wav) {
    CompletePending();
    FPending = source;
    FileLabel->setText(QStringLiteral("Writing %1 of %2: %3")
                           .arg(number)
                           .arg(FFileCount)
                           .arg(Shortened(FileLabel, QFileInfo(wav).fileName())));
    FileLabel->setToolTip(source);
    Refresh();
}

void TDecodeProgressWindow::FileSkipped(int32_t number, const QString& source, const QString& reason) {
    CompletePending();
    FSkipped.push_back({source, reason});
    ++FDone;
    FileLabel->setText(QStringLiteral("Skipped %1 of %2: %3")
                           .arg(number)
                           .arg(FFileCount)
                           .arg(Shortened(FileLabel, QFileInfo(source).fileName())));
    Refresh();
}

void TDecodeProgressWindow::FileFailed(const QString& reason) {
    if (FPending) {
        FSkipped.push_back({*FPending, reason});
        ++FDone;
        FPending.reset();
    }
    Refresh();
}

void TDecodeProgressWindow::RunComplete() {
    CompletePending();
    Refresh();
}

void TDecodeProgressWindow::RunEnded() {
    FTimer.stop();
    FFileProgress = nullptr;
}

double TDecodeProgressWindow::FileFraction() const {
    if (!FPending || !FFileProgress) {
        return 0;
    }
    const auto [written, length] = FFileProgress();
    return length > 0 ? std::clamp(double(written) / length, 0.0, 1.0) : 0.0;
}

double TDecodeProgressWindow::RunFraction(double fileFraction) const {
    return std::clamp((FDone + fileFraction) / FFileCount, 0.0, 1.0);
}

std::optional<int64_t> TDecodeProgressWindow::SecondsLeft(int64_t elapsedMs, double fraction) {
    // Below a second or a hundredth of the run the pace says too little.
    if (elapsedMs < 1000 || fraction < 0.01) {
        return std::nullopt;
    }
    if (fraction >= 1.0) {
        return 0;
    }
    return static_cast<int64_t>(elapsedMs * (1.0 - fraction) / fraction / 1000.0 + 0.5);
}

void TDecodeProgressWindow::Refresh() {
    const double file = FileFraction();
    // One reading of the file for both bars: the decode thread moves on meanwhile.
    const double run = RunFraction(file);
    FileBar->setValue(static_cast<int>(file * 1000));
    RunBar->setValue(static_cast<int>(run * 1000));
    const std::optional<int64_t> left = SecondsLeft(FClock.elapsed(), run);
    TimeLeftLabel->setText(left ? QStringLiteral("Time left: %1").arg(ClockText(*left))
                                : QStringLiteral("Time left: estimating..."));
}

QString TDecodeProgressWindow::Summary() const {
    QString text = QStringLiteral("Complete!\n\n");
    text += FWritten == 1 ? QStringLiteral("1 file written to %1.").arg(FFolder)
                          : QStringLiteral("%1 files written to %2.").arg(FWritten).arg(FFolder);
    if (!FSkipped.empty()) {
        text += QStringLiteral("\n%1 skipped:").arg(FSkipped.size());
        for (const TDecodeSkip& skip : FSkipped) {
            text += QStringLiteral("\n%1: %2").arg(skip.File, skip.Reason);
        }
    }
    return text;
}

void TDecodeProgressWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

void TDecodeProgressWindow::reject() {
    hide();
}

} // namespace tunelo
