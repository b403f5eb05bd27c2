#include "Readers/WhatsNowPlayingServer.hpp"
#include "Support/Await.hpp"
#include "Support/FakeTransport.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::await;

TEST(WhatsNowPlayingServerTests, AsksForTheLastTrackWithinOneAndAHalfSeconds) {
    auto transport = std::make_shared<testing::FakeTransport>();
    transport->answerWith(200, R"({"title":"T"})");
    WhatsNowPlayingServer server(transport);
    EXPECT_EQ(await(server.last()), R"({"title":"T"})");
    ASSERT_EQ(transport->requests.size(), 1u);
    const auto& request = transport->requests[0];
    EXPECT_EQ(request.url, "http://127.0.0.1:8899/v1/last");
    EXPECT_EQ(request.method, "GET");
    EXPECT_TRUE(request.headers.empty());
    EXPECT_EQ(request.timeout, Seconds(1.5));
}

TEST(WhatsNowPlayingServerTests, AnyOtherStatusIsABadServerResponse) {
    auto transport = std::make_shared<testing::FakeTransport>();
    WhatsNowPlayingServer server(transport, 9001);
    for (const int status : {204, 404, 500}) {
        transport->answerWith(status, "{}");
        EXPECT_THROW(await(server.last()), HTTPError) << status;
    }
    transport->answer = [](const HTTPRequest&) -> HTTPResponse { throw HTTPError::timedOut; };
    try {
        await(server.last());
        ADD_FAILURE() << "did not fail";
    } catch (const HTTPError& error) {
        EXPECT_EQ(error, HTTPError::timedOut);
    }
    EXPECT_EQ(transport->requests.back().url, "http://127.0.0.1:9001/v1/last");
}

} // namespace
} // namespace bridge
