#pragma once

#include "Values/SourceState.hpp"

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QWidget>

class QHBoxLayout;
class QPalette;
class QPushButton;
class QVBoxLayout;

namespace bridge {

// The colours, measures and small display pieces the windows share.
namespace Look {

// The status window's fixed width, and the room between and around its parts.
inline constexpr int width = 340;
inline constexpr int spacing = 14;

// The colour tokens, plus the system's secondary text colour and the look of a destructive
// action.
enum class Hue { accent, ok, warn, secondary, destructive };

// Whether the palette is a dark one (by its window colour).
bool isDark(const QPalette& palette);
// The hue's light or dark variant, whichever the palette needs.
QColor color(Hue hue, const QPalette& palette);
// ok → ok, waiting → secondary, warning → warn.
Hue hue(Tone tone);

// A vertical layout without margins, with `spacing` between its parts, and a horizontal one.
QVBoxLayout* column(QWidget* parent, int spacing);
QHBoxLayout* row(int spacing);
// `widget`, named for finding it.
template <class Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}
// A named push button, with its help when given.
QPushButton* button(const QString& label, const char* name, QWidget* parent,
                    const QString& help = {});
// A label for text that may be long: plain text that wraps at the window's width.
QLabel* wrapping(const QString& text, QWidget* parent = nullptr);
// `font` one step bold, or scaled by `scale`.
QFont bold(QFont font);
QFont scaled(QFont font, double scale);

} // namespace Look

// A label in one of the hues; follows the palette when it changes between light and dark.
class HueLabel : public QLabel {
    Q_OBJECT

public:
    explicit HueLabel(const QString& text, Look::Hue hue, QWidget* parent = nullptr);

    Look::Hue hue() const { return hue_; }
    void setHue(Look::Hue hue);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyHue();

    Look::Hue hue_;
};

namespace Look {

// A wrapping label in the secondary colour, named for finding it.
HueLabel* secondary(const QString& text, const char* name, QWidget* parent);

} // namespace Look

// A short word in a rounded frame: outlined, or filled with the hue.
class Badge : public QWidget {
    Q_OBJECT

public:
    Badge(const QString& text, Look::Hue hue, bool filled, QWidget* parent = nullptr);

    QString text() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    Look::Hue hue;
    bool filled;
};

// A coloured dot followed by a text that wraps.
class StatusDot : public QWidget {
    Q_OBJECT

public:
    StatusDot(const QString& text, Look::Hue hue, QWidget* parent = nullptr);

    void setStatus(const QString& text, Look::Hue hue);
    QString text() const;
    Look::Hue hue() const { return hue_; }

private:
    class Dot;

    Dot* dot;
    QLabel* label;
    Look::Hue hue_;
};

// A section's title, bold, with an optional control at its end.
class SectionHeader : public QWidget {
    Q_OBJECT

public:
    explicit SectionHeader(const QString& title, QWidget* trailing = nullptr,
                           QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const;

private:
    QLabel* label;
};

// A framed group; its parts go into `content()`.
class GroupBoxed : public QFrame {
    Q_OBJECT

public:
    explicit GroupBoxed(QWidget* parent = nullptr);

    QVBoxLayout* content() const { return layout_; }

private:
    QVBoxLayout* layout_;
};

// The logo: a rounded square in the accent colour with two sound waves leaving a dot.
class SetmaraMark : public QWidget {
    Q_OBJECT

public:
    explicit SetmaraMark(int side, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {side, side}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int side;
};

// The mark beside the two-line name "Setmara" / "Bridge".
class Wordmark : public QWidget {
    Q_OBJECT

public:
    explicit Wordmark(QWidget* parent = nullptr);
};

} // namespace bridge
