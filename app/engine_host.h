// Hosts the player engine in the Qt program: the engine's hidden message windows are drained on the GUI
// thread, the engine's "process pending messages" runs Qt's own event processing, and errors the engine
// reports (from any thread) reach the standard error box on the GUI thread.
#pragma once

namespace tunelo {

// Call once on the GUI thread after the QApplication exists and before any player is created.
void InstallEngineHost();
// Takes the hooks away again (before the QApplication goes).
void RemoveEngineHost();

} // namespace tunelo
