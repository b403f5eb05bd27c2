#include "ScriptedSet.hpp"

#include "Support/Numbers.hpp"

#include <condition_variable>
#include <istream>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace bridge {

namespace {

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream input(line);
    for (std::string field; std::getline(input, field, '|');) {
        fields.push_back(field);
    }
    return fields;
}

std::optional<SetSong> songOf(const std::string& line) {
    auto fields = fieldsOf(line);
    if (fields.size() < 3 || fields.size() > 5 || fields[0].empty() || fields[1].empty()) {
        return std::nullopt;
    }
    const auto length = parseNumber<double>(fields[2]);
    fields.resize(5);
    const auto bpm = parseNumber<double>(fields[3]);
    if (!length || *length <= 0 || (!fields[3].empty() && (!bpm || *bpm <= 0))) {
        return std::nullopt;
    }
    return SetSong{.title = fields[0],
                   .artist = fields[1],
                   .lengthSeconds = *length,
                   .bpm = bpm,
                   .key = fields[4]};
}

} // namespace

std::string SetSong::file() const {
    return "/home/dj/Music/Set/" + artist + " - " + title + ".mp3";
}

std::vector<SetSong> builtInSet() {
    return {
        {"Midnight Tram", "The Lanterns", 212, 122, "8A"},
        {"Paper Moons", "Ada Vale", 247, 118, "5A"},
        {"Salt & Honey", "Orchid Avenue", 198, 124, "10B"},
        {"Café Lumière", "Les Nuits Claires", 231, 120, "3A"},
        {"Slow Orbit", "Kestrel Bloom", 264, 110, "11A"},
        {"Glass Harbour (Extended Mix)", "Nightjar", 389, 126, "6A"},
        {"Everything We Didn’t Say", "The Quiet Hours", 226, 116, "2B"},
        {"Copper Sky", "June Okafor", 205, 123, "9A"},
        {"Under the Blue Awning", "Marco Ferrante Trio", 254, 112, "4B"},
        {"Tidewater", "Linnea Strand", 219, 121, "7A"},
    };
}

std::vector<SetSong> readSet(std::istream& lines) {
    std::vector<SetSong> songs;
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        auto song = songOf(line);
        if (!song) {
            throw std::invalid_argument("line " + std::to_string(number) +
                                        " is not title|artist|length|bpm|key: " + line);
        }
        songs.push_back(std::move(*song));
    }
    if (songs.empty()) {
        throw std::invalid_argument("the set has no songs");
    }
    return songs;
}

SetPlayer::SetPlayer(std::vector<SetSong> songs, Clock::duration every, Clock::time_point start,
                     Show show)
    : songs_(std::move(songs)), every_(every), start_(start), show_(std::move(show)) {
    if (songs_.empty() || every_ <= Clock::duration::zero()) {
        throw std::invalid_argument("a set needs songs and a step longer than nothing");
    }
}

SetPlayer::Clock::time_point SetPlayer::advance(Clock::time_point now) {
    const auto step =
        now <= start_ ? std::uint64_t{0} : static_cast<std::uint64_t>((now - start_) / every_);
    if (shown_ != step) {
        show_(step, songs_[step % songs_.size()], songs_[(step + 1) % songs_.size()]);
        shown_ = step;
    }
    return start_ + every_ * static_cast<Clock::rep>(step + 1);
}

SetRunner::SetRunner(SetPlayer player) {
    // The first step on the caller's thread, so that a failure to show it reaches the caller.
    const auto first = player.advance(SetPlayer::Clock::now());
    thread_ = std::jthread([player = std::move(player),
                            next = first](std::stop_token stop) mutable {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        // Nothing notifies: each wait ends at the next step or when the runner stops.
        while (!wake.wait_until(lock, stop, next, [] { return false; }) && !stop.stop_requested()) {
            next = player.advance(SetPlayer::Clock::now());
        }
    });
}

} // namespace bridge
