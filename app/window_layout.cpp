#include "window_layout.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>

#include "Unit4.h"
#include "ini_file.h"
#include "now_playing.h"

namespace tunelo {

namespace {

// Between the "Volume" caption and its bar, so the bar never covers the caption.
constexpr int kCaptionGap = 4;

} // namespace

int TWindowLayout::PanelHeight() {
    return TPlatform::kClientHeightWithEQ - TPlatform::kClientHeightWithoutEQ;
}

TWindowLayout::TWindowLayout(TPlatform& window) : QObject(&window), FWindow(window) {
    FWindow.MList->setGeometry(kGridBase);
    // A wider grid gives its room to the last column rather than to an empty heading.
    FWindow.MList->horizontalHeader()->setStretchLastSection(true);
    FWindow.NowPlaying->setGeometry(kStripBase);
    // The caption ends just before its bar, whatever width the font gives it.
    QLabel* caption = FWindow.VolumeLabel;
    caption->adjustSize();
    caption->move(FWindow.VOL->x() - kCaptionGap - caption->width(), caption->y());

    for (QWidget* child : FWindow.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow()) {
            Take(child, TAnchor::Left);
        }
    }
    Take(FWindow.MList, TAnchor::Grid);
    Take(FWindow.NowPlaying, TAnchor::Stretch);
    Take(FWindow.PLAYPOS, TAnchor::Stretch);
    Take(FWindow.Panel1, TAnchor::Centre);
    for (QWidget* right : {static_cast<QWidget*>(FWindow.BitBtn4), static_cast<QWidget*>(FWindow.DEL),
                           static_cast<QWidget*>(FWindow.ALBUM), static_cast<QWidget*>(FWindow.Button1),
                           static_cast<QWidget*>(FWindow.BitBtn1), static_cast<QWidget*>(FWindow.BitBtn7)}) {
        Take(right, TAnchor::Right);
    }
    // The lower of the two smallest heights until the panel's state is applied, so that a restored short
    // window is not stretched before it is known whether the panel is hidden.
    FWindow.setMinimumSize(TPlatform::kClientWidth, TPlatform::kClientHeightWithoutEQ);
    FWindow.installEventFilter(this);
    Place();
}

void TWindowLayout::Take(QWidget* widget, TAnchor anchor) {
    FBase[widget] = {widget->geometry(), anchor};
}

void TWindowLayout::PanelShown(bool shown) {
    const int smallest = shown ? TPlatform::kClientHeightWithEQ : TPlatform::kClientHeightWithoutEQ;
    // At start, a size the position saver restored was saved with the panel as the settings have it now;
    // a window without a stored placement still has its first size, the one with the panel shown.
    if (FFirstPanelCall) {
        FFirstPanelCall = false;
        const std::string stored =
            TMPIniFile(FWindow.IniFileName())
                .ReadString("Bounds", FWindow.KSavePosIni1->BoundsKey().toStdString(), "");
        if (!stored.empty()) {
            FPanelShown = shown;
        }
    }
    int height = FWindow.height();
    if (shown != FPanelShown) {
        height += shown ? PanelHeight() : -PanelHeight();
        FPanelShown = shown;
    }
    FWindow.setMinimumSize(TPlatform::kClientWidth, smallest);
    if (!FWindow.isMaximized() && !FWindow.isFullScreen()) {
        FWindow.resize(FWindow.width(), std::max(height, smallest));
    }
    Place();
}

void TWindowLayout::Place() {
    const int smallest = FPanelShown ? TPlatform::kClientHeightWithEQ : TPlatform::kClientHeightWithoutEQ;
    const int extraWidth = std::max(FWindow.width() - TPlatform::kClientWidth, 0);
    const int extraHeight = std::max(FWindow.height() - smallest, 0);
    // Below the grid everything keeps its distance from the window's bottom edge (the hidden panel's height
    // is already left out of the smallest height).
    const int gridBottom = kGridBase.bottom();
    for (const auto& [widget, place] : FBase) {
        const auto& [base, anchor] = place;
        QRect rect = base;
        if (anchor == TAnchor::Grid) {
            rect.setWidth(base.width() + extraWidth);
            rect.setHeight(base.height() + extraHeight);
            widget->setGeometry(rect);
            continue;
        }
        if (base.top() > gridBottom) {
            rect.translate(0, extraHeight);
        }
        switch (anchor) {
        case TAnchor::Left:
        case TAnchor::Grid:
            break;
        case TAnchor::Right:
            rect.translate(extraWidth, 0);
            break;
        case TAnchor::Centre:
            rect.translate(extraWidth / 2, 0);
            break;
        case TAnchor::Stretch:
            rect.setWidth(base.width() + extraWidth);
            break;
        }
        widget->setGeometry(rect);
    }
}

bool TWindowLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &FWindow && event->type() == QEvent::Resize) {
        Place();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tunelo
