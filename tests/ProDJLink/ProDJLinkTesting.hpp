#pragma once

#include "ProDJLink/ProDJLinkLink.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

namespace bridge::testing {

// Three UDP ports nobody uses right now, all different.
inline ProDJLinkLink::Ports freePorts(boost::asio::io_context& context) {
    using boost::asio::ip::udp;
    udp::socket a{context, {udp::v4(), 0}};
    udp::socket b{context, {udp::v4(), 0}};
    udp::socket c{context, {udp::v4(), 0}};
    return {a.local_endpoint().port(), b.local_endpoint().port(), c.local_endpoint().port()};
}

} // namespace bridge::testing
