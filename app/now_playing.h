// The now-playing strip above the album grid: the playing track's cover, its title (the file name where
// the tags give none) and artist, and how far it has played ("1:05 / 3:20"). It follows the album player:
// the window hands it the player on every position report, status change and track change. The same
// words make the tray icon's tip.
#pragma once

#include <QFrame>
#include <QImage>
#include <QString>

#include <string>

namespace tunelo {

class TMP3Player;

class TNowPlaying : public QFrame {
    Q_OBJECT

public:
    // The tray icon's tip while nothing plays.
    static constexpr const char* kIdleTip = "TUNELO";

    explicit TNowPlaying(QWidget* parent);

    // Reads what the player has open and how far it is; a stopped player shows nothing.
    void Update(TMP3Player& player);

    // What the strip shows now; empty while nothing plays.
    const QString& Title() const { return FTitle; }
    const QString& Artist() const { return FArtist; }
    const QString& TimeText() const { return FTime; }
    bool HasCover() const { return !FCover.isNull(); }
    // The tray icon's tip: title, artist and time on two lines, or kIdleTip.
    QString TipText() const;

signals:
    // The tip changed (not fired for an unchanged text, as position reports come several times a second).
    void TipChanged(const QString& tip);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Show(const QString& title, const QString& artist, const QString& time);
    void TakeCover(TMP3Player& player);

    QString FTitle;
    QString FArtist;
    QString FTime;
    QString FTip;
    // The cover is decoded once per file, not on every report.
    std::string FCoverSource;
    QImage FCover;
};

} // namespace tunelo
