#include "Values/VDJSnapshot.hpp"

namespace bridge {

VDJSnapshot VDJSnapshot::oneDeck(std::optional<Song> song, bool audible,
                                 std::optional<std::string> program) {
    const bool loaded = song.has_value();
    return VDJSnapshot{
        .decks = {DeckSnapshot{
            .deck = 1, .loaded = loaded, .audible = audible, .song = std::move(song)}},
        .masterDeck = 1,
        .program = std::move(program),
    };
}

std::string OneDeck::file(std::string_view source, const std::optional<std::string>& artist,
                          const std::optional<std::string>& title) {
    std::string key{source};
    key += ':';
    if (artist) {
        key += *artist;
    }
    if (artist && title) {
        key += " \u2013 ";
    }
    if (title) {
        key += *title;
    }
    return key;
}

} // namespace bridge
