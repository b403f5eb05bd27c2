#pragma once

#include "Support/Instant.hpp"
#include "Values/PlayEvent.hpp"
#include "Values/VDJSnapshot.hpp"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bridge {

// A fresh random UUID in its canonical text form, with upper-case hexadecimal digits.
std::string randomPlayId();

// Decides when a song counts as played: once it has been on air for `countAfter` in all,
// each loaded song once. Owned by one engine; fed every successful read with its time.
class PlayDetector {
public:
    using IdMaker = std::function<std::string()>;

    explicit PlayDetector(Seconds countAfter, IdMaker newId = randomPlayId);

    // The plays that the snapshot completes, at most one per deck, in deck order.
    std::vector<PlayEvent> observe(const VDJSnapshot& snapshot, Instant now);

    // The numbers of the decks on air: loaded and audible, and when several are, only the
    // source's master deck among them.
    static std::vector<int> onAir(const VDJSnapshot& snapshot);

    Seconds countAfter() const { return countAfter_; }

private:
    struct Track {
        std::optional<std::string> filePath;
        std::optional<std::string> title;
        Seconds onAir{0};
        std::optional<Instant> since; // first seen on air; the play's playedAt
        bool counted = false;
    };

    static bool isSameSong(const Track& track, const Song& song);
    PlayEvent makeEvent(const Song& song, Instant playedAt) const;

    Seconds countAfter_;
    IdMaker newId;
    std::map<int, Track> tracks;
    std::optional<Instant> last;
};

} // namespace bridge
