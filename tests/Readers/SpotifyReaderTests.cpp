#include "Engine/PlayDetector.hpp"
#include "Readers/SpotifyReader.hpp"
#include "ReadersTesting.hpp"
#include "Values/SourceError.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace bridge {
namespace {

// A runner that answers with a set reply or failure and remembers the script it was given.
class ScriptedRunner : public ScriptRunning {
public:
    boost::asio::awaitable<std::string> run(std::string script) override {
        scripts.push_back(std::move(script));
        if (failure) {
            std::rethrow_exception(failure);
        }
        co_return reply;
    }
    std::string reply;
    std::exception_ptr failure;
    std::vector<std::string> scripts;
};

struct Fixture {
    std::shared_ptr<ScriptedRunner> runner = std::make_shared<ScriptedRunner>();
    SpotifyReader reader{runner};

    VDJSnapshot read(std::string reply) {
        runner->reply = std::move(reply);
        return testing::readOnce(reader);
    }
    SourceError failure() {
        try {
            testing::readOnce(reader);
        } catch (const SourceError& error) {
            return error;
        }
        throw std::logic_error("the read did not fail");
    }
    SourceError failureFor(std::string reply) {
        runner->reply = std::move(reply);
        return failure();
    }
};

TEST(SpotifyReaderTests, RunsTheFixedScript) {
    Fixture f;
    f.read("stopped");
    ASSERT_EQ(f.runner->scripts.size(), 1u);
    EXPECT_EQ(f.runner->scripts[0], SpotifyReader::script);
    EXPECT_EQ(SpotifyReader::script.size(), 373u);
    EXPECT_TRUE(SpotifyReader::script.starts_with("if application \"Spotify\" is running then\n"));
    EXPECT_TRUE(SpotifyReader::script.ends_with("\nend if"));
}

TEST(SpotifyReaderTests, APlayingTrackIsAnAudibleDeck) {
    Fixture f;
    const Song song{.filePath = "spotify:track:6habFhsOp2NvshLv26DqMb",
                    .title = "Despacito",
                    .artist = "Luis Fonsi, Daddy Yankee",
                    .lengthSeconds = 229.36};
    EXPECT_EQ(f.read("playing\tspotify:track:6habFhsOp2NvshLv26DqMb\tDespacito\t"
                     "Luis Fonsi, Daddy Yankee\t229360\n"),
              VDJSnapshot::oneDeck(song, true));
    EXPECT_EQ(f.read("paused\tspotify:track:6habFhsOp2NvshLv26DqMb\tDespacito\t"
                     "Luis Fonsi, Daddy Yankee\t229360"),
              VDJSnapshot::oneDeck(song, false));
}

TEST(SpotifyReaderTests, ReadsTheDurationInEitherUnit) {
    const auto length = [](std::string duration) {
        return SpotifyReader::snapshot("playing\tid\tT\tA\t" + duration)
            .decks[0]
            .song->lengthSeconds;
    };
    EXPECT_EQ(length("10000"), 10.0);
    EXPECT_EQ(length("9999"), 9999.0);
    EXPECT_EQ(length("215.5"), 215.5);
    EXPECT_EQ(length("two minutes"), std::nullopt);
    EXPECT_EQ(length("missing value"), std::nullopt);
    EXPECT_EQ(length("1e400"), std::nullopt);
}

TEST(SpotifyReaderTests, EmptyFieldsAreAbsent) {
    EXPECT_EQ(SpotifyReader::snapshot("playing\t\t \t\t5").decks[0].song,
              (Song{.filePath = "", .lengthSeconds = 5.0}));
    // Tabs are white space: an empty last field is trimmed away with them.
    EXPECT_THROW(SpotifyReader::snapshot("playing\tid\tT\tA\t"), SourceError);
}

TEST(SpotifyReaderTests, StoppedIsAnEmptyDeck) {
    Fixture f;
    EXPECT_EQ(f.read("stopped\n"), VDJSnapshot::oneDeck(std::nullopt, false));
}

TEST(SpotifyReaderTests, UnexpectedRepliesAreNotAnswering) {
    Fixture f;
    EXPECT_EQ(f.failureFor("not running"), SourceError::notAnswering);
    EXPECT_EQ(f.failureFor("playing\tid\tT\tA"), SourceError::notAnswering);
    EXPECT_EQ(f.failureFor("playing\tid\tT\tA\t1\tx"), SourceError::notAnswering);
    EXPECT_EQ(f.failureFor("Playing\tid\tT\tA\t1"), SourceError::notAnswering);
    EXPECT_EQ(f.failureFor("fast forwarding\tid\tT\tA\t1"), SourceError::notAnswering);
    EXPECT_EQ(f.failureFor(""), SourceError::notAnswering);
}

TEST(SpotifyReaderTests, RunFailuresBecomeSourceErrors) {
    Fixture f;
    f.runner->failure = std::make_exception_ptr(ScriptError::notAllowed);
    EXPECT_EQ(f.failure(), SourceError::notAllowed);
    f.runner->failure = std::make_exception_ptr(ScriptError::failed);
    EXPECT_EQ(f.failure(), SourceError::notAnswering);
    f.runner->failure = std::make_exception_ptr(std::runtime_error("gone"));
    EXPECT_EQ(f.failure(), SourceError::notAnswering);
}

TEST(SpotifyReaderTests, APlayingTrackBecomesAPlay) {
    Fixture f;
    f.runner->reply =
        "playing\tspotify:track:6habFhsOp2NvshLv26DqMb\tDespacito\tLuis Fonsi\t229360";
    PlayDetector detector(Seconds{10}, [] { return "play-1"; });
    const Instant start = instantFromReferenceSeconds(818'454'600.0);
    std::vector<PlayEvent> events;
    for (int second = 0; second <= 10 && events.empty(); ++second) {
        events = detector.observe(testing::readOnce(f.reader), start + Seconds{second});
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].playedAt, start);
    EXPECT_EQ(events[0].title, "Despacito");
    EXPECT_EQ(events[0].artist, "Luis Fonsi");
    EXPECT_EQ(events[0].filePath, "spotify:track:6habFhsOp2NvshLv26DqMb");
    EXPECT_EQ(events[0].durationMs, 229'360);
}

} // namespace
} // namespace bridge
