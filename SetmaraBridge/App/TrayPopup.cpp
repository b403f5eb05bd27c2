#include "App/TrayPopup.hpp"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace bridge {

namespace {

// A click on the item closes the popup as a click outside it and then reaches the item;
// that one must not open it again.
constexpr qint64 sameClickMs = 300;

} // namespace

QPoint dropPoint(const QRect& icon, const QPoint& pointer, const QSize& size,
                 const QRect& available) {
    // The pointer is an anchor of no size.
    const QRect anchor = icon.isValid() && !icon.isEmpty() ? icon : QRect(pointer, QSize(0, 0));
    int x = anchor.x() + anchor.width() / 2 - size.width() / 2;
    int y = anchor.y() + anchor.height();
    if (y + size.height() > available.y() + available.height()) {
        y = anchor.y() - size.height();
    }
    const int right = std::max(available.x(), available.x() + available.width() - size.width());
    const int bottom = std::max(available.y(), available.y() + available.height() - size.height());
    return {std::clamp(x, available.x(), right), std::clamp(y, available.y(), bottom)};
}

TrayPopup::TrayPopup(QWidget& window, QObject* parent) : QObject(parent), window(window) {
    window.setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    window.installEventFilter(this);
}

void TrayPopup::toggle(const QRect& icon) {
    if (window.isVisible()) {
        window.close();
        sinceClosed.invalidate(); // closed by this click, not by one outside
        return;
    }
    if (sinceClosed.isValid() && sinceClosed.elapsed() < sameClickMs) {
        return;
    }
    const QPoint pointer = QCursor::pos();
    const QPoint at = icon.isValid() && !icon.isEmpty() ? icon.center() : pointer;
    QScreen* screen = QGuiApplication::screenAt(at);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    window.adjustSize();
    window.move(dropPoint(icon, pointer, window.size(), screen->availableGeometry()));
    window.show();
    window.activateWindow();
}

bool TrayPopup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window && event->type() == QEvent::Hide) {
        sinceClosed.start();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace bridge
