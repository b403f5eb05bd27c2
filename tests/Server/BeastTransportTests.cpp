#include "Server/BeastTransport.hpp"
#include "Support/Await.hpp"
#include "Support/TempFolder.hpp"
#include "Support/TestCertificate.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <memory>

namespace bridge {
namespace {

namespace asio = boost::asio;
using asio::use_awaitable;
using asio::ip::tcp;
using testing::await;
using testing::Certificate;
using testing::makeCertificate;

// What the server does once it has read a request.
struct Reply {
    std::string head;          // written first, as it is
    std::size_t fillBytes = 0; // then this many bytes of body
    bool hold = false;         // then keep the connection open without a word
};

// An HTTP server on 127.0.0.1 that answers by script, on the test's io_context.
class ScriptedServer {
public:
    ScriptedServer(asio::io_context& io, std::function<Reply(const std::string& request)> script,
                   std::optional<Certificate> certificate = std::nullopt)
        : io(io), acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)),
          script(std::move(script)) {
        if (certificate) {
            tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
            tls->use_certificate_chain(asio::buffer(certificate->certificatePem));
            tls->use_private_key(asio::buffer(certificate->keyPem), asio::ssl::context::pem);
        }
        asio::co_spawn(io, accept(), asio::detached);
    }

    unsigned short port() const { return acceptor.local_endpoint().port(); }
    std::string url(const std::string& path = "/") const {
        return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port()) +
               path;
    }

    std::vector<std::string> requests;
    std::vector<std::string> serverNames; // SNI names seen in TLS handshakes

private:
    asio::awaitable<void> accept() {
        for (;;) {
            auto socket = co_await acceptor.async_accept(use_awaitable);
            if (tls) {
                asio::co_spawn(io, serveTls(std::move(socket)), asio::detached);
            } else {
                asio::co_spawn(io, serve(std::make_shared<tcp::socket>(std::move(socket))),
                               asio::detached);
            }
        }
    }

    asio::awaitable<void> serveTls(tcp::socket socket) {
        auto stream = std::make_shared<asio::ssl::stream<tcp::socket>>(std::move(socket), *tls);
        co_await stream->async_handshake(asio::ssl::stream_base::server, use_awaitable);
        const char* sni = SSL_get_servername(stream->native_handle(), TLSEXT_NAMETYPE_host_name);
        serverNames.push_back(sni ? sni : "");
        co_await serve(stream);
    }

    template <class Stream>
    asio::awaitable<void> serve(std::shared_ptr<Stream> stream) {
        std::string request;
        const auto headEnd = co_await asio::async_read_until(*stream, asio::dynamic_buffer(request),
                                                             "\r\n\r\n", use_awaitable);
        const auto lengthAt = request.find("Content-Length: ");
        if (lengthAt != std::string::npos && lengthAt < headEnd) {
            const std::size_t wanted = headEnd + std::stoul(request.substr(lengthAt + 16));
            if (request.size() < wanted) {
                co_await asio::async_read(*stream, asio::dynamic_buffer(request),
                                          asio::transfer_exactly(wanted - request.size()),
                                          use_awaitable);
            }
        }
        requests.push_back(request);
        const Reply reply = script(request);
        co_await asio::async_write(*stream, asio::buffer(reply.head), use_awaitable);
        const std::string chunk(1 << 20, 'x');
        for (std::size_t left = reply.fillBytes; left > 0;) {
            const std::size_t n = std::min(left, chunk.size());
            co_await asio::async_write(*stream, asio::buffer(chunk.data(), n), use_awaitable);
            left -= n;
        }
        if (reply.hold) {
            asio::steady_timer forever(io, std::chrono::hours(1));
            co_await forever.async_wait(use_awaitable);
        }
    }

    asio::io_context& io;
    tcp::acceptor acceptor;
    std::function<Reply(const std::string&)> script;
    std::unique_ptr<asio::ssl::context> tls;
};

Reply answer(int status, const std::string& body, const std::string& extraHeaders = "") {
    return Reply{"HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Length: " +
                 std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" + body};
}

HTTPRequest get(const std::string& url, double timeout = 5) {
    return HTTPRequest{.url = url,
                       .method = "GET",
                       .headers = {},
                       .body = std::nullopt,
                       .timeout = Seconds{timeout}};
}

template <class Failure>
Failure failureOf(asio::io_context& io, HTTPTransport& transport, HTTPRequest request) {
    try {
        await(io, transport.send(std::move(request)));
    } catch (const Failure& failure) {
        return failure;
    } catch (const std::exception& other) {
        throw std::logic_error(std::string("failed otherwise: ") + other.what());
    }
    throw std::logic_error("the exchange did not fail");
}

constexpr std::size_t cap = HTTPTransport::maximumBody;

class BeastTransportTests : public ::testing::Test {
protected:
    asio::io_context io;
    BeastTransport transport;
};

TEST_F(BeastTransportTests, EveryStatusIsAnAnswer) {
    ScriptedServer server(
        io, [](const std::string&) { return answer(404, R"({"error":"No live gig"})"); });
    const auto response = await(io, transport.send(get(server.url("/api/bridge/gig?a=1"))));
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.body, R"({"error":"No live gig"})");
}

TEST_F(BeastTransportTests, SendsExactlyTheRequest) {
    ScriptedServer server(io, [](const std::string&) { return answer(200, "ok"); });
    HTTPRequest request{
        .url = server.url("/api/bridge/gigs/5/plays/a%2Fb?x=1%202"),
        .method = "PATCH",
        .headers = {{"Authorization", "Bearer K"}, {"Content-Type", "application/json"}},
        .body = R"({"hidden":true})",
        .timeout = Seconds{5}};
    EXPECT_EQ(await(io, transport.send(request)).body, "ok");
    ASSERT_EQ(server.requests.size(), 1u);
    EXPECT_EQ(server.requests[0], "PATCH /api/bridge/gigs/5/plays/a%2Fb?x=1%202 HTTP/1.1\r\n"
                                  "Host: 127.0.0.1:" +
                                      std::to_string(server.port()) +
                                      "\r\n"
                                      "Authorization: Bearer K\r\n"
                                      "Content-Type: application/json\r\n"
                                      "Content-Length: 15\r\n\r\n"
                                      R"({"hidden":true})");
}

TEST_F(BeastTransportTests, KeepsNoCookies) {
    ScriptedServer server(io, [](const std::string&) {
        return answer(200, "", "Set-Cookie: session=abc; Path=/\r\n");
    });
    await(io, transport.send(get(server.url())));
    await(io, transport.send(get(server.url())));
    ASSERT_EQ(server.requests.size(), 2u);
    EXPECT_EQ(server.requests[1].find("Cookie"), std::string::npos) << server.requests[1];
}

TEST_F(BeastTransportTests, ASilentServerTimesOutOnTime) {
    ScriptedServer server(io, [](const std::string&) { return Reply{.hold = true}; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<HTTPError>(io, transport, get(server.url(), 0.3)), HTTPError::timedOut);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2000));
}

TEST_F(BeastTransportTests, ADeclaredLengthOverTheCapFailsAtOnce) {
    ScriptedServer server(io, [](const std::string&) {
        return Reply{.head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(cap + 1) +
                             "\r\n\r\n",
                     .hold = true};
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<HTTPError>(io, transport, get(server.url(), 5)),
              HTTPError::dataLengthExceedsMaximum);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(BeastTransportTests, TheCapItselfIsAccepted) {
    ScriptedServer server(io, [](const std::string&) {
        return Reply{.head =
                         "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(cap) + "\r\n\r\n",
                     .fillBytes = cap};
    });
    EXPECT_EQ(await(io, transport.send(get(server.url(), 20))).body.size(), cap);
}

TEST_F(BeastTransportTests, AnUndeclaredBodyIsCutOffPastTheCap) {
    std::size_t size = cap;
    ScriptedServer server(io, [&](const std::string&) {
        return Reply{.head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n",
                     .fillBytes = size,
                     .hold = size > cap};
    });
    EXPECT_EQ(await(io, transport.send(get(server.url(), 20))).body.size(), cap);
    size = cap + 1;
    EXPECT_EQ(failureOf<HTTPError>(io, transport, get(server.url(), 20)),
              HTTPError::dataLengthExceedsMaximum);
}

TEST_F(BeastTransportTests, AnAnswerThatIsNotHttpIsABadServerResponse) {
    ScriptedServer server(io, [](const std::string&) {
        return Reply{.head = "SSH-2.0-OpenSSH_9.2\r\n\r\n", .hold = true};
    });
    EXPECT_EQ(failureOf<HTTPError>(io, transport, get(server.url())), HTTPError::badServerResponse);
}

TEST_F(BeastTransportTests, NetworkFailuresPassOnAsTheyAre) {
    unsigned short closedPort = 0;
    {
        tcp::acceptor probe(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
        closedPort = probe.local_endpoint().port();
    }
    const auto refused = failureOf<boost::system::system_error>(
        io, transport, get("http://127.0.0.1:" + std::to_string(closedPort) + "/"));
    EXPECT_EQ(refused.code(), asio::error::connection_refused);
    EXPECT_EQ(failureOf<HTTPError>(io, transport, get("ftp://127.0.0.1/")), HTTPError::badURL);
}

TEST_F(BeastTransportTests, HttpsWithATrustedCertificateForTheHost) {
    const auto certificate = makeCertificate("DNS:localhost,IP:127.0.0.1");
    ScriptedServer server(
        io, [](const std::string&) { return answer(200, "secure"); }, certificate);
    BeastTransport trusting(certificate.certificatePem);
    EXPECT_EQ(await(io, trusting.send(get(server.url()))).body, "secure");
    const auto byName = "https://localhost:" + std::to_string(server.port()) + "/";
    EXPECT_EQ(await(io, trusting.send(get(byName))).body, "secure");
    EXPECT_EQ(server.serverNames.back(), "localhost") << "the host is named for SNI";
}

TEST_F(BeastTransportTests, HttpsFailsForAnotherHostOrAnUntrustedCertificate) {
    const auto forOtherHost = makeCertificate("DNS:setmara.test");
    ScriptedServer other(
        io, [](const std::string&) { return answer(200, "x"); }, forOtherHost);
    BeastTransport trusting(forOtherHost.certificatePem);
    EXPECT_THROW(await(io, trusting.send(get(other.url()))), boost::system::system_error);
    EXPECT_TRUE(other.requests.empty());

    const auto selfMade = makeCertificate("IP:127.0.0.1");
    ScriptedServer untrusted(
        io, [](const std::string&) { return answer(200, "x"); }, selfMade);
    EXPECT_THROW(await(io, transport.send(get(untrusted.url()))), boost::system::system_error);
    EXPECT_TRUE(untrusted.requests.empty());
}

// Writes `certificate` into `folder` under its subject hash, as OpenSSL's rehash names it.
void addHashed(const testing::TempFolder& folder, const Certificate& certificate) {
    BIO* bio = BIO_new_mem_buf(certificate.certificatePem.data(),
                               static_cast<int>(certificate.certificatePem.size()));
    X509* parsed = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    std::array<char, 16> name{};
    std::snprintf(name.data(), name.size(), "%08lx.0", X509_subject_name_hash(parsed));
    X509_free(parsed);
    BIO_free(bio);
    std::ofstream(folder / name.data()) << certificate.certificatePem;
}

TEST_F(BeastTransportTests, HttpsTrustsTheCertificatesOfAHashedFolder) {
    const auto certificate = makeCertificate("IP:127.0.0.1");
    ScriptedServer server(
        io, [](const std::string&) { return answer(200, "secure"); }, certificate);
    const auto sendTrusting = [&](const testing::TempFolder& folder) {
        BeastTransport trusting(BeastTransport::TrustedFolder{folder.path().string()});
        return await(io, trusting.send(get(server.url()))).body;
    };
    const testing::TempFolder empty;
    EXPECT_THROW(sendTrusting(empty), boost::system::system_error);
    // Same subject, so the same file name, but another key.
    const testing::TempFolder other;
    addHashed(other, makeCertificate("IP:127.0.0.1"));
    EXPECT_THROW(sendTrusting(other), boost::system::system_error);

    const testing::TempFolder holding;
    addHashed(holding, certificate);
    EXPECT_EQ(sendTrusting(holding), "secure");
    EXPECT_EQ(server.requests.size(), 1u);
}

// Host names resolved by the test: every name is 127.0.0.1 after `delay`, or never. Like the
// system's lookup, it takes no notice of cancellation.
class ScriptedNames : public NameResolving {
public:
    std::optional<std::chrono::milliseconds> delay; // absent: the lookup never answers
    std::vector<std::string> asked;

    asio::awaitable<std::vector<Address>> resolve(std::string host, std::string port) override {
        asked.push_back(host);
        asio::steady_timer timer(co_await asio::this_coro::executor,
                                 delay ? asio::steady_timer::clock_type::now() + *delay
                                       : asio::steady_timer::time_point::max());
        co_await timer.async_wait(
            asio::as_tuple(asio::bind_cancellation_slot(asio::cancellation_slot(), use_awaitable)));
        co_return std::vector<Address>{{"127.0.0.1", static_cast<std::uint16_t>(std::stoul(port))}};
    }
};

class NameLookupTests : public ::testing::Test {
protected:
    asio::io_context io;
    std::shared_ptr<ScriptedNames> names = std::make_shared<ScriptedNames>();
    BeastTransport transport{names};
    ScriptedServer server{io, [](const std::string&) { return answer(200, "here"); }};

    std::string byName() const {
        return "http://bridge.test:" + std::to_string(server.port()) + "/";
    }

    // Runs the exchange for at most `limit` of real time, so that a transport that misses its
    // own deadline fails the test instead of hanging it. The failure of the exchange, if any.
    std::exception_ptr sendWithin(HTTPRequest request, std::chrono::milliseconds limit) {
        auto sent = asio::co_spawn(io, transport.send(std::move(request)), asio::use_future);
        const auto until = std::chrono::steady_clock::now() + limit;
        while (sent.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
               std::chrono::steady_clock::now() < until) {
            io.run_one_for(std::chrono::milliseconds(10));
        }
        if (sent.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            ADD_FAILURE() << "the exchange outlived its deadline";
            return nullptr;
        }
        try {
            sent.get();
        } catch (...) {
            return std::current_exception();
        }
        return nullptr;
    }

    static bool isTimedOut(std::exception_ptr failure) {
        try {
            if (failure) {
                std::rethrow_exception(failure);
            }
        } catch (const HTTPError& error) {
            return error == HTTPError::timedOut;
        } catch (...) {
        }
        return false;
    }
};

TEST_F(NameLookupTests, HostNamesAreLookedUpThroughTheResolver) {
    names->delay = std::chrono::milliseconds(0);
    const auto response = await(io, transport.send(get(byName())));
    EXPECT_EQ(response.body, "here");
    EXPECT_EQ(names->asked, std::vector<std::string>{"bridge.test"});
    ASSERT_EQ(server.requests.size(), 1u);
    EXPECT_NE(server.requests[0].find("Host: bridge.test:"), std::string::npos);
}

TEST_F(NameLookupTests, ALookupThatNeverAnswersTimesOutOnTime) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(isTimedOut(sendWithin(get(byName(), 0.3), std::chrono::seconds(3))));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
}

TEST_F(NameLookupTests, ALateAnswerOfTheLookupGoesUnheard) {
    names->delay = std::chrono::milliseconds(400);
    EXPECT_TRUE(isTimedOut(sendWithin(get(byName(), 0.1), std::chrono::seconds(3))));
    // The lookup answers now, long after the deadline: nothing is sent.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    while (std::chrono::steady_clock::now() < until) {
        io.run_one_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(server.requests.empty());
    names->delay = std::chrono::milliseconds(0);
    EXPECT_EQ(await(io, transport.send(get(byName()))).body, "here") << "the next one goes";
}

} // namespace
} // namespace bridge
