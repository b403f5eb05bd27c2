#include "Readers/MixxxReader.hpp"

#include "Support/SourceText.hpp"
#include "Values/SourceError.hpp"

#include <array>

namespace bridge {

namespace {

// How long an entry without a length counts as on air.
constexpr double limitWithoutLength = 900.0;
// How long after its length an entry still counts as on air.
constexpr double graceAfterLength = 60.0;

// Mixxx's key codes 1-12 are the major keys from C up, 13-24 the minor keys in the same order.
std::optional<std::string> keyName(std::optional<std::int64_t> keyId) {
    static constexpr std::array<const char*, 12> names{"C",  "Db", "D",  "Eb", "E",  "F",
                                                       "F#", "G",  "Ab", "A",  "Bb", "B"};
    if (!keyId || *keyId < 1 || *keyId > 24) {
        return std::nullopt;
    }
    const auto index = static_cast<std::size_t>(*keyId - 1);
    std::string name = names[index % 12];
    if (index >= 12) {
        name += 'm';
    }
    return name;
}

} // namespace

MixxxReader::MixxxReader(std::shared_ptr<MixxxHistory> history, std::function<bool()> isRunning,
                         std::function<Instant()> now)
    : history(std::move(history)), isRunning(std::move(isRunning)), now(std::move(now)) {}

boost::asio::awaitable<VDJSnapshot> MixxxReader::read() {
    co_return snapshot();
}

VDJSnapshot MixxxReader::snapshot() const {
    if (!isRunning()) {
        throw SourceError::notAnswering;
    }
    std::optional<MixxxPlay> play;
    try {
        play = history->latest();
    } catch (const MixxxError& error) {
        throw error.kind == MixxxError::Kind::notAllowed ? SourceError::notAllowed
                                                         : SourceError::notAnswering;
    } catch (...) {
        throw SourceError::notAnswering;
    }
    const auto title = play ? presentText(play->title) : std::nullopt;
    if (!title) {
        return VDJSnapshot::oneDeck(std::nullopt, false);
    }
    const auto artist = presentText(play->artist);
    const double elapsed = (now() - play->added).count();
    const auto length =
        play->duration && *play->duration > 0 ? play->duration : std::optional<double>{};
    const double limit = length ? *length + graceAfterLength : limitWithoutLength;
    const auto location = presentText(play->location);
    Song song{
        .filePath = location ? *location : OneDeck::file("mixxx", artist, title),
        .title = title,
        .artist = artist,
        .bpm = play->bpm && *play->bpm > 0 ? play->bpm : std::nullopt,
        .key = keyName(play->keyId),
        .lengthSeconds = length,
    };
    return VDJSnapshot::oneDeck(std::move(song), elapsed <= limit);
}

} // namespace bridge
