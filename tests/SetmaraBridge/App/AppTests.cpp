#include "App/BridgeApp.hpp"
#include "App/TrayPopup.hpp"
#include "SetmaraBridge/App/WidgetTesting.hpp"
#include "SetmaraBridge/Model/ModelTesting.hpp"
#include "Views/BridgeWindow.hpp"
#include "Views/Settings/SettingsView.hpp"

#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using namespace std::chrono_literals;

const QRect screen(0, 0, 1280, 800);
const QSize window(340, 500);

TEST(DropPoint, HangsUnderTheIconWhenItsPlaceIsKnown) {
    EXPECT_EQ(dropPoint(QRect(600, 0, 24, 24), QPoint(5, 5), window, screen), QPoint(442, 24));
}

TEST(DropPoint, FallsBackToThePointerWithoutAnIconPlace) {
    EXPECT_EQ(dropPoint(QRect(0, 0, 0, 0), QPoint(700, 10), window, screen), QPoint(530, 10));
    EXPECT_EQ(dropPoint(QRect(), QPoint(700, 10), window, screen), QPoint(530, 10));
}

TEST(DropPoint, StaysInsideTheAvailableArea) {
    // A panel at the bottom: the window opens above the icon.
    EXPECT_EQ(dropPoint(QRect(600, 776, 24, 24), {}, window, screen), QPoint(442, 276));
    // Icons at the corners: the window keeps to the screen's edges.
    EXPECT_EQ(dropPoint(QRect(1260, 0, 20, 20), {}, window, screen), QPoint(940, 20));
    EXPECT_EQ(dropPoint(QRect(), QPoint(3, 790), window, screen), QPoint(0, 290));
    // A work area below a top panel.
    EXPECT_EQ(dropPoint(QRect(), QPoint(640, 5), window, QRect(0, 28, 1280, 772)), QPoint(470, 28));
}

class BridgeAppTest : public ::testing::Test {
protected:
    BridgeAppTest() { testing::needWidgets(); }

    // The application on a platform without any tray (offscreen).
    BridgeApp& start() {
        model = std::make_unique<BridgeModel>(rig.services());
        app = std::make_unique<BridgeApp>(
            *model, [] { return false; }, [](bool) {}, 50ms);
        QSignalSpy placed(app.get(), &BridgeApp::placed);
        EXPECT_TRUE(placed.wait(2000));
        return *app;
    }

    testing::ModelRig rig;
    std::unique_ptr<BridgeModel> model;
    std::unique_ptr<BridgeApp> app;
};

TEST_F(BridgeAppTest, WithoutATrayTheStatusWindowIsAnOrdinaryWindowWhoseClosingQuits) {
    start();
    EXPECT_FALSE(app->inTray());
    BridgeWindow& window = app->statusWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::Popup));
    EXPECT_EQ(window.windowType(), Qt::Window);

    QTimer::singleShot(0, &window, [&] { window.close(); });
    QTimer::singleShot(2000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0) << "closing the window ends the application";
}

TEST_F(BridgeAppTest, SettingsOpenOnTheTabAskedForRaised) {
    start();
    SettingsView& settings = app->settingsWindow();
    EXPECT_FALSE(settings.isVisible());
    app->openSettings(SettingsTab::source, false);
    EXPECT_TRUE(settings.isVisible());
    EXPECT_TRUE(settings.isWindow());
    EXPECT_EQ(model->settingsTab(), SettingsTab::source);
    EXPECT_EQ(settings.findChild<QTabWidget*>("tabs")->currentIndex(), 1);
    EXPECT_GE(settings.width(), settings.sizeHint().width()) << "sized to its content";

    app->openSettings(SettingsTab::advanced, true);
    EXPECT_EQ(model->settingsTab(), SettingsTab::general);
    EXPECT_EQ(settings.findChild<QTabWidget*>("tabs")->currentIndex(), 0);
}

TEST_F(BridgeAppTest, TheWindowsMenuOpensSettingsAndQuits) {
    start();
    auto* settingsItem = app->statusWindow().findChild<QAction*>("menuSettings");
    ASSERT_NE(settingsItem, nullptr);
    settingsItem->trigger();
    EXPECT_TRUE(app->settingsWindow().isVisible());
}

} // namespace
} // namespace bridge
