#include "Readers/MusicPlayerReader.hpp"

#include "Support/SourceText.hpp"
#include "Values/SourceError.hpp"

#include <algorithm>

namespace bridge {

namespace {

// The track id a player gives when it has no track.
constexpr std::string_view noTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

bool heard(const MediaPlayerState& state) {
    return state.playbackStatus == "Playing" && state.volume.value_or(1.0) != 0.0;
}

std::optional<std::string> joined(const std::optional<std::vector<std::string>>& names) {
    if (!names) {
        return std::nullopt;
    }
    std::string all;
    for (const auto& name : *names) {
        if (const auto present = presentText(name)) {
            all += (all.empty() ? "" : ", ") + *present;
        }
    }
    return presentText(all);
}

// The song's identity: its URL, else the player's track id unless that says there is none.
std::optional<std::string> identityOf(const MediaPlayerState::Metadata& metadata) {
    if (auto url = presentText(metadata.url)) {
        return url;
    }
    auto id = presentText(metadata.trackId);
    return id == noTrack ? std::nullopt : id;
}

std::optional<Song> songOf(const std::optional<MediaPlayerState::Metadata>& metadata) {
    const auto title = metadata ? presentText(metadata->title) : std::nullopt;
    if (!title) {
        return std::nullopt;
    }
    const auto length = metadata->lengthMicroseconds;
    return Song{.filePath = identityOf(*metadata),
                .title = title,
                .artist = joined(metadata->artists),
                .lengthSeconds =
                    length ? std::optional(static_cast<double>(*length) / 1e6) : std::nullopt};
}

// Of several instances, the one the audience hears, else one with a song.
const MediaPlayerState& chosen(const std::vector<MediaPlayerInstance>& instances) {
    const auto rank = [](const MediaPlayerInstance& instance) {
        return heard(instance.state) ? 0 : songOf(instance.state.metadata) ? 1 : 2;
    };
    return std::min_element(instances.begin(), instances.end(),
                            [&](const auto& a, const auto& b) { return rank(a) < rank(b); })
        ->state;
}

} // namespace

MusicPlayerReader::MusicPlayerReader(std::shared_ptr<MediaPlayers> players, std::string player,
                                     std::string identity)
    : players(std::move(players)), player(std::move(player)), identity(std::move(identity)) {}

boost::asio::awaitable<VDJSnapshot> MusicPlayerReader::read() {
    std::vector<MediaPlayerInstance> instances;
    try {
        instances = co_await players->instances(player);
    } catch (const SourceError&) {
        throw;
    } catch (...) {
        throw SourceError::notAnswering;
    }
    if (instances.empty()) {
        throw SourceError::notAnswering;
    }
    co_return snapshot(chosen(instances));
}

VDJSnapshot MusicPlayerReader::snapshot(const MediaPlayerState& state) const {
    auto song = songOf(state.metadata);
    const bool audible = song && heard(state);
    return VDJSnapshot::oneDeck(std::move(song), audible, identity);
}

} // namespace bridge
