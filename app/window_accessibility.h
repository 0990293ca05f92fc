// The main window for the keyboard and for screen readers: every control takes the focus with Tab (a click
// leaves the focus where it was, so the window's shortcuts keep working after a mouse click), in reading
// order, and carries an accessible name and a description of what it does.
#pragma once

#include <vector>

class QWidget;

namespace tunelo {

class TPlatform;

// Names the controls, gives them the Tab focus and sets the Tab order; the album grid starts with the focus.
// Returns the controls in Tab order.
std::vector<QWidget*> MakeControlsAccessible(TPlatform& window);

} // namespace tunelo
