#include "Server/KeptConnections.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>

namespace bridge::transport {

namespace asio = boost::asio;
namespace beast = boost::beast;

beast::tcp_stream& Connection::tcp() {
    return std::visit([](auto& s) -> beast::tcp_stream& { return beast::get_lowest_layer(s); },
                      stream);
}

bool Connection::mayBeClosed() const {
    return idleSince && Clock::now() - *idleSince >= std::chrono::seconds(1);
}

bool Connection::closedByServer() {
    char byte = 0;
    const auto got =
        ::recv(socket().native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT | MSG_NOSIGNAL);
    return got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
}

void Connection::retire() {
    retired = true;
    wake.cancel();
    boost::system::error_code ignored;
    socket().close(ignored);
}

void Connection::beginExchange(Clock::time_point by) {
    idleSince.reset();
    deadline = by;
    deadlinePassed = false;
    if (wake.expiry() > by) {
        wake.expires_at(by); // the watch wakes, aborted, and waits again
    }
}

void Connection::endExchange() {
    deadline.reset();
    idleSince = Clock::now();
    asio::post(wake.get_executor(), [self = shared_from_this()] {
        if (self->idleSince && !self->retired && self->wake.expiry() < self->nextLook()) {
            self->wake.expires_at(self->nextLook());
        }
    });
}

Clock::time_point Connection::nextLook() const {
    if (deadline && !deadlinePassed) {
        return *deadline;
    }
    return idleSince.value_or(Clock::now()) + keptIdle;
}

ConnectionPool::~ConnectionPool() {
    for (const auto& kept : idle) {
        if (auto connection = kept.connection.lock()) {
            asio::post(kept.executor, [connection] { connection->retire(); });
        }
    }
}

std::shared_ptr<Connection> ConnectionPool::take(const std::string& origin,
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

void ConnectionPool::keep(const std::string& origin, const asio::any_io_executor& executor,
                          std::shared_ptr<Connection> connection) {
    connection->endExchange();
    const std::lock_guard lock(mutex);
    idle.push_back({origin, executor, std::move(connection)});
}

void ConnectionPool::watch(const std::shared_ptr<Connection>& connection) {
    if (!connection->watched) {
        connection->watched = true;
        // A watch that ends for whatever reason needs nothing done.
        asio::co_spawn(connection->tcp().get_executor(), watching(connection, weak_from_this()),
                       [](const std::exception_ptr&) {});
    }
}

asio::awaitable<void> ConnectionPool::watching(std::shared_ptr<Connection> connection,
                                               std::weak_ptr<ConnectionPool> weak) {
    for (;;) {
        connection->wake.expires_at(connection->nextLook());
        co_await connection->wake.async_wait(asio::as_tuple(asio::use_awaitable));
        if (connection->retired) {
            co_return;
        }
        const auto now = Clock::now();
        if (connection->deadline && !connection->deadlinePassed && now >= *connection->deadline) {
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

} // namespace bridge::transport
