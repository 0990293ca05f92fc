// One QApplication for the whole test program, on the offscreen platform unless another one is chosen, and
// the event-loop helpers the Qt tests share. A test program that needs more around the application (the
// window tests host the engine) registers a subclass instead of this environment.
#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tunelo::test {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        BeforeStart();
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "tunelo-qt-test";
        static char* argv[] = {name, nullptr};
        FApplication = new QApplication(argc, argv);
        Started();
    }
    void TearDown() override {
        Ending();
        delete FApplication;
    }

protected:
    virtual void BeforeStart() {}
    virtual void Started() {}
    virtual void Ending() {}

private:
    QApplication* FApplication = nullptr;
};

// Runs the event loop (which also delivers the players' events) until the condition holds or the limit
// passes; whether it held.
inline bool ProcessEventsUntil(const std::function<bool()>& condition, int limitMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs the event loop for a while (for checking that something does not happen).
inline void ProcessEventsFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

} // namespace tunelo::test
