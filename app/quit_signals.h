// SIGTERM and SIGINT ask the program to quit the way the Quit command does, so that the window closes in
// order and every setting is written. The handler only writes a byte into a pipe; the GUI thread reads it
// through a socket notifier and runs the quit request there.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace tunelo {

class TQuitSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers for SIGTERM and SIGINT; the request runs on the GUI thread (signals that arrive
    // before it gets to run are answered by one request).
    explicit TQuitSignals(std::function<void()> request, QObject* owner = nullptr);
    // Puts the default handlers back.
    ~TQuitSignals() override;

    // Whether the handlers are in place (false when the pipe could not be made).
    bool Installed() const { return FNotifier != nullptr; }

private:
    void SignalArrived();

    std::function<void()> FRequest;
    QSocketNotifier* FNotifier = nullptr;
};

} // namespace tunelo
