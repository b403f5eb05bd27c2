#include "ProDJLink/ProDJLinkDecks.hpp"

#include <algorithm>

namespace bridge {

namespace {

using namespace ProDJLink;

// A player's number: mixers and computers use other numbers.
constexpr int lastPlayer = 6;
constexpr std::string_view unknownTrack = "Unknown track";

bool isPlayer(int number) {
    return number >= 1 && number <= lastPlayer;
}

std::optional<MediaSlot> slotOf(Slot slot) {
    switch (slot) {
    case Slot::sd:
        return MediaSlot::sd;
    case Slot::usb:
        return MediaSlot::usb;
    case Slot::none:
    case Slot::cd:
    case Slot::collection:
    case Slot::other:
        return std::nullopt;
    }
    return std::nullopt;
}

// Where a rekordbox track on a player's medium is found; absent for what has no export.
std::optional<Medium> mediumOf(const PlayerStatus& status) {
    const auto slot = slotOf(status.trackSlot);
    if (status.trackType != TrackType::rekordbox || status.playState == PlayState::empty || !slot ||
        status.rekordboxId == 0 || !isPlayer(status.trackPlayer)) {
        return std::nullopt;
    }
    return Medium{status.trackPlayer, *slot};
}

// Playing as the audience would hear it: cueing and pre-listening on a cued deck never are.
bool plays(const PlayerStatus& status) {
    return status.playState == PlayState::playing || status.playState == PlayState::looping;
}

} // namespace

void ProDJLinkDecks::note(const ProDJLinkNetwork::Heard& heard, Instant now) {
    std::visit(
        [&](const auto& packet) {
            using Packet = std::decay_t<decltype(packet)>;
            if constexpr (std::is_same_v<Packet, PlayerStatus>) {
                heardPlayer(packet, heard.from, now);
                interface = heard.interface;
            } else if constexpr (std::is_same_v<Packet, KeepAlive>) {
                addresses[packet.number] = packet.address;
                if (packet.kind == DeviceKind::mixer) {
                    mixerHeard = now;
                } else if (packet.kind == DeviceKind::player && isPlayer(packet.number)) {
                    // Found, though its status comes only once the bridge has joined.
                    alive[packet.number] = now;
                    interface = heard.interface;
                }
            } else if constexpr (std::is_same_v<Packet, ChannelsOnAir> ||
                                 std::is_same_v<Packet, MixerStatus>) {
                mixerHeard = now;
            }
        },
        heard.packet);
}

void ProDJLinkDecks::heardPlayer(const PlayerStatus& status, const std::string& from, Instant now) {
    if (!isPlayer(status.number)) {
        return;
    }
    auto& player = players[status.number];
    auto load = player.load;
    if (const auto medium = mediumOf(status);
        medium &&
        (mediumOf(player.status) != medium || player.status.rekordboxId != status.rekordboxId)) {
        load = ++loads[*medium];
    }
    player = Player{status, from, now, load};
    addresses[status.number] = from;
}

bool ProDJLinkDecks::anyPlayer(Instant now) const {
    return std::any_of(alive.begin(), alive.end(),
                       [&](const auto& entry) { return heard(entry.first, now); }) ||
           std::any_of(players.begin(), players.end(),
                       [&](const auto& entry) { return heard(entry.first, now); });
}

bool ProDJLinkDecks::heard(int player, Instant now) const {
    const auto status = players.find(player);
    const auto keptAlive = alive.find(player);
    return (status != players.end() && !waitIsOver(status->second.heard, gone, now)) ||
           (keptAlive != alive.end() && !waitIsOver(keptAlive->second, gone, now));
}

bool ProDJLinkDecks::mixerOnNetwork(Instant now) const {
    return mixerHeard && !waitIsOver(*mixerHeard, gone, now);
}

std::map<Medium, std::uint64_t> ProDJLinkDecks::mediaInUse(Instant now) const {
    std::map<Medium, std::uint64_t> media;
    for (const auto& [number, player] : players) {
        if (const auto medium = mediumOf(player.status);
            medium && !waitIsOver(player.heard, gone, now)) {
            media[*medium] = loads.at(*medium);
        }
    }
    return media;
}

std::optional<std::string> ProDJLinkDecks::addressOf(int player) const {
    const auto found = addresses.find(player);
    return found == addresses.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::string> ProDJLinkDecks::network() const {
    if (interface.address.empty()) {
        return std::nullopt;
    }
    return interface.name.empty() ? interface.address : interface.name + ", " + interface.address;
}

VDJSnapshot ProDJLinkDecks::snapshot(Instant now, const LookUp& lookup) const {
    VDJSnapshot snapshot;
    const bool judgedByMixer = mixerOnNetwork(now);
    for (const auto& [number, player] : players) {
        if (waitIsOver(player.heard, gone, now)) {
            continue;
        }
        snapshot.decks.push_back(deckOf(player, judgedByMixer, lookup));
        if (player.status.flags.master) {
            snapshot.masterDeck = number;
        }
    }
    snapshot.network = network();
    return snapshot;
}

DeckSnapshot ProDJLinkDecks::deckOf(const Player& player, bool judgedByMixer,
                                    const LookUp& lookup) const {
    const auto& status = player.status;
    DeckSnapshot deck{.deck = status.number};
    if (status.trackType == TrackType::none || status.playState == PlayState::empty) {
        return deck;
    }
    deck.loaded = true;
    const auto medium = mediumOf(status);
    const auto looked =
        medium ? lookup(*medium, status.rekordboxId, player.load) : Lookup{Lookup::State::unknown};
    if (looked.state == Lookup::State::pending) {
        return deck; // its song shows once the export has been read
    }
    if (looked.state == Lookup::State::unknown) {
        // Shown on its deck, never shared: nothing tells which song it is.
        deck.song = Song{.title = std::string(unknownTrack), .bpm = status.tempo()};
        return deck;
    }
    const auto& track = *looked.track;
    deck.song = Song{.filePath = OneDeck::file("prodjlink", track.artist, track.title),
                     .title = track.title.empty() ? std::nullopt : std::optional(track.title),
                     .artist = track.artist,
                     .bpm = status.tempo(),
                     .lengthSeconds = track.lengthSeconds};
    deck.audible = plays(status) && (!judgedByMixer || status.flags.onAir);
    return deck;
}

} // namespace bridge
