#include "FileNameKeeper.h"

#include <algorithm>

#include "ini_file.h"

namespace tunelo {

namespace {

constexpr const char* kSection = "KeepFileNames";

std::string KeyOf(int32_t slot) {
    return "FileName" + std::to_string(slot);
}

} // namespace

QString KeepCaption(int32_t item, const QString& name) {
    QString shown = name;
    shown.replace(u'&', QStringLiteral("&&"));
    return QStringLiteral("&") + QString::number(item, 16) + u' ' + shown;
}

TFileNameKeep::TFileNameKeep(QObject* owner) : QObject(owner), FIniFileName(ApplicationIniPath()) {}

TFileNameKeep::~TFileNameKeep() {
    if (FAttached) {
        Save();
    }
}

void TFileNameKeep::SetParentMenu(QMenu* menu) {
    if (FParentMenu) {
        for (QAction* item : FItems) {
            FParentMenu->removeAction(item);
        }
    }
    FParentMenu = menu;
    if (!FParentMenu) {
        return;
    }
    FParentMenu->addActions({FItems.begin(), FItems.end()});
    FAttached = true;
    Load();
}

void TFileNameKeep::Load() {
    const TMPIniFile ini(FIniFileName);
    // From the oldest to the newest, so that adding rebuilds the order.
    for (int32_t slot = Capacity; slot >= 1; --slot) {
        Add(QString::fromStdString(ini.ReadString(kSection, KeyOf(slot), "")));
    }
    UpdateParent();
}

void TFileNameKeep::Add(const QString& name) {
    if (!FParentMenu || name.isEmpty()) {
        return;
    }
    const auto kept = std::find(FNames.begin(), FNames.end(), name);
    if (kept != FNames.end()) {
        std::rotate(FNames.begin(), kept, kept + 1);
    } else {
        if (FItems.size() < static_cast<size_t>(Capacity)) {
            auto* item = new QAction(this);
            connect(item, &QAction::triggered, this, [this, item] { Select(item); });
            FParentMenu->addAction(item);
            FItems.push_back(item);
        }
        std::rotate(FNames.begin(), FNames.end() - 1, FNames.end());
        FNames[0] = name;
    }
    Recaption();
    UpdateParent();
}

void TFileNameKeep::Recaption() {
    for (size_t k = 0; k < FItems.size(); ++k) {
        FItems[k]->setText(KeepCaption(static_cast<int32_t>(k + 1), FNames[k]));
    }
}

void TFileNameKeep::UpdateParent() {
    if (FParentMenu) {
        FParentMenu->menuAction()->setEnabled(!FItems.empty());
    }
}

void TFileNameKeep::Select(const QAction* item) {
    // The name comes from the slot, not from the caption text, so names with leading blanks or
    // ampersands come back exactly as they were kept.
    const auto found = std::find(FItems.begin(), FItems.end(), item);
    if (found == FItems.end() || !OnSelect) {
        return;
    }
    const QString name = FNames[static_cast<size_t>(found - FItems.begin())];
    OnSelect(name);
}

void TFileNameKeep::ClearAll() {
    for (QAction* item : FItems) {
        if (FParentMenu) {
            FParentMenu->removeAction(item);
        }
        delete item;
    }
    FItems.clear();
    FNames.fill(QString());
    if (FParentMenu) {
        Load();
    }
}

void TFileNameKeep::Save() const {
    TMPIniFile ini(FIniFileName);
    ini.EraseSection(kSection);
    for (int32_t slot = 1; slot <= Capacity; ++slot) {
        ini.WriteString(kSection, KeyOf(slot), FNames[static_cast<size_t>(slot - 1)].toStdString());
    }
}

QString TFileNameKeep::Name(int32_t slot) const {
    if (slot < 1 || slot > Capacity) {
        return {};
    }
    return FNames[static_cast<size_t>(slot - 1)];
}

QStringList TFileNameKeep::Names() const {
    QStringList names;
    for (const QString& name : FNames) {
        if (!name.isEmpty()) {
            names.append(name);
        }
    }
    return names;
}

} // namespace tunelo
