#include "StageLinQ/StageLinQDecks.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

using StageLinQ::Bytes;
using StageLinQ::StateValue;

const Bytes first(16, 0x01);
const Bytes second(16, 0x02);
const Bytes third(16, 0x03);

class StageLinQDecksTests : public ::testing::Test {
protected:
    void number(const Bytes& token, const std::string& path, double value) {
        decks.apply(token, "JP13", path, StateValue{.number = value});
    }
    void flag(const Bytes& token, const std::string& path, bool value) {
        decks.apply(token, "JP13", path, StateValue{.flag = value});
    }
    void text(const Bytes& token, const std::string& path, const std::string& value) {
        decks.apply(token, "JP13", path, StateValue{.text = value});
    }
    // A loaded, playing deck 1 of `token`.
    void playing(const Bytes& token, int deck = 1) {
        const auto prefix = "/Engine/Deck" + std::to_string(deck) + "/";
        text(token, prefix + "Track/SongName", "So What");
        flag(token, prefix + "Play", true);
    }
    DeckSnapshot deck(int number) const {
        const auto snapshot = decks.snapshot();
        return snapshot.decks.at(static_cast<std::size_t>(number - 1));
    }

    StageLinQDecks decks;
};

TEST_F(StageLinQDecksTests, NumbersDecksAcrossDevicesByPlayerNumber) {
    decks.add(third, "JP13");
    decks.add(second, "JP13");
    decks.add(first, "JP13");
    number(second, "/Client/Preferences/Player", 1);
    // Real players send their number as a text.
    text(first, "/Client/Preferences/Player", "2");
    text(third, "/Engine/Deck1/Track/SongName", "Third");
    text(second, "/Engine/Deck1/Track/SongName", "Second");
    text(first, "/Engine/Deck2/Track/SongName", "First");

    const auto snapshot = decks.snapshot();
    ASSERT_EQ(snapshot.decks.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(snapshot.decks[static_cast<std::size_t>(i)].deck, i + 1);
    }
    EXPECT_EQ(snapshot.decks[0].song->title, "Second");
    EXPECT_EQ(snapshot.decks[3].song->title, "First");
    EXPECT_EQ(snapshot.decks[4].song->title, "Third");
    EXPECT_EQ(snapshot.masterDeck, std::nullopt);
    EXPECT_EQ(snapshot.program, std::nullopt);
}

TEST_F(StageLinQDecksTests, IgnoresPlayerNumbersOutOfRangeOrNotWhole) {
    decks.add(first, "JP13");
    decks.add(second, "JP13");
    text(first, "/Client/Preferences/Player", "one");
    number(second, "/Client/Preferences/Player", 5);
    text(first, "/Engine/Deck1/Track/SongName", "First");
    EXPECT_EQ(deck(1).song->title, "First") << "both without a number: token order";
    text(second, "/Client/Preferences/Player", "4");
    EXPECT_EQ(deck(3).song->title, "First");
}

TEST_F(StageLinQDecksTests, CountsDecksFromStateThenModel) {
    decks.add(first, "JP13");
    EXPECT_EQ(decks.snapshot().decks.size(), 2u);
    number(first, "/Engine/DeckCount", 4);
    EXPECT_EQ(decks.snapshot().decks.size(), 4u);
    number(first, "/Engine/DeckCount", 0);
    EXPECT_EQ(decks.snapshot().decks.size(), 1u);
    number(first, "/Engine/DeckCount", 9);
    EXPECT_EQ(decks.snapshot().decks.size(), 4u);
    decks.remove(first);
    decks.add(first, "JC11");
    EXPECT_EQ(decks.snapshot().decks.size(), 4u);
    decks.remove(first);
    decks.add(first, "JP99");
    EXPECT_EQ(decks.snapshot().decks.size(), 2u);
    decks.remove(first);
    EXPECT_TRUE(decks.snapshot().decks.empty());
}

TEST_F(StageLinQDecksTests, KeepsOnlyFollowedPaths) {
    decks.add(first, "JP13");
    decks.apply(first, "JP13", "/Engine/Deck1/Track/SongName2", StateValue{.text = "x"});
    decks.apply(first, "JP13", "/Engine/DeckCount2", StateValue{.number = 4});
    EXPECT_EQ(decks.snapshot().decks.size(), 2u);
    EXPECT_FALSE(deck(1).loaded);
}

TEST_F(StageLinQDecksTests, MakesSongsOfLoadedDecks) {
    decks.add(first, "JP13");
    text(first, "/Engine/Deck1/Track/SongName", "So What");
    text(first, "/Engine/Deck1/Track/ArtistName", "Miles Davis");
    number(first, "/Engine/Deck1/Track/BPM", 136.5);
    flag(first, "/Engine/Deck2/Track/SongLoaded", true);
    number(first, "/Engine/Deck2/Track/BPM", 0);
    EXPECT_EQ(deck(1), (DeckSnapshot{.deck = 1,
                                     .loaded = true,
                                     .audible = false,
                                     .song = Song{.filePath = "denon:Miles Davis \u2013 So What",
                                                  .title = "So What",
                                                  .artist = "Miles Davis",
                                                  .bpm = 136.5}}));
    EXPECT_EQ(deck(2),
              (DeckSnapshot{.deck = 2, .loaded = true, .song = Song{.filePath = "denon:"}}));

    text(first, "/Engine/Deck1/Track/SongName", "");
    EXPECT_EQ(deck(1).song->filePath, "denon:Miles Davis");
    flag(first, "/Engine/Deck2/Track/SongLoaded", false);
    EXPECT_EQ(deck(2), (DeckSnapshot{.deck = 2}));
}

TEST_F(StageLinQDecksTests, TrimsNamesAndTakesBlankOnesAsAbsent) {
    decks.add(first, "JP13");
    text(first, "/Engine/Deck1/Track/SongName", " \tSo What\n");
    text(first, "/Engine/Deck1/Track/ArtistName", "\u00A0Miles Davis ");
    EXPECT_EQ(deck(1).song, (Song{.filePath = "denon:Miles Davis \u2013 So What",
                                  .title = "So What",
                                  .artist = "Miles Davis"}));

    text(first, "/Engine/Deck2/Track/SongName", " ");
    text(first, "/Engine/Deck2/Track/ArtistName", "\r\n");
    EXPECT_EQ(deck(2), (DeckSnapshot{.deck = 2})) << "names of blanks load nothing";
    flag(first, "/Engine/Deck2/Track/SongLoaded", true);
    EXPECT_EQ(deck(2),
              (DeckSnapshot{.deck = 2, .loaded = true, .song = Song{.filePath = "denon:"}}));
}

TEST_F(StageLinQDecksTests, JudgesAudibilityFromFaderAndCrossfader) {
    decks.add(first, "JP13");
    playing(first);
    number(first, "/Mixer/CH1faderPosition", 1);
    number(first, "/Mixer/CrossfaderPosition", 0.5);
    EXPECT_TRUE(deck(1).audible);
    EXPECT_EQ(decks.snapshot().masterDeck, 1);

    number(first, "/Mixer/CH1faderPosition", 0);
    EXPECT_TRUE(deck(1).loaded);
    EXPECT_FALSE(deck(1).audible);

    // Deck 1 at crossfader 0.65 gets half its fader: 0.18 × 0.5 is below the threshold,
    // 0.3 × 0.5 above it.
    number(first, "/Mixer/CrossfaderPosition", 0.65);
    number(first, "/Mixer/CH1faderPosition", 0.18);
    EXPECT_FALSE(deck(1).audible);
    number(first, "/Mixer/CH1faderPosition", 0.3);
    EXPECT_TRUE(deck(1).audible);
    number(first, "/Mixer/CrossfaderPosition", 0.9);
    number(first, "/Mixer/CH1faderPosition", 1);
    EXPECT_FALSE(deck(1).audible);

    playing(first, 2);
    number(first, "/Mixer/CH2faderPosition", 1);
    number(first, "/Mixer/CrossfaderPosition", 0.1);
    EXPECT_FALSE(deck(2).audible);
    number(first, "/Mixer/CrossfaderPosition", 0.35); // 0.5 of the fader
    EXPECT_TRUE(deck(2).audible);
    number(first, "/Mixer/CH2faderPosition", 0.2);
    EXPECT_FALSE(deck(2).audible);
}

TEST_F(StageLinQDecksTests, NeedsAVolumeAboveATenth) {
    decks.add(first, "JP13");
    playing(first);
    number(first, "/Mixer/CH1faderPosition", 0.1);
    EXPECT_FALSE(deck(1).audible);
    number(first, "/Mixer/CH1faderPosition", 0.11);
    EXPECT_TRUE(deck(1).audible);
    flag(first, "/Engine/Deck1/Play", false);
    EXPECT_FALSE(deck(1).audible);
}

TEST_F(StageLinQDecksTests, FollowsAnExternalMixerOnceItSpeaks) {
    decks.add(first, "JP13");
    playing(first);
    EXPECT_TRUE(deck(1).audible) << "no faders, no mixer: full volume";
    number(first, "/Engine/Deck1/ExternalMixerVolume", 0);
    EXPECT_TRUE(deck(1).audible) << "a zero volume does not reveal a mixer";
    number(first, "/Engine/Deck2/ExternalMixerVolume", 0.7);
    EXPECT_FALSE(deck(1).audible);
    number(first, "/Engine/Deck1/ExternalMixerVolume", 0.5);
    EXPECT_TRUE(deck(1).audible);
    number(first, "/Engine/Deck2/ExternalMixerVolume", 0);
    number(first, "/Engine/Deck1/ExternalMixerVolume", 0.05);
    EXPECT_FALSE(deck(1).audible) << "the mixer stays known";
}

TEST_F(StageLinQDecksTests, GivesMasterToTheLoudestDeck) {
    decks.add(first, "JP13");
    playing(first, 1);
    playing(first, 2);
    number(first, "/Mixer/CH1faderPosition", 0.8);
    number(first, "/Mixer/CH2faderPosition", 1.0);
    EXPECT_EQ(decks.snapshot().masterDeck, 2);
    number(first, "/Mixer/CH2faderPosition", 0.8);
    EXPECT_EQ(decks.snapshot().masterDeck, 1);
}

} // namespace
} // namespace bridge
