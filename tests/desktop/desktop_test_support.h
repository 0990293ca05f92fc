// What the desktop tests share on top of the window tests' support: a client of its own on the session bus
// (a second connection, as another program would have), calls that wait while the window's event loop
// runs, and a recorder of the signals the player sends.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>

#include <gtest/gtest.h>

#include <vector>

#include "window_test_support.h"

namespace tunelo::test {

// A session bus connection of its own; the window's service sits on the default one.
inline QDBusConnection ClientBus() {
    static const QString kName = QStringLiteral("tunelo-test-client");
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kName);
    return bus;
}

// Sends a call and runs the event loop until its answer comes (the window answers from this very loop).
inline QDBusMessage CallAndWait(const QString& service, const QString& path, const QString& interface,
                                const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    QDBusPendingCall pending = ClientBus().asyncCall(message, 10000);
    ProcessEventsUntil([&pending] { return pending.isFinished(); }, 15000);
    return pending.reply();
}

// A property of the player interface of the MPRIS service on the bus.
inline QVariant MprisPlayerProperty(const char* name) {
    const QDBusMessage reply = CallAndWait(
        QStringLiteral("org.mpris.MediaPlayer2.tunelo"), QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
        {QStringLiteral("org.mpris.MediaPlayer2.Player"), QString::fromLatin1(name)});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

// Records the signals a path sends, by member name.
class TSignalRecorder : public QObject {
    Q_OBJECT

public:
    TSignalRecorder(const QString& service, const QString& path, const QString& interface,
                    const QString& name) {
        ClientBus().connect(service, path, interface, name, this, SLOT(Received(QDBusMessage)));
    }
    std::vector<QDBusMessage> Messages;

public slots:
    void Received(const QDBusMessage& message) { Messages.push_back(message); }
};

// Whether one of the recorded PropertiesChanged signals gave the property that value; runs the event loop
// until one does or the limit passes.
inline bool ToldOf(const TSignalRecorder& changes, const char* property, const QVariant& value) {
    return ProcessEventsUntil([&changes, property, &value] {
        for (const QDBusMessage& message : changes.Messages) {
            const QVariantMap changed =
                qdbus_cast<QVariantMap>(message.arguments().at(1).value<QDBusArgument>());
            const QString name = QString::fromLatin1(property);
            if (changed.contains(name) && changed.value(name) == value) {
                return true;
            }
        }
        return false;
    });
}

} // namespace tunelo::test
