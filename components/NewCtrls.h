// Files dropped from the desktop's file manager onto a widget, reported as one event per drop with the
// local file names in the file manager's order and the drop point in the widget's coordinates.
//
// Only drags that carry local files are taken; every other drag (such as a widget's own row dragging)
// passes on to the widget untouched. A drop is completed with a copy (never a move, so the file manager
// never deletes what was dropped) before the event runs, on the next turn of the event loop: the file
// manager is not kept waiting while the handler works, and an error the handler raises is shown in the
// standard error box.
#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>

class QMimeData;

namespace tunelo {

class TFileDrop : public QObject {
    Q_OBJECT

public:
    using TFileDropEvent =
        std::function<void(TFileDrop& sender, int32_t num, const QStringList& files, int32_t x, int32_t y)>;

    explicit TFileDrop(QObject* owner = nullptr);
    ~TFileDrop() override;

    // Whether the control takes file drops; true at start. While false, dragged files show the no-drop
    // cursor over the control.
    bool Accept() const { return FAccept; }
    void SetAccept(bool value);
    // The widget served; none at start. Destroying it elsewhere sets this to none and Accept to false.
    QWidget* Control() const { return FControl; }
    void SetControl(QWidget* control);

    // Called (on the GUI thread) once per drop; the list is the handler's own copy.
    TFileDropEvent OnFileDrop;

    // Fires OnFileDrop for one drop; errors raised by the handler are shown in the standard error box.
    virtual void DropFiles(const QStringList& files, const QPoint& point);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct THooked {
        QPointer<QWidget> Widget;
        bool AcceptedDrops;
    };

    void Hook();
    void Unhook();
    void ApplyAccept();
    void ControlDestroyed();

    QPointer<QWidget> FControl;
    QList<THooked> FHooked;
    bool FAccept = true;
};

// The local file names a drag carries, in its order; empty when it carries none.
QStringList DroppedFileNames(const QMimeData* data);

} // namespace tunelo
