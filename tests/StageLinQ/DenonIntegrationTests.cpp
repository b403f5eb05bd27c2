#include "DenonPlayer.hpp"
#include "Engine/PlayDetector.hpp"
#include "StageLinQ/DenonReader.hpp"
#include "StageLinQ/StageLinQConnection.hpp"
#include "StageLinQ/StageLinQLink.hpp"
#include "StageLinQTesting.hpp"
#include "Support/Task.hpp"
#include "Values/SourceError.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <list>

namespace bridge {
namespace {

using namespace testing;

// Simulated players → discovery on loopback → sessions → the Denon reader.
class DenonIntegrationTests : public ::testing::Test {
protected:
    DenonIntegrationTests() {
        port = freePort(context);
        reader = std::make_unique<DenonReader>(
            std::make_shared<StageLinQLink>(
                port, [] { return std::vector<std::string>{"127.0.0.1"}; },
                StageLinQConnection::Limits{.silentWithin = silentWithin}),
            StageLinQ::newToken(), [this] { return ReferenceClock::now() + Seconds{skew.load()}; });
    }

    ~DenonIntegrationTests() override {
        for (auto& task : announcing) {
            task.cancel();
        }
        for (auto& player : players) {
            player.disconnect();
        }
        reader.reset();
        // Lets discovery and the sessions see their cancellation and end.
        context.restart();
        context.run_for(3s);
    }

    DenonPlayer& addPlayer(DenonPlayer::Options options = {}) {
        auto& player = players.emplace_back(context, std::move(options));
        player.start();
        announcing.push_back(Task::spawn(context.get_executor(), player.announce(port, 100ms)));
        return player;
    }

    std::optional<VDJSnapshot> read() {
        try {
            return runUntilDone(context, reader->read());
        } catch (const SourceError& error) {
            EXPECT_EQ(error, SourceError::notAnswering);
            return std::nullopt;
        }
    }

    bool readsDecks(std::size_t count) {
        return runUntil(context, [&] {
            const auto snapshot = read();
            return snapshot && snapshot->decks.size() == count;
        });
    }

    // Whether deck 1 comes to hold the song of that title.
    bool readsTitle(const std::string& title) {
        return runUntil(context, [&] {
            const auto snapshot = read();
            return snapshot && snapshot->decks[0].song && snapshot->decks[0].song->title == title;
        });
    }

    // The next session with a player that went away starts five seconds later.
    void fiveSecondsLater() { skew = skew + 5.0; }

    // A silence limit short enough to wait for; the simulated players answer every keep-alive.
    static constexpr std::chrono::milliseconds silentWithin{2000};

    asio::io_context context;
    std::uint16_t port = 0;
    std::atomic<double> skew = 0;
    std::list<DenonPlayer> players;
    std::vector<Task> announcing;
    std::unique_ptr<DenonReader> reader;
};

TEST_F(DenonIntegrationTests, ReadsThePlayersDecks) {
    EXPECT_FALSE(read());
    auto& player = addPlayer();
    ASSERT_TRUE(readsDecks(2));
    player.load(1, "So What", "Miles Davis");
    player.fader(1, 1.0);
    player.play(1, true);
    ASSERT_TRUE(runUntil(context, [&] {
        const auto snapshot = read();
        return snapshot && snapshot->decks[0].audible;
    }));
    const auto snapshot = *read();
    EXPECT_EQ(snapshot.decks[0].song->title, "So What");
    EXPECT_EQ(snapshot.decks[0].song->artist, "Miles Davis");
    EXPECT_EQ(snapshot.masterDeck, 1);

    player.deckCount(4);
    ASSERT_TRUE(readsDecks(4));
    player.crossfader(1.0);
    ASSERT_TRUE(runUntil(context, [&] { return !read()->decks[0].audible; }));
    EXPECT_EQ(player.subscriptions().size(), 35u);
}

TEST_F(DenonIntegrationTests, FollowsAPlayerThatComesBackOnANewPort) {
    auto& player = addPlayer();
    EXPECT_FALSE(read()) << "the first read starts discovery";
    ASSERT_TRUE(runUntil(context, [&] { return player.subscriptions().size() == 35; }));
    ASSERT_TRUE(readsDecks(2));
    const auto oldPort = player.mainPort();
    player.disconnect();
    ASSERT_TRUE(runUntil(context, [&] { return !read(); }));
    player.start();
    EXPECT_NE(player.mainPort(), oldPort);
    runUntil(
        context, [] { return false; }, 300ms);
    EXPECT_EQ(player.connections(), 1) << "announcements within five seconds are ignored";
    fiveSecondsLater();
    ASSERT_TRUE(runUntil(context, [&] { return player.sessions() == 2; }));
    ASSERT_TRUE(readsDecks(2));
}

TEST_F(DenonIntegrationTests, DropsAPlayerThatFallsSilentAndFollowsItWhenItIsBack) {
    auto& player = addPlayer();
    player.load(1, "So What", "Miles Davis");
    ASSERT_TRUE(readsTitle("So What"));
    // Its power goes: nothing closes, nothing more arrives.
    player.silence();
    const auto silenced = std::chrono::steady_clock::now();
    ASSERT_TRUE(runUntil(
        context, [&] { return !read(); }, 3 * silentWithin))
        << "its decks vanish";
    EXPECT_GE(std::chrono::steady_clock::now() - silenced, silentWithin / 2);

    player.start();
    fiveSecondsLater();
    ASSERT_TRUE(runUntil(context, [&] { return player.sessions() == 2; }));
    ASSERT_TRUE(readsTitle("So What"));
}

TEST_F(DenonIntegrationTests, FollowsAPlayerBackOnNewPortsBeforeItsSilenceIsNoticed) {
    auto& player = addPlayer();
    player.load(1, "So What", "Miles Davis");
    ASSERT_TRUE(readsTitle("So What"));
    // It restarts at once: the old connections are still open and silent on this side.
    player.silence();
    player.start();
    player.load(1, "Blue in Green", "Miles Davis");
    ASSERT_TRUE(runUntil(
        context, [&] { return player.sessions() == 2; }, silentWithin * 3 / 4));
    ASSERT_TRUE(readsTitle("Blue in Green"));
}

TEST_F(DenonIntegrationTests, NumbersDecksByPlayerAndLeavesTheNinthOut) {
    std::vector<DenonPlayer*> all;
    for (int i = 0; i < 9; ++i) {
        all.push_back(&addPlayer());
    }
    ASSERT_TRUE(readsDecks(16));
    runUntil(
        context, [] { return false; }, 300ms);
    const auto idle =
        std::find_if(all.begin(), all.end(), [](auto* p) { return p->sessions() == 0; });
    ASSERT_NE(idle, all.end());
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](auto* p) { return p->sessions() == 1; }), 8);

    // The player numbered 1 comes first, whatever its token.
    auto* first = all[0] == *idle ? all[1] : all[0];
    first->load(1, "First", "A");
    auto* numbered = all[2] == *idle ? all[3] : all[2];
    numbered->load(1, "Numbered", "B");
    numbered->playerNumber(1);
    ASSERT_TRUE(runUntil(context, [&] {
        const auto snapshot = read();
        return snapshot && snapshot->decks[0].song && snapshot->decks[0].song->title == "Numbered";
    }));

    first->disconnect();
    fiveSecondsLater();
    ASSERT_TRUE(runUntil(context, [&] { return (*idle)->sessions() == 1; }));
    ASSERT_TRUE(readsDecks(16));
}

TEST_F(DenonIntegrationTests, NeverFollowsADeviceThatRefusesSessions) {
    auto& refusing = addPlayer(DenonPlayer::Options{.software = "JP14", .refuseSessions = true});
    auto& player = addPlayer();
    ASSERT_TRUE(readsDecks(2));
    runUntil(
        context, [] { return false; }, 500ms);
    EXPECT_EQ(refusing.connections(), 1) << "tried again only five seconds later";
    EXPECT_EQ(refusing.sessions(), 0);
    fiveSecondsLater();
    ASSERT_TRUE(runUntil(context, [&] { return refusing.connections() == 2; }));
    EXPECT_EQ(player.sessions(), 1);
    EXPECT_TRUE(readsDecks(2));
}

TEST_F(DenonIntegrationTests, ASongOnAirForTheShareDelayIsPlayedOnce) {
    auto& player = addPlayer();
    player.playerNumber(1);
    ASSERT_TRUE(readsDecks(2));
    runUntilDone(context,
                 player.run({
                     {0ms, [](DenonPlayer& p) { p.load(1, "Blue in Green", "Miles Davis"); }},
                     {10ms, [](DenonPlayer& p) { p.fader(1, 0.9); }},
                     {10ms, [](DenonPlayer& p) { p.play(1, true); }},
                 }));
    ASSERT_TRUE(runUntil(context, [&] { return read()->decks[0].audible; }));

    PlayDetector detector{Seconds{10}};
    const auto start = instantFromReferenceSeconds(800'000'000);
    std::vector<PlayEvent> plays;
    for (int second = 0; second <= 12; ++second) {
        for (auto& play : detector.observe(*read(), start + Seconds{second})) {
            plays.push_back(play);
        }
    }
    ASSERT_EQ(plays.size(), 1u);
    EXPECT_EQ(plays[0].title, "Blue in Green");
    EXPECT_EQ(plays[0].artist, "Miles Davis");
    EXPECT_EQ(plays[0].playedAt, start);
}

} // namespace
} // namespace bridge
