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
#include <boost/asio/write.hpp>
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
#include <cstdlib>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sstream>
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

// Trusts the authorities of a hashed certificate folder (the system's when `folder` is null:
// SSL_CERT_DIR, else OpenSSL's own), each read only when a chain needs it. The system's
// bundle file, which default verify paths would parse whole, keeps about a megabyte of
// certificates in memory all evening; it is read only when SSL_CERT_FILE names it.
std::shared_ptr<BeastTransport::Tls> BeastTransport::trusting(const char* folder) {
    auto made = std::make_shared<Tls>();
    X509_STORE* store = SSL_CTX_get_cert_store(made->context.native_handle());
    X509_LOOKUP_add_dir(X509_STORE_add_lookup(store, X509_LOOKUP_hash_dir()), folder,
                        folder ? X509_FILETYPE_PEM : X509_FILETYPE_DEFAULT);
    if (!folder && std::getenv(X509_get_default_cert_file_env())) {
        X509_LOOKUP_load_file(X509_STORE_add_lookup(store, X509_LOOKUP_file()), nullptr,
                              X509_FILETYPE_DEFAULT);
    }
    made->context.set_verify_mode(asio::ssl::verify_peer);
    return made;
}

BeastTransport::BeastTransport() : names(systemNames()), pool(std::make_shared<Pool>()) {
    // One context for every transport, made once.
    static const auto shared = trusting(nullptr);
    tls = shared;
}

BeastTransport::BeastTransport(const TrustedFolder& folder)
    : tls(trusting(folder.path.c_str())), names(systemNames()), pool(std::make_shared<Pool>()) {}

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
using PlainStream = beast::tcp_stream;
using SecureStream = beast::ssl_stream<beast::tcp_stream>;

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

// Makes room for the next receive: as much as a declared body still needs (up to what one
// receive takes). A body of undeclared length grows by powers of two up to the cap, so that
// it never holds more memory than the cap itself (a string left to grow by doubling from its
// own first size would take almost twice that).
void makeRoom(beast::flat_buffer& buffer, Parser& parser) {
    if (!parser.is_header_done()) {
        buffer.reserve(buffer.size() + headRoom);
        return;
    }
    if (const auto left = parser.content_length_remaining()) {
        buffer.reserve(buffer.size() + std::clamp<std::uint64_t>(*left, 1, readSize));
        return;
    }
    auto& body = parser.get().body();
    if (body.capacity() < body.size() + readSize) {
        body.reserve(std::min(HTTPTransport::maximumBody, std::bit_ceil(body.size() + readSize)));
    }
    buffer.reserve(buffer.size() + readSize);
}

// Parses what has arrived; true once the answer is whole.
bool parse(beast::flat_buffer& buffer, Parser& parser) {
    while (buffer.size() > 0) {
        boost::system::error_code error;
        const auto used = parser.put(buffer.data(), error);
        buffer.consume(used);
        if (error == http::error::need_more || (!error && used == 0)) {
            return false;
        }
        if (error == http::error::bad_content_length &&
            declaresHugeLength({static_cast<const char*>(buffer.data().data()), buffer.size()})) {
            throw HTTPError::dataLengthExceedsMaximum;
        }
        if (error) {
            throw boost::system::system_error(error);
        }
        if (parser.is_done()) {
            return true;
        }
    }
    return false;
}

// Acknowledges what arrives at once. A server that writes an answer's head and body
// separately holds the body back until the head is acknowledged (Nagle), and Linux delays
// that acknowledgement by about 40 ms on a connection past its first exchanges. The kernel
// clears the flag again by itself, so it is set before every receive.
void acknowledgeAtOnce(asio::ip::tcp::socket& socket) {
    const int on = 1;
    ::setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// Reads the answer, parsing each receive as it comes, as Beast's own reading does but
// without a round through the io_context for bytes that are already here.
template <class Stream>
asio::awaitable<void> readAnswer(Stream& stream, beast::flat_buffer& buffer, Parser& parser,
                                 Heard& heard) {
    for (;;) {
        makeRoom(buffer, parser);
        acknowledgeAtOnce(beast::get_lowest_layer(stream).socket());
        const auto [error, received] = co_await stream.async_read_some(
            buffer.prepare(buffer.capacity() - buffer.size()), asio::as_tuple(use_awaitable));
        buffer.commit(received);
        heard.anything = heard.anything || received > 0;
        if (parse(buffer, parser)) {
            co_return;
        }
        if (error == asio::error::eof && parser.got_some()) {
            boost::system::error_code ended;
            parser.put_eof(ended); // a body that runs to the end of the connection
            if (ended) {
                throw boost::system::system_error(ended);
            }
            co_return;
        }
        if (error == asio::error::eof) {
            throw boost::system::system_error(http::error::end_of_stream);
        }
        if (error) {
            throw boost::system::system_error(error);
        }
    }
}

struct Answer {
    HTTPResponse response;
    bool reusable = false; // the connection may carry the next request
};

std::string bytesOf(const http::request<http::string_body>& message) {
    std::ostringstream bytes;
    bytes << message;
    return std::move(bytes).str();
}

// Writes the request. On a plain connection what the socket takes at once goes without a
// round through the io_context; the rest, and everything over TLS, is written as usual.
asio::awaitable<void> write(PlainStream& stream, const std::string& bytes) {
    boost::system::error_code error;
    const auto sent = stream.socket().write_some(asio::buffer(bytes), error);
    if (error && error != asio::error::would_block) {
        throw boost::system::system_error(error);
    }
    if (sent < bytes.size()) {
        co_await asio::async_write(stream, asio::buffer(bytes.data() + sent, bytes.size() - sent),
                                   use_awaitable);
    }
}

asio::awaitable<void> write(SecureStream& stream, const std::string& bytes) {
    co_await asio::async_write(stream, asio::buffer(bytes), use_awaitable);
}

template <class Stream>
asio::awaitable<Answer> talk(Stream& stream, const std::string& request, Heard& heard) {
    co_await write(stream, request);
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

// A connection kept longer than this is closed: the platforms' clients keep theirs about as
// long, and servers close theirs after a similar time.
constexpr std::chrono::seconds keptIdle{30};

// One open connection to an origin. Between exchanges it waits in the pool for the next
// request; a watch of its own closes it once it has been idle too long.
struct Connection : std::enable_shared_from_this<Connection> {
    template <class Stream, class... Arguments>
    Connection(std::in_place_type_t<Stream> type, beast::tcp_stream opened, Arguments&... arguments)
        : stream(type, std::move(opened), arguments...), wake(tcp().get_executor()) {}

    beast::tcp_stream& tcp() {
        return std::visit([](auto& s) -> beast::tcp_stream& { return beast::get_lowest_layer(s); },
                          stream);
    }
    asio::ip::tcp::socket& socket() { return tcp().socket(); }

    // Whether it has been idle long enough for the server to have closed it meanwhile; one
    // used a moment ago goes without asking.
    bool mayBeClosed() const {
        return idleSince &&
               std::chrono::steady_clock::now() - *idleSince >= std::chrono::seconds(1);
    }

    // Whether the server has closed it, or said something unasked, while it was idle.
    bool closedByServer() {
        char byte = 0;
        const auto got =
            ::recv(socket().native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT | MSG_NOSIGNAL);
        return got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    }

    // Closes it now: its watch ends and lets it go.
    void retire() {
        retired = true;
        wake.cancel();
        boost::system::error_code ignored;
        socket().close(ignored);
    }

    // Starts an exchange that must end by `deadline`. The watch's timer is moved only when it
    // would wake later than that, so back-to-back requests leave it alone.
    void beginExchange(std::chrono::steady_clock::time_point by) {
        idleSince.reset();
        deadline = by;
        deadlinePassed = false;
        if (wake.expiry() > by) {
            wake.expires_at(by); // the watch wakes, aborted, and waits again
        }
    }

    // Ends an exchange cleanly: the connection is idle from now. The watch would otherwise
    // wake at the finished exchange's deadline for nothing; it is moved once this turn is
    // over, so that a request sent right after leaves the timer alone.
    void endExchange() {
        deadline.reset();
        idleSince = std::chrono::steady_clock::now();
        asio::post(wake.get_executor(), [self = shared_from_this()] {
            if (self->idleSince && !self->retired && self->wake.expiry() < self->nextLook()) {
                self->wake.expires_at(self->nextLook());
            }
        });
    }

    // When the watch must look again: at the exchange's deadline, or when idle too long.
    std::chrono::steady_clock::time_point nextLook() const {
        if (deadline && !deadlinePassed) {
            return *deadline;
        }
        return idleSince.value_or(std::chrono::steady_clock::now()) + keptIdle;
    }

    std::variant<PlainStream, SecureStream> stream;
    asio::steady_timer wake;                                        // the watch's
    std::optional<std::chrono::steady_clock::time_point> idleSince; // absent while in use
    std::optional<std::chrono::steady_clock::time_point> deadline;  // of the exchange under way
    bool deadlinePassed = false;
    bool watched = false;
    bool retired = false;
};

asio::awaitable<std::shared_ptr<Connection>> connect(const Target& target, asio::ssl::context& tls,
                                                     const std::shared_ptr<NameResolving>& names,
                                                     std::chrono::milliseconds limit) {
    const auto executor = co_await asio::this_coro::executor;
    const auto endpoints = co_await lookUp(names, target);
    beast::tcp_stream tcp(executor);
    tcp.expires_after(limit + backstop);
    co_await tcp.async_connect(endpoints, use_awaitable);
    tcp.socket().non_blocking(true); // writes that would wait go on asynchronously
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
// the lock only keeps the list whole should another thread send too. Every connection
// belongs to its watch, a task on its executor, so that it goes with the io_context even
// when the transport outlives it.
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
            if (!connection->mayBeClosed() || !connection->closedByServer()) {
                return connection;
            }
            connection->retire();
        }
    }

    // Keeps a connection that finished an exchange cleanly for the next request.
    void keep(const std::string& origin, const asio::any_io_executor& executor,
              std::shared_ptr<Connection> connection) {
        connection->endExchange();
        const std::lock_guard lock(mutex);
        idle.push_back({origin, executor, std::move(connection)});
    }

    // Gives a connection its watch, once: the task that ends its exchanges at their deadlines
    // and closes it when it has been idle too long.
    void watch(const std::shared_ptr<Connection>& connection) {
        if (!connection->watched) {
            connection->watched = true;
            // A watch that ends for whatever reason needs nothing done.
            asio::co_spawn(connection->tcp().get_executor(), watching(connection, weak_from_this()),
                           [](const std::exception_ptr&) {});
        }
    }

private:
    // Wakes at the deadline of the exchange under way, or once the connection may have been
    // idle too long; ends when the connection is retired or dropped.
    static asio::awaitable<void> watching(std::shared_ptr<Connection> connection,
                                          std::weak_ptr<ConnectionPool> weak) {
        for (;;) {
            connection->wake.expires_at(connection->nextLook());
            co_await connection->wake.async_wait(asio::as_tuple(use_awaitable));
            if (connection->retired) {
                co_return;
            }
            const auto now = std::chrono::steady_clock::now();
            if (connection->deadline && !connection->deadlinePassed &&
                now >= *connection->deadline) {
                connection->deadlinePassed = true;
                boost::system::error_code ignored;
                connection->socket().cancel(ignored);
            } else if (connection->idleSince && now - *connection->idleSince >= keptIdle) {
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

using Clock = std::chrono::steady_clock;

// One exchange on a connection, ended at the deadline; a clean end leaves the connection in
// the pool.
asio::awaitable<HTTPResponse> exchangeOn(std::shared_ptr<Connection> connection,
                                         const std::string& request, const std::string& origin,
                                         ConnectionPool& pool, Clock::time_point deadline,
                                         Heard& heard) {
    RetiredUnlessKept keptBack(connection);
    connection->tcp().expires_never(); // the watch ends a silent exchange at its deadline
    connection->beginExchange(deadline);
    pool.watch(connection);
    std::optional<Answer> answer;
    std::exception_ptr failure;
    try {
        answer = co_await std::visit([&](auto& stream) { return talk(stream, request, heard); },
                                     connection->stream);
    } catch (const boost::system::system_error& error) {
        failure = connection->deadlinePassed ? std::make_exception_ptr(HTTPError::timedOut)
                                             : failureOf(error);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (answer->reusable) {
        pool.keep(origin, co_await asio::this_coro::executor, keptBack.kept());
    }
    co_return std::move(answer->response);
}

// A piece of work with its failure as a value, so that a failure ends the race with a timer.
template <class T>
asio::awaitable<std::variant<T, std::exception_ptr>> attempt(asio::awaitable<T> work) {
    std::exception_ptr failure;
    try {
        co_return co_await std::move(work);
    } catch (const boost::system::system_error& error) {
        failure = failureOf(error);
    } catch (...) {
        failure = std::current_exception();
    }
    co_return failure;
}

// A new connection, raced against the deadline: the lookup, connecting and the TLS handshake
// each may hang.
asio::awaitable<std::shared_ptr<Connection>>
connectBy(Clock::time_point deadline, const Target& target, asio::ssl::context& tls,
          const std::shared_ptr<NameResolving>& names, std::chrono::milliseconds limit) {
    asio::steady_timer timer(co_await asio::this_coro::executor, deadline);
    using namespace asio::experimental::awaitable_operators;
    auto outcome = co_await (attempt(connect(target, tls, names, limit)) ||
                             timer.async_wait(asio::as_tuple(use_awaitable)));
    // The operators flatten the attempt's variant: the connection, its failure, or the timer.
    if (auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
        std::rethrow_exception(*failure);
    }
    if (auto* timer = std::get_if<std::tuple<boost::system::error_code>>(&outcome)) {
        if (const auto code = std::get<0>(*timer)) {
            throw boost::system::system_error(code); // the caller was cancelled
        }
        throw HTTPError::timedOut;
    }
    co_return std::move(std::get<std::shared_ptr<Connection>>(outcome));
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
    const auto deadline = Clock::now() + limit;
    const auto bytes = bytesOf(messageOf(request, *target));
    const auto origin = originOf(*target);
    if (auto idle = pool->take(origin, co_await asio::this_coro::executor)) {
        Heard heard;
        try {
            co_return co_await exchangeOn(std::move(idle), bytes, origin, *pool, deadline, heard);
        } catch (const boost::system::system_error& error) {
            if (heard.anything || !closedWhileIdle(error.code())) {
                throw;
            }
            // The server closed it while it was idle: once more on a new connection.
        }
    }
    auto connection = co_await connectBy(deadline, *target, tls->context, names, limit);
    Heard heard;
    co_return co_await exchangeOn(std::move(connection), bytes, origin, *pool, deadline, heard);
}

} // namespace bridge
