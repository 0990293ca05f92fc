#include "position_bar.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QToolTip>

#include "play_time.h"

namespace tunelo {

namespace {

// The application's style, except that a left click puts the thumb where it lands.
class TClickToPositionStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_ScrollBar_LeftClickAbsolutePosition) {
            return 1;
        }
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

QStyleOptionSlider ScrollBarOption(const QScrollBar& bar) {
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar.orientation();
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    option.upsideDown = bar.invertedAppearance();
    if (bar.orientation() == Qt::Horizontal) {
        option.state |= QStyle::State_Horizontal;
    }
    return option;
}

} // namespace

QRect ScrollBarThumbRect(const QScrollBar& bar) {
    const QStyleOptionSlider option = ScrollBarOption(bar);
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, &bar);
}

int ScrollBarValueAt(const QScrollBar& bar, int x) {
    const QStyleOptionSlider option = ScrollBarOption(bar);
    const QRect groove =
        bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarGroove, &bar);
    const QRect thumb = ScrollBarThumbRect(bar);
    // The thumb's centre travels from half a thumb inside one end of the groove to half a thumb inside the
    // other: the same mapping the bar applies to a press.
    const int span = groove.width() - thumb.width();
    const int offset = x - groove.x() - thumb.width() / 2;
    return QStyle::sliderValueFromPosition(bar.minimum(), bar.maximum(), offset, std::max(span, 1),
                                           option.upsideDown);
}

TPositionBar::TPositionBar(QScrollBar& bar) : QObject(&bar), FBar(bar) {
    auto* style = new TClickToPositionStyle;
    style->setParent(&FBar);
    FBar.setStyle(style);
    FBar.setMouseTracking(true);
    FBar.installEventFilter(this);
    connect(&FBar, &QScrollBar::rangeChanged, this, [this] { RangeChanged(); });
    RangeChanged();
}

bool TPositionBar::Loaded() const {
    return FBar.maximum() - FBar.minimum() > 1;
}

QString TPositionBar::TipAt(int x) const {
    if (!Loaded()) {
        return {};
    }
    return FormatPlayTime(ScrollBarValueAt(FBar, x));
}

void TPositionBar::RangeChanged() {
    // With the placeholder range 0 to 1 a page of 8 would make the thumb nearly as long as the bar; a page
    // of 0 leaves it at its smallest, at the start.
    FBar.setPageStep(Loaded() ? kLoadedPage : 0);
}

bool TPositionBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &FBar) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::ToolTip: {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = TipAt(help->pos().x());
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), tip, &FBar);
        }
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        // Nothing loaded, nothing to go to: the thumb stays at the start.
        return !Loaded();
    case QEvent::MouseMove:
        // A tip already shown follows the pointer.
        if (QToolTip::isVisible()) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QString tip = TipAt(mouse->position().toPoint().x());
            if (!tip.isEmpty()) {
                QToolTip::showText(mouse->globalPosition().toPoint(), tip, &FBar);
            }
        }
        return false;
    default:
        return false;
    }
}

} // namespace tunelo
