#pragma once

#include "PlayQueue/Entry.hpp"
#include "PlayQueue/Flushed.hpp"
#include "PlayQueue/QueuedPlay.hpp"
#include "Support/Instant.hpp"
#include "Values/PlayEvent.hpp"

#include <boost/asio/awaitable.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bridge {

class BridgeServer;

// Every play the bridge has counted and what it still owes the server, kept in a file so
// that nothing is lost while offline or across restarts. Lives on the bridge thread; only
// delivery waits, so every operation looks its entries up afresh.
class PlayQueue {
public:
    // Loads the queue from `file`; a file that cannot be read or decoded gives an empty queue.
    // Temporary files that an interrupted save left beside it are removed.
    explicit PlayQueue(std::filesystem::path file);

    void add(PlayEvent event, std::optional<std::int64_t> gigId, bool hidden);
    // Gives the plays that wait for a gig this one, dropping those too old for it.
    void adopt(std::int64_t gigId, Instant at);
    bool hasUnsent() const;
    void dropWaiting();
    void hideLatest();
    void undoLatest();
    // The same song, close in time to one of the latest plays.
    bool isRepeat(const PlayEvent& event) const;
    // The latest plays not taken back, newest first; kept until the queue changes.
    const std::vector<QueuedPlay>& recent(std::size_t limit);

    // Carries what the queue owes the server to it, and its answers back; then prunes and
    // saves. A gig the DJ has ended is settled and named in the result; the other gigs go on.
    // Fails with the first failure it cannot absorb, after saving what it received.
    // Other operations may run while it waits for the server.
    boost::asio::awaitable<Flushed> flush(BridgeServer& server, Instant at);

    // Keeps only the latest settled entries; delivery runs it before it saves.
    void prune();
    // Writes the file when the entries changed since the last save and their bytes differ
    // from the file's. Failures are silent: the next save tries again.
    void save();

    const std::vector<Entry>& entries() const { return entries_; }
    const std::filesystem::path& file() const { return file_; }

    static constexpr std::size_t mostWaiting = 200;
    static constexpr std::size_t mostSettled = 50;
    static constexpr std::size_t repeatLookback = 50;
    static constexpr Seconds longestWait{21'600.0};

private:
    struct RecentPlays {
        std::uint64_t changes;
        std::size_t limit;
        std::vector<QueuedPlay> plays;
    };

    void dropWaitingOlderThan(Instant bound);

    // Delivery, in QueueDelivery.cpp.
    boost::asio::awaitable<void> deliver(BridgeServer& server, Instant at, Flushed& result);
    boost::asio::awaitable<void> sendGig(BridgeServer& server, std::int64_t gig, Instant at,
                                         Flushed& result);
    boost::asio::awaitable<void> post(BridgeServer& server, const std::vector<PlayEvent>& plays,
                                      std::int64_t gig, Flushed& result);
    boost::asio::awaitable<void> postAlone(BridgeServer& server, const PlayEvent& play,
                                           std::int64_t gig, Instant at, Flushed& result);
    boost::asio::awaitable<void> sendHides(BridgeServer& server, Flushed& result);
    boost::asio::awaitable<void> hide(BridgeServer& server, Entry entry, Flushed& result);
    boost::asio::awaitable<void> sendRemovals(BridgeServer& server, Flushed& result);
    boost::asio::awaitable<void> remove(BridgeServer& server, Entry entry, Flushed& result);
    void settleEnded(std::int64_t gig, Flushed& result);
    void refused(const PlayEvent& play, std::int64_t gig, const std::string& message, Instant at,
                 Flushed& result);
    void update(const std::vector<std::string>& ids, std::int64_t gig,
                const std::function<void(Entry&)>& change);
    void dropGig(std::int64_t gig);
    Entry* latestNotRemoved();
    bool keepUnreadableFile();

    std::filesystem::path file_;
    std::vector<Entry> entries_;
    std::uint64_t changes = 0;
    std::uint64_t savedAt = 0;
    std::optional<RecentPlays> recentAt;
    std::optional<std::string> written;
    // The file holds something this queue could not load; it is kept aside, not overwritten.
    bool fileUnread = false;
};

} // namespace bridge
