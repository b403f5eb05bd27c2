#pragma once

#include "Engine/BridgeEngine.hpp"
#include "Engine/BridgeStatus.hpp"
#include "Support/Instant.hpp"
#include "Support/Serial.hpp"
#include "Support/Task.hpp"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>

#include <functional>
#include <memory>
#include <optional>

namespace bridge {

// Drives one engine: reads about once a second, keeps one background server conversation
// going, hands every fresh status on, and runs the DJ's actions one after another. Swaps
// engines so that two never run at once. Lives on the bridge thread.

class BridgeLoop : public std::enable_shared_from_this<BridgeLoop> {
public:
    // Waits for a duration; fails when the waiting task is cancelled.
    using Wait = std::function<boost::asio::awaitable<void>(Seconds)>;
    // Hands a status to the user interface.
    using Show = std::function<boost::asio::awaitable<void>(BridgeStatus)>;
    // Makes the engine to drive.
    using Make = std::function<std::shared_ptr<BridgeEngine>()>;

    // After BridgeEngine::quietAfter reads in a row that found the source not answering.
    static constexpr Seconds quietEvery{5.0};

    static std::shared_ptr<BridgeLoop> create(boost::asio::any_io_executor executor, Wait wait,
                                              Show show,
                                              std::function<Instant()> clock = ReferenceClock::now);

    // A sleep on the monotonic clock that ends early, failing, when its task is cancelled.
    static boost::asio::awaitable<void> sleep(Seconds duration);

    bool running() const { return loop.has_value(); }
    // Replaces the running engine: the old one stops and every pending action ends before
    // `make` runs, also when a start without an engine or a stop came in between. Without
    // `make`, the engine is forgotten and nothing runs.
    void start(Make make);
    // Stops the loop and waits until it and its background conversation have ended. The
    // engine stays, so actions still run on it.
    boost::asio::awaitable<void> stop();
    boost::asio::awaitable<void> setSharing(bool on);
    // The DJ's actions on the engine, each in its turn (below); without an engine, nothing.
    boost::asio::awaitable<void> hideCurrent();
    boost::asio::awaitable<void> undoLast();
    boost::asio::awaitable<void> endGig();
    // Runs `work()` in the actions' turn: after every action given before it, and before the
    // next engine is made; gives back its result.
    template <class Work>
    auto inTurn(Work work) -> decltype(work()) {
        return actions.run(std::move(work));
    }

private:
    using Action = boost::asio::awaitable<void> (BridgeEngine::*)();

    BridgeLoop(boost::asio::any_io_executor executor, Wait wait, Show show,
               std::function<Instant()> clock);

    static boost::asio::awaitable<void> launch(std::weak_ptr<BridgeLoop> weak,
                                               std::optional<Task> previous, Make make);
    void cancelLoop();
    boost::asio::awaitable<void> begin(Make make);
    boost::asio::awaitable<void> run(std::shared_ptr<BridgeEngine> engine);
    void startConversation(const std::shared_ptr<BridgeEngine>& engine, bool loopCancelled);
    boost::asio::awaitable<void> converse(std::shared_ptr<BridgeEngine> engine, bool loopCancelled);
    boost::asio::awaitable<void> act(Action body);

    boost::asio::any_io_executor executor;
    Wait wait;
    Show show;
    std::function<Instant()> clock;
    std::shared_ptr<BridgeEngine> engine;
    std::optional<Task> loop;     // present exactly while running
    std::optional<Task> stopping; // the latest cancelled loop; the next start waits for it
    std::optional<Task> syncing;  // the background conversation in progress
    Serial actions;               // the DJ's actions, one after another
};

} // namespace bridge
