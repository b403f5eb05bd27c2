#pragma once

#include <boost/asio/awaitable.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>

#include <chrono>

namespace bridge::testing {

// Runs `io` until the awaitable has finished, and gives its result or throws its failure.
// Other work on `io` (test servers, say) runs meanwhile and stays pending afterwards.
template <class T>
T await(boost::asio::io_context& io, boost::asio::awaitable<T> operation) {
    auto result = boost::asio::co_spawn(io, std::move(operation), boost::asio::use_future);
    while (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        io.run_one();
    }
    io.restart();
    return result.get();
}

template <class T>
T await(boost::asio::awaitable<T> operation) {
    boost::asio::io_context io;
    return await(io, std::move(operation));
}

} // namespace bridge::testing
