// Pictures of every settings tab in the light and the dark palette, for a person to look at.
#include "Model/BridgeModel.hpp"
#include "Platform/MediaPlayerList.hpp"
#include "SetmaraBridge/App/WidgetTesting.hpp"
#include "SetmaraBridge/Model/ModelTesting.hpp"
#include "SetmaraBridge/Platform/MprisTesting.hpp"
#include "Views/Settings/SettingsView.hpp"

#include <QDir>
#include <QFontInfo>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <gtest/gtest.h>

namespace bridge {
namespace {

QPalette darkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2d));
    dark.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    dark.setColor(QPalette::AlternateBase, QColor(0x32, 0x32, 0x34));
    dark.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    dark.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xe8));
    dark.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x9e));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7e, 0xd6));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Mid, QColor(0x55, 0x55, 0x58));
    return dark;
}

struct Scene {
    const char* name;
    SettingsTab tab;
    std::function<void(BridgeSettings&)> settings;
    std::optional<BridgeStatus> status = std::nullopt; // as the bridge reported it
};

BridgeStatus pioneerFound() {
    BridgeStatus status;
    status.source = SourceState::connected;
    status.network = "eth0, 169.254.20.4";
    return status;
}

TEST(SettingsScreenshots, EveryTabLightAndDark) {
    QApplication& application = testing::needWidgets();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    ASSERT_TRUE(QFontInfo(QApplication::font()).family().contains("DejaVu"))
        << "without DejaVu Sans the typographic characters are boxes: "
        << QFontInfo(QApplication::font()).family().toStdString();
    const QDir folder(QStringLiteral(SCREENSHOTS));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));

    const std::vector<Scene> scenes{
        {"general", SettingsTab::general,
         [](BridgeSettings& s) {
             s.key = "key-1";
             s.pairedAs = "Friday at the Loft · Salsa";
             s.countAfter = 45;
         }},
        {"source-virtualdj", SettingsTab::source, [](BridgeSettings&) {}},
        {"source-whatsnowplaying", SettingsTab::source,
         [](BridgeSettings& s) { s.source = Source::whatsNowPlaying; }},
        {"source-musicplayer", SettingsTab::source,
         [](BridgeSettings& s) {
             s.source = Source::musicPlayer;
             s.player = "org.mpris.MediaPlayer2.rhythmbox";
             s.playerName = "Rhythmbox";
         }},
        {"source-prodjlink", SettingsTab::source,
         [](BridgeSettings& s) { s.source = Source::proDJLink; }, pioneerFound()},
        {"advanced-server", SettingsTab::advanced,
         [](BridgeSettings& s) {
             s.advanced = true;
             s.serverURL = "http://127.0.0.1:8000";
         }},
    };
    // Players on a bus of the picture's own, for the music player's picker.
    testing::PrivateBus bus;
    std::vector<std::unique_ptr<testing::PlayerOnBus>> players;
    for (const auto& [name, identity] : std::vector<std::pair<QString, QString>>{
             {"rhythmbox", "Rhythmbox"}, {"vlc", "VLC media player"}, {"audacious", "Audacious"}}) {
        players.push_back(
            std::make_unique<testing::PlayerOnBus>(bus.address, "org.mpris.MediaPlayer2." + name));
        players.back()->player.identity = identity;
    }
    const QDBusConnection listBus = QDBusConnection::connectToBus(bus.address, "list");

    const QPalette light = QApplication::style()->standardPalette();
    for (const auto& [paletteName, palette] :
         std::vector<std::pair<QString, QPalette>>{{"light", light}, {"dark", darkPalette()}}) {
        application.setPalette(palette);
        for (const Scene& scene : scenes) {
            testing::ModelRig rig;
            rig.storeComplete();
            auto services = rig.services();
            services.makePlayerList = [&] { return std::make_unique<MediaPlayerList>(listBus); };
            BridgeModel model(std::move(services));
            model.update(scene.settings);
            if (scene.status) {
                model.show(*scene.status);
            }
            SettingsView view(
                model, [] { return true; }, [](bool) {});
            model.setSettingsTab(scene.tab);
            view.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
            QTest::qWait(300); // the players' list answers meanwhile
            const QString file =
                folder.filePath(QStringLiteral("settings-%1-%2.png")
                                    .arg(QString::fromUtf8(scene.name), paletteName));
            EXPECT_TRUE(view.grab().save(file)) << file.toStdString();
        }
    }
}

} // namespace
} // namespace bridge
