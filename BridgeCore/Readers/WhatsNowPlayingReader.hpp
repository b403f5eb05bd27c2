#pragma once

#include "Readers/WhatsNowPlayingFeed.hpp"
#include "Readers/WhatsNowPlayingSong.hpp"
#include "Values/DeckReading.hpp"

#include <functional>
#include <memory>

namespace bridge {

// What's Now Playing as a one-deck source. The tool is asked at most once every 2 seconds;
// reads in between answer from what it said last. Reads must not overlap.
class WhatsNowPlayingReader : public DeckReading {
public:
    static constexpr Seconds askEvery{2.0};

    explicit WhatsNowPlayingReader(std::shared_ptr<WhatsNowPlayingFeed> feed,
                                   std::function<Instant()> now = ReferenceClock::now);

    boost::asio::awaitable<VDJSnapshot> read() override;

private:
    // Takes one answer of the tool; false when it is not a JSON object.
    bool take(std::string body, Instant now);
    // The snapshot of the stored song at `now`; throws SourceError::notAnswering when the
    // tool did not answer when last asked.
    VDJSnapshot snapshot(Instant now) const;

    std::shared_ptr<WhatsNowPlayingFeed> feed;
    std::function<Instant()> now;
    std::optional<Instant> askedAt;
    bool answering = true;
    std::optional<WhatsNowPlayingSong> song; // the last one received
    std::optional<Instant> firstSeen;        // when the current file and title first came
    std::optional<std::string> lastAnswer;   // the last body taken
};

} // namespace bridge
