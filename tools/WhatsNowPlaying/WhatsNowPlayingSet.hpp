#pragma once

#include "ScriptedSet.hpp"
#include "WhatsNowPlayingStandIn.hpp"

#include <chrono>

namespace bridge {

// The tool receives `song` of a set at `received`, with its file, tempo, key and length.
void showOnTool(WhatsNowPlayingStandIn& tool, const SetSong& song,
                std::chrono::system_clock::time_point received);

} // namespace bridge
