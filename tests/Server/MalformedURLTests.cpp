// Texts from outside that Boost.URL 1.81 cannot be handed (it aborts on some of them in
// debug builds): every place that parses an address refuses them and goes on.
#include "Server/BeastTransport.hpp"
#include "Server/PairingRules.hpp"
#include "Server/ServerClient.hpp"
#include "Server/ServerError.hpp"
#include "Server/ServerURL.hpp"
#include "Server/SettingsRules.hpp"
#include "Support/Await.hpp"
#include "Support/FakeTransport.hpp"
#include "Support/URLText.hpp"
#include "Values/Gig.hpp"

#include <boost/url/parse.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::await;
using testing::FakeTransport;

// A scheme and one character that cannot start a path; the first ones hold only characters
// a URL may contain.
const std::vector<std::string> traps = {"a:?", "a:#", "https:[",         "http:]",
                                        "a:%", "a:{", "setmara-bridge:^"};
// Characters no URL holds.
const std::vector<std::string> outsiders = {"https://set mara.test", "https://setmara.test/\"",
                                            "https://setmara.test/\x7F", "https://ü.test",
                                            std::string("https://a.test/\0", 16)};

std::string gigAnswer(const std::string& url, const std::string& screenUrl) {
    return R"({"id":7,"slug":"s","name":"n","sharing":true,"url":")" + url + R"(","screenUrl":")" +
           screenUrl + R"("})";
}

TEST(MalformedURLTests, ThePairingRulesRefuseThem) {
    for (const auto& text : traps) {
        EXPECT_FALSE(Pairing::isSafe(text)) << text;
        EXPECT_EQ(Pairing::codeInLink(text), std::nullopt) << text;
        EXPECT_EQ(Pairing::safeLink(text), std::nullopt) << text;
        EXPECT_TRUE(SettingsRules::sameServer(text, text)) << "compared as texts: " << text;
        EXPECT_FALSE(SettingsRules::sameServer(text, "https://setmara.test")) << text;
        EXPECT_EQ(serverURL(text, "/api/bridge/gig"), std::nullopt) << text;
    }
    for (const auto& text : outsiders) {
        EXPECT_FALSE(Pairing::isSafe(text)) << text;
    }
    // Boost.URL aborts reading the items of an empty query before a fragment.
    for (const char* link :
         {"setmara-bridge://pair?#h&DEF&r4", "setmara-bridge://pair?#", "setmara-bridge://pair?"}) {
        EXPECT_EQ(Pairing::codeInLink(link), std::nullopt) << link;
    }
    EXPECT_EQ(Pairing::codeInLink("setmara-bridge://pair?code=ABCD-2345#x"), "ABCD2345");
    EXPECT_EQ(Pairing::codeInLink("setmara-bridge://pair?code=ABCD-2345"), "ABCD2345");
    EXPECT_TRUE(Pairing::isSafe("http://127.0.0.1:8080"));
}

TEST(MalformedURLTests, AGigWithSuchALinkDoesNotDecode) {
    auto transport = std::make_shared<FakeTransport>();
    ServerClient client("https://setmara.test", "K", Source::virtualDJ, transport);
    for (const auto& text : traps) {
        for (const auto& body : {gigAnswer(text, "https://setmara.test/s"),
                                 gigAnswer("https://setmara.test/g", text)}) {
            transport->answerWith(200, body);
            EXPECT_THROW(await(client.currentGig(SourceState::connected, std::nullopt)),
                         std::invalid_argument)
                << body;
        }
    }
    transport->answerWith(200, gigAnswer("https://setmara.test/g/", "https://setmara.test/s"));
    EXPECT_EQ(await(client.currentGig(SourceState::connected, std::nullopt))->screen(),
              "https://setmara.test/s");
}

TEST(MalformedURLTests, AScreenLinkIsNotMadeFromThem) {
    for (const auto& text : traps) {
        EXPECT_EQ((Gig{.url = text}).screen(), text);
    }
    EXPECT_EQ((Gig{.url = "https://setmara.test/g/fri/"}).screen(),
              "https://setmara.test/g/fri/screen");
}

TEST(MalformedURLTests, TheTransportRefusesThemAsBadURLs) {
    BeastTransport transport;
    for (const auto& text : traps) {
        try {
            await(transport.send(HTTPRequest{.url = text}));
            ADD_FAILURE() << "sent to " << text;
        } catch (const HTTPError& error) {
            EXPECT_EQ(error, HTTPError::badURL) << text;
        }
    }
}

TEST(MalformedURLTests, EveryOtherTextReachesTheParser) {
    for (const char* text :
         {"a:", "a:/", "a:b", "a:@", "a:%41", "a:??", "https://x.test/?q#f", "//x.test/p", "/p",
          "?", "#", "", "mailto:a@x.test", "http://[::1]:80/"}) {
        EXPECT_TRUE(isParsableURLText(text)) << text;
        EXPECT_TRUE(parseURL(text, boost::urls::parse_uri_reference)) << text;
    }
    EXPECT_FALSE(parseURL("a:{", boost::urls::parse_uri_reference));
}

} // namespace
} // namespace bridge
