// An icon in the desktop's notification area (system tray): its picture and tip kept current, the tray's
// mouse notifications turned into events, and pop-up menus for the left and right button.
//
// Where the desktop has no notification area nothing fails: the icon keeps its properties but is never
// registered (Registered() stays false), so a window must not hide itself on the strength of Visible
// alone.
#pragma once

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

class QSystemTrayIcon;
class QTimer;

namespace tunelo {

// Raised when no more icons can be registered.
class ENotifyIconError : public std::runtime_error {
public:
    explicit ENotifyIconError(const std::string& message) : std::runtime_error(message) {}
};

// "The icon cannot be registered in the task tray."
inline constexpr const char* kNotifyIconErrorText = "タスクトレイにアイコンを登録できません。";

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftFlag : uint8_t {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64
};
using TShiftState = uint8_t;

// The mouse notifications of the tray, as the icon handles them.
enum TTrayMouseMessage {
    tmMouseMove,
    tmLeftButtonDown,
    tmLeftButtonUp,
    tmLeftButtonDblClk,
    tmRightButtonDown,
    tmRightButtonUp,
    tmRightButtonDblClk,
    tmMiddleButtonDown,
    tmMiddleButtonUp,
    tmMiddleButtonDblClk
};

class TTrayIcon : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TTrayIcon& sender)>;
    using TMouseEvent =
        std::function<void(TTrayIcon& sender, TMouseButton button, TShiftState shift, int32_t x, int32_t y)>;
    using TMouseMoveEvent = std::function<void(TTrayIcon& sender, TShiftState shift, int32_t x, int32_t y)>;

    static constexpr int32_t MaxIcons = 100;
    static constexpr int32_t MaxTipLength = 62;
    static constexpr int32_t MinAnimateRate = 100;

    // Takes the next identifier: 1 when no icon exists, else the last listed identifier + 1. Raises
    // ENotifyIconError when 100 icons exist. The owner's window lends its icon when Icon is empty.
    explicit TTrayIcon(QObject* owner = nullptr);
    // Stops any animation, leaves the tray, releases the identifier.
    ~TTrayIcon() override;

    int32_t Identifier() const { return FIdentifier; }
    // Whether the tray shows the icon now.
    bool Registered() const { return FRegistered; }
    // Whether the desktop has a notification area at all.
    static bool TrayAvailable();

    // Between BeginLoading and Loaded, Visible is only stored; Loaded shows the icon when it is true.
    void BeginLoading() { FLoading = true; }
    void Loaded();

    const QList<QIcon>& AnimateIcons() const { return FAnimateIcons; }
    void SetAnimateIcons(const QList<QIcon>& icons);
    // Milliseconds per animation frame; 500 at start, at least 100.
    int32_t AnimateRate() const { return FAnimateRate; }
    void SetAnimateRate(int32_t milliseconds);
    // Shows the animation frames in turn (while there are any) until StopAnimation.
    void StartAnimation();
    void StopAnimation();
    bool Animating() const;

    // Whether a button press with a menu for that button pops the menu up; true at start.
    bool AutoPopup() const { return FAutoPopup; }
    void SetAutoPopup(bool value) { FAutoPopup = value; }
    // A disabled icon ignores the mouse; true at start.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    const QIcon& Icon() const { return FIcon; }
    void SetIcon(const QIcon& icon);
    QMenu* LBPopupMenu() const { return FLBPopupMenu; }
    void SetLBPopupMenu(QMenu* menu) { FLBPopupMenu = menu; }
    QMenu* RBPopupMenu() const { return FRBPopupMenu; }
    void SetRBPopupMenu(QMenu* menu) { FRBPopupMenu = menu; }
    // The tip; "TipHelp" at start. Only the first 62 characters are kept.
    const QString& TipHelp() const { return FTipHelp; }
    void SetTipHelp(const QString& tip);
    // Whether the icon should be in the tray; false at start. Stays false while there is no picture
    // (Icon, else the owner window's icon, else the application's).
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);

    // The picture the tray shows: the animation frame, else Icon, else the owner's or application's icon.
    QIcon CurrentPicture() const;

    // Handles one mouse notification of the tray; X and Y are the cursor's screen position.
    void Notify(TTrayMouseMessage message);
    // How long a click waits to see whether it becomes a double click: double-click time + 50 ms.
    static int32_t ClickDelay();
    // Whether a single click waits for its delay to pass.
    bool ClickPending() const { return FClickPending; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

private:
    void AddToTray();
    void ModifyInTray();
    void DeleteFromTray();
    void FillTray();
    void PopUp(QMenu* menu);
    void ClickTimedOut();
    void AnimationTick();

    const int32_t FIdentifier;
    QSystemTrayIcon* FTray = nullptr;
    QTimer* FClickTimer = nullptr;
    QTimer* FAnimationTimer = nullptr;
    QList<QIcon> FAnimateIcons;
    int32_t FAnimationFrame = 0;
    int32_t FAnimateRate = 500;
    bool FAutoPopup = true;
    bool FEnabled = true;
    QIcon FIcon;
    QPointer<QMenu> FLBPopupMenu;
    QPointer<QMenu> FRBPopupMenu;
    QString FTipHelp = QStringLiteral("TipHelp");
    bool FVisible = false;
    bool FRegistered = false;
    bool FClickPending = false;
    bool FLoading = false;
};

} // namespace tunelo
