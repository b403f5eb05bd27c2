#include "Server/BeastTransport.hpp"

#include "Support/Numbers.hpp"
#include "Support/Task.hpp"
#include "Support/Text.hpp"
#include "Support/URLText.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
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

#include <algorithm>
#include <bit>
#include <cerrno>
#include <mutex>
#include <sys/socket.h>
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

namespace {

// The system's lookup, getaddrinfo on Asio's resolver thread.
class SystemNames final : public NameResolving {
public:
    asio::awaitable<std::vector<Address>> resolve(std::string host, std::string port) override {
        asio::ip::tcp::resolver resolver(co_await asio::this_coro::executor);
        const auto found = co_await resolver.async_resolve(host, port, use_awaitable);
        std::vector<Address> addresses;
        for (const auto& entry : found) {
            addresses.push_back({entry.endpoint().address().to_string(), entry.endpoint().port()});
        }
        co_return addresses;
    }
};

std::shared_ptr<NameResolving> systemNames() {
    static const auto shared = std::make_shared<SystemNames>();
    return shared;
}

} // namespace

BeastTransport::BeastTransport() : names(systemNames()), pool(std::make_shared<Pool>()) {
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
    : tls(std::make_shared<Tls>()), names(systemNames()), pool(std::make_shared<Pool>()) {
    tls->context.add_certificate_authority(asio::buffer(trustedCertificatesPem));
    tls->context.set_verify_mode(asio::ssl::verify_peer);
}

BeastTransport::BeastTransport(std::shared_ptr<NameResolving> names) : BeastTransport() {
    this->names = std::move(names);
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

using Parser = http::response_parser<http::string_body>;

// Whether the part of an answer's head that Beast has not taken yet declares a length too
// long for 64 bits, which Beast refuses as malformed: it is a length over the cap like any.
bool declaresHugeLength(std::string_view head) {
    static constexpr std::string_view name = "\r\ncontent-length:";
    static constexpr std::string_view largest = "18446744073709551615";
    const auto lowered = "\r\n" + lowercased(head); // it may start at the field itself
    for (auto at = lowered.find(name); at != std::string::npos; at = lowered.find(name, at + 1)) {
        auto value = std::string_view(lowered).substr(at + name.size());
        value = value.substr(0, value.find('\r'));
        value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
        value = value.substr(0, value.find_last_not_of(" \t") + 1);
        const bool digits =
            !value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos;
        if (digits && (value.size() > largest.size() ||
                       (value.size() == largest.size() && value > largest))) {
            return true;
        }
    }
    return false;
}

// Room for an answer's head, and often its whole body, in one receive.
constexpr std::size_t headRoom = 4096;
// At most what one receive of Beast's takes.
constexpr std::size_t readSize = 64 * 1024;

// Whether anything of the answer has arrived: a connection that had been idle and failed
// before that was closed by the server in the meantime.
struct Heard {
    bool anything = false;
};

// Reads the answer. A body of declared length is read in receives as large as it is (up to
// what one receive takes); one of undeclared length grows by powers of two from its first
// read up to the cap, so that it never holds more memory than the cap itself (a string left
// to grow by doubling from its own first size would take almost twice that).
template <class Stream>
asio::awaitable<void> readAnswer(Stream& stream, beast::flat_buffer& buffer, Parser& parser,
                                 Heard& heard) {
    buffer.reserve(headRoom);
    const auto [error, ignored] =
        co_await http::async_read_header(stream, buffer, parser, asio::as_tuple(use_awaitable));
    heard.anything = parser.got_some() || buffer.size() > 0;
    if (error == http::error::bad_content_length &&
        declaresHugeLength({static_cast<const char*>(buffer.data().data()), buffer.size()})) {
        throw HTTPError::dataLengthExceedsMaximum;
    }
    if (error) {
        throw boost::system::system_error(error);
    }
    if (const auto declared = parser.content_length()) {
        buffer.reserve(buffer.size() + std::min<std::uint64_t>(*declared, readSize));
    }
    while (!parser.is_done()) {
        auto& body = parser.get().body();
        if (!parser.content_length() && body.capacity() < body.size() + readSize) {
            body.reserve(
                std::min(HTTPTransport::maximumBody, std::bit_ceil(body.size() + readSize)));
        }
        co_await http::async_read_some(stream, buffer, parser, use_awaitable);
    }
}

struct Answer {
    HTTPResponse response;
    bool reusable = false; // the connection may carry the next request
};

template <class Stream>
asio::awaitable<Answer> talk(Stream& stream, http::request<http::string_body>& message,
                             Heard& heard) {
    co_await http::async_write(stream, message, use_awaitable);
    beast::flat_buffer buffer;
    Parser parser;
    parser.header_limit(64 * 1024);
    // Beast refuses a declared length above the limit before reading the body, and stops
    // a body without one as soon as it passes the limit.
    parser.body_limit(HTTPTransport::maximumBody);
    co_await readAnswer(stream, buffer, parser, heard);
    // Bytes past the answer would belong to no request.
    const bool reusable = parser.keep_alive() && buffer.size() == 0;
    co_return Answer{
        HTTPResponse{static_cast<int>(parser.get().result_int()), std::move(parser.get().body())},
        reusable};
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

struct Lookup {
    std::vector<NameResolving::Address> addresses;
    std::exception_ptr failure;
};

asio::awaitable<void> resolveInto(std::shared_ptr<NameResolving> names, std::string host,
                                  std::string port, std::shared_ptr<Lookup> lookup) {
    lookup->addresses = co_await names->resolve(std::move(host), std::move(port));
}

// A numeric address and port, which need no lookup.
std::optional<asio::ip::tcp::endpoint> literalEndpoint(const Target& target) {
    boost::system::error_code notAnAddress;
    const auto address = asio::ip::make_address(target.host, notAnAddress);
    const auto port = parseNumber<std::uint16_t>(target.port);
    if (notAnAddress || !port) {
        return std::nullopt;
    }
    return asio::ip::tcp::endpoint(address, *port);
}

// The lookup runs as a task of its own; only the wait for it belongs to the exchange, so the
// deadline ends the wait even while the lookup hangs, and a late answer goes unheard.
asio::awaitable<std::vector<asio::ip::tcp::endpoint>> lookUp(std::shared_ptr<NameResolving> names,
                                                             const Target& target) {
    if (const auto literal = literalEndpoint(target)) {
        co_return std::vector{*literal};
    }
    auto lookup = std::make_shared<Lookup>();
    const Task task =
        Task::spawn(co_await asio::this_coro::executor,
                    resolveInto(std::move(names), target.host, target.port, lookup),
                    [lookup](std::exception_ptr failure) { lookup->failure = failure; });
    co_await task.finished();
    if (lookup->failure) {
        std::rethrow_exception(lookup->failure);
    }
    std::vector<asio::ip::tcp::endpoint> endpoints;
    for (const auto& address : lookup->addresses) {
        endpoints.emplace_back(asio::ip::make_address(address.ip), address.port);
    }
    co_return endpoints;
}

using PlainStream = beast::tcp_stream;
using SecureStream = beast::ssl_stream<beast::tcp_stream>;

// One open connection to an origin. Between exchanges it waits in the pool for the next
// request; a watch of its own closes it once it has been idle too long.
struct Connection {
    template <class Stream, class... Arguments>
    Connection(std::in_place_type_t<Stream> type, beast::tcp_stream opened, Arguments&... arguments)
        : stream(type, std::move(opened), arguments...), idleFor(tcp().get_executor()) {}

    beast::tcp_stream& tcp() {
        return std::visit([](auto& s) -> beast::tcp_stream& { return beast::get_lowest_layer(s); },
                          stream);
    }
    asio::ip::tcp::socket& socket() { return tcp().socket(); }

    // Whether the server has closed it, or said something unasked, while it was idle.
    bool closedByServer() {
        char byte = 0;
        const auto got =
            ::recv(socket().native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT | MSG_NOSIGNAL);
        return got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    }

    // Closes it now: its watch ends and lets it go.
    void retire() {
        idleFor.cancel();
        boost::system::error_code ignored;
        socket().close(ignored);
    }

    std::variant<PlainStream, SecureStream> stream;
    asio::steady_timer idleFor;
    std::optional<std::chrono::steady_clock::time_point> idleSince; // absent while in use
    bool watched = false;
};

// A connection kept longer than this is closed: the platforms' clients keep theirs about as
// long, and servers close theirs after a similar time.
constexpr std::chrono::seconds keptIdle{30};

asio::awaitable<std::shared_ptr<Connection>> connect(const Target& target, asio::ssl::context& tls,
                                                     const std::shared_ptr<NameResolving>& names,
                                                     std::chrono::milliseconds limit) {
    const auto executor = co_await asio::this_coro::executor;
    const auto endpoints = co_await lookUp(names, target);
    beast::tcp_stream tcp(executor);
    tcp.expires_after(limit + backstop);
    co_await tcp.async_connect(endpoints, use_awaitable);
    if (!target.secure) {
        co_return std::make_shared<Connection>(std::in_place_type<PlainStream>, std::move(tcp));
    }
    auto connection =
        std::make_shared<Connection>(std::in_place_type<SecureStream>, std::move(tcp), tls);
    auto& stream = std::get<SecureStream>(connection->stream);
    expectServer(stream.native_handle(), target.host);
    co_await stream.async_handshake(asio::ssl::stream_base::client, use_awaitable);
    co_return connection;
}

// Whether a failure on a connection that had been idle, before anything of the answer came,
// is the server having closed it: anything but the deadline or the caller's cancellation.
bool closedWhileIdle(const boost::system::error_code& code) {
    return code != asio::error::operation_aborted && code != beast::error::timeout;
}

// The idle connections of one transport. Lives on the bridge thread, like its connections;
// the lock only keeps the list whole should another thread send too. Each connection that
// was ever kept belongs to its watch, a task on its executor, so that it goes with the
// io_context even when the transport outlives it.
class ConnectionPool : public std::enable_shared_from_this<ConnectionPool> {
public:
    struct Idle {
        std::string origin;
        asio::any_io_executor executor;
        std::weak_ptr<Connection> connection;
    };

    ~ConnectionPool() {
        for (const auto& kept : idle) {
            if (auto connection = kept.connection.lock()) {
                asio::post(kept.executor, [connection] { connection->retire(); });
            }
        }
    }

    // The idle connection to `origin` used last, taken out of the pool; those the server
    // has closed meanwhile are dropped.
    std::shared_ptr<Connection> take(const std::string& origin,
                                     const asio::any_io_executor& executor) {
        const std::lock_guard lock(mutex);
        std::erase_if(idle, [](const Idle& kept) { return kept.connection.expired(); });
        for (;;) {
            const auto found = std::find_if(idle.rbegin(), idle.rend(), [&](const Idle& kept) {
                return kept.origin == origin && kept.executor == executor;
            });
            if (found == idle.rend()) {
                return nullptr;
            }
            auto connection = found->connection.lock();
            idle.erase(std::next(found).base());
            if (!connection->closedByServer()) {
                connection->idleSince.reset();
                return connection;
            }
            connection->retire();
        }
    }

    // Keeps a connection that finished an exchange cleanly for the next request.
    void keep(const std::string& origin, const asio::any_io_executor& executor,
              std::shared_ptr<Connection> connection) {
        connection->idleSince = std::chrono::steady_clock::now();
        {
            const std::lock_guard lock(mutex);
            idle.push_back({origin, executor, connection});
        }
        if (!connection->watched) {
            connection->watched = true;
            // A watch that ends for whatever reason needs nothing done.
            asio::co_spawn(executor, watch(std::move(connection), weak_from_this()),
                           [](const std::exception_ptr&) {});
        }
    }

private:
    // Wakes once the connection may have been idle long enough, and closes it if so; ends
    // when the connection is retired. Nothing is armed or cancelled per request.
    static asio::awaitable<void> watch(std::shared_ptr<Connection> connection,
                                       std::weak_ptr<ConnectionPool> weak) {
        for (;;) {
            const auto since = connection->idleSince.value_or(std::chrono::steady_clock::now());
            connection->idleFor.expires_at(since + keptIdle);
            const auto [cancelled] =
                co_await connection->idleFor.async_wait(asio::as_tuple(use_awaitable));
            if (cancelled) {
                co_return;
            }
            if (connection->idleSince &&
                std::chrono::steady_clock::now() - *connection->idleSince >= keptIdle) {
                break;
            }
        }
        if (const auto pool = weak.lock()) {
            const std::lock_guard lock(pool->mutex);
            std::erase_if(pool->idle,
                          [&](const Idle& kept) { return kept.connection.lock() == connection; });
        }
    }

    std::mutex mutex;
    std::vector<Idle> idle;
};

// Retires a connection whose exchange did not end cleanly, or that may not carry another.
class RetiredUnlessKept {
public:
    explicit RetiredUnlessKept(std::shared_ptr<Connection> connection)
        : connection(std::move(connection)) {}
    ~RetiredUnlessKept() {
        if (connection) {
            connection->retire();
        }
    }
    RetiredUnlessKept(const RetiredUnlessKept&) = delete;
    RetiredUnlessKept& operator=(const RetiredUnlessKept&) = delete;
    std::shared_ptr<Connection> kept() { return std::move(connection); }

private:
    std::shared_ptr<Connection> connection;
};

std::string originOf(const Target& target) {
    return (target.secure ? "https://" : "http://") + target.hostAndPort + "|" + target.port;
}

// One exchange on a connection; a clean end leaves the connection in the pool.
asio::awaitable<HTTPResponse> exchangeOn(std::shared_ptr<Connection> connection,
                                         http::request<http::string_body>& message,
                                         const std::string& origin, ConnectionPool& pool,
                                         std::chrono::milliseconds limit, Heard& heard) {
    RetiredUnlessKept keptBack(connection);
    connection->tcp().expires_never(); // the deadline's race ends a silent exchange
    auto answer = co_await std::visit([&](auto& stream) { return talk(stream, message, heard); },
                                      connection->stream);
    if (answer.reusable) {
        pool.keep(origin, co_await asio::this_coro::executor, keptBack.kept());
    }
    co_return std::move(answer.response);
}

asio::awaitable<HTTPResponse> exchange(const HTTPRequest& request, const Target& target,
                                       asio::ssl::context& tls,
                                       const std::shared_ptr<NameResolving>& names,
                                       ConnectionPool& pool, std::chrono::milliseconds limit) {
    auto message = messageOf(request, target);
    const auto origin = originOf(target);
    if (auto idle = pool.take(origin, co_await asio::this_coro::executor)) {
        Heard heard;
        try {
            co_return co_await exchangeOn(std::move(idle), message, origin, pool, limit, heard);
        } catch (const boost::system::system_error& error) {
            if (heard.anything || !closedWhileIdle(error.code())) {
                throw;
            }
            // The server closed it while it was idle: once more on a new connection.
        }
    }
    Heard heard;
    co_return co_await exchangeOn(co_await connect(target, tls, names, limit), message, origin,
                                  pool, limit, heard);
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
                               asio::ssl::context& tls, const std::shared_ptr<NameResolving>& names,
                               ConnectionPool& pool, std::chrono::milliseconds limit) {
    std::exception_ptr failure;
    try {
        co_return co_await exchange(request, target, tls, names, pool, limit);
    } catch (const boost::system::system_error& error) {
        failure = failureOf(error);
    } catch (...) {
        failure = std::current_exception();
    }
    co_return failure;
}

} // namespace

struct BeastTransport::Pool : ConnectionPool {};

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
    auto outcome = co_await (fetch(request, *target, tls->context, names, *pool, limit) ||
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
