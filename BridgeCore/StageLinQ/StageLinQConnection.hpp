#pragma once

#include "StageLinQ/StageLinQNetwork.hpp"

#include <chrono>

namespace bridge::StageLinQConnection {

// How long a device has to get from the first connection to an open state-map connection.
inline constexpr std::chrono::milliseconds answerWithin{5000};

// The session with one device: its main connection with the service list and the
// keep-alive, and its state-map connection with the subscriptions and the values, passed to
// `value` in arrival order. Returns normally when the calling task is cancelled; any other
// end fails with its error (StageLinQError or a system error). Both connections are closed
// whatever the end.
boost::asio::awaitable<void> follow(StageLinQ::Device device, StageLinQ::Bytes token,
                                    std::chrono::milliseconds answerWithin,
                                    StageLinQNetwork::Value value);

} // namespace bridge::StageLinQConnection
