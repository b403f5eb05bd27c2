#include "MprisTesting.hpp"
#include "Platform/MprisClient.hpp"
#include "PlatformTesting.hpp"
#include "Readers/MprisScriptRunner.hpp"
#include "Readers/SpotifyReader.hpp"
#include "Support/TempFolder.hpp"
#include "Values/SourceError.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServer>
#include <QDBusVirtualObject>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>
#include <variant>

namespace bridge {
namespace {

using namespace std::chrono_literals;
using testing::FakePlayer;
using testing::onBridgeThread;

// The far end of a peer-to-peer connection standing in for the whole bus: it answers the
// bus's own question and the player's, each after `delay`.
class SlowBus : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QDBusMessage reply;
        if (message.member() == QLatin1String("NameHasOwner")) {
            reply = message.createReply(true);
        } else if (message.member() == QLatin1String("GetAll")) {
            reply = message.createReply(QVariant::fromValue(
                QVariantMap{{"PlaybackStatus", "Stopped"}, {"Metadata", QVariantMap{}}}));
        } else {
            return false;
        }
        QTimer::singleShot(delay, this, [connection, reply] { connection.send(reply); });
        return true;
    }

    std::chrono::milliseconds delay{0};
};

QVariantMap playing(QVariant trackId, QVariant length, QString status = "Playing") {
    return QVariantMap{
        {"PlaybackStatus", status},
        {"Volume", 1.0},
        {"Metadata",
         QVariantMap{{"mpris:trackid", trackId},
                     {"mpris:length", length},
                     {"mpris:artUrl", "https://i.scdn.co/image/ab67616d0000b273"},
                     {"xesam:title", "Despacito"},
                     {"xesam:album", "VIDA"},
                     {"xesam:artist", QStringList{"Luis Fonsi", "Daddy Yankee"}},
                     {"xesam:url", "https://open.spotify.com/track/6habFhsOp2NvshLv26DqMb"}}},
    };
}

using Outcome = std::variant<std::string, ScriptError>;

class MprisScriptRunnerTests : public testing::OnPrivateBus {
protected:
    void SetUp() override {
        OnPrivateBus::SetUp();
        playerBus = connect();
        ASSERT_TRUE(playerBus.isConnected());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(playerBus.name());
        OnPrivateBus::TearDown();
    }

    void startPlayer() {
        ASSERT_TRUE(playerBus.registerVirtualObject("/org/mpris/MediaPlayer2", &player));
        ASSERT_TRUE(playerBus.registerService("org.mpris.MediaPlayer2.spotify"));
    }

    // One run on a bridge thread of its own while this thread serves Qt, as in the app.
    Outcome ask(std::string script = std::string(SpotifyReader::script)) {
        MprisScriptRunner runner(std::make_shared<MprisClient>(connection, 250ms));
        try {
            return onBridgeThread(runner.run(std::move(script)));
        } catch (const ScriptError& error) {
            return error;
        }
    }

    QDBusConnection playerBus{QString()};
    FakePlayer player;
};

TEST_F(MprisScriptRunnerTests, NoPlayerOnTheBusIsNotRunning) {
    EXPECT_EQ(ask(), Outcome("not running"));
}

TEST_F(MprisScriptRunnerTests, AnswersForEachPlaybackStatus) {
    startPlayer();
    const QDBusObjectPath path("/com/spotify/track/6habFhsOp2NvshLv26DqMb");
    player.properties = playing(QVariant::fromValue(path), qlonglong(229'360'000));
    EXPECT_EQ(ask(), Outcome("playing\tspotify:track:6habFhsOp2NvshLv26DqMb\tDespacito\t"
                             "Luis Fonsi, Daddy Yankee\t229360"));
    EXPECT_EQ(player.askedFor, "org.mpris.MediaPlayer2.Player");
    player.properties = playing(QVariant::fromValue(path), qlonglong(229'360'000), "Paused");
    EXPECT_EQ(ask(), Outcome("paused\tspotify:track:6habFhsOp2NvshLv26DqMb\tDespacito\t"
                             "Luis Fonsi, Daddy Yankee\t229360"));
    player.properties = QVariantMap{{"PlaybackStatus", "Stopped"}, {"Metadata", QVariantMap{}}};
    EXPECT_EQ(ask(), Outcome("stopped"));
    player.properties = playing(QVariant::fromValue(path), qlonglong(1), "Buffering");
    EXPECT_EQ(ask(), Outcome(ScriptError::failed));
}

TEST_F(MprisScriptRunnerTests, TakesBothTrackIdFormsAndBothLengthTypes) {
    startPlayer();
    player.properties = playing("spotify:track:3n3Ppam7vgaVa1iaRUc9Lp", qulonglong(180'500'999));
    EXPECT_EQ(ask(), Outcome("playing\tspotify:track:3n3Ppam7vgaVa1iaRUc9Lp\tDespacito\t"
                             "Luis Fonsi, Daddy Yankee\t180500"));
}

TEST_F(MprisScriptRunnerTests, EverySpotifyObjectPathBecomesItsUri) {
    startPlayer();
    const auto idFor = [this](const QString& path) {
        player.properties = playing(QVariant::fromValue(QDBusObjectPath(path)), qlonglong(1000));
        const auto outcome = ask();
        const auto* reply = std::get_if<std::string>(&outcome);
        return reply ? reply->substr(8, reply->find('\t', 8) - 8) : std::string("failed");
    };
    EXPECT_EQ(idFor("/com/spotify/episode/512ojhOuo1ktJprKbVcKyQ"),
              "spotify:episode:512ojhOuo1ktJprKbVcKyQ");
    EXPECT_EQ(idFor("/com/spotify/ad/7lPN2DXiMsVn7XUKtOW1CS"), "spotify:ad:7lPN2DXiMsVn7XUKtOW1CS");
    EXPECT_EQ(idFor("/com/spotify/local/Daft_20Punk/Discovery/One_20More_20Time/320"),
              "spotify:local:Daft_20Punk:Discovery:One_20More_20Time:320");
    // Other players' paths, and Spotify paths without a kind, stay as they are.
    EXPECT_EQ(idFor("/org/mpris/MediaPlayer2/TrackList/NoTrack"),
              "/org/mpris/MediaPlayer2/TrackList/NoTrack");
    EXPECT_EQ(idFor("/com/spotify/track"), "/com/spotify/track");
}

TEST_F(MprisScriptRunnerTests, ValuesOfTheWrongTypeAreMissing) {
    startPlayer();
    auto properties = playing(42, 215.5);
    auto metadata = properties["Metadata"].toMap();
    metadata["xesam:title"] = 7;
    metadata["xesam:artist"] = "Only One\tArtist";
    properties["Metadata"] = metadata;
    player.properties = properties;
    EXPECT_EQ(ask(), Outcome("playing\t\t\tOnly One Artist\tmissing value"));

    player.properties = playing("id", qlonglong(-5));
    EXPECT_EQ(ask(), Outcome("playing\tid\tDespacito\tLuis Fonsi, Daddy Yankee\tmissing value"));
    player.properties = QVariantMap{{"PlaybackStatus", 1}};
    EXPECT_EQ(ask(), Outcome(ScriptError::failed));
    player.properties = QVariantMap{{"PlaybackStatus", "Playing"}, {"Metadata", "none"}};
    EXPECT_EQ(ask(), Outcome(ScriptError::failed));
}

TEST_F(MprisScriptRunnerTests, ErrorsAndSilenceFail) {
    startPlayer();
    player.answer = FakePlayer::Answer::error;
    player.errorName = "org.freedesktop.DBus.Error.AccessDenied";
    EXPECT_EQ(ask(), Outcome(ScriptError::notAllowed));
    player.errorName = "org.freedesktop.DBus.Error.Failed";
    EXPECT_EQ(ask(), Outcome(ScriptError::failed));
    player.answer = FakePlayer::Answer::silence;
    EXPECT_EQ(ask(), Outcome(ScriptError::failed));
}

TEST_F(MprisScriptRunnerTests, OneTimeLimitCoversBothCallsOfARun) {
    QDBusServer server(QStringLiteral("unix:tmpdir=/tmp"));
    ASSERT_TRUE(server.isConnected());
    SlowBus far;
    QObject::connect(&server, &QDBusServer::newConnection, [&far](const QDBusConnection& peer) {
        QDBusConnection(peer).registerVirtualObject("/", &far, QDBusConnection::SubPath);
    });
    const auto near = QDBusConnection::connectToPeer(server.address(), "slow bus");
    ASSERT_TRUE(near.isConnected());
    MprisScriptRunner runner(std::make_shared<MprisClient>(near, 400ms));
    const auto run = [&] {
        try {
            return Outcome(onBridgeThread(runner.run(std::string(SpotifyReader::script))));
        } catch (const ScriptError& error) {
            return Outcome(error);
        }
    };

    far.delay = 100ms;
    EXPECT_EQ(run(), Outcome("stopped"));
    // Each answer alone comes in time, both together do not.
    far.delay = 300ms;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run(), Outcome(ScriptError::failed));
    const auto took = std::chrono::steady_clock::now() - started;
    // Qt's timers may fire a little early; two limits of their own would take 600 ms.
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 550ms);
    QDBusConnection::disconnectFromPeer(near.name());
}

TEST_F(MprisScriptRunnerTests, ServesTheSpotifyScriptOnly) {
    startPlayer();
    player.properties = QVariantMap{{"PlaybackStatus", "Stopped"}};
    EXPECT_EQ(ask("tell application \"Finder\" to quit"), Outcome(ScriptError::failed));
    EXPECT_EQ(ask(std::string(SpotifyReader::script) + "\n"), Outcome(ScriptError::failed));
    EXPECT_EQ(ask(), Outcome("stopped"));
}

TEST_F(MprisScriptRunnerTests, DrivesTheSpotifyReader) {
    startPlayer();
    player.properties = playing(QVariant::fromValue(QDBusObjectPath("/com/spotify/track/X1")),
                                qulonglong(200'000'000), "Paused");
    SpotifyReader reader(
        std::make_shared<MprisScriptRunner>(std::make_shared<MprisClient>(connection, 250ms)));
    const auto snapshot = onBridgeThread(reader.read());
    EXPECT_EQ(snapshot, VDJSnapshot::oneDeck(Song{.filePath = "spotify:track:X1",
                                                  .title = "Despacito",
                                                  .artist = "Luis Fonsi, Daddy Yankee",
                                                  .lengthSeconds = 200.0},
                                             false));
}

} // namespace
} // namespace bridge
