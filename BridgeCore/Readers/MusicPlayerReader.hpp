#pragma once

#include "Readers/MediaPlayers.hpp"
#include "Values/DeckReading.hpp"

#include <memory>
#include <string>

namespace bridge {

// A music player on the desktop as a source, asked over MPRIS what it plays: any running
// instance of the player chosen. Nothing is kept between reads.
class MusicPlayerReader : public DeckReading {
public:
    // `player` is the player's bus name without an instance suffix; `identity` its name, which
    // the server hears as the program behind the source.
    MusicPlayerReader(std::shared_ptr<MediaPlayers> players, std::string player,
                      std::string identity);

    boost::asio::awaitable<VDJSnapshot> read() override;

    // The snapshot of one instance's state.
    VDJSnapshot snapshot(const MediaPlayerState& state) const;

private:
    std::shared_ptr<MediaPlayers> players;
    std::string player;
    std::string identity;
};

} // namespace bridge
