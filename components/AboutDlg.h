// The About box: a small modal window built from the component's properties each time it is shown and
// thrown away when it closes.
#pragma once

#include <QFont>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>

class QDialog;

namespace tunelo {

enum TFPosition { fpDesigned, fpScreenCenter, fpMainFormCenter, fpOwnerFormCenter };

// Where a window of the given (frame) size goes: fpDesigned at the designed point; otherwise centred on
// the screen, the main form or the owner form, each offset halved with the division rounding toward
// zero. A form that is missing (an empty rectangle) gives the screen centre.
QPoint AboutFormOrigin(TFPosition position, QPoint designed, QSize window, QRect screen, QRect mainForm,
                       QRect ownerForm);

// The About box's children in its client area, from the client size and the labels' sizes.
struct TAboutLayout {
    QRect CloseButton; // 64 x 24, centred, 8 pixels above the bottom
    QRect Picture;     // 48 x 48 at (8, 8)
    QRect AppName;     // top 8, centred in the space right of the picture
    QRect Version;     // top 36, centred
    QRect Memo;        // top 54, centred
};
TAboutLayout AboutLayout(QSize client, QSize appName, QSize version, QSize memo);

class TAboutDialog : public QObject {
    Q_OBJECT

public:
    // The owner's window is the one fpOwnerFormCenter centres on, and the box's parent.
    explicit TAboutDialog(QObject* owner = nullptr);

    const QString& AppName() const { return FAppName; }
    void SetAppName(const QString& value) { FAppName = value; }
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& value) { FCaption = value; }
    const QString& CloseButton() const { return FCloseButton; }
    void SetCloseButton(const QString& value) { FCloseButton = value; }
    // The box's font; the application's at start. The name is shown 16 points high, the rest 10.
    const QFont& Font() const { return FFont; }
    void SetFont(const QFont& value) { FFont = value; }
    int32_t FormLeft() const { return FFormLeft; }
    void SetFormLeft(int32_t value) { FFormLeft = value; }
    int32_t FormTop() const { return FFormTop; }
    void SetFormTop(int32_t value) { FFormTop = value; }
    // The client area's size; 320 x 120 at start.
    int32_t FormWidth() const { return FFormWidth; }
    void SetFormWidth(int32_t value) { FFormWidth = value; }
    int32_t FormHeight() const { return FFormHeight; }
    void SetFormHeight(int32_t value) { FFormHeight = value; }
    TFPosition FormPosition() const { return FFormPosition; }
    void SetFormPosition(TFPosition value) { FFormPosition = value; }
    const QIcon& Icon() const { return FIcon; }
    void SetIcon(const QIcon& value) { FIcon = value; }
    const QString& Memo() const { return FMemo; }
    void SetMemo(const QString& value) { FMemo = value; }
    const QString& Version() const { return FVersion; }
    void SetVersion(const QString& value) { FVersion = value; }

    // Builds the box, placed and ready to show, without showing it; the caller owns it.
    QDialog* CreateDialog() const;
    // Shows the box modally and releases it when it closes; the dialog's result (accepted after the
    // close button).
    int Execute() const;

private:
    QString FAppName;
    QString FCaption;
    QString FCloseButton;
    QFont FFont;
    int32_t FFormLeft = 0;
    int32_t FFormTop = 0;
    int32_t FFormWidth = 320;
    int32_t FFormHeight = 120;
    TFPosition FFormPosition = fpDesigned;
    QIcon FIcon;
    QString FMemo;
    QString FVersion;
};

// The values the jukebox's main window gives its About box.
void AssignTuneloAbout(TAboutDialog& about);

} // namespace tunelo
