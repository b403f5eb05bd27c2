#include "Engine/BridgeLoop.hpp"
#include "PlayQueue/QueueTesting.hpp"
#include "Support/FakeGigServer.hpp"
#include "Support/FakeReader.hpp"
#include "Support/TempFolder.hpp"
#include "Values/SourceError.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/use_future.hpp>
#include <gtest/gtest.h>

#include <future>

namespace bridge {
namespace {

namespace asio = boost::asio;
using testing::at;

class BridgeLoopTests : public ::testing::Test {
protected:
    testing::TempFolder folder;
    asio::io_context io;
    std::shared_ptr<testing::FakeReader> reader = std::make_shared<testing::FakeReader>();
    std::shared_ptr<testing::FakeGigServer> server = std::make_shared<testing::FakeGigServer>();
    std::vector<BridgeStatus> shown;
    std::vector<Seconds> waits;
    std::vector<std::string> events; // what happened, in order, across engines and actions
    // Set to make every wait end at once; the loop then stops after `waitsBeforeStop`.
    bool quickWaits = false;
    std::size_t waitsBeforeStop = 0;

    std::shared_ptr<BridgeLoop> loop = BridgeLoop::create(
        io.get_executor(),
        [this](Seconds duration) -> asio::awaitable<void> {
            waits.push_back(duration);
            if (!quickWaits) {
                co_await BridgeLoop::sleep(std::chrono::hours(1));
            }
            if (waits.size() >= waitsBeforeStop) {
                throw std::runtime_error("stop"); // as a cancelled wait does
            }
            co_await asio::post(io, asio::use_awaitable);
        },
        [this](BridgeStatus status) -> asio::awaitable<void> {
            shown.push_back(std::move(status));
            events.push_back("shown");
            co_return;
        },
        [] { return at(0); });

    // Gives the loop an action, as the application does, without waiting for it.
    void give(asio::awaitable<void> action) {
        asio::co_spawn(io, std::move(action), asio::detached);
    }

    BridgeLoop::Make maker(std::string name,
                           std::shared_ptr<testing::FakeGigServer> gigServer = nullptr) {
        return [this, name, gigServer] {
            events.push_back("made " + name);
            return std::make_shared<BridgeEngine>(
                reader, gigServer ? gigServer : server, PlayQueue(folder / "queue.json"),
                PlayDetector(Seconds{10}), BridgeEngine::Settings{});
        };
    }

    // The first engine's conversation waits at `gate`: the engine `name` must not be made
    // before it has been let through and has shown its status.
    void expectMadeOnlyAfterTheConversation(const std::string& name, testing::Gate& gate) {
        const std::string made = "made " + name;
        io.poll();
        EXPECT_EQ(std::count(events.begin(), events.end(), made), 0)
            << "the old conversation is still out";
        gate.release();
        runUntil([&] { return std::count(events.begin(), events.end(), made) == 1; });
        const auto at = std::find(events.begin(), events.end(), made);
        EXPECT_EQ(std::count(events.begin(), at, "shown"), 2) << "the old read, then its talk";
    }

    void runUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 10'000 && !done(); ++i) {
            io.run_one();
        }
        ASSERT_TRUE(done());
    }
};

TEST_F(BridgeLoopTests, ReadsEverySecondAndEveryFiveAfterThirtySilentReads) {
    int failing = 32;
    reader->next = [&]() -> VDJSnapshot {
        if (failing-- > 0) {
            throw SourceError::notAnswering;
        }
        return VDJSnapshot{};
    };
    quickWaits = true;
    waitsBeforeStop = 35;
    loop->start(maker("A"));
    io.run();
    std::vector<Seconds> expected(29, Seconds{1});
    expected.insert(expected.end(), 3, Seconds{5});
    expected.insert(expected.end(), 3, Seconds{1});
    EXPECT_EQ(waits, expected);
    EXPECT_EQ(reader->reads, 35);
    EXPECT_GE(shown.size(), 35u) << "a status after every read";
}

TEST_F(BridgeLoopTests, OneBackgroundConversationAtATime) {
    testing::Gate gate;
    server->gate = &gate;
    quickWaits = true;
    waitsBeforeStop = 5;
    loop->start(maker("A"));
    runUntil([&] { return waits.size() >= 5; });
    EXPECT_EQ(reader->reads, 5);
    EXPECT_EQ(server->count("currentGig"), 1u) << "a slow server never makes conversations pile up";
    gate.release();
    io.run();
}

TEST_F(BridgeLoopTests, StartingWithoutAnEngineStopsAtOnce) {
    loop->start(maker("A"));
    runUntil([&] { return !waits.empty(); });
    EXPECT_TRUE(loop->running());
    const auto before = shown.size();
    loop->start({});
    EXPECT_FALSE(loop->running());
    io.run();
    EXPECT_EQ(reader->reads, 1);
    give(loop->hideCurrent()); // the engine is forgotten: nothing happens
    io.restart();
    io.run();
    EXPECT_LE(shown.size(), before + 1) << "at most the conversation already under way shows";
    EXPECT_EQ(server->count("send"), 0u);
}

TEST_F(BridgeLoopTests, StopWaitsForTheConversationAndKeepsTheEngine) {
    testing::Gate gate;
    server->gate = &gate;
    loop->start(maker("A"));
    runUntil([&] { return gate.waiting == 1; });
    auto stopped = asio::co_spawn(io, loop->stop(), asio::use_future);
    io.poll();
    EXPECT_FALSE(loop->running());
    EXPECT_NE(stopped.wait_for(std::chrono::seconds(0)), std::future_status::ready)
        << "the conversation is still out";
    gate.release();
    io.run();
    stopped.get();
    io.restart();
    auto sharing = asio::co_spawn(io, loop->setSharing(false), asio::use_future);
    io.run();
    sharing.get();
    EXPECT_FALSE(shown.back().sharing) << "the engine is still there";
}

TEST_F(BridgeLoopTests, ANewEngineIsMadeOnlyAfterTheOldOnesActionsEnd) {
    testing::Gate gate;
    server->gate = &gate;
    loop->start(maker("A"));
    runUntil([&] { return gate.waiting == 1; }); // A's first conversation asks for the gig
    give(loop->endGig());
    give(loop->hideCurrent());
    loop->start(maker("B"));
    io.poll();
    EXPECT_EQ(std::count(events.begin(), events.end(), "made B"), 0);
    gate.release();
    runUntil([&] { return std::count(events.begin(), events.end(), "made B") == 1; });
    const auto made = std::find(events.begin(), events.end(), "made B");
    ASSERT_NE(made, events.end());
    // A's conversation and both actions showed their statuses before B was made.
    EXPECT_GE(std::count(events.begin(), made, "shown"), 3);
    EXPECT_TRUE(loop->running());
    loop->start({});
    io.run();
}

// Settings that turn incomplete and then complete again: a start without an engine, then one
// with an engine, while the old engine's conversation is still out.
TEST_F(BridgeLoopTests, AStartAfterAStartWithoutAnEngineWaitsForTheOldLoop) {
    testing::Gate gate;
    server->gate = &gate;
    loop->start(maker("A"));
    runUntil([&] { return gate.waiting == 1; });
    loop->start({});
    loop->start({});
    loop->start(maker("B"));
    expectMadeOnlyAfterTheConversation("B", gate);
    loop->start({});
    io.run();
}

TEST_F(BridgeLoopTests, AStartDuringAStopWaitsForTheStoppedLoop) {
    testing::Gate gate;
    server->gate = &gate;
    loop->start(maker("A"));
    runUntil([&] { return gate.waiting == 1; });
    auto stopped = asio::co_spawn(io, loop->stop(), asio::use_future);
    io.poll();
    loop->start(maker("B"));
    expectMadeOnlyAfterTheConversation("B", gate);
    runUntil(
        [&] { return stopped.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    loop->start({});
    io.run();
}

TEST_F(BridgeLoopTests, ActionsRunOneAfterAnother) {
    // A sent play on a live gig; the hide reaches the server only once.
    server->onCurrentGig = [] {
        return std::optional(
            Gig{.id = 7, .slug = "g", .name = "G", .sharing = true, .url = "https://x.test/g"});
    };
    {
        PlayQueue queue(folder / "queue.json");
        queue.add(testing::play("A"), 7, false);
        testing::FakeGigServer taking;
        auto flushed = asio::co_spawn(io, queue.flush(taking, at(0)), asio::use_future);
        io.run();
        flushed.get();
        io.restart();
    }
    testing::Gate gate;
    loop->start(maker("A"));
    runUntil([&] { return server->count("currentGig") == 1 && !waits.empty(); });
    server->gate = &gate;
    give(loop->hideCurrent());
    give(loop->hideCurrent());
    runUntil([&] { return gate.waiting == 1; });
    EXPECT_EQ(server->count("setHidden"), 1u);
    gate.release();
    loop->start({});
    io.run();
    EXPECT_EQ(server->count("setHidden"), 1u) << "the second hide found nothing new to send";
}

TEST_F(BridgeLoopTests, WorkInTheActionsTurnWaitsForThemAndAnswers) {
    server->onCurrentGig = [] {
        return std::optional(
            Gig{.id = 7, .slug = "g", .name = "G", .sharing = true, .url = "https://x.test/g"});
    };
    testing::Gate gate;
    loop->start(maker("A"));
    runUntil([&] { return server->count("currentGig") == 1 && !waits.empty(); });
    server->gate = &gate;
    give(loop->endGig());
    auto answer = asio::co_spawn(io, loop->inTurn([this]() -> asio::awaitable<std::string> {
        events.push_back("in turn");
        co_return "answered";
    }),
                                 asio::use_future);
    runUntil([&] { return gate.waiting == 1; });
    EXPECT_EQ(std::count(events.begin(), events.end(), "in turn"), 0) << "the end comes first";
    gate.release();
    runUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    EXPECT_EQ(answer.get(), "answered");
    loop->start({});
    io.run();
}

} // namespace
} // namespace bridge
