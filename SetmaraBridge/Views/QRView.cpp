#include "Views/QRView.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <qrencode.h>

#include <memory>

namespace bridge {

namespace {

constexpr int quietZone = 4;

} // namespace

QRView::QRView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void QRView::setUrl(const QUrl& url) {
    if (url == url_) {
        return;
    }
    url_ = url;
    code = modules(url);
    updateGeometry();
    update();
}

QImage QRView::modules(const QUrl& url) {
    if (url.isEmpty()) {
        return {};
    }
    const QByteArray text = url.toEncoded();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> qr(
        QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (qr == nullptr) {
        return {};
    }
    const int side = qr->width + 2 * quietZone;
    QImage image(side, side, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    for (int y = 0; y < qr->width; ++y) {
        for (int x = 0; x < qr->width; ++x) {
            // The low bit of each byte says whether the module is dark.
            if ((qr->data[y * qr->width + x] & 1) != 0) {
                image.setPixel(x + quietZone, y + quietZone, 1);
            }
        }
    }
    return image;
}

QSize QRView::sizeHint() const {
    return code.isNull() ? QSize(0, 0) : code.size() * preferredScale;
}

void QRView::paintEvent(QPaintEvent*) {
    if (code.isNull()) {
        return;
    }
    const int scale = std::min(width(), height()) / code.width();
    if (scale < 1) {
        return;
    }
    const QSize drawn = code.size() * scale;
    const QRect target(QPoint((width() - drawn.width()) / 2, (height() - drawn.height()) / 2),
                       drawn);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, code);
}

void QRView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Q_EMIT clicked();
    }
}

} // namespace bridge
