#include "quit_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tunelo {

namespace {

// The pipe's ends; the handler may only touch these.
int gPipe[2] = {-1, -1};

void WriteWakeByte(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a pending request; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = write(gPipe[1], &byte, 1);
    errno = savedErrno;
}

void SetHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

TQuitSignals::TQuitSignals(std::function<void()> request, QObject* owner)
    : QObject(owner), FRequest(std::move(request)) {
    if (gPipe[0] < 0 && pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return;
    }
    FNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TQuitSignals::SignalArrived);
    SetHandler(SIGTERM, &WriteWakeByte);
    SetHandler(SIGINT, &WriteWakeByte);
}

TQuitSignals::~TQuitSignals() {
    if (FNotifier) {
        SetHandler(SIGTERM, SIG_DFL);
        SetHandler(SIGINT, SIG_DFL);
    }
}

void TQuitSignals::SignalArrived() {
    char bytes[16];
    bool arrived = false;
    while (read(gPipe[0], bytes, sizeof(bytes)) > 0) {
        arrived = true;
    }
    if (arrived && FRequest) {
        FRequest();
    }
}

} // namespace tunelo
