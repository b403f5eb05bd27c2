#include "StageLinQ/StageLinQLink.hpp"

#include "StageLinQ/Locked.hpp"
#include "StageLinQ/StageLinQConnection.hpp"

#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace bridge {

namespace {

namespace asio = boost::asio;
using Clock = std::chrono::steady_clock;

constexpr auto announceEvery = std::chrono::seconds{1};
constexpr auto targetsEvery = std::chrono::seconds{10};

std::string dotted(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

[[noreturn]] void failWithErrno(int number) {
    throw std::system_error(number == 0 ? EIO : number, std::generic_category());
}

// One discovery run: what it sends and calls, its socket, its cancel flag and the thread that
// listens. Whoever lets go of it last, the io_context included when it is destroyed with the
// run's end still queued, joins the thread; the thread itself never holds the last reference.
struct DiscoveryRun {
    DiscoveryRun(std::uint16_t port, StageLinQLink::Targets targets, StageLinQ::Bytes announcement,
                 StageLinQNetwork::Found found)
        : port(port), targets(std::move(targets)), announcement(std::move(announcement)),
          found(std::move(found)) {}

    ~DiscoveryRun() {
        if (thread.joinable()) {
            thread.join();
        }
        if (socket >= 0) {
            ::close(socket);
        }
    }

    DiscoveryRun(const DiscoveryRun&) = delete;
    DiscoveryRun& operator=(const DiscoveryRun&) = delete;

    const std::uint16_t port;
    const StageLinQLink::Targets targets;
    const StageLinQ::Bytes announcement;
    const StageLinQNetwork::Found found;
    int socket = -1;
    Locked<bool> cancelled{false};
    std::thread thread;
};

void discoveryLoop(DiscoveryRun& run) {
    auto lastSend = Clock::time_point::min();
    auto targetsMade = Clock::time_point::min();
    std::vector<sockaddr_in> targetAddresses;
    std::vector<std::uint8_t> buffer(2048, 0);
    while (!run.cancelled.get()) {
        const auto now = Clock::now();
        if (!run.announcement.empty() &&
            (lastSend == Clock::time_point::min() || now - lastSend >= announceEvery)) {
            lastSend = now;
            if (targetsMade == Clock::time_point::min() || lastSend - targetsMade >= targetsEvery) {
                targetsMade = lastSend;
                targetAddresses.clear();
                for (const auto& target : run.targets()) {
                    sockaddr_in address{};
                    address.sin_family = AF_INET;
                    address.sin_port = htons(run.port);
                    if (::inet_pton(AF_INET, target.c_str(), &address.sin_addr) == 1) {
                        targetAddresses.push_back(address);
                    }
                }
            }
            for (const auto& address : targetAddresses) {
                ::sendto(run.socket, run.announcement.data(), run.announcement.size(), 0,
                         reinterpret_cast<const sockaddr*>(&address), sizeof address);
            }
        }
        sockaddr_in sender{};
        socklen_t senderSize = sizeof sender;
        const auto got = ::recvfrom(run.socket, buffer.data(), buffer.size(), 0,
                                    reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (got > 0) {
            if (auto device = StageLinQ::device(buffer.data(), static_cast<std::size_t>(got),
                                                dotted(sender.sin_addr))) {
                run.found(*device);
            }
        }
    }
}

} // namespace

std::vector<std::string> StageLinQLink::broadcastAddresses() {
    std::vector<std::string> list;
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) {
        return list;
    }
    for (const auto* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        const auto usable = IFF_UP | IFF_BROADCAST;
        if ((entry->ifa_flags & usable) != usable || entry->ifa_addr == nullptr ||
            entry->ifa_addr->sa_family != AF_INET || entry->ifa_netmask == nullptr) {
            continue;
        }
        const auto address =
            dotted(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr);
        const auto mask =
            dotted(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr);
        if (auto target = StageLinQ::broadcast(address, mask);
            target && std::find(list.begin(), list.end(), *target) == list.end()) {
            list.push_back(std::move(*target));
        }
    }
    ::freeifaddrs(interfaces);
    return list;
}

asio::awaitable<void> StageLinQLink::discover(StageLinQ::Bytes announcement, Found found) {
    auto run =
        std::make_shared<DiscoveryRun>(port, targets, std::move(announcement), std::move(found));
    run->socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (run->socket < 0) {
        failWithErrno(EIO);
    }
    const int on = 1;
    const timeval timeout{.tv_sec = 0, .tv_usec = 500'000};
    ::setsockopt(run->socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(run->socket, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    ::setsockopt(run->socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ::setsockopt(run->socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(run->socket, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        failWithErrno(errno);
    }

    // `discover` must return normally after cancellation, even one that came before the
    // loop started; the caller's setting is put back before returning.
    const bool throwing = co_await asio::this_coro::throw_if_cancelled();
    co_await asio::this_coro::throw_if_cancelled(false);
    const auto state = co_await asio::this_coro::cancellation_state;
    run->cancelled.set(state.cancelled() != asio::cancellation_type::none);

    co_await asio::async_initiate<decltype(asio::use_awaitable), void()>(
        [&](auto handler) {
            auto slot = asio::get_associated_cancellation_slot(handler);
            if (slot.is_connected()) {
                slot.assign([run](asio::cancellation_type) { run->cancelled.set(true); });
            }
            auto work = asio::make_work_guard(asio::get_associated_executor(handler));
            run->thread =
                std::thread{[run, handler = std::move(handler), work = std::move(work)]() mutable {
                    discoveryLoop(*run);
                    // Everything goes to the io_context with the end: after the post this thread
                    // touches nothing shared, and whatever is released, is released there.
                    const auto executor = work.get_executor();
                    asio::post(executor, [run = std::move(run), handler = std::move(handler),
                                          work = std::move(work)]() mutable {
                        run->thread.join();
                        asio::get_associated_cancellation_slot(handler).clear();
                        std::move(handler)();
                    });
                }};
        },
        asio::use_awaitable);
    co_await asio::this_coro::throw_if_cancelled(throwing);
}

asio::awaitable<void> StageLinQLink::follow(StageLinQ::Device device, StageLinQ::Bytes token,
                                            Value value) {
    return StageLinQConnection::follow(std::move(device), std::move(token), limits,
                                       std::move(value));
}

} // namespace bridge
