#pragma once

#include "StageLinQ/StageLinQNetwork.hpp"

#include <chrono>

namespace bridge::StageLinQConnection {

// How long a device has to get from the first connection to an open state-map connection.
inline constexpr std::chrono::milliseconds answerWithin{5000};

// How long the main connection may stay silent before the device counts as gone: one that
// lost its power or its cable never closes anything. Players send a reference of their own
// every 5 seconds, besides answering the bridge's; the session gives up once three in a row
// have not come.
inline constexpr std::chrono::milliseconds silentWithin{3 * 5000};

// The time limits of one session.
struct Limits {
    std::chrono::milliseconds answerWithin = StageLinQConnection::answerWithin;
    std::chrono::milliseconds silentWithin = StageLinQConnection::silentWithin;
};

// The session with one device: its main connection with the service list, the keep-alive
// and whatever else the device sends there (read and dropped), and its state-map connection
// with the subscriptions and the values, passed to `value` in arrival order. The session
// ends when a connection fails, a keep-alive cannot be sent, or the main connection has
// been silent for `limits.silentWithin`. Returns normally when the calling task is
// cancelled; any other end fails with its error (StageLinQError or a system error). Both
// connections are closed whatever the end.
boost::asio::awaitable<void> follow(StageLinQ::Device device, StageLinQ::Bytes token, Limits limits,
                                    StageLinQNetwork::Value value);

} // namespace bridge::StageLinQConnection
