#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// The metadata of one loaded song, as a source gives it. Texts are UTF-8.
struct Song {
    // A file path, a file: URL, or another URL or URI; the song's identity.
    std::optional<std::string> filePath;
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<double> bpm;
    std::optional<std::string> key; // in the source's own notation
    std::optional<double> lengthSeconds;

    bool operator==(const Song&) const = default;
};

// One deck at one moment.
struct DeckSnapshot {
    int deck = 1; // 1-based; single-deck sources use 1
    bool loaded = false;
    bool audible = false; // the source's own judgement of whether the audience hears it
    std::optional<Song> song;

    bool operator==(const DeckSnapshot&) const = default;
};

// What one read of any source returns.
struct VDJSnapshot {
    std::vector<DeckSnapshot> decks;
    std::optional<int> masterDeck;      // settles a tie between several audible decks
    std::optional<std::string> program; // the DJ program behind the source, where known
    // Where on this computer's networks a source on the network was found ("eth0, 10.0.0.5").
    std::optional<std::string> network;

    // The snapshot of a single-deck source: always exactly one deck, numbered 1.
    static VDJSnapshot oneDeck(std::optional<Song> song, bool audible,
                               std::optional<std::string> program = std::nullopt);

    bool operator==(const VDJSnapshot&) const = default;
};

namespace OneDeck {

// The made-up song key of a source that gives no file path: "source:Artist – Title", with
// the absent parts left out. Its scheme-like prefix keeps it readable through FileKey::of.
std::string file(std::string_view source, const std::optional<std::string>& artist,
                 const std::optional<std::string>& title);

} // namespace OneDeck

} // namespace bridge
