// The jukebox on the desktop's session bus as an MPRIS2 media player: media keys, the sound menu and
// scripts reach the window through it. Every call drives the window through the handlers its own buttons,
// bars and mode buttons use, so the bus can do nothing the user could not.
//
// The service registers org.mpris.MediaPlayer2.tunelo with the object /org/mpris/MediaPlayer2. Without a
// session bus (or when the name is taken) it stays unregistered and the window runs as before.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <cstdint>

#include "cover_files.h"
#include "player.h"

namespace tunelo {

class TPlatform;

// The desktop entry, the icon and the AppStream component carry this name.
inline constexpr const char* kDesktopId = "org.tunelo.Tunelo";

class TMprisService : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.tunelo";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    explicit TMprisService(TPlatform& window, QObject* parent = nullptr);
    ~TMprisService() override;

    // Registers the object and the name on the session bus; false (and nothing registered) without one.
    bool Register();
    bool Registered() const { return FRegistered; }

    TPlatform& Window() { return FWindow; }

    // ---- What the adaptors read ----
    QString PlaybackStatus() const;
    QString LoopStatus() const;
    bool Shuffle() const;
    double Volume() const;
    // Microseconds.
    qlonglong Position() const;
    QVariantMap Metadata() const;
    // An album to play and a window that takes requests.
    bool CanUseTransport() const;
    // While the window is disabled (a decode run) every request but Raise and Quit is refused.
    bool WindowBusy() const;
    bool CanSeek() const;
    // The object path of the current track; the "no track" path when there is none.
    QDBusObjectPath TrackId() const;

    // ---- What the adaptors ask for ----
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qlonglong offsetUs);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs);
    void OpenUri(const QString& uri);
    void SetLoopStatus(const QString& status);
    void SetShuffle(bool on);
    void SetVolume(double volume);
    void Raise();
    void Quit();

    // Compares what clients see with what they were last told and sends PropertiesChanged for the
    // differences. Called after every request, on every status change of the player and by a timer for
    // changes made in the window.
    void Refresh();

private:
    // The window moved playback by a seek: clients learn it through Seeked, not PropertiesChanged.
    void EmitSeeked(int32_t ms);
    QVariantMap PlayerProperties() const;

    TPlatform& FWindow;
    TMP3NotifyEvent FPreviousStatusHandler;
    QTimer FRefreshTimer;
    QVariantMap FLastPlayer;
    bool FRegistered = false;
    mutable TCoverFiles FCovers;
};

// org.mpris.MediaPlayer2
class TMprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

public:
    TMprisRootAdaptor(TMprisService& service, QObject* object);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("TUNELO"); }
    QString DesktopEntry() const { return QString::fromLatin1(kDesktopId); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const;

public slots:
    void Raise() { FService.Raise(); }
    void Quit() { FService.Quit(); }

private:
    TMprisService& FService;
};

// org.mpris.MediaPlayer2.Player
class TMprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    // Written out so that clients read what the interface promises: Position (which moves on its own) and
    // CanControl are never announced by PropertiesChanged, so a client must ask for them.
    Q_CLASSINFO(
        "D-Bus Introspection",
        "  <interface name=\"org.mpris.MediaPlayer2.Player\">\n"
        "    <method name=\"Next\"/>\n"
        "    <method name=\"Previous\"/>\n"
        "    <method name=\"Pause\"/>\n"
        "    <method name=\"PlayPause\"/>\n"
        "    <method name=\"Stop\"/>\n"
        "    <method name=\"Play\"/>\n"
        "    <method name=\"Seek\"><arg name=\"Offset\" type=\"x\" direction=\"in\"/></method>\n"
        "    <method name=\"SetPosition\">\n"
        "      <arg name=\"TrackId\" type=\"o\" direction=\"in\"/>\n"
        "      <arg name=\"Position\" type=\"x\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"OpenUri\"><arg name=\"Uri\" type=\"s\" direction=\"in\"/></method>\n"
        "    <signal name=\"Seeked\"><arg name=\"Position\" type=\"x\"/></signal>\n"
        "    <property name=\"PlaybackStatus\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"LoopStatus\" type=\"s\" access=\"readwrite\"/>\n"
        "    <property name=\"Rate\" type=\"d\" access=\"readwrite\"/>\n"
        "    <property name=\"Shuffle\" type=\"b\" access=\"readwrite\"/>\n"
        "    <property name=\"Metadata\" type=\"a{sv}\" access=\"read\"/>\n"
        "    <property name=\"Volume\" type=\"d\" access=\"readwrite\"/>\n"
        "    <property name=\"Position\" type=\"x\" access=\"read\">\n"
        "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" value=\"false\"/>\n"
        "    </property>\n"
        "    <property name=\"MinimumRate\" type=\"d\" access=\"read\"/>\n"
        "    <property name=\"MaximumRate\" type=\"d\" access=\"read\"/>\n"
        "    <property name=\"CanGoNext\" type=\"b\" access=\"read\"/>\n"
        "    <property name=\"CanGoPrevious\" type=\"b\" access=\"read\"/>\n"
        "    <property name=\"CanPlay\" type=\"b\" access=\"read\"/>\n"
        "    <property name=\"CanPause\" type=\"b\" access=\"read\"/>\n"
        "    <property name=\"CanSeek\" type=\"b\" access=\"read\"/>\n"
        "    <property name=\"CanControl\" type=\"b\" access=\"read\">\n"
        "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" value=\"false\"/>\n"
        "    </property>\n"
        "  </interface>\n")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(bool Shuffle READ Shuffle WRITE SetShuffle)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanUseTransport)
    Q_PROPERTY(bool CanGoPrevious READ CanUseTransport)
    Q_PROPERTY(bool CanPlay READ CanUseTransport)
    Q_PROPERTY(bool CanPause READ CanUseTransport)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)

public:
    TMprisPlayerAdaptor(TMprisService& service, QObject* object);

    QString PlaybackStatus() const { return FService.PlaybackStatus(); }
    QString LoopStatus() const { return FService.LoopStatus(); }
    void SetLoopStatus(const QString& status) { FService.SetLoopStatus(status); }
    // The player has one speed.
    double Rate() const { return 1.0; }
    void SetRate(double) {}
    bool Shuffle() const { return FService.Shuffle(); }
    void SetShuffle(bool on) { FService.SetShuffle(on); }
    QVariantMap Metadata() const { return FService.Metadata(); }
    double Volume() const { return FService.Volume(); }
    void SetVolume(double volume) { FService.SetVolume(volume); }
    qlonglong Position() const { return FService.Position(); }
    bool CanUseTransport() const { return FService.CanUseTransport(); }
    bool CanSeek() const { return FService.CanSeek(); }
    bool CanControl() const { return true; }

public slots:
    void Play() { FService.Play(); }
    void Pause() { FService.Pause(); }
    void PlayPause() { FService.PlayPause(); }
    void Stop() { FService.Stop(); }
    void Next() { FService.Next(); }
    void Previous() { FService.Previous(); }
    void Seek(qlonglong offset) { FService.Seek(offset); }
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
        FService.SetPosition(trackId, position);
    }
    void OpenUri(const QString& uri) { FService.OpenUri(uri); }

signals:
    void Seeked(qlonglong position);

private:
    TMprisService& FService;
};

} // namespace tunelo
