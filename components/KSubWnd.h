// A component that watches a form's events before the form sees them: the base of components that need to
// act on a window's own events (such as its closing) without the window's code taking part.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace tunelo {

class TKCustomSubWnd : public QObject {
    Q_OBJECT

public:
    explicit TKCustomSubWnd(QObject* owner = nullptr);
    ~TKCustomSubWnd() override;

    QWidget* Form() const { return FForm; }
    // Stops watching the previous form and starts watching the new one (none: watch nothing). A form
    // destroyed elsewhere is let go of by itself.
    void SetForm(QWidget* form);

protected:
    // Sees each of the form's events first; true keeps the event from the form. Passes everything on.
    virtual bool WndProc(QEvent* event);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> FForm;
};

} // namespace tunelo
