#include "Views/Look.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace bridge {

namespace Look {

namespace {

struct Variants {
    QColor light;
    QColor dark;
};

Variants variants(Hue hue) {
    switch (hue) {
    case Hue::accent:
        return {QColor(0x43, 0x38, 0xca), QColor(0xa5, 0xb4, 0xfc)};
    case Hue::ok:
        return {QColor(0x15, 0x80, 0x3d), QColor(0x4a, 0xde, 0x80)};
    case Hue::warn:
        return {QColor(0xb4, 0x53, 0x09), QColor(0xfb, 0xbf, 0x24)};
    case Hue::destructive:
        return {QColor(0xb9, 0x1c, 0x1c), QColor(0xf8, 0x71, 0x71)};
    case Hue::secondary:
        break;
    }
    return {};
}

} // namespace

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor color(Hue hue, const QPalette& palette) {
    if (hue == Hue::secondary) {
        return palette.color(QPalette::PlaceholderText);
    }
    const auto both = variants(hue);
    return isDark(palette) ? both.dark : both.light;
}

Hue hue(Tone tone) {
    switch (tone) {
    case Tone::ok:
        return Hue::ok;
    case Tone::waiting:
        return Hue::secondary;
    case Tone::warning:
        return Hue::warn;
    }
    return Hue::warn;
}

QVBoxLayout* column(QWidget* parent, int spacing) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QHBoxLayout* row(int spacing) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QPushButton* button(const QString& label, const char* name, QWidget* parent, const QString& help) {
    auto* made = named(new QPushButton(label, parent), name);
    made->setToolTip(help);
    return made;
}

QLabel* wrapping(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QFont bold(QFont font) {
    font.setBold(true);
    return font;
}

QFont scaled(QFont font, double scale) {
    font.setPointSizeF(font.pointSizeF() * scale);
    return font;
}

} // namespace Look

HueLabel::HueLabel(const QString& text, Look::Hue hue, QWidget* parent)
    : QLabel(text, parent), hue_(hue) {
    setTextFormat(Qt::PlainText);
    applyHue();
}

HueLabel* Look::secondary(const QString& text, const char* name, QWidget* parent) {
    auto* made = named(new HueLabel(text, Hue::secondary, parent), name);
    made->setWordWrap(true);
    return made;
}

void HueLabel::setHue(Look::Hue hue) {
    hue_ = hue;
    applyHue();
}

void HueLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyHue();
    }
}

void HueLabel::applyHue() {
    const QColor wanted = Look::color(hue_, palette());
    if (palette().color(QPalette::WindowText) == wanted &&
        (palette().resolveMask() & (1ULL << QPalette::WindowText)) != 0) {
        return; // already ours; setting it again would only send another change
    }
    QPalette own = palette();
    own.setColor(QPalette::WindowText, wanted);
    setPalette(own);
}

namespace {

constexpr int badgeX = 6;
constexpr int badgeY = 1;

} // namespace

Badge::Badge(const QString& text, Look::Hue hue, bool filled, QWidget* parent)
    : QWidget(parent), text_(text), hue(hue), filled(filled) {
    setFont(Look::bold(Look::scaled(font(), 0.85)));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(text);
}

QSize Badge::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text_) + 2 * badgeX, metrics.height() + 2 * badgeY};
}

void Badge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = Look::color(hue, palette());
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = box.height() / 2;
    painter.setPen(colour);
    painter.setBrush(filled ? QBrush(colour) : QBrush(Qt::NoBrush));
    painter.drawRoundedRect(box, radius, radius);
    painter.setPen(filled ? palette().color(QPalette::Window) : colour);
    painter.drawText(rect(), Qt::AlignCenter, text_);
}

class StatusDot::Dot : public QWidget {
public:
    explicit Dot(QWidget* parent) : QWidget(parent) { setFixedSize(8, 8); }
    Look::Hue hue = Look::Hue::secondary;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Look::color(hue, palette()));
        painter.drawEllipse(QRectF(rect()));
    }
};

StatusDot::StatusDot(const QString& text, Look::Hue hue, QWidget* parent)
    : QWidget(parent), dot(new Dot(this)), label(Look::wrapping(text, this)), hue_(hue) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    // The dot sits on the middle of the first line, also when the text wraps.
    auto* dotColumn = new QVBoxLayout;
    dotColumn->setContentsMargins(0, (QFontMetrics(font()).height() - dot->height()) / 2, 0, 0);
    dotColumn->addWidget(dot);
    dotColumn->addStretch();
    row->addLayout(dotColumn);
    row->addWidget(label, 1);
    setStatus(text, hue);
}

void StatusDot::setStatus(const QString& text, Look::Hue hue) {
    hue_ = hue;
    dot->hue = hue;
    dot->update();
    label->setText(text);
}

QString StatusDot::text() const {
    return label->text();
}

SectionHeader::SectionHeader(const QString& title, QWidget* trailing, QWidget* parent)
    : QWidget(parent), label(Look::wrapping(title, this)) {
    label->setFont(Look::bold(label->font()));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(label, 1);
    if (trailing != nullptr) {
        row->addWidget(trailing, 0, Qt::AlignVCenter);
    }
}

void SectionHeader::setTitle(const QString& title) {
    label->setText(title);
}

QString SectionHeader::title() const {
    return label->text();
}

GroupBoxed::GroupBoxed(QWidget* parent) : QFrame(parent), layout_(new QVBoxLayout(this)) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Plain);
    layout_->setContentsMargins(10, 10, 10, 10);
    layout_->setSpacing(8);
}

SetmaraMark::SetmaraMark(int side, QWidget* parent) : QWidget(parent), side(side) {
    setFixedSize(side, side);
}

void SetmaraMark::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = side;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Look::color(Look::Hue::accent, palette()));
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.24, s * 0.24);
    // A dot low on the left sending two waves up and to the right.
    const QColor ink = palette().color(QPalette::Window);
    const QPointF centre(s * 0.32, s * 0.68);
    painter.setBrush(ink);
    painter.drawEllipse(centre, s * 0.09, s * 0.09);
    QPen wave(ink, s * 0.085, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(wave);
    painter.setBrush(Qt::NoBrush);
    for (const qreal radius : {s * 0.26, s * 0.44}) {
        painter.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
                        5 * 16, 80 * 16);
    }
}

Wordmark::Wordmark(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(new SetmaraMark(30, this), 0, Qt::AlignVCenter);
    auto* name = new QVBoxLayout;
    name->setSpacing(0);
    auto* setmara = new QLabel(QStringLiteral("Setmara"), this);
    setmara->setFont(Look::bold(Look::scaled(setmara->font(), 1.15)));
    auto* bridge = new HueLabel(QStringLiteral("Bridge"), Look::Hue::secondary, this);
    name->addWidget(setmara);
    name->addWidget(bridge);
    row->addLayout(name);
    setAccessibleName(QStringLiteral("Setmara Bridge"));
}

} // namespace bridge
