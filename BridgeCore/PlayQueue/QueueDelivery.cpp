// Delivery of the queue to the server: sends due plays gig by gig in batches, isolates
// refused plays and retries them on their schedule, then carries hides and removals. A gig
// the DJ has ended takes nothing more: what it was owed is settled, and the others go on.
// Only snapshots are kept across a wait for the server; every answer finds its entries
// afresh by play id and gig, since other queue operations run while a request is out.
#include "PlayQueue/PlayQueue.hpp"
#include "Server/BridgeServer.hpp"
#include "Server/ServerError.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace bridge {

namespace asio = boost::asio;

namespace {

constexpr std::size_t batchSize = 100;
constexpr int refusalsToGiveUp = 5;

// Waits after the n-th refusal: 60 s, doubling, at most an hour.
Seconds retryDelay(int refusals) {
    return Seconds{std::min(60.0 * std::pow(2.0, refusals - 1), 3600.0)};
}

// Whether a refused play may be posted again. A retry time further ahead than the longest
// wait means the wall clock was set back: the play is due rather than stalled.
bool isDueForRetry(const Entry& entry, Instant at) {
    return !entry.retryAt || *entry.retryAt <= at ||
           *entry.retryAt - at > retryDelay(refusalsToGiveUp - 1);
}

// The answer of a server call, or absent when the server no longer has the gig.
template <class T>
asio::awaitable<std::optional<T>> unlessGigGone(asio::awaitable<T> action) {
    try {
        co_return co_await std::move(action);
    } catch (const ServerError& error) {
        if (error != ServerError::gigGone) {
            throw;
        }
    }
    co_return std::nullopt;
}

// Runs a server call for one gig; false when the server says that the DJ has ended the gig.
asio::awaitable<bool> unlessGigEnded(asio::awaitable<void> action) {
    try {
        co_await std::move(action);
        co_return true;
    } catch (const ServerError& error) {
        if (error != ServerError::gigEnded) {
            throw;
        }
    }
    co_return false;
}

asio::awaitable<bool> hideOnServer(BridgeServer& server, std::string eventId, std::int64_t gig,
                                   bool hidden) {
    co_await server.setHidden(std::move(eventId), gig, hidden);
    co_return true;
}

asio::awaitable<bool> removeOnServer(BridgeServer& server, std::string eventId, std::int64_t gig) {
    co_await server.remove(std::move(eventId), gig);
    co_return true;
}

// The entries a step still has to carry to the server, copied so that they outlast its waits;
// a flush with nothing owed copies nothing.
template <class Owes>
std::vector<Entry> owing(const std::vector<Entry>& entries, Owes owes) {
    std::vector<Entry> owed;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(owed), owes);
    return owed;
}

bool isRefusal(const ServerError& error) {
    return error.kind() == ServerError::Kind::refused;
}

} // namespace

asio::awaitable<Flushed> PlayQueue::flush(BridgeServer& server, Instant at) {
    Flushed result;
    std::exception_ptr failure;
    try {
        co_await deliver(server, at, result);
    } catch (...) {
        failure = std::current_exception();
    }
    prune();
    save();
    if (failure) {
        std::rethrow_exception(failure);
    }
    co_return result;
}

asio::awaitable<void> PlayQueue::deliver(BridgeServer& server, Instant at, Flushed& result) {
    std::set<std::int64_t> gigs;
    for (const auto& entry : entries_) {
        if (!entry.sent && !entry.removed && entry.gigId) {
            gigs.insert(*entry.gigId);
        }
    }
    for (const std::int64_t gig : gigs) {
        if (!co_await unlessGigEnded(sendGig(server, gig, at, result))) {
            settleEnded(gig, result);
        }
    }
    co_await sendHides(server, result);
    co_await sendRemovals(server, result);
}

asio::awaitable<void> PlayQueue::sendGig(BridgeServer& server, std::int64_t gig, Instant at,
                                         Flushed& result) {
    std::vector<Entry> pending;
    std::copy_if(entries_.begin(), entries_.end(), std::back_inserter(pending),
                 [&](const Entry& e) { return !e.sent && !e.removed && e.gigId == gig; });
    std::vector<PlayEvent> fresh;
    for (const auto& entry : pending) {
        if (entry.refusals == 0) {
            fresh.push_back(entry.event);
        }
    }
    for (std::size_t start = 0; start < fresh.size(); start += batchSize) {
        const std::vector<PlayEvent> batch(
            fresh.begin() + static_cast<std::ptrdiff_t>(start),
            fresh.begin() + static_cast<std::ptrdiff_t>(std::min(start + batchSize, fresh.size())));
        if (batch.size() == 1) {
            co_await postAlone(server, batch.front(), gig, at, result);
            continue;
        }
        bool refusedWhole = false;
        try {
            co_await post(server, batch, gig, result);
        } catch (const ServerError& error) {
            if (!isRefusal(error)) {
                throw;
            }
            refusedWhole = true;
        }
        // One refused song must not hold back the others: try each on its own.
        for (std::size_t i = 0; refusedWhole && i < batch.size(); ++i) {
            co_await postAlone(server, batch[i], gig, at, result);
        }
    }
    for (const auto& entry : pending) {
        if (entry.refusals > 0 && isDueForRetry(entry, at)) {
            co_await postAlone(server, entry.event, gig, at, result);
        }
    }
}

asio::awaitable<void> PlayQueue::postAlone(BridgeServer& server, const PlayEvent& play,
                                           std::int64_t gig, Instant at, Flushed& result) {
    std::optional<std::string> refusal;
    try {
        co_await post(server, {play}, gig, result);
    } catch (const ServerError& error) {
        if (!isRefusal(error)) {
            throw;
        }
        refusal = error.message();
    }
    if (refusal) {
        refused(play, gig, *refusal, at, result);
    }
}

asio::awaitable<void> PlayQueue::post(BridgeServer& server, const std::vector<PlayEvent>& plays,
                                      std::int64_t gig, Flushed& result) {
    std::vector<std::string> ids;
    for (const auto& play : plays) {
        ids.push_back(play.id);
    }
    std::set<std::string> hidden;
    for (const auto& entry : entries_) {
        if (entry.gigId == gig && entry.hidden &&
            std::find(ids.begin(), ids.end(), entry.event.id) != ids.end()) {
            hidden.insert(entry.event.id);
        }
    }
    const auto answer = co_await unlessGigGone(server.send(plays, std::move(hidden), gig));
    if (!answer) {
        dropGig(gig);
        co_return;
    }
    result.talked = true;
    result.paused = answer->paused;
    std::map<std::string, const SentPlays::Play*> byId;
    for (const auto& play : answer->plays) {
        byId.try_emplace(play.eventId, &play); // the first answer for an id counts
    }
    const bool paused = answer->paused;
    update(ids, gig, [&](Entry& entry) {
        const auto found = byId.find(entry.event.id);
        const SentPlays::Play* play = found == byId.end() ? nullptr : found->second;
        entry.sent = true;
        entry.notTaken = play == nullptr || !play->taken || paused;
        entry.hiddenOnServer = play != nullptr && play->hidden == true;
    });
}

void PlayQueue::refused(const PlayEvent& play, std::int64_t gig, const std::string& message,
                        Instant at, Flushed& result) {
    result.talked = true;
    result.refused = message;
    result.refusedGig = gig;
    update({play.id}, gig, [&](Entry& entry) {
        entry.refusal = message;
        entry.refusals += 1;
        if (entry.refusals >= refusalsToGiveUp) {
            entry.sent = true;
            entry.notTaken = true;
        }
        entry.retryAt = at + retryDelay(entry.refusals);
    });
}

asio::awaitable<void> PlayQueue::sendHides(BridgeServer& server, Flushed& result) {
    const auto snapshot = owing(entries_, [](const Entry& e) {
        return e.sent && !e.removed && !e.notTaken && e.gigId && e.hidden != e.hiddenOnServer;
    });
    for (auto entry = snapshot.rbegin(); entry != snapshot.rend(); ++entry) {
        if (result.endedGigs.contains(*entry->gigId)) {
            continue;
        }
        if (!co_await unlessGigEnded(hide(server, *entry, result))) {
            settleEnded(*entry->gigId, result);
        }
    }
}

asio::awaitable<void> PlayQueue::hide(BridgeServer& server, Entry entry, Flushed& result) {
    const std::int64_t gig = *entry.gigId;
    const bool hidden = entry.hidden;
    if (!co_await unlessGigGone(hideOnServer(server, entry.event.id, gig, hidden))) {
        // The server no longer has the play.
        std::erase_if(entries_, [&](const Entry& e) {
            return e.gigId == gig && e.event.id == entry.event.id;
        });
        ++changes;
        co_return;
    }
    result.talked = true;
    update({entry.event.id}, gig, [&](Entry& e) { e.hiddenOnServer = hidden; });
}

asio::awaitable<void> PlayQueue::sendRemovals(BridgeServer& server, Flushed& result) {
    const auto snapshot = owing(entries_, [](const Entry& e) {
        return e.sent && e.removed && !e.notTaken && !e.removedOnServer && e.gigId;
    });
    for (const auto& entry : snapshot) {
        if (result.endedGigs.contains(*entry.gigId)) {
            continue;
        }
        if (!co_await unlessGigEnded(remove(server, entry, result))) {
            settleEnded(*entry.gigId, result);
        }
    }
}

asio::awaitable<void> PlayQueue::remove(BridgeServer& server, Entry entry, Flushed& result) {
    const std::int64_t gig = *entry.gigId;
    if (!co_await unlessGigGone(removeOnServer(server, entry.event.id, gig))) {
        dropGig(gig);
    }
    result.talked = true;
    update({entry.event.id}, gig, [](Entry& e) { e.removedOnServer = true; });
}

// The server takes nothing more for an ended gig, so what its entries still owe is settled:
// unsent plays as not taken, pending hides and removals as done.
void PlayQueue::settleEnded(std::int64_t gig, Flushed& result) {
    result.endedGigs.insert(gig);
    for (auto& entry : entries_) {
        if (entry.gigId != gig || !entry.owesServer()) {
            continue;
        }
        if (!entry.sent) {
            entry.sent = true;
            entry.notTaken = true;
        } else if (entry.removed) {
            entry.removedOnServer = true;
        } else {
            entry.hiddenOnServer = entry.hidden;
        }
        ++changes;
    }
}

void PlayQueue::update(const std::vector<std::string>& ids, std::int64_t gig,
                       const std::function<void(Entry&)>& change) {
    for (auto& entry : entries_) {
        if (entry.gigId == gig && std::find(ids.begin(), ids.end(), entry.event.id) != ids.end()) {
            change(entry);
            ++changes;
        }
    }
}

void PlayQueue::dropGig(std::int64_t gig) {
    std::erase_if(entries_, [&](const Entry& e) { return e.gigId == gig; });
    ++changes;
}

} // namespace bridge
