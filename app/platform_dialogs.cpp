#include "platform_dialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

namespace tunelo {

TPlatformDialogs DesktopDialogs() {
    TPlatformDialogs dialogs;
    dialogs.OpenFileNames = [](QWidget* parent, const QString& title, const QString& folder,
                               const QString& filter) {
        return QFileDialog::getOpenFileNames(parent, title, folder, filter);
    };
    dialogs.OpenFileName = [](QWidget* parent, const QString& title, const QString& folder,
                              const QString& filter) {
        return QFileDialog::getOpenFileName(parent, title, folder, filter);
    };
    dialogs.SaveFileName = [](QWidget* parent, const QString& title, const QString& start,
                              const QString& filter, const QString& defaultSuffix, bool confirmOverwrite) {
        QFileDialog dialog(parent, title, start, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(defaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
        // The start may preset a name: QFileDialog takes a start path with a file name as the selection.
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return QString();
        }
        return dialog.selectedFiles().constFirst();
    };
    dialogs.FolderName = [](QWidget* parent, const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(parent, title, start);
    };
    dialogs.Message = [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, QGuiApplication::applicationDisplayName(), text);
    };
    dialogs.Confirm = [](QWidget* parent, const QString& text) {
        return QMessageBox::question(parent, QGuiApplication::applicationDisplayName(), text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    return dialogs;
}

} // namespace tunelo
