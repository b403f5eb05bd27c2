#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace bridge {

// Where a window of `size` drops down from a tray item: under the item (above it when the
// panel is at the bottom), at `icon` when the desktop tells it, else at the pointer, and
// always inside `available`.
QPoint dropPoint(const QRect& icon, const QPoint& pointer, const QSize& size,
                 const QRect& available);

// Drops a window down from the tray as a frameless popup, which closes on the next click
// outside it; the click on the item that closed it does not open it again.
class TrayPopup : public QObject {
    Q_OBJECT

public:
    explicit TrayPopup(QWidget& window, QObject* parent = nullptr);

    // Opens the window at the item, or closes it when it is open.
    void toggle(const QRect& icon);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window;
    QElapsedTimer sinceClosed;
};

} // namespace bridge
