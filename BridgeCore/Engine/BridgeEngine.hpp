#pragma once

#include "Engine/BridgeStatus.hpp"
#include "Engine/PlayDetector.hpp"
#include "PlayQueue/PlayQueue.hpp"
#include "Server/BridgeServer.hpp"
#include "Support/Instant.hpp"
#include "Support/Serial.hpp"
#include "Values/DeckReading.hpp"

#include <boost/asio/awaitable.hpp>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace bridge {

// Ties one reader, one server, one queue and one detector together: reads the decks, turns
// plays into queue entries, asks the server for the gig on an adaptive schedule, delivers
// with a backoff, and carries out the DJ's actions. Every failure ends in the status; no
// operation fails. Lives on the bridge thread; conversations with the server are chained
// so that they never overlap and run in the order started, while reads go on between them.
class BridgeEngine {
public:
    struct Settings {
        bool sharing = true;
        Seconds gigEvery{15.0};     // while a gig is known
        Seconds noGigEvery{10.0};   // while none is
        Seconds idleGigEvery{60.0}; // none known, the source silent, nothing owed
    };

    BridgeEngine(std::shared_ptr<DeckReading> decks, std::shared_ptr<GigServer> server,
                 PlayQueue queue, PlayDetector detector, Settings settings,
                 std::function<Instant()> currentTime = ReferenceClock::now);

    const BridgeStatus& status() const { return status_; }

    // One read of the source and the plays it completes. Not part of the server chain.
    boost::asio::awaitable<void> read(Instant now);
    // One conversation: the gig when due, then what the queue owes the server.
    boost::asio::awaitable<void> sync(Instant now);
    // One conversation doing a whole tick: the gig when due, a read, then the send.
    boost::asio::awaitable<void> tick(Instant now);
    // One conversation asking for the gig now, whatever the schedule.
    boost::asio::awaitable<void> refreshGig();
    // One conversation that delivers what it can and then ends the gig.
    boost::asio::awaitable<void> endGig();
    boost::asio::awaitable<void> hideCurrent();
    boost::asio::awaitable<void> undoLast();
    // Decides only how later plays are queued.
    void setSharing(bool on) { status_.sharing = on; }

    // Consecutive not-answering reads after which the gig is asked for less often.
    static constexpr int quietAfter = 30;
    static constexpr std::size_t recentCount = 10;

private:
    using Body = std::function<boost::asio::awaitable<void>()>;

    boost::asio::awaitable<void> talk(Body body);
    boost::asio::awaitable<void> gigWhenDue(Instant now);
    boost::asio::awaitable<void> askForGig();
    boost::asio::awaitable<void> send(std::optional<Instant> at, bool force);
    boost::asio::awaitable<void> endGigNow();
    void readDecks(const VDJSnapshot& snapshot, Instant now);
    void readFailed(std::exception_ptr failure);
    void showRecent();

    std::shared_ptr<DeckReading> decks;
    std::shared_ptr<GigServer> server;
    PlayQueue queue;
    PlayDetector detector;
    Settings settings;
    std::function<Instant()> currentTime;

    BridgeStatus status_;
    std::optional<Instant> gigAskedAt;
    int notAnswered = 0;
    std::optional<Instant> clock; // the time of the latest read
    int failures = 0;             // consecutive failed sends
    // The latest failed send: no unforced send until its backoff has passed.
    std::optional<Instant> failedAt;
    Serial talking; // conversations, one after the other
};

} // namespace bridge
