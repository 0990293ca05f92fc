// The application's main form: the window that dialogs centre on when asked to centre on the main form.
#pragma once

class QWidget;

namespace tunelo {

// The main window registers itself once it exists; none is registered at start.
void SetMainForm(QWidget* form);
// The registered form while it exists, else none.
QWidget* MainForm();

} // namespace tunelo
