#include "Readers/MprisScriptRunner.hpp"

#include "Readers/MediaPlayers.hpp"
#include "Readers/SpotifyReader.hpp"
#include "Values/SourceError.hpp"

#include <algorithm>
#include <optional>

namespace bridge {

namespace {

constexpr std::string_view spotify = "org.mpris.MediaPlayer2.spotify";
constexpr std::string_view spotifyPath = "/com/spotify/";
// What the script gives for a value the player does not have.
constexpr std::string_view missingValue = "missing value";

// A reply field: tabs would split it, so they become blanks.
std::string field(std::string text) {
    std::replace(text.begin(), text.end(), '\t', ' ');
    return text;
}

// The Spotify URI of the item, which Spotify gives as the URI itself or as the object path
// /com/spotify/<kind>/<id> (tracks, episodes, ads, local files). The URI separates the parts
// of an id by colons where the path has slashes.
std::string spotifyId(std::string id) {
    const auto kindEnd = id.find('/', spotifyPath.size());
    if (id.starts_with(spotifyPath) && kindEnd != std::string::npos &&
        kindEnd > spotifyPath.size()) {
        id = "spotify:" + id.substr(spotifyPath.size());
        std::replace(id.begin(), id.end(), '/', ':');
    }
    return field(std::move(id));
}

std::string joined(const std::vector<std::string>& names) {
    std::string all;
    for (const auto& name : names) {
        all += (all.empty() ? "" : ", ") + name;
    }
    return field(std::move(all));
}

// The script's reply for the player's state; absent when it makes no sense.
std::optional<std::string> replyFor(const MediaPlayerState& state) {
    if (!state.playbackStatus) {
        return std::nullopt;
    }
    if (*state.playbackStatus == "Stopped") {
        return "stopped";
    }
    if ((*state.playbackStatus != "Playing" && *state.playbackStatus != "Paused") ||
        !state.metadata) {
        return std::nullopt;
    }
    const auto& metadata = *state.metadata;
    const auto length = metadata.lengthMicroseconds;
    return std::string(*state.playbackStatus == "Playing" ? "playing" : "paused") + '\t' +
           spotifyId(metadata.trackId.value_or("")) + '\t' + field(metadata.title.value_or("")) +
           '\t' + joined(metadata.artists.value_or(std::vector<std::string>{})) + '\t' +
           (length ? std::to_string(*length / 1000) : std::string(missingValue));
}

} // namespace

MprisScriptRunner::MprisScriptRunner(std::shared_ptr<MediaPlayers> players)
    : players(std::move(players)) {}

boost::asio::awaitable<std::string> MprisScriptRunner::run(std::string script) {
    if (script != SpotifyReader::script) {
        throw ScriptError::failed;
    }
    std::optional<MediaPlayerState> state;
    try {
        state = co_await players->player(std::string(spotify));
    } catch (const SourceError& error) {
        throw error == SourceError::notAllowed ? ScriptError::notAllowed : ScriptError::failed;
    }
    if (!state) {
        co_return "not running";
    }
    const auto reply = replyFor(*state);
    if (!reply) {
        throw ScriptError::failed;
    }
    co_return *reply;
}

} // namespace bridge
