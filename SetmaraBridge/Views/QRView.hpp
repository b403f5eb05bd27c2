#pragma once

#include <QImage>
#include <QUrl>
#include <QWidget>

namespace bridge {

// A URL drawn as a QR code (level M), in whole pixels per module, dark on white whatever the
// palette, so that phones can scan it. Without a URL it draws nothing.
class QRView : public QWidget {
    Q_OBJECT

public:
    // Pixels per module when the view is shown at its preferred size.
    static constexpr int preferredScale = 4;

    explicit QRView(QWidget* parent = nullptr);

    // An empty URL is none.
    void setUrl(const QUrl& url);
    QUrl url() const { return url_; }

    // One pixel per module, the 4-module quiet zone included; null for an empty URL or one
    // too long to encode.
    static QImage modules(const QUrl& url);

    QSize sizeHint() const override;

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QUrl url_;
    QImage code;
};

} // namespace bridge
