#include "ProDJLink/ProDJLinkLink.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <chrono>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <optional>
#include <sys/socket.h>
#include <system_error>
#include <vector>

namespace bridge {

namespace {

namespace asio = boost::asio;
using asio::ip::udp;
using Interface = ProDJLinkNetwork::Interface;

// Interfaces come and go (a cable, a laptop's second network); a snapshot is read again when
// it is this old, or sooner when a packet comes in on an interface it does not know.
constexpr auto snapshotLife = std::chrono::seconds{10};
constexpr auto unknownRereadAfter = std::chrono::seconds{1};

std::string dotted(in_addr address) {
    std::array<char, INET_ADDRSTRLEN> text{};
    ::inet_ntop(AF_INET, &address, text.data(), text.size());
    return text.data();
}

in_addr addressOf(const sockaddr* address) {
    return reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
}

// "eth0:1", an address label, names the device "eth0".
std::string deviceName(const char* name) {
    std::string text{name};
    return text.substr(0, text.find(':'));
}

// One IPv4 address of an interface.
struct LocalAddress {
    unsigned index = 0;
    Interface interface;
    in_addr address{};
    in_addr mask{};

    bool holds(in_addr other) const {
        return (other.s_addr & mask.s_addr) == (address.s_addr & mask.s_addr);
    }
};

std::vector<LocalAddress> readInterfaces() {
    std::vector<LocalAddress> list;
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) {
        return list;
    }
    std::vector<std::pair<std::string, ProDJLink::MAC>> macs;
    for (const auto* entry = all; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr) {
            continue;
        }
        const auto name = deviceName(entry->ifa_name);
        if (entry->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            ProDJLink::MAC mac{};
            if (link->sll_halen == mac.size()) {
                std::copy_n(link->sll_addr, mac.size(), mac.begin());
            }
            macs.emplace_back(name, mac);
        } else if (entry->ifa_addr->sa_family == AF_INET && entry->ifa_netmask != nullptr) {
            LocalAddress local{::if_nametoindex(name.c_str()),
                               {name, dotted(addressOf(entry->ifa_addr)), {}, {}},
                               addressOf(entry->ifa_addr),
                               addressOf(entry->ifa_netmask)};
            if ((entry->ifa_flags & IFF_BROADCAST) != 0 && entry->ifa_broadaddr != nullptr) {
                local.interface.broadcast = dotted(addressOf(entry->ifa_broadaddr));
            }
            list.push_back(std::move(local));
        }
    }
    ::freeifaddrs(all);
    for (auto& local : list) {
        for (const auto& [name, mac] : macs) {
            if (name == local.interface.name) {
                local.interface.mac = mac;
            }
        }
    }
    return list;
}

// What a packet's receiving interface is, from the index the kernel gave and the machine's
// interfaces: of an interface's addresses, the one whose subnet holds the sender (a second
// address, or 169.254/16 beside a configured one), else the one the kernel would answer from.
class Interfaces {
public:
    Interface of(unsigned index, in_addr from, in_addr local) {
        const auto now = std::chrono::steady_clock::now();
        const auto known = [&] {
            return std::any_of(list.begin(), list.end(),
                               [&](const auto& entry) { return entry.index == index; });
        };
        if (!readAt || now - *readAt >= snapshotLife ||
            (!known() && now - *readAt >= unknownRereadAfter)) {
            list = readInterfaces();
            readAt = now;
        }
        const LocalAddress* chosen = nullptr;
        for (const auto& entry : list) {
            if (entry.index != index) {
                continue;
            }
            if (entry.holds(from)) {
                return entry.interface;
            }
            if (chosen == nullptr || entry.address.s_addr == local.s_addr) {
                chosen = &entry;
            }
        }
        if (chosen != nullptr) {
            return chosen->interface;
        }
        std::array<char, IF_NAMESIZE> name{};
        const bool named = index != 0 && ::if_indextoname(index, name.data()) != nullptr;
        return {named ? name.data() : "", dotted(local), {}, {}};
    }

private:
    std::vector<LocalAddress> list;
    std::optional<std::chrono::steady_clock::time_point> readAt;
};

[[noreturn]] void fail(const boost::system::error_code& error) {
    throw std::system_error(error);
}

udp::socket bound(const asio::any_io_executor& executor, std::uint16_t port) {
    udp::socket socket{executor};
    boost::system::error_code error;
    socket.open(udp::v4(), error);
    if (!error) {
        socket.set_option(asio::socket_base::reuse_address(true), error);
    }
    if (!error) {
        socket.set_option(asio::socket_base::broadcast(true), error);
    }
    const int on = 1;
    if (!error &&
        ::setsockopt(socket.native_handle(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        error.assign(errno, boost::system::generic_category());
    }
    if (!error) {
        socket.bind({asio::ip::address_v4::any(), port}, error);
    }
    if (!error) {
        socket.non_blocking(true, error);
    }
    if (error) {
        fail(error);
    }
    return socket;
}

// One datagram waiting on the socket, with its sender and the receiving interface's index and
// local address; absent when none is waiting.
struct Datagram {
    std::size_t size = 0;
    in_addr from{};
    unsigned index = 0;
    in_addr local{};
};

std::optional<Datagram> receiveOne(int socket, std::vector<std::uint8_t>& buffer) {
    sockaddr_in sender{};
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
    msghdr message{};
    message.msg_name = &sender;
    message.msg_namelen = sizeof sender;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    const auto got = ::recvmsg(socket, &message, MSG_DONTWAIT);
    if (got < 0) {
        return std::nullopt;
    }
    Datagram datagram{static_cast<std::size_t>(got), sender.sin_addr};
    for (auto* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::copy_n(CMSG_DATA(header), sizeof info, reinterpret_cast<unsigned char*>(&info));
            datagram.index = static_cast<unsigned>(info.ipi_ifindex);
            datagram.local = info.ipi_spec_dst;
        }
    }
    return datagram;
}

// Hears one port until the wait for data ends: cancelled, or the socket failed.
asio::awaitable<void> receive(udp::socket& socket, std::uint16_t protocolPort,
                              Interfaces& interfaces, const ProDJLinkNetwork::Hear& hear) {
    std::vector<std::uint8_t> buffer(2048);
    while (true) {
        const auto [error] =
            co_await socket.async_wait(udp::socket::wait_read, asio::as_tuple(asio::use_awaitable));
        if (error == asio::error::operation_aborted) {
            co_return;
        }
        if (error) {
            fail(error);
        }
        while (const auto datagram = receiveOne(socket.native_handle(), buffer)) {
            if (auto packet = ProDJLink::parse(protocolPort, buffer.data(), datagram->size)) {
                hear({std::move(*packet), dotted(datagram->from),
                      interfaces.of(datagram->index, datagram->from, datagram->local)});
            }
        }
    }
}

} // namespace

ProDJLinkLink::ProDJLinkLink() : ProDJLinkLink(Ports{}) {}

asio::awaitable<void> ProDJLinkLink::listen(Hear hear) {
    const auto executor = co_await asio::this_coro::executor;
    auto announce = bound(executor, ports.announce);
    auto beat = bound(executor, ports.beat);
    auto status = bound(executor, ports.status);
    // `listen` returns normally after cancellation, also one that came before it began; the
    // caller's setting is put back before returning.
    const bool throwing = co_await asio::this_coro::throw_if_cancelled();
    co_await asio::this_coro::throw_if_cancelled(false);
    const auto state = co_await asio::this_coro::cancellation_state;
    if (state.cancelled() == asio::cancellation_type::none) {
        Interfaces interfaces;
        using namespace asio::experimental::awaitable_operators;
        co_await (receive(announce, ProDJLink::announcePort, interfaces, hear) &&
                  receive(beat, ProDJLink::beatPort, interfaces, hear) &&
                  receive(status, ProDJLink::statusPort, interfaces, hear));
    }
    co_await asio::this_coro::throw_if_cancelled(throwing);
}

asio::awaitable<void> ProDJLinkLink::send(ProDJLink::Bytes packet, std::string address,
                                          std::uint16_t port) {
    boost::system::error_code error;
    const auto target = asio::ip::make_address_v4(address, error);
    if (error) {
        throw std::system_error(std::make_error_code(std::errc::invalid_argument));
    }
    udp::socket socket{co_await asio::this_coro::executor};
    socket.open(udp::v4(), error);
    if (!error) {
        socket.set_option(asio::socket_base::broadcast(true), error);
    }
    if (error) {
        fail(error);
    }
    const auto [sent, size] = co_await socket.async_send_to(
        asio::buffer(packet), udp::endpoint{target, port}, asio::as_tuple(asio::use_awaitable));
    if (sent) {
        fail(sent);
    }
}

} // namespace bridge
