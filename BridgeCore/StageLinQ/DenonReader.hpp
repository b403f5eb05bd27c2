#pragma once

#include "StageLinQ/StageLinQNetwork.hpp"
#include "Support/Instant.hpp"
#include "Values/DeckReading.hpp"

#include <functional>
#include <memory>

namespace bridge {

// The reader of Denon DJ players: keeps discovery running, follows up to eight players and
// turns their state into snapshots. Discovery starts with the first read; releasing the
// reader cancels discovery and every session.
class DenonReader : public DeckReading {
public:
    using Clock = std::function<Instant()>;

    DenonReader(std::shared_ptr<StageLinQNetwork> network, StageLinQ::Bytes token,
                Clock now = ReferenceClock::now);
    ~DenonReader() override;

    DenonReader(const DenonReader&) = delete;
    DenonReader& operator=(const DenonReader&) = delete;

    // Fails with SourceError::notAnswering while no device is followed.
    boost::asio::awaitable<VDJSnapshot> read() override;

private:
    class Shared;
    std::shared_ptr<Shared> shared;
};

} // namespace bridge
