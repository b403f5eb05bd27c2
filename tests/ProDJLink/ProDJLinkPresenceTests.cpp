// The bridge as a device, against a fake network and a clock moved by its own waits.
#include "ProDJLink/ProDJLinkPresence.hpp"
#include "StageLinQ/StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <boost/asio/post.hpp>
#include <gtest/gtest.h>

#include <system_error>

namespace bridge {
namespace {

using namespace testing;
using ProDJLink::DeviceKind;
using ProDJLink::Packet;
using Interface = ProDJLinkNetwork::Interface;
using Heard = ProDJLinkNetwork::Heard;
using State = ProDJLinkPresence::State;
using Stage = ProDJLink::NumberClaim::Stage;

class FakeNetwork : public ProDJLinkNetwork {
public:
    struct Sent {
        Instant at;
        Packet packet;
        std::string address;
        std::uint16_t port;
    };

    explicit FakeNetwork(const Instant& clock) : clock(clock) {}

    asio::awaitable<void> listen(Hear callback) override {
        if (failListen) {
            throw std::system_error(std::make_error_code(std::errc::address_in_use));
        }
        hear = std::move(callback);
        asio::steady_timer wait{co_await asio::this_coro::executor,
                                asio::steady_timer::time_point::max()};
        co_await wait.async_wait(asio::as_tuple(asio::use_awaitable));
        hear = nullptr;
    }

    asio::awaitable<void> send(ProDJLink::Bytes packet, std::string address,
                               std::uint16_t port) override {
        if (failSends > 0) {
            --failSends;
            throw std::system_error(std::make_error_code(std::errc::network_unreachable));
        }
        auto parsed = ProDJLink::parse(ProDJLink::announcePort, packet);
        EXPECT_TRUE(parsed) << "the bridge sent a packet that does not read back";
        sent.push_back({clock, parsed.value_or(Packet{}), std::move(address), port});
        co_return;
    }

    const Instant& clock;
    Hear hear;
    bool failListen = false;
    int failSends = 0;
    std::vector<Sent> sent;
};

const Interface eth0{"eth0", "169.254.20.5", "169.254.255.255", {2, 0, 0, 0, 0, 5}};
const Interface eth1{"eth1", "192.168.7.20", "192.168.7.255", {2, 0, 0, 0, 0, 7}};

Heard keepAlive(int number, DeviceKind kind = DeviceKind::player, const Interface& on = eth0,
                std::string name = "CDJ-3000") {
    const auto from = "169.254.30." + std::to_string(number);
    return {ProDJLink::KeepAlive{std::move(name), number, kind, {}, from, 2}, from, on};
}

// The number a packet carries, where it carries one.
std::optional<int> numberOf(const Packet& packet) {
    if (const auto* alive = std::get_if<ProDJLink::KeepAlive>(&packet)) {
        return alive->number;
    }
    if (const auto* claim = std::get_if<ProDJLink::NumberClaim>(&packet)) {
        return claim->number;
    }
    return std::nullopt;
}

class ProDJLinkPresenceTests : public ::testing::Test {
protected:
    ~ProDJLinkPresenceTests() override {
        task.cancel();
        runUntil(context, [&] { return ended; });
    }

    // A wait that moves the clock and lets the test in between.
    ProDJLinkPresence::Wait fakeWait() {
        return [this](Seconds duration) -> asio::awaitable<void> {
            clock += duration;
            co_await asio::post(context, asio::use_awaitable);
        };
    }

    void start(ProDJLinkPresence::Options options = {}) {
        presence = ProDJLinkPresence::create(
            network, [this] { return clock; }, fakeWait(), std::move(options));
        run(presence->run([this](const Heard&) { ++forwarded; }));
    }

    void run(asio::awaitable<void> work) {
        task =
            Task::spawn(context.get_executor(), std::move(work), [this](std::exception_ptr error) {
                ended = true;
                failure = error;
            });
        ASSERT_TRUE(runUntil(context, [&] { return network->hear || ended; }));
    }

    // Lets `seconds` pass, the devices in `alive` keeping themselves alive every 1.5 s.
    void advance(double seconds) {
        const auto until = clock + Seconds{seconds};
        while (clock < until) {
            const auto next = std::min(until, nextKeepAlives);
            ASSERT_TRUE(runUntil(context, [&] { return clock >= next || ended; }));
            ASSERT_FALSE(ended);
            if (clock >= nextKeepAlives) {
                for (const auto& heard : alive) {
                    hear(heard);
                }
                nextKeepAlives = clock + Seconds{1.5};
            }
        }
    }

    void hear(const Heard& heard) {
        ASSERT_TRUE(network->hear);
        network->hear(heard);
    }

    std::vector<FakeNetwork::Sent> sentSince(std::size_t first) const {
        return {network->sent.begin() + static_cast<long>(first), network->sent.end()};
    }

    // Joins as 7 on eth0 with player 2 present.
    void joinAsSeven() {
        start();
        alive.push_back(keepAlive(2));
        advance(5);
        ASSERT_EQ(presence->status().state, State::joined);
        ASSERT_EQ(presence->status().number, 7);
    }

    asio::io_context context;
    Instant clock = instantFromReferenceSeconds(1000);
    std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>(clock);
    std::shared_ptr<ProDJLinkPresence> presence;
    Task task = Task::spawn(context.get_executor(), []() -> asio::awaitable<void> { co_return; }());
    bool ended = false;
    std::exception_ptr failure;
    int forwarded = 0;
    std::vector<Heard> alive;
    Instant nextKeepAlives = clock;
};

TEST_F(ProDJLinkPresenceTests, StaysSilentUntilAPlayerIsHeard) {
    start();
    alive = {keepAlive(33, DeviceKind::mixer), keepAlive(17, DeviceKind::computer),
             keepAlive(7, DeviceKind::player, eth0, "Another virtual CDJ"),
             keepAlive(5, DeviceKind::other, eth0, "Not a player")};
    advance(10);
    EXPECT_TRUE(network->sent.empty());
    EXPECT_EQ(presence->status(), ProDJLinkPresence::Status{});
    EXPECT_GT(forwarded, 0) << "every packet heard is handed on";
}

TEST_F(ProDJLinkPresenceTests, JoinsThenKeepsAliveEveryOneAndAHalfSeconds) {
    start();
    alive = {keepAlive(33, DeviceKind::mixer), keepAlive(2)};
    const auto heardAt = clock;
    advance(12);
    const ProDJLink::OwnDevice own{"Setmara Bridge", 7, eth0.mac, eth0.address};
    const auto joining = ProDJLink::joining(own);
    ASSERT_EQ(network->sent.size(), joining.size() + 6);
    for (std::size_t i = 0; i < network->sent.size(); ++i) {
        const auto& sent = network->sent[i];
        EXPECT_EQ(sent.address, "169.254.255.255");
        EXPECT_EQ(sent.port, 50000);
        if (i < joining.size()) {
            EXPECT_EQ(sent.packet, ProDJLink::parse(ProDJLink::announcePort, joining[i]));
        } else {
            // Two devices besides itself.
            EXPECT_EQ(sent.packet,
                      ProDJLink::parse(ProDJLink::announcePort, ProDJLink::keepAlive(own, 3)));
        }
        if (i == 0) {
            EXPECT_LE(sent.at - heardAt, ProDJLinkPresence::step);
        } else {
            const auto gap = (sent.at - network->sent[i - 1].at).count();
            EXPECT_NEAR(gap, i < joining.size() + 1 ? 0.3 : 1.5, 1e-6) << "packet " << i;
        }
    }
    EXPECT_EQ(presence->status(), (ProDJLinkPresence::Status{State::joined, 7, eth0}));
}

TEST_F(ProDJLinkPresenceTests, TakesTheFirstNumberNoDeviceUses) {
    start();
    alive = {keepAlive(7, DeviceKind::player, eth0, "Beat Link"),
             keepAlive(9, DeviceKind::computer), keepAlive(2)};
    advance(0.5);
    hear({ProDJLink::NumberInUse{"Other", 8, "169.254.30.8"}, "169.254.30.8", eth0});
    advance(8);
    for (const auto& sent : network->sent) {
        const auto number = numberOf(sent.packet);
        EXPECT_TRUE(!number || number == 10) << *number;
    }
    EXPECT_EQ(presence->status().number, 10);
    EXPECT_EQ(presence->status().state, State::joined);
}

TEST_F(ProDJLinkPresenceTests, ANumberTakenWhileAnnouncingIsChangedWithoutStartingOver) {
    start();
    alive = {keepAlive(2)};
    advance(1.0); // announcements and first-stage claims carry no number yet
    hear(keepAlive(7, DeviceKind::player, eth0, "Beat Link"));
    advance(6);
    ASSERT_GE(network->sent.size(), 12u);
    const auto joining = ProDJLink::joining({"Setmara Bridge", 8, eth0.mac, eth0.address});
    for (std::size_t i = 0; i < joining.size(); ++i) {
        EXPECT_EQ(network->sent[i].packet, ProDJLink::parse(ProDJLink::announcePort, joining[i]))
            << "packet " << i;
    }
}

TEST_F(ProDJLinkPresenceTests, ANumberTakenAfterItWasClaimedStartsTheJoiningOver) {
    start();
    alive = {keepAlive(2)};
    advance(2.2); // up to the second-stage claims for 7
    ASSERT_TRUE(std::holds_alternative<ProDJLink::NumberClaim>(network->sent.back().packet));
    ASSERT_EQ(numberOf(network->sent.back().packet), 7);
    hear({ProDJLink::NumberInUse{"Other", 7, "169.254.40.1"}, "169.254.40.1", eth0});
    const auto from = network->sent.size();
    advance(4);
    const auto after = sentSince(from);
    const auto joining = ProDJLink::joining({"Setmara Bridge", 8, eth0.mac, eth0.address});
    ASSERT_GE(after.size(), joining.size());
    for (std::size_t i = 0; i < joining.size(); ++i) {
        EXPECT_EQ(after[i].packet, ProDJLink::parse(ProDJLink::announcePort, joining[i]))
            << "packet " << i;
    }
}

// Each way another device can say it holds the bridge's number makes the bridge give way
// and join again with another number, without ever defending its own.
TEST_F(ProDJLinkPresenceTests, GivesWayToADeviceClaimingOrDefendingItsNumber) {
    const std::vector<Heard> challenges{
        {ProDJLink::NumberInUse{"Other", 7, "169.254.40.1"}, "169.254.40.1", eth0},
        {ProDJLink::NumberClaim{.stage = Stage::second, .name = "Other", .number = 7},
         "169.254.40.1", eth0},
        {ProDJLink::NumberClaim{.stage = Stage::final, .name = "Other", .number = 7},
         "169.254.40.1", eth0},
        keepAlive(7, DeviceKind::player, eth0, "Other"),
        // Its own name from another address is another device.
        {ProDJLink::NumberInUse{"Setmara Bridge", 7, "169.254.40.1"}, "169.254.40.1", eth0},
    };
    start();
    for (std::size_t i = 0; i < challenges.size(); ++i) {
        SCOPED_TRACE(i);
        network->sent.clear();
        alive = {keepAlive(2)};
        advance(5);
        ASSERT_EQ(presence->status().number, 7);
        hear(challenges[i]);
        const auto from = network->sent.size();
        advance(5);
        const auto after = sentSince(from);
        ASSERT_GE(after.size(), 12u);
        EXPECT_TRUE(std::holds_alternative<ProDJLink::Announcement>(after[0].packet))
            << "it joins again from the start";
        for (const auto& sent : after) {
            EXPECT_EQ(numberOf(sent.packet).value_or(8), 8);
            EXPECT_FALSE(std::holds_alternative<ProDJLink::NumberInUse>(sent.packet));
        }
        EXPECT_EQ(presence->status(), (ProDJLinkPresence::Status{State::joined, 8, eth0}));
        // The players go, and every number heard is forgotten before the next round.
        alive.clear();
        advance(6);
    }
}

TEST_F(ProDJLinkPresenceTests, ItsOwnPacketsHeardBackAreNoChallenge) {
    joinAsSeven();
    const auto from = network->sent.size();
    for (const auto& sent : network->sent) {
        hear({sent.packet, eth0.address, eth0});
    }
    advance(3);
    for (const auto& sent : sentSince(from)) {
        EXPECT_EQ(numberOf(sent.packet), 7);
    }
    EXPECT_EQ(presence->status().number, 7);
}

TEST_F(ProDJLinkPresenceTests, NeverTakesAPlayersNumberAndWaitsWhenNoneIsFree) {
    start();
    for (int number = 1; number <= ProDJLink::lastOwnNumber; ++number) {
        alive.push_back(keepAlive(number, number <= 6 ? DeviceKind::player : DeviceKind::other));
    }
    advance(10);
    EXPECT_TRUE(network->sent.empty());
    EXPECT_EQ(presence->status(), (ProDJLinkPresence::Status{State::noNumber, {}, eth0}));

    // Number 12 goes quiet and is free once forgotten.
    std::erase_if(alive, [](const Heard& heard) {
        return std::get<ProDJLink::KeepAlive>(heard.packet).number == 12;
    });
    advance(10);
    ASSERT_FALSE(network->sent.empty());
    for (const auto& sent : network->sent) {
        EXPECT_EQ(numberOf(sent.packet).value_or(12), 12);
    }
    EXPECT_EQ(presence->status().number, 12);
}

TEST_F(ProDJLinkPresenceTests, FallsSilentWhenThePlayersAreGoneAndJoinsAgainOnTheirReturn) {
    joinAsSeven();
    alive = {keepAlive(33, DeviceKind::mixer)};
    advance(6);
    const auto silentFrom = network->sent.size();
    advance(10);
    EXPECT_EQ(network->sent.size(), silentFrom);
    EXPECT_EQ(presence->status(), ProDJLinkPresence::Status{});

    hear({ProDJLink::PlayerStatus{.name = "CDJ-3000", .number = 3}, "169.254.30.3", eth0});
    advance(0.3);
    ASSERT_GT(network->sent.size(), silentFrom);
    EXPECT_TRUE(std::holds_alternative<ProDJLink::Announcement>(network->sent[silentFrom].packet));
}

TEST_F(ProDJLinkPresenceTests, JoinsOnTheInterfaceOfThePlayersAndStaysThere) {
    start();
    alive = {keepAlive(33, DeviceKind::mixer, eth0), keepAlive(2, DeviceKind::player, eth1)};
    advance(5);
    EXPECT_EQ(presence->status(), (ProDJLinkPresence::Status{State::joined, 7, eth1}));
    for (const auto& sent : network->sent) {
        EXPECT_EQ(sent.address, eth1.broadcast);
    }
    const auto& last = std::get<ProDJLink::KeepAlive>(network->sent.back().packet);
    EXPECT_EQ(last.address, eth1.address);
    EXPECT_EQ(last.mac, eth1.mac);

    // A player on a second interface does not move it while one is heard on the first, even
    // when it is the latest heard.
    alive.push_back(keepAlive(1, DeviceKind::player, eth0));
    advance(0.6);
    hear(alive.back());
    advance(0.3);
    EXPECT_EQ(presence->status().players, eth1);
    EXPECT_EQ(network->sent.back().address, eth1.broadcast);

    alive.erase(alive.begin() + 1);
    advance(10);
    EXPECT_EQ(presence->status(), (ProDJLinkPresence::Status{State::joined, 7, eth0}));
    EXPECT_EQ(network->sent.back().address, eth0.broadcast);
}

TEST_F(ProDJLinkPresenceTests, SendsOnlyToItsTargetAndNeedsABroadcastAddress) {
    start({.name = "Bridge", .announcePort = 40000, .target = "127.0.0.1"});
    alive = {keepAlive(2)};
    advance(4);
    ASSERT_FALSE(network->sent.empty());
    for (const auto& sent : network->sent) {
        EXPECT_EQ(sent.address, "127.0.0.1");
        EXPECT_EQ(sent.port, 40000);
    }
}

TEST_F(ProDJLinkPresenceTests, StaysSilentOnAnInterfaceWithoutBroadcast) {
    start();
    const Interface loopback{"lo", "127.0.0.1", "", {}};
    alive = {keepAlive(2, DeviceKind::player, loopback)};
    advance(4);
    EXPECT_TRUE(network->sent.empty());
    EXPECT_EQ(presence->status(), (ProDJLinkPresence::Status{State::noAddress, {}, loopback}));
}

TEST_F(ProDJLinkPresenceTests, CarriesOnAfterPacketsThatCouldNotBeSent) {
    network->failSends = 3;
    start();
    alive = {keepAlive(2)};
    advance(6);
    EXPECT_EQ(network->sent.size(), 9u + 2u); // the rest of the joining, two keep-alives
    EXPECT_EQ(presence->status().state, State::joined);
    task.cancel();
    ASSERT_TRUE(runUntil(context, [&] { return ended; }));
    EXPECT_FALSE(failure) << "a cancelled presence returns normally";
}

TEST_F(ProDJLinkPresenceTests, ItsWorkHoldsItFromTheStart) {
    run(ProDJLinkPresence::create(
            network, [this] { return clock; }, fakeWait())
            ->run({}));
    alive = {keepAlive(2)};
    advance(1);
    EXPECT_FALSE(network->sent.empty());
}

TEST_F(ProDJLinkPresenceTests, FailsWhenItCannotListen) {
    network->failListen = true;
    start();
    ASSERT_TRUE(runUntil(context, [&] { return ended; }));
    ASSERT_TRUE(failure);
    EXPECT_THROW(std::rethrow_exception(failure), std::system_error);
}

} // namespace
} // namespace bridge
