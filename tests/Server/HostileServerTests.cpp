// The transport against servers that mean harm, on 127.0.0.1: each exchange ends within its
// deadline with the failure the transport names, and the heap stays within the answer cap
// plus buffers whatever the server sends.
#include "Server/BeastTransport.hpp"
#include "Support/Await.hpp"
#include "Support/TestCertificate.hpp"

#include <boost/asio/detached.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/error.hpp>
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <chrono>
#include <functional>
#include <malloc.h>
#include <memory>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/allocator_interface.h>
#define BRIDGE_HEAP_FROM_SANITIZER 1
#endif
#endif

namespace bridge {
namespace {

namespace asio = boost::asio;
using asio::use_awaitable;
using asio::ip::tcp;
using namespace std::chrono_literals;

using Clock = std::chrono::steady_clock;

std::size_t heapInUse() {
#ifdef BRIDGE_HEAP_FROM_SANITIZER
    return __sanitizer_get_current_allocated_bytes();
#else
    const auto info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// What the server does with a connection once it has read the request's head.
using Behaviour = std::function<asio::awaitable<void>(asio::ip::tcp::socket&)>;

// A server on 127.0.0.1 that runs one behaviour on every connection, counting what it wrote.
class HostileServer {
public:
    HostileServer(asio::io_context& io, Behaviour behaviour)
        : acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)),
          behaviour(std::move(behaviour)) {
        asio::co_spawn(io, accept(), asio::detached);
    }

    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(acceptor.local_endpoint().port()) + "/";
    }

private:
    asio::awaitable<void> accept() {
        for (;;) {
            auto socket =
                std::make_shared<tcp::socket>(co_await acceptor.async_accept(use_awaitable));
            asio::co_spawn(acceptor.get_executor(), serve(socket), asio::detached);
        }
    }

    asio::awaitable<void> serve(std::shared_ptr<tcp::socket> socket) {
        std::string request;
        co_await asio::async_read_until(*socket, asio::dynamic_buffer(request), "\r\n\r\n",
                                        use_awaitable);
        co_await behaviour(*socket);
    }

    tcp::acceptor acceptor;
    Behaviour behaviour;
};

asio::awaitable<void> pause(std::chrono::milliseconds time) {
    asio::steady_timer timer(co_await asio::this_coro::executor, time);
    co_await timer.async_wait(use_awaitable);
}

asio::awaitable<void> send(tcp::socket& socket, std::string_view bytes) {
    co_await asio::async_write(socket, asio::buffer(bytes), use_awaitable);
}

// How one exchange ended: its failure, how long it took, and the most heap it held.
struct Outcome {
    std::exception_ptr failure;
    Clock::duration took{};
    std::size_t heapGrowth = 0;
};

class HostileServerTests : public ::testing::Test {
protected:
    asio::io_context io;
    BeastTransport transport;

    Outcome exchange(const std::string& url, double timeout, HTTPTransport& with) {
        // Shared with the watch, which may outlive the exchange by one wait.
        auto watch = std::make_shared<HeapWatch>();
        watch->before = heapInUse();
        asio::co_spawn(io, watchHeap(watch), asio::detached);
        Outcome outcome;
        const auto start = Clock::now();
        try {
            testing::await(io, with.send(HTTPRequest{.url = url, .timeout = Seconds{timeout}}));
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        outcome.took = Clock::now() - start;
        watch->running = false;
        outcome.heapGrowth = watch->peak;
        return outcome;
    }

    Outcome exchange(const std::string& url, double timeout) {
        return exchange(url, timeout, transport);
    }

private:
    struct HeapWatch {
        std::size_t before = 0;
        std::size_t peak = 0;
        bool running = true;
    };

    static asio::awaitable<void> watchHeap(std::shared_ptr<HeapWatch> watch) {
        while (watch->running) {
            const std::size_t now = heapInUse();
            watch->peak = std::max(watch->peak, now > watch->before ? now - watch->before : 0);
            co_await pause(2ms);
        }
    }
};

// The cap on the body, the buffer it last grew from, and the read buffers.
constexpr std::size_t heapBound =
    HTTPTransport::maximumBody + HTTPTransport::maximumBody / 2 + 2 * 1024 * 1024;

template <class Failure>
Failure failureAs(const Outcome& outcome) {
    if (!outcome.failure) {
        throw std::logic_error("the exchange did not fail");
    }
    try {
        std::rethrow_exception(outcome.failure);
    } catch (const Failure& failure) {
        return failure;
    } catch (const std::exception& other) {
        throw std::logic_error(std::string("failed otherwise: ") + other.what());
    }
}

TEST_F(HostileServerTests, OneBytePerSecondTimesOutAtTheDeadline) {
    HostileServer server(io, [](tcp::socket& socket) -> asio::awaitable<void> {
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
        for (std::size_t at = 0;; at = (at + 1) % head.size()) {
            co_await send(socket, head.substr(at, 1));
            co_await pause(1000ms);
        }
    });
    const auto outcome = exchange(server.url(), 1.2);
    EXPECT_EQ(failureAs<HTTPError>(outcome), HTTPError::timedOut);
    EXPECT_GE(outcome.took, 1200ms);
    EXPECT_LT(outcome.took, 1700ms);
}

TEST_F(HostileServerTests, HeadersThatNeverEndTimeOutAtTheDeadline) {
    HostileServer server(io, [](tcp::socket& socket) -> asio::awaitable<void> {
        co_await send(socket, "HTTP/1.1 200 OK\r\n");
        for (int n = 0;; ++n) {
            co_await send(socket, "X-Pad-" + std::to_string(n) + ": more\r\n");
            co_await pause(10ms);
        }
    });
    const auto outcome = exchange(server.url(), 0.8);
    EXPECT_EQ(failureAs<HTTPError>(outcome), HTTPError::timedOut);
    EXPECT_GE(outcome.took, 800ms);
    EXPECT_LT(outcome.took, 1300ms);
}

TEST_F(HostileServerTests, TenMegabytesOfHeadersAreNoHttpAnswer) {
    HostileServer server(io, [](tcp::socket& socket) -> asio::awaitable<void> {
        co_await send(socket, "HTTP/1.1 200 OK\r\n");
        const std::string line = "X-Pad: " + std::string(1000, 'x') + "\r\n";
        for (int n = 0; n < 10'000; ++n) {
            co_await send(socket, line);
        }
        co_await send(socket, "Content-Length: 0\r\n\r\n");
    });
    const auto outcome = exchange(server.url(), 10);
    EXPECT_EQ(failureAs<HTTPError>(outcome), HTTPError::badServerResponse);
    EXPECT_LT(outcome.took, 2s);
    EXPECT_LT(outcome.heapGrowth, heapBound);
}

TEST_F(HostileServerTests, ChunksWithoutEndStopAtTheCap) {
    HostileServer server(io, [](tcp::socket& socket) -> asio::awaitable<void> {
        co_await send(socket, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
        const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
        for (;;) {
            co_await send(socket, chunk);
        }
    });
    const auto outcome = exchange(server.url(), 20);
    EXPECT_EQ(failureAs<HTTPError>(outcome), HTTPError::dataLengthExceedsMaximum);
    EXPECT_LT(outcome.took, 10s);
    EXPECT_LT(outcome.heapGrowth, heapBound);
}

TEST_F(HostileServerTests, SlowChunksWithoutEndTimeOutAtTheDeadline) {
    HostileServer server(io, [](tcp::socket& socket) -> asio::awaitable<void> {
        co_await send(socket, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
        for (;;) {
            co_await send(socket, "4\r\nslow\r\n");
            co_await pause(20ms);
        }
    });
    const auto outcome = exchange(server.url(), 0.8);
    EXPECT_EQ(failureAs<HTTPError>(outcome), HTTPError::timedOut);
    EXPECT_GE(outcome.took, 800ms);
    EXPECT_LT(outcome.took, 1300ms);
}

TEST_F(HostileServerTests, HugeDeclaredLengthsFailAtOnce) {
    std::string length;
    HostileServer server(io, [&length](tcp::socket& socket) -> asio::awaitable<void> {
        co_await send(socket, "HTTP/1.1 200 OK\r\nX-A: b\r\ncontent-length:  " + length +
                                  " \r\nX-C: d\r\n\r\nxxxx");
        co_await pause(10s);
    });
    // 2^63, 2^64 - 1, 2^64, and more digits than any integer holds.
    for (const char* declared : {"9223372036854775808", "18446744073709551615",
                                 "18446744073709551616", "99999999999999999999999999"}) {
        length = declared;
        const auto outcome = exchange(server.url(), 5);
        EXPECT_EQ(failureAs<HTTPError>(outcome), HTTPError::dataLengthExceedsMaximum) << declared;
        EXPECT_LT(outcome.took, 1s) << declared;
        EXPECT_LT(outcome.heapGrowth, 1024u * 1024u) << declared;
    }
    // Lengths that are no numbers stay what they are: no HTTP answer.
    for (const char* declared : {"12abc", "-1", "4, 5", ""}) {
        length = declared;
        EXPECT_EQ(failureAs<HTTPError>(exchange(server.url(), 5)), HTTPError::badServerResponse)
            << declared;
    }
}

TEST_F(HostileServerTests, AConnectionClosedMidBodyIsANetworkFailure) {
    HostileServer server(io, [](tcp::socket& socket) -> asio::awaitable<void> {
        co_await send(socket,
                      "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(500, 'x'));
        socket.close();
    });
    const auto outcome = exchange(server.url(), 5);
    EXPECT_EQ(failureAs<boost::system::system_error>(outcome).code(),
              boost::beast::http::error::partial_message);
    EXPECT_LT(outcome.took, 1s);
}

// A TLS server that only shakes hands, with the given certificate.
class TlsServer {
public:
    TlsServer(asio::io_context& io, const testing::Certificate& certificate)
        : acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
        tls.use_certificate_chain(asio::buffer(certificate.certificatePem));
        tls.use_private_key(asio::buffer(certificate.keyPem), asio::ssl::context::pem);
        asio::co_spawn(io, accept(), asio::detached);
    }

    std::string url() const {
        return "https://127.0.0.1:" + std::to_string(acceptor.local_endpoint().port()) + "/";
    }

    int requests = 0;

private:
    asio::awaitable<void> accept() {
        for (;;) {
            auto stream = std::make_shared<asio::ssl::stream<tcp::socket>>(
                co_await acceptor.async_accept(use_awaitable), tls);
            asio::co_spawn(acceptor.get_executor(), serve(stream), asio::detached);
        }
    }

    asio::awaitable<void> serve(std::shared_ptr<asio::ssl::stream<tcp::socket>> stream) {
        co_await stream->async_handshake(asio::ssl::stream_base::server, use_awaitable);
        std::string request;
        co_await asio::async_read_until(*stream, asio::dynamic_buffer(request), "\r\n\r\n",
                                        use_awaitable);
        ++requests;
    }

    tcp::acceptor acceptor;
    asio::ssl::context tls{asio::ssl::context::tls_server};
};

bool isVerificationFailure(const boost::system::system_error& error) {
    return error.code().category() == asio::error::get_ssl_category() &&
           ERR_GET_REASON(static_cast<unsigned long>(error.code().value())) ==
               SSL_R_CERTIFICATE_VERIFY_FAILED;
}

TEST_F(HostileServerTests, AnExpiredCertificateFailsTheHandshake) {
    const auto expired = testing::makeCertificate("IP:127.0.0.1", -7200, -3600);
    TlsServer server(io, expired);
    BeastTransport trusting(expired.certificatePem);
    const auto outcome = exchange(server.url(), 5, trusting);
    EXPECT_TRUE(isVerificationFailure(failureAs<boost::system::system_error>(outcome)));
    EXPECT_LT(outcome.took, 1s);
    EXPECT_EQ(server.requests, 0);

    const auto valid = testing::makeCertificate("IP:127.0.0.1");
    TlsServer renewed(io, valid);
    BeastTransport trustingValid(valid.certificatePem);
    exchange(renewed.url(), 2, trustingValid); // it hangs up without an answer
    EXPECT_EQ(renewed.requests, 1) << "the same server with a valid certificate is talked to";
}

TEST_F(HostileServerTests, ASelfSignedCertificateFailsTheHandshake) {
    TlsServer server(io, testing::makeCertificate("IP:127.0.0.1"));
    const auto outcome = exchange(server.url(), 5);
    EXPECT_TRUE(isVerificationFailure(failureAs<boost::system::system_error>(outcome)));
    EXPECT_LT(outcome.took, 1s);
    EXPECT_EQ(server.requests, 0);
}

} // namespace
} // namespace bridge
