#include "ScriptedSet.hpp"
#include "Tools/TestHttpClient.hpp"
#include "WhatsNowPlayingSet.hpp"
#include "WhatsNowPlayingStandIn.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

namespace json = boost::json;
using namespace std::chrono_literals;
using Clock = SetPlayer::Clock;

TEST(WhatsNowPlayingSet, theToolReceivesEachSongAsItsStepComes) {
    WhatsNowPlayingStandIn tool;
    const auto start = Clock::time_point(1h);
    const auto wallStart = std::chrono::sys_days(std::chrono::year(2024) / 6 / 1) + 21h;
    const std::vector<SetSong> songs = {{"A", "Ada", 200, 120, "8A"},
                                        {.title = "B", .artist = "Ben", .lengthSeconds = 180}};
    SetPlayer player(songs, 30s, start,
                     [&](std::uint64_t step, const SetSong& song, const SetSong&) {
                         showOnTool(tool, song, wallStart + step * 30s);
                     });
    const auto last = [&] {
        const auto answer = sendTestRequest(tool.port(), TestRequest{.target = "/v1/last"});
        EXPECT_EQ(answer.status, 200u);
        return json::parse(answer.body).as_object();
    };

    player.advance(start);
    auto first = last();
    EXPECT_EQ(first.at("title"), "A");
    EXPECT_EQ(first.at("artist"), "Ada");
    EXPECT_EQ(first.at("filename"), json::value(songs[0].file()));
    EXPECT_EQ(first.at("bpm"), "120.0");
    EXPECT_EQ(first.at("key"), "8A");
    EXPECT_EQ(first.at("duration"), "200");
    EXPECT_EQ(first.at("track_received"), "2024-06-01T21:00:00+00:00");

    player.advance(start + 29s);
    EXPECT_EQ(last().at("title"), "A");

    player.advance(start + 30s);
    auto second = last();
    EXPECT_EQ(second.at("title"), "B");
    EXPECT_TRUE(second.at("bpm").is_null());
    EXPECT_TRUE(second.at("key").is_null());
    EXPECT_EQ(second.at("track_received"), "2024-06-01T21:00:30+00:00");

    player.advance(start + 60s);
    EXPECT_EQ(last().at("title"), "A") << "the set starts over";
}

} // namespace
} // namespace bridge
