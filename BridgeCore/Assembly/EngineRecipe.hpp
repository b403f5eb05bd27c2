#pragma once

#include "StageLinQ/StageLinQ.hpp"
#include "Values/Source.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bridge {

class BridgeEngine;
class MediaPlayers;

// Everything an engine is built from, in plain values, so that the application can say
// what to run without seeing the core's machinery.
struct EngineRecipe {
    std::string server; // the effective server's base URL
    std::string key;
    Source source = Source::virtualDJ;
    int vdjPort = 8080;
    std::string vdjPassword;
    std::vector<int> decks{1, 2}; // VirtualDJ's decks to follow
    // Every recipe its own: each start of the Denon source announces a fresh token.
    std::vector<std::uint8_t> denonToken = StageLinQ::newToken();
    std::string player;     // the music player chosen: its bus name without an instance
    std::string playerName; // and its identity
    // The desktop's media players, which answer on the application's own thread.
    std::shared_ptr<MediaPlayers> mediaPlayers;
    std::function<bool()> djayIsRunning;
    std::function<bool()> mixxxIsRunning;
    std::filesystem::path queueFile;
    int countAfter = 10; // seconds
    bool sharing = true;

    // VirtualDJ's decks for a deck count: 1 through `count`, just deck 1 below 2.
    static std::vector<int> vdjDecks(int count);
};

using EngineMaker = std::function<std::shared_ptr<BridgeEngine>()>;

// Makes the recipe's reader and server client once; every call of the maker then makes a
// fresh engine on them with a new queue on the file and a new detector.
EngineMaker engineMaker(EngineRecipe recipe);

} // namespace bridge
