#include "Readers/WhatsNowPlayingSong.hpp"

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

std::optional<WhatsNowPlayingSong> songOf(std::string_view json) {
    return WhatsNowPlayingSong::fromJson(boost::json::parse(json).as_object());
}

// 2026-12-08T19:20:46Z in seconds since 2001.
constexpr double evening = 818'450'446.0;

TEST(WhatsNowPlayingSongTests, ReadsTheKeysItKnows) {
    const auto song = songOf(R"({"title":" Blue ","artist":"DJ A","filename":"/m/blue.mp3",
        "bpm":"128.0","key":"8A","duration":"245","track_received":"2026-12-08T19:20:46Z",
        "source_agent_name":"Serato3","album":"ignored","coverimageraw":"iVBORw0KGgo=",
        "genres":["house"],"hostfqdn":true})");
    ASSERT_TRUE(song);
    EXPECT_EQ(*song, (WhatsNowPlayingSong{.title = "Blue",
                                          .artist = "DJ A",
                                          .file = "/m/blue.mp3",
                                          .bpm = 128.0,
                                          .key = "8A",
                                          .length = 245.0,
                                          .started = instantFromReferenceSeconds(evening),
                                          .program = "Serato"}));
}

TEST(WhatsNowPlayingSongTests, NoUsableTitleIsNoSong) {
    EXPECT_FALSE(songOf("{}"));
    EXPECT_FALSE(songOf(R"({"title":null,"artist":"A"})"));
    EXPECT_FALSE(songOf(R"({"title":" \n\t "})"));
    EXPECT_FALSE(songOf(R"({"title":42})"));
}

TEST(WhatsNowPlayingSongTests, WithoutAFileTheKeyIsMadeUp) {
    EXPECT_EQ(songOf(R"({"title":"T","artist":"A"})")->file, "whatsnowplaying:A \u2013 T");
    EXPECT_EQ(songOf(R"({"title":"T","artist":null,"filename":"  "})")->file, "whatsnowplaying:T");
}

TEST(WhatsNowPlayingSongTests, NumbersArePositiveAndFinite) {
    const auto bpm = [](std::string_view value) {
        return songOf(R"({"title":"T","bpm":)" + std::string(value) + "}")->bpm;
    };
    EXPECT_EQ(bpm("128"), 128.0);
    EXPECT_EQ(bpm("127.5"), 127.5);
    EXPECT_EQ(bpm(R"("128")"), 128.0);
    EXPECT_EQ(bpm(R"(" 128.0\t")"), 128.0);
    EXPECT_EQ(bpm(R"("\u00A0128\u2003")"), 128.0);
    for (const auto* none : {"0", "-5", "null", "true", "[128]", R"("fast")", R"("0")", R"("-1")",
                             R"("")", R"("128\n")", R"("inf")", R"("nan")"}) {
        EXPECT_EQ(bpm(none), std::nullopt) << none;
    }
}

TEST(WhatsNowPlayingSongTests, TextsMustBeStrings) {
    const auto song = songOf(R"({"title":"T","artist":12,"key":false,"source_agent_name":["x"]})");
    EXPECT_EQ(song->artist, std::nullopt);
    EXPECT_EQ(song->key, std::nullopt);
    EXPECT_EQ(song->program, std::nullopt);
}

TEST(WhatsNowPlayingSongTests, ProgramNames) {
    EXPECT_EQ(WhatsNowPlayingSong::programName("serato"), "Serato");
    EXPECT_EQ(WhatsNowPlayingSong::programName("DENON"), "Engine DJ");
    EXPECT_EQ(WhatsNowPlayingSong::programName("djaypro"), "djay");
    EXPECT_EQ(WhatsNowPlayingSong::programName("EarShot"), "EarShot");
    EXPECT_EQ(WhatsNowPlayingSong::programName("winamp"), std::nullopt);
    EXPECT_EQ(WhatsNowPlayingSong::programName(std::nullopt), std::nullopt);
}

TEST(WhatsNowPlayingSongTests, TimesWithAnyPrecisionAndOffset) {
    const auto seconds = [](std::string_view text) -> std::optional<double> {
        const auto instant = WhatsNowPlayingSong::time(text);
        return instant ? std::optional(referenceSeconds(*instant) - evening) : std::nullopt;
    };
    EXPECT_EQ(seconds("2026-12-08T19:20:46Z"), 0.0);
    EXPECT_EQ(seconds("2026-12-08T19:20:46+00:00"), 0.0);
    EXPECT_NEAR(*seconds("2026-12-08T19:20:46.432568+00:00"), 0.432568, 1e-6);
    EXPECT_NEAR(*seconds("2026-12-08T19:20:46.4Z"), 0.4, 1e-6);
    EXPECT_NEAR(*seconds("2026-12-08T19:20:46.123456789Z"), 0.123456789, 1e-6);
    EXPECT_NEAR(*seconds("2026-12-08T19:20:46.999999999999-00:00"), 1.0, 1e-6);
    EXPECT_EQ(seconds("2026-12-08T21:20:46+02:00"), 0.0);
    EXPECT_EQ(seconds("2026-12-08T14:50:46-04:30"), 0.0);
    EXPECT_EQ(seconds("2026-12-09T00:20:46+05:00"), 0.0);
    EXPECT_EQ(seconds("2001-01-01T00:00:00Z"), -evening);
    EXPECT_EQ(seconds("2028-02-29T00:00:00Z").has_value(), true);
    for (const auto* bad :
         {"", "2026-12-08", "2026-12-08T19:20:46", "2026-12-08 19:20:46Z", "2026-12-08T19:20Z",
          "2026-12-08T19:20:46.Z", "2026-12-08T19:20:46.5", "2026-12-08T19:20:46+0000",
          "2026-12-08T19:20:46+00", "2026-13-08T19:20:46Z", "2027-02-29T00:00:00Z",
          "2026-12-08T24:00:00Z", "2026-12-08T19:60:46Z", "2026-12-08T19:20:46Zjunk",
          "26-12-08T19:20:46Z", "yesterday", "2026-12-08T19:20:46+24:00"}) {
        EXPECT_EQ(seconds(bad), std::nullopt) << bad;
    }
}

TEST(WhatsNowPlayingSongTests, AStartThatDoesNotParseIsAbsent) {
    EXPECT_EQ(songOf(R"({"title":"T","track_received":"soon"})")->started, std::nullopt);
    EXPECT_EQ(songOf(R"({"title":"T","track_received":1765221646})")->started, std::nullopt);
    EXPECT_TRUE(
        songOf(R"({"title":"T","track_received":" 2026-12-08T19:20:46.1+00:00\n"})")->started);
}

} // namespace
} // namespace bridge
