#pragma once

#include "ProDJLink/ProDJLinkNetwork.hpp"
#include "Support/Instant.hpp"

#include <boost/asio/awaitable.hpp>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace bridge {

// The bridge as a device on a Pro DJ Link network, so that players send it their status. It
// says nothing until a player is heard; then it joins on that player's interface with a
// number from 7 to 15 that no device uses, keeps itself alive, gives way to any device that
// claims or defends its number, and falls silent again when the players are gone. It sends
// only to the broadcast address of the players' interface. Lives on the bridge thread.
class ProDJLinkPresence : public std::enable_shared_from_this<ProDJLinkPresence> {
public:
    using Clock = std::function<Instant()>;
    // Waits for a duration; fails when the waiting task is cancelled.
    using Wait = std::function<boost::asio::awaitable<void>(Seconds)>;

    struct Options {
        std::string name = "Setmara Bridge";
        // Where joining and keep-alive packets go: the port, and the address to use instead
        // of the interface's broadcast address (tests point it at a loopback address).
        std::uint16_t announcePort = ProDJLink::announcePort;
        std::optional<std::string> target;
    };

    enum class State {
        waiting,   // no player heard: silent
        joining,   // sending the joining packets for its number
        joined,    // keeping itself alive with its number
        noNumber,  // players heard, but every number from 7 to 15 is used: silent
        noAddress, // players heard on an interface without a broadcast address: silent
    };

    // What the Source pane shows.
    struct Status {
        State state = State::waiting;
        std::optional<int> number;           // while joining or joined
        ProDJLinkNetwork::Interface players; // where players were heard; empty while none

        bool operator==(const Status&) const = default;
    };

    // The pace of joining packets, each 0.3 s as devices send them, and of everything else:
    // keep-alives go every fifth step. A number is taken while it was heard within `memory`,
    // and players unheard for as long are gone.
    static constexpr Seconds step{0.3};
    static constexpr Seconds memory{5.0};

    static std::shared_ptr<ProDJLinkPresence> create(std::shared_ptr<ProDJLinkNetwork> network,
                                                     Clock now, Wait wait);
    static std::shared_ptr<ProDJLinkPresence> create(std::shared_ptr<ProDJLinkNetwork> network,
                                                     Clock now, Wait wait, Options options);

    // Listens and takes part until the calling task is cancelled, then returns normally;
    // hands every packet heard to `hear` as well. Fails only when listening fails.
    boost::asio::awaitable<void> run(ProDJLinkNetwork::Hear hear);

    Status status() const;

private:
    ProDJLinkPresence(std::shared_ptr<ProDJLinkNetwork> network, Clock now, Wait wait,
                      Options options);

    // The last time a number was heard in use, and where.
    struct Seen {
        Instant at;
        ProDJLinkNetwork::Interface interface;
    };

    static boost::asio::awaitable<void> run(std::shared_ptr<ProDJLinkPresence> self,
                                            ProDJLinkNetwork::Hear hear);
    void note(const ProDJLinkNetwork::Heard& heard);
    bool isOwn(const ProDJLinkNetwork::Heard& heard, const std::string& name) const;
    void forget();
    bool taken(int number) const;
    std::optional<int> freeNumber() const;
    std::optional<ProDJLinkNetwork::Interface> playersInterface() const;
    void fallSilent(State state);
    boost::asio::awaitable<void> takePart();
    boost::asio::awaitable<void> act();
    boost::asio::awaitable<void> send(ProDJLink::Bytes packet, std::string target);

    const std::shared_ptr<ProDJLinkNetwork> network;
    const Clock now;
    const Wait wait;
    const Options options;

    std::map<int, Seen> players; // numbers 1 to 6 heard from players
    std::map<int, Seen> numbers; // every number heard from another device
    Status current;
    std::size_t joiningStep = 0; // the next joining packet while joining
    int stepsSinceKeepAlive = 0;
};

} // namespace bridge
