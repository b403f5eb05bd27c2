#pragma once

#include "Readers/VDJQuerying.hpp"
#include "Values/DeckReading.hpp"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// VirtualDJ as a source: a fixed series of questions per deck, with the details of each
// deck's song kept until its file (or, for an item without a file, its title) changes.
// Reads must not overlap.
class VDJReader : public DeckReading {
public:
    VDJReader(std::shared_ptr<VDJQuerying> client, std::vector<int> decks);

    // Fails with the first failed question's SourceError; no partial snapshot.
    boost::asio::awaitable<VDJSnapshot> read() override;

private:
    // The `known` answer to "deck D verb", or to the bare verb when `deck` is absent.
    boost::asio::awaitable<std::optional<std::string>> ask(std::optional<int> deck,
                                                           std::string_view verb);
    boost::asio::awaitable<DeckSnapshot> readDeck(int deck);
    boost::asio::awaitable<Song> fetchSong(int deck, std::optional<std::string> filePath,
                                           std::optional<std::string> title);

    std::shared_ptr<VDJQuerying> client;
    std::vector<int> decks;
    std::map<int, Song> details;             // the last song fetched per deck
    std::map<int, std::string> streamTitles; // the last title per deck without a file path
};

// The answer trimmed of white space and line breaks; absent when nothing is left or it is
// one of VirtualDJ's "error:" answers.
std::optional<std::string> known(std::string_view answer);

// The title with " (remix)" added, unless the title already holds the remix in any letter
// case (compared the way the user's language does).
std::optional<std::string> withRemix(const std::optional<std::string>& title,
                                     const std::optional<std::string>& remix);

} // namespace bridge
