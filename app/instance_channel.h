// How a second start reaches the running copy: the running copy listens on the session bus (name
// org.tunelo.Tunelo, object /org/tunelo/Tunelo, method HandOver) and, for desktops without a bus, on a
// local socket beside the instance lock. A second start hands over its arguments and its working folder
// and exits; the running copy carries them out and raises its window.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace tunelo {

class TInstanceServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tunelo.Tunelo")

public:
    static constexpr const char* kServiceName = "org.tunelo.Tunelo";
    static constexpr const char* kObjectPath = "/org/tunelo/Tunelo";

    explicit TInstanceServer(QObject* parent = nullptr);
    ~TInstanceServer() override;

    // Listens on the bus (when there is one) and on the socket; false when neither could be opened.
    bool Listen(const QString& socketPath = SocketPath());
    bool OnBus() const { return FOnBus; }
    bool OnSocket() const;

    // $XDG_RUNTIME_DIR/TUNELO.socket beside the instance lock, else /tmp/TUNELO-<uid>.socket.
    static QString SocketPath();

public slots:
    // Called over the bus by a second start.
    void HandOver(const QStringList& arguments, const QString& workingFolder);

signals:
    // A second start's arguments (arguments[0] is its program name).
    void ArgumentsReceived(const QStringList& arguments, const QString& workingFolder);

private:
    void AcceptSocketClient();

    QLocalServer* FSocket = nullptr;
    bool FOnBus = false;
};

// From a second start: hands the arguments to the running copy, by the bus first, else by the socket.
// False when neither reached it (errorText says why).
bool HandOverToRunningCopy(const QStringList& arguments, const QString& workingFolder, QString* errorText,
                           const QString& socketPath = TInstanceServer::SocketPath());

} // namespace tunelo
