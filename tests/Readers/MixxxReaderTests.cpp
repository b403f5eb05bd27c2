#include "Engine/PlayDetector.hpp"
#include "MixxxLibrary.hpp"
#include "Readers/MixxxDatabase.hpp"
#include "Readers/MixxxReader.hpp"
#include "Support/TempFolder.hpp"
#include "Values/SourceError.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace bridge {
namespace {

const Instant added = instantFromReferenceSeconds(818'454'600.0);

// A history that answers what the test sets, counting the questions.
class FakeHistory : public MixxxHistory {
public:
    std::optional<MixxxPlay> latest() override {
        ++asked;
        if (failure) {
            std::rethrow_exception(failure);
        }
        return play;
    }

    std::optional<MixxxPlay> play;
    std::exception_ptr failure;
    int asked = 0;
};

struct Fixture {
    std::shared_ptr<FakeHistory> history = std::make_shared<FakeHistory>();
    bool running = true;
    double secondsAfterAdding = 30;

    MixxxReader reader() {
        return MixxxReader(
            history, [this] { return running; },
            [this] { return added + Seconds{secondsAfterAdding}; });
    }
    VDJSnapshot read(MixxxPlay play) {
        history->play = std::move(play);
        auto r = reader();
        return testing::readOnce(r);
    }
    Song song(MixxxPlay play) { return *read(std::move(play)).decks.at(0).song; }
};

MixxxPlay play(std::optional<std::string> title = "T", std::optional<std::string> artist = "A") {
    return MixxxPlay{.title = std::move(title), .artist = std::move(artist), .added = added};
}

SourceError failureOf(MixxxReader reader) {
    try {
        testing::readOnce(reader);
    } catch (const SourceError& error) {
        return error;
    }
    throw std::logic_error("the read did not fail");
}

TEST(MixxxReaderTests, ReportsTheNewestEntryAsTheOneDeck) {
    Fixture f;
    const auto snapshot = f.read(MixxxPlay{.title = "  Vivir Mi Vida\n",
                                           .artist = " Marc Anthony ",
                                           .bpm = 104.0,
                                           .keyId = 21,
                                           .duration = 252.3,
                                           .location = " /music/Vivir Mi Vida.mp3\n",
                                           .added = added});
    EXPECT_EQ(snapshot, VDJSnapshot::oneDeck(Song{.filePath = "/music/Vivir Mi Vida.mp3",
                                                  .title = "Vivir Mi Vida",
                                                  .artist = "Marc Anthony",
                                                  .bpm = 104.0,
                                                  .key = "Abm",
                                                  .lengthSeconds = 252.3},
                                             true));
}

TEST(MixxxReaderTests, MakesUpAKeyAndLeavesOutEmptyValues) {
    Fixture f;
    auto entry = play("T", "A");
    entry.location = " ";
    entry.bpm = 0;
    entry.duration = 0;
    EXPECT_EQ(f.song(entry), (Song{.filePath = "mixxx:A – T", .title = "T", .artist = "A"}));
    EXPECT_EQ(f.song(play("T", "  ")).artist, std::nullopt);
    EXPECT_EQ(f.song(play("T", "  ")).filePath, "mixxx:T");
}

TEST(MixxxReaderTests, TranslatesMixxxKeyCodes) {
    Fixture f;
    const std::vector<std::pair<std::optional<std::int64_t>, std::optional<std::string>>> cases{
        {1, "C"},    {7, "F#"},  {12, "B"}, {13, "Cm"}, {14, "Dbm"}, {19, "F#m"},
        {21, "Abm"}, {24, "Bm"}, {0, {}},   {25, {}},   {-1, {}},    {std::nullopt, {}},
    };
    for (const auto& [keyId, key] : cases) {
        auto entry = play();
        entry.keyId = keyId;
        EXPECT_EQ(f.song(entry).key, key) << keyId.value_or(-99);
    }
}

TEST(MixxxReaderTests, AnEntryIsOnAirForItsLengthAndAMinute) {
    Fixture f;
    auto entry = play();
    entry.duration = 180;
    f.secondsAfterAdding = 240;
    EXPECT_TRUE(f.read(entry).decks[0].audible);
    f.secondsAfterAdding = 241;
    EXPECT_FALSE(f.read(entry).decks[0].audible);
    EXPECT_TRUE(f.read(entry).decks[0].loaded);

    for (const std::optional<double> noLength : {std::optional<double>{}, std::optional{0.0}}) {
        entry.duration = noLength;
        f.secondsAfterAdding = 900;
        EXPECT_TRUE(f.read(entry).decks[0].audible);
        f.secondsAfterAdding = 900.5;
        EXPECT_FALSE(f.read(entry).decks[0].audible);
    }
}

TEST(MixxxReaderTests, NoEntryOrNoTitleIsAnEmptyDeck) {
    Fixture f;
    const auto empty = VDJSnapshot::oneDeck(std::nullopt, false);
    EXPECT_EQ(f.read(play(" \n\t", "A")), empty);
    EXPECT_EQ(f.read(play(std::nullopt, "A")), empty);
    f.history->play.reset();
    auto reader = f.reader();
    EXPECT_EQ(testing::readOnce(reader), empty);
}

TEST(MixxxReaderTests, FailuresBecomeSourceErrors) {
    Fixture f;
    f.history->play = play();
    f.running = false;
    EXPECT_EQ(failureOf(f.reader()), SourceError::notAnswering);
    EXPECT_EQ(f.history->asked, 0); // Mixxx closed: the database is not touched

    f.running = true;
    f.history->failure = std::make_exception_ptr(MixxxError::notAllowed());
    EXPECT_EQ(failureOf(f.reader()), SourceError::notAllowed);
    f.history->failure = std::make_exception_ptr(MixxxError::failed("database is locked"));
    EXPECT_EQ(failureOf(f.reader()), SourceError::notAnswering);
    f.history->failure = std::make_exception_ptr(std::bad_alloc());
    EXPECT_EQ(failureOf(f.reader()), SourceError::notAnswering);
}

TEST(MixxxReaderTests, ASongFromTheDatabaseBecomesAPlay) {
    testing::TempFolder folder;
    const auto file = folder / "mixxxdb.sqlite";
    testing::MixxxLibrary library(file, true);
    library.addEntry(library.addPlaylist("2026-12-08", testing::MixxxLibrary::history),
                     library.addTrack("Vivir Mi Vida", "Marc Anthony", "104.0", "21", "252.3",
                                      "/home/dj/Music/Vivir Mi Vida.mp3"),
                     "'2026-12-08 20:30:00'");
    double clock = 5;
    MixxxReader reader(
        std::make_shared<MixxxDatabase>(std::vector<std::filesystem::path>{file}),
        [] { return true; }, [&] { return added + Seconds{clock}; });
    PlayDetector detector(Seconds{10}, [] { return "play-1"; });

    std::vector<PlayEvent> events;
    for (; clock <= 16 && events.empty(); clock += 1) {
        events = detector.observe(testing::readOnce(reader), added + Seconds{clock});
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(clock, 16); // counted on the read at 15 s, ten seconds after the first
    EXPECT_EQ(events[0].id, "play-1");
    EXPECT_EQ(events[0].playedAt, added + Seconds{5});
    EXPECT_EQ(events[0].title, "Vivir Mi Vida");
    EXPECT_EQ(events[0].artist, "Marc Anthony");
    EXPECT_EQ(events[0].bpm, 104.0);
    EXPECT_EQ(events[0].key, "Abm");
    EXPECT_EQ(events[0].durationMs, 252'300);
    EXPECT_TRUE(events[0].filePath && !events[0].filePath->starts_with("/home"));
}

} // namespace
} // namespace bridge
