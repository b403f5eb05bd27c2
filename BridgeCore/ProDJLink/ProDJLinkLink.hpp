#pragma once

#include "ProDJLink/ProDJLinkNetwork.hpp"

#include <cstdint>

namespace bridge {

// Pro DJ Link on the machine's real sockets, on the caller's executor. Listens on every IPv4
// interface and tells which one each packet came in on.
class ProDJLinkLink : public ProDJLinkNetwork {
public:
    // The ports listened on; each is read as the protocol port it stands for.
    struct Ports {
        std::uint16_t announce = ProDJLink::announcePort;
        std::uint16_t beat = ProDJLink::beatPort;
        std::uint16_t status = ProDJLink::statusPort;
    };

    ProDJLinkLink();
    explicit ProDJLinkLink(Ports listened) : ports(listened) {}

    // Shares its ports with other listeners that allow it (SO_REUSEADDR); fails when a port is
    // held by one that does not, or cannot be bound.
    boost::asio::awaitable<void> listen(Hear hear) override;
    // Sends from a socket of its own, broadcast allowed, as players send every packet.
    boost::asio::awaitable<void> send(ProDJLink::Bytes packet, std::string address,
                                      std::uint16_t port) override;

    const Ports ports;
};

} // namespace bridge
