#include "instance_channel.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <unistd.h>

#include "instance_lock.h"

namespace tunelo {

namespace {

constexpr int kTimeoutMs = 5000;
// The running copy's answer once it has taken the arguments.
constexpr char kAccepted = 'A';
// No second start sends more than this; anything longer is not ours.
constexpr qint64 kMaxMessageBytes = 1 << 20;

} // namespace

TInstanceServer::TInstanceServer(QObject* parent) : QObject(parent) {}

TInstanceServer::~TInstanceServer() {
    if (FOnBus) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(QString::fromLatin1(kServiceName));
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
    }
}

QString TInstanceServer::SocketPath() {
    QString lock = QString::fromStdString(TMPInstanceLock::InstanceLockPath());
    lock.chop(static_cast<qsizetype>(QStringLiteral(".lock").size()));
    return lock + QStringLiteral(".socket");
}

bool TInstanceServer::OnSocket() const {
    return FSocket && FSocket->isListening();
}

bool TInstanceServer::Listen(const QString& socketPath) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() &&
        bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAllSlots)) {
        FOnBus = bus.registerService(QString::fromLatin1(kServiceName));
        if (!FOnBus) {
            bus.unregisterObject(QString::fromLatin1(kObjectPath));
        }
    }
    FSocket = new QLocalServer(this);
    FSocket->setSocketOptions(QLocalServer::UserAccessOption);
    // Whoever holds the instance lock owns the socket; one left by a crashed copy is in the way.
    QLocalServer::removeServer(socketPath);
    if (FSocket->listen(socketPath)) {
        connect(FSocket, &QLocalServer::newConnection, this, [this] { AcceptSocketClient(); });
    }
    return FOnBus || OnSocket();
}

void TInstanceServer::HandOver(const QStringList& arguments, const QString& workingFolder) {
    // After the caller has had its answer: what the arguments start (a box, a quit) must not hold it up.
    QTimer::singleShot(
        0, this, [this, arguments, workingFolder] { emit ArgumentsReceived(arguments, workingFolder); });
}

void TInstanceServer::AcceptSocketClient() {
    while (QLocalSocket* client = FSocket->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, client, [this, client] {
            if (client->bytesAvailable() > kMaxMessageBytes) {
                client->abort();
                return;
            }
            QDataStream stream(client);
            stream.startTransaction();
            QStringList arguments;
            QString workingFolder;
            stream >> arguments >> workingFolder;
            if (!stream.commitTransaction()) {
                return; // the rest has not arrived yet
            }
            client->write(&kAccepted, 1);
            client->flush();
            HandOver(arguments, workingFolder);
        });
    }
}

bool HandOverToRunningCopy(const QStringList& arguments, const QString& workingFolder, QString* errorText,
                           const QString& socketPath) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusInterface running(QString::fromLatin1(TInstanceServer::kServiceName),
                               QString::fromLatin1(TInstanceServer::kObjectPath),
                               QString::fromLatin1(TInstanceServer::kServiceName), bus);
        running.setTimeout(kTimeoutMs);
        const QDBusReply<void> reply = running.call(QStringLiteral("HandOver"), arguments, workingFolder);
        if (reply.isValid()) {
            return true;
        }
        if (errorText) {
            *errorText = reply.error().message();
        }
    }
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kTimeoutMs)) {
        if (errorText) {
            *errorText = socket.errorString();
        }
        return false;
    }
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream << arguments << workingFolder;
    socket.write(message);
    char answer = 0;
    if (!socket.waitForBytesWritten(kTimeoutMs) || !socket.waitForReadyRead(kTimeoutMs) ||
        socket.read(&answer, 1) != 1 || answer != kAccepted) {
        if (errorText) {
            *errorText = socket.errorString();
        }
        return false;
    }
    return true;
}

} // namespace tunelo
