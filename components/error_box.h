// The application's standard error box: an error's message in a critical message box titled with the
// application's name. A hook may take its place (tests, or a host that reports errors elsewhere).
#pragma once

#include <QString>

#include <exception>
#include <functional>

class QMessageBox;
class QWidget;

namespace tunelo {

void ShowErrorBox(const QString& message, QWidget* parent = nullptr);
// The message of any exception, UTF-8 decoded.
void ShowErrorBox(const std::exception& error, QWidget* parent = nullptr);
// A report that does not stop the window (the album's "could not be added" list): a warning box shown
// without modality, deleted when closed; the hook takes it as it takes the error boxes. Returns the box,
// or nullptr when the hook took it.
QMessageBox* ShowReportBox(const QString& message, QWidget* parent = nullptr);
// Empty: the message box again.
void SetErrorBoxHook(std::function<void(const QString& message)> hook);

} // namespace tunelo
