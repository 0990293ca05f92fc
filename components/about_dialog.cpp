#include "AboutDlg.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include "main_form.h"
#include "transport_pictures.h"

namespace tunelo {

namespace {

constexpr int32_t kButtonWidth = 64;
constexpr int32_t kButtonHeight = 24;
constexpr int32_t kMargin = 8;
constexpr int32_t kPictureSize = 48;
constexpr int32_t kRightOfPicture = kMargin + kPictureSize; // 56

QPoint CentredOn(QRect area, QSize window) {
    // C++ integer division rounds toward zero, as the placement wants for windows larger than the area.
    return {area.left() + (area.width() - window.width()) / 2,
            area.top() + (area.height() - window.height()) / 2};
}

QLabel* AddLabel(QDialog* dialog, const QString& text, const QFont& base, int pointSize) {
    auto* label = new QLabel(dialog);
    QFont font = base;
    font.setPointSize(pointSize);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->adjustSize();
    return label;
}

} // namespace

QPoint AboutFormOrigin(TFPosition position, QPoint designed, QSize window, QRect screen, QRect mainForm,
                       QRect ownerForm) {
    switch (position) {
    case fpDesigned:
        return designed;
    case fpMainFormCenter:
        return CentredOn(mainForm.isEmpty() ? screen : mainForm, window);
    case fpOwnerFormCenter:
        return CentredOn(ownerForm.isEmpty() ? screen : ownerForm, window);
    case fpScreenCenter:
        break;
    }
    return CentredOn(screen, window);
}

TAboutLayout AboutLayout(QSize client, QSize appName, QSize version, QSize memo) {
    TAboutLayout layout;
    layout.CloseButton = QRect((client.width() - kButtonWidth) / 2, client.height() - kButtonHeight - kMargin,
                               kButtonWidth, kButtonHeight);
    layout.Picture = QRect(kMargin, kMargin, kPictureSize, kPictureSize);
    layout.AppName =
        QRect(kRightOfPicture + (client.width() - (kRightOfPicture + appName.width() + kMargin)) / 2, kMargin,
              appName.width(), appName.height());
    layout.Version = QRect((client.width() - version.width()) / 2, 36, version.width(), version.height());
    layout.Memo = QRect((client.width() - memo.width()) / 2, 54, memo.width(), memo.height());
    return layout;
}

TAboutDialog::TAboutDialog(QObject* owner) : QObject(owner), FFont(QApplication::font()) {}

QDialog* TAboutDialog::CreateDialog() const {
    auto* ownerWidget = qobject_cast<QWidget*>(parent());
    QWidget* ownerForm = ownerWidget ? ownerWidget->window() : nullptr;

    // A dialog border with a title and no buttons in it: the box closes through its own button.
    auto* dialog = new QDialog(ownerForm, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog->setWindowTitle(FCaption);
    dialog->setFont(FFont);
    dialog->setFixedSize(FFormWidth, FFormHeight);

    QLabel* appName = AddLabel(dialog, FAppName, FFont, 16);
    QLabel* version = AddLabel(dialog, FVersion, FFont, 10);
    QLabel* memo = AddLabel(dialog, FMemo, FFont, 10);
    const TAboutLayout layout =
        AboutLayout(QSize(FFormWidth, FFormHeight), appName->size(), version->size(), memo->size());
    appName->setGeometry(layout.AppName);
    version->setGeometry(layout.Version);
    memo->setGeometry(layout.Memo);

    auto* picture = new QLabel(dialog);
    picture->setGeometry(layout.Picture);
    picture->setPixmap(FIcon.pixmap(kPictureSize, kPictureSize));

    auto* close = new QPushButton(FCloseButton, dialog);
    close->setGeometry(layout.CloseButton);
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::accept);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenArea = screen ? screen->geometry() : QRect();
    const QWidget* mainForm = MainForm();
    const QPoint origin = AboutFormOrigin(
        FFormPosition, QPoint(FFormLeft, FFormTop), dialog->frameGeometry().size(), screenArea,
        mainForm ? mainForm->frameGeometry() : QRect(), ownerForm ? ownerForm->frameGeometry() : QRect());
    dialog->move(origin);
    return dialog;
}

int TAboutDialog::Execute() const {
    // Guarded: closing the owner while the box is up destroys the box with it.
    const QPointer<QDialog> dialog = CreateDialog();
    const int result = dialog->exec();
    delete dialog.data();
    return result;
}

void AssignTuneloAbout(TAboutDialog& about) {
    about.SetAppName(QStringLiteral("MP3 Juke Box : TUNELO"));
    about.SetCaption(QStringLiteral("About TUNELO"));
    about.SetCloseButton(QStringLiteral("OK"));
    about.SetFormWidth(320);
    about.SetFormHeight(104);
    about.SetFormPosition(fpScreenCenter);
    about.SetVersion(QStringLiteral("Version 0.03 [Jun.13,Thu.2002]"));
    about.SetIcon(TuneloProgramIcon());
    about.SetMemo(QStringLiteral("Written by the TUNELO developers"));
}

} // namespace tunelo
