// The application's standard error box: an error's message in a critical message box titled with the
// application's name. A hook may take its place (tests, or a host that reports errors elsewhere).
#pragma once

#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace tunelo {

void ShowErrorBox(const QString& message, QWidget* parent = nullptr);
// The message of any exception, UTF-8 decoded.
void ShowErrorBox(const std::exception& error, QWidget* parent = nullptr);
// Empty: the message box again.
void SetErrorBoxHook(std::function<void(const QString& message)> hook);

} // namespace tunelo
