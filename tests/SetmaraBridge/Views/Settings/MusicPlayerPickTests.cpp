// The whole bridge on its own thread, reading a music player chosen in the Source pane: the
// players on a bus of the test's own, the gig server stand-in on 127.0.0.1.
#include "PickTesting.hpp"
#include "Platform/MediaPlayerList.hpp"
#include "Platform/MprisClient.hpp"
#include "SetmaraBridge/App/WidgetTesting.hpp"
#include "SetmaraBridge/Model/ModelTesting.hpp"
#include "SetmaraBridge/Platform/MprisTesting.hpp"
#include "Views/Settings/SourcePane.hpp"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::waitFor;

using namespace std::chrono_literals;

TEST(MusicPlayerPickTests, APlayerChosenInTheSourcePaneIsReadAndItsSongReachesTheGig) {
    testing::needWidgets();
    testing::PrivateBus bus;
    testing::PlayerOnBus rhythmbox(bus.address, "org.mpris.MediaPlayer2.rhythmbox");
    rhythmbox.player.identity = "Rhythmbox";
    rhythmbox.player.properties = testing::playerProperties(
        "Playing", QVariantMap{{"xesam:title", "Poema"},
                               {"xesam:artist", QStringList{"Francisco Canaro"}},
                               {"xesam:url", "file:///home/dj/Tango/Poema.flac"},
                               {"mpris:length", qlonglong(190'000'000)}});
    testing::PlayerOnBus vlc(bus.address, "org.mpris.MediaPlayer2.vlc.instance77");
    vlc.player.identity = "VLC media player";
    const QDBusConnection bridgeBus = QDBusConnection::connectToBus(bus.address, "bridge");

    testing::BridgeOnStandIn bridge;
    auto services = bridge.services();
    services.makeMediaPlayers = [&] { return std::make_shared<MprisClient>(bridgeBus); };
    services.makePlayerList = [&] { return std::make_unique<MediaPlayerList>(bridgeBus); };
    BridgeModel model(std::move(services));
    SourcePane pane(model);
    pane.show();

    ASSERT_TRUE(testing::choose(*pane.findChild<QComboBox*>("reads"), "Music player"));
    EXPECT_FALSE(model.isComplete()) << "no player chosen yet";
    auto& player = *pane.findChild<QComboBox*>("player");
    ASSERT_TRUE(waitFor([&] { return player.count() == 2; }, 5));
    EXPECT_EQ(player.itemText(0), "Rhythmbox");
    EXPECT_EQ(player.itemText(1), "VLC media player");
    ASSERT_TRUE(testing::choose(player, "Rhythmbox"));
    EXPECT_EQ(model.settings().player, "org.mpris.MediaPlayer2.rhythmbox");
    EXPECT_EQ(model.settings().playerName, "Rhythmbox");
    ASSERT_TRUE(model.isComplete());

    ASSERT_TRUE(waitFor([&] { return bridge.sent(model); }, 25)) << "the share delay is 10 s";
    const auto stored = bridge.server.plays(bridge.gig.id);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].title, "Poema");
    EXPECT_EQ(stored[0].artist, "Francisco Canaro");
    EXPECT_EQ(bridge.server.bridgeReads(),
              (GigServerStandIn::BridgeReads{"musicplayer", "Rhythmbox", "connected"}));
    EXPECT_EQ(pane.findChild<QLabel*>("sourceStatus")->text(), "Connected");
}

TEST(MusicPlayerPickTests, TheChosenPlayerStaysListedWhileItIsNotOpen) {
    testing::needWidgets();
    testing::ModelRig rig;
    rig.storeComplete();
    rig.preferences->setValue("source", "musicplayer");
    rig.preferences->setValue("player", "org.mpris.MediaPlayer2.strawberry");
    rig.preferences->setValue("playerName", "Strawberry");
    rig.preferences->sync();
    BridgeModel model(rig.services());
    SourcePane pane(model);
    auto& player = *pane.findChild<QComboBox*>("player");
    ASSERT_EQ(player.count(), 1);
    EXPECT_EQ(player.currentText(), "Strawberry (not open)");
    EXPECT_EQ(player.accessibleName(), "Player");
    EXPECT_TRUE(model.isComplete());
}

} // namespace
} // namespace bridge
