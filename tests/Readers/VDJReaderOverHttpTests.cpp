// The VirtualDJ reader over real HTTP against the Network Control stand-in.

#include "Engine/BridgeEngine.hpp"
#include "Readers/VDJClient.hpp"
#include "Readers/VDJReader.hpp"
#include "Server/BeastTransport.hpp"
#include "Support/Await.hpp"
#include "Support/FakeGigServer.hpp"
#include "Support/TempFolder.hpp"
#include "Values/FileKey.hpp"
#include "Values/SourceError.hpp"
#include "VirtualDJStandIn.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace bridge {
namespace {

using namespace std::chrono_literals;
using Track = VirtualDJStandIn::Track;

const Track blue{.filePath = "/Music/Blue.mp3",
                 .title = "Blue",
                 .artist = "DJ A",
                 .remix = "Extended Mix",
                 .bpm = 124.0,
                 .key = "8A",
                 .lengthSeconds = 245.5};

const Track radio{.title = "Radio Show", .artist = "Station"};

class VDJReaderOverHttpTests : public ::testing::Test {
protected:
    boost::asio::io_context io;
    std::shared_ptr<BeastTransport> transport = std::make_shared<BeastTransport>();
    VirtualDJStandIn vdj{"pw", 3};

    VDJReader readerWith(std::string password, std::vector<int> decks = {1, 2, 3}) {
        return VDJReader(std::make_shared<VDJClient>(vdj.port(), std::move(password), transport),
                         std::move(decks));
    }

    VDJSnapshot read(VDJReader& reader) { return testing::await(io, reader.read()); }

    // The requests one read sends.
    std::size_t requestsOf(VDJReader& reader) {
        vdj.forgetReceived();
        read(reader);
        return vdj.received().size();
    }

    // The failure of one read and how long it took.
    std::pair<std::optional<SourceError>, std::chrono::steady_clock::duration>
    failureOf(VDJReader& reader) {
        const auto start = std::chrono::steady_clock::now();
        std::optional<SourceError> failure;
        try {
            read(reader);
        } catch (const SourceError& error) {
            failure = error;
        }
        return {failure, std::chrono::steady_clock::now() - start};
    }
};

TEST_F(VDJReaderOverHttpTests, RequestsPerReadFollowTheCaches) {
    auto reader = readerWith("pw");
    vdj.load(1, blue);
    vdj.setAudible(1, true);
    vdj.load(3, radio);
    vdj.setMasterDeck(3);
    // Deck 1 and deck 3 are new songs, deck 2 is empty.
    EXPECT_EQ(requestsOf(reader), 9u + 1u + 9u + 1u);
    // Nothing changed: a file costs three, an item without a file four.
    EXPECT_EQ(requestsOf(reader), 3u + 1u + 4u + 1u);
    for (const auto& request : vdj.received()) {
        EXPECT_EQ(request.authorization, "Bearer pw");
        EXPECT_TRUE(request.target.starts_with("/query?script=")) << request.target;
    }
    vdj.load(1, Track{.filePath = "/Music/Red.mp3", .title = "Red"});
    EXPECT_EQ(requestsOf(reader), 9u + 1u + 4u + 1u);
    vdj.load(3, Track{.title = "Next Show"});
    vdj.eject(1);
    EXPECT_EQ(requestsOf(reader), 1u + 1u + 9u + 1u);
}

TEST_F(VDJReaderOverHttpTests, TheSnapshotHoldsWhatTheDecksHold) {
    auto reader = readerWith("pw", {1, 2, 3, 4});
    vdj.load(1, blue);
    vdj.setAudible(1, true);
    vdj.load(2, Track{.filePath = "  /Music/Odd.mp3\n",
                      .title = "Caf\xE9\t",
                      .artist = "\u2003",
                      .bpm = 0.5,
                      .key = "error: no key"});
    vdj.load(3, radio);
    vdj.setMasterDeck(2);
    const auto snapshot = read(reader);
    ASSERT_EQ(snapshot.decks.size(), 4u);
    EXPECT_EQ(snapshot.decks[0], (DeckSnapshot{.deck = 1,
                                               .loaded = true,
                                               .audible = true,
                                               .song = Song{.filePath = "/Music/Blue.mp3",
                                                            .title = "Blue (Extended Mix)",
                                                            .artist = "DJ A",
                                                            .bpm = 124.0,
                                                            .key = "8A",
                                                            .lengthSeconds = 245.5}}));
    EXPECT_EQ(snapshot.decks[1].song,
              (Song{.filePath = "/Music/Odd.mp3", .title = "Caf\uFFFD", .bpm = 0.5}));
    EXPECT_FALSE(snapshot.decks[1].audible);
    EXPECT_EQ(snapshot.decks[2].song, (Song{.title = "Radio Show", .artist = "Station"}));
    // The stand-in has three decks: the fourth answers "error:" and counts as empty.
    EXPECT_EQ(snapshot.decks[3], DeckSnapshot{.deck = 4});
    EXPECT_EQ(snapshot.masterDeck, 2);
}

TEST_F(VDJReaderOverHttpTests, PasswordsAreCheckedAlsoWhenEmpty) {
    auto wrong = readerWith("nope");
    EXPECT_EQ(failureOf(wrong).first, SourceError::notAllowed);
    EXPECT_EQ(vdj.received().size(), 1u);
    vdj.setPassword("");
    auto none = readerWith("");
    EXPECT_NO_THROW(read(none));
    // The header's trailing blank is not part of its value on the wire.
    EXPECT_EQ(vdj.received().back().authorization, "Bearer");
}

TEST_F(VDJReaderOverHttpTests, AServerErrorIsNotAnswering) {
    auto reader = readerWith("pw");
    vdj.setFault(VirtualDJStandIn::Fault{.status = 500});
    EXPECT_EQ(failureOf(reader).first, SourceError::notAnswering);
    vdj.setFault(VirtualDJStandIn::Fault{.status = 401});
    EXPECT_EQ(failureOf(reader).first, SourceError::notAllowed);
}

TEST_F(VDJReaderOverHttpTests, AStoppedVirtualDJIsNotAnsweringAtOnce) {
    std::uint16_t port = 0;
    {
        VirtualDJStandIn gone;
        port = gone.port();
    }
    VDJReader reader(std::make_shared<VDJClient>(port, "pw", transport), {1});
    const auto [failure, took] = failureOf(reader);
    EXPECT_EQ(failure, SourceError::notAnswering);
    EXPECT_LT(took, 2s);
}

// A real deadline: the read gives up after the two seconds of its request.
TEST_F(VDJReaderOverHttpTests, AHangingVirtualDJIsNotAnsweringAfterTwoSeconds) {
    auto reader = readerWith("pw");
    vdj.setFault(VirtualDJStandIn::Fault{.delay = 10s});
    const auto [failure, took] = failureOf(reader);
    EXPECT_EQ(failure, SourceError::notAnswering);
    EXPECT_GE(took, 1900ms);
    EXPECT_LT(took, 3s);
    EXPECT_EQ(vdj.received().size(), 1u);
}

TEST_F(VDJReaderOverHttpTests, ASongPlayedInVirtualDJBecomesAPlay) {
    testing::TempFolder folder;
    double clock = 0;
    const auto at = [&clock] { return instantFromReferenceSeconds(800'000'000.0 + clock); };
    auto reader = std::make_shared<VDJReader>(
        std::make_shared<VDJClient>(vdj.port(), "pw", transport), std::vector<int>{1, 2});
    BridgeEngine engine(reader, std::make_shared<testing::FakeGigServer>(),
                        PlayQueue(folder / "queue.json"), PlayDetector(Seconds{10}),
                        BridgeEngine::Settings{}, at);
    vdj.load(1, blue);
    vdj.load(2, radio);
    vdj.setAudible(1, true);
    for (clock = 0; clock < 10; ++clock) {
        testing::await(io, engine.read(at()));
        EXPECT_TRUE(engine.status().recent.empty()) << clock;
    }
    testing::await(io, engine.read(at()));
    ASSERT_EQ(engine.status().recent.size(), 1u);
    const auto& play = engine.status().recent[0].event;
    EXPECT_EQ(play.title, "Blue (Extended Mix)");
    EXPECT_EQ(play.artist, "DJ A");
    EXPECT_EQ(play.bpm, 124.0);
    EXPECT_EQ(play.key, "8A");
    EXPECT_EQ(play.durationMs, 245'500);
    EXPECT_EQ(play.filePath, FileKey::of("/Music/Blue.mp3"));
    EXPECT_EQ(play.playedAt, instantFromReferenceSeconds(800'000'000.0));
}

} // namespace
} // namespace bridge
