#include "StageLinQ/DenonReader.hpp"
#include "StageLinQ/StageLinQError.hpp"
#include "StageLinQTesting.hpp"
#include "Values/SourceError.hpp"

#include <boost/asio/as_tuple.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

namespace bridge {
namespace {

using namespace testing;
using StageLinQ::Device;

// Discovery and sessions by hand: the test announces devices, sends values and ends sessions.
class FakeNetwork : public StageLinQNetwork {
public:
    struct Followed {
        Device device;
        Bytes token;
        Value value;
        asio::steady_timer* wait = nullptr;
        bool cancelled = false;
    };

    asio::awaitable<void> discover(Bytes announcement, Found found) override {
        ++discoveries;
        this->announcement = announcement;
        if (failDiscovery) {
            throw std::system_error(std::make_error_code(std::errc::address_in_use));
        }
        this->found = found;
        asio::steady_timer wait{co_await asio::this_coro::executor,
                                asio::steady_timer::time_point::max()};
        co_await wait.async_wait(asio::as_tuple(asio::use_awaitable));
        this->found = nullptr;
        discoveryCancelled = true;
    }

    asio::awaitable<void> follow(Device device, Bytes token, Value value) override {
        auto session = std::make_shared<Followed>(Followed{device, token, value});
        sessions[device.token] = session;
        ++sessionCount;
        if (refuse.contains(device.token)) {
            throw StageLinQError::closed;
        }
        asio::steady_timer wait{co_await asio::this_coro::executor,
                                asio::steady_timer::time_point::max()};
        session->wait = &wait;
        const auto [error] = co_await wait.async_wait(asio::as_tuple(asio::use_awaitable));
        session->wait = nullptr;
        session->cancelled =
            error == asio::error::operation_aborted && !ending.contains(device.token);
        if (ending.erase(device.token) > 0) {
            throw StageLinQError::closed;
        }
    }

    // Ends a session as a player that went away.
    void end(const Bytes& token) {
        ending.insert(token);
        sessions.at(token)->wait->cancel();
    }

    bool following(const Bytes& token) const {
        const auto found = sessions.find(token);
        return found != sessions.end() && found->second->wait != nullptr;
    }

    int discoveries = 0;
    bool failDiscovery = false;
    bool discoveryCancelled = false;
    Bytes announcement;
    Found found;
    std::map<Bytes, std::shared_ptr<Followed>> sessions;
    int sessionCount = 0;
    std::set<Bytes> refuse;
    std::set<Bytes> ending;
};

Device player(std::uint8_t id, std::string software = "JP13", std::uint16_t port = 40000) {
    return Device{.token = tokenOf(id),
                  .name = "sc6000",
                  .software = std::move(software),
                  .version = "2.3.1",
                  .port = port,
                  .address = "127.0.0.1"};
}

class DenonReaderTests : public ::testing::Test {
protected:
    // The fake keeps the reader's callbacks; releasing the reader ends the calls that hold
    // them, and then they go.
    ~DenonReaderTests() override {
        reader.reset();
        runUntil(context, [&] {
            return !network->found &&
                   std::none_of(network->sessions.begin(), network->sessions.end(),
                                [](const auto& session) { return session.second->wait; });
        });
        network->sessions.clear();
    }

    VDJSnapshot read() { return runUntilDone(context, reader->read()); }

    bool notAnswering() {
        try {
            read();
        } catch (const SourceError& error) {
            return error == SourceError::notAnswering;
        }
        return false;
    }

    void announce(const Device& device) {
        ASSERT_TRUE(network->found);
        network->found(device);
        settle(context);
    }

    void later(double seconds) { clock = clock + Seconds{seconds}; }

    asio::io_context context;
    std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>();
    const Bytes own = tokenOf(0x0A);
    Instant clock = instantFromReferenceSeconds(1000);
    std::unique_ptr<DenonReader> reader =
        std::make_unique<DenonReader>(network, own, [this] { return clock; });
};

TEST_F(DenonReaderTests, StartsDiscoveryOnTheFirstReadOnly) {
    settle(context);
    EXPECT_EQ(network->discoveries, 0);
    EXPECT_TRUE(notAnswering());
    ASSERT_TRUE(runUntil(context, [&] { return network->found != nullptr; }));
    EXPECT_EQ(network->announcement, StageLinQ::announcement(own, "Setmara Bridge", "1.0"));
    EXPECT_TRUE(notAnswering());
    EXPECT_EQ(network->discoveries, 1);
}

TEST_F(DenonReaderTests, FollowsOnlyOtherDevicesWorthASession) {
    EXPECT_TRUE(notAnswering());
    ASSERT_TRUE(runUntil(context, [&] { return network->found != nullptr; }));
    announce(player(0x0A)); // its own announcement
    announce(player(0x31, "JM08", 50010));
    announce(player(0x32, "OfflineAnalyzer", 41339));
    announce(player(0x33, "JP13", 0));
    EXPECT_EQ(network->sessionCount, 0);
    EXPECT_TRUE(notAnswering());

    announce(player(0x01));
    announce(player(0x01));
    EXPECT_EQ(network->sessionCount, 1);
    EXPECT_EQ(network->sessions.at(tokenOf(1))->token, own);
    const auto snapshot = read();
    EXPECT_EQ(snapshot.decks.size(), 2u);
    EXPECT_FALSE(snapshot.decks[0].loaded);

    network->sessions.at(tokenOf(1))
        ->value("/Engine/Deck1/Track/SongName", StageLinQ::StateValue{.text = "So What"});
    network->sessions.at(tokenOf(1))
        ->value("/Engine/Deck1/Play", StageLinQ::StateValue{.flag = true});
    EXPECT_EQ(read().decks[0].song->title, "So What");
    EXPECT_TRUE(read().decks[0].audible);
}

TEST_F(DenonReaderTests, DropsAnEndedSessionAndRetriesAfterFiveSeconds) {
    EXPECT_TRUE(notAnswering());
    ASSERT_TRUE(runUntil(context, [&] { return network->found != nullptr; }));
    announce(player(0x01));
    network->sessions.at(tokenOf(1))
        ->value("/Engine/DeckCount", StageLinQ::StateValue{.number = 4});
    EXPECT_EQ(read().decks.size(), 4u);

    network->end(tokenOf(1));
    ASSERT_TRUE(runUntil(context, [&] { return notAnswering(); }));
    later(4.9);
    announce(player(0x01));
    EXPECT_EQ(network->sessionCount, 1);
    later(0.1);
    announce(player(0x01));
    EXPECT_EQ(network->sessionCount, 2);
    EXPECT_EQ(read().decks.size(), 2u) << "the old state went with the old session";
}

TEST_F(DenonReaderTests, AFollowedDeviceOnAnotherAddressOrPortGetsANewSession) {
    EXPECT_TRUE(notAnswering());
    ASSERT_TRUE(runUntil(context, [&] { return network->found != nullptr; }));
    announce(player(0x01));
    const auto first = network->sessions.at(tokenOf(1));
    first->value("/Engine/DeckCount", StageLinQ::StateValue{.number = 4});
    EXPECT_EQ(read().decks.size(), 4u);

    // It restarted on a new port while its old session still waits for it.
    announce(player(0x01, "JP13", 40001));
    ASSERT_TRUE(runUntil(context, [&] { return first->cancelled; }));
    const auto second = network->sessions.at(tokenOf(1));
    EXPECT_EQ(network->sessionCount, 2);
    EXPECT_EQ(second->device.port, 40001);
    EXPECT_EQ(read().decks.size(), 2u) << "the old state went with the old session";
    // What the old session still delivers is not taken.
    first->value("/Engine/DeckCount", StageLinQ::StateValue{.number = 4});
    EXPECT_EQ(read().decks.size(), 2u);

    auto moved = player(0x01, "JP13", 40001);
    moved.address = "127.0.0.2";
    announce(moved);
    ASSERT_TRUE(runUntil(context, [&] { return second->cancelled; }));
    EXPECT_EQ(network->sessionCount, 3);
    EXPECT_TRUE(network->following(tokenOf(1)));
    EXPECT_EQ(read().decks.size(), 2u);
    announce(moved);
    EXPECT_EQ(network->sessionCount, 3);
}

TEST_F(DenonReaderTests, RetriesARefusingDeviceAtMostEveryFiveSeconds) {
    network->refuse.insert(tokenOf(1));
    EXPECT_TRUE(notAnswering());
    ASSERT_TRUE(runUntil(context, [&] { return network->found != nullptr; }));
    announce(player(0x01));
    announce(player(0x01));
    later(2);
    announce(player(0x01));
    EXPECT_EQ(network->sessionCount, 1);
    EXPECT_TRUE(notAnswering());
    later(3);
    announce(player(0x01));
    EXPECT_EQ(network->sessionCount, 2);
}

TEST_F(DenonReaderTests, FollowsAtMostEightDevices) {
    EXPECT_TRUE(notAnswering());
    ASSERT_TRUE(runUntil(context, [&] { return network->found != nullptr; }));
    for (std::uint8_t id = 1; id <= 9; ++id) {
        announce(player(id));
    }
    EXPECT_EQ(network->sessionCount, 8);
    EXPECT_FALSE(network->sessions.contains(tokenOf(9)));
    EXPECT_EQ(read().decks.size(), 16u);

    network->end(tokenOf(3));
    ASSERT_TRUE(runUntil(context, [&] { return read().decks.size() == 14; }));
    announce(player(9));
    EXPECT_TRUE(network->following(tokenOf(9)));
    EXPECT_EQ(read().decks.size(), 16u);
}

TEST_F(DenonReaderTests, RestartsDiscoveryFiveSecondsAfterItFailed) {
    network->failDiscovery = true;
    EXPECT_TRUE(notAnswering());
    ASSERT_TRUE(runUntil(context, [&] { return network->discoveries == 1; }));
    settle(context);
    later(4.9);
    EXPECT_TRUE(notAnswering());
    settle(context);
    EXPECT_EQ(network->discoveries, 1);
    network->failDiscovery = false;
    later(0.1);
    EXPECT_TRUE(notAnswering());
    ASSERT_TRUE(runUntil(context, [&] { return network->found != nullptr; }));
    EXPECT_EQ(network->discoveries, 2);
}

TEST_F(DenonReaderTests, StopsEverythingWhenReleased) {
    EXPECT_TRUE(notAnswering());
    ASSERT_TRUE(runUntil(context, [&] { return network->found != nullptr; }));
    announce(player(0x01));
    announce(player(0x02));
    const auto found = network->found;
    reader.reset();
    ASSERT_TRUE(runUntil(context, [&] {
        return network->discoveryCancelled && network->sessions.at(tokenOf(1))->cancelled &&
               network->sessions.at(tokenOf(2))->cancelled;
    }));
    found(player(0x03));
    settle(context);
    EXPECT_EQ(network->sessionCount, 2);
}

} // namespace
} // namespace bridge
