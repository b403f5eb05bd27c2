// The What's Now Playing reader over real HTTP against the tool's stand-in.

#include "Engine/BridgeEngine.hpp"
#include "Readers/WhatsNowPlayingReader.hpp"
#include "Readers/WhatsNowPlayingServer.hpp"
#include "Server/BeastTransport.hpp"
#include "Support/Await.hpp"
#include "Support/FakeGigServer.hpp"
#include "Support/TempFolder.hpp"
#include "Values/FileKey.hpp"
#include "Values/SourceError.hpp"
#include "WhatsNowPlayingStandIn.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace bridge {
namespace {

using namespace std::chrono_literals;
using Track = WhatsNowPlayingStandIn::Track;
using Fault = WhatsNowPlayingStandIn::Fault;

class WhatsNowPlayingOverHttpTests : public ::testing::Test {
protected:
    boost::asio::io_context io;
    WhatsNowPlayingStandIn tool;
    // The reader's clock, in seconds since 2001; starts at the wall clock's time.
    double clock = referenceSeconds(ReferenceClock::now());
    WhatsNowPlayingReader reader{
        std::make_shared<WhatsNowPlayingServer>(std::make_shared<BeastTransport>(), tool.port()),
        [this] { return instantFromReferenceSeconds(clock); }};

    VDJSnapshot readAt(double at) {
        clock = at;
        return testing::await(io, reader.read());
    }

    std::optional<SourceError> failureAt(double at) {
        try {
            readAt(at);
        } catch (const SourceError& error) {
            return error;
        }
        return std::nullopt;
    }
};

// The system clock's time for seconds since 2001, to the microsecond.
std::chrono::system_clock::time_point wallClock(double referenceSeconds) {
    const auto micros =
        std::llround((referenceSeconds + ReferenceClock::unixEpochOffset.count()) * 1e6);
    return std::chrono::system_clock::time_point(std::chrono::microseconds(micros));
}

Track blue(std::chrono::system_clock::time_point received) {
    return Track{.title = "Blue",
                 .artist = "DJ A",
                 .filename = "/Music/Blue.mp3",
                 .bpm = 128.0,
                 .key = "8A",
                 .duration = 245,
                 .agent = "Traktor",
                 .received = received};
}

TEST_F(WhatsNowPlayingOverHttpTests, ReadsTheToolsRealShape) {
    tool.play(blue(std::chrono::system_clock::now()));
    EXPECT_EQ(readAt(clock), VDJSnapshot::oneDeck(Song{.filePath = "/Music/Blue.mp3",
                                                       .title = "Blue",
                                                       .artist = "DJ A",
                                                       .bpm = 128.0,
                                                       .key = "8A",
                                                       .lengthSeconds = 245.0},
                                                  true, "Traktor"));
}

TEST_F(WhatsNowPlayingOverHttpTests, TheToolsMicrosecondStartTimeCounts) {
    // Received 300 s before the reader first sees it: past 245 s and a minute soon after.
    const double start = std::floor(clock) - 300 + 0.25;
    tool.play(blue(wallClock(start)));
    EXPECT_TRUE(readAt(start + 305).decks[0].audible);
    EXPECT_FALSE(readAt(start + 305.001).decks[0].audible);
    // Whole seconds come without a fraction.
    tool.play(blue(wallClock(start - 0.25)));
    EXPECT_FALSE(readAt(start + 307.001).decks[0].audible);
}

TEST_F(WhatsNowPlayingOverHttpTests, AsksOnceEveryTwoSeconds) {
    tool.play(blue(std::chrono::system_clock::now()));
    const double start = clock;
    for (double at = start; at < start + 6; at += 0.5) {
        readAt(at);
    }
    EXPECT_EQ(tool.requestCount(), 3u);
}

TEST_F(WhatsNowPlayingOverHttpTests, NothingPlayedYetIsAnEmptyDeck) {
    EXPECT_EQ(readAt(clock), VDJSnapshot::oneDeck(std::nullopt, false));
}

TEST_F(WhatsNowPlayingOverHttpTests, BadAnswersAreNotAnswering) {
    const double start = clock;
    tool.setFault(Fault{.status = 500});
    EXPECT_EQ(failureAt(start), SourceError::notAnswering);
    tool.setFault(Fault{.body = "<html>busy</html>"});
    EXPECT_EQ(failureAt(start + 2), SourceError::notAnswering);
    tool.setFault(Fault{.body = R"(["title"])"});
    EXPECT_EQ(failureAt(start + 4), SourceError::notAnswering);
    tool.setFault(std::nullopt);
    EXPECT_EQ(failureAt(start + 6), std::nullopt);
}

TEST_F(WhatsNowPlayingOverHttpTests, AStoppedToolIsNotAnswering) {
    std::uint16_t port = 0;
    {
        WhatsNowPlayingStandIn gone;
        port = gone.port();
    }
    WhatsNowPlayingReader stopped{
        std::make_shared<WhatsNowPlayingServer>(std::make_shared<BeastTransport>(), port)};
    EXPECT_THROW(testing::await(io, stopped.read()), SourceError);
}

// A real deadline: the tool is given up after one and a half seconds.
TEST_F(WhatsNowPlayingOverHttpTests, AHangingToolIsNotAnsweringAfterItsLimit) {
    tool.setFault(Fault{.delay = 10s});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureAt(clock), SourceError::notAnswering);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 2500ms);
}

TEST_F(WhatsNowPlayingOverHttpTests, ATrackTheToolReceivedBecomesAPlay) {
    testing::TempFolder folder;
    const auto at = [this] { return instantFromReferenceSeconds(clock); };
    auto source = std::make_shared<WhatsNowPlayingReader>(
        std::make_shared<WhatsNowPlayingServer>(std::make_shared<BeastTransport>(), tool.port()),
        at);
    BridgeEngine engine(source, std::make_shared<testing::FakeGigServer>(),
                        PlayQueue(folder / "queue.json"), PlayDetector(Seconds{10}),
                        BridgeEngine::Settings{}, at);
    tool.play(blue(std::chrono::system_clock::now()));
    const double start = clock;
    for (; clock < start + 10; clock += 1) {
        testing::await(io, engine.read(at()));
        EXPECT_TRUE(engine.status().recent.empty());
    }
    testing::await(io, engine.read(at()));
    ASSERT_EQ(engine.status().recent.size(), 1u);
    const auto& play = engine.status().recent[0].event;
    EXPECT_EQ(play.title, "Blue");
    EXPECT_EQ(play.artist, "DJ A");
    EXPECT_EQ(play.bpm, 128.0);
    EXPECT_EQ(play.key, "8A");
    EXPECT_EQ(play.durationMs, 245'000);
    EXPECT_EQ(play.filePath, FileKey::of("/Music/Blue.mp3"));
    EXPECT_EQ(tool.requestCount(), 6u);
}

} // namespace
} // namespace bridge
