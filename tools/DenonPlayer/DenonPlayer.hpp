#pragma once

#include "StageLinQ/StageLinQ.hpp"

#include <boost/asio/awaitable.hpp>
#include <boost/asio/io_context.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bridge {

// A simulated Engine OS player on 127.0.0.1: it announces itself in discovery frames, serves
// a main and a state-map service over TCP, records what a client subscribes to, and sends
// state changes as a real player does. Runs on the caller's io_context; not thread-safe.
class DenonPlayer {
public:
    struct Options {
        std::string name = "sc6000";
        std::string software = "JP13";
        std::string version = "2.3.1";
        StageLinQ::Bytes token = StageLinQ::newToken();
        bool refuseSessions = false; // close every connection at once, as mixers do
        // How often it sends a reference of its own on each main connection, besides
        // answering each of the client's.
        std::chrono::milliseconds referenceEvery{5000};
    };

    struct Step {
        std::chrono::milliseconds after; // wait before the action
        std::function<void(DenonPlayer&)> action;
    };

    explicit DenonPlayer(boost::asio::io_context& context);
    DenonPlayer(boost::asio::io_context& context, Options options);
    ~DenonPlayer();
    DenonPlayer(const DenonPlayer&) = delete;
    DenonPlayer& operator=(const DenonPlayer&) = delete;

    // Opens the services on fresh ports. A player that comes back gets a new main port.
    void start();
    // Closes the services and every connection, as a player that is switched off.
    void disconnect();
    // Stops answering, as a player whose power or cable is cut: it sends nothing more, reads
    // nothing more and announces nothing until started again, and it closes nothing, so its
    // connections stay open on the other side.
    void silence();

    // Its discovery frame, with the current main port (0 while disconnected).
    StageLinQ::Bytes frame() const;
    // Sends its frame to 127.0.0.1:`port` every `every`, until cancelled.
    boost::asio::awaitable<void> announce(std::uint16_t port, std::chrono::milliseconds every);

    // Changes a state and sends it to every client that subscribed to it.
    void set(const std::string& path, const std::string& json);
    void load(int deck, const std::string& title, const std::string& artist);
    void play(int deck, bool playing);
    void fader(int deck, double position);
    void crossfader(double position);
    void playerNumber(int number); // as real players send it: a text
    void deckCount(int count);

    // Runs the steps in order.
    boost::asio::awaitable<void> run(std::vector<Step> script);

    const StageLinQ::Bytes& token() const;
    std::uint16_t mainPort() const;
    // The paths subscribed on the latest state-map connection, in arrival order.
    std::vector<std::string> subscriptions() const;
    // Main connections accepted (refused ones included), sessions begun on them, and
    // keep-alive references received so far.
    int connections() const;
    int sessions() const;
    int references() const;

private:
    struct State;
    // Closes the services and the connections of the current power.
    void closeServices();

    std::shared_ptr<State> state;
};

} // namespace bridge
