// The dialogs and message boxes the main window asks the user through. The window calls them through
// this table so that a host without a user (the tests) can answer in their place; the defaults are the
// desktop's own file dialogs and message boxes.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace tunelo {

struct TPlatformDialogs {
    // Files to open (several may be chosen), in the dialog's order; empty on Cancel.
    std::function<QStringList(QWidget* parent, const QString& title, const QString& folder,
                              const QString& filter)>
        OpenFileNames;
    // One file to open; empty on Cancel.
    std::function<QString(QWidget* parent, const QString& title, const QString& folder,
                          const QString& filter)>
        OpenFileName;
    // A file to save to, starting at the given path (a folder, or a folder and a preset name); the default
    // suffix is added to a name typed without one; an existing file is confirmed first when asked to.
    // Empty on Cancel.
    std::function<QString(QWidget* parent, const QString& title, const QString& start, const QString& filter,
                          const QString& defaultSuffix, bool confirmOverwrite)>
        SaveFileName;
    // A folder to take, starting at the given one; empty on Cancel.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)> FolderName;
    // A message with an OK button.
    std::function<void(QWidget* parent, const QString& text)> Message;
    // A question with Yes and No; true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> Confirm;
};

// The desktop's dialogs and message boxes, titled with the application's name where they have no title.
TPlatformDialogs DesktopDialogs();

} // namespace tunelo
