#pragma once

#include "Server/BridgeServer.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bridge::testing {

// Holds callers until the test opens it; lets a test act while a request is on the way.
class Gate {
public:
    boost::asio::awaitable<void> pass() {
        ++waiting;
        auto executor = co_await boost::asio::this_coro::executor;
        if (!timer) {
            timer.emplace(executor, boost::asio::steady_timer::time_point::max());
        }
        while (!open) {
            co_await timer->async_wait(boost::asio::as_tuple(boost::asio::use_awaitable));
        }
        --waiting;
    }
    void release() {
        open = true;
        if (timer) {
            timer->cancel();
        }
    }
    int waiting = 0;

private:
    bool open = false;
    std::optional<boost::asio::steady_timer> timer;
};

// A gig server whose every answer the test decides, recording every call in order.
class FakeGigServer : public GigServer {
public:
    struct Call {
        std::string kind; // "send", "setHidden", "remove", "currentGig", "endGig"
        std::vector<std::string> ids;
        std::set<std::string> hidden; // for send: the ids sent as hidden
        std::int64_t gig = 0;
        bool flag = false; // for setHidden: the hidden value
    };

    std::vector<Call> calls;
    Gate* gate = nullptr; // when set, every call waits at it first

    // Default answers: every play taken, every change confirmed, no gig.
    std::function<SentPlays(const std::vector<PlayEvent>&, std::int64_t gig)> onSend =
        [](const std::vector<PlayEvent>& plays, std::int64_t) {
            SentPlays sent;
            for (const auto& play : plays) {
                sent.plays.push_back({.eventId = play.id, .taken = true, .hidden = std::nullopt});
            }
            return sent;
        };
    std::function<void(const Call&)> onChange = [](const Call&) {}; // setHidden, remove, endGig
    std::function<std::optional<Gig>()> onCurrentGig = [] { return std::optional<Gig>(); };

    std::size_t count(const std::string& kind) const {
        return static_cast<std::size_t>(std::count_if(
            calls.begin(), calls.end(), [&](const Call& c) { return c.kind == kind; }));
    }

    boost::asio::awaitable<SentPlays>
    send(std::vector<PlayEvent> plays, std::set<std::string> hidden, std::int64_t gigId) override {
        Call call{"send", {}, std::move(hidden), gigId, false};
        for (const auto& play : plays) {
            call.ids.push_back(play.id);
        }
        calls.push_back(call);
        co_await passGate();
        co_return onSend(plays, gigId);
    }
    boost::asio::awaitable<void> setHidden(std::string eventId, std::int64_t gigId,
                                           bool hidden) override {
        co_await change({"setHidden", {std::move(eventId)}, {}, gigId, hidden});
    }
    boost::asio::awaitable<void> remove(std::string eventId, std::int64_t gigId) override {
        co_await change({"remove", {std::move(eventId)}, {}, gigId, false});
    }
    boost::asio::awaitable<std::optional<Gig>> currentGig(SourceState,
                                                          std::optional<std::string>) override {
        calls.push_back({"currentGig", {}, {}, 0, false});
        co_await passGate();
        co_return onCurrentGig();
    }
    boost::asio::awaitable<void> endGig(std::int64_t gigId) override {
        co_await change({"endGig", {}, {}, gigId, false});
    }

private:
    boost::asio::awaitable<void> passGate() {
        if (gate) {
            co_await gate->pass();
        }
    }
    boost::asio::awaitable<void> change(Call call) {
        calls.push_back(call);
        co_await passGate();
        onChange(call);
    }
};

} // namespace bridge::testing
