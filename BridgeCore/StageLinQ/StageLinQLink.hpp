#pragma once

#include "StageLinQ/StageLinQConnection.hpp"
#include "StageLinQ/StageLinQNetwork.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bridge {

// StageLinQ on the machine's real sockets.
class StageLinQLink : public StageLinQNetwork {
public:
    using Targets = std::function<std::vector<std::string>()>;

    // `port` is bound for discovery and sent to; `targets` gives the addresses to announce
    // to, and is asked again at most every 10 seconds; `limits` bound each session.
    explicit StageLinQLink(std::uint16_t port, Targets targets = broadcastAddresses,
                           StageLinQConnection::Limits limits = {})
        : port(port), targets(std::move(targets)), limits(limits) {}

    // The broadcast addresses of the interfaces that are up and can broadcast, each once.
    static std::vector<std::string> broadcastAddresses();

    boost::asio::awaitable<void> discover(StageLinQ::Bytes announcement, Found found) override;
    boost::asio::awaitable<void> follow(StageLinQ::Device device, StageLinQ::Bytes token,
                                        Value value) override;

    std::uint16_t port;
    Targets targets;
    StageLinQConnection::Limits limits;
};

} // namespace bridge
