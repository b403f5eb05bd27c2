// The engine with real parts: the server client over the real transport, talking to the gig
// server stand-in on 127.0.0.1, fed by a scripted reader and a driven clock.
#include "Engine/BridgeEngine.hpp"
#include "GigServerStandIn.hpp"
#include "PlayQueue/QueueFile.hpp"
#include "PlayQueue/QueueTesting.hpp"
#include "Server/BeastTransport.hpp"
#include "Server/ServerClient.hpp"
#include "Support/Await.hpp"
#include "Support/FakeReader.hpp"
#include "Support/Files.hpp"
#include "Support/TempFolder.hpp"
#include "Values/FileKey.hpp"

#include <boost/asio/ip/tcp.hpp>
#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using Fault = GigServerStandIn::Fault;
using testing::at;

class EngineEndToEndTests : public ::testing::Test {
protected:
    testing::TempFolder folder;
    std::filesystem::path queueFile = folder / "SetmaraBridge/queue.json";
    boost::asio::io_context io;
    GigServerStandIn standIn;
    std::string key = standIn.makeKey();
    std::shared_ptr<testing::FakeReader> reader = std::make_shared<testing::FakeReader>();
    double now = 0;

    std::unique_ptr<BridgeEngine> makeEngine(const std::string& server) {
        auto client = std::make_shared<ServerClient>(server, key, Source::virtualDJ,
                                                     std::make_shared<BeastTransport>());
        return std::make_unique<BridgeEngine>(reader, client, PlayQueue(queueFile),
                                              PlayDetector(Seconds{10}), BridgeEngine::Settings{},
                                              [this] { return at(now); });
    }

    void run(boost::asio::awaitable<void> operation) { testing::await(io, std::move(operation)); }

    // One second of the loop: a read, then a conversation.
    void second(BridgeEngine& engine) {
        run(engine.read(at(now)));
        run(engine.sync(at(now)));
        now += 1;
    }

    void playOnDeck(std::string title, std::string file = "/Users/dj/Music/Salsa/Vivir.mp3") {
        reader->next = [title = std::move(title), file = std::move(file)] {
            return VDJSnapshot{.decks = {{.deck = 1,
                                          .loaded = true,
                                          .audible = true,
                                          .song = Song{.filePath = file,
                                                       .title = title,
                                                       .artist = "Marc Anthony",
                                                       .bpm = 97.5,
                                                       .key = "5A",
                                                       .lengthSeconds = 251.2}}},
                               .masterDeck = 1};
        };
    }

    std::vector<Entry> queueOnDisk() const {
        return QueueFile::decode(readWholeFile(queueFile).bytes).value();
    }

    static std::string closedServer() {
        boost::asio::io_context scratch;
        boost::asio::ip::tcp::acceptor probe(scratch,
                                             {boost::asio::ip::make_address("127.0.0.1"), 0});
        return "http://127.0.0.1:" + std::to_string(probe.local_endpoint().port());
    }
};

TEST_F(EngineEndToEndTests, ASongOnAirArrivesOnceWithTheExactWireForm) {
    const Gig gig = standIn.startGig({.name = "Friday Social"});
    auto engine = makeEngine(standIn.url());
    playOnDeck("Vivir Mi Vida");
    for (int i = 0; i < 15; ++i) {
        second(*engine);
    }
    const auto plays = standIn.plays(gig.id);
    ASSERT_EQ(plays.size(), 1u);
    const auto sent = boost::json::parse(plays[0].object).as_object();
    const auto id = std::string(sent.at("id").as_string());
    EXPECT_EQ(id.size(), 36u);
    // Played at the first second on air: 2001-01-01 plus 800,000,000 s, in Unix milliseconds.
    EXPECT_EQ(boost::json::parse(plays[0].object),
              boost::json::parse(
                  R"({"id":")" + id +
                  R"(","playedAt":1778307200000,"title":"Vivir Mi Vida","artist":"Marc Anthony",)"
                  R"("songBpm":97.5,"key":"5A","filePath":"sha256:)" +
                  FileKey::of("/Users/dj/Music/Salsa/Vivir.mp3").substr(7) +
                  R"(","durationMs":251200})"));
    EXPECT_EQ(engine->status().server, BridgeStatus::Server::connected);
    EXPECT_EQ(engine->status().recent.at(0).status, QueuedPlay::Status::sent);
    EXPECT_TRUE(engine->status().isLive());
}

TEST_F(EngineEndToEndTests, APlayWaitsWhileTheServerIsDownAndSurvivesARestart) {
    const Gig gig = standIn.startGig();
    {
        auto offline = makeEngine(closedServer());
        playOnDeck("Offline song");
        for (int i = 0; i < 12; ++i) {
            second(*offline);
        }
        EXPECT_EQ(offline->status().server, BridgeStatus::Server::offline);
        const auto onDisk = queueOnDisk();
        ASSERT_EQ(onDisk.size(), 1u) << "the play waits in the queue file";
        EXPECT_EQ(onDisk[0].event.title, "Offline song");
        EXPECT_FALSE(onDisk[0].sent);
    }
    // The bridge starts again, and the server is back.
    reader->next = [] { return VDJSnapshot{}; };
    auto engine = makeEngine(standIn.url());
    second(*engine);
    ASSERT_EQ(standIn.plays(gig.id).size(), 1u);
    EXPECT_EQ(standIn.plays(gig.id)[0].eventId, queueOnDisk()[0].event.id);
    EXPECT_TRUE(queueOnDisk()[0].sent);
}

TEST_F(EngineEndToEndTests, HideAndTakeBackReachTheServer) {
    const Gig gig = standIn.startGig();
    auto engine = makeEngine(standIn.url());
    playOnDeck("Wrong song");
    for (int i = 0; i < 12; ++i) {
        second(*engine);
    }
    ASSERT_EQ(standIn.plays(gig.id).size(), 1u);
    run(engine->hideCurrent());
    EXPECT_TRUE(standIn.plays(gig.id)[0].hidden);
    EXPECT_EQ(engine->status().recent.at(0).status, QueuedPlay::Status::hidden);
    run(engine->undoLast());
    EXPECT_TRUE(standIn.plays(gig.id).empty());
    EXPECT_TRUE(engine->status().recent.empty());
}

TEST_F(EngineEndToEndTests, APlayOwedToAnEndedGigHoldsBackNoLaterGig) {
    Gig seven = standIn.startGig();
    while (seven.id < 7) {
        seven = standIn.startGig();
    }
    const std::string sevenPlays = "/api/bridge/gigs/7/plays";
    standIn.setFault(sevenPlays, Fault::answer(503));
    auto engine = makeEngine(standIn.url());
    playOnDeck("For gig seven", "/Users/dj/Music/seven.mp3");
    for (int i = 0; i <= 11; ++i) { // counted at 10 s; its sends fail
        second(*engine);
    }
    ASSERT_EQ(queueOnDisk().size(), 1u);
    ASSERT_FALSE(queueOnDisk()[0].sent);
    // The DJ ends gig 7 on the web site and goes on with gig 9.
    standIn.endGig();
    standIn.clearFaults();
    standIn.startGig();
    ASSERT_EQ(standIn.startGig().id, 9);
    const auto asked = standIn.requests().size();
    playOnDeck("For gig nine", "/Users/dj/Music/nine.mp3");
    for (int i = 0; i < 14; ++i) { // the gig ask at 15 s finds gig 9; the play counts at 22 s
        second(*engine);
    }
    const auto nine = standIn.plays(9);
    ASSERT_EQ(nine.size(), 1u);
    EXPECT_EQ(std::string(boost::json::parse(nine[0].object).at("title").as_string()),
              "For gig nine");
    EXPECT_TRUE(standIn.plays(7).empty());
    const auto requests = standIn.requests();
    EXPECT_EQ(std::count_if(requests.begin() + static_cast<std::ptrdiff_t>(asked), requests.end(),
                            [&](const auto& r) { return r.path() == sevenPlays; }),
              1)
        << "one answer that gig 7 has ended settles its play";
    EXPECT_EQ(engine->status().server, BridgeStatus::Server::connected);
    EXPECT_EQ(engine->status().gig->id, 9);
    ASSERT_EQ(engine->status().recent.size(), 2u);
    EXPECT_EQ(engine->status().recent[0].status, QueuedPlay::Status::sent);
    EXPECT_EQ(engine->status().recent[1].status, QueuedPlay::Status::notTaken);
    const auto onDisk = queueOnDisk();
    ASSERT_EQ(onDisk.size(), 2u);
    EXPECT_TRUE(onDisk[0].sent && onDisk[0].notTaken);
}

TEST_F(EngineEndToEndTests, LostAnswersAndGarbageNeverLoseOrDoublePlays) {
    const Gig gig = standIn.startGig();
    auto engine = makeEngine(standIn.url());
    run(engine->refreshGig());
    const std::string plays = "/api/bridge/gigs/" + std::to_string(gig.id) + "/plays";
    // The server takes the batch, but the answer is lost on the way back, also when the
    // transport tries once more on a new connection after the kept one failed.
    Fault lost = Fault::dropConnection();
    lost.takeEffect = true;
    lost.times = 2;
    standIn.setFault(plays, lost);
    Fault garbage = Fault::garbage();
    garbage.times = 1;
    playOnDeck("First");
    for (int i = 0; i <= 10; ++i) { // the play counts at 10 s and its first send loses its answer
        second(*engine);
    }
    EXPECT_EQ(engine->status().server, BridgeStatus::Server::offline);
    standIn.setFault(plays, garbage);
    second(*engine); // 11 s: one second of backoff has passed; the answer is garbage
    EXPECT_EQ(engine->status().server, BridgeStatus::Server::offline);
    now += 1; // 13 s: two more seconds of backoff
    second(*engine);
    EXPECT_EQ(engine->status().server, BridgeStatus::Server::connected);
    ASSERT_EQ(standIn.plays(gig.id).size(), 1u) << "sent again under its id: stored once";
    const auto onDisk = queueOnDisk();
    ASSERT_EQ(onDisk.size(), 1u);
    EXPECT_TRUE(onDisk[0].sent);
    EXPECT_FALSE(onDisk[0].notTaken);
}

} // namespace
} // namespace bridge
