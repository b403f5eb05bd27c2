#include "WhatsNowPlayingSet.hpp"

namespace bridge {

void showOnTool(WhatsNowPlayingStandIn& tool, const SetSong& song,
                std::chrono::system_clock::time_point received) {
    tool.play(WhatsNowPlayingStandIn::Track{
        .title = song.title,
        .artist = song.artist,
        .filename = song.file(),
        .bpm = song.bpm,
        .key = song.key.empty() ? std::nullopt : std::optional(song.key),
        .duration = song.lengthSeconds,
        .received = received,
    });
}

} // namespace bridge
