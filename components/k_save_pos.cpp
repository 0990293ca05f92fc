#include "KSavePos.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include "ini_file.h"

namespace tunelo {

namespace {

constexpr int32_t kStateNormal = 0;
constexpr int32_t kStateMinimised = 1;
constexpr int32_t kStateMaximised = 2;

// A rectangle that no screen shows any part of would leave the window out of reach (a monitor that has
// been removed since); such a position is not restored.
bool OnSomeScreen(const QRect& rect) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(rect)) {
            return true;
        }
    }
    return false;
}

} // namespace

QString FormatPlacement(const TKWindowPlacement& p) {
    return QString::asprintf("%d,%d,%d,%d,%d,%d,%d,%d,%d", p.State, p.MinX, p.MinY, p.MaxX, p.MaxY, p.Left,
                             p.Top, p.Right, p.Bottom);
}

bool ParsePlacement(const QString& text, TKWindowPlacement& result) {
    const QStringList items = text.split(u',');
    if (items.size() != 9) {
        return false;
    }
    int32_t* const fields[9] = {&result.State, &result.MinX, &result.MinY,  &result.MaxX,  &result.MaxY,
                                &result.Left,  &result.Top,  &result.Right, &result.Bottom};
    for (int i = 0; i < 9; ++i) {
        bool ok = false;
        const int value = items[i].trimmed().toInt(&ok, 10);
        if (ok) {
            *fields[i] = value;
        }
    }
    return true;
}

TKWindowPlacement ReadPlacement(const QWidget& form) {
    TKWindowPlacement placement;
    if (form.isMinimized()) {
        placement.State = kStateMinimised;
    } else if (form.isMaximized()) {
        placement.State = kStateMaximised;
        placement.MaxX = form.geometry().x();
        placement.MaxY = form.geometry().y();
    }
    QRect normal = form.normalGeometry();
    if (normal.isNull()) {
        normal = form.geometry();
    }
    placement.Left = normal.x();
    placement.Top = normal.y();
    placement.Right = normal.x() + normal.width();
    placement.Bottom = normal.y() + normal.height();
    return placement;
}

TKSaveFormPos::TKSaveFormPos(QWidget* owner) : TKCustomSubWnd(owner), FOwner(owner) {}

void TKSaveFormPos::Loaded() {
    SetForm(FOwner);
    if (FSaveBounds && Form()) {
        RestoreFormBounds();
    }
}

void TKSaveFormPos::SaveFormBounds() {
    if (Form()) {
        WriteBounds(FormatPlacement(ReadPlacement(*Form())));
    }
}

void TKSaveFormPos::RestoreFormBounds() {
    QWidget* const form = Form();
    if (!form) {
        return;
    }
    const TKWindowPlacement current = ReadPlacement(*form);
    TKWindowPlacement placement = current;
    if (!ParsePlacement(ReadBounds(), placement)) {
        return;
    }
    const QRect normal(placement.Left, placement.Top, placement.Right - placement.Left,
                       placement.Bottom - placement.Top);

    // The normal rectangle goes in while the form is in the normal state, so that a maximised or minimised
    // form remembers it as the one to return to. Nothing here shows the form.
    const Qt::WindowStates others = form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    form->setWindowState(others);
    if (normal.width() > 0 && normal.height() > 0) {
        if (OnSomeScreen(normal)) {
            form->setGeometry(normal);
        } else {
            form->resize(normal.size());
        }
    }

    int32_t state = placement.State;
    if (state < kStateNormal || state > kStateMaximised) {
        state = current.State;
    }
    if (state == kStateMinimised && !FResumeIconic) {
        state = kStateNormal;
    }
    if (state == kStateMinimised) {
        form->setWindowState(others | Qt::WindowMinimized);
    } else if (state == kStateMaximised) {
        form->setWindowState(others | Qt::WindowMaximized);
    }
}

bool TKSaveFormPos::WndProc(QEvent* event) {
    if (event->type() == QEvent::Close && FSaveBounds) {
        SaveFormBounds();
    }
    return TKCustomSubWnd::WndProc(event);
}

TKSavePosIni::TKSavePosIni(QWidget* owner) : TKSaveFormPos(owner), FIniFileName(ApplicationIniPath()) {}

QString TKSavePosIni::BoundsKey() const {
    const QObject* form = Form() ? static_cast<const QObject*>(Form()) : parent();
    QString name = form ? form->objectName() : QString();
    if (name.isEmpty() && form) {
        name = QString::fromLatin1(form->metaObject()->className());
    }
    return name + QStringLiteral(".Bounds");
}

void TKSavePosIni::WriteBounds(const QString& text) {
    TMPIniFile(FIniFileName).WriteString("Bounds", BoundsKey().toStdString(), text.toStdString());
}

QString TKSavePosIni::ReadBounds() {
    return QString::fromStdString(
        TMPIniFile(FIniFileName).ReadString("Bounds", BoundsKey().toStdString(), ""));
}

} // namespace tunelo
