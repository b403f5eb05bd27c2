#include "ProDJLink/ProDJLinkPresence.hpp"

#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/this_coro.hpp>

#include <algorithm>
#include <exception>
#include <system_error>

namespace bridge {

namespace {

namespace asio = boost::asio;
using Heard = ProDJLinkNetwork::Heard;
using ProDJLink::DeviceKind;

// The joining packets before the first that carries the number: announcements and the first
// claim stage. A number given up before then needs no new start.
constexpr std::size_t numberlessPackets = 6;
constexpr int keepAliveSteps = 5; // keep-alives every 1.5 s at a step of 0.3 s

constexpr bool isPlayerNumber(int number) {
    return number >= 1 && number < ProDJLink::firstOwnNumber;
}

} // namespace

std::shared_ptr<ProDJLinkPresence>
ProDJLinkPresence::create(std::shared_ptr<ProDJLinkNetwork> network, Clock now, Wait wait) {
    return create(std::move(network), std::move(now), std::move(wait), Options{});
}

std::shared_ptr<ProDJLinkPresence>
ProDJLinkPresence::create(std::shared_ptr<ProDJLinkNetwork> network, Clock now, Wait wait,
                          Options options) {
    return std::shared_ptr<ProDJLinkPresence>(new ProDJLinkPresence(
        std::move(network), std::move(now), std::move(wait), std::move(options)));
}

ProDJLinkPresence::ProDJLinkPresence(std::shared_ptr<ProDJLinkNetwork> network, Clock now,
                                     Wait wait, Options options)
    : network(std::move(network)), now(std::move(now)), wait(std::move(wait)),
      options(std::move(options)) {}

// The presence is held from the call on, not only once the work starts.
asio::awaitable<void> ProDJLinkPresence::run(ProDJLinkNetwork::Hear hear) {
    return run(shared_from_this(), std::move(hear));
}

asio::awaitable<void> ProDJLinkPresence::run(std::shared_ptr<ProDJLinkPresence> self,
                                             ProDJLinkNetwork::Hear hear) {
    using namespace asio::experimental::awaitable_operators;
    co_await (self->network->listen([self, hear = std::move(hear)](const Heard& heard) {
        self->note(heard);
        if (hear) {
            hear(heard);
        }
    }) && self->takePart());
}

ProDJLinkPresence::Status ProDJLinkPresence::status() const {
    return current;
}

void ProDJLinkPresence::note(const Heard& heard) {
    const Seen seen{now(), heard.interface};
    if (const auto* alive = std::get_if<ProDJLink::KeepAlive>(&heard.packet)) {
        if (isOwn(heard, alive->name)) {
            return;
        }
        numbers[alive->number] = seen;
        if (alive->kind == DeviceKind::player && isPlayerNumber(alive->number)) {
            players[alive->number] = seen;
        }
    } else if (const auto* claim = std::get_if<ProDJLink::NumberClaim>(&heard.packet)) {
        if (claim->number && !isOwn(heard, claim->name)) {
            numbers[*claim->number] = seen;
        }
    } else if (const auto* inUse = std::get_if<ProDJLink::NumberInUse>(&heard.packet)) {
        if (!isOwn(heard, inUse->name)) {
            numbers[inUse->number] = seen;
        }
    } else if (const auto* status = std::get_if<ProDJLink::PlayerStatus>(&heard.packet)) {
        if (isPlayerNumber(status->number)) {
            players[status->number] = seen;
        }
    }
}

// The bridge hears its own broadcasts; another program on this machine has another name.
bool ProDJLinkPresence::isOwn(const Heard& heard, const std::string& name) const {
    return heard.from == heard.interface.address && name == options.name;
}

void ProDJLinkPresence::forget() {
    const auto time = now();
    for (auto* heard : {&players, &numbers}) {
        std::erase_if(*heard,
                      [&](const auto& entry) { return waitIsOver(entry.second.at, memory, time); });
    }
}

bool ProDJLinkPresence::taken(int number) const {
    return numbers.contains(number);
}

std::optional<int> ProDJLinkPresence::freeNumber() const {
    for (int number = ProDJLink::firstOwnNumber; number <= ProDJLink::lastOwnNumber; ++number) {
        if (!taken(number)) {
            return number;
        }
    }
    return std::nullopt;
}

// The interface of the players heard: the one already in use while a player is heard there,
// else the latest player's.
std::optional<ProDJLinkNetwork::Interface> ProDJLinkPresence::playersInterface() const {
    const Seen* latest = nullptr;
    for (const auto& [number, seen] : players) {
        if (seen.interface == current.players) {
            return seen.interface;
        }
        if (latest == nullptr || seen.at > latest->at) {
            latest = &seen;
        }
    }
    if (latest == nullptr) {
        return std::nullopt;
    }
    return latest->interface;
}

asio::awaitable<void> ProDJLinkPresence::takePart() {
    const auto state = co_await asio::this_coro::cancellation_state;
    while (true) {
        std::exception_ptr failure;
        try {
            co_await act();
            co_await wait(step);
        } catch (...) {
            failure = std::current_exception();
        }
        if (failure) {
            if (state.cancelled() != asio::cancellation_type::none) {
                co_return;
            }
            std::rethrow_exception(failure);
        }
    }
}

void ProDJLinkPresence::fallSilent(State state) {
    current.state = state;
    current.number.reset();
    joiningStep = 0;
}

// One step: the next joining packet or keep-alive, or silence.
asio::awaitable<void> ProDJLinkPresence::act() {
    forget();
    const auto where = playersInterface();
    if (!where) {
        current.players = {};
        fallSilent(State::waiting);
        co_return;
    }
    if (*where != current.players) {
        current.players = *where;
        fallSilent(State::joining);
    }
    const auto target = options.target.value_or(where->broadcast);
    if (target.empty()) {
        fallSilent(State::noAddress);
        co_return;
    }
    if (!current.number || taken(*current.number)) {
        const auto number = freeNumber();
        if (!number) {
            fallSilent(State::noNumber);
            co_return;
        }
        // Another device holds the number now: give way, and join again if it was claimed.
        if (current.state != State::joining || joiningStep > numberlessPackets) {
            fallSilent(State::joining);
        }
        current.number = number;
    }
    const ProDJLink::OwnDevice device{options.name, *current.number, where->mac, where->address};
    if (current.state != State::joined) {
        current.state = State::joining;
        const auto packets = ProDJLink::joining(device);
        auto packet = packets[joiningStep];
        if (++joiningStep == packets.size()) {
            current.state = State::joined;
            stepsSinceKeepAlive = keepAliveSteps - 1;
        }
        co_await send(std::move(packet), target);
    } else if (++stepsSinceKeepAlive >= keepAliveSteps) {
        stepsSinceKeepAlive = 0;
        co_await send(ProDJLink::keepAlive(device, static_cast<int>(numbers.size()) + 1), target);
    }
}

// A packet that cannot be sent now (the interface went away) is not sent; the next step tries.
asio::awaitable<void> ProDJLinkPresence::send(ProDJLink::Bytes packet, std::string target) {
    try {
        co_await network->send(std::move(packet), std::move(target), options.announcePort);
    } catch (const std::system_error&) {
    }
}

} // namespace bridge
