#include "Readers/DjayReader.hpp"

#include "Support/HomeFolder.hpp"
#include "Support/Numbers.hpp"
#include "Support/SourceText.hpp"
#include "Support/Text.hpp"
#include "Values/SourceError.hpp"

#include <array>
#include <cerrno>
#include <map>
#include <system_error>
#include <vector>

namespace bridge {

namespace {

constexpr double limitWithoutLength = 900.0;
constexpr double graceAfterLength = 60.0;

// What djay writes in place of a value it does not have.
constexpr std::string_view notAvailable = "N/A";

double onAirLimit(std::optional<double> length) {
    return length ? *length + graceAfterLength : limitWithoutLength;
}

std::string withoutByteOrderMarks(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0;;) {
        const std::size_t mark = text.find("\uFEFF", at);
        result += text.substr(at, mark - at);
        if (mark == std::string_view::npos) {
            return result;
        }
        at = mark + 3;
    }
}

std::vector<std::string_view> lines(std::string_view text) {
    static constexpr std::array<std::string_view, 7> breaks{"\n",     "\r",     "\v",    "\f",
                                                            "\u0085", "\u2028", "\u2029"};
    std::vector<std::string_view> result;
    std::size_t start = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 0;
        for (const auto lineBreak : breaks) {
            if (text.substr(at).starts_with(lineBreak)) {
                length = lineBreak.size();
                break;
            }
        }
        if (length == 0) {
            ++at;
            continue;
        }
        result.push_back(text.substr(start, at - start));
        at += length;
        start = at;
    }
    result.push_back(text.substr(start));
    return result;
}

// "m:ss" or "h:mm:ss" in seconds; a bare number of seconds is not a clock time.
std::optional<double> clockDuration(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t colon = std::min(text.find(':', start), text.size());
        if (colon > start) {
            pieces.push_back(text.substr(start, colon - start));
        }
        start = colon + 1;
    }
    if (pieces.size() != 2 && pieces.size() != 3) {
        return std::nullopt;
    }
    double seconds = 0;
    for (const auto piece : pieces) {
        const auto value = parseNumber<std::uint64_t>(piece);
        if (!value) {
            return std::nullopt;
        }
        seconds = seconds * 60 + static_cast<double>(*value);
    }
    return seconds;
}

bool isPermissionError(const std::system_error& error) {
    const int code = error.code().value();
    return error.code().category() == std::generic_category() && (code == EACCES || code == EPERM);
}

} // namespace

NowPlayingFields NowPlayingFields::parse(std::string_view text) {
    std::map<std::string, std::string, std::less<>> values;
    const std::string clean = withoutByteOrderMarks(text);
    for (const auto line : lines(clean)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string value = trimmed(line.substr(colon + 1));
        if (value.empty() || value == notAvailable) {
            continue;
        }
        values[lowercased(trimmed(line.substr(0, colon)))] = std::move(value);
    }
    const auto field = [&](std::string_view key) -> std::optional<std::string> {
        if (const auto found = values.find(key); found != values.end()) {
            return found->second;
        }
        return std::nullopt;
    };
    const auto time = field("time");
    return NowPlayingFields{
        .title = field("title"),
        .artist = field("artist"),
        .lengthSeconds = time ? clockDuration(*time) : std::nullopt,
    };
}

DjayReader::DjayReader(std::shared_ptr<DjayHistory> history, std::shared_ptr<NowPlayingFile> file,
                       std::function<bool()> isRunning, std::function<Instant()> now)
    : history(std::move(history)), file(std::move(file)), isRunning(std::move(isRunning)),
      now(std::move(now)) {}

const std::filesystem::path& DjayReader::defaultPath() {
    static const std::filesystem::path path =
        inHomeFolder("~/Music/djay/djay Media Library.djayMediaLibrary/NowPlaying.txt");
    return path;
}

boost::asio::awaitable<VDJSnapshot> DjayReader::read() {
    co_return snapshot();
}

VDJSnapshot DjayReader::snapshot() const {
    if (!isRunning()) {
        throw SourceError::notAnswering;
    }
    const Instant at = now();
    if (auto current = fromHistory(at)) {
        return std::move(*current);
    }
    return fromFile(at);
}

std::optional<VDJSnapshot> DjayReader::fromHistory(Instant at) const {
    std::optional<DjayHistoryItem> item;
    try {
        item = history->latest();
    } catch (...) {
        // An unreadable history leaves the text file to tell.
        return std::nullopt;
    }
    const auto title = item ? presentText(item->title) : std::nullopt;
    if (!title || (at - item->started).count() > onAirLimit(item->duration)) {
        return std::nullopt;
    }
    const auto artist = presentText(item->artist);
    return VDJSnapshot::oneDeck(Song{.filePath = OneDeck::file("djay", artist, title),
                                     .title = title,
                                     .artist = artist,
                                     .lengthSeconds = item->duration},
                                true);
}

VDJSnapshot DjayReader::fromFile(Instant at) const {
    std::optional<NowPlayingText> text;
    try {
        text = file->read();
    } catch (const std::system_error& error) {
        throw isPermissionError(error) ? SourceError::notAllowed : SourceError::notAnswering;
    } catch (...) {
        throw SourceError::notAnswering;
    }
    const auto fields = text ? NowPlayingFields::parse(text->text) : NowPlayingFields{};
    if (!fields.title) {
        return VDJSnapshot::oneDeck(std::nullopt, false);
    }
    const bool audible = (at - text->modified).count() <= onAirLimit(fields.lengthSeconds);
    return VDJSnapshot::oneDeck(Song{.filePath = OneDeck::file("djay", fields.artist, fields.title),
                                     .title = fields.title,
                                     .artist = fields.artist,
                                     .lengthSeconds = fields.lengthSeconds},
                                audible);
}

} // namespace bridge
