#pragma once

#include "PlayQueue/Entry.hpp"
#include "Values/PlayEvent.hpp"

#include <string>

namespace bridge::testing {

inline Instant at(double seconds) {
    return instantFromReferenceSeconds(800'000'000.0 + seconds);
}

inline PlayEvent play(std::string id, double playedAt = 0, std::string title = "Song",
                      std::string artist = "Artist") {
    return PlayEvent{.id = std::move(id),
                     .playedAt = at(playedAt),
                     .title = std::move(title),
                     .artist = std::move(artist)};
}

inline Entry entry(std::string id, std::optional<std::int64_t> gigId = 1) {
    return Entry{.event = play(std::move(id)), .gigId = gigId};
}

} // namespace bridge::testing
