#pragma once

#include "ScriptedSet.hpp"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// The command-line flags of a source stand-in that can play a set by itself:
//   --play-set        play the built-in set
//   --set FILE        play the songs in FILE instead (see readSet)
//   --every SECONDS   the time from one song to the next, 30 unless given
struct SetFlags {
    static constexpr std::string_view usage = "[--play-set] [--set FILE] [--every SECONDS]";

    bool play = false;
    std::optional<std::string> file;
    std::chrono::milliseconds every = std::chrono::seconds(30);

    // Takes the flag `argv[i]`, and its value after it, moving `i` onto the last argument it
    // took. False when `argv[i]` is none of these flags or its value is missing or wrong.
    bool take(int argc, const char* const* argv, int& i);

    // The songs to play. Throws std::runtime_error when the file cannot be read, and
    // std::invalid_argument when it holds no set.
    std::vector<SetSong> songs() const;

    // Starts playing the set through `show` when a flag asked for it. Throws as `songs`
    // does, and what the first step throws.
    std::optional<SetRunner> run(SetPlayer::Show show) const;
};

} // namespace bridge
