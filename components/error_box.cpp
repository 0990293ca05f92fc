#include "error_box.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace tunelo {

namespace {

std::function<void(const QString&)>& Hook() {
    static std::function<void(const QString&)> hook;
    return hook;
}

} // namespace

void ShowErrorBox(const QString& message, QWidget* parent) {
    if (Hook()) {
        Hook()(message);
        return;
    }
    QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), message);
}

void ShowErrorBox(const std::exception& error, QWidget* parent) {
    ShowErrorBox(QString::fromUtf8(error.what()), parent);
}

QMessageBox* ShowReportBox(const QString& message, QWidget* parent) {
    if (Hook()) {
        Hook()(message);
        return nullptr;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), message,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setModal(false);
    box->show();
    return box;
}

void SetErrorBoxHook(std::function<void(const QString& message)> hook) {
    Hook() = std::move(hook);
}

} // namespace tunelo
