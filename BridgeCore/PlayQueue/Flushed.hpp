#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace bridge {

// What one delivery of the queue to the server came to.
struct Flushed {
    bool talked = false;                    // the server answered at least once
    std::optional<bool> paused;             // from the last answered batch
    std::optional<std::string> refused;     // the last refusal's message
    std::optional<std::int64_t> refusedGig; // the gig of that refusal
    std::set<std::int64_t> endedGigs;       // gigs the DJ ended; what they were owed is settled

    bool operator==(const Flushed&) const = default;
};

} // namespace bridge
