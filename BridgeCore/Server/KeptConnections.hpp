#pragma once

#include "Server/HttpExchange.hpp"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace bridge::transport {

using Clock = std::chrono::steady_clock;

// A connection kept longer than this is closed: the platforms' clients keep theirs about as
// long, and servers close theirs after a similar time.
constexpr std::chrono::seconds keptIdle{30};

// One open connection to an origin. Between exchanges it waits in the pool for the next
// request; a watch of its own closes it once it has been idle too long.
struct Connection : std::enable_shared_from_this<Connection> {
    template <class Stream, class... Arguments>
    Connection(std::in_place_type_t<Stream> type, boost::beast::tcp_stream opened,
               Arguments&... arguments)
        : stream(type, std::move(opened), arguments...), wake(tcp().get_executor()) {}

    boost::beast::tcp_stream& tcp();
    boost::asio::ip::tcp::socket& socket() { return tcp().socket(); }

    // Whether it has been idle long enough for the server to have closed it meanwhile; one
    // used a moment ago goes without asking.
    bool mayBeClosed() const;
    // Whether the server has closed it, or said something unasked, while it was idle.
    bool closedByServer();
    // Closes it now: its watch ends and lets it go.
    void retire();
    // Starts an exchange that must end by `deadline`. The watch's timer is moved only when it
    // would wake later than that, so back-to-back requests leave it alone.
    void beginExchange(Clock::time_point by);
    // Ends an exchange cleanly: the connection is idle from now. The watch would otherwise
    // wake at the finished exchange's deadline for nothing; it is moved once this turn is
    // over, so that a request sent right after leaves the timer alone.
    void endExchange();
    // When the watch must look again: at the exchange's deadline, or when idle too long.
    Clock::time_point nextLook() const;

    std::variant<PlainStream, SecureStream> stream;
    boost::asio::steady_timer wake;             // the watch's
    std::optional<Clock::time_point> idleSince; // absent while in use
    std::optional<Clock::time_point> deadline;  // of the exchange under way
    bool deadlinePassed = false;
    bool watched = false;
    bool retired = false;
};

// The idle connections of one transport. Lives on the bridge thread, like its connections;
// the lock only keeps the list whole should another thread send too. Every connection
// belongs to its watch, a task on its executor, so that it goes with the io_context even
// when the transport outlives it.
class ConnectionPool : public std::enable_shared_from_this<ConnectionPool> {
public:
    ~ConnectionPool();

    // The idle connection to `origin` used last, taken out of the pool; those the server
    // has closed meanwhile are dropped.
    std::shared_ptr<Connection> take(const std::string& origin,
                                     const boost::asio::any_io_executor& executor);
    // Keeps a connection that finished an exchange cleanly for the next request.
    void keep(const std::string& origin, const boost::asio::any_io_executor& executor,
              std::shared_ptr<Connection> connection);
    // Gives a connection its watch, once: the task that ends its exchanges at their deadlines
    // and closes it when it has been idle too long.
    void watch(const std::shared_ptr<Connection>& connection);

private:
    struct Idle {
        std::string origin;
        boost::asio::any_io_executor executor;
        std::weak_ptr<Connection> connection;
    };

    // Wakes at the deadline of the exchange under way, or once the connection may have been
    // idle too long; ends when the connection is retired or dropped.
    static boost::asio::awaitable<void> watching(std::shared_ptr<Connection> connection,
                                                 std::weak_ptr<ConnectionPool> weak);

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

} // namespace bridge::transport
