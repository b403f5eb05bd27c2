#include "Values/DeckReading.hpp"
#include "Values/SourceError.hpp"
#include "Values/VDJSnapshot.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

TEST(VDJSnapshotTests, OneDeckAlwaysHoldsDeckOne) {
    const auto empty = VDJSnapshot::oneDeck(std::nullopt, true);
    ASSERT_EQ(empty.decks.size(), 1u);
    EXPECT_EQ(empty.decks[0],
              (DeckSnapshot{.deck = 1, .loaded = false, .audible = true, .song = std::nullopt}));
    EXPECT_EQ(empty.masterDeck, 1);
    EXPECT_EQ(empty.program, std::nullopt);

    const Song song{.title = "Vivir Mi Vida", .artist = "Marc Anthony"};
    const auto playing = VDJSnapshot::oneDeck(song, false, "Traktor");
    ASSERT_EQ(playing.decks.size(), 1u);
    EXPECT_TRUE(playing.decks[0].loaded);
    EXPECT_FALSE(playing.decks[0].audible);
    EXPECT_EQ(playing.decks[0].song, song);
    EXPECT_EQ(playing.program, "Traktor");
}

TEST(VDJSnapshotTests, MadeUpFileKeyJoinsWhatIsPresent) {
    EXPECT_EQ(OneDeck::file("whatsnowplaying", "A", "T"), "whatsnowplaying:A – T");
    EXPECT_EQ(OneDeck::file("whatsnowplaying", std::nullopt, "T"), "whatsnowplaying:T");
    EXPECT_EQ(OneDeck::file("mixxx", "A", std::nullopt), "mixxx:A");
    EXPECT_EQ(OneDeck::file("whatsnowplaying", std::nullopt, std::nullopt), "whatsnowplaying:");
}

class FailingReader : public DeckReading {
public:
    boost::asio::awaitable<VDJSnapshot> read() override {
        throw SourceError::notAllowed;
        co_return VDJSnapshot{};
    }
};

TEST(VDJSnapshotTests, ReadFailureReachesTheCallerAsSourceError) {
    boost::asio::io_context io;
    FailingReader reader;
    auto result = boost::asio::co_spawn(io, reader.read(), boost::asio::use_future);
    io.run();
    try {
        result.get();
        FAIL() << "the read should fail";
    } catch (const SourceError& error) {
        EXPECT_EQ(error, SourceError::notAllowed);
        EXPECT_NE(error, SourceError::notAnswering);
    }
}

} // namespace
} // namespace bridge
