#include "Engine/BridgeEngine.hpp"

#include "Server/ServerError.hpp"
#include "Values/SourceError.hpp"

#include <algorithm>
#include <cmath>

namespace bridge {

namespace {

using Server = BridgeStatus::Server;

// The server state a failure shows as.
Server serverState(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const ServerError& error) {
        switch (error.kind()) {
        case ServerError::Kind::refused:
            return Server::refused(error.message());
        case ServerError::Kind::badKey:
            return Server::badKey;
        case ServerError::Kind::gigGone:
            return Server::noGig;
        case ServerError::Kind::gigEnded:
            return Server::gigEnded;
        case ServerError::Kind::unavailable:
            return Server::offline;
        }
    } catch (...) {
        // Network and decoding failures alike: the server could not be heard.
    }
    return Server::offline;
}

bool isNotAllowed(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const SourceError& error) {
        return error == SourceError::notAllowed;
    } catch (...) {
        return false;
    }
}

// Wait after the n-th failed send in a row: 1, 2, 4, 8, then 15 seconds.
Seconds backoff(int failures) {
    return Seconds{std::min(std::pow(2.0, failures - 1), 15.0)};
}

} // namespace

BridgeEngine::BridgeEngine(std::shared_ptr<DeckReading> decks, std::shared_ptr<GigServer> server,
                           PlayQueue queue, PlayDetector detector, Settings settings,
                           std::function<Instant()> currentTime)
    : decks(std::move(decks)), server(std::move(server)), queue(std::move(queue)),
      detector(std::move(detector)), settings(settings), currentTime(std::move(currentTime)) {
    status_.sharing = settings.sharing;
}

boost::asio::awaitable<void> BridgeEngine::read(Instant now) {
    clock = now;
    std::optional<VDJSnapshot> snapshot;
    std::exception_ptr failure;
    try {
        snapshot = co_await decks->read();
    } catch (...) {
        failure = std::current_exception();
    }
    if (snapshot) {
        readDecks(*snapshot, now);
    } else {
        readFailed(failure);
    }
    showRecent();
}

void BridgeEngine::readDecks(const VDJSnapshot& snapshot, Instant now) {
    notAnswered = 0;
    status_.source = SourceState::connected;
    status_.program = snapshot.program;
    status_.network = snapshot.network;
    const std::vector<int> airing = PlayDetector::onAir(snapshot);
    status_.decks.clear();
    for (const auto& deck : snapshot.decks) {
        if (!deck.song) {
            continue;
        }
        const Song& song = *deck.song;
        status_.decks.push_back(DeckRow{
            .deck = deck.deck,
            .title = song.title.value_or("Unknown song"),
            .artist = song.artist,
            .bpm = song.bpm,
            .key = song.key,
            .onAir = std::find(airing.begin(), airing.end(), deck.deck) != airing.end(),
        });
    }
    for (auto& event : detector.observe(snapshot, now)) {
        // An ended gig keeps nothing until the server names the next state.
        if (queue.isRepeat(event) || status_.server == Server::gigEnded) {
            continue;
        }
        const auto gigId = status_.gig ? std::optional(status_.gig->id) : std::nullopt;
        queue.add(std::move(event), gigId, !status_.sharing);
    }
}

void BridgeEngine::readFailed(std::exception_ptr failure) {
    if (isNotAllowed(failure)) {
        status_.source = SourceState::notAllowed;
        notAnswered = 0;
    } else {
        status_.source = SourceState::notAnswering;
        ++notAnswered;
    }
    status_.decks.clear();
    status_.network.reset();
}

void BridgeEngine::showRecent() {
    status_.recent = queue.recent(recentCount);
}

boost::asio::awaitable<void> BridgeEngine::sync(Instant now) {
    co_await talk([this, now]() -> boost::asio::awaitable<void> {
        co_await gigWhenDue(now);
        co_await send(now, false);
    });
}

boost::asio::awaitable<void> BridgeEngine::tick(Instant now) {
    co_await talk([this, now]() -> boost::asio::awaitable<void> {
        co_await gigWhenDue(now);
        co_await read(now);
        co_await send(now, false);
    });
}

boost::asio::awaitable<void> BridgeEngine::refreshGig() {
    co_await talk([this] { return askForGig(); });
}

boost::asio::awaitable<void> BridgeEngine::endGig() {
    co_await talk([this] { return endGigNow(); });
}

boost::asio::awaitable<void> BridgeEngine::hideCurrent() {
    queue.hideLatest();
    showRecent();
    co_await talk([this] { return send(std::nullopt, true); });
}

boost::asio::awaitable<void> BridgeEngine::undoLast() {
    queue.undoLatest();
    showRecent();
    co_await talk([this] { return send(std::nullopt, true); });
}

boost::asio::awaitable<void> BridgeEngine::talk(Body body) {
    co_await talking.run(std::move(body));
}

boost::asio::awaitable<void> BridgeEngine::gigWhenDue(Instant now) {
    Seconds interval = status_.gig ? settings.gigEvery : settings.noGigEvery;
    if (!status_.gig && notAnswered > quietAfter && !queue.hasUnsent()) {
        interval = settings.idleGigEvery;
    }
    if (gigAskedAt && !waitIsOver(*gigAskedAt, interval, now)) {
        co_return;
    }
    gigAskedAt = now;
    co_await askForGig();
}

boost::asio::awaitable<void> BridgeEngine::askForGig() {
    std::optional<Gig> gig;
    std::exception_ptr failure;
    try {
        gig = co_await server->currentGig(status_.source, status_.program);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        const Server state = serverState(failure);
        if (state == Server::gigEnded) {
            status_.gig.reset();
            queue.dropWaiting();
        }
        status_.server = state;
    } else if (gig) {
        status_.gig = std::move(gig);
        // A gig answer says nothing about delivery: while sends fail, the status stays offline.
        if (!(failures > 0 && status_.server == Server::offline)) {
            status_.server = Server::connected;
        }
    } else {
        status_.gig.reset();
        status_.server = Server::noGig;
    }
}

boost::asio::awaitable<void> BridgeEngine::send(std::optional<Instant> at, bool force) {
    const Instant now = at ? *at : clock ? *clock : currentTime();
    if (status_.gig) {
        queue.adopt(status_.gig->id, now);
    }
    const bool due = status_.gig || queue.hasUnsent();
    const bool waiting = !force && failedAt && !waitIsOver(*failedAt, backoff(failures), now);
    if (due && !waiting) {
        std::optional<Flushed> flushed;
        std::exception_ptr failure;
        try {
            flushed = co_await queue.flush(*server, now);
        } catch (...) {
            failure = std::current_exception();
        }
        if (flushed) {
            failures = 0;
            failedAt.reset();
            if (flushed->paused) {
                status_.paused = *flushed->paused;
            }
            if (status_.gig && flushed->endedGigs.contains(status_.gig->id)) {
                status_.server = Server::gigEnded;
            } else if (flushed->refused && status_.gig && flushed->refusedGig == status_.gig->id) {
                status_.server = Server::refused(*flushed->refused);
            } else if (flushed->talked && status_.gig) {
                status_.server = Server::connected;
            }
        } else {
            ++failures;
            failedAt = now;
            if (status_.gig) {
                status_.server = serverState(failure);
            }
        }
    }
    showRecent();
}

boost::asio::awaitable<void> BridgeEngine::endGigNow() {
    if (!status_.gig) {
        co_return;
    }
    const std::int64_t gigId = status_.gig->id;
    co_await send(std::nullopt, true);
    std::exception_ptr failure;
    try {
        co_await server->endGig(gigId);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        status_.server = serverState(failure);
    } else {
        co_await askForGig();
    }
}

} // namespace bridge
