#include "Server/BeastTransport.hpp"

#include "Server/HttpExchange.hpp"
#include "Server/HttpTarget.hpp"
#include "Server/KeptConnections.hpp"
#include "Support/Numbers.hpp"
#include "Support/Task.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core/error.hpp>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdlib>
#include <variant>

namespace bridge {

namespace asio = boost::asio;
namespace beast = boost::beast;
using asio::use_awaitable;
using namespace transport;

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
    const auto bytes = requestBytes(request, *target);
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
