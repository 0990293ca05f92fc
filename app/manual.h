// The program's manual: an HTML page built into the program, written out to a file and shown in the
// desktop's browser.
#pragma once

#include <QString>

namespace tunelo {

// Where the manual is written: the user's cache folder for the program.
QString ManualFilePath();
// Writes the manual to ManualFilePath (again each time, so it always matches the program); false with a
// message when it cannot be written.
bool WriteManual(QString* error = nullptr);
// Writes the manual and asks the desktop to open it at its contents; false with a message on failure.
bool OpenManual(QString* error = nullptr);

} // namespace tunelo
