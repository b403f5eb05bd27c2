#pragma once

#include "ProDJLink/ProDJLink.hpp"
#include "ProDJLink/RekordboxExport.hpp"

#include <boost/asio/awaitable.hpp>
#include <boost/asio/io_context.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bridge {

// A simulated Pioneer set on loopback addresses: two to four players, a DJM and a rekordbox
// laptop, each on an address of its own. Every device keeps itself alive towards the target
// (where a real set would broadcast); players and the mixer send their status only to devices
// that announced themselves to the set, and a device defends its number against anyone who
// uses it. Runs on the caller's io_context; not thread-safe.
class ProDJLinkSet {
public:
    struct Options {
        int players = 2;       // numbers 1 upward
        bool mixer = true;     // a DJM, number 33
        bool computer = false; // rekordbox, number 17
        // Device n sits at `subnet` + (hostBase + n).
        std::string subnet = "127.0.0.";
        int hostBase = 100;
        // Where the set "broadcasts", and the ports there.
        std::string target = "127.0.0.1";
        std::uint16_t announcePort = ProDJLink::announcePort;
        std::uint16_t beatPort = ProDJLink::beatPort;
        // Devices that announce themselves get status at their address and this port.
        std::uint16_t statusPort = ProDJLink::statusPort;
        // Where the set hears keep-alives and claims, on the target address; 0 picks a free one.
        std::uint16_t listenPort = 0;
        // The players' NFS portmapper port, the same at each player's address; 0 picks one
        // free at the first player's.
        std::uint16_t mediaPort = 0;
        std::chrono::milliseconds keepAliveEvery{1500};
        std::chrono::milliseconds statusEvery{200};
    };

    struct Step {
        std::chrono::milliseconds after; // wait before the action
        std::function<void(ProDJLinkSet&)> action;
    };

    // A datagram the set heard on its listening port.
    struct Received {
        std::chrono::steady_clock::time_point at;
        std::string from;
        std::optional<ProDJLink::Packet> packet; // absent when it does not read
    };

    static constexpr int mixerNumber = 33;
    static constexpr int computerNumber = 17;

    explicit ProDJLinkSet(boost::asio::io_context& context);
    ProDJLinkSet(boost::asio::io_context& context, Options options);
    ~ProDJLinkSet();
    ProDJLinkSet(const ProDJLinkSet&) = delete;
    ProDJLinkSet& operator=(const ProDJLinkSet&) = delete;

    // Binds every device's socket and the listening port, and starts sending.
    void start();
    // Closes everything; the devices fall silent.
    void stop();

    std::uint16_t listenPort() const;
    // Where the players serve their media: the portmapper port at each player's address.
    std::uint16_t mediaPort() const;
    std::string addressOf(int number) const;

    // A player loads a track from `trackPlayer`'s medium and waits at the cue point.
    void load(int player, int trackPlayer, ProDJLink::Slot slot, std::uint32_t rekordboxId,
              ProDJLink::TrackType type = ProDJLink::TrackType::rekordbox,
              std::optional<double> bpm = 120.0);
    void play(int player);
    void pause(int player);
    void cue(int player); // back to the cue point, stopped
    // Plays with the cue button held while its channel is off air, heard only in headphones.
    void preListen(int player);
    // The mixer's channel on air or not, and the player on it told so.
    void onAir(int channel, bool on);
    // A new medium in `player`'s `slot`: every player that played from the old one forgets its
    // track. The player serves the medium's export over NFS as PIONEER/rekordbox/export.pdb.
    void changeMedium(int player, ProDJLink::Slot slot, std::vector<ProDJLink::ExportTrack> tracks);
    // Cut off without a word: it sends and answers nothing (its media included) until switched
    // on, when it joins again with nothing loaded.
    void switchOff(int number);
    void switchOn(int number);

    // Runs the steps in order.
    boost::asio::awaitable<void> run(std::vector<Step> script);

    // The status a player sends now.
    ProDJLink::PlayerStatus status(int player) const;
    // The bytes of PIONEER/rekordbox/export.pdb on a player's medium; absent without one.
    std::optional<std::string> exportFile(int player, ProDJLink::Slot slot) const;
    // Everything heard on the listening port, in order.
    const std::vector<Received>& received() const;
    // The addresses status goes to now.
    std::vector<std::string> listeners() const;
    // Number-in-use packets sent so far.
    int defences() const;

private:
    void serveMedia();
    void putMedium(int player, ProDJLink::Slot slot);

    struct State;
    std::shared_ptr<State> state;
};

} // namespace bridge
