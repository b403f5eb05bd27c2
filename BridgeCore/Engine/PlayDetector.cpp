#include "Engine/PlayDetector.hpp"

#include "Values/FileKey.hpp"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace bridge {

namespace {

// Longest gap between two reads that still counts as time on air: a longer one means the
// computer slept or the source stalled, and that time is not credited.
constexpr Seconds longestStep{5.0};

// Songs of a day or more are no real lengths.
constexpr double longestSongSeconds = 86'400.0;

// The last path component without its extension; absent when nothing is left.
std::optional<std::string> fileName(std::string_view path) {
    while (!path.empty() && path.back() == '/') {
        path.remove_suffix(1);
    }
    if (const auto slash = path.rfind('/'); slash != std::string_view::npos) {
        path.remove_prefix(slash + 1);
    }
    if (const auto dot = path.rfind('.');
        dot != std::string_view::npos && dot > 0 && dot + 1 < path.size()) {
        path = path.substr(0, dot);
    }
    if (path.empty()) {
        return std::nullopt;
    }
    return std::string(path);
}

std::optional<std::int64_t> durationMs(std::optional<double> lengthSeconds) {
    if (!lengthSeconds || !std::isfinite(*lengthSeconds) || *lengthSeconds < 0 ||
        *lengthSeconds >= longestSongSeconds) {
        return std::nullopt;
    }
    return std::llround(*lengthSeconds * 1000.0);
}

// Only a finite tempo: JSON cannot carry others, and one such play would keep the queue
// file from ever being written again.
std::optional<double> finiteTempo(std::optional<double> bpm) {
    if (!bpm || !std::isfinite(*bpm)) {
        return std::nullopt;
    }
    return bpm;
}

} // namespace

std::string randomPlayId() {
    thread_local boost::uuids::random_generator generator;
    std::string id = boost::uuids::to_string(generator());
    std::transform(id.begin(), id.end(), id.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return id;
}

PlayDetector::PlayDetector(Seconds countAfter, IdMaker newId)
    : countAfter_(countAfter), newId(std::move(newId)) {}

std::vector<int> PlayDetector::onAir(const VDJSnapshot& snapshot) {
    std::vector<int> candidates;
    for (const auto& deck : snapshot.decks) {
        if (deck.loaded && deck.audible) {
            candidates.push_back(deck.deck);
        }
    }
    if (candidates.size() <= 1) {
        return candidates;
    }
    // Several audible decks: only the source's master deck plays, and without one none does.
    std::vector<int> master;
    if (snapshot.masterDeck) {
        std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(master),
                     [&](int deck) { return deck == *snapshot.masterDeck; });
    }
    return master;
}

bool PlayDetector::isSameSong(const Track& track, const Song& song) {
    if (track.filePath) {
        return song.filePath == track.filePath;
    }
    return !song.filePath && song.title == track.title;
}

std::vector<PlayEvent> PlayDetector::observe(const VDJSnapshot& snapshot, Instant now) {
    const Seconds gap = last ? now - *last : Seconds{0};
    const Seconds step = gap > Seconds{0} && gap <= longestStep ? gap : Seconds{0};
    last = now;
    const std::vector<int> airing = onAir(snapshot);

    std::vector<PlayEvent> events;
    for (const auto& deck : snapshot.decks) {
        if (!deck.loaded || !deck.song) {
            tracks.erase(deck.deck);
            continue;
        }
        const Song& song = *deck.song;
        auto [slot, added] = tracks.try_emplace(deck.deck);
        Track& track = slot->second;
        if (added || !isSameSong(track, song)) {
            track = Track{.filePath = song.filePath, .title = song.title};
        }
        if (std::find(airing.begin(), airing.end(), deck.deck) == airing.end()) {
            continue;
        }
        if (!track.since) {
            track.since = now;
        }
        track.onAir += step;
        if (track.onAir >= countAfter_ && !track.counted) {
            track.counted = true;
            events.push_back(makeEvent(song, *track.since));
        }
    }
    return events;
}

PlayEvent PlayDetector::makeEvent(const Song& song, Instant playedAt) const {
    std::optional<std::string> title = song.title;
    if (!title && song.filePath) {
        title = fileName(*song.filePath);
    }
    return PlayEvent{
        .id = newId(),
        .playedAt = playedAt,
        .title = title.value_or("Unknown song"),
        .artist = song.artist.value_or("Unknown artist"),
        .bpm = finiteTempo(song.bpm),
        .key = song.key,
        .filePath = song.filePath ? std::optional(FileKey::of(*song.filePath)) : std::nullopt,
        .durationMs = durationMs(song.lengthSeconds),
    };
}

} // namespace bridge
