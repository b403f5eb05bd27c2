#pragma once

#include "StageLinQ/StageLinQ.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace bridge::testing {

namespace asio = boost::asio;
using asio::ip::tcp;
using StageLinQ::Bytes;
using namespace std::chrono_literals;

inline Bytes ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

inline Bytes tokenOf(std::uint8_t fill) {
    return Bytes(16, fill);
}

// Runs the io_context until `work` ends and returns its result; throws its error. A test
// that would hang fails after `limit` instead.
template <class T>
T runUntilDone(asio::io_context& context, asio::awaitable<T> work,
               std::chrono::milliseconds limit = 10s) {
    std::optional<T> result;
    std::exception_ptr error;
    bool done = false;
    asio::co_spawn(context, std::move(work), [&](std::exception_ptr e, T value) {
        done = true;
        error = e;
        if (!e) {
            result.emplace(std::move(value));
        }
    });
    // A context that ran out of work earlier is stopped until restarted.
    context.restart();
    const auto guard = asio::make_work_guard(context);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done && std::chrono::steady_clock::now() < deadline) {
        context.run_one_for(50ms);
    }
    if (!done) {
        throw std::runtime_error("the work did not end in time");
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return std::move(*result);
}

inline void runUntilDone(asio::io_context& context, asio::awaitable<void> work,
                         std::chrono::milliseconds limit = 10s) {
    runUntilDone(
        context,
        [](asio::awaitable<void> inner) -> asio::awaitable<bool> {
            co_await std::move(inner);
            co_return true;
        }(std::move(work)),
        limit);
}

// Runs the io_context until `condition` holds; false when it does not within `limit`.
template <class Condition>
bool runUntil(asio::io_context& context, Condition condition,
              std::chrono::milliseconds limit = 10s) {
    // A context that ran out of work earlier is stopped until restarted.
    context.restart();
    const auto guard = asio::make_work_guard(context);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        context.run_one_for(20ms);
    }
    return true;
}

// Runs whatever is ready, such as tasks just posted, without waiting for anything.
inline void settle(asio::io_context& context) {
    context.restart();
    context.poll();
}

inline asio::awaitable<void> pause(std::chrono::milliseconds duration) {
    asio::steady_timer timer{co_await asio::this_coro::executor, duration};
    co_await timer.async_wait(asio::use_awaitable);
}

inline asio::awaitable<Bytes> readBytes(tcp::socket& socket, std::size_t count) {
    Bytes bytes(count);
    co_await asio::async_read(socket, asio::buffer(bytes), asio::use_awaitable);
    co_return bytes;
}

inline asio::awaitable<void> writeBytes(tcp::socket& socket, const Bytes& bytes) {
    co_await asio::async_write(socket, asio::buffer(bytes), asio::use_awaitable);
}

// Whether the peer has closed the connection: a read that ends without data.
inline asio::awaitable<bool> closedByPeer(tcp::socket& socket) {
    std::uint8_t byte = 0;
    while (true) {
        const auto [error, got] = co_await socket.async_read_some(
            asio::buffer(&byte, 1), asio::as_tuple(asio::use_awaitable));
        if (error) {
            co_return true;
        }
    }
}

// A UDP port nobody uses right now.
inline std::uint16_t freePort(asio::io_context& context) {
    asio::ip::udp::socket probe{context, {asio::ip::udp::v4(), 0}};
    return probe.local_endpoint().port();
}

// Sends the frames to 127.0.0.1:`port` over and over, so that some arrive once the
// listener is bound.
inline asio::awaitable<void> sendRepeatedly(std::uint16_t port, std::vector<Bytes> frames) {
    asio::ip::udp::socket sender{co_await asio::this_coro::executor, asio::ip::udp::v4()};
    const asio::ip::udp::endpoint target{asio::ip::address_v4::loopback(), port};
    while (true) {
        for (const auto& frame : frames) {
            co_await sender.async_send_to(asio::buffer(frame), target, asio::use_awaitable);
        }
        co_await pause(50ms);
    }
}

// A service announcement on a main connection.
inline Bytes serviceMessage(std::string_view name, std::uint16_t port) {
    return join(
        {StageLinQ::uint(0, 4), tokenOf(0x22), StageLinQ::text(name), StageLinQ::uint(port, 2)});
}

// A state-map message with its length prefix.
inline Bytes stateMessage(std::uint32_t kind, std::string_view path, const Bytes& tail) {
    const auto body = join({ascii("smaa"), StageLinQ::uint(kind, 4), StageLinQ::text(path), tail});
    return join({StageLinQ::uint(body.size(), 4), body});
}

inline Bytes valueMessage(std::string_view path, std::string_view json) {
    return stateMessage(0, path, StageLinQ::text(json));
}

} // namespace bridge::testing
