#pragma once

#include "ScriptedSet.hpp"
#include "VirtualDJStandIn.hpp"

#include <cstdint>

namespace bridge {

// Shows step `step` of a set on the stand-in's first two decks, as a DJ mixes: the song of
// the step goes on air on its deck, decks 1 and 2 taking turns, as the other deck goes off
// and then gets `next` loaded, silent, for the step after. A stand-in with one deck plays
// every song on it. Makes the deck on air the master deck and returns it. Throws
// std::out_of_range when the stand-in has no deck.
int showOnDecks(VirtualDJStandIn& vdj, std::uint64_t step, const SetSong& song,
                const SetSong& next);

} // namespace bridge
