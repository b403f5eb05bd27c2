// Pictures of the status window on a real display (run under xvfb-run), light and dark, for a
// person to look at; the checks catch what the eye would: clipped controls and missing fonts.
#include "SetmaraBridge/Views/ViewsTesting.hpp"
#include "Views/BridgeWindow.hpp"
#include "Views/Look.hpp"

#include <QAbstractButton>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::settleAll;
using testing::ViewRig;

QPalette dark() {
    QPalette palette(QColor(0x3a, 0x3b, 0x3f), QColor(0x24, 0x25, 0x28));
    const QColor text(0xe8, 0xea, 0xed);
    const QColor faint(0x80, 0x84, 0x8a);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                            QPalette::BrightText, QPalette::ToolTipText}) {
        palette.setColor(QPalette::All, role, text);
        palette.setColor(QPalette::Disabled, role, faint);
    }
    palette.setColor(QPalette::Base, QColor(0x2d, 0x2e, 0x32));
    palette.setColor(QPalette::AlternateBase, QColor(0x33, 0x34, 0x38));
    palette.setColor(QPalette::ToolTipBase, QColor(0x33, 0x34, 0x38));
    palette.setColor(QPalette::Highlight, QColor(0x8a, 0xb4, 0xf8));
    palette.setColor(QPalette::HighlightedText, QColor(0x20, 0x21, 0x24));
    palette.setColor(QPalette::PlaceholderText, QColor(0xa0, 0xa5, 0xab));
    return palette;
}

// Controls narrower or lower than their content needs.
QStringList clipped(const QWidget& window) {
    QStringList found;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window)) {
            continue;
        }
        const auto* label = qobject_cast<const QLabel*>(widget);
        const bool wraps = label != nullptr && label->wordWrap();
        const QSize needed = widget->minimumSizeHint();
        const bool tooNarrow = !wraps && widget->width() < needed.width();
        const int height = wraps ? widget->heightForWidth(widget->width()) : needed.height();
        if (tooNarrow || widget->height() < height) {
            found.append(widget->objectName() + QStringLiteral(" ") +
                         QString::fromLatin1(widget->metaObject()->className()));
        }
    }
    return found;
}

class Screenshots : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() {
        testing::useApplication(false);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }

    void SetUp() override {
        QApplication::setPalette(GetParam() ? dark() : QApplication::style()->standardPalette());
    }

    void shoot(BridgeWindow& window, const char* scene) {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        settleAll();
        EXPECT_EQ(QFontInfo(window.font()).family(), "DejaVu Sans");
        EXPECT_EQ(window.width(), Look::width);
        EXPECT_TRUE(clipped(window).isEmpty()) << clipped(window).join(u',').toStdString();
        const QString folder = QStringLiteral(SCREENSHOTS);
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString file =
            QStringLiteral("%1/status-%2-%3.png")
                .arg(folder, QLatin1String(scene),
                     GetParam() ? QStringLiteral("dark") : QStringLiteral("light"));
        EXPECT_TRUE(window.grab().save(file)) << file.toStdString();
    }

    void click(BridgeWindow& window, const char* name) {
        auto* button = window.findChild<QAbstractButton*>(QLatin1String(name));
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
        settleAll();
    }

    ViewRig rig;
};

TEST_P(Screenshots, SetupSteps) {
    BridgeWindow window(*rig.model);
    shoot(window, "setup");
}

TEST_P(Screenshots, LiveGig) {
    rig.complete(Source::virtualDJ, "Ana · Friday Milonga");
    rig.model->show(testing::liveGig());
    BridgeWindow window(*rig.model);
    shoot(window, "live");
    click(window, "qrButton");
    shoot(window, "live-qr");
    click(window, "endGig");
    shoot(window, "live-ending");
}

// Pioneer players: a deck per player, one with a track nothing identifies.
TEST_P(Screenshots, PioneerPlayers) {
    rig.complete(Source::proDJLink, "Ana · Friday Milonga");
    BridgeStatus status = testing::liveGig();
    status.decks[1].deck = 3;
    status.decks.push_back(DeckRow{.deck = 4, .title = "Unknown track", .bpm = 118.0});
    rig.model->show(status);
    BridgeWindow window(*rig.model);
    shoot(window, "pioneer");
}

// The longest texts: they wrap at the window's width.
TEST_P(Screenshots, LongTexts) {
    rig.complete(Source::denon);
    BridgeStatus status = testing::liveGig();
    status.source = SourceState::notAnswering;
    status.paused = true;
    status.decks.clear();
    status.gig->name = "Milonga de los Viernes en el Salón Canning, con orquesta en vivo";
    rig.model->show(status);
    BridgeWindow window(*rig.model);
    shoot(window, "long");
}

INSTANTIATE_TEST_SUITE_P(Palettes, Screenshots, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });

} // namespace
} // namespace bridge
