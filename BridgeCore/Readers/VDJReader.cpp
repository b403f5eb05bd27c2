#include "Readers/VDJReader.hpp"

#include "Support/Numbers.hpp"
#include "Support/SourceText.hpp"
#include "Values/SourceError.hpp"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <charconv>

namespace bridge {

namespace {

// Case-folded and composed, so that letters in any case and either Unicode form compare
// alike. Turkish and Azerbaijani fold the dotted and dotless i their own way.
icu::UnicodeString folded(std::string_view text) {
    const std::string_view language = icu::Locale::getDefault().getLanguage();
    const uint32_t options =
        language == "tr" || language == "az" ? U_FOLD_CASE_EXCLUDE_SPECIAL_I : U_FOLD_CASE_DEFAULT;
    auto unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), text.size()));
    unicode.foldCase(options);
    UErrorCode status = U_ZERO_ERROR;
    const auto* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        return unicode;
    }
    auto composed = nfc->normalize(unicode, status);
    return U_SUCCESS(status) ? composed : unicode;
}

std::optional<int> integer(const std::optional<std::string>& text) {
    return text ? parseNumber<int>(*text) : std::nullopt;
}

std::optional<double> decimal(const std::optional<std::string>& text) {
    return text ? parseNumber<double>(*text) : std::nullopt;
}

} // namespace

std::optional<std::string> known(std::string_view answer) {
    auto text = presentText(std::string(answer));
    if (text && text->starts_with("error:")) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> withRemix(const std::optional<std::string>& title,
                                     const std::optional<std::string>& remix) {
    if (!title || !remix || folded(*title).indexOf(folded(*remix)) >= 0) {
        return title;
    }
    return *title + " (" + *remix + ")";
}

VDJReader::VDJReader(std::shared_ptr<VDJQuerying> client, std::vector<int> decks)
    : client(std::move(client)), decks(std::move(decks)) {}

boost::asio::awaitable<std::optional<std::string>> VDJReader::ask(std::optional<int> deck,
                                                                  std::string_view verb) {
    std::string script;
    if (deck) {
        script = "deck " + std::to_string(*deck) + " ";
    }
    script += verb;
    std::string answer;
    try {
        answer = co_await client->query(std::move(script));
    } catch (const SourceError&) {
        throw;
    } catch (...) {
        throw SourceError::notAnswering;
    }
    co_return known(answer);
}

boost::asio::awaitable<VDJSnapshot> VDJReader::read() {
    VDJSnapshot snapshot;
    for (const int deck : decks) {
        snapshot.decks.push_back(co_await readDeck(deck));
    }
    snapshot.masterDeck = integer(co_await ask(std::nullopt, "get_activedeck"));
    co_return snapshot;
}

boost::asio::awaitable<DeckSnapshot> VDJReader::readDeck(int deck) {
    if (co_await ask(deck, "loaded") != "yes") {
        details.erase(deck);
        streamTitles.erase(deck);
        co_return DeckSnapshot{.deck = deck};
    }
    const bool audible = co_await ask(deck, "is_audible") == "yes";
    auto filePath = co_await ask(deck, "get_filepath");
    std::optional<std::string> title;
    bool reuse = false;
    if (filePath) {
        streamTitles.erase(deck);
        const auto cached = details.find(deck);
        reuse = cached != details.end() && cached->second.filePath == filePath;
    } else {
        // Without a file the title tells one item from the next.
        title = co_await ask(deck, "get_title");
        const auto cached = details.find(deck);
        const auto seen = streamTitles.find(deck);
        const auto seenTitle =
            seen != streamTitles.end() ? std::optional(seen->second) : std::nullopt;
        reuse = cached != details.end() && !cached->second.filePath && seenTitle == title;
    }
    if (!reuse) {
        details[deck] = co_await fetchSong(deck, filePath, title);
    }
    // Only once its details are in may a title stand for them: after a failed question the
    // next read asks again.
    if (!filePath) {
        if (title) {
            streamTitles[deck] = *title;
        } else {
            streamTitles.erase(deck);
        }
    }
    co_return DeckSnapshot{.deck = deck, .loaded = true, .audible = audible, .song = details[deck]};
}

boost::asio::awaitable<Song> VDJReader::fetchSong(int deck, std::optional<std::string> filePath,
                                                  std::optional<std::string> title) {
    if (filePath) {
        title = co_await ask(deck, "get_title");
    }
    const auto remix = co_await ask(deck, "get_loaded_song 'remix'");
    Song song{.filePath = std::move(filePath), .title = withRemix(title, remix)};
    song.artist = co_await ask(deck, "get_artist");
    song.bpm = decimal(co_await ask(deck, "get_loaded_song 'bpm'"));
    song.key = co_await ask(deck, "get_key");
    song.lengthSeconds = decimal(co_await ask(deck, "get_songlength"));
    co_return song;
}

} // namespace bridge
