#include "Readers/WhatsNowPlayingReader.hpp"
#include "ReadersTesting.hpp"
#include "Values/SourceError.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace bridge {
namespace {

// The tool's answers, set by the test; `body` absent makes the ask fail.
class ScriptedFeed : public WhatsNowPlayingFeed {
public:
    std::optional<std::string> body = "{}";
    int asks = 0;

    boost::asio::awaitable<std::string> last() override {
        ++asks;
        if (!body) {
            throw std::runtime_error("connection refused");
        }
        co_return *body;
    }
};

struct Fixture {
    std::shared_ptr<ScriptedFeed> feed = std::make_shared<ScriptedFeed>();
    double clock = 1000.0; // seconds since 2001
    WhatsNowPlayingReader reader{feed, [this] { return instantFromReferenceSeconds(clock); }};

    VDJSnapshot readAt(double at) {
        clock = at;
        return testing::readOnce(reader);
    }
    // Fails the test unless the read fails with not-answering.
    void failsAt(double at) {
        clock = at;
        try {
            testing::readOnce(reader);
            ADD_FAILURE() << "the read at " << at << " did not fail";
        } catch (const SourceError& error) {
            EXPECT_EQ(error, SourceError::notAnswering);
        }
    }
    static bool audible(const VDJSnapshot& snapshot) { return snapshot.decks.at(0).audible; }
    static std::optional<std::string> title(const VDJSnapshot& snapshot) {
        const auto& song = snapshot.decks.at(0).song;
        return song ? song->title : std::nullopt;
    }
};

const std::string blue =
    R"({"title":"Blue","artist":"A","filename":"/m/blue.mp3","bpm":"128","key":"8A",)"
    R"("duration":"200","source_agent_name":"traktor"})";

TEST(WhatsNowPlayingReaderTests, GivesTheSongAsOneDeck) {
    Fixture f;
    f.feed->body = blue;
    EXPECT_EQ(f.readAt(1000), VDJSnapshot::oneDeck(Song{.filePath = "/m/blue.mp3",
                                                        .title = "Blue",
                                                        .artist = "A",
                                                        .bpm = 128.0,
                                                        .key = "8A",
                                                        .lengthSeconds = 200.0},
                                                   true, "Traktor"));
}

TEST(WhatsNowPlayingReaderTests, AsksAtMostOnceEveryTwoSeconds) {
    Fixture f;
    f.feed->body = blue;
    f.readAt(1000);
    f.feed->body = R"({"title":"Red"})";
    EXPECT_EQ(Fixture::title(f.readAt(1001)), "Blue");
    EXPECT_EQ(Fixture::title(f.readAt(1001.999)), "Blue");
    EXPECT_EQ(f.feed->asks, 1);
    EXPECT_EQ(Fixture::title(f.readAt(1002)), "Red");
    EXPECT_EQ(f.feed->asks, 2);
}

TEST(WhatsNowPlayingReaderTests, AFailingToolIsAlsoAskedOnlyEveryTwoSeconds) {
    Fixture f;
    f.feed->body.reset();
    f.failsAt(1000);
    f.failsAt(1001);
    EXPECT_EQ(f.feed->asks, 1);
    f.feed->body = blue;
    EXPECT_EQ(Fixture::title(f.readAt(1002)), "Blue");
    EXPECT_EQ(f.feed->asks, 2);
}

TEST(WhatsNowPlayingReaderTests, AClockSetBackAsksAtOnceAndPacesFromThere) {
    Fixture f;
    f.feed->body.reset();
    f.failsAt(1000);
    f.feed->body = blue;
    EXPECT_EQ(Fixture::title(f.readAt(400)), "Blue") << "ten minutes back: asked at once";
    EXPECT_EQ(f.feed->asks, 2);
    f.feed->body = R"({"title":"Red"})";
    EXPECT_EQ(Fixture::title(f.readAt(401.5)), "Blue");
    EXPECT_EQ(f.feed->asks, 2) << "two seconds from the new time";
    EXPECT_EQ(Fixture::title(f.readAt(402)), "Red");
}

TEST(WhatsNowPlayingReaderTests, AnswersThatAreNotAnObjectAreNotAnswering) {
    for (const auto* body :
         {"[]", "\"title\"", "42", "{\"title\":", "", "{} {}", "{\"title\":\"\xFF\"}"}) {
        Fixture f;
        f.feed->body = body;
        f.failsAt(1000);
        // A good answer is taken again after the spacing.
        f.feed->body = blue;
        EXPECT_TRUE(Fixture::audible(f.readAt(1002))) << body;
    }
}

TEST(WhatsNowPlayingReaderTests, DeeplyNestedJsonIsRefusedNotFollowed) {
    Fixture f;
    f.feed->body = std::string(100'000, '[') + std::string(100'000, ']');
    f.failsAt(1000);
}

TEST(WhatsNowPlayingReaderTests, NoTitleIsAnEmptyDeckWhileAnswering) {
    Fixture f;
    f.feed->body = R"({"title":"   ","artist":"A"})";
    EXPECT_EQ(f.readAt(1000), VDJSnapshot::oneDeck(std::nullopt, false));
    f.feed->body = "{}";
    EXPECT_EQ(f.readAt(1002), VDJSnapshot::oneDeck(std::nullopt, false));
}

TEST(WhatsNowPlayingReaderTests, OnAirUntilTheLengthAndAMinuteHavePassed) {
    Fixture f;
    f.feed->body = R"({"title":"T","duration":200})";
    EXPECT_TRUE(Fixture::audible(f.readAt(1000)));
    EXPECT_TRUE(Fixture::audible(f.readAt(1260)));
    EXPECT_FALSE(Fixture::audible(f.readAt(1261)));

    Fixture without;
    without.feed->body = R"({"title":"T"})";
    EXPECT_TRUE(Fixture::audible(without.readAt(1000)));
    EXPECT_TRUE(Fixture::audible(without.readAt(1900)));
    EXPECT_FALSE(Fixture::audible(without.readAt(1900.5)));
}

TEST(WhatsNowPlayingReaderTests, TheToolsStartTimeComesFirst) {
    Fixture f;
    // Received at 1000 s after 2001, but first seen by the reader at 1250.
    f.feed->body = R"({"title":"T","duration":"200","track_received":"2001-01-01T00:16:40.25Z"})";
    EXPECT_TRUE(Fixture::audible(f.readAt(1250)));
    EXPECT_TRUE(Fixture::audible(f.readAt(1260.25)));
    EXPECT_FALSE(Fixture::audible(f.readAt(1260.5)));
}

TEST(WhatsNowPlayingReaderTests, FirstSeenStaysWhileTheSongStays) {
    Fixture f;
    f.feed->body = R"({"title":"T","duration":"100","bpm":"120"})";
    f.readAt(1000);
    // The same song with other details keeps its first sighting.
    f.feed->body = R"({"title":"T","duration":"100","bpm":"121"})";
    EXPECT_TRUE(Fixture::audible(f.readAt(1150)));
    // Also across a spell in which the tool does not answer.
    f.feed->body.reset();
    f.failsAt(1155);
    f.feed->body = R"({"title":"T","duration":"100"})";
    EXPECT_FALSE(Fixture::audible(f.readAt(1161)));
    // Another title on the same made-up file key is another song.
    f.feed->body = R"({"title":"U","duration":"100"})";
    EXPECT_TRUE(Fixture::audible(f.readAt(1300)));
    EXPECT_TRUE(Fixture::audible(f.readAt(1460)));
    EXPECT_FALSE(Fixture::audible(f.readAt(1462)));
}

TEST(WhatsNowPlayingReaderTests, ASongAfterNothingIsNewAgain) {
    Fixture f;
    f.feed->body = R"({"title":"T","duration":"100"})";
    f.readAt(1000);
    f.feed->body = "{}";
    f.readAt(1100);
    f.feed->body = R"({"title":"T","duration":"100"})";
    EXPECT_TRUE(Fixture::audible(f.readAt(1200)));
    EXPECT_TRUE(Fixture::audible(f.readAt(1360)));
}

TEST(WhatsNowPlayingReaderTests, AfterAFailureTheSameBodyIsTakenAgain) {
    Fixture f;
    f.feed->body = blue;
    f.readAt(1000);
    f.feed->body.reset();
    f.failsAt(1002);
    f.feed->body = blue;
    EXPECT_EQ(Fixture::title(f.readAt(1004)), "Blue");
}

} // namespace
} // namespace bridge
