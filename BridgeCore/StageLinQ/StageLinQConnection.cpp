#include "StageLinQ/StageLinQConnection.hpp"

#include "StageLinQ/StageLinQError.hpp"
#include "Support/Task.hpp"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/write.hpp>

#include <array>
#include <system_error>

namespace bridge::StageLinQConnection {

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using StageLinQ::Bytes;

constexpr auto keepAliveEvery = std::chrono::milliseconds{250};
constexpr auto tuple = asio::as_tuple(asio::use_awaitable);

// Both connections of a session, shared with the watchdog, the keep-alive and the listener
// on the main connection, any of which may end the session by closing them.
struct Connections {
    explicit Connections(const asio::any_io_executor& executor) : main(executor) {}

    void close() {
        closed = true;
        boost::system::error_code ignored;
        main.close(ignored);
        if (stateMap) {
            stateMap->close(ignored);
        }
    }

    tcp::socket main;
    std::optional<tcp::socket> stateMap;
    bool closed = false; // once set, no state-map connection is opened any more
    std::chrono::steady_clock::time_point heard; // the last bytes on the main connection
};

[[noreturn]] void fail(const boost::system::error_code& error) {
    // A connection closed under a pending step, by the peer or by the watchdog.
    if (error == asio::error::eof || error == asio::error::connection_reset ||
        error == asio::error::operation_aborted || error == asio::error::bad_descriptor) {
        throw StageLinQError::closed;
    }
    throw std::system_error(error);
}

asio::awaitable<void> open(tcp::socket& socket, const std::string& address, std::uint16_t port) {
    const tcp::endpoint endpoint{asio::ip::make_address_v4(address), port};
    const auto [error] = co_await socket.async_connect(endpoint, tuple);
    if (error) {
        fail(error);
    }
}

asio::awaitable<Bytes> read(tcp::socket& socket, std::size_t count) {
    Bytes bytes(count);
    if (count == 0) {
        co_return bytes;
    }
    const auto [error, got] = co_await asio::async_read(socket, asio::buffer(bytes), tuple);
    if (error || got < count) {
        fail(error ? error : asio::error::eof);
    }
    co_return bytes;
}

asio::awaitable<std::uint64_t> readUint(tcp::socket& socket, std::size_t count) {
    const auto bytes = co_await read(socket, count);
    co_return *StageLinQ::Reader{bytes}.uint(count);
}

asio::awaitable<void> send(tcp::socket& socket, const Bytes& message) {
    const auto [error, sent] = co_await asio::async_write(socket, asio::buffer(message), tuple);
    if (error) {
        fail(error);
    }
}

// The port of the "StateMap" service in the main connection's service list, which ends at
// the device's first reference or at any message the list does not hold.
asio::awaitable<std::optional<std::uint16_t>> stateMapPort(tcp::socket& main) {
    std::optional<std::uint16_t> port;
    while (true) {
        const auto id = co_await readUint(main, 4);
        if (id == 0) {
            auto bytes = co_await read(main, 16);
            const auto length = co_await read(main, 4);
            const auto nameLength = *StageLinQ::Reader{length}.uint(4);
            if (nameLength > StageLinQ::serviceNameMax) {
                throw StageLinQError::tooLong;
            }
            const auto name = co_await read(main, nameLength);
            const auto servicePort = co_await read(main, 2);
            bytes.insert(bytes.end(), length.begin(), length.end());
            bytes.insert(bytes.end(), name.begin(), name.end());
            bytes.insert(bytes.end(), servicePort.begin(), servicePort.end());
            if (const auto service = StageLinQ::service(bytes);
                service && service->first == "StateMap") {
                port = service->second;
            }
        } else if (id == 2) {
            co_await read(main, 16);
        } else if (id == 1) {
            co_await read(main, 40);
            co_return port;
        } else {
            co_return port;
        }
    }
}

// Sends the keep-alive, and ends the session when one cannot be sent or when the main
// connection has been silent for `silentWithin`: the one sign of a device that vanished
// without closing. Checking here, four times a second anyway, spares the listener a timer
// for every message it reads.
asio::awaitable<void> keepAlive(std::shared_ptr<Connections> connections, Bytes message,
                                std::chrono::milliseconds silentWithin) {
    asio::steady_timer timer{connections->main.get_executor()};
    while (true) {
        timer.expires_after(keepAliveEvery);
        co_await timer.async_wait(asio::use_awaitable);
        if (std::chrono::steady_clock::now() - connections->heard >= silentWithin) {
            connections->close();
            co_return;
        }
        const auto [error, sent] =
            co_await asio::async_write(connections->main, asio::buffer(message), tuple);
        if (error) {
            connections->close();
            co_return;
        }
    }
}

// Reads and drops what the device sends on the main connection (its references, mostly), so
// that nothing piles up unread, notes when it last heard something, and ends the session
// when that connection fails.
asio::awaitable<void> listen(std::shared_ptr<Connections> connections) {
    std::array<std::uint8_t, 1024> dropped{};
    while (true) {
        const auto [error, got] =
            co_await connections->main.async_read_some(asio::buffer(dropped), tuple);
        if (error) {
            connections->close();
            co_return;
        }
        connections->heard = std::chrono::steady_clock::now();
    }
}

asio::awaitable<void> watchdog(std::shared_ptr<Connections> connections,
                               std::chrono::milliseconds within) {
    asio::steady_timer timer{connections->main.get_executor(), within};
    co_await timer.async_wait(asio::use_awaitable);
    connections->close();
}

asio::awaitable<bool> isCancelled() {
    const auto state = co_await asio::this_coro::cancellation_state;
    co_return state.cancelled() != asio::cancellation_type::none;
}

// The helper tasks of a session, all ended with it.
struct Helpers {
    std::optional<Task> watchdog;
    std::optional<Task> keepAlive;
    std::optional<Task> listener;
};

asio::awaitable<void> session(const StageLinQ::Device& device, const Bytes& token, Limits limits,
                              const StageLinQNetwork::Value& value,
                              std::shared_ptr<Connections> connections, Helpers& helpers) {
    const auto executor = co_await asio::this_coro::executor;
    helpers.watchdog = Task::spawn(executor, watchdog(connections, limits.answerWithin));

    co_await open(connections->main, device.address, device.port);
    co_await send(connections->main, StageLinQ::servicesRequest(token));
    const auto port = co_await stateMapPort(connections->main);
    if (!port) {
        throw StageLinQError::noStateMap;
    }
    connections->heard = std::chrono::steady_clock::now();
    helpers.keepAlive =
        Task::spawn(executor, keepAlive(connections, StageLinQ::reference(token, device.token),
                                        limits.silentWithin));
    helpers.listener = Task::spawn(executor, listen(connections));

    auto& stateMap = connections->stateMap.emplace(executor);
    if (connections->closed) {
        throw StageLinQError::closed;
    }
    co_await open(stateMap, device.address, *port);
    helpers.watchdog->cancel();

    boost::system::error_code ignored;
    const auto local = stateMap.local_endpoint(ignored);
    co_await send(stateMap, StageLinQ::stateMapAnnouncement(token, ignored ? 0 : local.port()));
    for (const auto& path : StageLinQ::paths()) {
        co_await send(stateMap, StageLinQ::subscription(path));
    }
    while (!co_await isCancelled()) {
        const auto length = co_await readUint(stateMap, 4);
        if (length > StageLinQ::messageMax) {
            throw StageLinQError::tooLong;
        }
        if (auto received = StageLinQ::value(co_await read(stateMap, length))) {
            value(received->first, received->second);
        }
    }
}

} // namespace

asio::awaitable<void> follow(StageLinQ::Device device, Bytes token, Limits limits,
                             StageLinQNetwork::Value value) {
    auto connections = std::make_shared<Connections>(co_await asio::this_coro::executor);
    Helpers helpers;
    std::exception_ptr failure;
    try {
        co_await session(device, token, limits, value, connections, helpers);
    } catch (...) {
        failure = std::current_exception();
    }

    // The ending must wait for the helper tasks even when this task was cancelled.
    const bool throwing = co_await asio::this_coro::throw_if_cancelled();
    co_await asio::this_coro::throw_if_cancelled(false);
    connections->close();
    for (auto* task : {&helpers.watchdog, &helpers.keepAlive, &helpers.listener}) {
        if (*task) {
            (*task)->cancel();
            co_await (*task)->finished();
        }
    }
    const bool cancelled = co_await isCancelled();
    co_await asio::this_coro::throw_if_cancelled(throwing);
    if (failure && !cancelled) {
        std::rethrow_exception(failure);
    }
}

} // namespace bridge::StageLinQConnection
