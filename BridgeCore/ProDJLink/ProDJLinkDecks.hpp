#pragma once

#include "ProDJLink/MediaFiles.hpp"
#include "ProDJLink/ProDJLinkNetwork.hpp"
#include "ProDJLink/RekordboxExport.hpp"
#include "Support/Instant.hpp"
#include "Values/VDJSnapshot.hpp"

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace bridge {

// A medium in a player: the player's number and the slot.
struct Medium {
    int player = 0;
    MediaSlot slot = MediaSlot::usb;

    auto operator<=>(const Medium&) const = default;
};

// What a medium's rekordbox export says of a track, as far as it is known yet.
struct Lookup {
    enum class State {
        pending, // the export is still being read
        found,
        unknown, // no export, or no such track in it
    };
    State state = State::pending;
    const ProDJLink::ExportTrack* track = nullptr; // while found
};

// What the players and the mixer said lately, as decks: a deck per player heard within
// `gone`, numbered by the player, on air while it plays and its mixer channel is on air (or
// while it plays, without a mixer on the network). Plain state of the bridge thread.
class ProDJLinkDecks {
public:
    // A player unheard for as long has been switched off or unplugged.
    static constexpr Seconds gone{4.0};

    void note(const ProDJLinkNetwork::Heard& heard, Instant now);

    // Whether any player, or that player, was heard within `gone`: its status or, before the
    // bridge has joined, its keep-alives.
    bool anyPlayer(Instant now) const;
    bool heard(int player, Instant now) const;
    // The media the loaded rekordbox tracks come from, each with the number of loads from it
    // so far: a load after a check of the medium may come from another medium in the slot.
    std::map<Medium, std::uint64_t> mediaInUse(Instant now) const;
    std::optional<std::string> addressOf(int player) const;
    // The interface the players were last heard on, as "eth0, 192.168.1.20".
    std::optional<std::string> network() const;

    // A loaded track is looked up by its medium, its id and the medium's load count when it
    // was loaded.
    using LookUp = std::function<Lookup(Medium, std::uint32_t id, std::uint64_t load)>;
    VDJSnapshot snapshot(Instant now, const LookUp& lookup) const;

private:
    struct Player {
        ProDJLink::PlayerStatus status;
        std::string address;
        Instant heard;
        std::uint64_t load = 0; // its medium's load count when its track was loaded
    };

    bool mixerOnNetwork(Instant now) const;
    DeckSnapshot deckOf(const Player& player, bool judgedByMixer, const LookUp& lookup) const;
    void heardPlayer(const ProDJLink::PlayerStatus& status, const std::string& from, Instant now);

    std::map<int, Player> players;
    std::map<Medium, std::uint64_t> loads; // tracks loaded from each medium, ever
    std::map<int, Instant> alive;          // players' last keep-alives
    std::map<int, std::string> addresses;  // every device's address, by number
    std::optional<Instant> mixerHeard;
    ProDJLinkNetwork::Interface interface;
};

} // namespace bridge
