#include "Views/SymbolButton.hpp"

#include <QPainter>

namespace bridge {

void SymbolButton::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText),
        1.4));
    const qreal inset = width() * 0.22;
    draw(painter, QRectF(rect()).adjusted(inset, inset, -inset, -inset));
}

// An ellipsis in a circle.
void drawEllipsisCircle(QPainter& painter, const QRectF& box) {
    painter.drawEllipse(box);
    painter.setBrush(painter.pen().color());
    const qreal dot = box.width() * 0.055;
    for (const qreal x : {0.28, 0.5, 0.72}) {
        painter.drawEllipse(QPointF(box.left() + x * box.width(), box.center().y()), dot, dot);
    }
}

// Three finder squares and a few modules: a QR code in small.
void drawQRGlyph(QPainter& painter, const QRectF& box) {
    const qreal unit = box.width() / 7;
    painter.setPen(QPen(painter.pen().color(), unit * 0.8));
    for (const QPointF corner : {box.topLeft(), QPointF(box.right() - 3 * unit, box.top()),
                                 QPointF(box.left(), box.bottom() - 3 * unit)}) {
        painter.drawRect(QRectF(corner, QSizeF(3 * unit, 3 * unit))
                             .adjusted(unit * 0.4, unit * 0.4, -unit * 0.4, -unit * 0.4));
    }
    const QColor ink = painter.pen().color();
    for (const QPointF cell :
         {QPointF(4, 4), QPointF(6, 4), QPointF(5, 5), QPointF(4, 6), QPointF(6, 6)}) {
        painter.fillRect(
            QRectF(box.left() + cell.x() * unit, box.top() + cell.y() * unit, unit, unit), ink);
    }
}

} // namespace bridge
