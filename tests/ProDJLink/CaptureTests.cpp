// Real traffic of two CDJ-2000nexus players and a DJM-2000nexus mixer, from Deep Symmetry's
// protocol analysis. The captures live outside the repository; these tests skip where absent.
#include "Capture.hpp"
#include "ProDJLink/ProDJLink.hpp"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

namespace bridge::ProDJLink {
namespace {

using testing::Datagram;
using testing::PcapngReader;

const auto fixtures =
    std::filesystem::path{BRIDGE_SOURCE_DIR} / ".." / "shared" / "fixtures" / "prodjlink";

constexpr MAC mixerMac{0x74, 0x5e, 0x1c, 0x35, 0x63, 0x3c};
constexpr MAC firstPlayerMac{0x74, 0x5e, 0x1c, 0x56, 0xc0, 0x70};
constexpr MAC secondPlayerMac{0x74, 0x5e, 0x1c, 0x56, 0xf4, 0xb5};
constexpr int mixerNumber = 0x21;

struct Received {
    Datagram datagram;
    Packet packet;
};

class ProDJLinkCapture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(fixtures / "powerup.pcapng")) {
            GTEST_SKIP() << "the Pro DJ Link captures are not in " << fixtures;
        }
    }

    // Every datagram sent to a Pro DJ Link port, which must all parse.
    static std::vector<Received> packetsOf(const std::string& capture) {
        std::vector<Received> received;
        for (auto& datagram : PcapngReader{fixtures / capture}.udp()) {
            const auto port = datagram.destinationPort;
            if (port != announcePort && port != beatPort && port != statusPort) {
                continue;
            }
            auto packet = parse(port, datagram.payload);
            EXPECT_TRUE(packet) << capture << ": type " << int(datagram.payload.at(0x0a)) << " to "
                                << port << " from " << datagram.source;
            if (packet) {
                received.push_back({std::move(datagram), std::move(*packet)});
            }
        }
        return received;
    }

    template <class Record>
    static std::vector<std::pair<std::string, Record>>
    recordsOf(const std::vector<Received>& received) {
        std::vector<std::pair<std::string, Record>> records;
        for (const auto& [datagram, packet] : received) {
            if (const auto* record = std::get_if<Record>(&packet)) {
                records.emplace_back(datagram.source, *record);
            }
        }
        return records;
    }
};

using Counts = std::map<std::pair<std::uint16_t, int>, int>;

Counts countsOf(const std::vector<Received>& received) {
    Counts counts;
    for (const auto& [datagram, packet] : received) {
        ++counts[{datagram.destinationPort, datagram.payload[0x0a]}];
    }
    return counts;
}

// The counts tshark gives for datagrams to each port whose payload starts with the magic,
// by the type byte: tshark -r F -Y 'udp.dstport==P && udp.payload[0:10]==51:73:…:4c'.
TEST_F(ProDJLinkCapture, EveryPacketOfThePowerUpParses) {
    const auto received = packetsOf("powerup.pcapng");
    EXPECT_EQ(countsOf(received), (Counts{{{50000, 0x0a}, 9},
                                          {{50000, 0x00}, 5},
                                          {{50000, 0x02}, 3},
                                          {{50000, 0x04}, 5},
                                          {{50000, 0x06}, 54},
                                          {{50001, 0x03}, 167},
                                          {{50001, 0x28}, 102}}));
}

TEST_F(ProDJLinkCapture, EveryPacketToTheVirtualPlayerParses) {
    const auto received = packetsOf("to-virtual.pcapng");
    EXPECT_EQ(countsOf(received), (Counts{{{50000, 0x06}, 16},
                                          {{50001, 0x03}, 23},
                                          {{50001, 0x28}, 14},
                                          {{50002, 0x0a}, 70},
                                          {{50002, 0x29}, 35}}));
}

TEST_F(ProDJLinkCapture, PowerUpShowsAMixerAndTwoPlayersJoining) {
    const auto received = packetsOf("powerup.pcapng");
    using Device = std::tuple<std::string, std::string, int, DeviceKind, MAC, std::string>;
    std::set<Device> devices;
    for (const auto& [source, alive] : recordsOf<KeepAlive>(received)) {
        devices.emplace(source, alive.name, alive.number, alive.kind, alive.mac, alive.address);
        EXPECT_GE(alive.peers, 1);
        EXPECT_LE(alive.peers, 3);
    }
    EXPECT_EQ(devices, (std::set<Device>{{"172.16.42.3", "DJM-2000nexus", mixerNumber,
                                          DeviceKind::mixer, mixerMac, "172.16.42.3"},
                                         {"172.16.42.4", "CDJ-2000nexus", 3, DeviceKind::player,
                                          firstPlayerMac, "172.16.42.4"},
                                         {"172.16.42.5", "CDJ-2000nexus", 2, DeviceKind::player,
                                          secondPlayerMac, "172.16.42.5"}}));

    std::multiset<std::tuple<std::string, NumberClaim::Stage, std::optional<int>>> claims;
    for (const auto& [source, claim] : recordsOf<NumberClaim>(received)) {
        claims.emplace(source, claim.stage, claim.number);
    }
    using Stage = NumberClaim::Stage;
    // The mixer goes through every stage three times; the players each send one first and
    // one final claim for their number and nothing between.
    EXPECT_EQ(claims.count({"172.16.42.3", Stage::second, mixerNumber}), 3u);
    EXPECT_EQ(claims.count({"172.16.42.3", Stage::final, mixerNumber}), 3u);
    EXPECT_EQ(claims.count({"172.16.42.4", Stage::final, 3}), 1u);
    EXPECT_EQ(claims.count({"172.16.42.5", Stage::final, 2}), 1u);
    EXPECT_EQ(claims.size(), 13u);
}

TEST_F(ProDJLinkCapture, PlayersTellTheVirtualPlayerTheyAreEmptyAndOnAir) {
    const auto received = packetsOf("to-virtual.pcapng");
    const auto statuses = recordsOf<PlayerStatus>(received);
    ASSERT_EQ(statuses.size(), 70u);
    for (const auto& [source, status] : statuses) {
        EXPECT_EQ(status.number, source == "172.16.42.3" ? 3 : 2);
        EXPECT_EQ(status.name, "CDJ-2000nexus");
        EXPECT_EQ(status.trackType, TrackType::none);
        EXPECT_EQ(status.trackSlot, Slot::none);
        EXPECT_EQ(status.trackPlayer, 0);
        EXPECT_EQ(status.rekordboxId, 0u);
        EXPECT_EQ(status.playState, PlayState::empty);
        EXPECT_EQ(status.flags, (StatusFlags{.onAir = true}));
        EXPECT_EQ(status.bpm, std::nullopt);
        // Their pitch faders rest a little off zero: 0x0ffdf3 and 0x102f1a.
        EXPECT_DOUBLE_EQ(status.pitch, source == "172.16.42.3" ? -525 * 100.0 / 0x100000
                                                               : 12058 * 100.0 / 0x100000);
    }
    for (const auto& [source, mixer] : recordsOf<MixerStatus>(received)) {
        EXPECT_EQ(source, "172.16.42.4");
        EXPECT_EQ(
            mixer,
            (MixerStatus{"DJM-2000nexus", mixerNumber, {.playing = true, .sync = true}, 120.0}));
    }
    for (const auto& [source, onAir] : recordsOf<ChannelsOnAir>(received)) {
        EXPECT_EQ(onAir.number, mixerNumber);
        EXPECT_EQ(onAir.channels, (std::array{false, true, true, true}));
    }
    for (const auto& [source, beat] : recordsOf<Beat>(received)) {
        EXPECT_EQ(beat.number, mixerNumber);
        EXPECT_EQ(beat.bpm, 120.0);
        EXPECT_GE(beat.beatInBar, 1);
        EXPECT_LE(beat.beatInBar, 4);
    }
}

// The captured virtual player kept alive in the form older players know; the bridge does too,
// but for byte 0x35, where a CDJ-3000 numbered 5 or 6 wants 64 (else it leaves the network).
TEST_F(ProDJLinkCapture, TheBridgeKeepsAliveAsTheCapturedVirtualPlayerDidInTheCdj3000Form) {
    const auto received = packetsOf("to-virtual.pcapng");
    const OwnDevice virtualPlayer{
        "Virtual CDJ", 5, {0x3c, 0x15, 0xc2, 0xe7, 0x08, 0x6c}, "172.16.42.2"};
    int seen = 0;
    for (const auto& [datagram, packet] : received) {
        if (datagram.source == "172.16.42.2") {
            auto expected = datagram.payload;
            ASSERT_EQ(expected.size(), 0x36u);
            EXPECT_EQ(expected[0x35], 0x00);
            expected[0x35] = 0x64;
            EXPECT_EQ(keepAlive(virtualPlayer, 1), expected);
            EXPECT_EQ(parse(announcePort, keepAlive(virtualPlayer, 1)), packet);
            ++seen;
        }
    }
    EXPECT_EQ(seen, 5);
}

// The joining packets in the form a CDJ-3000 expects: announcements one byte longer with 04 at
// byte 0x21 and 01 64 at the end, claims with 03 at byte 0x21; each still reads as itself.
TEST_F(ProDJLinkCapture, TheBridgeJoinsInTheCdj3000Form) {
    const OwnDevice bridge{"Setmara Bridge", 7, {1, 2, 3, 4, 5, 6}, "169.254.7.7"};
    const auto packets = joining(bridge);
    ASSERT_EQ(packets.size(), 12u);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const auto& packet = packets[i];
        EXPECT_EQ(packet[0x21], i < 3 ? 4 : 3) << i;
        EXPECT_EQ(packet[0x22] * 256 + packet[0x23], static_cast<int>(packet.size())) << i;
        ASSERT_TRUE(parse(announcePort, packet)) << i;
    }
    EXPECT_EQ(packets[0].size(), 0x26u);
    EXPECT_EQ(packets[0][0x24], 0x01);
    EXPECT_EQ(packets[0][0x25], 0x64);
}

// What a simulated set sends must be what real devices send, byte for byte, wherever the
// records carry every byte that varies. Byte 0x25 of a keep-alive is the one exception: it
// follows the device type at power-up, but later the mixer sends 1 there and player 2 sends 2.
TEST_F(ProDJLinkCapture, BuiltPacketsMatchTheRealOnes) {
    int compared = 0;
    for (const auto* capture : {"powerup.pcapng", "to-virtual.pcapng"}) {
        for (const auto& [datagram, packet] : packetsOf(capture)) {
            auto built = build(packet);
            if (std::holds_alternative<KeepAlive>(packet)) {
                built[0x25] = datagram.payload[0x25];
            } else if (!std::holds_alternative<NumberClaim>(packet) &&
                       !std::holds_alternative<Announcement>(packet) &&
                       !std::holds_alternative<ChannelsOnAir>(packet)) {
                continue;
            }
            EXPECT_EQ(built, datagram.payload)
                << capture << " type " << int(datagram.payload[0x0a]);
            ++compared;
        }
    }
    EXPECT_EQ(compared, 9 + 5 + 3 + 5 + 54 + 167 + 16 + 23);
}

} // namespace
} // namespace bridge::ProDJLink
