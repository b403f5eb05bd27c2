#pragma once

#include "ProDJLink/ProDJLink.hpp"

#include <boost/asio/awaitable.hpp>

#include <cstdint>
#include <functional>
#include <string>

namespace bridge {

// The Pro DJ Link ports as the Pioneer reader and the bridge's presence use them.
class ProDJLinkNetwork {
public:
    // A local network interface, as far as Pro DJ Link needs it.
    struct Interface {
        std::string name;      // "eth0"; empty when not known
        std::string address;   // its own IPv4 address, dotted
        std::string broadcast; // its broadcast address; empty when it has none (loopback)
        ProDJLink::MAC mac{};  // its hardware address; zeros when it has none

        bool operator==(const Interface&) const = default;
    };

    // One valid packet and where it came from.
    struct Heard {
        ProDJLink::Packet packet;
        std::string from;    // the sender's IPv4 address, dotted
        Interface interface; // the interface it came in on
    };

    using Hear = std::function<void(const Heard&)>;

    virtual ~ProDJLinkNetwork() = default;

    // Listens on the three ports, calling `hear` for every valid packet, until the calling task
    // is cancelled; then returns normally. Fails with std::system_error only when a socket
    // cannot be set up.
    virtual boost::asio::awaitable<void> listen(Hear hear) = 0;

    // Sends one packet to `address`:`port`. Fails with std::system_error when it cannot be sent.
    virtual boost::asio::awaitable<void> send(ProDJLink::Bytes packet, std::string address,
                                              std::uint16_t port) = 0;
};

} // namespace bridge
