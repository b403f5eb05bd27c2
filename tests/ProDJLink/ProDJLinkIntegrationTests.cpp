// The link, the presence and the simulated set together on 127.0.0.x, in real time.
#include "Engine/BridgeLoop.hpp"
#include "ProDJLink/ProDJLinkLink.hpp"
#include "ProDJLink/ProDJLinkPresence.hpp"
#include "ProDJLinkSet.hpp"
#include "ProDJLinkTesting.hpp"
#include "StageLinQ/StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

using namespace testing;
using namespace ProDJLink;
using SteadyClock = std::chrono::steady_clock;

struct Heard {
    SteadyClock::time_point at;
    ProDJLinkNetwork::Heard heard;
};

class ProDJLinkIntegrationTests : public ::testing::Test {
protected:
    ProDJLinkIntegrationTests() { set.start(); }

    ~ProDJLinkIntegrationTests() override {
        running.cancel();
        runUntil(context, [&] { return ended; });
    }

    ProDJLinkSet::Options setOptions() const {
        ProDJLinkSet::Options options;
        options.players = 4;
        options.computer = true;
        options.announcePort = link->ports.announce;
        options.beatPort = link->ports.beat;
        options.statusPort = link->ports.status;
        options.listenPort = setPort;
        return options;
    }

    // The packets the set heard from the bridge.
    std::vector<ProDJLinkSet::Received> fromBridge() const {
        std::vector<ProDJLinkSet::Received> found;
        for (const auto& received : set.received()) {
            if (received.from == "127.0.0.1") {
                found.push_back(received);
            }
        }
        return found;
    }

    template <class Record>
    std::vector<Heard> heardOf() const {
        std::vector<Heard> found;
        std::copy_if(heard.begin(), heard.end(), std::back_inserter(found), [](const auto& one) {
            return std::holds_alternative<Record>(one.heard.packet);
        });
        return found;
    }

    asio::io_context context;
    std::shared_ptr<ProDJLinkLink> link = std::make_shared<ProDJLinkLink>(freePorts(context));
    const std::uint16_t setPort = freePort(context);
    ProDJLinkSet set{context, setOptions()};
    // The presence speaks to the set's port on 127.0.0.1, where a real one broadcasts.
    std::shared_ptr<ProDJLinkPresence> presence =
        ProDJLinkPresence::create(link, ReferenceClock::now, BridgeLoop::sleep,
                                  {.announcePort = setPort, .target = "127.0.0.1"});
    std::vector<Heard> heard;
    bool ended = false;
    Task running = Task::spawn(context.get_executor(),
                               presence->run([this](const ProDJLinkNetwork::Heard& one) {
                                   heard.push_back({SteadyClock::now(), one});
                               }),
                               [this](std::exception_ptr) { ended = true; });
};

TEST_F(ProDJLinkIntegrationTests, PlayersSendStatusOnlyOnceTheBridgeHasAnnouncedItself) {
    set.load(1, 1, Slot::usb, 11);
    set.onAir(1, true);
    set.play(1);
    ASSERT_TRUE(runUntil(
        context, [&] { return heardOf<PlayerStatus>().size() >= 8; }, 15s));

    const auto own = fromBridge();
    const auto firstKeepAlive = std::find_if(own.begin(), own.end(), [](const auto& received) {
        return received.packet && std::holds_alternative<KeepAlive>(*received.packet);
    });
    ASSERT_NE(firstKeepAlive, own.end());
    EXPECT_GE(heardOf<PlayerStatus>().front().at, firstKeepAlive->at);
    EXPECT_EQ(std::distance(own.begin(), firstKeepAlive), 12) << "the joining came first";
    for (const auto& received : own) {
        ASSERT_TRUE(received.packet);
        if (const auto* alive = std::get_if<KeepAlive>(&*received.packet)) {
            EXPECT_EQ(alive->number, 7);
            EXPECT_EQ(alive->address, "127.0.0.1");
            EXPECT_EQ(alive->peers, 7) << "four players, a mixer, rekordbox and itself";
        } else if (const auto* claim = std::get_if<NumberClaim>(&*received.packet)) {
            EXPECT_EQ(claim->number.value_or(7), 7);
        }
    }
    EXPECT_EQ(set.defences(), 0) << "the bridge never used a number a device holds";

    const auto playing = std::find_if(heard.rbegin(), heard.rend(), [](const auto& one) {
        const auto* status = std::get_if<PlayerStatus>(&one.heard.packet);
        return status && status->number == 1;
    });
    ASSERT_NE(playing, heard.rend());
    EXPECT_EQ(playing->heard.from, "127.0.0.101");
    EXPECT_EQ(playing->heard.interface.name, "lo");
    EXPECT_EQ(std::get<PlayerStatus>(playing->heard.packet), set.status(1));
    EXPECT_FALSE(heardOf<ChannelsOnAir>().empty());
    EXPECT_FALSE(heardOf<MixerStatus>().empty());
    EXPECT_EQ(presence->status().state, ProDJLinkPresence::State::joined);
    EXPECT_EQ(presence->status().number, 7);
    EXPECT_EQ(presence->status().players.address, "127.0.0.1");
}

} // namespace
} // namespace bridge
