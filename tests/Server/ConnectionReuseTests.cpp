// Kept connections: the transport against a keep-alive server on 127.0.0.1 that counts the
// connections it accepts and answers each request by script.
#include "Server/BeastTransport.hpp"
#include "Support/Await.hpp"
#include "Support/TestCertificate.hpp"

#include <boost/asio/detached.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace bridge {
namespace {

namespace asio = boost::asio;
using asio::use_awaitable;
using asio::ip::tcp;
using namespace std::chrono_literals;
using testing::await;

// What the server does with the n-th request (counted from 1) it reads.
struct Turn {
    std::string bytes;  // written as they are
    bool close = false; // then the connection closes
    bool hold = false;  // then the connection stays open without a word
    // Written in two writes, head and body apart, as many small servers do; Nagle's
    // algorithm, on by default, then holds the body until the head is acknowledged.
    bool split = false;
};

Turn answer(const std::string& body, const std::string& extraHeaders = "") {
    return {.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                     extraHeaders + "\r\n" + body};
}

class KeepAliveServer {
public:
    using Script = std::function<Turn(int request)>;

    KeepAliveServer(asio::io_context& io, Script script,
                    std::optional<testing::Certificate> certificate = std::nullopt)
        : io(io), acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)),
          script(std::move(script)) {
        if (certificate) {
            tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
            tls->use_certificate_chain(asio::buffer(certificate->certificatePem));
            tls->use_private_key(asio::buffer(certificate->keyPem), asio::ssl::context::pem);
        }
        asio::co_spawn(io, accept(), asio::detached);
    }

    std::string url() const {
        return std::string(tls ? "https" : "http") +
               "://127.0.0.1:" + std::to_string(acceptor.local_endpoint().port()) + "/";
    }

    int connections = 0;
    int requests = 0;

private:
    asio::awaitable<void> accept() {
        for (;;) {
            auto socket = co_await acceptor.async_accept(use_awaitable);
            ++connections;
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
        co_await serve(stream);
    }

    // Requests without a body, one after the other, until a turn closes or holds.
    template <class Stream>
    asio::awaitable<void> serve(std::shared_ptr<Stream> stream) {
        std::string received;
        for (;;) {
            const auto head = co_await asio::async_read_until(
                *stream, asio::dynamic_buffer(received), "\r\n\r\n", use_awaitable);
            received.erase(0, head);
            const Turn turn = script(++requests);
            const auto headEnd = turn.split ? turn.bytes.find("\r\n\r\n") + 4 : turn.bytes.size();
            co_await asio::async_write(*stream, asio::buffer(turn.bytes.data(), headEnd),
                                       use_awaitable);
            if (headEnd < turn.bytes.size()) {
                co_await asio::async_write(*stream, asio::buffer(turn.bytes.substr(headEnd)),
                                           use_awaitable);
            }
            if (turn.hold) {
                asio::steady_timer forever(io, std::chrono::hours(1));
                co_await forever.async_wait(use_awaitable);
            }
            if (turn.close) {
                co_return;
            }
        }
    }

    asio::io_context& io;
    tcp::acceptor acceptor;
    Script script;
    std::unique_ptr<asio::ssl::context> tls;
};

HTTPRequest get(const std::string& url, double timeout = 5) {
    return HTTPRequest{.url = url, .timeout = Seconds{timeout}};
}

class ConnectionReuseTests : public ::testing::Test {
protected:
    std::string send(HTTPRequest request) {
        return await(io, transport.send(std::move(request))).body;
    }

    // Lets the io_context run a while, so that the transport sees what the server did.
    void runFor(std::chrono::milliseconds time) {
        io.run_for(time);
        io.restart();
    }

    asio::io_context io;
    BeastTransport transport;
};

TEST_F(ConnectionReuseTests, OneConnectionCarriesEveryRequestToAnOrigin) {
    KeepAliveServer server(io, [](int n) { return answer("answer " + std::to_string(n)); });
    KeepAliveServer other(io, [](int) { return answer("other"); });
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(send(get(server.url())), "answer " + std::to_string(n));
        EXPECT_EQ(send(get(other.url())), "other");
    }
    EXPECT_EQ(server.connections, 1);
    EXPECT_EQ(other.connections, 1);
    EXPECT_EQ(server.requests, 5);
}

TEST_F(ConnectionReuseTests, HttpsConnectionsAreKeptToo) {
    const auto certificate = testing::makeCertificate("IP:127.0.0.1");
    KeepAliveServer server(
        io, [](int) { return answer("secure"); }, certificate);
    BeastTransport trusting(certificate.certificatePem);
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(await(io, trusting.send(get(server.url()))).body, "secure");
    }
    EXPECT_EQ(server.connections, 1);
}

TEST_F(ConnectionReuseTests, AConnectionTheServerClosedIsNotUsedAgain) {
    KeepAliveServer server(io,
                           [](int) { return Turn{.bytes = answer("bye").bytes, .close = true}; });
    EXPECT_EQ(send(get(server.url())), "bye");
    runFor(100ms);
    EXPECT_EQ(send(get(server.url())), "bye");
    EXPECT_EQ(server.connections, 2);
    EXPECT_EQ(server.requests, 2) << "no request went to the closed connection";
}

TEST_F(ConnectionReuseTests, AnIdleConnectionClosedAsTheRequestArrivesIsRetriedOnce) {
    // The second request finds the connection closed without an answer, as when a server
    // ends an idle connection just as the request goes out.
    KeepAliveServer server(io, [](int n) {
        return n == 2 ? Turn{.close = true} : answer("answer " + std::to_string(n));
    });
    EXPECT_EQ(send(get(server.url())), "answer 1");
    EXPECT_EQ(send(get(server.url())), "answer 3");
    EXPECT_EQ(server.connections, 2);
}

TEST_F(ConnectionReuseTests, ANewConnectionThatFailsIsNotRetried) {
    KeepAliveServer server(io, [](int) { return Turn{.close = true}; });
    EXPECT_THROW(send(get(server.url())), boost::system::system_error);
    EXPECT_EQ(server.requests, 1);
}

TEST_F(ConnectionReuseTests, AReusedConnectionThatFailsAfterPartOfTheAnswerIsNotRetried) {
    KeepAliveServer server(io, [](int n) {
        return n == 1 ? answer("first")
                      : Turn{.bytes = "HTTP/1.1 200 OK\r\nContent-Le", .close = true};
    });
    EXPECT_EQ(send(get(server.url())), "first");
    EXPECT_THROW(send(get(server.url())), boost::system::system_error);
    EXPECT_EQ(server.requests, 2);
    EXPECT_EQ(server.connections, 1);
}

TEST_F(ConnectionReuseTests, ConnectionCloseIsHonoured) {
    // The server says it will close but leaves the connection open.
    KeepAliveServer server(io, [](int) { return answer("once", "Connection: close\r\n"); });
    EXPECT_EQ(send(get(server.url())), "once");
    EXPECT_EQ(send(get(server.url())), "once");
    EXPECT_EQ(server.connections, 2);
}

TEST_F(ConnectionReuseTests, AnAnswerInHttp10IsTheConnectionsLast) {
    KeepAliveServer server(
        io, [](int) { return Turn{.bytes = "HTTP/1.0 200 OK\r\n\r\nold", .close = true}; });
    EXPECT_EQ(send(get(server.url())), "old");
    EXPECT_EQ(send(get(server.url())), "old");
    EXPECT_EQ(server.connections, 2);
    EXPECT_EQ(server.requests, 2);
}

TEST_F(ConnectionReuseTests, AnExchangeThatWentWrongPartWayLeavesNoConnection) {
    // A body cut short by the deadline, then an answer over the cap: neither connection is
    // kept, so each next request opens a new one and gets a whole answer.
    KeepAliveServer server(io, [](int n) {
        switch (n) {
        case 1:
            return Turn{.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf",
                        .hold = true};
        case 3:
            return Turn{.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 16777217\r\n\r\n"};
        default:
            return answer("whole");
        }
    });
    try {
        send(get(server.url(), 0.3));
        ADD_FAILURE() << "the cut-off body was taken";
    } catch (const HTTPError& error) {
        EXPECT_EQ(error, HTTPError::timedOut);
    }
    EXPECT_EQ(send(get(server.url())), "whole");
    try {
        send(get(server.url()));
        ADD_FAILURE() << "the answer over the cap was taken";
    } catch (const HTTPError& error) {
        EXPECT_EQ(error, HTTPError::dataLengthExceedsMaximum);
    }
    EXPECT_EQ(send(get(server.url())), "whole");
    EXPECT_EQ(server.connections, 3);
    EXPECT_EQ(server.requests, 4);
}

TEST_F(ConnectionReuseTests, AKeptConnectionSleepsUntilItsIdleTimeIsUp) {
    KeepAliveServer server(io, [](int) { return answer("x"); });
    EXPECT_EQ(send(get(server.url(), 0.3)), "x");
    runFor(50ms);
    // The finished exchange's deadline passes without anything to do.
    EXPECT_EQ(io.run_for(600ms), 0u);
    io.restart();
    EXPECT_EQ(send(get(server.url(), 0.3)), "x");
    EXPECT_EQ(server.connections, 1);
}

// Without acknowledging at once, every request from about the second on waits some 40 ms
// for the delayed acknowledgement of the head before the body comes.
TEST_F(ConnectionReuseTests, AnswersInTwoWritesDoNotWaitForTheDelayedAcknowledgement) {
    const auto certificate = testing::makeCertificate("IP:127.0.0.1");
    KeepAliveServer plain(io, [](int n) {
        auto turn = answer("answer " + std::to_string(n));
        turn.split = true;
        return turn;
    });
    KeepAliveServer secure(
        io,
        [](int n) {
            auto turn = answer("secure " + std::to_string(n));
            turn.split = true;
            return turn;
        },
        certificate);
    BeastTransport trusting(certificate.certificatePem);
    // The first exchange on each opens its connection (and shakes hands); the rest reuse it.
    EXPECT_EQ(send(get(plain.url())), "answer 1");
    EXPECT_EQ(await(io, trusting.send(get(secure.url()))).body, "secure 1");
    constexpr int requests = 21;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 2; n <= requests; ++n) {
        EXPECT_EQ(send(get(plain.url())), "answer " + std::to_string(n));
        EXPECT_EQ(await(io, trusting.send(get(secure.url()))).body, "secure " + std::to_string(n));
    }
    // 40 stalls of 40 ms would take 1.6 s; a generous bound still tells them apart.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 600ms);
    EXPECT_EQ(plain.connections, 1);
    EXPECT_EQ(secure.connections, 1);
}

TEST_F(ConnectionReuseTests, TheDeadlineHoldsOnAReusedConnection) {
    KeepAliveServer server(io, [](int n) { return n == 1 ? answer("quick") : Turn{.hold = true}; });
    EXPECT_EQ(send(get(server.url())), "quick");
    const auto start = std::chrono::steady_clock::now();
    try {
        send(get(server.url(), 0.4));
        ADD_FAILURE() << "a silent server answered";
    } catch (const HTTPError& error) {
        EXPECT_EQ(error, HTTPError::timedOut);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 400ms);
    EXPECT_LT(elapsed, 1500ms);
    EXPECT_EQ(server.connections, 1) << "a deadline is no reason to try again";
    EXPECT_EQ(server.requests, 2);
}

} // namespace
} // namespace bridge
