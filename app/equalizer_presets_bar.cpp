#include "equalizer_presets_bar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>

#include "Unit4.h"

namespace tunelo {

namespace {

QString AskNameWithDialog(QWidget* parent, const QString& current) {
    bool accepted = false;
    const QString name =
        QInputDialog::getText(parent, QStringLiteral("Save Equalizer Preset"), QStringLiteral("Preset name:"),
                              QLineEdit::Normal, current, &accepted);
    return accepted ? name : QString();
}

QToolButton* RowButton(QWidget* parent, const QString& text, const QString& name, const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setObjectName(name);
    button->setToolTip(hint);
    return button;
}

} // namespace

TEqualizerPresetBar::TEqualizerPresetBar(TPlatform& window, QWidget* parent)
    : QWidget(parent), AskName(&AskNameWithDialog), FWindow(window), FStore(window.IniFileName()) {
    setObjectName(QStringLiteral("EQPresets"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);

    auto* presetLabel = new QLabel(QStringLiteral("Preset"), this);
    PresetBox = new QComboBox(this);
    PresetBox->setObjectName(QStringLiteral("EQPreset"));
    PresetBox->setToolTip(QStringLiteral("Equalizer presets"));
    PresetBox->setPlaceholderText(QStringLiteral("Custom"));
    PresetBox->setMinimumContentsLength(12);
    PresetBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    presetLabel->setBuddy(PresetBox);
    SaveButton = RowButton(this, QStringLiteral("Save..."), QStringLiteral("EQSavePreset"),
                           QStringLiteral("Save the bars as a preset"));
    DeleteButton = RowButton(this, QStringLiteral("Delete"), QStringLiteral("EQDeletePreset"),
                             QStringLiteral("Delete this preset"));

    auto* preampLabel = new QLabel(QStringLiteral("Pre-amp"), this);
    Preamp = new QSpinBox(this);
    Preamp->setObjectName(QStringLiteral("EQPreamp"));
    Preamp->setToolTip(QStringLiteral("Level before the bands; a boost is held below clipping"));
    Preamp->setRange(TEqualizerPresetStore::kPreampMin, TEqualizerPresetStore::kPreampMax);
    Preamp->setSuffix(QStringLiteral(" dB"));
    // The system's colours for the entry field, not the window's black.
    Preamp->setPalette(QApplication::palette(Preamp));
    preampLabel->setBuddy(Preamp);

    row->addWidget(presetLabel);
    row->addWidget(PresetBox);
    row->addWidget(SaveButton);
    row->addWidget(DeleteButton);
    row->addStretch(1);
    row->addWidget(preampLabel);
    row->addWidget(Preamp);

    // The stored pre-amp reaches the player before anything plays.
    Preamp->setValue(FStore.Preamp());
    FWindow.MP3Player1->SetEqualizerPreamp(Preamp->value());
    connect(Preamp, &QSpinBox::valueChanged, this, [this](int decibels) {
        FWindow.MP3Player1->SetEqualizerPreamp(decibels);
        FStore.SetPreamp(decibels);
    });

    connect(PresetBox, &QComboBox::activated, this,
            [this](int index) { ApplyPreset(PresetBox->itemText(index)); });
    connect(SaveButton, &QToolButton::clicked, this, [this] { SaveClick(); });
    connect(DeleteButton, &QToolButton::clicked, this, [this] { DeleteClick(); });
    for (QSlider* bar : FWindow.EQ) {
        connect(bar, &QSlider::valueChanged, this, [this] {
            if (!FMovingBars) {
                ShowMatchingPreset();
            }
        });
    }
    FillList();
}

TEqualizerGains TEqualizerPresetBar::BarGains() const {
    TEqualizerGains gains{};
    for (size_t band = 0; band < gains.size(); ++band) {
        // A bar up is a boost: its value is the band's gain with the sign turned.
        gains[band] = -FWindow.EQ[band]->value();
    }
    return gains;
}

QString TEqualizerPresetBar::CurrentPreset() const {
    return PresetBox->currentIndex() >= 0 ? PresetBox->currentText() : QString();
}

void TEqualizerPresetBar::FillList() {
    FUserPresets = FStore.UserPresets();
    PresetBox->clear();
    for (const TEqualizerPreset& preset : BuiltInEqualizerPresets()) {
        PresetBox->addItem(QString::fromStdString(preset.Name));
    }
    if (!FUserPresets.empty()) {
        PresetBox->insertSeparator(PresetBox->count());
    }
    for (const TEqualizerPreset& preset : FUserPresets) {
        PresetBox->addItem(QString::fromStdString(preset.Name));
    }
    ShowMatchingPreset();
}

void TEqualizerPresetBar::ShowMatchingPreset() {
    const QString name = QString::fromStdString(MatchingEqualizerPreset(BarGains(), FUserPresets));
    PresetBox->setCurrentIndex(name.isEmpty() ? -1 : PresetBox->findText(name));
    DeleteButton->setEnabled(IsUserPreset(CurrentPreset()));
}

bool TEqualizerPresetBar::IsUserPreset(const QString& name) const {
    return !name.isEmpty() && std::any_of(FUserPresets.begin(), FUserPresets.end(), [&](const auto& preset) {
        return QString::fromStdString(preset.Name) == name;
    });
}

bool TEqualizerPresetBar::ApplyPreset(const QString& name) {
    const TEqualizerPreset* found = FindEqualizerPreset(name.toStdString(), FUserPresets);
    if (!found) {
        return false;
    }
    // Each bar that moves sends the bands, as when the user drags it.
    FMovingBars = true;
    for (size_t band = 0; band < found->Gains.size(); ++band) {
        FWindow.EQ[band]->setValue(-found->Gains[band]);
    }
    FMovingBars = false;
    ShowMatchingPreset();
    return true;
}

void TEqualizerPresetBar::SaveClick() {
    const QString current = IsUserPreset(CurrentPreset()) ? CurrentPreset() : QString();
    const QString name = AskName(this, current);
    if (name.trimmed().isEmpty()) {
        return;
    }
    const std::string problem = TEqualizerPresetStore::NameProblem(name.toStdString());
    if (!problem.empty()) {
        FWindow.Dialogs().Message(this, QString::fromStdString(problem));
        return;
    }
    const QString trimmed = QString::fromStdString(TEqualizerPresetStore::Trimmed(name.toStdString()));
    const bool exists = std::any_of(FUserPresets.begin(), FUserPresets.end(), [&](const auto& preset) {
        return QString::fromStdString(preset.Name).compare(trimmed, Qt::CaseInsensitive) == 0;
    });
    if (exists && !FWindow.Dialogs().Confirm(
                      this, QStringLiteral("Replace the equalizer preset \"%1\"?").arg(trimmed))) {
        return;
    }
    if (!FStore.Save(trimmed.toStdString(), BarGains())) {
        FWindow.Dialogs().Message(this, QStringLiteral("The preset could not be saved in %1.")
                                            .arg(QString::fromStdString(FWindow.IniFileName())));
        return;
    }
    FillList();
}

void TEqualizerPresetBar::DeleteClick() {
    const QString name = CurrentPreset();
    if (!IsUserPreset(name) ||
        !FWindow.Dialogs().Confirm(this, QStringLiteral("Delete the equalizer preset \"%1\"?").arg(name))) {
        return;
    }
    FStore.Delete(name.toStdString());
    FillList();
}

} // namespace tunelo
