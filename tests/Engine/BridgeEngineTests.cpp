#include "Engine/BridgeEngine.hpp"
#include "PlayQueue/QueueFile.hpp"
#include "PlayQueue/QueueTesting.hpp"
#include "Server/ServerError.hpp"
#include "Support/Await.hpp"
#include "Support/FakeGigServer.hpp"
#include "Support/FakeReader.hpp"
#include "Support/Files.hpp"
#include "Support/TempFolder.hpp"
#include "Values/SourceError.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/use_future.hpp>
#include <gtest/gtest.h>

#include <limits>

namespace bridge {
namespace {

using Server = BridgeStatus::Server;
using testing::at;

Gig gig(std::int64_t id = 7) {
    return Gig{
        .id = id, .slug = "g", .name = "Gig", .sharing = true, .url = "https://setmara.test/g"};
}

class BridgeEngineTests : public ::testing::Test {
protected:
    testing::TempFolder folder;
    boost::asio::io_context io;
    std::shared_ptr<testing::FakeReader> reader = std::make_shared<testing::FakeReader>();
    std::shared_ptr<testing::FakeGigServer> server = std::make_shared<testing::FakeGigServer>();
    double wallClock = 0;
    BridgeEngine engine{reader,
                        server,
                        PlayQueue(folder / "queue.json"),
                        PlayDetector(Seconds{2}),
                        BridgeEngine::Settings{},
                        [this] { return at(wallClock); }};

    void run(boost::asio::awaitable<void> operation) { testing::await(io, std::move(operation)); }
    const BridgeStatus& status() const { return engine.status(); }

    // Reads at t, t+1, t+2: enough for one play with the two-second delay.
    void playSong(const std::string& title, double t) {
        reader->play(title);
        for (int i = 0; i < 3; ++i) {
            run(engine.read(at(t + i)));
        }
    }

    void liveGig(std::int64_t id = 7) {
        server->onCurrentGig = [id] { return std::optional(gig(id)); };
    }

    // Makes every send fail with `error`.
    void failSends(ServerError error) {
        server->onSend = [error](const std::vector<PlayEvent>&, std::int64_t) -> SentPlays {
            throw error;
        };
    }
};

TEST_F(BridgeEngineTests, StartsConnectingWithNothing) {
    EXPECT_EQ(status().source, SourceState::starting);
    EXPECT_EQ(status().server, Server::starting);
    EXPECT_TRUE(status().sharing);
    EXPECT_TRUE(status().decks.empty());
}

TEST_F(BridgeEngineTests, AReadShowsDecksAndQueuesPlays) {
    reader->next = [] {
        return VDJSnapshot{
            .decks = {{.deck = 1,
                       .loaded = true,
                       .audible = true,
                       .song = Song{.artist = "A", .bpm = 120, .key = "8A"}},
                      {.deck = 2, .loaded = true, .audible = false, .song = Song{.title = "Cued"}},
                      {.deck = 3, .loaded = false, .audible = false}},
            .masterDeck = 1,
            .program = "VirtualDJ 2025"};
    };
    run(engine.read(at(0)));
    EXPECT_EQ(status().source, SourceState::connected);
    EXPECT_EQ(status().program, "VirtualDJ 2025");
    ASSERT_EQ(status().decks.size(), 2u);
    EXPECT_EQ(status().decks[0], (DeckRow{.deck = 1,
                                          .title = "Unknown song",
                                          .artist = "A",
                                          .bpm = 120,
                                          .key = "8A",
                                          .onAir = true}));
    EXPECT_FALSE(status().decks[1].onAir);
    run(engine.read(at(1)));
    run(engine.read(at(2)));
    ASSERT_EQ(status().recent.size(), 1u);
    EXPECT_EQ(status().recent[0].status, QueuedPlay::Status::queued);
}

TEST_F(BridgeEngineTests, FailedReadsClearTheDecksAndKeepTheProgram) {
    reader->play("Song", "Traktor");
    run(engine.read(at(0)));
    reader->next = []() -> VDJSnapshot { throw SourceError::notAllowed; };
    run(engine.read(at(1)));
    EXPECT_EQ(status().source, SourceState::notAllowed);
    EXPECT_TRUE(status().decks.empty());
    reader->next = []() -> VDJSnapshot { throw std::runtime_error("odd"); };
    run(engine.read(at(2)));
    EXPECT_EQ(status().source, SourceState::notAnswering) << "any other failure is not answering";
    EXPECT_EQ(status().program, "Traktor");
}

TEST_F(BridgeEngineTests, PlaysAreQueuedHiddenWhenSharingIsOff) {
    engine.setSharing(false);
    playSong("Private", 0);
    EXPECT_EQ(status().recent.at(0).status, QueuedPlay::Status::hidden);
    engine.setSharing(true);
    playSong("Public", 10);
    EXPECT_EQ(status().recent.at(0).status, QueuedPlay::Status::queued);
}

// A Mixxx library can hold an infinite tempo or length in its REAL columns.
TEST_F(BridgeEngineTests, ASongWithNumbersThatAreNotFiniteIsStillSaved) {
    const double infinity = std::numeric_limits<double>::infinity();
    reader->next = [infinity] {
        return VDJSnapshot::oneDeck(
            Song{.title = "Endless", .artist = "A", .bpm = infinity, .lengthSeconds = infinity},
            true);
    };
    for (int i = 0; i < 3; ++i) {
        run(engine.read(at(i)));
    }
    playSong("Next", 10);
    const auto onDisk = QueueFile::decode(readWholeFile(folder / "queue.json").bytes);
    ASSERT_TRUE(onDisk);
    ASSERT_EQ(onDisk->size(), 2u) << "both plays reach the file";
    EXPECT_EQ(onDisk->at(0).event.title, "Endless");
    EXPECT_EQ(onDisk->at(0).event.bpm, std::nullopt);
    EXPECT_EQ(onDisk->at(0).event.durationMs, std::nullopt);
}

TEST_F(BridgeEngineTests, RepeatsAreNotQueuedTwice) {
    playSong("Song", 0);
    reader->next = [] { return VDJSnapshot{}; }; // unloaded
    run(engine.read(at(3)));
    playSong("Song", 4);
    EXPECT_EQ(status().recent.size(), 1u);
}

TEST_F(BridgeEngineTests, AGiglessPlayJoinsTheGigAtTheNextSend) {
    playSong("Song", 0);
    run(engine.sync(at(3)));
    EXPECT_EQ(status().server, Server::noGig);
    EXPECT_EQ(server->count("send"), 0u) << "no gig and nothing owed: no send";
    liveGig(7);
    run(engine.refreshGig());
    run(engine.sync(at(4)));
    ASSERT_EQ(server->count("send"), 1u);
    EXPECT_EQ(server->calls.back().gig, 7);
    EXPECT_EQ(status().server, Server::connected);
    EXPECT_EQ(status().recent.at(0).status, QueuedPlay::Status::sent);
}

TEST_F(BridgeEngineTests, AnEndedGigDropsPlaysUntilTheNextGigAnswer) {
    playSong("Waiting", 0);
    server->onCurrentGig = []() -> std::optional<Gig> { throw ServerError::gigEnded; };
    run(engine.refreshGig());
    EXPECT_EQ(status().server, Server::gigEnded);
    playSong("During", 10);
    EXPECT_TRUE(status().recent.empty()) << "the waiting play is dropped, and no new one is kept";
    server->onCurrentGig = [] { return std::optional<Gig>(); };
    run(engine.refreshGig());
    playSong("After", 20);
    EXPECT_EQ(status().recent.size(), 1u);
}

TEST_F(BridgeEngineTests, SendFailuresBackOffAndForcedSendsIgnoreIt) {
    liveGig();
    run(engine.refreshGig());
    playSong("Song", 0);
    failSends(ServerError::unavailable);
    double now = 100;
    const double waits[] = {1, 2, 4, 8, 15, 15};
    for (double wait : waits) {
        const auto before = server->count("send");
        run(engine.sync(at(now)));
        EXPECT_EQ(server->count("send"), before + 1);
        EXPECT_EQ(status().server, Server::offline);
        run(engine.sync(at(now + wait - 0.001))); // still in the backoff
        EXPECT_EQ(server->count("send"), before + 1) << "wait " << wait;
        now += wait;
    }
    // In the backoff now: a forced send still goes out, and its success clears the backoff.
    run(engine.sync(at(now)));
    const auto before = server->count("send");
    server->onSend = testing::FakeGigServer().onSend;
    run(engine.hideCurrent());
    EXPECT_EQ(server->count("send"), before + 1) << "forced despite the backoff";
    EXPECT_EQ(status().server, Server::connected);
    playSong("Next", now + 1);
    run(engine.sync(at(now + 4)));
    EXPECT_EQ(server->count("send"), before + 2) << "the backoff was cleared";
}

TEST_F(BridgeEngineTests, AGigAnswerDuringFailedSendsStaysOffline) {
    liveGig();
    run(engine.refreshGig());
    playSong("Song", 0);
    failSends(ServerError::unavailable);
    run(engine.sync(at(3)));
    EXPECT_EQ(status().server, Server::offline);
    run(engine.refreshGig());
    EXPECT_EQ(status().server, Server::offline);
}

TEST_F(BridgeEngineTests, RefusalsShowOnlyForTheCurrentGig) {
    liveGig(7);
    run(engine.refreshGig());
    failSends(ServerError::refused("Gig is full"));
    playSong("Song", 0);
    run(engine.sync(at(3)));
    EXPECT_EQ(status().server, Server::refused("Gig is full"));
    EXPECT_EQ(status().gigLine(), "Gig is full");

    liveGig(8);
    run(engine.refreshGig());
    EXPECT_EQ(status().server, Server::connected);
    run(engine.sync(at(100))); // gig 7's play is retried and refused again
    EXPECT_EQ(server->calls.back().gig, 7);
    EXPECT_EQ(status().server, Server::connected) << "an older gig's refusal changes nothing";
}

TEST_F(BridgeEngineTests, AnEndedGigShowsOnlyWhenItIsTheCurrentOne) {
    liveGig(7);
    run(engine.refreshGig());
    failSends(ServerError::unavailable);
    playSong("Seven", 0);
    run(engine.sync(at(3))); // the play for gig 7 stays unsent
    liveGig(9);              // the DJ ended gig 7 on the web site and started gig 9
    run(engine.refreshGig());
    std::set<std::int64_t> ended{7};
    server->onSend = [&ended, take = testing::FakeGigServer().onSend](
                         const std::vector<PlayEvent>& plays, std::int64_t gig) {
        if (ended.contains(gig)) {
            throw ServerError::gigEnded;
        }
        return take(plays, gig);
    };
    playSong("Nine", 10);
    run(engine.sync(at(20)));
    EXPECT_EQ(status().server, Server::connected) << "gig 7 is over, gig 9 is live";
    ASSERT_EQ(status().recent.size(), 2u);
    EXPECT_EQ(status().recent[0].status, QueuedPlay::Status::sent);
    EXPECT_EQ(status().recent[1].status, QueuedPlay::Status::notTaken);
    EXPECT_EQ(server->calls.back().gig, 9);

    ended.insert(9); // now gig 9 ends too, before the next gig ask
    playSong("Late", 30);
    run(engine.sync(at(33)));
    EXPECT_EQ(status().server, Server::gigEnded);
    EXPECT_EQ(status().recent[0].status, QueuedPlay::Status::notTaken);
    const auto sends = server->count("send");
    run(engine.sync(at(34)));
    EXPECT_EQ(server->count("send"), sends) << "nothing more is owed to an ended gig";
}

TEST_F(BridgeEngineTests, PausedAnswersShowInTheStatus) {
    liveGig();
    run(engine.refreshGig());
    server->onSend = [](const std::vector<PlayEvent>&, std::int64_t) {
        return SentPlays{.paused = true, .plays = {}};
    };
    playSong("Song", 0);
    run(engine.sync(at(3)));
    EXPECT_TRUE(status().paused);
    EXPECT_FALSE(status().isLive());
}

TEST_F(BridgeEngineTests, GigPollingFollowsTheSituation) {
    run(engine.sync(at(0)));
    run(engine.sync(at(9.9)));
    EXPECT_EQ(server->count("currentGig"), 1u);
    run(engine.sync(at(10)));
    EXPECT_EQ(server->count("currentGig"), 2u) << "every 10 s without a gig";
    liveGig();
    run(engine.sync(at(20)));
    run(engine.sync(at(34.9)));
    EXPECT_EQ(server->count("currentGig"), 3u);
    run(engine.sync(at(35)));
    EXPECT_EQ(server->count("currentGig"), 4u) << "every 15 s with one";
}

TEST_F(BridgeEngineTests, AClockSetBackStallsNeitherGigPollingNorTheBackoff) {
    liveGig();
    run(engine.sync(at(1000)));
    failSends(ServerError::unavailable);
    playSong("Song", 1001);
    run(engine.sync(at(1004))); // fails: no unforced send for a second
    ASSERT_EQ(server->count("currentGig"), 1u);
    ASSERT_EQ(server->count("send"), 1u);
    run(engine.sync(at(404))); // the wall clock is set back ten minutes
    EXPECT_EQ(server->count("currentGig"), 2u) << "the gig is asked for at once";
    EXPECT_EQ(server->count("send"), 2u) << "the send is tried at once";
    run(engine.sync(at(405)));
    EXPECT_EQ(server->count("currentGig"), 2u) << "15 s from the new time";
    EXPECT_EQ(server->count("send"), 2u) << "the second failure waits 2 s from the new time";
    run(engine.sync(at(406)));
    EXPECT_EQ(server->count("send"), 3u);
}

TEST_F(BridgeEngineTests, ASilentSourceAndNothingOwedSlowsPollingToAMinute) {
    reader->next = []() -> VDJSnapshot { throw SourceError::notAnswering; };
    for (int i = 0; i < 31; ++i) {
        run(engine.read(at(i)));
    }
    run(engine.sync(at(31)));
    run(engine.sync(at(41)));
    EXPECT_EQ(server->count("currentGig"), 1u) << "idle: 60 s";
    run(engine.sync(at(91)));
    EXPECT_EQ(server->count("currentGig"), 2u);
}

TEST_F(BridgeEngineTests, APlayOwedKeepsPollingAtTenSeconds) {
    liveGig(7);
    run(engine.refreshGig());
    playSong("Song", 0); // queued for gig 7
    failSends(ServerError::unavailable);
    server->onCurrentGig = [] { return std::optional<Gig>(); };
    run(engine.sync(at(3))); // the gig is gone; the send fails, so the play is still owed
    EXPECT_EQ(status().gig, std::nullopt);
    reader->next = []() -> VDJSnapshot { throw SourceError::notAnswering; };
    for (int i = 0; i < 31; ++i) {
        run(engine.read(at(4 + i)));
    }
    const auto asks = server->count("currentGig");
    run(engine.sync(at(13)));
    EXPECT_EQ(server->count("currentGig"), asks + 1) << "something owed: 10 s";
}

TEST_F(BridgeEngineTests, NotAllowedResetsTheSilentCount) {
    reader->next = []() -> VDJSnapshot { throw SourceError::notAnswering; };
    for (int i = 0; i < 31; ++i) {
        run(engine.read(at(i)));
    }
    reader->next = []() -> VDJSnapshot { throw SourceError::notAllowed; };
    run(engine.read(at(31)));
    run(engine.sync(at(31)));
    run(engine.sync(at(41)));
    EXPECT_EQ(server->count("currentGig"), 2u);
}

TEST_F(BridgeEngineTests, EndGigSendsFirstThenEnds) {
    run(engine.endGig());
    EXPECT_TRUE(server->calls.empty()) << "no gig known: nothing at all";
    liveGig(7);
    run(engine.refreshGig());
    playSong("Last song", 0);
    server->onChange = [this](const testing::FakeGigServer::Call& call) {
        if (call.kind == "endGig") {
            server->onCurrentGig = [] { return std::optional<Gig>(); };
        }
    };
    server->calls.clear();
    run(engine.endGig());
    ASSERT_EQ(server->calls.size(), 3u);
    EXPECT_EQ(server->calls[0].kind, "send");
    EXPECT_EQ(server->calls[1].kind, "endGig");
    EXPECT_EQ(server->calls[1].gig, 7);
    EXPECT_EQ(server->calls[2].kind, "currentGig");
    EXPECT_EQ(status().server, Server::noGig);
}

TEST_F(BridgeEngineTests, AFailedEndKeepsTheGig) {
    liveGig(7);
    run(engine.refreshGig());
    server->onChange = [](const testing::FakeGigServer::Call&) { throw ServerError::badKey; };
    run(engine.endGig());
    EXPECT_EQ(status().server, Server::badKey);
    EXPECT_EQ(status().gig, gig(7));
}

TEST_F(BridgeEngineTests, UndoTakesBackAndTellsTheServer) {
    liveGig();
    run(engine.refreshGig());
    playSong("Oops", 0);
    run(engine.sync(at(3)));
    run(engine.undoLast());
    EXPECT_TRUE(status().recent.empty());
    EXPECT_EQ(server->calls.back().kind, "remove");
}

TEST_F(BridgeEngineTests, ATickAsksReadsAndSendsInOneConversation) {
    liveGig(7);
    reader->play("Song");
    for (int t = 0; t <= 2; ++t) {
        run(engine.tick(at(t)));
    }
    EXPECT_EQ(reader->reads, 3);
    EXPECT_EQ(server->count("currentGig"), 1u);
    ASSERT_EQ(server->count("send"), 1u) << "the play counted at 2 s goes in the same tick";
    EXPECT_EQ(server->calls.back().gig, 7);
    EXPECT_EQ(status().recent.at(0).status, QueuedPlay::Status::sent);
}

TEST_F(BridgeEngineTests, ConversationsNeverOverlapWhileReadsGoOn) {
    testing::Gate gate;
    server->gate = &gate;
    liveGig();
    auto first = boost::asio::co_spawn(io, engine.refreshGig(), boost::asio::use_future);
    while (gate.waiting == 0) {
        io.run_one();
    }
    auto second = boost::asio::co_spawn(io, engine.endGig(), boost::asio::use_future);
    io.poll();
    EXPECT_EQ(server->calls.size(), 1u) << "the second conversation waits for the first";
    reader->play("Song");
    run(engine.read(at(0)));
    EXPECT_EQ(status().source, SourceState::connected) << "reads do not wait for the server";
    gate.release();
    io.run();
    first.get();
    second.get();
    ASSERT_GE(server->calls.size(), 3u);
    EXPECT_EQ(server->calls[0].kind, "currentGig");
    EXPECT_EQ(server->calls[1].kind, "endGig");
}

} // namespace
} // namespace bridge
