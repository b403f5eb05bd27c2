#include "GigServerStandIn.hpp"
#include "Tools/TestHttpClient.hpp"

#include <boost/json/parse.hpp>
#include <boost/system/system_error.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <tuple>

namespace bridge {
namespace {

namespace json = boost::json;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Fault = GigServerStandIn::Fault;
using namespace std::chrono_literals;

class GigServerStandInTests : public ::testing::Test {
protected:
    GigServerStandIn server;
    std::string key = server.makeKey();

    TestAnswer call(std::string method, std::string target, std::string body = {}) {
        return callWith("Bearer " + key, std::move(method), std::move(target), std::move(body));
    }

    TestAnswer callWith(std::string authorization, std::string method, std::string target,
                        std::string body = {}) {
        TestRequest request{.method = std::move(method), .target = std::move(target)};
        request.headers.emplace_back("Authorization", std::move(authorization));
        if (!body.empty()) {
            request.headers.emplace_back("Content-Type", "application/json");
            request.body = std::move(body);
        }
        return sendTestRequest(server.port(), request);
    }

    TestAnswer pair(const std::string& code) {
        return sendTestRequest(server.port(), TestRequest{.method = "POST",
                                                          .target = "/api/bridge/pair",
                                                          .body = R"({"code":")" + code + R"("})"});
    }

    static std::string playsPath(std::int64_t gig) {
        return "/api/bridge/gigs/" + std::to_string(gig) + "/plays";
    }

    static std::string play(const std::string& id, bool hidden = false) {
        return R"({"id":")" + id + R"(","playedAt":1700000000000,"title":"T","artist":"A")" +
               (hidden ? R"(,"hidden":true})" : "}");
    }

    static std::string playsBody(const std::vector<std::string>& plays) {
        std::string body = R"({"plays":[)";
        for (const auto& one : plays) {
            body += (body.back() == '[' ? "" : ",") + one;
        }
        return body + "]}";
    }
};

json::value parsed(const TestAnswer& answer) {
    return json::parse(answer.body);
}

std::vector<std::string> eventIds(const std::vector<GigServerStandIn::StoredPlay>& plays) {
    std::vector<std::string> ids;
    for (const auto& play : plays) {
        ids.push_back(play.eventId);
    }
    return ids;
}

TEST_F(GigServerStandInTests, aPairingCodeYieldsAKeyOnce) {
    const auto code = server.makePairingCode("Kitchen laptop", "Friday Milonga");
    ASSERT_EQ(code.size(), 8u);
    EXPECT_EQ(code.find_first_not_of("ABCDEFGHIJKMNPQRSTUVWXYZ23456789"), std::string::npos);

    auto paired = pair(code);
    ASSERT_EQ(paired.status, 200u);
    auto answer = parsed(paired).as_object();
    EXPECT_EQ(answer.at("name"), "Kitchen laptop");
    EXPECT_EQ(answer.at("gig"), "Friday Milonga");
    const std::string newKey(answer.at("key").as_string());
    server.startGig();
    EXPECT_EQ(callWith("Bearer " + newKey, "GET", "/api/bridge/gig").status, 200u);

    auto again = pair(code);
    EXPECT_EQ(again.status, 404u);
    EXPECT_TRUE(parsed(again).as_object().at("error").is_string());

    auto withoutGig = parsed(pair(server.makePairingCode())).as_object();
    EXPECT_FALSE(withoutGig.contains("gig"));
    EXPECT_NE(withoutGig.at("key"), answer.at("key"));
}

TEST_F(GigServerStandInTests, pairingRefusesBadRequestsAndTooManyWrongCodes) {
    auto noCode = sendTestRequest(
        server.port(), TestRequest{.method = "POST", .target = "/api/bridge/pair", .body = "{"});
    EXPECT_EQ(noCode.status, 400u);
    EXPECT_TRUE(parsed(noCode).as_object().at("error").is_string());

    const auto code = server.makePairingCode();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(pair("AAAAAAAA").status, 404u);
    }
    auto blocked = pair(code);
    EXPECT_EQ(blocked.status, 429u);
    EXPECT_TRUE(parsed(blocked).as_object().at("error").is_string());

    EXPECT_EQ(pair(server.makePairingCode()).status, 200u);
    EXPECT_EQ(pair(code).status, 200u) << "an older code still works once";
}

TEST_F(GigServerStandInTests, everyBridgeRequestNeedsAKnownBearerKey) {
    const auto gig = server.startGig();
    const std::vector<std::pair<std::string, std::string>> requests = {
        {"GET", "/api/bridge/gig"},
        {"POST", playsPath(gig.id)},
        {"PATCH", playsPath(gig.id) + "/e1"},
        {"DELETE", playsPath(gig.id) + "/e1"},
        {"POST", "/api/bridge/gigs/" + std::to_string(gig.id) + "/end"}};
    for (const auto& authorization : std::vector<std::string>{"Bearer ", "Bearer wrong", key,
                                                              "bearer " + key, "Bearer  " + key}) {
        for (const auto& [method, target] : requests) {
            auto answer = callWith(authorization, method, target, "{}");
            EXPECT_EQ(answer.status, 401u) << authorization << " " << method << " " << target;
        }
    }
    EXPECT_EQ(sendTestRequest(server.port(), TestRequest{.target = "/api/bridge/gig"}).status,
              401u);

    EXPECT_EQ(call("GET", "/api/bridge/gig").status, 200u);
    server.revokeKeys();
    EXPECT_EQ(call("GET", "/api/bridge/gig").status, 401u);
    EXPECT_TRUE(server.liveGig()) << "a refused request changes nothing";
}

TEST_F(GigServerStandInTests, pathsOutsideTheApiAreNotJsonErrors) {
    server.startGig();
    for (const auto& [method, target] :
         std::vector<std::pair<std::string, std::string>>{{"GET", "/api/bridge/gigs/1/plays"},
                                                          {"GET", "/api/bridge/gig/"},
                                                          {"GET", "/"},
                                                          {"PUT", "/api/bridge/gigs/1/end"}}) {
        auto answer = call(method, target);
        EXPECT_EQ(answer.status, 404u) << method << " " << target;
        EXPECT_EQ(answer.contentType, "text/plain");
    }
    EXPECT_EQ(call("GET", "/api/bridge/pair").status, 405u);
}

TEST_F(GigServerStandInTests, theGigAnswerFollowsTheDJsLiveGig) {
    auto none = call("GET", "/api/bridge/gig?virtualdj=connected");
    EXPECT_EQ(none.status, 404u);
    EXPECT_EQ(parsed(none), json::parse(R"({"error":"No live gig"})"));

    const auto gig = server.startGig({.name = "Friday Milonga",
                                      .venue = "Club Sur",
                                      .slug = "friday",
                                      .screenUrl = "https://screen.example/friday"});
    auto answer = call("GET", "/api/bridge/gig?virtualdj=connected&source=mixxx");
    ASSERT_EQ(answer.status, 200u);
    EXPECT_EQ(answer.contentType, "application/json");
    EXPECT_EQ(parsed(answer),
              json::parse(R"({"id":)" + std::to_string(gig.id) +
                          R"(,"slug":"friday","name":"Friday Milonga",)"
                          R"("venue":"Club Sur","sharing":true,"url":")" +
                          server.url() +
                          R"(/gigs/friday","screenUrl":"https://screen.example/friday"})"));

    const auto next = server.startGig();
    EXPECT_NE(next.id, gig.id);
    server.setSharing(false);
    auto plain = parsed(call("GET", "/api/bridge/gig")).as_object();
    EXPECT_EQ(plain.at("id"), next.id);
    EXPECT_EQ(plain.at("sharing"), false);
    EXPECT_FALSE(plain.contains("venue"));
    EXPECT_FALSE(plain.contains("screenUrl"));
    EXPECT_EQ(call("POST", playsPath(gig.id), playsBody({play("e1")})).status, 404u)
        << "starting a gig ends the one that was live";
}

TEST_F(GigServerStandInTests, itKeepsWhatTheBridgeReadsAndRefusesASourceItDoesNotKnow) {
    server.startGig();
    EXPECT_EQ(server.bridgeReads(), std::nullopt);
    EXPECT_EQ(call("GET", "/api/bridge/gig?virtualdj=connected&source=musicplayer&program=VLC%20"
                          "media%20player")
                  .status,
              200u);
    EXPECT_EQ(server.bridgeReads(),
              (GigServerStandIn::BridgeReads{"musicplayer", "VLC media player", "connected"}));
    call("GET", "/api/bridge/gig");
    EXPECT_EQ(server.bridgeReads(), GigServerStandIn::BridgeReads{});
    const auto unknown = call("GET", "/api/bridge/gig?source=winamp");
    EXPECT_EQ(unknown.status, 400u);
    EXPECT_EQ(parsed(unknown), json::parse(R"({"error":"Unknown source"})"));
}

TEST_F(GigServerStandInTests, aPlaySentAgainIsStoredOnce) {
    const auto gig = server.startGig();
    auto first = call("POST", playsPath(gig.id), playsBody({play("e1", true), play("e2")}));
    ASSERT_EQ(first.status, 200u);
    auto firstPlays = parsed(first).as_object();
    EXPECT_EQ(firstPlays.at("paused"), false);
    const auto& taken = firstPlays.at("plays").as_array();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].as_object().at("eventId"), "e1");
    EXPECT_EQ(taken[0].as_object().at("hidden"), true);
    EXPECT_EQ(taken[1].as_object().at("hidden"), false);
    EXPECT_NE(taken[0].as_object().at("id"), taken[1].as_object().at("id"));

    auto second =
        parsed(call("POST", playsPath(gig.id), playsBody({play("e2"), play("e3"), play("e3")})));
    const auto& again = second.as_object().at("plays").as_array();
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[0].as_object().at("id"), taken[1].as_object().at("id"));
    EXPECT_EQ(again[1].as_object().at("id"), again[2].as_object().at("id"));

    auto stored = server.plays(gig.id);
    EXPECT_EQ(eventIds(stored), (std::vector<std::string>{"e1", "e2", "e3"}));
    EXPECT_TRUE(stored[0].hidden);
    EXPECT_EQ(json::parse(stored[0].object), json::parse(play("e1", true)));
    EXPECT_TRUE(server.plays(gig.id + 1).empty());
}

TEST_F(GigServerStandInTests, badPlayBodiesAreRefusedWhole) {
    const auto gig = server.startGig();
    const auto path = playsPath(gig.id);
    for (const auto& body :
         {std::string("not json"), std::string(R"({"plays":{}})"),
          playsBody({play("ok"), R"({"id":"e","playedAt":1,"artist":"A"})"}),
          playsBody({R"({"id":"","playedAt":1,"title":"T","artist":"A"})"}),
          playsBody({R"({"id":"e","playedAt":1,"title":"T","artist":"A","hidden":1})"})}) {
        auto answer = call("POST", path, body);
        EXPECT_EQ(answer.status, 400u) << body;
        EXPECT_TRUE(parsed(answer).as_object().at("error").is_string());
    }
    std::vector<std::string> many;
    for (int i = 0; i < 101; ++i) {
        many.push_back(play("p" + std::to_string(i)));
    }
    EXPECT_EQ(call("POST", path, playsBody(many)).status, 413u);
    EXPECT_TRUE(server.plays(gig.id).empty());
    many.pop_back();
    EXPECT_EQ(call("POST", path, playsBody(many)).status, 200u);
    EXPECT_EQ(server.plays(gig.id).size(), 100u);
}

TEST_F(GigServerStandInTests, aPausedBridgeHasNothingTaken) {
    const auto gig = server.startGig();
    server.setPaused(true);
    auto paused = parsed(call("POST", playsPath(gig.id), playsBody({play("e1")})));
    EXPECT_EQ(paused, json::parse(R"({"plays":[{"eventId":"e1"}],"paused":true})"));
    EXPECT_TRUE(server.plays(gig.id).empty());

    server.setPaused(false);
    auto taken = parsed(call("POST", playsPath(gig.id), playsBody({play("e1")})));
    EXPECT_TRUE(taken.as_object().at("plays").as_array()[0].as_object().contains("id"));
    EXPECT_EQ(server.plays(gig.id).size(), 1u);
}

TEST_F(GigServerStandInTests, playsAreHiddenAndRemovedByTheirEncodedEventId) {
    const auto gig = server.startGig();
    call("POST", playsPath(gig.id), playsBody({play("dir/a b"), play("e2")}));
    const auto encoded = playsPath(gig.id) + "/dir%2Fa%20b";

    auto hidden = call("PATCH", encoded, R"({"hidden":true})");
    ASSERT_EQ(hidden.status, 200u);
    EXPECT_TRUE(server.plays(gig.id)[0].hidden);
    EXPECT_EQ(call("PATCH", encoded, R"({"hidden":"yes"})").status, 400u);
    call("PATCH", encoded, R"({"hidden":false})");
    EXPECT_FALSE(server.plays(gig.id)[0].hidden);

    auto unknown = call("PATCH", playsPath(gig.id) + "/nope", R"({"hidden":true})");
    EXPECT_EQ(unknown.status, 404u);
    EXPECT_EQ(parsed(unknown), json::parse(R"({"error":"No such play"})"));

    EXPECT_EQ(call("DELETE", encoded).status, 200u);
    EXPECT_EQ(eventIds(server.plays(gig.id)), std::vector<std::string>{"e2"});
    auto gone = call("DELETE", encoded);
    EXPECT_EQ(gone.status, 404u);
    EXPECT_EQ(parsed(gone), json::parse(R"({"error":"No such play"})"));
}

TEST_F(GigServerStandInTests, anEndedGigAnswersEndedUntilANewOneStarts) {
    const auto gig = server.startGig();
    call("POST", playsPath(gig.id), playsBody({play("e1")}));
    const auto end = "/api/bridge/gigs/" + std::to_string(gig.id) + "/end";
    ASSERT_EQ(call("POST", end, "{}").status, 200u);
    EXPECT_FALSE(server.liveGig());
    EXPECT_EQ(parsed(call("GET", "/api/bridge/gig")), json::parse(R"({"error":"No live gig"})"));

    const auto ended = json::parse(R"({"error":"This gig has ended.","ended":true})");
    for (const auto& [method, target, body] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"POST", playsPath(gig.id), playsBody({play("e2")})},
             {"PATCH", playsPath(gig.id) + "/e1", R"({"hidden":true})"},
             {"DELETE", playsPath(gig.id) + "/e1", ""},
             {"POST", end, "{}"}}) {
        auto answer = call(method, target, body);
        EXPECT_EQ(answer.status, 404u) << method << " " << target;
        EXPECT_EQ(parsed(answer), ended) << method << " " << target;
    }
    EXPECT_EQ(eventIds(server.plays(gig.id)), std::vector<std::string>{"e1"});

    auto unknown = call("POST", playsPath(gig.id + 10), playsBody({play("e2")}));
    EXPECT_EQ(parsed(unknown), json::parse(R"({"error":"No such gig"})"));
    EXPECT_EQ(call("POST", "/api/bridge/gigs/x1/end", "{}").status, 404u);

    const auto next = server.startGig();
    EXPECT_EQ(parsed(call("GET", "/api/bridge/gig")).as_object().at("id"), next.id);
    server.endGig();
    EXPECT_EQ(parsed(call("POST", playsPath(next.id), playsBody({play("e2")}))), ended);
}

TEST_F(GigServerStandInTests, everyRequestIsRecordedAsReceived) {
    const auto gig = server.startGig();
    call("GET", "/api/bridge/gig?virtualdj=connected&source=mixxx");
    call("PATCH", playsPath(gig.id) + "/a%2Fb", R"({"hidden":true})");
    server.setFault("/api/bridge/gig", Fault::dropConnection());
    EXPECT_THROW(call("GET", "/api/bridge/gig"), boost::system::system_error);

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/api/bridge/gig?virtualdj=connected&source=mixxx");
    EXPECT_EQ(requests[0].path(), "/api/bridge/gig");
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(requests[1].method, "PATCH");
    EXPECT_EQ(requests[1].target, playsPath(gig.id) + "/a%2Fb");
    EXPECT_EQ(requests[1].header("authorization"), "Bearer " + key);
    EXPECT_EQ(requests[1].header("Content-Type"), "application/json");
    EXPECT_EQ(requests[1].header("Cookie"), std::nullopt);
    EXPECT_EQ(requests[1].body, R"({"hidden":true})");
    EXPECT_EQ(requests[1].headers.front(),
              (std::pair<std::string, std::string>{"Host", "127.0.0.1"}));
}

TEST_F(GigServerStandInTests, aScriptedAnswerStrikesItsPathForAsLongAsAsked) {
    const auto gig = server.startGig();
    auto fault = Fault::answer(503, "<html>down</html>");
    fault.times = 2;
    server.setFault("/api/bridge/gig", fault);
    server.setFault(playsPath(gig.id), Fault::answer(400, R"({"error":"No."})"));

    for (int i = 0; i < 2; ++i) {
        auto answer = call("GET", "/api/bridge/gig?source=mixxx");
        EXPECT_EQ(answer.status, 503u);
        EXPECT_EQ(answer.body, "<html>down</html>");
        EXPECT_EQ(answer.contentType, "text/html");
    }
    EXPECT_EQ(call("GET", "/api/bridge/gig").status, 200u);

    auto refused = call("POST", playsPath(gig.id), playsBody({play("e1")}));
    EXPECT_EQ(refused.status, 400u);
    EXPECT_EQ(refused.contentType, "application/json");
    EXPECT_TRUE(server.plays(gig.id).empty()) << "a scripted answer takes the place of the request";

    server.clearFaults();
    EXPECT_EQ(call("POST", playsPath(gig.id), playsBody({play("e1")})).status, 200u);
}

TEST_F(GigServerStandInTests, droppedAndGarbledAnswersAreNotHttp) {
    const auto gig = server.startGig();
    const auto request = "POST " + playsPath(gig.id) +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         "Authorization: Bearer " +
                         key +
                         "\r\nContent-Length: " + std::to_string(playsBody({play("e1")}).size()) +
                         "\r\n\r\n" + playsBody({play("e1")});

    server.setFault(playsPath(gig.id), Fault::dropConnection());
    EXPECT_EQ(sendRawBytes(server.port(), request), "");
    EXPECT_TRUE(server.plays(gig.id).empty());

    server.setFault(playsPath(gig.id), Fault::garbage());
    auto garbage = sendRawBytes(server.port(), request);
    EXPECT_THAT(garbage, AllOf(Not(StartsWith("HTTP/")), Not(HasSubstr("\"plays\""))));
    EXPECT_FALSE(garbage.empty());
    EXPECT_THROW(call("POST", playsPath(gig.id), playsBody({play("e1")})),
                 boost::system::system_error);

    // The server took the play, but its answer was lost on the way.
    auto lost = Fault::dropConnection();
    lost.takeEffect = true;
    server.setFault(playsPath(gig.id), lost);
    EXPECT_EQ(sendRawBytes(server.port(), request), "");
    EXPECT_EQ(eventIds(server.plays(gig.id)), std::vector<std::string>{"e1"});
}

TEST_F(GigServerStandInTests, aSlowPathHoldsUpOnlyItsOwnRequests) {
    const auto gig = server.startGig();
    server.setFault("/api/bridge/gig", Fault::slow(300ms));
    const auto started = std::chrono::steady_clock::now();
    auto slow = std::async(std::launch::async, [&] { return call("GET", "/api/bridge/gig"); });

    auto quick = call("POST", playsPath(gig.id), playsBody({play("e1")}));
    EXPECT_EQ(quick.status, 200u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 300ms);

    EXPECT_EQ(slow.get().status, 200u);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
}

TEST(GigServerStandInLifetime, listensOnAFreePortAndStopsWithRequestsUnderWay) {
    std::future<TestAnswer> pending;
    std::uint16_t port = 0;
    {
        GigServerStandIn first;
        GigServerStandIn second;
        EXPECT_NE(first.port(), second.port());
        EXPECT_EQ(first.url(), "http://127.0.0.1:" + std::to_string(first.port()));
        port = first.port();
        first.setFault("/api/bridge/gig", Fault::slow(10s));
        pending = std::async(std::launch::async, [port] {
            return sendTestRequest(port, TestRequest{.target = "/api/bridge/gig"}, 5s);
        });
        while (first.requests().empty()) {
            std::this_thread::yield();
        }
    }
    EXPECT_THROW(pending.get(), boost::system::system_error);
    EXPECT_THROW(sendTestRequest(port, TestRequest{}), boost::system::system_error)
        << "nothing listens any more";
}

} // namespace
} // namespace bridge
