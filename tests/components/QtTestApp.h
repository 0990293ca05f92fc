// One QApplication for the whole test program, on the offscreen platform unless another one is chosen.
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
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "tunelo-components-test";
        static char* argv[] = {name, nullptr};
        FApplication = new QApplication(argc, argv);
    }
    void TearDown() override { delete FApplication; }

private:
    QApplication* FApplication = nullptr;
};

inline ::testing::Environment* const gQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// Runs the event loop until the condition holds or the limit passes; whether it held.
inline bool ProcessEventsUntil(const std::function<bool()>& condition, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs the event loop for a while (for checking that something does not happen).
inline void ProcessEventsFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

} // namespace tunelo::test
