#include "MprisTesting.hpp"
#include "Platform/MediaPlayerList.hpp"
#include "Platform/MprisClient.hpp"
#include "PlatformTesting.hpp"
#include "Values/SourceError.hpp"

#include <QCoreApplication>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace bridge {
namespace {

using namespace std::chrono_literals;
using testing::onBridgeThread;
using testing::PlayerOnBus;
using testing::playerProperties;

const QString vlc = QStringLiteral("org.mpris.MediaPlayer2.vlc");

QVariantMap track(const QString& title) {
    return QVariantMap{{"mpris:trackid", QVariant::fromValue(QDBusObjectPath("/track/1"))},
                       {"xesam:title", title},
                       {"xesam:artist", QStringList{"Canaro", "Maida"}},
                       {"xesam:url", "file:///music/a%20b.flac"},
                       {"mpris:length", qlonglong(200'000'000)}};
}

class MprisClientTests : public testing::OnPrivateBus {
protected:
    std::vector<MediaPlayerInstance> instances(const QString& player,
                                               std::chrono::milliseconds limit = 500ms) {
        MprisClient client(connection, limit);
        return onBridgeThread(client.instances(player.toStdString()));
    }
};

TEST_F(MprisClientTests, ReadsEveryInstanceOfThePlayerAndNoOther) {
    EXPECT_TRUE(instances(vlc).empty()) << "not running";
    PlayerOnBus first(bus->address, vlc);
    PlayerOnBus second(bus->address, vlc + ".instance4242");
    PlayerOnBus other(bus->address, QStringLiteral("org.mpris.MediaPlayer2.vlcx"));
    first.player.properties = playerProperties("Paused", track("Poema"), 0.5);
    second.player.properties = playerProperties("Playing", track("Danza Maligna"));
    const auto found = instances(vlc);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].busName, "org.mpris.MediaPlayer2.vlc");
    EXPECT_EQ(found[0].state,
              (MediaPlayerState{.playbackStatus = "Paused",
                                .volume = 0.5,
                                .metadata = MediaPlayerState::Metadata{
                                    .trackId = "/track/1",
                                    .title = "Poema",
                                    .artists = std::vector<std::string>{"Canaro", "Maida"},
                                    .url = "file:///music/a%20b.flac",
                                    .lengthMicroseconds = 200'000'000}}));
    EXPECT_EQ(found[1].busName, "org.mpris.MediaPlayer2.vlc.instance4242");
    EXPECT_EQ(found[1].state.metadata->title, "Danza Maligna");
    EXPECT_EQ(first.player.askedFor, "org.mpris.MediaPlayer2.Player");
    EXPECT_EQ(other.player.asked, 0);
}

TEST_F(MprisClientTests, ValuesOfOtherTypesAreAbsent) {
    PlayerOnBus player(bus->address, vlc);
    player.player.properties = QVariantMap{{"PlaybackStatus", 3},
                                           {"Volume", "loud"},
                                           {"Metadata", QVariantMap{{"xesam:title", 7},
                                                                    {"xesam:artist", "One"},
                                                                    {"mpris:length", qlonglong(-1)},
                                                                    {"xesam:url", 5}}}};
    const auto found = instances(vlc);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].state, (MediaPlayerState{.playbackStatus = std::nullopt,
                                                .volume = std::nullopt,
                                                .metadata = MediaPlayerState::Metadata{
                                                    .artists = std::vector<std::string>{"One"}}}));
    player.player.properties = QVariantMap{{"PlaybackStatus", "Stopped"}, {"Metadata", "none"}};
    EXPECT_EQ(instances(vlc)[0].state, (MediaPlayerState{.playbackStatus = "Stopped"}));
}

TEST_F(MprisClientTests, ARefusalIsNotAllowedAndSilenceFailsInTime) {
    PlayerOnBus player(bus->address, vlc);
    player.player.answer = testing::FakePlayer::Answer::error;
    player.player.errorName = "org.freedesktop.DBus.Error.AccessDenied";
    EXPECT_THROW(
        {
            try {
                instances(vlc);
            } catch (const SourceError& error) {
                EXPECT_EQ(error, SourceError::notAllowed);
                throw;
            }
        },
        SourceError);
    player.player.answer = testing::FakePlayer::Answer::silence;
    QElapsedTimer took;
    took.start();
    try {
        instances(vlc, 300ms);
        ADD_FAILURE() << "a silent player answered";
    } catch (const SourceError& error) {
        EXPECT_EQ(error, SourceError::notAnswering);
    }
    EXPECT_LT(took.elapsed(), 1000);
}

// Settles the list's calls.
bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

TEST_F(MprisClientTests, TheListNamesEachPlayerOnceByItsIdentityAndFollowsTheBus) {
    MediaPlayerList list(connection);
    QSignalSpy changed(&list, &MediaPlayerList::changed);
    auto first = std::make_unique<PlayerOnBus>(bus->address, vlc);
    first->player.identity = "VLC media player";
    PlayerOnBus second(bus->address, vlc + ".instance7");
    PlayerOnBus rhythmbox(bus->address, QStringLiteral("org.mpris.MediaPlayer2.rhythmbox"));
    rhythmbox.player.identity = "Rhythmbox";
    PlayerOnBus silent(bus->address, QStringLiteral("org.mpris.MediaPlayer2.quiet"));
    silent.player.identity = "";
    list.refresh();
    using Player = MediaPlayerList::Player;
    const std::vector<Player> all{{"org.mpris.MediaPlayer2.quiet", "org.mpris.MediaPlayer2.quiet"},
                                  {"org.mpris.MediaPlayer2.rhythmbox", "Rhythmbox"},
                                  {"org.mpris.MediaPlayer2.vlc", "VLC media player"}};
    ASSERT_TRUE(waitFor([&] { return list.players() == all; })) << [&] {
        std::string shown;
        for (const auto& p : list.players()) {
            shown += p.busName.toStdString() + "=" + p.identity.toStdString() + "; ";
        }
        return shown;
    }();
    // A player that leaves the bus leaves the list by itself.
    first.reset();
    const Player named{"org.mpris.MediaPlayer2.vlc", "Fake Player"};
    ASSERT_TRUE(waitFor([&] {
        const auto& now = list.players();
        return now.size() == 3 && std::find(now.begin(), now.end(), named) != now.end();
    })) << "the other instance names VLC now";
    EXPECT_GE(changed.count(), 2);
}

} // namespace
} // namespace bridge
