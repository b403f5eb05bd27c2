#pragma once

#include "Values/Wording.hpp"

#include <optional>
#include <string_view>

namespace bridge {

// What a source needs in the settings, besides a server and a key, before it can be read.
enum class SourceNeeds {
    nothing,
    connection, // a port and a password: VirtualDJ's Network Control
    player,     // a music player chosen
};

// One source as the bridge names, shows and stores it: its texts in both columns of the
// wording (the Mac's, and every other platform's), and what its settings need. In a text,
// "{player}" stands for the music player chosen. Where a platform's column of `asked` and
// `controlled` is empty, that platform's lists leave the source out. A source is
// this entry (the table in Source.cpp), its reader (Assembly/ReaderMaking.cpp), its section of
// the Source pane, and its tests.
struct SourceEntry {
    std::string_view raw; // stored in the settings and sent to the server; never changes
    std::string_view name;
    Wording::Text choice;                        // its label in the source picker
    bool numbersDecks = false;                   // numbered decks under the heading "Decks"
    std::string_view offAir;                     // a deck that is loaded but not on air
    std::optional<std::string_view> privacyPane; // where the Mac grants its permission
    Wording::Text notAllowed;                    // the status line's texts
    Wording::Text notAnswering;
    std::string_view connectedShort; // the short status beside the picker
    std::string_view connectedOn;    // and where a source on the network was found: "{network}"
    Wording::Text notAllowedShort;
    Wording::Text notAnsweringShort;
    std::string_view noDecks;    // an empty deck list while the source answers
    std::string_view noDecksYet; // and while it does not
    std::string_view heading;    // of its section of the Source pane; none when empty
    Wording::Text help;          // that section's text
    Wording::Text asked;         // how the setup's second step names it and what it asks
    Wording::Text controlled;    // how "It never controls …" names it
    SourceNeeds needs = SourceNeeds::nothing;
    bool tellsProgram = false;  // the server hears the program behind it too
    bool namedByPlayer = false; // its name in texts is the chosen player's
};

} // namespace bridge
