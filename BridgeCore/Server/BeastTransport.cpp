#include "Server/BeastTransport.hpp"

#include "Support/URLText.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <boost/url/parse.hpp>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <variant>

namespace bridge {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::use_awaitable;

const char* HTTPError::what() const noexcept {
    switch (kind) {
    case Kind::timedOut:
        return "the request timed out";
    case Kind::badServerResponse:
        return "the answer is not HTTP";
    case Kind::dataLengthExceedsMaximum:
        return "the answer is too large";
    case Kind::badURL:
        return "the address is not an http or https URL";
    }
    return "HTTP failure";
}

struct BeastTransport::Tls {
    asio::ssl::context context{asio::ssl::context::tls_client};
};

BeastTransport::BeastTransport() {
    // One context for every transport, made once: loading the trust store is not free.
    static const auto shared = [] {
        auto made = std::make_shared<Tls>();
        made->context.set_default_verify_paths();
        made->context.set_verify_mode(asio::ssl::verify_peer);
        return made;
    }();
    tls = shared;
}

BeastTransport::BeastTransport(const std::string& trustedCertificatesPem)
    : tls(std::make_shared<Tls>()) {
    tls->context.add_certificate_authority(asio::buffer(trustedCertificatesPem));
    tls->context.set_verify_mode(asio::ssl::verify_peer);
}

namespace {

// Slack for the stream's own timeout, a backstop behind the deadline's cancellation.
constexpr std::chrono::seconds backstop{2};

struct Target {
    bool secure = false;
    std::string host;        // as resolved: no brackets around IPv6 addresses
    std::string hostAndPort; // as written in the Host field
    std::string port;
    std::string pathAndQuery; // the request target
};

std::optional<Target> targetOf(const std::string& url) {
    const auto parsed = parseURL(url, boost::urls::parse_absolute_uri);
    if (!parsed || parsed->encoded_host().empty()) {
        return std::nullopt;
    }
    Target target;
    if (parsed->scheme_id() == boost::urls::scheme::https) {
        target.secure = true;
    } else if (parsed->scheme_id() != boost::urls::scheme::http) {
        return std::nullopt;
    }
    target.host = parsed->host_address();
    target.hostAndPort = parsed->encoded_host_and_port();
    target.port = parsed->has_port() ? std::string(parsed->port()) : (target.secure ? "443" : "80");
    target.pathAndQuery =
        parsed->encoded_path().empty() ? "/" : std::string(parsed->encoded_path());
    if (parsed->has_query()) {
        target.pathAndQuery += "?" + std::string(parsed->encoded_query());
    }
    return target;
}

http::request<http::string_body> messageOf(const HTTPRequest& request, const Target& target) {
    http::request<http::string_body> message;
    message.method_string(request.method);
    message.target(target.pathAndQuery);
    message.version(11);
    message.set(http::field::host, target.hostAndPort);
    for (const auto& [name, value] : request.headers) {
        message.insert(name, value);
    }
    if (request.body) {
        message.body() = *request.body;
        message.prepare_payload();
    }
    return message;
}

template <class Stream>
asio::awaitable<HTTPResponse> talk(Stream& stream, http::request<http::string_body>& message) {
    co_await http::async_write(stream, message, use_awaitable);
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.header_limit(64 * 1024);
    // Beast refuses a declared length above the limit before reading the body, and stops
    // a body without one as soon as it passes the limit.
    parser.body_limit(HTTPTransport::maximumBody);
    co_await http::async_read(stream, buffer, parser, use_awaitable);
    co_return HTTPResponse{static_cast<int>(parser.get().result_int()),
                           std::move(parser.get().body())};
}

// Names the server for SNI and has OpenSSL check that the certificate is for it.
void expectServer(SSL* ssl, const std::string& host) {
    boost::system::error_code notAnAddress;
    asio::ip::make_address(host, notAnAddress);
    if (notAnAddress) {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set1_host(ssl, host.c_str());
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    }
}

asio::awaitable<HTTPResponse> exchange(const HTTPRequest& request, const Target& target,
                                       asio::ssl::context& tls, std::chrono::milliseconds limit) {
    const auto executor = co_await asio::this_coro::executor;
    asio::ip::tcp::resolver resolver(executor);
    const auto endpoints = co_await resolver.async_resolve(target.host, target.port, use_awaitable);
    beast::tcp_stream tcp(executor);
    tcp.expires_after(limit + backstop);
    co_await tcp.async_connect(endpoints, use_awaitable);
    auto message = messageOf(request, target);
    if (!target.secure) {
        co_return co_await talk(tcp, message);
    }
    beast::ssl_stream<beast::tcp_stream> stream(std::move(tcp), tls);
    expectServer(stream.native_handle(), target.host);
    co_await stream.async_handshake(asio::ssl::stream_base::client, use_awaitable);
    co_return co_await talk(stream, message);
}

std::exception_ptr failureOf(const boost::system::system_error& error) {
    const auto code = error.code();
    if (code == http::error::body_limit) {
        return std::make_exception_ptr(HTTPError::dataLengthExceedsMaximum);
    }
    if (code == beast::error::timeout) {
        return std::make_exception_ptr(HTTPError::timedOut);
    }
    // A connection closed before a whole answer is a network failure; anything else the
    // HTTP parser refuses is no HTTP answer.
    if (code.category() == http::make_error_code(http::error::end_of_stream).category() &&
        code != http::error::end_of_stream && code != http::error::partial_message) {
        return std::make_exception_ptr(HTTPError::badServerResponse);
    }
    return std::make_exception_ptr(error);
}

// The exchange with its failure as a value, so that a failure ends the race with the timer.
using Fetched = std::variant<HTTPResponse, std::exception_ptr>;

asio::awaitable<Fetched> fetch(const HTTPRequest& request, const Target& target,
                               asio::ssl::context& tls, std::chrono::milliseconds limit) {
    std::exception_ptr failure;
    try {
        co_return co_await exchange(request, target, tls, limit);
    } catch (const boost::system::system_error& error) {
        failure = failureOf(error);
    } catch (...) {
        failure = std::current_exception();
    }
    co_return failure;
}

} // namespace

asio::awaitable<HTTPResponse> BeastTransport::send(HTTPRequest request) {
    const auto target = targetOf(request.url);
    if (!target) {
        throw HTTPError::badURL;
    }
    // Whole milliseconds; the fraction below is dropped.
    const auto limit =
        std::max(std::chrono::duration_cast<std::chrono::milliseconds>(request.timeout),
                 std::chrono::milliseconds{0});
    asio::steady_timer timer(co_await asio::this_coro::executor, limit);
    using namespace asio::experimental::awaitable_operators;
    auto outcome = co_await (fetch(request, *target, tls->context, limit) ||
                             timer.async_wait(asio::as_tuple(use_awaitable)));
    // The operators flatten the fetch's variant: the answer, its failure, or the timer.
    if (auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
        std::rethrow_exception(*failure);
    }
    if (auto* timer = std::get_if<std::tuple<boost::system::error_code>>(&outcome)) {
        if (const auto code = std::get<0>(*timer)) {
            throw boost::system::system_error(code); // the caller was cancelled
        }
        throw HTTPError::timedOut;
    }
    co_return std::move(std::get<HTTPResponse>(outcome));
}

} // namespace bridge
