#include "mpris_service.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QUrl>

#include <algorithm>
#include <cmath>

#include "Unit4.h"
#include "album_opener.h"
#include "click_to.h"

namespace tunelo {

namespace {

constexpr const char* kTrackPathPrefix = "/org/tunelo/Tunelo/Track/";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr int kRefreshMs = 250;

} // namespace

TMprisRootAdaptor::TMprisRootAdaptor(TMprisService& service, QObject* object)
    : QDBusAbstractAdaptor(object), FService(service) {}

QStringList TMprisRootAdaptor::SupportedMimeTypes() const {
    return {QStringLiteral("audio/mpeg"),    QStringLiteral("audio/x-mp3"),
            QStringLiteral("audio/mp3"),     QStringLiteral("audio/x-mpegurl"),
            QStringLiteral("audio/mpegurl"), QStringLiteral("audio/x-scpls")};
}

TMprisPlayerAdaptor::TMprisPlayerAdaptor(TMprisService& service, QObject* object)
    : QDBusAbstractAdaptor(object), FService(service) {}

TMprisService::TMprisService(TPlatform& window, QObject* parent) : QObject(parent), FWindow(window) {
    FRefreshTimer.setInterval(kRefreshMs);
    connect(&FRefreshTimer, &QTimer::timeout, this, [this] { Refresh(); });
    // A user move of the position bar, or a seek asked for here, is a jump clients must hear of.
    connect(&FWindow, &TPlatform::SeekRequested, this, [this](int32_t ms) { EmitSeeked(ms); });
    // Play, pause and stop reach clients at once, whoever caused them (a button, the end of a track).
    FPreviousStatusHandler = FWindow.MP3Player1->OnChangeStatus;
    FWindow.MP3Player1->OnChangeStatus = [this](TMP3Player& player) {
        if (FPreviousStatusHandler) {
            FPreviousStatusHandler(player);
        }
        Refresh();
    };
}

TMprisService::~TMprisService() {
    FWindow.MP3Player1->OnChangeStatus = FPreviousStatusHandler;
    if (FRegistered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(QString::fromLatin1(kServiceName));
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
    }
}

bool TMprisService::Register() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (FRegistered || !bus.isConnected()) {
        return FRegistered;
    }
    new TMprisRootAdaptor(*this, this);
    new TMprisPlayerAdaptor(*this, this);
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this)) {
        return false;
    }
    if (!bus.registerService(QString::fromLatin1(kServiceName))) {
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        return false;
    }
    FRegistered = true;
    FLastPlayer = PlayerProperties();
    FRefreshTimer.start();
    return true;
}

QString TMprisService::PlaybackStatus() const {
    switch (FWindow.MP3Player1->Status()) {
    case mpsPlaying:
        return QStringLiteral("Playing");
    case mpsPaused:
        return QStringLiteral("Paused");
    case mpsStopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QString TMprisService::LoopStatus() const {
    if (FWindow.PlayOrder.RepeatOne()) {
        return QStringLiteral("Track");
    }
    if (FWindow.PlayOrder.RepeatAll()) {
        return QStringLiteral("Playlist");
    }
    return QStringLiteral("None");
}

bool TMprisService::Shuffle() const {
    return FWindow.PlayOrder.Random();
}

double TMprisService::Volume() const {
    return FWindow.MP3Player1->Volume() / 100.0;
}

qlonglong TMprisService::Position() const {
    if (FWindow.MP3Player1->Status() == mpsStopped) {
        return 0;
    }
    return static_cast<qlonglong>(FWindow.MP3Player1->Position()) * 1000;
}

bool TMprisService::CanUseTransport() const {
    return FWindow.Album.MusicCount() > 0 && !WindowBusy();
}

bool TMprisService::WindowBusy() const {
    // A decode run owns the player and keeps the window disabled; the bus may not work what the user
    // cannot.
    return FWindow.Decoding;
}

bool TMprisService::CanSeek() const {
    const TMP3Player& player = *FWindow.MP3Player1;
    return player.IsOpen() && player.Seekable() && !FWindow.Decoding;
}

QDBusObjectPath TMprisService::TrackId() const {
    const int32_t entry = FWindow.PlayOrder.CurrentEntry();
    if (entry < 0 || entry >= FWindow.Album.MusicCount()) {
        return QDBusObjectPath(QString::fromLatin1(kNoTrack));
    }
    return QDBusObjectPath(QString::fromLatin1(kTrackPathPrefix) + QString::number(entry));
}

QVariantMap TMprisService::Metadata() const {
    QVariantMap metadata;
    const QDBusObjectPath track = TrackId();
    metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(track));
    const int32_t entry = FWindow.PlayOrder.CurrentEntry();
    if (entry < 0 || entry >= FWindow.Album.MusicCount()) {
        return metadata;
    }
    const TMusicList& music = FWindow.Album.Entry(entry);
    TMP3Player& player = *FWindow.MP3Player1;
    if (player.IsOpen() && player.FileName() == music.FileName) {
        if (player.Duration() > 0) {
            metadata.insert(QStringLiteral("mpris:length"), static_cast<qlonglong>(player.Duration()) * 1000);
        }
        const QString art = FCovers.UrlFor(music.FileName, player.Info().Picture());
        if (!art.isEmpty()) {
            metadata.insert(QStringLiteral("mpris:artUrl"), art);
        }
    }
    metadata.insert(QStringLiteral("xesam:title"), QString::fromStdString(GridTitle(music)));
    if (!music.Artist.empty()) {
        metadata.insert(QStringLiteral("xesam:artist"), QStringList{QString::fromStdString(music.Artist)});
    }
    if (!music.Album.empty()) {
        metadata.insert(QStringLiteral("xesam:album"), QString::fromStdString(music.Album));
    }
    // "3/12" as ID3v2 writes it counts as 3.
    bool isNumber = false;
    const int trackNumber =
        QString::fromStdString(music.Track).section(QLatin1Char('/'), 0, 0).toInt(&isNumber);
    if (isNumber && trackNumber > 0) {
        metadata.insert(QStringLiteral("xesam:trackNumber"), trackNumber);
    }
    metadata.insert(QStringLiteral("xesam:url"),
                    QUrl::fromLocalFile(QString::fromStdString(music.FileName)).toString(QUrl::FullyEncoded));
    return metadata;
}

void TMprisService::Play() {
    if (WindowBusy()) {
        return;
    }
    if (FWindow.MP3Player1->Status() != mpsPlaying) {
        FWindow.PLAYClick();
    }
    Refresh();
}

void TMprisService::Pause() {
    if (WindowBusy()) {
        return;
    }
    if (FWindow.MP3Player1->Status() == mpsPlaying) {
        FWindow.PAUSEClick();
    }
    Refresh();
}

void TMprisService::PlayPause() {
    if (WindowBusy()) {
        return;
    }
    if (FWindow.MP3Player1->Status() == mpsStopped) {
        FWindow.PLAYClick();
    } else {
        FWindow.PAUSEClick();
    }
    Refresh();
}

void TMprisService::Stop() {
    if (WindowBusy()) {
        return;
    }
    FWindow.STOPClick();
    Refresh();
}

void TMprisService::Next() {
    if (WindowBusy()) {
        return;
    }
    FWindow.FFClick();
    Refresh();
}

void TMprisService::Previous() {
    if (WindowBusy()) {
        return;
    }
    FWindow.REWClick();
    Refresh();
}

void TMprisService::Seek(qlonglong offsetUs) {
    if (WindowBusy()) {
        return;
    }
    TMP3Player& player = *FWindow.MP3Player1;
    if (!CanSeek() || player.Status() == mpsStopped) {
        return;
    }
    const qlonglong target = player.Position() + offsetUs / 1000;
    if (player.Duration() > 0 && target > player.Duration()) {
        // Past the end: the next track, as the protocol asks.
        Next();
        return;
    }
    // The same road as a drag of the position bar; it seeks and reports the jump.
    FWindow.PLAYPOS->setValue(static_cast<int>(std::max<qlonglong>(target, 0)));
    Refresh();
}

void TMprisService::SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs) {
    if (WindowBusy()) {
        return;
    }
    TMP3Player& player = *FWindow.MP3Player1;
    // A stale track id (the track changed since the client looked) or a place outside the track is ignored.
    if (trackId != TrackId() || !CanSeek() || player.Status() == mpsStopped || positionUs < 0 ||
        (player.Duration() > 0 && positionUs / 1000 > player.Duration())) {
        return;
    }
    FWindow.PLAYPOS->setValue(static_cast<int>(positionUs / 1000));
    Refresh();
}

void TMprisService::OpenUri(const QString& uri) {
    if (WindowBusy()) {
        return;
    }
    const QUrl url(uri);
    if (!url.isLocalFile()) {
        return;
    }
    OpenInAlbum(FWindow, {url.toLocalFile()}, true);
    Refresh();
}

void TMprisService::SetLoopStatus(const QString& status) {
    if (WindowBusy()) {
        return;
    }
    if (status == QStringLiteral("Track")) {
        ClickTo(FWindow.REPONE, true);
    } else if (status == QStringLiteral("Playlist")) {
        ClickTo(FWindow.REPALL, true);
    } else if (status == QStringLiteral("None")) {
        ClickTo(FWindow.NRM, true);
    }
    Refresh();
}

void TMprisService::SetShuffle(bool on) {
    if (WindowBusy()) {
        return;
    }
    ClickTo(FWindow.RAND, on);
    Refresh();
}

void TMprisService::SetVolume(double volume) {
    if (WindowBusy()) {
        return;
    }
    if (std::isnan(volume)) {
        return;
    }
    // Louder than full is full, below silence is silence; the bar's top is the loudest.
    const int percent = static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100));
    FWindow.VOL->setValue(100 - percent);
    Refresh();
}

void TMprisService::Raise() {
    FWindow.Undo1Click();
}

void TMprisService::Quit() {
    FWindow.BitBtn7Click();
}

QVariantMap TMprisService::PlayerProperties() const {
    // Position is left out: clients compute it from the rate, and jumps come as Seeked.
    return {{QStringLiteral("PlaybackStatus"), PlaybackStatus()},
            {QStringLiteral("LoopStatus"), LoopStatus()},
            {QStringLiteral("Shuffle"), Shuffle()},
            {QStringLiteral("Volume"), Volume()},
            {QStringLiteral("Metadata"), Metadata()},
            {QStringLiteral("CanGoNext"), CanUseTransport()},
            {QStringLiteral("CanGoPrevious"), CanUseTransport()},
            {QStringLiteral("CanPlay"), CanUseTransport()},
            {QStringLiteral("CanPause"), CanUseTransport()},
            {QStringLiteral("CanSeek"), CanSeek()}};
}

void TMprisService::Refresh() {
    if (!FRegistered) {
        return;
    }
    const QVariantMap now = PlayerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (FLastPlayer.value(it.key()) != it.value()) {
            changed.insert(it.key(), it.value());
        }
    }
    FLastPlayer = now;
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

void TMprisService::EmitSeeked(int32_t ms) {
    if (!FRegistered) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QString::fromLatin1(kPlayerInterface), QStringLiteral("Seeked"));
    signal << static_cast<qlonglong>(ms) * 1000;
    QDBusConnection::sessionBus().send(signal);
}

} // namespace tunelo
