#pragma once

#include "Support/Instant.hpp"

#include <boost/json/fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace bridge {

// One play: a song that has been on air for the share delay.
struct PlayEvent {
    std::string id;   // unique; the queue and the server know the play by it
    Instant playedAt; // when the song first went on air
    std::string title;
    std::string artist;
    std::optional<double> bpm;
    std::optional<std::string> key;
    std::optional<std::string> filePath; // as made by FileKey::of, never a plain local path
    std::optional<std::int64_t> durationMs;

    bool operator==(const PlayEvent&) const = default;
};

// How a JSON writer that embeds plays writes its instants.
struct InstantCoding {
    boost::json::value (*encode)(Instant);
    // Throws when the value is not an instant of this form.
    Instant (*decode)(const boost::json::value&);
};

boost::json::object toJson(const PlayEvent& event, InstantCoding instants);

// The play of a JSON object: "id", "playedAt", "title" and "artist" are required, the
// others optional (absent when missing or null); other keys are ignored. Absent when the
// value is not such an object.
std::optional<PlayEvent> playEventFromJson(const boost::json::value& json, InstantCoding instants);

} // namespace bridge
