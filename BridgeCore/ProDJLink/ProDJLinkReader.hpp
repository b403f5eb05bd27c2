#pragma once

#include "ProDJLink/MediaFiles.hpp"
#include "ProDJLink/ProDJLinkNetwork.hpp"
#include "ProDJLink/ProDJLinkPresence.hpp"
#include "Support/Instant.hpp"
#include "Values/DeckReading.hpp"

#include <memory>

namespace bridge {

// The reader of Pioneer DJ players: takes part in their network as a virtual player so that
// they send their state, follows the players and the mixer, and names each loaded track from
// the rekordbox export on the medium it was loaded from, read once per medium and again when
// the medium changes. Starts with the first read; releasing the reader ends everything.
class ProDJLinkReader : public DeckReading {
public:
    using Clock = ProDJLinkPresence::Clock;
    using Wait = ProDJLinkPresence::Wait;

    // `wait` paces the presence's packets (BridgeLoop::sleep on the real clock).
    ProDJLinkReader(std::shared_ptr<ProDJLinkNetwork> network, std::shared_ptr<MediaFiles> media,
                    Clock now, Wait wait, ProDJLinkPresence::Options options = {});
    ~ProDJLinkReader() override;
    ProDJLinkReader(const ProDJLinkReader&) = delete;
    ProDJLinkReader& operator=(const ProDJLinkReader&) = delete;

    // Fails with SourceError::notAnswering while no player is heard.
    boost::asio::awaitable<VDJSnapshot> read() override;

private:
    class Shared;
    std::shared_ptr<Shared> shared;
};

} // namespace bridge
