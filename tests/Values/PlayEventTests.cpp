#include "Values/PlayEvent.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

boost::json::value encodeAsString(Instant instant) {
    return boost::json::string(std::to_string(referenceSeconds(instant)));
}

Instant decodeFromString(const boost::json::value& json) {
    return instantFromReferenceSeconds(std::stod(std::string(json.as_string())));
}

// An embedding writer with its own idea of instants, to show the event defers to it.
constexpr InstantCoding asText{encodeAsString, decodeFromString};

PlayEvent fullEvent() {
    return PlayEvent{.id = "E1",
                     .playedAt = instantFromReferenceSeconds(5.5),
                     .title = "Title",
                     .artist = "Artist",
                     .bpm = 124.5,
                     .key = "11B",
                     .filePath = "sha256:abc",
                     .durationMs = 245'000};
}

TEST(PlayEventTests, WritesExactlyItsKeysLeavingOutAbsentOnes) {
    const auto full = toJson(fullEvent(), asText);
    EXPECT_EQ(full.size(), 8u);
    EXPECT_EQ(full.at("playedAt"), "5.500000");
    EXPECT_EQ(full.at("durationMs"), 245'000);
    EXPECT_EQ(full.at("bpm"), 124.5);

    auto bare = fullEvent();
    bare.bpm.reset();
    bare.key.reset();
    bare.filePath.reset();
    bare.durationMs.reset();
    const auto json = toJson(bare, asText);
    EXPECT_EQ(json.size(), 4u);
    for (const char* key : {"id", "playedAt", "title", "artist"}) {
        EXPECT_TRUE(json.contains(key)) << key;
    }
}

TEST(PlayEventTests, RoundTrips) {
    EXPECT_EQ(playEventFromJson(toJson(fullEvent(), asText), asText), fullEvent());
}

TEST(PlayEventTests, RequiresTheFourKeysAndIgnoresOthers) {
    const auto parse = [](const char* text) {
        return playEventFromJson(boost::json::parse(text), asText);
    };
    const auto event =
        parse(R"({"id":"E","playedAt":"1","title":"T","artist":"A","extra":[1],"bpm":null})");
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->bpm, std::nullopt);
    EXPECT_EQ(event->playedAt, instantFromReferenceSeconds(1));
    EXPECT_FALSE(parse(R"({"playedAt":"1","title":"T","artist":"A"})"));
    EXPECT_FALSE(parse(R"({"id":"E","title":"T","artist":"A"})"));
    EXPECT_FALSE(parse(R"({"id":"E","playedAt":"1","artist":"A"})"));
    EXPECT_FALSE(parse(R"({"id":"E","playedAt":"1","title":"T"})"));
    EXPECT_FALSE(parse(R"({"id":"E","playedAt":"1","title":"T","artist":null})"));
    EXPECT_FALSE(parse(R"({"id":7,"playedAt":"1","title":"T","artist":"A"})"));
    EXPECT_FALSE(parse(R"({"id":"E","playedAt":"1","title":"T","artist":"A","durationMs":1.5})"));
    EXPECT_FALSE(parse(R"(["id"])"));
    // Whole numbers read in either form.
    const auto numbers =
        parse(R"({"id":"E","playedAt":"1","title":"T","artist":"A","durationMs":2.0,"bpm":120})");
    ASSERT_TRUE(numbers.has_value());
    EXPECT_EQ(numbers->durationMs, 2);
    EXPECT_EQ(numbers->bpm, 120.0);
}

} // namespace
} // namespace bridge
