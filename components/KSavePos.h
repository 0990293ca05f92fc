// Remembering a form's placement across runs: its state (normal, minimised, maximised) and its normal
// rectangle, restored when the form has been loaded and saved when it is closed.
//
// The stored text is nine decimal integers joined by commas:
//   state (0 normal, 1 minimised, 2 maximised), minimised x, y, maximised x, y,
//   normal left, top, right, bottom
// Rectangles are the form's client area in screen coordinates, right and bottom exclusive. The desktop
// places minimised windows itself, so the minimised position is kept only to keep the text complete.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

#include "KSubWnd.h"

namespace tunelo {

struct TKWindowPlacement {
    int32_t State = 0;
    int32_t MinX = -1;
    int32_t MinY = -1;
    int32_t MaxX = -1;
    int32_t MaxY = -1;
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    bool operator==(const TKWindowPlacement&) const = default;
};

// "%d,%d,%d,%d,%d,%d,%d,%d,%d" in the order above.
QString FormatPlacement(const TKWindowPlacement& placement);
// Splits the text at commas: anything but exactly nine items gives false and leaves the result alone.
// Otherwise each item that is a number replaces the matching value of the result; the others keep it.
bool ParsePlacement(const QString& text, TKWindowPlacement& result);

// The placement of a top-level widget as it is now.
TKWindowPlacement ReadPlacement(const QWidget& form);

class TKSaveFormPos : public TKCustomSubWnd {
    Q_OBJECT

public:
    // The owner is the form whose placement is kept (a top-level widget).
    explicit TKSaveFormPos(QWidget* owner);

    // Whether the placement is restored at all and saved at all; true at start.
    bool SaveBounds() const { return FSaveBounds; }
    void SetSaveBounds(bool value) { FSaveBounds = value; }
    // Whether a form saved while minimised comes back minimised; false at start (it comes back normal).
    bool ResumeIconic() const { return FResumeIconic; }
    void SetResumeIconic(bool value) { FResumeIconic = value; }

    // Call once the form and its components have been set up, before the form is shown: watches the owner
    // and, with SaveBounds, restores its placement without showing it.
    void Loaded();

    virtual void SaveFormBounds();
    virtual void RestoreFormBounds();

protected:
    // Saves the placement (with SaveBounds) when the form is closed.
    bool WndProc(QEvent* event) override;

    virtual void WriteBounds(const QString& text) = 0;
    virtual QString ReadBounds() = 0;

private:
    QPointer<QWidget> FOwner;
    bool FSaveBounds = true;
    bool FResumeIconic = false;
};

// Keeps the placement in the settings file: section "Bounds", key = the form's object name + ".Bounds"
// (for the main window "Platform.Bounds").
class TKSavePosIni : public TKSaveFormPos {
    Q_OBJECT

public:
    explicit TKSavePosIni(QWidget* owner);

    // The settings file; the program's own (ApplicationIniPath) unless set.
    const std::string& IniFileName() const { return FIniFileName; }
    void SetIniFileName(std::string fileName) { FIniFileName = std::move(fileName); }
    QString BoundsKey() const;

protected:
    void WriteBounds(const QString& text) override;
    QString ReadBounds() override;

private:
    std::string FIniFileName;
};

} // namespace tunelo
