#pragma once

#include "Values/Source.hpp"

#include <optional>
#include <string_view>

namespace bridge::SettingsRules {

inline constexpr int fewestDecks = 1;
inline constexpr int mostDecks = 4;
inline constexpr int defaultDecks = 2;
inline constexpr int shortestDelay = 10;
inline constexpr int longestDelay = 120;
inline constexpr int defaultDelay = 10;

// Complete enough to build an engine: a safe server, a key, and what the source needs: for
// VirtualDJ a password and a port, for a music player the player.
bool isComplete(std::string_view server, std::string_view key, Source source,
                std::string_view vdjPassword, int vdjPort, std::string_view player = {});
// The stored advanced flag, or when none was stored, whether the server is not the default.
bool advanced(std::optional<bool> saved, std::string_view serverURL);
// Same scheme, host and port (default ports filled in), whatever the path.
bool sameServer(std::string_view a, std::string_view b);
int decks(std::optional<int> stored);
int countAfter(std::optional<int> stored);

} // namespace bridge::SettingsRules
