#include "ProDJLink/NfsClient.hpp"

#include "ProDJLink/NfsError.hpp"
#include "ProDJLink/OncRpc.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

namespace bridge {

namespace {

namespace asio = boost::asio;
using asio::ip::udp;
using Clock = std::chrono::steady_clock;
using OncRpc::Bytes;

constexpr auto tuple = asio::as_tuple(asio::use_awaitable);
// Room for any UDP datagram, the largest READ answer included.
constexpr std::size_t datagramMax = 65536;

// A failed send or receive: the caller's cancellation goes on as it is, anything else means
// the player cannot be reached.
[[noreturn]] void fail(const boost::system::error_code& error) {
    if (error == asio::error::operation_aborted) {
        throw boost::system::system_error(error);
    }
    throw NfsError::notAnswering;
}

// The path's components as players expect names. A path that names nothing, or a
// component that cannot be sent, cannot name a file.
std::vector<Bytes> namesOf(std::string_view path) {
    std::vector<Bytes> names;
    while (!path.empty()) {
        const auto slash = path.find('/');
        if (const auto piece = path.substr(0, slash); !piece.empty()) {
            auto name = OncRpc::playerText(piece);
            if (!name || name->size() > OncRpc::nameMax) {
                throw NfsError::noSuchFile;
            }
            names.push_back(std::move(*name));
        }
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
    }
    if (names.empty()) {
        throw NfsError::noSuchFile;
    }
    return names;
}

// The calls of one read: its socket, the player and the deadline of the whole read.
class Exchange {
public:
    Exchange(const asio::any_io_executor& executor, asio::ip::address_v4 address,
             const NfsClient::Options& options, std::uint32_t& nextXid)
        : socket(executor, udp::v4()), address(address), deadline(Clock::now() + options.timeLimit),
          options(options), nextXid(nextXid) {}

    std::uint32_t newXid() { return nextXid++; }

    // Sends `request` to `port` once per try until an answer with `xid` comes from the
    // player, and returns it. Answers from elsewhere or to other calls are dropped.
    asio::awaitable<Bytes> call(std::uint16_t port, std::uint32_t xid, const Bytes& request) {
        const udp::endpoint target{address, port};
        for (int attempt = 0; attempt < options.tries && Clock::now() < deadline; ++attempt) {
            const auto [error, sent] =
                co_await socket.async_send_to(asio::buffer(request), target, tuple);
            if (error) {
                fail(error);
            }
            const auto end = std::min(Clock::now() + options.wait, deadline);
            while (const auto size = co_await receiveUntil(end)) {
                const std::span answer{buffer.data(), *size};
                if (sender.address() == target.address() && OncRpc::xidOf(answer) == xid) {
                    co_return Bytes(answer.begin(), answer.end());
                }
            }
        }
        throw NfsError::notAnswering;
    }

private:
    // The size of the next datagram, or nothing once `end` has come.
    asio::awaitable<std::optional<std::size_t>> receiveUntil(Clock::time_point end) {
        asio::steady_timer timer{socket.get_executor(), end};
        using namespace asio::experimental::awaitable_operators;
        auto outcome = co_await (socket.async_receive_from(asio::buffer(buffer), sender, tuple) ||
                                 timer.async_wait(tuple));
        if (outcome.index() == 1) {
            if (const auto [error] = std::get<1>(outcome); error) {
                fail(error);
            }
            co_return std::nullopt;
        }
        const auto [error, size] = std::get<0>(outcome);
        if (error) {
            fail(error);
        }
        co_return size;
    }

    udp::socket socket;
    const asio::ip::address_v4 address;
    const Clock::time_point deadline;
    const NfsClient::Options& options;
    std::uint32_t& nextXid;
    Bytes buffer = Bytes(datagramMax);
    udp::endpoint sender;
};

asio::awaitable<std::uint16_t> portOf(Exchange& exchange, std::uint16_t portmapper,
                                      OncRpc::Program program) {
    const auto xid = exchange.newXid();
    const auto answer = co_await exchange.call(portmapper, xid, OncRpc::getPortCall(xid, program));
    co_return OncRpc::getPortReply(answer, xid);
}

asio::awaitable<OncRpc::Handle> root(Exchange& exchange, std::uint16_t port, MediaSlot slot) {
    const auto xid = exchange.newXid();
    const auto path = *OncRpc::playerText(OncRpc::exportPath(slot));
    const auto answer = co_await exchange.call(port, xid, OncRpc::mountCall(xid, path));
    co_return OncRpc::mountReply(answer, xid);
}

// The players' server takes one name per LOOKUP, never a path.
asio::awaitable<OncRpc::Found> lookUp(Exchange& exchange, std::uint16_t port, OncRpc::Handle folder,
                                      const std::vector<Bytes>& names) {
    OncRpc::Found found;
    for (const auto& name : names) {
        const auto xid = exchange.newXid();
        const auto answer =
            co_await exchange.call(port, xid, OncRpc::lookupCall(xid, folder, name));
        found = OncRpc::lookupReply(answer, xid);
        folder = found.handle;
    }
    co_return found;
}

// The file's bytes, up to the size it had when looked up; a short READ ends it early.
asio::awaitable<std::string> contents(Exchange& exchange, std::uint16_t port,
                                      const OncRpc::Found& file) {
    std::string bytes;
    bytes.reserve(file.attributes.size);
    while (bytes.size() < file.attributes.size) {
        const auto count = static_cast<std::uint32_t>(
            std::min<std::size_t>(OncRpc::readMax, file.attributes.size - bytes.size()));
        const auto offset = static_cast<std::uint32_t>(bytes.size());
        const auto xid = exchange.newXid();
        const auto answer =
            co_await exchange.call(port, xid, OncRpc::readCall(xid, file.handle, offset, count));
        const auto chunk = OncRpc::readReply(answer, xid, count);
        bytes.append(chunk.data.begin(), chunk.data.end());
        if (chunk.data.size() < count) {
            break;
        }
    }
    co_return bytes;
}

} // namespace

NfsClient::NfsClient() : NfsClient(Options{}) {}

NfsClient::NfsClient(Options options)
    : options(options), nextXid(static_cast<std::uint32_t>(std::random_device{}())) {}

asio::awaitable<MediaFile> NfsClient::read(std::string address, MediaSlot slot, std::string path,
                                           std::size_t limit) {
    return fetch(std::move(address), slot, std::move(path), limit);
}

asio::awaitable<MediaStamp> NfsClient::stamp(std::string address, MediaSlot slot,
                                             std::string path) {
    co_return (co_await fetch(std::move(address), slot, std::move(path), std::nullopt)).stamp;
}

asio::awaitable<MediaFile> NfsClient::fetch(std::string address, MediaSlot slot, std::string path,
                                            std::optional<std::size_t> limit) {
    boost::system::error_code invalid;
    const auto player = asio::ip::make_address_v4(address, invalid);
    if (invalid) {
        throw NfsError::notAnswering;
    }
    const auto names = namesOf(path);
    Exchange exchange{co_await asio::this_coro::executor, player, options, nextXid};
    std::exception_ptr failure;
    try {
        if (!ports.contains(address)) {
            const auto mount = co_await portOf(exchange, options.portmapperPort, OncRpc::mount);
            const auto nfs = co_await portOf(exchange, options.portmapperPort, OncRpc::nfs);
            ports[address] = Ports{mount, nfs};
        }
        const auto known = ports.at(address);
        const auto file =
            co_await lookUp(exchange, known.nfs, co_await root(exchange, known.mount, slot), names);
        if (file.attributes.type != OncRpc::regularFile) {
            throw NfsError::noSuchFile;
        }
        const auto& found = file.attributes;
        MediaFile fetched{.bytes = {},
                          .stamp = {.size = found.size,
                                    .fileId = found.fileId,
                                    .modifiedSeconds = found.modifiedSeconds,
                                    .modifiedMicroseconds = found.modifiedMicroseconds}};
        if (limit && found.size > *limit) {
            throw NfsError::tooLarge;
        }
        if (limit) {
            fetched.bytes = co_await contents(exchange, known.nfs, file);
        }
        co_return fetched;
    } catch (...) {
        failure = std::current_exception();
    }
    // A player that restarted may answer on other ports.
    ports.erase(address);
    std::rethrow_exception(failure);
}

} // namespace bridge
