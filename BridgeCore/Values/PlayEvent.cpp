#include "Values/PlayEvent.hpp"

#include "Support/JsonFields.hpp"

#include <boost/json/value.hpp>

namespace bridge {

boost::json::object toJson(const PlayEvent& event, InstantCoding instants) {
    boost::json::object json{
        {"id", event.id},
        {"playedAt", instants.encode(event.playedAt)},
        {"title", event.title},
        {"artist", event.artist},
    };
    if (event.bpm) {
        json["bpm"] = *event.bpm;
    }
    if (event.key) {
        json["key"] = *event.key;
    }
    if (event.filePath) {
        json["filePath"] = *event.filePath;
    }
    if (event.durationMs) {
        json["durationMs"] = *event.durationMs;
    }
    return json;
}

std::optional<PlayEvent> playEventFromJson(const boost::json::value& json, InstantCoding instants) {
    try {
        const auto& object = json.as_object();
        return PlayEvent{
            .id = requiredField<std::string>(object, "id"),
            .playedAt = instants.decode(requiredValue(object, "playedAt")),
            .title = requiredField<std::string>(object, "title"),
            .artist = requiredField<std::string>(object, "artist"),
            .bpm = optionalField<double>(object, "bpm"),
            .key = optionalField<std::string>(object, "key"),
            .filePath = optionalField<std::string>(object, "filePath"),
            .durationMs = optionalField<std::int64_t>(object, "durationMs"),
        };
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace bridge
