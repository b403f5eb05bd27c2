// The simulated set on 127.0.0.x, heard through plain sockets.
#include "ProDJLinkSet.hpp"
#include "StageLinQ/StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <set>

namespace bridge {
namespace {

using namespace testing;
using namespace ProDJLink;

// A socket on 127.0.0.1 that keeps every packet it gets, read as sent to `protocolPort`.
class Receiver {
public:
    Receiver(asio::io_context& context, std::uint16_t protocolPort)
        : socket(context, {asio::ip::address_v4::loopback(), 0}), protocolPort(protocolPort),
          task(Task::spawn(context.get_executor(), receive())) {}
    ~Receiver() { task.cancel(); }

    std::uint16_t port() const { return socket.local_endpoint().port(); }

    template <class Record>
    std::vector<std::pair<std::string, Record>> of() const {
        std::vector<std::pair<std::string, Record>> found;
        for (const auto& [from, packet] : packets) {
            if (const auto* record = std::get_if<Record>(&packet)) {
                found.emplace_back(from, *record);
            }
        }
        return found;
    }

    std::vector<std::pair<std::string, Packet>> packets;

private:
    asio::awaitable<void> receive() {
        std::vector<std::uint8_t> buffer(2048);
        while (true) {
            asio::ip::udp::endpoint from;
            const auto size =
                co_await socket.async_receive_from(asio::buffer(buffer), from, asio::use_awaitable);
            if (auto packet = parse(protocolPort, buffer.data(), size)) {
                packets.emplace_back(from.address().to_string(), std::move(*packet));
            }
        }
    }

    asio::ip::udp::socket socket;
    std::uint16_t protocolPort;
    Task task;
};

class ProDJLinkSetTests : public ::testing::Test {
protected:
    ProDJLinkSet::Options options() const {
        ProDJLinkSet::Options chosen;
        chosen.players = 3;
        chosen.computer = true;
        chosen.announcePort = announce.port();
        chosen.beatPort = beat.port();
        chosen.statusPort = status.port();
        chosen.keepAliveEvery = 100ms;
        chosen.statusEvery = 50ms;
        return chosen;
    }

    // Sends a packet to the set's listening port from 127.0.0.1.
    void tell(const Packet& packet) {
        asio::ip::udp::socket sender{context, {asio::ip::address_v4::loopback(), 0}};
        sender.send_to(asio::buffer(build(packet)),
                       {asio::ip::address_v4::loopback(), set.listenPort()});
    }

    void announceBridge(DeviceKind kind = DeviceKind::player) {
        tell(KeepAlive{"Setmara Bridge", 7, kind, {}, "127.0.0.1", 2});
    }

    template <class Condition>
    void waitFor(Condition condition, std::chrono::milliseconds limit = 3s) {
        ASSERT_TRUE(runUntil(context, condition, limit));
    }

    asio::io_context context;
    Receiver announce{context, announcePort};
    Receiver beat{context, beatPort};
    Receiver status{context, statusPort};
    ProDJLinkSet set{context, options()};
};

TEST_F(ProDJLinkSetTests, EveryDeviceKeepsAliveFromItsOwnAddress) {
    set.start();
    waitFor([&] { return announce.of<KeepAlive>().size() >= 15; });
    std::set<std::tuple<std::string, int, DeviceKind>> devices;
    for (const auto& [from, alive] : announce.of<KeepAlive>()) {
        EXPECT_EQ(from, alive.address);
        devices.emplace(from, alive.number, alive.kind);
    }
    EXPECT_EQ(devices, (std::set<std::tuple<std::string, int, DeviceKind>>{
                           {"127.0.0.101", 1, DeviceKind::player},
                           {"127.0.0.102", 2, DeviceKind::player},
                           {"127.0.0.103", 3, DeviceKind::player},
                           {"127.0.0.117", 17, DeviceKind::computer},
                           {"127.0.0.133", 33, DeviceKind::mixer}}));
}

TEST_F(ProDJLinkSetTests, SendsStatusOnlyToDevicesThatAnnouncedThemselvesAsPlayers) {
    set.start();
    announceBridge(DeviceKind::computer);
    EXPECT_FALSE(runUntil(
        context, [&] { return !status.packets.empty(); }, 400ms));
    EXPECT_TRUE(set.listeners().empty());

    announceBridge();
    waitFor(
        [&] { return status.of<PlayerStatus>().size() >= 6 && !status.of<MixerStatus>().empty(); });
    EXPECT_EQ(set.listeners(), std::vector<std::string>{"127.0.0.1"});
    std::set<std::pair<std::string, int>> senders;
    for (const auto& [from, player] : status.of<PlayerStatus>()) {
        senders.emplace(from, player.number);
    }
    EXPECT_EQ(senders, (std::set<std::pair<std::string, int>>{
                           {"127.0.0.101", 1}, {"127.0.0.102", 2}, {"127.0.0.103", 3}}));
    EXPECT_EQ(status.of<MixerStatus>().front().first, "127.0.0.133");
    EXPECT_EQ(set.received().size(), 2u);
    EXPECT_EQ(set.received().back().from, "127.0.0.1");
}

TEST_F(ProDJLinkSetTests, ADeviceDefendsItsNumberAgainstKeepAlivesAndClaims) {
    set.start();
    tell(KeepAlive{"Intruder", 2, DeviceKind::player, {}, "127.0.0.1", 2});
    tell(NumberClaim{.stage = NumberClaim::Stage::final, .name = "Intruder", .number = 33});
    tell(NumberClaim{.stage = NumberClaim::Stage::first, .name = "Intruder"});
    tell(NumberClaim{.stage = NumberClaim::Stage::second, .name = "Intruder", .number = 9});
    waitFor([&] { return announce.of<NumberInUse>().size() >= 2; });
    EXPECT_FALSE(runUntil(
        context, [&] { return announce.of<NumberInUse>().size() > 2; }, 200ms));
    const auto defences = announce.of<NumberInUse>();
    EXPECT_EQ(defences[0], (std::pair<std::string, NumberInUse>{
                               "127.0.0.102", {"CDJ-2000NXS2", 2, "127.0.0.102"}}));
    EXPECT_EQ(defences[1], (std::pair<std::string, NumberInUse>{
                               "127.0.0.133", {"DJM-900NXS2", 33, "127.0.0.133"}}));
    EXPECT_EQ(set.defences(), 2);
}

TEST_F(ProDJLinkSetTests, TheScriptShowsInTheStatusSent) {
    set.start();
    announceBridge();
    runUntilDone(
        context,
        set.run({{0ms, [](auto& s) { s.load(1, 2, Slot::usb, 42, TrackType::rekordbox); }},
                 {0ms, [](auto& s) { s.onAir(1, true); }},
                 {0ms, [](auto& s) { s.play(1); }},
                 {0ms, [](auto& s) { s.load(2, 2, Slot::sd, 7, TrackType::unanalysed, {}); }},
                 {0ms, [](auto& s) { s.preListen(2); }}}));
    const auto first = set.status(1);
    EXPECT_EQ(first.trackPlayer, 2);
    EXPECT_EQ(first.trackSlot, Slot::usb);
    EXPECT_EQ(first.rekordboxId, 42u);
    EXPECT_EQ(first.playState, PlayState::playing);
    EXPECT_EQ(first.flags, (StatusFlags{.playing = true, .onAir = true}));
    EXPECT_EQ(first.bpm, 120.0);
    const auto second = set.status(2);
    EXPECT_EQ(second.playState, PlayState::cuePlaying);
    EXPECT_EQ(second.flags, (StatusFlags{.playing = true, .onAir = false}));
    EXPECT_EQ(second.bpm, std::nullopt);

    const auto sent = status.packets.size();
    waitFor([&] { return status.packets.size() >= sent + 8; });
    EXPECT_EQ(status.of<PlayerStatus>().back().second,
              set.status(status.of<PlayerStatus>().back().second.number));
    EXPECT_EQ(status.of<MixerStatus>().back().second.bpm, 120.0) << "the playing player's tempo";
    waitFor([&] { return !beat.of<ChannelsOnAir>().empty(); });
    EXPECT_EQ(beat.of<ChannelsOnAir>().back().second.channels,
              (std::array{true, false, false, false}));
}

TEST_F(ProDJLinkSetTests, ANewMediumIsServedAndItsOldTracksAreForgotten) {
    const std::vector<ExportTrack> tracks{{.id = 5, .title = "So What", .artist = "Miles Davis"}};
    EXPECT_EQ(set.exportFile(2, Slot::usb), std::nullopt);
    set.changeMedium(2, Slot::usb, tracks);
    set.load(1, 2, Slot::usb, 5);
    set.load(3, 2, Slot::sd, 6);
    set.onAir(1, true);
    set.changeMedium(2, Slot::usb, tracks);
    EXPECT_EQ(set.status(1),
              (PlayerStatus{.name = "CDJ-2000NXS2", .number = 1, .flags = {.onAir = true}}));
    EXPECT_EQ(set.status(3).rekordboxId, 6u) << "loaded from another slot";
    const auto file = set.exportFile(2, Slot::usb);
    ASSERT_TRUE(file);
    EXPECT_EQ(tracksOf(*file).at(5).title, "So What");
}

TEST_F(ProDJLinkSetTests, APlayerSwitchedOffFallsSilentAndJoinsAgainWhenBack) {
    set.start();
    announceBridge();
    set.load(2, 2, Slot::usb, 9);
    set.switchOff(2);
    const auto off = announce.packets.size();
    const auto statusOff = status.packets.size();
    tell(KeepAlive{"Intruder", 2, DeviceKind::player, {}, "127.0.0.1", 2});
    runUntil(
        context, [] { return false; }, 300ms);
    for (std::size_t i = off; i < announce.packets.size(); ++i) {
        EXPECT_NE(announce.packets[i].first, "127.0.0.102") << "it does not even defend";
    }
    for (std::size_t i = statusOff; i < status.packets.size(); ++i) {
        EXPECT_NE(status.packets[i].first, "127.0.0.102");
    }

    set.switchOn(2);
    const auto on = announce.packets.size();
    waitFor(
        [&] {
            return std::any_of(announce.packets.begin() + static_cast<long>(on),
                               announce.packets.end(), [](const auto& heard) {
                                   return heard.first == "127.0.0.102" &&
                                          std::holds_alternative<KeepAlive>(heard.second);
                               });
        },
        6s);
    std::vector<Packet> joined;
    for (std::size_t i = on; i < announce.packets.size(); ++i) {
        if (announce.packets[i].first == "127.0.0.102") {
            joined.push_back(announce.packets[i].second);
        }
    }
    const auto joining = ProDJLink::joining({"CDJ-2000NXS2", 2, {2, 0, 0, 0, 0, 2}, "127.0.0.102"});
    ASSERT_EQ(joined.size(), joining.size() + 1);
    for (std::size_t i = 0; i < joining.size(); ++i) {
        EXPECT_EQ(joined[i], parse(announcePort, joining[i])) << "packet " << i;
    }
    EXPECT_EQ(set.status(2).trackType, TrackType::none);
}

} // namespace
} // namespace bridge
