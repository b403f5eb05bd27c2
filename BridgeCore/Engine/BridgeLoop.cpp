#include "Engine/BridgeLoop.hpp"

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace bridge {

namespace asio = boost::asio;

namespace {

asio::awaitable<bool> isCancelled() {
    const auto state = co_await asio::this_coro::cancellation_state;
    co_return state.cancelled() != asio::cancellation_type::none;
}

} // namespace

std::shared_ptr<BridgeLoop> BridgeLoop::create(asio::any_io_executor executor, Wait wait, Show show,
                                               std::function<Instant()> clock) {
    return std::shared_ptr<BridgeLoop>(
        new BridgeLoop(std::move(executor), std::move(wait), std::move(show), std::move(clock)));
}

BridgeLoop::BridgeLoop(asio::any_io_executor executor, Wait wait, Show show,
                       std::function<Instant()> clock)
    : executor(std::move(executor)), wait(std::move(wait)), show(std::move(show)),
      clock(std::move(clock)) {}

asio::awaitable<void> BridgeLoop::sleep(Seconds duration) {
    asio::steady_timer timer(co_await asio::this_coro::executor,
                             std::chrono::duration_cast<asio::steady_timer::duration>(duration));
    co_await timer.async_wait(asio::use_awaitable);
}

void BridgeLoop::start(Make make) {
    cancelLoop();
    if (!make) {
        engine.reset();
        return;
    }
    loop = Task::spawn(executor, launch(weak_from_this(), stopping, std::move(make)));
}

// The cancelled task is kept, whatever comes next, so that no later start makes an engine
// before it has ended: its conversation and its last save may still be under way.
void BridgeLoop::cancelLoop() {
    if (loop) {
        loop->cancel();
        stopping = std::move(loop);
        loop.reset();
    }
}

asio::awaitable<void> BridgeLoop::launch(std::weak_ptr<BridgeLoop> weak,
                                         std::optional<Task> previous, Make make) {
    // A cancelled loop still waits out what it started; it looks for cancellation itself
    // and leaves it to the operations under way (the wait, a request) to end early.
    co_await asio::this_coro::throw_if_cancelled(false);
    if (previous) {
        co_await previous
            ->finished(); // never two engines at once, even if this start is replaced too
    }
    if (auto self = weak.lock(); self && !co_await isCancelled()) {
        co_await self->begin(std::move(make));
    }
}

asio::awaitable<void> BridgeLoop::begin(Make make) {
    // No action of the old engine may run once the new one exists.
    co_await actions.idle();
    if (co_await isCancelled()) {
        co_return;
    }
    engine = make();
    co_await run(engine);
}

asio::awaitable<void> BridgeLoop::run(std::shared_ptr<BridgeEngine> driven) {
    int quiet = 0;
    while (!co_await isCancelled()) {
        co_await driven->read(clock());
        const BridgeStatus status = driven->status();
        quiet = status.source == SourceState::notAnswering ? quiet + 1 : 0;
        if (!syncing) {
            startConversation(driven, co_await isCancelled());
        }
        if (co_await isCancelled()) {
            break;
        }
        co_await show(status);
        if (co_await isCancelled()) {
            break;
        }
        bool waited = false;
        try {
            co_await wait(quiet < BridgeEngine::quietAfter ? Seconds{1.0} : quietEvery);
            waited = true;
        } catch (...) {
            // Cancelled while waiting: the loop ends.
        }
        if (!waited) {
            break;
        }
    }
    if (syncing) {
        co_await syncing->finished();
    }
}

void BridgeLoop::startConversation(const std::shared_ptr<BridgeEngine>& driven,
                                   bool loopCancelled) {
    syncing = Task::spawn(executor, converse(driven, loopCancelled));
}

asio::awaitable<void> BridgeLoop::converse(std::shared_ptr<BridgeEngine> driven,
                                           bool loopCancelled) {
    const auto self = shared_from_this();
    co_await driven->sync(clock());
    if (!loopCancelled) {
        co_await show(driven->status());
    }
    syncing.reset();
}

asio::awaitable<void> BridgeLoop::stop() {
    if (!loop) {
        co_return;
    }
    const Task task = *loop;
    cancelLoop();
    co_await task.finished();
}

asio::awaitable<void> BridgeLoop::setSharing(bool on) {
    if (engine) {
        engine->setSharing(on);
        co_await show(engine->status());
    }
}

asio::awaitable<void> BridgeLoop::hideCurrent() {
    return act(&BridgeEngine::hideCurrent);
}

asio::awaitable<void> BridgeLoop::undoLast() {
    return act(&BridgeEngine::undoLast);
}

asio::awaitable<void> BridgeLoop::endGig() {
    return act(&BridgeEngine::endGig);
}

// The engine of the moment the action is given; it stays alive until the action has ended.
asio::awaitable<void> BridgeLoop::act(Action body) {
    if (!engine) {
        co_return;
    }
    co_await actions.run([driven = engine, body, show = show]() -> asio::awaitable<void> {
        co_await ((*driven).*body)();
        co_await show(driven->status());
    });
}

} // namespace bridge
