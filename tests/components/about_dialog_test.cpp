#include "AboutDlg.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <memory>

#include "MainForm.h"
#include "qt_environment.h"

namespace tunelo {
namespace {

const QRect kScreen(0, 0, 1024, 768);

TEST(AboutPlacementTest, CentredOnTheScreen) {
    const QPoint origin = AboutFormOrigin(fpScreenCenter, {}, QSize(326, 130), kScreen, {}, {});
    EXPECT_EQ(origin, QPoint(349, 319));
    // A window wider than the screen: the halved offset rounds toward zero, not down.
    EXPECT_EQ(AboutFormOrigin(fpScreenCenter, {}, QSize(1101, 771), kScreen, {}, {}), QPoint(-38, -1));
}

TEST(AboutPlacementTest, DesignedMainFormAndOwnerForm) {
    EXPECT_EQ(AboutFormOrigin(fpDesigned, QPoint(17, -4), QSize(326, 130), kScreen, {}, {}), QPoint(17, -4));
    const QRect mainForm(100, 50, 586, 481);
    const QRect ownerForm(600, 400, 200, 100);
    EXPECT_EQ(AboutFormOrigin(fpMainFormCenter, {}, QSize(326, 130), kScreen, mainForm, ownerForm),
              QPoint(230, 225));
    EXPECT_EQ(AboutFormOrigin(fpOwnerFormCenter, {}, QSize(326, 130), kScreen, mainForm, ownerForm),
              QPoint(537, 385));
    // Without such a form, the screen's centre.
    EXPECT_EQ(AboutFormOrigin(fpMainFormCenter, {}, QSize(326, 130), kScreen, {}, ownerForm),
              QPoint(349, 319));
    EXPECT_EQ(AboutFormOrigin(fpOwnerFormCenter, {}, QSize(326, 130), kScreen, mainForm, {}),
              QPoint(349, 319));
}

TEST(AboutPlacementTest, ChildrenOfA320By104Box) {
    const TAboutLayout layout = AboutLayout(QSize(320, 104), QSize(200, 26), QSize(151, 15), QSize(90, 15));
    EXPECT_EQ(layout.CloseButton, QRect(128, 72, 64, 24));
    EXPECT_EQ(layout.Picture, QRect(8, 8, 48, 48));
    EXPECT_EQ(layout.AppName, QRect(84, 8, 200, 26)); // 56 + (320 - (56 + 200 + 8)) / 2
    EXPECT_EQ(layout.Version, QRect(84, 36, 151, 15));
    EXPECT_EQ(layout.Memo, QRect(115, 54, 90, 15));
    // A name too wide for the space: the offset is negative and rounds toward zero.
    EXPECT_EQ(AboutLayout(QSize(320, 104), QSize(259, 26), {}, {}).AppName.left(), 56 + (-3 / 2));
    EXPECT_EQ(AboutLayout(QSize(320, 104), QSize(259, 26), {}, {}).AppName.left(), 55);
}

template <typename T> T* ChildWithText(QDialog* dialog, const QString& text) {
    for (T* child : dialog->findChildren<T*>()) {
        if (child->text() == text) {
            return child;
        }
    }
    return nullptr;
}

TEST(AboutDialogTest, TheJukeboxesBoxIsBuiltFromItsValues) {
    TAboutDialog about;
    EXPECT_EQ(about.FormWidth(), 320);
    EXPECT_EQ(about.FormHeight(), 120);
    EXPECT_EQ(about.FormPosition(), fpDesigned);
    AssignTuneloAbout(about);

    const std::unique_ptr<QDialog> dialog(about.CreateDialog());
    EXPECT_EQ(dialog->windowTitle(), "About TUNELO");
    EXPECT_EQ(dialog->size(), QSize(320, 104));
    EXPECT_FALSE(dialog->isVisible());

    QPushButton* ok = ChildWithText<QPushButton>(dialog.get(), "OK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->geometry(), QRect(128, 72, 64, 24));

    QLabel* name = ChildWithText<QLabel>(dialog.get(), "MP3 Juke Box : TUNELO");
    QLabel* version = ChildWithText<QLabel>(dialog.get(), "Version 0.03 [Jun.13,Thu.2002]");
    ASSERT_NE(name, nullptr);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(name->font().pointSize(), 16);
    EXPECT_EQ(version->font().pointSize(), 10);
    EXPECT_EQ(name->geometry().top(), 8);
    EXPECT_EQ(name->geometry().left(), 56 + (320 - (56 + name->width() + 8)) / 2);
    EXPECT_EQ(version->geometry().top(), 36);
    EXPECT_EQ(version->geometry().left(), (320 - version->width()) / 2);
    EXPECT_GT(version->width(), 50) << "labels are sized to their text";

    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QSize frame = dialog->frameGeometry().size();
    EXPECT_EQ(dialog->frameGeometry().topLeft(), QPoint((screen->geometry().width() - frame.width()) / 2,
                                                        (screen->geometry().height() - frame.height()) / 2));
}

TEST(AboutDialogTest, CentredOnTheMainFormAndClosedByItsButton) {
    QWidget mainForm;
    mainForm.setGeometry(100, 60, 586, 481);
    SetMainForm(&mainForm);
    TAboutDialog about(&mainForm);
    about.SetFormPosition(fpMainFormCenter);
    about.SetCloseButton("OK");
    {
        const std::unique_ptr<QDialog> dialog(about.CreateDialog());
        const QRect frame = dialog->frameGeometry();
        EXPECT_EQ(frame.topLeft(), QPoint(100 + (586 - frame.width()) / 2, 60 + (481 - frame.height()) / 2));
        EXPECT_EQ(dialog->parentWidget(), &mainForm);
    }

    // Execute shows the box modally until its button is pressed.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QPushButton* ok = ChildWithText<QPushButton>(dialog, "OK");
        ASSERT_NE(ok, nullptr);
        ok->click();
    });
    EXPECT_EQ(about.Execute(), QDialog::Accepted);
    EXPECT_TRUE(mainForm.findChildren<QDialog*>().isEmpty()) << "the box is released when it closes";
    SetMainForm(nullptr);
}

} // namespace
} // namespace tunelo
