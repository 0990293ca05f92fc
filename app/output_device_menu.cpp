#include "output_device_menu.h"

#include <QActionGroup>

#include <algorithm>

#include "ini_file.h"
#include "wave_device.h"

namespace tunelo {

namespace {

constexpr const char* kSection = "Options";
constexpr const char* kKey = "OutputDevice";

} // namespace

TOutputDeviceMenu::TOutputDeviceMenu(std::string iniFileName, QWidget* parent)
    : QMenu(QStringLiteral("Sound output"), parent), FIniFileName(std::move(iniFileName)) {
    setObjectName(QStringLiteral("OutputDeviceMenu"));
    // Sinks come and go (headphones, Bluetooth): the list is made when the user looks at it.
    connect(this, &QMenu::aboutToShow, this, [this] { Refresh(); });
}

void TOutputDeviceMenu::ApplyStored() {
    SetWaveOutputChoice(TMPIniFile(FIniFileName).ReadString(kSection, kKey, ""));
}

void TOutputDeviceMenu::Refresh() {
    clear();
    auto* group = new QActionGroup(this);
    const std::string current = WaveOutputChoice();
    const auto add = [&](const QString& caption, const std::string& name) {
        QAction* action = addAction(caption);
        action->setCheckable(true);
        action->setChecked(name == current);
        action->setData(QString::fromStdString(name));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, name] { Choose(name); });
    };
    add(QStringLiteral("Automatic"), {});
    addSeparator();
    bool currentListed = current.empty();
    const std::vector<TMPWaveOutput> outputs = ListWaveOutputs();
    for (const TMPWaveOutput& output : outputs) {
        // Two outputs of one model (two USB headsets) share a description: their names tell them apart.
        const bool shared = std::count_if(outputs.begin(), outputs.end(), [&](const TMPWaveOutput& other) {
                                return other.Description == output.Description;
                            }) > 1;
        const std::string caption =
            shared ? output.Description + " (" + output.Name + ")" : output.Description;
        add(QString::fromStdString(caption), output.Name);
        currentListed |= output.Name == current;
    }
    // A stored device that is not there now (unplugged) stays visible, so the user sees why it is silent.
    if (!currentListed) {
        add(QString::fromStdString(current + " (not available)"), current);
    }
}

void TOutputDeviceMenu::Choose(const std::string& name) {
    SetWaveOutputChoice(name);
    TMPIniFile(FIniFileName).WriteString(kSection, kKey, name);
}

} // namespace tunelo
