#include "DenonPlayer.hpp"
#include "StageLinQ/StageLinQLink.hpp"
#include "StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace bridge {
namespace {

using namespace testing;

// What one discovery run heard, filled from its thread.
struct Heard {
    std::vector<StageLinQ::Device> devices() const {
        std::lock_guard guard{lock};
        return list;
    }
    std::size_t count(const Bytes& token) const {
        const auto all = devices();
        return static_cast<std::size_t>(std::count_if(
            all.begin(), all.end(), [&](const auto& device) { return device.token == token; }));
    }
    StageLinQNetwork::Found found() {
        return [this](const StageLinQ::Device& device) {
            std::lock_guard guard{lock};
            list.push_back(device);
        };
    }

    mutable std::mutex lock;
    std::vector<StageLinQ::Device> list;
};

class StageLinQLinkTests : public ::testing::Test {
protected:
    Task discover(Bytes announcement) {
        return Task::spawn(context.get_executor(),
                           link.discover(std::move(announcement), heard.found()),
                           [this](std::exception_ptr error) {
                               ended = true;
                               failure = error;
                           });
    }

    asio::io_context context;
    std::atomic<int> targetCalls = 0;
    StageLinQLink link{freePort(context), [this] {
                           ++targetCalls;
                           return std::vector<std::string>{"127.0.0.1", "not an address"};
                       }};
    Heard heard;
    bool ended = false;
    std::exception_ptr failure;
};

TEST_F(StageLinQLinkTests, HearsPlayersAndItsOwnAnnouncement) {
    const auto own = tokenOf(0x0A);
    DenonPlayer player{context};
    player.start();
    auto announcing = Task::spawn(context.get_executor(), player.announce(link.port, 50ms));
    auto task = discover(StageLinQ::announcement(own, "Setmara Bridge", "1.0"));
    ASSERT_TRUE(runUntil(
        context, [&] { return heard.count(player.token()) >= 2 && heard.count(own) >= 1; }));
    const auto devices = heard.devices();
    const auto device = std::find_if(devices.begin(), devices.end(),
                                     [&](const auto& d) { return d.token == player.token(); });
    EXPECT_EQ(device->software, "JP13");
    EXPECT_EQ(device->port, player.mainPort());
    EXPECT_EQ(device->address, "127.0.0.1");

    const auto cancelled = std::chrono::steady_clock::now();
    task.cancel();
    announcing.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return ended; }, 2s));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, 900ms);
    EXPECT_FALSE(failure);
}

TEST_F(StageLinQLinkTests, AnnouncesOncePerSecondAndAsksForTargetsRarely) {
    const auto own = tokenOf(0x0A);
    auto task = discover(StageLinQ::announcement(own, "Setmara Bridge", "1.0"));
    ASSERT_TRUE(runUntil(
        context, [&] { return heard.count(own) == 2; }, 3s));
    EXPECT_EQ(targetCalls, 1);
    task.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return ended; }, 2s));
    EXPECT_LE(heard.count(own), 3u);
}

TEST_F(StageLinQLinkTests, OnlyListensWithoutAnAnnouncement) {
    auto task = discover({});
    const auto good = StageLinQ::announcement(tokenOf(0x33), "Resolume", "7");
    auto sending =
        Task::spawn(context.get_executor(),
                    sendRepeatedly(link.port, {ascii("airD"), Bytes(good.begin(), good.end() - 1),
                                               Bytes{0}, good}));
    ASSERT_TRUE(runUntil(
        context, [&] { return heard.devices().size() >= 2; }, 3s));
    for (const auto& device : heard.devices()) {
        EXPECT_EQ(device.software, "Resolume");
    }
    EXPECT_EQ(targetCalls, 0);
    task.cancel();
    sending.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return ended; }, 2s));
}

TEST_F(StageLinQLinkTests, EndsAtOnceWhenCancelledBeforeItStarts) {
    auto task = discover(StageLinQ::announcement(tokenOf(1), "Setmara Bridge", "1.0"));
    task.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return ended; }, 2s));
    EXPECT_FALSE(failure);
}

TEST_F(StageLinQLinkTests, FailsWhenThePortIsHeld) {
    asio::ip::udp::socket holder{context, {asio::ip::udp::v4(), link.port}};
    discover({});
    ASSERT_TRUE(runUntil(
        context, [&] { return ended; }, 2s));
    ASSERT_TRUE(failure);
    EXPECT_THROW(std::rethrow_exception(failure), std::system_error);
}

// A run whose end is posted to its io_context, which is destroyed before the end is handled;
// the task's handle goes last.
void destroyTheContextRightAfterTheEnd() {
    {
        auto context = std::make_unique<asio::io_context>();
        StageLinQLink link{freePort(*context), [] { return std::vector<std::string>{}; }};
        const auto task = Task::spawn(context->get_executor(),
                                      link.discover({}, [](const StageLinQ::Device&) {}));
        context->poll(); // the run starts its thread
        task.cancel();
        context->poll();
        // The thread sees the cancellation within one receive timeout and posts its end.
        std::this_thread::sleep_for(800ms);
        context.reset();
    }
    std::exit(0);
}

TEST(StageLinQLinkEnding, JoinsItsThreadWhenTheContextGoesRightAfterTheEnd) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(destroyTheContextRightAfterTheEnd(), ::testing::ExitedWithCode(0), "");
}

TEST(StageLinQLinkAddresses, ListsEachBroadcastAddressOnce) {
    const auto targets = StageLinQLink::broadcastAddresses();
    for (const auto& target : targets) {
        in_addr parsed{};
        EXPECT_EQ(::inet_pton(AF_INET, target.c_str(), &parsed), 1) << target;
        EXPECT_FALSE(target.starts_with("127.")) << target;
        EXPECT_EQ(std::count(targets.begin(), targets.end(), target), 1) << target;
    }
}

} // namespace
} // namespace bridge
