#include "Readers/WhatsNowPlayingReader.hpp"

#include "Values/SourceError.hpp"

#include <boost/json/parse.hpp>

namespace bridge {

namespace {

// How long a song without a length counts as on air.
constexpr Seconds limitWithoutLength{900.0};
// How long after its length a song still counts as on air: the tool keeps reporting the
// last track after the DJ has stopped.
constexpr Seconds graceAfterLength{60.0};

template <class T>
std::optional<T> member(const std::optional<WhatsNowPlayingSong>& song,
                        T WhatsNowPlayingSong::*field) {
    return song ? std::optional<T>((*song).*field) : std::nullopt;
}

} // namespace

WhatsNowPlayingReader::WhatsNowPlayingReader(std::shared_ptr<WhatsNowPlayingFeed> feed,
                                             std::function<Instant()> now)
    : feed(std::move(feed)), now(std::move(now)) {}

boost::asio::awaitable<VDJSnapshot> WhatsNowPlayingReader::read() {
    const Instant at = now();
    if (askedAt && !waitIsOver(*askedAt, askEvery, at)) {
        co_return snapshot(at);
    }
    // Set before asking, so that a failing tool is not asked more often either.
    askedAt = at;
    std::optional<std::string> body;
    try {
        body = co_await feed->last();
    } catch (...) {
        // Every failure of the tool is the same to the reader.
    }
    if (!body || !take(std::move(*body), at)) {
        // The song stays as the last one received, so that the same song after a spell
        // without answers keeps its first sighting; it is not shown while not answering.
        answering = false;
    }
    co_return snapshot(at);
}

bool WhatsNowPlayingReader::take(std::string body, Instant at) {
    if (answering && body == lastAnswer) {
        return true;
    }
    lastAnswer.reset();
    boost::system::error_code error;
    const auto json = boost::json::parse(body, error);
    if (error || !json.is_object()) {
        return false;
    }
    auto next = WhatsNowPlayingSong::fromJson(json.get_object());
    if (member(next, &WhatsNowPlayingSong::file) != member(song, &WhatsNowPlayingSong::file) ||
        member(next, &WhatsNowPlayingSong::title) != member(song, &WhatsNowPlayingSong::title)) {
        firstSeen = at;
    }
    song = std::move(next);
    answering = true;
    lastAnswer = std::move(body);
    return true;
}

VDJSnapshot WhatsNowPlayingReader::snapshot(Instant at) const {
    if (!answering) {
        throw SourceError::notAnswering;
    }
    if (!song) {
        return VDJSnapshot::oneDeck(std::nullopt, false);
    }
    const Instant start = song->started.value_or(firstSeen.value_or(at));
    const Seconds limit =
        song->length ? Seconds(*song->length) + graceAfterLength : limitWithoutLength;
    return VDJSnapshot::oneDeck(Song{.filePath = song->file,
                                     .title = song->title,
                                     .artist = song->artist,
                                     .bpm = song->bpm,
                                     .key = song->key,
                                     .lengthSeconds = song->length},
                                at - start <= limit, song->program);
}

} // namespace bridge
