#include "Server/ServerJson.hpp"

#include "Server/PlainText.hpp"
#include "Server/ServerError.hpp"
#include "Support/JsonFields.hpp"
#include "Support/URLText.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <boost/url/parse.hpp>

#include <cmath>

namespace bridge {

namespace json = boost::json;

namespace {

std::optional<json::object> jsonObject(std::string_view bytes) {
    boost::system::error_code error;
    auto value = json::parse(bytes, error);
    if (error || !value.is_object()) {
        return std::nullopt;
    }
    return std::move(value.get_object());
}

std::optional<std::string> validURL(std::optional<std::string> text) {
    if (text && !parseURL(*text, boost::urls::parse_uri_reference)) {
        throw std::invalid_argument("the gig's link is no URL");
    }
    return text;
}

std::int64_t unixMilliseconds(Instant instant) {
    return std::llround((instant.time_since_epoch() + ReferenceClock::unixEpochOffset).count() *
                        1000.0);
}

} // namespace

std::optional<std::string> serverMessage(std::string_view bytes) {
    const auto object = jsonObject(bytes);
    if (!object) {
        return std::nullopt;
    }
    const auto* error = object->if_contains("error");
    if (!error || !error->is_string()) {
        return std::nullopt;
    }
    return std::string(error->get_string());
}

ServerError statusFailure(int status, const std::string& body) {
    if (status == 400 || status == 413) {
        return ServerError::refused(serverMessage(body).value_or("The server refused the songs."));
    }
    if (status == 401) {
        return ServerError::badKey;
    }
    if (status == 403) {
        return ServerError::refused(serverMessage(body).value_or("The server refused."));
    }
    if (status == 404) {
        const auto object = jsonObject(body);
        if (object && object->contains("error") && object->at("error").is_string()) {
            const auto* ended = object->if_contains("ended");
            return ended && ended->is_bool() && ended->get_bool() ? ServerError::gigEnded
                                                                  : ServerError::gigGone;
        }
    }
    return ServerError::unavailable;
}

SentPlays sentPlaysFromJson(std::string_view bytes) {
    const auto object = jsonObject(bytes);
    if (!object) {
        throw ServerError::unavailable;
    }
    try {
        SentPlays sent{.paused = optionalField<bool>(*object, "paused").value_or(false),
                       .plays = {}};
        for (const auto& element : requiredValue(*object, "plays").as_array()) {
            const auto& play = element.as_object();
            sent.plays.push_back(SentPlays::Play{
                .eventId = requiredField<std::string>(play, "eventId"),
                .taken = optionalField<std::int64_t>(play, "id").has_value(),
                .hidden = optionalField<bool>(play, "hidden"),
            });
        }
        return sent;
    } catch (const std::exception&) {
        throw ServerError::unavailable;
    }
}

json::object playObject(const PlayEvent& event, bool hidden) {
    json::object play{
        {"id", event.id},
        {"playedAt", unixMilliseconds(event.playedAt)},
        {"title", plain(event.title, 300, true).value_or("Unknown song")},
        {"artist", plain(event.artist, 300, true).value_or("Unknown artist")},
    };
    if (event.bpm && std::isfinite(*event.bpm) && *event.bpm > 0 && *event.bpm <= 400) {
        play["songBpm"] = *event.bpm;
    }
    if (event.key) {
        if (auto key = plain(*event.key, 10, false)) {
            play["key"] = std::move(*key);
        }
    }
    if (event.filePath && utf16Length(*event.filePath) <= 1000 &&
        plain(*event.filePath, 1000, true)) {
        play["filePath"] = *event.filePath;
    }
    if (event.durationMs && *event.durationMs >= 1 && *event.durationMs <= 86'399'999) {
        play["durationMs"] = *event.durationMs;
    }
    if (hidden) {
        play["hidden"] = true;
    }
    return play;
}

Gig gigFromJson(const json::value& value) {
    const auto& object = value.as_object();
    return Gig{
        .id = requiredField<std::int64_t>(object, "id"),
        .slug = requiredField<std::string>(object, "slug"),
        .name = requiredField<std::string>(object, "name"),
        .venue = optionalField<std::string>(object, "venue"),
        .sharing = requiredField<bool>(object, "sharing"),
        .url = *validURL(requiredField<std::string>(object, "url")),
        .screenUrl = validURL(optionalField<std::string>(object, "screenUrl")),
    };
}

} // namespace bridge
