#include "Server/ServerClient.hpp"
#include "Server/ServerError.hpp"
#include "Server/ServerJson.hpp"
#include "Support/Await.hpp"
#include "Support/FakeTransport.hpp"

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::await;
using testing::FakeTransport;

class ServerClientTests : public ::testing::Test {
protected:
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();

    ServerClient client(Source source = Source::virtualDJ,
                        std::string base = "https://setmara.test", std::string key = "K3Y") {
        return ServerClient(std::move(base), std::move(key), source, transport);
    }

    const HTTPRequest& last() const { return transport->requests.back(); }

    std::string header(const std::string& name) const {
        for (const auto& [field, value] : last().headers) {
            if (field == name) {
                return value;
            }
        }
        return "<none>";
    }

    static PlayEvent event(std::string id) {
        return PlayEvent{.id = std::move(id),
                         .playedAt = instantFromReferenceSeconds(786'297'600.25),
                         .title = "Title",
                         .artist = "Artist"};
    }

    // The failure of an operation, as a ServerError.
    template <class T>
    static ServerError failure(boost::asio::awaitable<T> operation) {
        try {
            await(std::move(operation));
        } catch (const ServerError& error) {
            return error;
        }
        throw std::logic_error("the operation did not fail with a ServerError");
    }
};

TEST_F(ServerClientTests, AsksForTheGigWithItsQueryInOrder) {
    transport->answerWith(200,
                          R"({"id":7,"slug":"fri","name":"Friday","venue":null,"sharing":true,)"
                          R"("url":"https://setmara.test/g/fri","extra":1})");
    auto wnp = client(Source::whatsNowPlaying);
    const auto gig = await(wnp.currentGig(SourceState::connected, "Serato DJ Pro"));
    ASSERT_TRUE(gig);
    EXPECT_EQ(*gig, (Gig{.id = 7,
                         .slug = "fri",
                         .name = "Friday",
                         .sharing = true,
                         .url = "https://setmara.test/g/fri"}));
    EXPECT_EQ(last().method, "GET");
    EXPECT_EQ(last().url,
              "https://setmara.test/api/bridge/"
              "gig?virtualdj=connected&source=whatsnowplaying&program=Serato%20DJ%20Pro");
    EXPECT_EQ(last().body, std::nullopt);
    EXPECT_EQ(last().timeout, Seconds{15});
    EXPECT_EQ(last().headers,
              (std::vector<std::pair<std::string, std::string>>{{"Authorization", "Bearer K3Y"}}));

    auto vdj = client(Source::virtualDJ, "https://setmara.test/base/");
    await(vdj.currentGig(SourceState::notAllowed, "ignored"));
    EXPECT_EQ(last().url, "https://setmara.test/base/api/bridge/gig?virtualdj=wrong-password");
    await(vdj.currentGig(SourceState::starting, std::nullopt));
    EXPECT_EQ(last().url, "https://setmara.test/base/api/bridge/gig");
    auto mixxx = client(Source::mixxx);
    await(mixxx.currentGig(SourceState::notAnswering, "ignored"));
    EXPECT_EQ(last().url,
              "https://setmara.test/api/bridge/gig?virtualdj=not-answering&source=mixxx");
    // A music player is heard with the player behind it, as What's Now Playing is.
    auto music = client(Source::musicPlayer);
    await(music.currentGig(SourceState::connected, "VLC media player"));
    EXPECT_EQ(last().url,
              "https://setmara.test/api/bridge/"
              "gig?virtualdj=connected&source=musicplayer&program=VLC%20media%20player");
}

TEST_F(ServerClientTests, NoLiveGigIsAbsentButAnEndedGigFails) {
    auto c = client();
    transport->answerWith(404, R"({"error":"No live gig"})");
    EXPECT_EQ(await(c.currentGig(SourceState::connected, std::nullopt)), std::nullopt);
    transport->answerWith(404, R"({"error":"Ended","ended":true})");
    EXPECT_EQ(failure(c.currentGig(SourceState::connected, std::nullopt)), ServerError::gigEnded);
}

TEST_F(ServerClientTests, AGigThatDoesNotDecodeFailsWithItsOwnFailure) {
    auto c = client();
    for (const char* body :
         {R"({"id":"7","slug":"s","name":"n","sharing":true,"url":"https://x/g"})",
          R"({"id":7,"slug":"s","name":"n","url":"https://x/g"})",
          R"({"id":7,"slug":"s","name":"n","sharing":true,"url":"not a url"})", "<html>", "[]"}) {
        transport->answerWith(200, body);
        EXPECT_THROW(await(c.currentGig(SourceState::connected, std::nullopt)), std::exception)
            << body;
        try {
            await(c.currentGig(SourceState::connected, std::nullopt));
        } catch (const ServerError&) {
            ADD_FAILURE() << "a decoding failure is not a ServerError: " << body;
        } catch (const std::exception&) {
        }
    }
}

TEST_F(ServerClientTests, SendsPlaysAndReadsTheAnswer) {
    transport->answerWith(
        200, R"({"plays":[{"eventId":"A","id":11,"hidden":true},{"eventId":"B/1"}],"x":0})");
    auto c = client();
    auto hiddenOne = event("B/1");
    hiddenOne.bpm = 128;
    hiddenOne.durationMs = 245'000;
    hiddenOne.key = " 8A ";
    hiddenOne.filePath = "sha256:ab";
    const auto sent = await(c.send({event("A"), hiddenOne}, {"B/1"}, 42));
    EXPECT_EQ(sent,
              (SentPlays{.paused = false,
                         .plays = {{.eventId = "A", .taken = true, .hidden = true},
                                   {.eventId = "B/1", .taken = false, .hidden = std::nullopt}}}));
    EXPECT_EQ(last().method, "POST");
    EXPECT_EQ(last().url, "https://setmara.test/api/bridge/gigs/42/plays");
    EXPECT_EQ(header("Content-Type"), "application/json");
    EXPECT_EQ(
        boost::json::parse(*last().body),
        boost::json::parse(
            R"({"plays":[)"
            R"({"id":"A","playedAt":1764604800250,"title":"Title","artist":"Artist"},)"
            R"({"id":"B/1","playedAt":1764604800250,"title":"Title","artist":"Artist",)"
            R"("songBpm":128,"key":"8A","filePath":"sha256:ab","durationMs":245000,"hidden":true}]})"));
}

TEST_F(ServerClientTests, PlaysAnswersThatDoNotDecodeAreUnavailable) {
    auto c = client();
    for (const char* body : {"", "not json", "[]", "{}", R"({"plays":[{"id":1}]})",
                             R"({"plays":[{"eventId":"A","id":"x"}]})",
                             R"({"plays":{},"paused":false})", R"({"plays":[],"paused":"yes"})"}) {
        transport->answerWith(200, body);
        EXPECT_EQ(failure(c.send({event("A")}, {}, 1)), ServerError::unavailable) << body;
    }
    transport->answerWith(200, R"({"plays":[],"paused":true})");
    EXPECT_TRUE(await(c.send({event("A")}, {}, 1)).paused);
}

TEST_F(ServerClientTests, HidesRemovesAndEnds) {
    auto c = client();
    await(c.setHidden("id with/slash é", 5, true));
    EXPECT_EQ(last().method, "PATCH");
    EXPECT_EQ(last().url,
              "https://setmara.test/api/bridge/gigs/5/plays/id%20with%2Fslash%20%C3%A9");
    EXPECT_EQ(last().body, R"({"hidden":true})");
    await(c.remove("E-1", 5));
    EXPECT_EQ(last().method, "DELETE");
    EXPECT_EQ(last().url, "https://setmara.test/api/bridge/gigs/5/plays/E-1");
    EXPECT_EQ(last().body, std::nullopt);
    EXPECT_EQ(header("Content-Type"), "<none>");
    await(c.endGig(5));
    EXPECT_EQ(last().method, "POST");
    EXPECT_EQ(last().url, "https://setmara.test/api/bridge/gigs/5/end");
    EXPECT_EQ(last().body, "{}");
}

TEST_F(ServerClientTests, SendsTheKeyEvenWhenEmpty) {
    auto c = client(Source::denon, "http://127.0.0.1:8080", "");
    await(c.endGig(1));
    EXPECT_EQ(header("Authorization"), "Bearer ");
}

TEST_F(ServerClientTests, RemovingAPlayTheServerNoLongerHasSucceeds) {
    auto c = client();
    transport->answerWith(404, R"({"error":"No such play"})");
    EXPECT_NO_THROW(await(c.remove("E", 1)));
    transport->answerWith(404, R"({"error":"Ended","ended":true})");
    EXPECT_EQ(failure(c.remove("E", 1)), ServerError::gigEnded);
    EXPECT_EQ(failure(c.setHidden("E", 1, false)), ServerError::gigEnded);
}

TEST_F(ServerClientTests, MapsEveryStatus) {
    struct Row {
        int status;
        const char* body;
        ServerError expected;
    };
    const Row rows[] = {
        {400, R"({"error":"Too many songs"})", ServerError::refused("Too many songs")},
        {400, R"({"error":7})", ServerError::refused("The server refused the songs.")},
        {413, "<html>Too large</html>", ServerError::refused("The server refused the songs.")},
        {401, R"({"error":"whatever"})", ServerError::badKey},
        {401, "", ServerError::badKey},
        {403, R"({"error":"Bridge blocked"})", ServerError::refused("Bridge blocked")},
        {403, "", ServerError::refused("The server refused.")},
        {404, R"({"error":"Gone"})", ServerError::gigGone},
        {404, R"({"error":"Gone","ended":false})", ServerError::gigGone},
        {404, R"({"error":"Gone","ended":true})", ServerError::gigEnded},
        {404, "<html>Not found</html>", ServerError::unavailable},
        {404, "", ServerError::unavailable},
        {404, R"({"message":"x"})", ServerError::unavailable},
        {500, R"({"error":"x"})", ServerError::unavailable},
        {503, "", ServerError::unavailable},
        {302, "", ServerError::unavailable},
    };
    auto c = client();
    for (const auto& row : rows) {
        transport->answerWith(row.status, row.body);
        EXPECT_EQ(failure(c.endGig(3)), row.expected) << row.status << " " << row.body;
    }
    transport->answerWith(204, "");
    EXPECT_NO_THROW(await(c.endGig(3)));
}

TEST_F(ServerClientTests, TransportFailuresAreUnavailable) {
    auto c = client();
    transport->answer = [](const HTTPRequest&) -> HTTPResponse { throw HTTPError::timedOut; };
    EXPECT_EQ(failure(c.endGig(1)), ServerError::unavailable);
    transport->answer = [](const HTTPRequest&) -> HTTPResponse {
        throw std::runtime_error("connection refused");
    };
    EXPECT_EQ(failure(c.currentGig(SourceState::connected, std::nullopt)),
              ServerError::unavailable);
}

TEST_F(ServerClientTests, PlayObjectKeepsOnlyValuesTheServerTakes) {
    auto e = event("E");
    e.title = " \t\x01 ";
    e.artist = "  A\tB \u00a0 C  ";
    auto play = playObject(e, false);
    EXPECT_EQ(play.at("title"), "Unknown song");
    EXPECT_EQ(play.at("artist"), "A B C");
    EXPECT_FALSE(play.contains("hidden"));

    for (double bpm : {0.0, 401.0, std::numeric_limits<double>::infinity(), std::nan(""), -5.0}) {
        e.bpm = bpm;
        EXPECT_FALSE(playObject(e, false).contains("songBpm")) << bpm;
    }
    e.bpm = 400;
    EXPECT_EQ(playObject(e, false).at("songBpm"), 400.0);

    for (std::int64_t ms : {0, 86'400'000, -1}) {
        e.durationMs = ms;
        EXPECT_FALSE(playObject(e, false).contains("durationMs")) << ms;
    }
    e.durationMs = 86'399'999;
    EXPECT_EQ(playObject(e, false).at("durationMs"), 86'399'999);

    e.key = "12345678901"; // 11 units: left out, not cut
    EXPECT_FALSE(playObject(e, false).contains("key"));
    e.key = " 1\t2 ";
    EXPECT_EQ(playObject(e, false).at("key"), "1 2");
    e.key = "  ";
    EXPECT_FALSE(playObject(e, false).contains("key"));

    e.filePath = std::string(1001, 'p');
    EXPECT_FALSE(playObject(e, false).contains("filePath"));
    e.filePath = "  /a  b/ ";
    EXPECT_EQ(playObject(e, false).at("filePath"), "  /a  b/ ")
        << "sent exactly as held, blanks included";
    e.filePath = " \t ";
    EXPECT_FALSE(playObject(e, false).contains("filePath"));
    EXPECT_EQ(playObject(e, true).at("hidden"), true);
}

TEST_F(ServerClientTests, PlayedAtIsRoundedUnixMilliseconds) {
    auto e = event("E");
    e.playedAt = instantFromReferenceSeconds(0);
    EXPECT_EQ(playObject(e, false).at("playedAt"), 978'307'200'000);
    // Halves away from zero, on both sides of 1970.
    e.playedAt = instantFromReferenceSeconds(-978'307'200.0 + 0.0625);
    EXPECT_EQ(playObject(e, false).at("playedAt"), 63);
    e.playedAt = instantFromReferenceSeconds(-978'307'200.0 - 0.0625);
    EXPECT_EQ(playObject(e, false).at("playedAt"), -63);
}

} // namespace
} // namespace bridge
