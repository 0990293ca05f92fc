// The most recently used file names as items of a menu, kept in the settings file. Slot 1 is the newest;
// item k of the menu shows slot k as "&<k in lower-case hex> <name>". Choosing an item reports its name.
//
// Settings: section "KeepFileNames", keys "FileName1" (newest) to "FileName16", read when the menu is
// attached and written (the section erased first, all sixteen keys, empty ones included) when the
// component is destroyed.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tunelo {

class TFileNameKeep : public QObject {
    Q_OBJECT

public:
    static constexpr int32_t Capacity = 16;
    using TFileNameSelectEvent = std::function<void(const QString& selectFileName)>;

    explicit TFileNameKeep(QObject* owner = nullptr);
    // Saves the names to the settings file (when a menu was ever attached).
    ~TFileNameKeep() override;

    // The menu whose items the names become; its own item is enabled exactly when it has items. Setting
    // it reads the names from the settings file.
    QMenu* ParentMenu() const { return FParentMenu; }
    void SetParentMenu(QMenu* menu);
    // The settings file; the program's own (ApplicationIniPath) unless set. Set it before ParentMenu.
    const std::string& IniFileName() const { return FIniFileName; }
    void SetIniFileName(std::string fileName) { FIniFileName = std::move(fileName); }

    // Puts a name in slot 1. A name already kept (same letters, same case) moves there; otherwise the
    // others move down one slot and the name in slot 16 drops out. Nothing without a menu or a name.
    void Add(const QString& name);
    // Removes every item and name, then reads the settings file again (which the caller has usually
    // emptied first, leaving the menu empty).
    void ClearAll();
    // Erases the section and writes all sixteen slots.
    void Save() const;

    // The name in slot 1..16 (empty when the slot is free or out of range).
    QString Name(int32_t slot) const;
    // The kept names, newest first.
    QStringList Names() const;
    // The menu's items, item 1 first.
    const std::vector<QAction*>& Items() const { return FItems; }

    TFileNameSelectEvent OnSelect;

private:
    void Load();
    void Recaption();
    void UpdateParent();
    void Select(const QAction* item);

    QPointer<QMenu> FParentMenu;
    std::array<QString, Capacity> FNames;
    std::vector<QAction*> FItems;
    std::string FIniFileName;
    bool FAttached = false;
};

// The caption of item k (1-based) showing name: "&" + k in lower-case hexadecimal + " " + name, with the
// name's own ampersands doubled so that they show as written.
QString KeepCaption(int32_t item, const QString& name);

} // namespace tunelo
