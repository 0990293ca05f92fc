#include "now_playing.h"

#include <QPainter>

#include <algorithm>

#include "TrayIcon.h"
#include "album.h"
#include "play_time.h"
#include "player.h"

namespace tunelo {

namespace {

constexpr int kGap = 6;

} // namespace

TNowPlaying::TNowPlaying(QWidget* parent) : QFrame(parent), FTip(QString::fromLatin1(kIdleTip)) {
    setObjectName(QStringLiteral("NowPlaying"));
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(QStringLiteral("Now playing"));
    setAccessibleDescription(QStringLiteral("Nothing is playing."));
}

void TNowPlaying::Update(TMP3Player& player) {
    const TMP3PlayerStatus status = player.Status();
    if (!player.IsOpen() || status == mpsStopped) {
        FCoverSource.clear();
        FCover = QImage();
        Show({}, {}, {});
        return;
    }
    TMusicList shown;
    shown.FileName = player.FileName();
    shown.Title = player.Info().Title();
    const int32_t duration = player.Duration();
    QString time = FormatPlayTime(player.Position());
    if (duration > 0) {
        time += QStringLiteral(" / ") + FormatPlayTime(duration);
    }
    if (status == mpsPaused) {
        time += QStringLiteral(" (paused)");
    }
    TakeCover(player);
    Show(QString::fromStdString(GridTitle(shown)), QString::fromStdString(player.Artist()), time);
}

void TNowPlaying::TakeCover(TMP3Player& player) {
    if (player.FileName() == FCoverSource) {
        return;
    }
    FCoverSource = player.FileName();
    const TMPPicture& picture = player.Info().Picture();
    FCover = picture.Empty() ? QImage()
                             : QImage::fromData(reinterpret_cast<const uchar*>(picture.Data.data()),
                                                static_cast<int>(picture.Data.size()));
    update();
}

QString TNowPlaying::TipText() const {
    if (FTitle.isEmpty()) {
        return QString::fromLatin1(kIdleTip);
    }
    QString track = FTitle;
    if (!FArtist.isEmpty()) {
        track += QStringLiteral(" - ") + FArtist;
    }
    // The tray keeps only so many characters: a long title gives way, so that the time stays.
    const QString time = QLatin1Char('\n') + FTime;
    const qsizetype room = TTrayIcon::MaxTipLength - time.size();
    if (track.size() > room) {
        track = track.left(std::max<qsizetype>(room - 1, 0)) + QChar(0x2026);
    }
    return track + time;
}

void TNowPlaying::Show(const QString& title, const QString& artist, const QString& time) {
    if (title == FTitle && artist == FArtist && time == FTime) {
        return;
    }
    FTitle = title;
    FArtist = artist;
    FTime = time;
    setAccessibleDescription(FTitle.isEmpty() ? QStringLiteral("Nothing is playing.")
                                              : TipText().replace(QLatin1Char('\n'), QStringLiteral(", ")));
    update();
    const QString tip = TipText();
    if (tip != FTip) {
        FTip = tip;
        emit TipChanged(FTip);
    }
}

void TNowPlaying::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (FTitle.isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect area = contentsRect();
    int left = area.left();
    if (!FCover.isNull()) {
        // Square, as high as the strip, the picture kept in proportion inside it; drawn from the full
        // picture so that it is sharp at any scaling.
        const QRect box(area.left(), area.top(), area.height(), area.height());
        const QSize fitted = FCover.size().scaled(box.size(), Qt::KeepAspectRatio);
        const QRect target(box.center().x() - fitted.width() / 2 + 1,
                           box.center().y() - fitted.height() / 2 + 1, fitted.width(), fitted.height());
        painter.drawImage(target, FCover);
        left = box.right() + 1 + kGap;
    }
    const QFontMetrics plain(font());
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    const int lineHeight = area.height() / 2;
    const int timeWidth = plain.horizontalAdvance(FTime);
    const QRect timeRect(area.right() - timeWidth, area.top() + lineHeight, timeWidth, lineHeight);
    const QRect titleRect(left, area.top(), area.right() - left + 1, lineHeight);
    const QRect artistRect(left, area.top() + lineHeight, timeRect.left() - kGap - left, lineHeight);

    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(bold);
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                     boldMetrics.elidedText(FTitle, Qt::ElideRight, titleRect.width()));
    painter.setFont(font());
    painter.drawText(artistRect, Qt::AlignLeft | Qt::AlignVCenter,
                     plain.elidedText(FArtist, Qt::ElideRight, std::max(artistRect.width(), 0)));
    painter.drawText(timeRect, Qt::AlignRight | Qt::AlignVCenter, FTime);
}

} // namespace tunelo
