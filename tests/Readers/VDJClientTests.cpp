#include "Readers/VDJClient.hpp"
#include "Support/Await.hpp"
#include "Support/FakeTransport.hpp"
#include "Values/SourceError.hpp"

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::await;
using testing::FakeTransport;

struct Fixture {
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();

    std::string query(std::string script, std::string password = "secret", int port = 8080) {
        VDJClient client(port, std::move(password), transport);
        return await(client.query(std::move(script)));
    }

    SourceError failure() {
        try {
            query("get_activedeck");
        } catch (const SourceError& error) {
            return error;
        }
        throw std::logic_error("the query did not fail");
    }
};

TEST(VDJClientTests, AsksOneScriptWithThePasswordWithinTwoSeconds) {
    Fixture f;
    f.transport->answerWith(200, "Title\n");
    EXPECT_EQ(f.query("deck 2 get_title", "pa ss", 8123), "Title\n");
    ASSERT_EQ(f.transport->requests.size(), 1u);
    const auto& request = f.transport->requests[0];
    EXPECT_EQ(request.url, "http://127.0.0.1:8123/query?script=deck%202%20get_title");
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.timeout, Seconds(2.0));
    EXPECT_FALSE(request.body);
    ASSERT_EQ(request.headers.size(), 1u);
    EXPECT_EQ(request.headers[0].first, "Authorization");
    EXPECT_EQ(request.headers[0].second, "Bearer pa ss");
}

TEST(VDJClientTests, EncodesTheScriptAsAQueryValue) {
    EXPECT_EQ(VDJClient::url(80, "deck 1 get_loaded_song 'remix'"),
              "http://127.0.0.1:80/query?script=deck%201%20get_loaded_song%20'remix'");
    const auto url = VDJClient::url(80, "a&b=c+d#e");
    EXPECT_EQ(url.find_first_of("&=+#", url.find("script=") + 7), std::string::npos) << url;
}

TEST(VDJClientTests, AnEmptyPasswordStillSendsTheHeader) {
    Fixture f;
    f.query("get_activedeck", "");
    EXPECT_EQ(f.transport->requests[0].headers.at(0).second, "Bearer ");
}

TEST(VDJClientTests, IllFormedBytesBecomeReplacementCharacters) {
    Fixture f;
    f.transport->answerWith(200, "Caf\xE9 \xC3\xA9");
    EXPECT_EQ(f.query("deck 1 get_title"), "Caf\uFFFD \u00E9");
}

TEST(VDJClientTests, StatusesAndFailuresMapToSourceErrors) {
    Fixture f;
    f.transport->answerWith(401, "");
    EXPECT_EQ(f.failure(), SourceError::notAllowed);
    for (const int status : {500, 404, 302, 201}) {
        f.transport->answerWith(status, "yes");
        EXPECT_EQ(f.failure(), SourceError::notAnswering) << status;
    }
    f.transport->answer = [](const HTTPRequest&) -> HTTPResponse { throw HTTPError::timedOut; };
    EXPECT_EQ(f.failure(), SourceError::notAnswering);
    f.transport->answer = [](const HTTPRequest&) -> HTTPResponse {
        throw boost::system::system_error(make_error_code(boost::system::errc::connection_refused));
    };
    EXPECT_EQ(f.failure(), SourceError::notAnswering);
}

TEST(VDJClientTests, APortOutOfRangeIsNotAsked) {
    Fixture f;
    EXPECT_THROW(f.query("get_activedeck", "", 70000), SourceError);
    EXPECT_THROW(f.query("get_activedeck", "", -1), SourceError);
    EXPECT_TRUE(f.transport->requests.empty());
}

} // namespace
} // namespace bridge
