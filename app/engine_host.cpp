#include "engine_host.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>

#include "MP3Trds.h"
#include "error_box.h"
#include "main_form.h"
#include "message_window.h"
#include "player_error_text.h"

namespace tunelo {

namespace {

// One drain request waiting in Qt's queue is enough: the drain takes everything posted before it runs, so
// a burst of posts from a worker costs one Qt event, not one per message.
std::atomic<bool> gDrainQueued{false};

void DrainEngineMessages() {
    gDrainQueued.store(false);
    ProcessMessages();
}

void WakeGuiThread() {
    QCoreApplication* const application = QCoreApplication::instance();
    if (!application || gDrainQueued.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(application, &DrainEngineMessages, Qt::QueuedConnection);
}

void DisplayEngineError(const std::exception& error) {
    // The engine's errors in words a person can act on; the file is not known here (a file error names it).
    const QString message = PlayerErrorText(error, {});
    QCoreApplication* const application = QCoreApplication::instance();
    if (!application) {
        return;
    }
    if (QThread::currentThread() == application->thread()) {
        ShowErrorBox(message, MainForm());
        return;
    }
    QMetaObject::invokeMethod(
        application, [message] { ShowErrorBox(message, MainForm()); }, Qt::QueuedConnection);
}

} // namespace

void InstallEngineHost() {
    SetMessageWakeHook(&WakeGuiThread);
    SetApplicationPump([] { QCoreApplication::processEvents(); });
    SetErrorDisplay(&DisplayEngineError);
}

void RemoveEngineHost() {
    SetMessageWakeHook(nullptr);
    SetApplicationPump(nullptr);
    SetErrorDisplay(nullptr);
}

} // namespace tunelo
