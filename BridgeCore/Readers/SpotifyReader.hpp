#pragma once

#include "Readers/ScriptRunning.hpp"
#include "Values/DeckReading.hpp"

#include <memory>
#include <string_view>

namespace bridge {

// The Spotify app as a source, asked through a script what it plays. Nothing is kept
// between reads.
class SpotifyReader : public DeckReading {
public:
    explicit SpotifyReader(std::shared_ptr<ScriptRunning> runner);

    boost::asio::awaitable<VDJSnapshot> read() override;

    // The snapshot a reply of the script stands for; throws SourceError.
    static VDJSnapshot snapshot(std::string_view reply);

    // The one script the reader runs. It never starts Spotify and gives up on it after two
    // seconds. Its reply is "not running", "stopped", or the player state, track id, name,
    // artist and duration separated by tabs.
    static constexpr std::string_view script =
        "if application \"Spotify\" is running then\n"
        "  with timeout of 2 seconds\n"
        "    tell application \"Spotify\"\n"
        "      set s to player state as string\n"
        "      if s is \"stopped\" then return \"stopped\"\n"
        "      set t to current track\n"
        "      return s & tab & (id of t) & tab & (name of t) & tab & (artist of t) & tab & "
        "(duration of t)\n"
        "    end tell\n"
        "  end timeout\n"
        "else\n"
        "  return \"not running\"\n"
        "end if";

private:
    std::shared_ptr<ScriptRunning> runner;
};

} // namespace bridge
