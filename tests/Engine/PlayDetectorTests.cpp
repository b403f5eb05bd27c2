#include "Engine/PlayDetector.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <regex>

namespace bridge {
namespace {

Instant at(double seconds) {
    return instantFromReferenceSeconds(800'000'000.0 + seconds);
}

Song song(std::string title, std::optional<std::string> path = std::nullopt) {
    return Song{.filePath = std::move(path), .title = std::move(title), .artist = "Artist"};
}

DeckSnapshot deck(int number, std::optional<Song> song, bool audible = true) {
    return DeckSnapshot{
        .deck = number, .loaded = song.has_value(), .audible = audible, .song = std::move(song)};
}

VDJSnapshot decks(std::vector<DeckSnapshot> list, std::optional<int> master = std::nullopt) {
    return VDJSnapshot{.decks = std::move(list), .masterDeck = master};
}

// Ids "1", "2", ... so that tests can tell events apart.
PlayDetector detector(double countAfter) {
    return PlayDetector(Seconds{countAfter}, [n = 0]() mutable { return std::to_string(++n); });
}

TEST(PlayDetectorTests, CountsOnceTheTimeOnAirReachesTheDelay) {
    auto d = detector(2);
    const auto snapshot = decks({deck(1, song("Song"))});
    EXPECT_TRUE(d.observe(snapshot, at(0)).empty()); // the first read credits nothing
    EXPECT_TRUE(d.observe(snapshot, at(1)).empty());
    const auto events = d.observe(snapshot, at(2));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].id, "1");
    EXPECT_EQ(events[0].playedAt, at(0)); // first seen on air, not the moment it counted
    EXPECT_EQ(events[0].title, "Song");
    EXPECT_EQ(events[0].artist, "Artist");
}

TEST(PlayDetectorTests, GapsLongerThanFiveSecondsCreditNothing) {
    auto d = detector(5);
    const auto snapshot = decks({deck(1, song("Song"))});
    d.observe(snapshot, at(0));
    EXPECT_TRUE(d.observe(snapshot, at(6)).empty());   // 6 s: slept, nothing credited
    EXPECT_EQ(d.observe(snapshot, at(11)).size(), 1u); // exactly 5 s counts
}

TEST(PlayDetectorTests, OffAirTimeIsKeptAndResumes) {
    auto d = detector(3);
    d.observe(decks({deck(1, song("Song"))}), at(0));
    d.observe(decks({deck(1, song("Song"))}), at(2));        // 2 s on air
    d.observe(decks({deck(1, song("Song"), false)}), at(4)); // fader down: kept, not grown
    EXPECT_TRUE(d.observe(decks({deck(1, song("Song"))}), at(4.5)).empty()); // 2.5 s
    EXPECT_EQ(d.observe(decks({deck(1, song("Song"))}), at(5)).size(), 1u);  // 3 s
}

TEST(PlayDetectorTests, StepCountsWhateverTheDeckWasBefore) {
    auto d = detector(1);
    d.observe(decks({deck(1, song("Song"), false)}), at(0));
    const auto events = d.observe(decks({deck(1, song("Song"))}), at(1));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].playedAt, at(1));
}

TEST(PlayDetectorTests, AnHourOnAirCountsOnce) {
    auto d = detector(10);
    const auto snapshot = decks({deck(1, song("Song"))});
    std::size_t count = 0;
    for (int second = 0; second <= 3600; ++second) {
        count += d.observe(snapshot, at(second)).size();
    }
    EXPECT_EQ(count, 1u);
}

TEST(PlayDetectorTests, OnAirNeedsLoadedAndAudible) {
    EXPECT_EQ(PlayDetector::onAir(decks({deck(1, song("A")), deck(2, song("B"), false)})),
              std::vector<int>{1});
    // A loaded deck without a song is still on air here.
    const auto noSong = decks({DeckSnapshot{.deck = 3, .loaded = true, .audible = true}});
    EXPECT_EQ(PlayDetector::onAir(noSong), std::vector<int>{3});
    EXPECT_TRUE(PlayDetector::onAir(decks({DeckSnapshot{.deck = 1, .audible = true}})).empty());
    EXPECT_TRUE(PlayDetector::onAir(decks({})).empty());
}

TEST(PlayDetectorTests, TwoAudibleDecksNeedTheMasterDeck) {
    const std::vector both = {deck(1, song("A")), deck(2, song("B"))};
    EXPECT_TRUE(PlayDetector::onAir(decks(both)).empty());
    EXPECT_EQ(PlayDetector::onAir(decks(both, 2)), std::vector<int>{2});
    EXPECT_TRUE(PlayDetector::onAir(decks(both, 3)).empty());

    auto d = detector(1);
    d.observe(decks(both), at(0));
    EXPECT_TRUE(d.observe(decks(both), at(1)).empty());
    EXPECT_TRUE(d.observe(decks(both, 3), at(2)).empty());
    const auto events = d.observe(decks(both, 2), at(3));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].title, "B");
}

TEST(PlayDetectorTests, SongsAreTheSameByPathElseByTitle) {
    auto d = detector(2);
    d.observe(decks({deck(1, song("Old title", "/music/a.mp3"))}), at(0));
    d.observe(decks({deck(1, song("New title", "/music/a.mp3"))}), at(1));
    const auto events = d.observe(decks({deck(1, song("Newer title", "/music/a.mp3"))}), at(2));
    ASSERT_EQ(events.size(), 1u) << "a new title under the same path is the same song";
    EXPECT_TRUE(d.observe(decks({deck(1, song("Newer title", "/music/a.mp3"))}), at(3)).empty());

    auto byTitle = detector(2);
    byTitle.observe(decks({deck(1, song("One"))}), at(0));
    byTitle.observe(decks({deck(1, song("One"))}), at(1));
    EXPECT_TRUE(byTitle.observe(decks({deck(1, song("Two"))}), at(2)).empty())
        << "a new title restarts";
    EXPECT_TRUE(byTitle.observe(decks({deck(1, song("Two", "/music/two.mp3"))}), at(3)).empty())
        << "a path where there was none is a different song";
    EXPECT_EQ(byTitle.observe(decks({deck(1, song("Two", "/music/two.mp3"))}), at(4)).size(), 1u);
}

TEST(PlayDetectorTests, UnloadForgetsAndReloadCountsAgain) {
    auto d = detector(1);
    const auto playing = decks({deck(1, song("Song"))});
    d.observe(playing, at(0));
    EXPECT_EQ(d.observe(playing, at(1)).size(), 1u);
    // Loaded and audible but without a song: on air, yet forgotten.
    d.observe(decks({DeckSnapshot{.deck = 1, .loaded = true, .audible = true}}), at(2));
    // Back again: a fresh track, credited with the step since the last read.
    const auto again = d.observe(playing, at(3));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].id, "2");
    EXPECT_EQ(again[0].playedAt, at(3));
}

TEST(PlayDetectorTests, EmptyAndPartialSnapshotsKeepTracks) {
    auto d = detector(2);
    d.observe(decks({deck(1, song("A")), deck(2, song("B"), false)}, 1), at(0));
    d.observe(decks({}), at(1)); // moves the clock, keeps both tracks
    EXPECT_TRUE(d.observe(decks({deck(1, song("A"))}), at(2)).empty()); // 1 s credited
    // Deck 2 is not listed: its track stays; deck 1 reaches 2 s.
    EXPECT_EQ(d.observe(decks({deck(1, song("A"))}), at(3)).size(), 1u);
}

TEST(PlayDetectorTests, SeveralDecksCountInDeckOrder) {
    auto d = detector(0);
    const auto events = d.observe(decks({deck(4, song("Four")), deck(2, song("Two"))}, 4), at(0));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].title, "Four");
}

TEST(PlayDetectorTests, FallbacksForMissingTitleAndArtist) {
    auto first = [](Song s) {
        auto d = detector(0);
        return d.observe(decks({deck(1, std::move(s))}), at(0)).at(0);
    };
    const auto fromFile = first(Song{.filePath = "/Users/dj/Music/Artist - Song.mp3"});
    EXPECT_EQ(fromFile.title, "Artist - Song");
    EXPECT_EQ(fromFile.artist, "Unknown artist");
    EXPECT_EQ(fromFile.filePath->substr(0, 7), "sha256:");
    const auto nothing = first(Song{});
    EXPECT_EQ(nothing.title, "Unknown song");
    EXPECT_EQ(nothing.filePath, std::nullopt);
    const auto stream =
        first(Song{.filePath = "spotify:track:4uLU6hMCjMI75M1A2tKUQC", .bpm = 98.5, .key = "8A"});
    EXPECT_EQ(stream.filePath, "spotify:track:4uLU6hMCjMI75M1A2tKUQC");
    EXPECT_EQ(stream.bpm, 98.5);
    EXPECT_EQ(stream.key, "8A");
}

TEST(PlayDetectorTests, DurationIsRoundedAndBounded) {
    auto duration = [](std::optional<double> seconds) {
        auto d = detector(0);
        return d.observe(decks({deck(1, Song{.title = "S", .lengthSeconds = seconds})}), at(0))
            .at(0)
            .durationMs;
    };
    EXPECT_EQ(duration(0.0), 0);
    EXPECT_EQ(duration(0.5), 500);
    EXPECT_EQ(duration(0.0015), 2);
    EXPECT_EQ(duration(245.4), 245'400);
    EXPECT_EQ(duration(86'399.9), 86'399'900);
    EXPECT_EQ(duration(86'400.0), std::nullopt);
    EXPECT_EQ(duration(-1.0), std::nullopt);
    EXPECT_EQ(duration(std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(duration(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
    EXPECT_EQ(duration(std::nullopt), std::nullopt);
}

TEST(PlayDetectorTests, TempoThatIsNotFiniteIsLeftOut) {
    auto tempo = [](double bpm) {
        auto d = detector(0);
        return d.observe(decks({deck(1, Song{.title = "S", .bpm = bpm})}), at(0)).at(0).bpm;
    };
    EXPECT_EQ(tempo(std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(tempo(-std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(tempo(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
    EXPECT_EQ(tempo(0.0), 0.0) << "finite tempos are kept as they are";
    EXPECT_EQ(tempo(-3.5), -3.5);
}

TEST(PlayDetectorTests, DefaultIdsAreFreshUpperCaseUuids) {
    const std::regex uuid("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    PlayDetector d(Seconds{0});
    const auto first = d.observe(decks({deck(1, song("A"))}), at(0)).at(0).id;
    const auto second = d.observe(decks({deck(1, song("B"))}), at(1)).at(0).id;
    EXPECT_TRUE(std::regex_match(first, uuid)) << first;
    EXPECT_TRUE(std::regex_match(second, uuid)) << second;
    EXPECT_NE(first, second);
    EXPECT_EQ(d.countAfter(), Seconds{0});
}

} // namespace
} // namespace bridge
