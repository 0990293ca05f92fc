// The window's choice of sound output: a submenu whose entries are "Automatic" and what the wave device
// can reach now (the sound server's sinks, else ALSA's devices), listed afresh each time it opens. A choice
// applies from the next Play on and is kept in the INI ([Options] OutputDevice; empty: automatic).
#pragma once

#include <QMenu>

#include <string>

namespace tunelo {

class TOutputDeviceMenu : public QMenu {
    Q_OBJECT

public:
    TOutputDeviceMenu(std::string iniFileName, QWidget* parent);

    // Hands the stored choice to the wave device.
    void ApplyStored();
    // Lists the outputs, the current choice checked.
    void Refresh();
    void Choose(const std::string& name);

private:
    std::string FIniFileName;
};

} // namespace tunelo
