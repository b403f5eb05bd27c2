#include "Readers/VDJReader.hpp"
#include "ReadersTesting.hpp"
#include "Values/SourceError.hpp"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <map>

namespace bridge {
namespace {

// VirtualDJ as a table of answers; a script it does not know gets an "error:" answer.
class ScriptedVirtualDJ : public VDJQuerying {
public:
    std::map<std::string, std::string> answers;
    std::map<std::string, SourceError> failures;
    std::vector<std::string> asked;

    boost::asio::awaitable<std::string> query(std::string script) override {
        asked.push_back(script);
        if (const auto failure = failures.find(script); failure != failures.end()) {
            throw failure->second;
        }
        const auto answer = answers.find(script);
        co_return answer != answers.end() ? answer->second : "error: unknown script";
    }

    void set(int deck, const std::string& verb, std::string answer) {
        answers["deck " + std::to_string(deck) + " " + verb] = std::move(answer);
    }

    // A song on `deck`, loaded and audible; an empty path is a stream.
    void load(int deck, const std::string& path, const std::string& title) {
        set(deck, "loaded", "yes");
        set(deck, "is_audible", "yes");
        set(deck, "get_filepath", path);
        set(deck, "get_title", title);
        set(deck, "get_loaded_song 'remix'", "");
        set(deck, "get_artist", "Artist " + std::to_string(deck));
        set(deck, "get_loaded_song 'bpm'", "124.00");
        set(deck, "get_key", "Am");
        set(deck, "get_songlength", "245.5");
    }

    std::size_t askedSince(std::size_t mark) const { return asked.size() - mark; }
};

struct Fixture {
    std::shared_ptr<ScriptedVirtualDJ> vdj = std::make_shared<ScriptedVirtualDJ>();
    VDJReader reader;

    explicit Fixture(std::vector<int> decks = {1, 2}) : reader(vdj, std::move(decks)) {}

    VDJSnapshot read() { return testing::readOnce(reader); }

    // How many questions one read asks.
    std::size_t questionsOfARead() {
        const std::size_t mark = vdj->asked.size();
        read();
        return vdj->askedSince(mark);
    }

    SourceError failure() {
        try {
            read();
        } catch (const SourceError& error) {
            return error;
        }
        throw std::logic_error("the read did not fail");
    }
};

TEST(VDJReaderTests, KnownTrimsAndDropsErrorAnswers) {
    EXPECT_EQ(known(" yes\r\n"), "yes");
    EXPECT_EQ(known("\u00A0Blue\u2003"), "Blue");
    EXPECT_EQ(known(" \n\t"), std::nullopt);
    EXPECT_EQ(known(""), std::nullopt);
    EXPECT_EQ(known("error: no such verb"), std::nullopt);
    EXPECT_EQ(known("  error:x"), std::nullopt);
    EXPECT_EQ(known("Error: a title"), "Error: a title");
}

TEST(VDJReaderTests, WithRemixAddsTheRemixUnlessTheTitleHoldsIt) {
    EXPECT_EQ(withRemix("Blue", "Extended Mix"), "Blue (Extended Mix)");
    EXPECT_EQ(withRemix("Blue (Extended Mix)", "extended mix"), "Blue (Extended Mix)");
    EXPECT_EQ(withRemix("Song (CLUB MIX)", "Club Mix"), "Song (CLUB MIX)");
    EXPECT_EQ(withRemix("Song", std::nullopt), "Song");
    EXPECT_EQ(withRemix(std::nullopt, "Club Mix"), std::nullopt);
    EXPECT_EQ(withRemix("ÉTÉ (RÉMIX ÅNGSTRÖM)", "rémix ångström"), "ÉTÉ (RÉMIX ÅNGSTRÖM)");
    // Composed and decomposed accents are the same letters.
    EXPECT_EQ(withRemix("Caf\u00E9 Mix", "CAFE\u0301"), "Caf\u00E9 Mix");
    EXPECT_EQ(withRemix("STRASSE", "straße"), "STRASSE");
    EXPECT_EQ(withRemix("Cafe", "Café"), "Cafe (Café)");
}

TEST(VDJReaderTests, TurkishFoldsTheDottedIItsOwnWay) {
    const icu::Locale previous = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("tr", "TR"), status);
    const auto dotted = withRemix("İSTANBUL", "istanbul");
    const auto dotless = withRemix("DIŞ", "dış");
    icu::Locale::setDefault(previous, status);
    EXPECT_EQ(dotted, "İSTANBUL");
    EXPECT_EQ(dotless, "DIŞ");
}

TEST(VDJReaderTests, ALoadedDeckIsAskedInTheFixedOrder) {
    Fixture f({1});
    f.vdj->load(1, "/music/blue.mp3", "Blue");
    f.vdj->set(1, "get_loaded_song 'remix'", "Extended Mix");
    f.vdj->answers["get_activedeck"] = "1";
    const auto snapshot = f.read();
    EXPECT_EQ(f.vdj->asked, (std::vector<std::string>{
                                "deck 1 loaded", "deck 1 is_audible", "deck 1 get_filepath",
                                "deck 1 get_title", "deck 1 get_loaded_song 'remix'",
                                "deck 1 get_artist", "deck 1 get_loaded_song 'bpm'",
                                "deck 1 get_key", "deck 1 get_songlength", "get_activedeck"}));
    const VDJSnapshot expected{.decks = {DeckSnapshot{.deck = 1,
                                                      .loaded = true,
                                                      .audible = true,
                                                      .song = Song{.filePath = "/music/blue.mp3",
                                                                   .title = "Blue (Extended Mix)",
                                                                   .artist = "Artist 1",
                                                                   .bpm = 124.0,
                                                                   .key = "Am",
                                                                   .lengthSeconds = 245.5}}},
                               .masterDeck = 1};
    EXPECT_EQ(snapshot, expected);
}

TEST(VDJReaderTests, EmptyAndUnanswerableDecks) {
    Fixture f({1, 2, 3});
    f.vdj->set(1, "loaded", "no");
    f.vdj->set(2, "loaded", "Yes");
    const auto snapshot = f.read(); // deck 3 answers "error:"
    EXPECT_EQ(f.vdj->asked, (std::vector<std::string>{"deck 1 loaded", "deck 2 loaded",
                                                      "deck 3 loaded", "get_activedeck"}));
    ASSERT_EQ(snapshot.decks.size(), 3u);
    for (int deck = 1; deck <= 3; ++deck) {
        EXPECT_EQ(snapshot.decks[deck - 1], DeckSnapshot{.deck = deck});
    }
    EXPECT_EQ(snapshot.masterDeck, std::nullopt);
    EXPECT_EQ(snapshot.program, std::nullopt);
}

TEST(VDJReaderTests, AnEmptyDeckListAsksOnlyForTheMasterDeck) {
    Fixture f({});
    f.vdj->answers["get_activedeck"] = "2\n";
    const auto snapshot = f.read();
    EXPECT_EQ(f.vdj->asked, std::vector<std::string>{"get_activedeck"});
    EXPECT_TRUE(snapshot.decks.empty());
    EXPECT_EQ(snapshot.masterDeck, 2);
}

TEST(VDJReaderTests, TheMasterDeckIsAnIntegerOrNothing) {
    Fixture f({});
    for (const auto* answer : {"", "error: no", "two", "2.5", "2x"}) {
        f.vdj->answers["get_activedeck"] = answer;
        EXPECT_EQ(f.read().masterDeck, std::nullopt) << answer;
    }
}

TEST(VDJReaderTests, TrimmedYesCountsButAnythingElseDoesNot) {
    Fixture f({1});
    f.vdj->load(1, "/a.mp3", "A");
    f.vdj->set(1, "loaded", " yes\n");
    f.vdj->set(1, "is_audible", "YES");
    const auto deck = f.read().decks.at(0);
    EXPECT_TRUE(deck.loaded);
    EXPECT_FALSE(deck.audible);
}

TEST(VDJReaderTests, BadDetailAnswersAreAbsentNotFailures) {
    Fixture f({1});
    f.vdj->load(1, "/a.mp3", "  A  ");
    f.vdj->set(1, "get_key", "error: get_key unknown");
    f.vdj->set(1, "get_loaded_song 'bpm'", "fast");
    f.vdj->set(1, "get_songlength", "");
    f.vdj->set(1, "get_artist", " \n ");
    const auto song = f.read().decks.at(0).song;
    EXPECT_EQ(song, (Song{.filePath = "/a.mp3", .title = "A"}));
}

TEST(VDJReaderTests, AnUnchangedFileIsNotFetchedAgain) {
    Fixture f({1, 2});
    f.vdj->load(1, "/a.mp3", "A");
    f.vdj->set(2, "loaded", "no");
    EXPECT_EQ(f.questionsOfARead(), 9u + 1u + 1u);
    // The details stay as fetched even when VirtualDJ would answer otherwise now.
    f.vdj->set(1, "get_title", "Changed");
    EXPECT_EQ(f.questionsOfARead(), 3u + 1u + 1u);
    EXPECT_EQ(f.read().decks[0].song->title, "A");
    f.vdj->set(1, "get_filepath", "/b.mp3");
    EXPECT_EQ(f.questionsOfARead(), 9u + 1u + 1u);
    EXPECT_EQ(f.read().decks[0].song->title, "Changed");
}

TEST(VDJReaderTests, AStreamIsFetchedAgainOnlyWhenItsTitleChanges) {
    Fixture f({1});
    f.vdj->load(1, "", "Radio One");
    EXPECT_EQ(f.questionsOfARead(), 4u + 5u + 1u);
    EXPECT_EQ(f.questionsOfARead(), 4u + 1u);
    const auto song = f.read().decks[0].song;
    EXPECT_EQ(song->filePath, std::nullopt);
    EXPECT_EQ(song->title, "Radio One");
    f.vdj->set(1, "get_title", "Radio Two");
    EXPECT_EQ(f.questionsOfARead(), 4u + 5u + 1u);
    EXPECT_EQ(f.read().decks[0].song->title, "Radio Two");
    // A stream without any title is one item as long as it stays without one.
    f.vdj->set(1, "get_title", " ");
    EXPECT_EQ(f.questionsOfARead(), 4u + 5u + 1u);
    EXPECT_EQ(f.questionsOfARead(), 4u + 1u);
}

TEST(VDJReaderTests, ANewStreamItemWhoseDetailsFailedIsFetchedAgain) {
    Fixture f({1});
    f.vdj->load(1, "", "Radio One");
    f.read();
    f.vdj->set(1, "get_title", "Radio Two");
    f.vdj->set(1, "get_artist", "Host");
    f.vdj->failures.emplace("deck 1 get_key", SourceError::notAnswering);
    EXPECT_EQ(f.failure(), SourceError::notAnswering);
    f.vdj->failures.clear();
    // The new title counts as new until its details have arrived.
    EXPECT_EQ(f.questionsOfARead(), 4u + 5u + 1u);
    const auto song = f.read().decks[0].song;
    EXPECT_EQ(song->title, "Radio Two");
    EXPECT_EQ(song->artist, "Host");
    EXPECT_EQ(f.questionsOfARead(), 4u + 1u);
}

TEST(VDJReaderTests, AFileAndAStreamNeverShareCachedDetails) {
    Fixture f({1});
    f.vdj->load(1, "/a.mp3", "A");
    f.read();
    // Now a stream with the same title: it has no file, so it is fetched.
    f.vdj->set(1, "get_filepath", "");
    EXPECT_EQ(f.questionsOfARead(), 4u + 5u + 1u);
    EXPECT_EQ(f.questionsOfARead(), 4u + 1u);
    // Back to the file: the stream title is forgotten, so the same stream later is new.
    f.vdj->set(1, "get_filepath", "/a.mp3");
    EXPECT_EQ(f.questionsOfARead(), 9u + 1u);
    f.vdj->set(1, "get_filepath", "");
    EXPECT_EQ(f.questionsOfARead(), 4u + 5u + 1u);
}

TEST(VDJReaderTests, AnEmptiedDeckForgetsItsSong) {
    Fixture f({1});
    f.vdj->load(1, "/a.mp3", "A");
    f.read();
    f.vdj->set(1, "loaded", "no");
    EXPECT_EQ(f.questionsOfARead(), 1u + 1u);
    f.vdj->set(1, "loaded", "yes");
    EXPECT_EQ(f.questionsOfARead(), 9u + 1u);
}

TEST(VDJReaderTests, AFailedQuestionFailsTheWholeRead) {
    Fixture f({1, 2});
    f.vdj->load(1, "/a.mp3", "A");
    f.vdj->load(2, "/b.mp3", "B");
    f.vdj->failures.emplace("deck 2 get_key", SourceError::notAllowed);
    EXPECT_EQ(f.failure(), SourceError::notAllowed);
    EXPECT_EQ(f.vdj->asked.back(), "deck 2 get_key");
    f.vdj->failures.clear();
    f.vdj->failures.emplace("get_activedeck", SourceError::notAnswering);
    EXPECT_EQ(f.failure(), SourceError::notAnswering);
    // What the failed reads fetched stays: deck 1 was complete, deck 2 was not stored.
    f.vdj->failures.clear();
    const std::size_t mark = f.vdj->asked.size();
    f.read();
    EXPECT_EQ(f.vdj->askedSince(mark), 3u + 3u + 1u);
}

// Another VDJQuerying may fail in its own ways; the reader still speaks SourceError.
TEST(VDJReaderTests, OtherFailuresOfTheClientAreNotAnswering) {
    class Broken : public VDJQuerying {
        boost::asio::awaitable<std::string> query(std::string) override {
            throw std::runtime_error("broken");
            co_return "";
        }
    };
    VDJReader reader(std::make_shared<Broken>(), {1});
    EXPECT_THROW(
        {
            try {
                testing::readOnce(reader);
            } catch (const SourceError& error) {
                EXPECT_EQ(error, SourceError::notAnswering);
                throw;
            }
        },
        SourceError);
}

} // namespace
} // namespace bridge
