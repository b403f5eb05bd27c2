#pragma once

#include "Values/Gig.hpp"
#include "Values/PlayEvent.hpp"
#include "Values/SourceState.hpp"

#include <boost/asio/awaitable.hpp>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace bridge {

// The server's answer to sent plays.
struct SentPlays {
    struct Play {
        std::string eventId;
        bool taken = false;
        std::optional<bool> hidden; // the hidden state the server now holds

        bool operator==(const Play&) const = default;
    };

    bool paused = false; // the server does not take this bridge's plays now
    std::vector<Play> plays;

    bool operator==(const SentPlays&) const = default;
};

// What the play queue needs of the server. Failures are ServerError, except where noted.
class BridgeServer {
public:
    virtual ~BridgeServer() = default;
    virtual boost::asio::awaitable<SentPlays>
    send(std::vector<PlayEvent> plays, std::set<std::string> hidden, std::int64_t gigId) = 0;
    virtual boost::asio::awaitable<void> setHidden(std::string eventId, std::int64_t gigId,
                                                   bool hidden) = 0;
    virtual boost::asio::awaitable<void> remove(std::string eventId, std::int64_t gigId) = 0;
};

// What the engine needs of the server besides the queue's part.
class GigServer : public BridgeServer {
public:
    // The DJ's live gig, absent when there is none. A gig that does not decode fails with
    // its decoding failure.
    virtual boost::asio::awaitable<std::optional<Gig>>
    currentGig(SourceState state, std::optional<std::string> program) = 0;
    virtual boost::asio::awaitable<void> endGig(std::int64_t gigId) = 0;
};

} // namespace bridge
