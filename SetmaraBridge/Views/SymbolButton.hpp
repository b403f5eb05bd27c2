#pragma once

#include <QToolButton>

class QPainter;
class QRectF;

namespace bridge {

// A borderless tool button that draws its own symbol in the text colour.
class SymbolButton : public QToolButton {
public:
    using Draw = void (*)(QPainter& painter, const QRectF& box);

    SymbolButton(Draw draw, int side, QWidget* parent) : QToolButton(parent), draw(draw) {
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Draw draw;
};

// The symbols drawn: an ellipsis in a circle, and a QR code in small.
void drawEllipsisCircle(QPainter& painter, const QRectF& box);
void drawQRGlyph(QPainter& painter, const QRectF& box);

} // namespace bridge
