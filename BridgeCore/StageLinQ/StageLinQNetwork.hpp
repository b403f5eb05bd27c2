#pragma once

#include "StageLinQ/StageLinQ.hpp"

#include <boost/asio/awaitable.hpp>

#include <functional>
#include <string>

namespace bridge {

// Discovery and sessions of Denon devices, as the Denon reader uses them.
class StageLinQNetwork {
public:
    using Found = std::function<void(const StageLinQ::Device&)>;
    using Value = std::function<void(const std::string& path, const StageLinQ::StateValue&)>;

    virtual ~StageLinQNetwork() = default;

    // Announces `announcement` (unless empty) and calls `found` for every valid frame heard,
    // from a thread of its own, until the calling task is cancelled; then returns normally.
    // Fails only when its socket cannot be set up.
    virtual boost::asio::awaitable<void> discover(StageLinQ::Bytes announcement, Found found) = 0;

    // Holds a session with `device` and reports its state values until the session ends.
    // Returns normally when the calling task is cancelled, and fails on any other end.
    virtual boost::asio::awaitable<void> follow(StageLinQ::Device device, StageLinQ::Bytes token,
                                                Value value) = 0;
};

} // namespace bridge
