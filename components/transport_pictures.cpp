#include "transport_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <functional>

namespace tunelo {

namespace {

// Draws a picture in a 16 x 16 design space at each size the icon offers.
QIcon Drawn(const std::function<void(QPainter&)>& draw, const QColor& colour) {
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

const QColor kSymbol(0x20, 0x20, 0x20);

void Triangle(QPainter& painter, qreal left, qreal right, bool pointingRight) {
    const qreal tip = pointingRight ? right : left;
    const qreal base = pointingRight ? left : right;
    painter.drawPolygon(QPolygonF({QPointF(base, 3), QPointF(tip, 8), QPointF(base, 13)}));
}

} // namespace

QIcon PreviousPicture() {
    return Drawn(
        [](QPainter& p) {
            p.drawRect(QRectF(2, 3, 2, 10));
            Triangle(p, 4, 9, false);
            Triangle(p, 9, 14, false);
        },
        kSymbol);
}

QIcon PlayPicture() {
    return Drawn([](QPainter& p) { Triangle(p, 4, 13, true); }, kSymbol);
}

QIcon NextPicture() {
    return Drawn(
        [](QPainter& p) {
            Triangle(p, 2, 7, true);
            Triangle(p, 7, 12, true);
            p.drawRect(QRectF(12, 3, 2, 10));
        },
        kSymbol);
}

QIcon PausePicture() {
    return Drawn(
        [](QPainter& p) {
            p.drawRect(QRectF(4, 3, 3, 10));
            p.drawRect(QRectF(9, 3, 3, 10));
        },
        kSymbol);
}

QIcon StopPicture() {
    return Drawn([](QPainter& p) { p.drawRect(QRectF(3.5, 3.5, 9, 9)); }, kSymbol);
}

QIcon TuneloProgramIcon() {
    // A white eighth note on a dark blue disc.
    return Drawn(
        [](QPainter& p) {
            p.setBrush(QColor(0x1c, 0x3f, 0x8c));
            p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(4, 9.5, 4.5, 3.5));
            p.drawRect(QRectF(7.4, 3.5, 1.1, 7.5));
            QPainterPath flag;
            flag.moveTo(8.5, 3.5);
            flag.cubicTo(10, 5, 12.5, 5.5, 11.5, 8.5);
            flag.cubicTo(11.5, 7, 10, 6.5, 8.5, 6);
            flag.closeSubpath();
            p.drawPath(flag);
        },
        Qt::white);
}

} // namespace tunelo
