#pragma once

#include "PlayQueue/QueuedPlay.hpp"
#include "Support/Instant.hpp"
#include "Values/PlayEvent.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace bridge {

// One play in the queue and what the server knows of it.
struct Entry {
    PlayEvent event;
    std::optional<std::int64_t> gigId; // absent while the play waits for a gig
    bool sent = false;                 // the server answered for it, or the queue gave it up
    bool hidden = false;               // the DJ wants it hidden from the audience
    bool hiddenOnServer = false;       // the hidden state the server last confirmed
    bool removed = false;              // the DJ took it back
    bool removedOnServer = false;
    bool notTaken = false; // not taken by the server, or given up after refusals
    int refusals = 0;
    std::optional<Instant> retryAt; // a refused play is not tried again before this
    std::optional<std::string> refusal;

    // No gig yet.
    bool isWaiting() const { return !gigId; }
    // The server has yet to hear of the play, of its hidden state, or of its removal.
    bool owesServer() const;
    // Nothing more will be sent for this play.
    bool isSettled() const;
    QueuedPlay::Status status() const;
    QueuedPlay queuedPlay() const { return {event, status(), refusal}; }

    bool operator==(const Entry&) const = default;
};

} // namespace bridge
