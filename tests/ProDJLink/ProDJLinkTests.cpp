#include "ProDJLink/ProDJLink.hpp"

#include <gtest/gtest.h>

namespace bridge::ProDJLink {
namespace {

using Stage = NumberClaim::Stage;

const MAC someMac{0x74, 0x5e, 0x1c, 0x56, 0xc0, 0x70};

PlayerStatus loadedPlayer() {
    return {.name = "CDJ-2000nexus",
            .number = 2,
            .trackPlayer = 3,
            .trackSlot = Slot::usb,
            .trackType = TrackType::rekordbox,
            .rekordboxId = 0x01020304,
            .playState = PlayState::playing,
            .flags = {.playing = true, .onAir = true, .master = true, .sync = false},
            .bpm = 128.5,
            .pitch = 6.25};
}

// One of each record, with values that differ from the defaults wherever a field is carried.
std::vector<Packet> samples() {
    return {
        Announcement{"DJM-2000nexus", DeviceKind::mixer},
        NumberClaim{.stage = Stage::first,
                    .name = "CDJ-2000nexus",
                    .counter = 2,
                    .kind = DeviceKind::player,
                    .mac = someMac},
        NumberClaim{.stage = Stage::second,
                    .name = "CDJ-2000nexus",
                    .counter = 3,
                    .number = 4,
                    .kind = DeviceKind::player,
                    .mac = someMac,
                    .address = "169.254.12.34",
                    .automatic = true},
        NumberClaim{.stage = Stage::final, .name = "XDJ-1000", .counter = 1, .number = 5},
        NumberInUse{"CDJ-3000", 3, "192.168.1.33"},
        KeepAlive{"rekordbox", 17, DeviceKind::computer, someMac, "10.0.0.7", 4},
        loadedPlayer(),
        MixerStatus{"DJM-900NXS2", 33, {.playing = true, .master = true, .sync = true}, 120.0},
        ChannelsOnAir{"DJM-900NXS2", 33, {true, false, true, false}},
        Beat{"CDJ-3000", 6, 174.0, -3.125, 3},
    };
}

TEST(ProDJLinkPackets, EveryRecordReadsBackAsBuilt) {
    for (const auto& packet : samples()) {
        const auto bytes = build(packet);
        EXPECT_EQ(parse(portOf(packet), bytes), packet) << "record " << packet.index();
    }
}

TEST(ProDJLinkPackets, EveryEnumeratedValueReadsBack) {
    auto status = loadedPlayer();
    for (int state = 0; state <= static_cast<int>(PlayState::other); ++state) {
        status.playState = static_cast<PlayState>(state);
        EXPECT_EQ(parse(statusPort, build(status)), Packet{status}) << "state " << state;
    }
    for (int slot = 0; slot <= static_cast<int>(Slot::other); ++slot) {
        status.trackSlot = static_cast<Slot>(slot);
        EXPECT_EQ(parse(statusPort, build(status)), Packet{status}) << "slot " << slot;
    }
    for (int type = 0; type <= static_cast<int>(TrackType::other); ++type) {
        status.trackType = static_cast<TrackType>(type);
        EXPECT_EQ(parse(statusPort, build(status)), Packet{status}) << "type " << type;
    }
    for (int kind = 0; kind <= static_cast<int>(DeviceKind::other); ++kind) {
        const KeepAlive alive{"x", 1, static_cast<DeviceKind>(kind), someMac, "1.2.3.4", 1};
        EXPECT_EQ(parse(announcePort, build(alive)), Packet{alive}) << "kind " << kind;
    }
}

TEST(ProDJLinkPackets, StatusCarriesTempoAndPitchAsPlayersDo) {
    auto status = loadedPlayer();
    const auto bytes = build(status);
    ASSERT_EQ(bytes.size(), 212u);
    EXPECT_EQ(bytes[0x22] * 256 + bytes[0x23], 212 - 0x24);
    EXPECT_EQ(bytes[0x92] * 256 + bytes[0x93], 12850);                           // BPM × 100
    EXPECT_EQ((bytes[0x8d] << 16) | (bytes[0x8e] << 8) | bytes[0x8f], 0x110000); // +6.25 %
    EXPECT_EQ(bytes[0x89], 0x84 | 0x40 | 0x20 | 0x08);
    EXPECT_EQ(status.tempo(), 128.5 * 1.0625);

    status.bpm.reset();
    const auto none = build(status);
    EXPECT_EQ(none[0x92], 0xff);
    EXPECT_EQ(none[0x93], 0xff);
    EXPECT_EQ(std::get<PlayerStatus>(*parse(statusPort, none)).tempo(), std::nullopt);
}

TEST(ProDJLinkPackets, NamesAreCutToTwentyBytesAndReadAsAscii) {
    const auto alive = build(KeepAlive{.name = "A name longer than twenty bytes", .number = 2});
    EXPECT_EQ(std::get<KeepAlive>(*parse(announcePort, alive)).name, "A name longer than t");

    auto bytes = build(Announcement{"CDJ", DeviceKind::player});
    bytes[0x0d] = 0xC3;
    EXPECT_EQ(std::get<Announcement>(*parse(announcePort, bytes)).name, "C?J");
}

TEST(ProDJLinkPackets, TheTypeByteMeansWhatItsPortSays) {
    // 0x0a is an announcement on the announce port and a player's status on the status port.
    const auto status = build(loadedPlayer());
    EXPECT_FALSE(
        std::holds_alternative<PlayerStatus>(parse(announcePort, status).value_or(Packet{Beat{}})));
    EXPECT_EQ(parse(beatPort, status), std::nullopt);
    EXPECT_EQ(parse(12345, status), std::nullopt);
}

TEST(ProDJLinkPackets, RefusesWhatIsNotAPlausiblePacket) {
    for (const auto& packet : samples()) {
        const auto port = portOf(packet);
        const auto bytes = build(packet);

        auto wrongMagic = bytes;
        wrongMagic[3] ^= 0x20;
        EXPECT_EQ(parse(port, wrongMagic), std::nullopt);

        auto unknownType = bytes;
        unknownType[0x0a] = 0x7f;
        EXPECT_EQ(parse(port, unknownType), std::nullopt);

        // Every cut is refused, read from an exact-size copy so that reading past it is seen.
        for (std::size_t size = 0; size < bytes.size(); ++size) {
            const Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
            EXPECT_EQ(parse(port, cut), std::nullopt)
                << "record " << packet.index() << " cut " << size;
        }

        auto saysMore = bytes;
        saysMore[0x23] = static_cast<std::uint8_t>(saysMore[0x23] + 1);
        EXPECT_EQ(parse(port, saysMore), std::nullopt) << "record " << packet.index();

        auto saysTooLittle = bytes;
        saysTooLittle[0x22] = 0;
        saysTooLittle[0x23] = 8;
        EXPECT_EQ(parse(port, saysTooLittle), std::nullopt) << "record " << packet.index();
    }
}

TEST(ProDJLinkPackets, ReadsLongerPacketsByTheirFields) {
    for (const auto& packet : samples()) {
        auto longer = build(packet);
        longer.insert(longer.end(), 40, 0xee);
        EXPECT_EQ(parse(portOf(packet), longer), packet) << "record " << packet.index();
    }
    // Newer players send longer status and say so.
    auto status = build(loadedPlayer());
    status.resize(0x200, 0);
    status[0x22] = 0x01;
    status[0x23] = 0xdc;
    EXPECT_EQ(parse(statusPort, status), Packet{loadedPlayer()});
}

TEST(ProDJLinkPackets, RekordboxMixerStatusCountsTheWholePacket) {
    auto bytes = build(MixerStatus{"rekordbox", 17, {.playing = true}, 125.0});
    bytes[0x20] = 1;
    bytes[0x23] = static_cast<std::uint8_t>(bytes.size());
    const MixerStatus expected{"rekordbox", 17, {.playing = true}, 125.0};
    EXPECT_EQ(parse(statusPort, bytes), Packet{expected});
}

TEST(ProDJLinkJoining, AnnouncesThenClaimsItsNumberInThreeStages) {
    const OwnDevice bridge{"Setmara Bridge", 9, someMac, "169.254.1.2"};
    const auto packets = joining(bridge);
    ASSERT_EQ(packets.size(), 12u);
    const Packet announcement = Announcement{"Setmara Bridge", DeviceKind::player};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(parse(announcePort, packets[i]), announcement);
    }
    for (std::size_t i = 3; i < 12; ++i) {
        const auto claim = std::get<NumberClaim>(*parse(announcePort, packets[i]));
        EXPECT_EQ(claim.name, "Setmara Bridge");
        EXPECT_EQ(claim.stage, static_cast<Stage>((i - 3) / 3));
        EXPECT_EQ(claim.counter, static_cast<int>((i - 3) % 3 + 1));
        EXPECT_EQ(claim.number, claim.stage == Stage::first ? std::nullopt : std::optional{9});
        if (claim.stage == Stage::second) {
            EXPECT_EQ(claim.address, "169.254.1.2");
            EXPECT_EQ(claim.mac, someMac);
            EXPECT_EQ(claim.automatic, false); // it wants exactly its number
        }
    }
    const Packet alive =
        KeepAlive{"Setmara Bridge", 9, DeviceKind::player, someMac, "169.254.1.2", 3};
    EXPECT_EQ(parse(announcePort, keepAlive(bridge, 3)), alive);
}

TEST(ProDJLinkJoining, AnAddressThatIsNotIPv4IsSentAsZeros) {
    const auto bytes = keepAlive({"B", 7, someMac, "not an address"}, 1);
    EXPECT_EQ(std::get<KeepAlive>(*parse(announcePort, bytes)).address, "0.0.0.0");
}

} // namespace
} // namespace bridge::ProDJLink
