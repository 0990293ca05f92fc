#include "main_form.h"

#include <QPointer>
#include <QWidget>

namespace tunelo {

namespace {

QPointer<QWidget>& Registered() {
    static QPointer<QWidget> form;
    return form;
}

} // namespace

void SetMainForm(QWidget* form) {
    Registered() = form;
}

QWidget* MainForm() {
    return Registered();
}

} // namespace tunelo
