#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace bridge {

// One song of a set that a stand-in plays by itself.
struct SetSong {
    std::string title;
    std::string artist;
    double lengthSeconds = 0;
    std::optional<double> bpm;
    std::string key;

    // A made-up path of the song's file: the same for the same artist and title.
    std::string file() const;
};

// A small set of made-up songs.
std::vector<SetSong> builtInSet();

// Songs one a line as "title|artist|length|bpm|key", the length in seconds, the last two
// optional; empty lines and lines that start with "#" are left out. Throws
// std::invalid_argument naming the first line that is not such a song, or when there is none.
std::vector<SetSong> readSet(std::istream& lines);

// Plays a set on a clock passed in: step 0 at `start`, then a step every `every`. Step n puts
// song n of the set on air, from the first song again after the last.
class SetPlayer {
public:
    using Clock = std::chrono::steady_clock;
    // Puts `song` on air; `next` is the song that follows it.
    using Show = std::function<void(std::uint64_t step, const SetSong& song, const SetSong& next)>;

    // Throws std::invalid_argument for an empty set or a step that is not positive.
    SetPlayer(std::vector<SetSong> songs, Clock::duration every, Clock::time_point start,
              Show show);

    // Shows the step due at `now` unless it is the one shown last (so a late call skips the
    // steps it missed); returns when the next step is due.
    Clock::time_point advance(Clock::time_point now);

private:
    std::vector<SetSong> songs_;
    Clock::duration every_;
    Clock::time_point start_;
    Show show_;
    std::optional<std::uint64_t> shown_;
};

// Runs a player until it is destroyed: the first step at once, the others on a thread of
// its own, each at its time. A failure of the first step is thrown to the caller.
class SetRunner {
public:
    explicit SetRunner(SetPlayer player);

private:
    std::jthread thread_;
};

} // namespace bridge
