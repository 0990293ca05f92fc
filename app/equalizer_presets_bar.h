// The row above the equalizer's bars: the preset list (built-in curves, then the user's own), Save and
// Delete for the user's presets, and the pre-amp in dB. Choosing a preset moves the bars as a hand would,
// so the player hears it through the bars' own change handler; the list names the preset the bars match,
// and "Custom" when they match none. The pre-amp goes to the album player and is kept in the settings file.
#pragma once

#include <QComboBox>
#include <QSpinBox>
#include <QToolButton>
#include <QWidget>

#include <functional>

#include "equalizer_presets.h"

namespace tunelo {

class TPlatform;

class TEqualizerPresetBar : public QWidget {
public:
    // Asks for the name to save the bars under, offering the current one; empty on Cancel.
    using TNameQuestion = std::function<QString(QWidget* parent, const QString& current)>;

    TEqualizerPresetBar(TPlatform& window, QWidget* parent);

    QComboBox* PresetBox = nullptr;
    QToolButton* SaveButton = nullptr;
    QToolButton* DeleteButton = nullptr;
    QSpinBox* Preamp = nullptr;
    TNameQuestion AskName;

    // Moves the bars to the preset of that name; false when there is none.
    bool ApplyPreset(const QString& name);
    // Saves the bars under a name asked for (AskName), confirming before one is replaced.
    void SaveClick();
    // Deletes the chosen user preset after asking.
    void DeleteClick();
    // The gains the bars stand for (a bar up is a boost).
    TEqualizerGains BarGains() const;
    // The name the list shows; empty for Custom.
    QString CurrentPreset() const;

private:
    void FillList();
    void ShowMatchingPreset();
    bool IsUserPreset(const QString& name) const;

    TPlatform& FWindow;
    TEqualizerPresetStore FStore;
    std::vector<TEqualizerPreset> FUserPresets;
    bool FMovingBars = false;
};

} // namespace tunelo
