// The progress window of a decode run: which file is being written (n of N, its name), how far into it
// and into the whole run, the time left, whether the equalizer shapes what is written, and ABORT. It also
// keeps the run's account (written, and skipped with the reason), for the summary at the end.
//
// Closing it through its title bar only hides it: the run goes on, and only ABORT (or the last file)
// ends it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tunelo {

struct TDecodeSkip {
    QString File;
    QString Reason;
};

class TDecodeProgressWindow : public QDialog {
public:
    // Where the current file stands: ms written and its length in ms (0 when not known).
    using TFileProgress = std::function<std::pair<int32_t, int32_t>()>;

    TDecodeProgressWindow(int32_t fileCount, const QString& folder, bool equalized,
                          std::function<void()> abort, TFileProgress fileProgress);

    // The run reached entry `number` (1-based) and writes it.
    void FileStarted(int32_t number, const QString& source, const QString& wav);
    // Entry `number` could not be opened and is passed over.
    void FileSkipped(int32_t number, const QString& source, const QString& reason);
    // Writing the current file stopped with an error.
    void FileFailed(const QString& reason);
    // The last file has been written: the account is final.
    void RunComplete();
    // The run is over (complete or aborted): nothing is read from the player any more, even while the
    // window waits to be deleted.
    void RunEnded();

    int32_t Written() const { return FWritten; }
    const std::vector<TDecodeSkip>& Skipped() const { return FSkipped; }
    // "Complete!", then what was written where and what was skipped and why.
    QString Summary() const;

    // Fraction of the run done, 0..1, with fileFraction of the current file written.
    double RunFraction(double fileFraction) const;
    // Seconds left at the pace so far; nothing until the pace can be told.
    static std::optional<int64_t> SecondsLeft(int64_t elapsedMs, double fraction);

    QLabel* FileLabel = nullptr;
    QProgressBar* FileBar = nullptr;
    QProgressBar* RunBar = nullptr;
    QLabel* TimeLeftLabel = nullptr;
    QLabel* EqualizerLabel = nullptr;
    QPushButton* AbortButton = nullptr;

    // Reads the current file's progress and shows it (the window's timer calls it too).
    void Refresh();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void CompletePending();
    double FileFraction() const;

    int32_t FFileCount;
    QString FFolder;
    TFileProgress FFileProgress;
    // The file being written, until the run moves past it.
    std::optional<QString> FPending;
    int32_t FDone = 0;
    int32_t FWritten = 0;
    std::vector<TDecodeSkip> FSkipped;
    QElapsedTimer FClock;
    QTimer FTimer;
};

} // namespace tunelo
