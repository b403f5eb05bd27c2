#include "DenonPlayer.hpp"
#include "StageLinQ/StageLinQConnection.hpp"
#include "StageLinQ/StageLinQError.hpp"
#include "StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace bridge {
namespace {

using namespace testing;
using StageLinQ::StateValue;

const Bytes ownToken = tokenOf(0x0A);
const Bytes deviceToken = tokenOf(0x22);

// One session under test, with what it reported.
struct Session {
    std::vector<std::pair<std::string, StateValue>> values;
    bool ended = false;
    std::exception_ptr error;
    std::optional<Task> task;

    bool failedWith(const StageLinQError& expected) const {
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const StageLinQError& failure) {
            return failure == expected;
        } catch (...) {
        }
        return false;
    }
};

std::shared_ptr<Session> startSession(asio::io_context& context, std::uint16_t port,
                                      StageLinQConnection::Limits limits = {}) {
    auto session = std::make_shared<Session>();
    const StageLinQ::Device device{.token = deviceToken,
                                   .name = "sc6000",
                                   .software = "JP13",
                                   .version = "2.3.1",
                                   .port = port,
                                   .address = "127.0.0.1"};
    session->task =
        Task::spawn(context.get_executor(),
                    StageLinQConnection::follow(
                        device, ownToken, limits,
                        [raw = session.get()](const std::string& path, const StateValue& value) {
                            raw->values.emplace_back(path, value);
                        }),
                    [session](std::exception_ptr error) {
                        session->ended = true;
                        session->error = error;
                    });
    return session;
}

// A scripted player: the test writes its side of both connections by hand.
class ScriptedPlayer {
public:
    explicit ScriptedPlayer(asio::io_context& context) : context(context) {}

    std::uint16_t mainPort() const { return mainAcceptor.local_endpoint().port(); }
    std::uint16_t stateMapPort() const { return stateMapAcceptor.local_endpoint().port(); }

    using Script = std::function<asio::awaitable<void>(tcp::socket&)>;

    // Runs `script` once the main connection is accepted and its services request read.
    void onMain(Script script) { spawn(serveMain(this, std::move(script))); }

    // Runs `script` once the state-map connection is accepted and its announcement read.
    void onStateMap(Script script) { spawn(serveStateMap(this, std::move(script))); }

    // The standard answer on the main connection, pointing at the state-map acceptor.
    Bytes serviceList() const {
        return join({StageLinQ::servicesRequest(deviceToken), serviceMessage("Broadcast", 46863),
                     serviceMessage("StateMap", stateMapPort()),
                     StageLinQ::reference(ownToken, deviceToken)});
    }

    // Whether the session closed both connections.
    bool bothClosed() {
        bool mainClosed = false;
        bool stateMapClosed = !stateMap;
        spawn(noteClosed(*main, mainClosed));
        if (stateMap) {
            spawn(noteClosed(*stateMap, stateMapClosed));
        }
        return runUntil(
            context, [&] { return mainClosed && stateMapClosed; }, 2s);
    }

    asio::io_context& context;
    tcp::acceptor mainAcceptor{context, {asio::ip::address_v4::loopback(), 0}};
    tcp::acceptor stateMapAcceptor{context, {asio::ip::address_v4::loopback(), 0}};
    std::optional<tcp::socket> main;
    std::optional<tcp::socket> stateMap;
    Bytes request;
    Bytes announcement;

private:
    // Coroutines take what they use as parameters, so that nothing they use dies with a
    // temporary lambda.
    static asio::awaitable<void> serveMain(ScriptedPlayer* self, Script script) {
        self->main = co_await self->mainAcceptor.async_accept(asio::use_awaitable);
        self->request = co_await readBytes(*self->main, 20);
        co_await script(*self->main);
    }

    static asio::awaitable<void> serveStateMap(ScriptedPlayer* self, Script script) {
        self->stateMap = co_await self->stateMapAcceptor.async_accept(asio::use_awaitable);
        self->announcement = co_await readBytes(*self->stateMap, 4 + 16 + 4 + 16 + 2);
        co_await script(*self->stateMap);
    }

    static asio::awaitable<void> noteClosed(tcp::socket& socket, bool& closed) {
        closed = co_await closedByPeer(socket);
    }

    void spawn(asio::awaitable<void> work) {
        asio::co_spawn(context, std::move(work), [](const std::exception_ptr&) {});
    }
};

asio::awaitable<void> idle(tcp::socket&) {
    co_await pause(60s);
}

// Writes `bytes` in pieces of `size`, with a pause between, so that reads find them split.
asio::awaitable<void> writeInPieces(tcp::socket& socket, Bytes bytes, std::size_t size) {
    for (std::size_t at = 0; at < bytes.size(); at += size) {
        const auto end = std::min(bytes.size(), at + size);
        co_await writeBytes(socket, Bytes(bytes.begin() + at, bytes.begin() + end));
        co_await pause(1ms);
    }
    co_await pause(60s);
}

ScriptedPlayer::Script trickle(Bytes bytes, std::size_t size) {
    return [bytes, size](tcp::socket& socket) { return writeInPieces(socket, bytes, size); };
}

ScriptedPlayer::Script send(Bytes bytes) {
    return trickle(bytes, bytes.size());
}

asio::awaitable<void> writeThenClose(tcp::socket& socket, Bytes bytes) {
    co_await writeBytes(socket, bytes);
    socket.close();
}

asio::awaitable<void> writeLate(tcp::socket& socket) {
    co_await pause(400ms);
    co_await writeBytes(socket, valueMessage("/Engine/Deck1/Play", R"({"state":true})"));
    co_await pause(60s);
}

// Once the session has opened the state map, ends the main connection: with a reset, or
// with an orderly close.
asio::awaitable<void> endMainWhenStateMapIsUp(ScriptedPlayer& scripted, tcp::socket& socket,
                                              bool reset) {
    co_await writeBytes(socket, scripted.serviceList());
    while (scripted.announcement.empty()) {
        co_await pause(10ms);
    }
    if (reset) {
        socket.set_option(asio::socket_base::linger(true, 0));
    }
    socket.close();
}

asio::awaitable<void> writeThenNote(tcp::socket& socket, Bytes bytes, bool& written) {
    co_await writeBytes(socket, bytes);
    written = true;
    co_await pause(60s);
}

class StageLinQConnectionTests : public ::testing::Test {
protected:
    asio::io_context context;
    ScriptedPlayer player{context};
};

TEST_F(StageLinQConnectionTests, HoldsASessionWithTheSimulatedPlayer) {
    DenonPlayer denon{context, DenonPlayer::Options{.token = deviceToken}};
    denon.start();
    denon.load(1, "So What", "Miles Davis");
    auto session = startSession(context, denon.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return denon.subscriptions().size() == 35; }));
    EXPECT_EQ(denon.subscriptions(), StageLinQ::paths());
    ASSERT_TRUE(runUntil(context, [&] { return session->values.size() == 3; }));
    // The player's answer and its own subscription before the values are skipped.
    EXPECT_EQ(session->values[0].first, "/Engine/Deck1/Track/ArtistName");
    EXPECT_EQ(session->values[0].second, StateValue{.text = "Miles Davis"});
    EXPECT_EQ(session->values[1].first, "/Engine/Deck1/Track/SongName");
    EXPECT_EQ(session->values[2].second, StateValue{.flag = true});

    denon.play(1, true);
    ASSERT_TRUE(runUntil(context, [&] { return session->values.size() == 4; }));
    EXPECT_EQ(session->values[3],
              (std::pair<std::string, StateValue>{"/Engine/Deck1/Play", StateValue{.flag = true}}));
    // Keep-alives go out four times a second on the main connection.
    ASSERT_TRUE(runUntil(
        context, [&] { return denon.references() >= 2; }, 2s));

    session->task->cancel();
    ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
    EXPECT_FALSE(session->error);
}

TEST_F(StageLinQConnectionTests, SendsTheRequestAndTheStateMapAnnouncement) {
    player.onMain(send(player.serviceList()));
    player.onStateMap(idle);
    auto session = startSession(context, player.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return !player.announcement.empty(); }));
    EXPECT_EQ(player.request, StageLinQ::servicesRequest(ownToken));
    const auto local = player.stateMap->remote_endpoint().port();
    EXPECT_EQ(player.announcement, StageLinQ::stateMapAnnouncement(ownToken, local));
    session->task->cancel();
    ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
    EXPECT_FALSE(session->error);
    EXPECT_TRUE(player.bothClosed());
}

TEST_F(StageLinQConnectionTests, ReadsTheServiceListSplitIntoSingleBytes) {
    player.onMain(trickle(player.serviceList(), 1));
    player.onStateMap(trickle(join({valueMessage("/Engine/Deck1/Play", R"({"state":true})"),
                                    valueMessage("/Mixer/CrossfaderPosition", R"({"value":0.5})")}),
                              3));
    auto session = startSession(context, player.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return session->values.size() == 2; }));
    EXPECT_EQ(session->values[1].second, StateValue{.number = 0.5});
}

TEST_F(StageLinQConnectionTests, TakesALaterStateMapAndEndsTheListAtAnUnknownId) {
    // A duplicate announcement replaces the first; id 7 ends the list without a reference.
    player.onMain(
        send(join({serviceMessage("StateMap", 1), serviceMessage("StateMap", player.stateMapPort()),
                   StageLinQ::uint(7, 4)})));
    player.onStateMap(send(valueMessage("/Engine/DeckCount", R"({"type":10,"value":4})")));
    auto session = startSession(context, player.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return session->values.size() == 1; }));
}

TEST_F(StageLinQConnectionTests, FailsWithoutAStateMap) {
    player.onMain(
        send(join({StageLinQ::servicesRequest(deviceToken), serviceMessage("Broadcast", 46863),
                   StageLinQ::reference(ownToken, deviceToken)})));
    auto session = startSession(context, player.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
    EXPECT_TRUE(session->failedWith(StageLinQError::noStateMap));
    EXPECT_TRUE(player.bothClosed());
}

TEST_F(StageLinQConnectionTests, LimitsServiceNames) {
    const std::string longest(64, 'x'); // 128 bytes in UTF-16
    player.onMain(send(join({serviceMessage(longest, 1), serviceMessage(longest + "y", 2)})));
    auto session = startSession(context, player.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
    EXPECT_TRUE(session->failedWith(StageLinQError::tooLong));
}

TEST_F(StageLinQConnectionTests, SkipsWhatIsNotAValueAndStaysInStep) {
    const auto play = valueMessage("/Engine/Deck1/Play", R"({"state":true})");
    auto oddText = valueMessage("/Engine/Deck1/Play", R"({"state":false})");
    oddText[15] = 0x25; // the path's length becomes odd
    player.onMain(send(player.serviceList()));
    // All of it coalesced in one write.
    player.onStateMap(send(join({
        StageLinQ::uint(0, 4), // empty message
        stateMessage(0x7D1, "/Client/Preferences/Player",
                     StageLinQ::text(R"({"string":"1","type":4})")),
        stateMessage(0x7D2, "/Engine/Deck1/Play", StageLinQ::uint(0xFFFFFFFF, 4)),
        stateMessage(0x1234, "/Engine/Deck1/Play", {}),       // unknown kind
        valueMessage("/Engine/Deck1/Play", "{\"state\":tru"), // broken JSON
        valueMessage("/Engine/Deck1/Play", "[1]"),            // not an object
        oddText,
        join({StageLinQ::uint(8, 4), ascii("smaa"), StageLinQ::uint(0, 4)}), // no texts
        play,
    })));
    auto session = startSession(context, player.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return session->values.size() == 1; }));
    EXPECT_EQ(session->values[0].second, StateValue{.flag = true});
    EXPECT_FALSE(session->ended);
}

TEST_F(StageLinQConnectionTests, LimitsStateMapMessages) {
    // A value message whose body is exactly the largest accepted: 8 bytes of head, 38 of
    // path and 4 + 2 × 8167 of JSON text.
    const auto largest =
        valueMessage("/Engine/DeckCount", R"({"value":3})" + std::string(8167 - 11, ' '));
    ASSERT_EQ(largest.size(), 4u + 16384u);
    player.onMain(send(player.serviceList()));
    player.onStateMap(send(join({largest, StageLinQ::uint(StageLinQ::messageMax + 1, 4)})));
    auto session = startSession(context, player.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
    ASSERT_EQ(session->values.size(), 1u);
    EXPECT_EQ(session->values[0].second, StateValue{.number = 3});
    EXPECT_TRUE(session->failedWith(StageLinQError::tooLong));
    EXPECT_TRUE(player.bothClosed());
}

TEST_F(StageLinQConnectionTests, FailsWhenThePlayerStopsMidMessage) {
    const auto play = valueMessage("/Engine/Deck1/Play", R"({"state":true})");
    player.onMain(send(player.serviceList()));
    player.onStateMap([&](tcp::socket& socket) {
        return writeThenClose(socket, Bytes(play.begin(), play.begin() + 12));
    });
    auto session = startSession(context, player.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
    EXPECT_TRUE(session->failedWith(StageLinQError::closed));
    EXPECT_TRUE(session->values.empty());
}

TEST_F(StageLinQConnectionTests, GivesUpOnAPlayerThatDoesNotAnswer) {
    player.onMain(idle);
    const auto started = std::chrono::steady_clock::now();
    auto session = startSession(context, player.mainPort(), {.answerWithin = 200ms});
    ASSERT_TRUE(runUntil(
        context, [&] { return session->ended; }, 3s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 200ms);
    EXPECT_TRUE(session->failedWith(StageLinQError::closed));
    EXPECT_TRUE(player.bothClosed());
}

TEST_F(StageLinQConnectionTests, TheDeadlineEndsOnceTheStateMapIsOpen) {
    player.onMain(send(player.serviceList()));
    player.onStateMap([](tcp::socket& socket) { return writeLate(socket); });
    auto session = startSession(context, player.mainPort(), {.answerWithin = 200ms});
    ASSERT_TRUE(runUntil(
        context, [&] { return session->values.size() == 1; }, 3s));
    EXPECT_FALSE(session->ended);
}

TEST_F(StageLinQConnectionTests, EndsWhenThePlayerFallsSilentWithoutClosing) {
    DenonPlayer denon{context, DenonPlayer::Options{.token = deviceToken}};
    denon.start();
    denon.load(1, "So What", "Miles Davis");
    auto session = startSession(context, denon.mainPort(), {.silentWithin = 600ms});
    ASSERT_TRUE(runUntil(context, [&] { return session->values.size() == 3; }));
    // A player that answers the keep-alives stays followed well past the limit.
    runUntil(
        context, [] { return false; }, 1s);
    EXPECT_FALSE(session->ended);

    denon.silence();
    const auto silenced = std::chrono::steady_clock::now();
    ASSERT_TRUE(runUntil(
        context, [&] { return session->ended; }, 3s));
    // The limit runs from the last answer heard, at most one keep-alive before the silence.
    const auto after = std::chrono::steady_clock::now() - silenced;
    EXPECT_GE(after, 300ms);
    EXPECT_LT(after, 1500ms);
    EXPECT_TRUE(session->failedWith(StageLinQError::closed));
}

TEST_F(StageLinQConnectionTests, EndsWhenThePlayerEndsItsMainConnection) {
    const auto sessionWith = [&](ScriptedPlayer& scripted, bool reset) {
        scripted.onMain([&scripted, reset](tcp::socket& socket) {
            return endMainWhenStateMapIsUp(scripted, socket, reset);
        });
        scripted.onStateMap(idle);
        return startSession(scripted.context, scripted.mainPort());
    };
    // The state map stays open and quiet; only the main connection tells.
    for (const bool reset : {true, false}) {
        ScriptedPlayer scripted{context};
        auto session = sessionWith(scripted, reset);
        ASSERT_TRUE(runUntil(
            context, [&] { return session->ended; }, 2s))
            << (reset ? "reset" : "closed");
        EXPECT_TRUE(session->error);
        EXPECT_TRUE(scripted.stateMap && scripted.bothClosed());
    }
}

TEST_F(StageLinQConnectionTests, ReadsAndDropsWhatThePlayerSendsOnTheMainConnection) {
    // Far more references than the connection could hold unread.
    Bytes references;
    for (int i = 0; i < 200'000; ++i) {
        const auto reference = StageLinQ::reference(deviceToken, Bytes(16, 0));
        references.insert(references.end(), reference.begin(), reference.end());
    }
    bool written = false;
    player.onMain([&](tcp::socket& socket) {
        return writeThenNote(socket, join({player.serviceList(), references}), written);
    });
    player.onStateMap(send(valueMessage("/Engine/Deck1/Play", R"({"state":true})")));
    auto session = startSession(context, player.mainPort());
    ASSERT_TRUE(runUntil(context, [&] { return written && session->values.size() == 1; }));
    EXPECT_FALSE(session->ended);
}

TEST_F(StageLinQConnectionTests, FailsWhenThePlayerRefuses) {
    const auto port = player.mainPort();
    player.mainAcceptor.close();
    auto session = startSession(context, port);
    ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
    EXPECT_TRUE(session->error);
}

TEST_F(StageLinQConnectionTests, EndsNormallyWhenCancelledAtAnyStage) {
    // Before it started.
    {
        auto session = startSession(context, player.mainPort());
        session->task->cancel();
        ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
        EXPECT_FALSE(session->error);
    }
    // Waiting for the service list.
    {
        ScriptedPlayer waiting{context};
        waiting.onMain(idle);
        auto session = startSession(context, waiting.mainPort());
        ASSERT_TRUE(runUntil(context, [&] { return !waiting.request.empty(); }));
        session->task->cancel();
        ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
        EXPECT_FALSE(session->error);
        EXPECT_TRUE(waiting.bothClosed());
    }
    // Receiving, in the middle of a message.
    {
        ScriptedPlayer receiving{context};
        receiving.onMain(send(receiving.serviceList()));
        receiving.onStateMap(send(Bytes{0, 0, 0, 40, 's'}));
        auto session = startSession(context, receiving.mainPort());
        ASSERT_TRUE(runUntil(context, [&] { return !receiving.announcement.empty(); }));
        session->task->cancel();
        ASSERT_TRUE(runUntil(context, [&] { return session->ended; }));
        EXPECT_FALSE(session->error);
        EXPECT_TRUE(receiving.bothClosed());
    }
}

} // namespace
} // namespace bridge
