#include "NewCtrls.h"

#include <QAbstractScrollArea>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <exception>

#include "error_box.h"

namespace tunelo {

namespace {

// The action that completes a file drop: a copy or a link, never a move.
Qt::DropAction SafeAction(Qt::DropActions possible) {
    if (possible & Qt::CopyAction) {
        return Qt::CopyAction;
    }
    if (possible & Qt::LinkAction) {
        return Qt::LinkAction;
    }
    return Qt::IgnoreAction;
}

} // namespace

QStringList DroppedFileNames(const QMimeData* data) {
    QStringList names;
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                names.append(url.toLocalFile());
            }
        }
    }
    return names;
}

TFileDrop::TFileDrop(QObject* owner) : QObject(owner) {}

TFileDrop::~TFileDrop() {
    Unhook();
}

void TFileDrop::SetAccept(bool value) {
    if (value == FAccept) {
        return;
    }
    FAccept = value;
    ApplyAccept();
}

void TFileDrop::SetControl(QWidget* control) {
    if (control == FControl) {
        return;
    }
    Unhook();
    if (FControl) {
        disconnect(FControl, &QObject::destroyed, this, nullptr);
    }
    FControl = control;
    if (FControl) {
        connect(FControl, &QObject::destroyed, this, &TFileDrop::ControlDestroyed);
        Hook();
    }
}

void TFileDrop::Hook() {
    // Over a scroll area (such as a table) the drag events go to its viewport; the area itself gets those
    // over its frame and headers.
    QList<QWidget*> widgets{FControl};
    if (auto* area = qobject_cast<QAbstractScrollArea*>(FControl.data())) {
        widgets.append(area->viewport());
    }
    for (QWidget* widget : widgets) {
        FHooked.append({widget, widget->acceptDrops()});
        widget->installEventFilter(this);
    }
    ApplyAccept();
}

void TFileDrop::Unhook() {
    for (const THooked& hooked : FHooked) {
        if (hooked.Widget) {
            hooked.Widget->removeEventFilter(this);
            hooked.Widget->setAcceptDrops(hooked.AcceptedDrops);
        }
    }
    FHooked.clear();
}

void TFileDrop::ApplyAccept() {
    // Without Accept a widget keeps whatever drops it took by itself.
    for (const THooked& hooked : FHooked) {
        if (hooked.Widget) {
            hooked.Widget->setAcceptDrops(FAccept || hooked.AcceptedDrops);
        }
    }
}

void TFileDrop::ControlDestroyed() {
    FHooked.clear();
    FControl = nullptr;
    FAccept = false;
}

bool TFileDrop::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return QObject::eventFilter(watched, event);
    }
    auto* drop = static_cast<QDropEvent*>(event);
    const QStringList files = DroppedFileNames(drop->mimeData());
    if (files.isEmpty()) {
        return QObject::eventFilter(watched, event);
    }
    const Qt::DropAction action = SafeAction(drop->possibleActions());
    if (!FAccept || !FControl || action == Qt::IgnoreAction) {
        drop->setDropAction(Qt::IgnoreAction);
        drop->ignore();
        return true;
    }
    drop->setDropAction(action);
    drop->accept();
    if (type == QEvent::Drop) {
        auto* widget = static_cast<QWidget*>(watched);
        const QPoint point = widget->mapTo(FControl, drop->position().toPoint());
        QMetaObject::invokeMethod(
            this,
            [this, files, point] {
                if (FControl) {
                    DropFiles(files, point);
                }
            },
            Qt::QueuedConnection);
    }
    return true;
}

void TFileDrop::DropFiles(const QStringList& files, const QPoint& point) {
    if (!OnFileDrop) {
        return;
    }
    try {
        OnFileDrop(*this, static_cast<int32_t>(files.size()), files, point.x(), point.y());
    } catch (const std::exception& error) {
        ShowErrorBox(error, FControl ? FControl->window() : nullptr);
    } catch (...) {
        ShowErrorBox(QStringLiteral("unknown error"), FControl ? FControl->window() : nullptr);
    }
}

} // namespace tunelo
