#include "ScriptedSet.hpp"
#include "VirtualDJSet.hpp"
#include "VirtualDJStandIn.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using namespace std::chrono_literals;
using Clock = SetPlayer::Clock;

// What the bridge's reader would learn of one deck.
struct DeckSeen {
    std::string title;
    bool audible;
    bool operator==(const DeckSeen&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const DeckSeen& deck) {
        return out << deck.title << (deck.audible ? " on air" : " silent");
    }
};

class VirtualDJSetTests : public ::testing::Test {
protected:
    const Clock::time_point start = Clock::time_point(1h);
    std::vector<SetSong> songs = {{"A", "Ada", 200, 120, "8A"},
                                  {.title = "B", .artist = "Ben", .lengthSeconds = 180},
                                  {.title = "C", .artist = "Cy", .lengthSeconds = 240}};

    SetPlayer playerOn(VirtualDJStandIn& vdj) {
        return SetPlayer(songs, 30s, start,
                         [&vdj](std::uint64_t step, const SetSong& song, const SetSong& next) {
                             showOnDecks(vdj, step, song, next);
                         });
    }

    static DeckSeen deck(const VirtualDJStandIn& vdj, int number) {
        const auto prefix = "deck " + std::to_string(number) + " ";
        return {vdj.evaluate(prefix + "get_title"), vdj.evaluate(prefix + "is_audible") == "yes"};
    }
};

TEST_F(VirtualDJSetTests, decksTakeTurnsWithTheNextSongWaitingOnTheOther) {
    VirtualDJStandIn vdj;
    auto player = playerOn(vdj);

    player.advance(start);
    EXPECT_EQ(deck(vdj, 1), (DeckSeen{"A", true}));
    EXPECT_EQ(deck(vdj, 2), (DeckSeen{"B", false}));
    EXPECT_EQ(vdj.evaluate("get_activedeck"), "1");
    EXPECT_EQ(vdj.evaluate("deck 1 get_artist"), "Ada");
    EXPECT_EQ(vdj.evaluate("deck 1 get_filepath"), songs[0].file());
    EXPECT_EQ(vdj.evaluate("deck 1 get_loaded_song 'bpm'"), "120");
    EXPECT_EQ(vdj.evaluate("deck 1 get_key"), "8A");
    EXPECT_EQ(vdj.evaluate("deck 1 get_songlength"), "200");

    player.advance(start + 30s);
    EXPECT_EQ(deck(vdj, 2), (DeckSeen{"B", true}));
    EXPECT_EQ(deck(vdj, 1), (DeckSeen{"C", false}));
    EXPECT_EQ(vdj.evaluate("get_activedeck"), "2");

    player.advance(start + 60s);
    EXPECT_EQ(deck(vdj, 1), (DeckSeen{"C", true}));
    EXPECT_EQ(deck(vdj, 2), (DeckSeen{"A", false})) << "the set starts over";
    EXPECT_EQ(vdj.evaluate("get_activedeck"), "1");
}

TEST_F(VirtualDJSetTests, missedStepsLeaveTheirSongOnAir) {
    VirtualDJStandIn vdj;
    auto player = playerOn(vdj);
    player.advance(start);
    vdj.eject(2);

    player.advance(start + 100s); // step 3: song A on deck 2
    EXPECT_EQ(deck(vdj, 2), (DeckSeen{"A", true}));
    EXPECT_EQ(deck(vdj, 1), (DeckSeen{"B", false}));
    EXPECT_EQ(vdj.evaluate("get_activedeck"), "2");
}

TEST_F(VirtualDJSetTests, oneDeckPlaysEverySongAndMoreDecksStayEmpty) {
    VirtualDJStandIn single("", 1);
    auto onOne = playerOn(single);
    onOne.advance(start);
    EXPECT_EQ(deck(single, 1), (DeckSeen{"A", true}));
    onOne.advance(start + 30s);
    EXPECT_EQ(deck(single, 1), (DeckSeen{"B", true}));

    VirtualDJStandIn four("", 4);
    auto onFour = playerOn(four);
    onFour.advance(start + 30s);
    EXPECT_EQ(deck(four, 2), (DeckSeen{"B", true}));
    EXPECT_EQ(four.evaluate("deck 3 loaded"), "no");
    EXPECT_EQ(four.evaluate("deck 4 loaded"), "no");
}

TEST_F(VirtualDJSetTests, aStandInWithoutDecksCannotPlayASet) {
    VirtualDJStandIn none("", 0);
    auto player = playerOn(none);
    EXPECT_THROW(player.advance(start), std::out_of_range);
}

} // namespace
} // namespace bridge
