#include "Server/Pairing.hpp"
#include "Server/ServerError.hpp"
#include "Support/Await.hpp"
#include "Support/FakeTransport.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::await;

TEST(PairingTests, NormalisesTypedCodes) {
    EXPECT_EQ(Pairing::code("abcd-efgh"), "ABCDEFGH");
    EXPECT_EQ(Pairing::code(" ab cd\u00a0ef\n"), "ABCDEF");
    EXPECT_EQ(Pairing::code("abcd-efg"), std::nullopt) << "7 characters";
    EXPECT_EQ(Pairing::code("ABCDEFGHJ"), std::nullopt) << "9 characters";
    EXPECT_EQ(Pairing::code("ABCDEO"), std::nullopt) << "O is no code letter";
    EXPECT_EQ(Pairing::code("ABCDE0"), std::nullopt);
    EXPECT_EQ(Pairing::code("ABCDE1"), std::nullopt);
    EXPECT_EQ(Pairing::code("ABCDEL"), std::nullopt);
    EXPECT_EQ(Pairing::code("ABCDÉF"), std::nullopt);
    EXPECT_EQ(Pairing::code(""), std::nullopt);
    EXPECT_EQ(Pairing::code("23456789"), "23456789");
}

TEST(PairingTests, ShowsCodesInTwoHalves) {
    EXPECT_EQ(Pairing::shown("ABCDEFGH"), "ABCD EFGH");
    EXPECT_EQ(Pairing::shown("ABCDEF"), "ABC DEF");
}

TEST(PairingTests, ReadsCodesFromPairingLinks) {
    EXPECT_EQ(Pairing::codeInLink("setmara-bridge://pair?code=abcd-efgh"), "ABCDEFGH");
    EXPECT_EQ(Pairing::codeInLink("setmara-bridge://pair?x=1&code=abc%20def&code=ZZZZZZ"),
              "ABCDEF");
    EXPECT_EQ(Pairing::codeInLink("setmara-bridge://PAIR?code=ABCDEF"), std::nullopt);
    EXPECT_EQ(Pairing::codeInLink("Setmara-Bridge://pair?code=ABCDEF"), std::nullopt);
    EXPECT_EQ(Pairing::codeInLink("setmara-bridge://pair?Code=ABCDEF"), std::nullopt);
    EXPECT_EQ(Pairing::codeInLink("setmara-bridge://pair?code"), std::nullopt);
    EXPECT_EQ(Pairing::codeInLink("setmara-bridge://pair"), std::nullopt);
    EXPECT_EQ(Pairing::codeInLink("setmara-bridge://pair?code=ABCDEO"), std::nullopt);
    EXPECT_EQ(Pairing::codeInLink("https://pair?code=ABCDEF"), std::nullopt);
    EXPECT_EQ(Pairing::codeInLink("not a link"), std::nullopt);
}

TEST(PairingTests, ServerAndSafety) {
    EXPECT_EQ(Pairing::server(false, "https://other.test"), "https://setmara.app");
    EXPECT_EQ(Pairing::server(true, " \thttps://other.test \t"), "https://other.test");
    EXPECT_EQ(Pairing::server(true, "  "), "https://setmara.app");

    EXPECT_TRUE(Pairing::isSafe("https://setmara.app"));
    EXPECT_TRUE(Pairing::isSafe("https://setmara.app:8443/x"));
    EXPECT_TRUE(Pairing::isSafe("http://127.0.0.1:5173"));
    EXPECT_TRUE(Pairing::isSafe("http://localhost"));
    EXPECT_FALSE(Pairing::isSafe("http://setmara.app"));
    EXPECT_FALSE(Pairing::isSafe("http://LOCALHOST"));
    EXPECT_FALSE(Pairing::isSafe("HTTPS://setmara.app"));
    EXPECT_FALSE(Pairing::isSafe("https://dj@setmara.app"));
    EXPECT_FALSE(Pairing::isSafe("https://dj:pw@setmara.app"));
    EXPECT_FALSE(Pairing::isSafe("https://"));
    EXPECT_FALSE(Pairing::isSafe("setmara.app"));
    EXPECT_FALSE(Pairing::isSafe("ftp://setmara.app"));
    EXPECT_FALSE(Pairing::isSafe("https://set mara.app"));

    // A text without a scheme is a URL, only not a safe one.
    EXPECT_TRUE(Pairing::isURL("setmara.app"));
    EXPECT_TRUE(Pairing::isURL("https://setmara.app"));
    EXPECT_FALSE(Pairing::isURL("https://set mara.app"));
    EXPECT_FALSE(Pairing::isURL("https://[bad"));

    EXPECT_EQ(Pairing::safeLink("https://setmara.app/g/x"), "https://setmara.app/g/x");
    EXPECT_EQ(Pairing::safeLink("http://evil.test/"), std::nullopt);
    EXPECT_EQ(Pairing::safeLink(std::nullopt), std::nullopt);
}

TEST(PairingTests, MessagesForFailures) {
    EXPECT_EQ(Pairing::message(ServerError::refused("That code has expired.")),
              "That code has expired.");
    EXPECT_EQ(Pairing::message(ServerError::unavailable),
              "Setmara didn’t answer. Check the connection and try again.");
    EXPECT_EQ(Pairing::message(std::runtime_error("x")),
              "Setmara didn’t answer. Check the connection and try again.");
}

TEST(PairingTests, SummaryNamesTheGig) {
    EXPECT_EQ((Paired{.key = "k", .name = "DJ Ana"}).summary(), "DJ Ana");
    EXPECT_EQ((Paired{.key = "k", .name = "DJ Ana", .gig = "Friday"}).summary(),
              "DJ Ana, playing at Friday");
}

ServerError pairFailure(testing::FakeTransport& transport,
                        std::string server = "https://setmara.test") {
    try {
        await(Pairing::pair("ABCDEFGH", std::move(server), transport));
    } catch (const ServerError& error) {
        return error;
    }
    throw std::logic_error("pairing did not fail");
}

TEST(PairingTests, ExchangesTheCodeForAKey) {
    testing::FakeTransport transport;
    transport.answerWith(200, R"({"key":"secret","name":"DJ Ana","gig":null,"other":1})");
    const auto paired = await(Pairing::pair("ABCDEFGH", "https://setmara.test/", transport));
    EXPECT_EQ(paired, (Paired{.key = "secret", .name = "DJ Ana"}));
    const auto& request = transport.requests.at(0);
    EXPECT_EQ(request.url, "https://setmara.test/api/bridge/pair");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, R"({"code":"ABCDEFGH"})");
    EXPECT_EQ(request.headers, (std::vector<std::pair<std::string, std::string>>{
                                   {"Content-Type", "application/json"}}));
    EXPECT_EQ(request.timeout, Seconds{15});
}

TEST(PairingTests, PairingFailures) {
    testing::FakeTransport transport;
    EXPECT_EQ(pairFailure(transport, "http://setmara.test"),
              ServerError::refused(std::string(Pairing::unsafeServer)));
    EXPECT_TRUE(transport.requests.empty()) << "nothing is sent to an unsafe server";

    transport.answerWith(429, R"({"error":"Too many tries. Wait a minute."})");
    EXPECT_EQ(pairFailure(transport), ServerError::refused("Too many tries. Wait a minute."));
    transport.answerWith(404, "");
    EXPECT_EQ(pairFailure(transport), ServerError::refused("That code doesn’t work."));
    transport.answerWith(400, R"({"error":3})");
    EXPECT_EQ(pairFailure(transport), ServerError::refused("That code doesn’t work."));
    transport.answerWith(500, R"({"error":"x"})");
    EXPECT_EQ(pairFailure(transport), ServerError::unavailable);
    transport.answerWith(401, "");
    EXPECT_EQ(pairFailure(transport), ServerError::unavailable);
    transport.answerWith(200, R"({"name":"no key"})");
    EXPECT_EQ(pairFailure(transport), ServerError::unavailable);
    transport.answerWith(200, "<html>");
    EXPECT_EQ(pairFailure(transport), ServerError::unavailable);
    transport.answer = [](const HTTPRequest&) -> HTTPResponse { throw HTTPError::timedOut; };
    EXPECT_EQ(pairFailure(transport), ServerError::unavailable);
}

} // namespace
} // namespace bridge
