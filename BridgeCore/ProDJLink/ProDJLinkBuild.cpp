#include "ProDJLink/ProDJLinkWire.hpp"

namespace bridge::ProDJLink {

using namespace wire;

namespace {

// A packet of `size` bytes with the common header filled in.
Bytes header(std::uint8_t type, const std::string& device, std::size_t size, bool announce) {
    Bytes packet(size, 0);
    std::copy(magic.begin(), magic.end(), packet.begin());
    packet[typeAt] = type;
    const std::size_t nameAt = announce ? 0x0c : 0x0b;
    std::copy_n(device.begin(), std::min(device.size(), nameLength), packet.begin() + nameAt);
    if (announce) {
        packet[0x20] = 1;
        packet[0x21] = 2;
    } else {
        packet[0x1f] = 1;
    }
    put(packet, lengthAt, static_cast<std::uint32_t>(announce ? size : size - bodyAt), 2);
    return packet;
}

void putMac(Bytes& packet, std::size_t at, const std::optional<MAC>& mac) {
    if (mac) {
        std::copy(mac->begin(), mac->end(), packet.begin() + static_cast<long>(at));
    }
}

Bytes claimPacket(const NumberClaim& claim) {
    using Stage = NumberClaim::Stage;
    const auto kind = byteOf(claim.kind.value_or(DeviceKind::player));
    const auto counter = static_cast<std::uint8_t>(claim.counter);
    const auto device = static_cast<std::uint8_t>(claim.number.value_or(0));
    if (claim.stage == Stage::first) {
        auto packet = header(firstClaimType, claim.name, firstClaimSize, true);
        packet[0x24] = counter;
        packet[0x25] = kind;
        putMac(packet, 0x26, claim.mac);
        return packet;
    }
    if (claim.stage == Stage::second) {
        auto packet = header(secondClaimType, claim.name, secondClaimSize, true);
        put(packet, 0x24, addressBytes(claim.address.value_or("")), 4);
        putMac(packet, 0x28, claim.mac);
        packet[0x2e] = device;
        packet[0x2f] = counter;
        packet[0x30] = kind;
        packet[0x31] = claim.automatic.value_or(false) ? 1 : 2;
        return packet;
    }
    auto packet = header(finalClaimType, claim.name, finalClaimSize, true);
    packet[0x24] = device;
    packet[0x25] = counter;
    return packet;
}

Bytes keepAlivePacket(const KeepAlive& alive) {
    auto packet = header(keepAliveType, alive.name, keepAliveSize, true);
    packet[0x24] = static_cast<std::uint8_t>(alive.number);
    packet[0x25] = byteOf(alive.kind);
    putMac(packet, 0x26, alive.mac);
    put(packet, 0x2c, addressBytes(alive.address), 4);
    packet[0x30] = static_cast<std::uint8_t>(alive.peers);
    packet[0x34] = byteOf(alive.kind);
    return packet;
}

Bytes playerStatusPacket(const PlayerStatus& status) {
    auto packet = header(playerStatusType, status.name, playerStatusSize, false);
    const auto device = static_cast<std::uint8_t>(status.number);
    const bool loaded = status.trackType != TrackType::none;
    packet[0x20] = 3;
    packet[0x21] = device;
    packet[0x24] = device;
    packet[0x26] = 1;
    packet[0x27] = status.flags.playing ? 1 : 0;
    packet[0x28] = static_cast<std::uint8_t>(status.trackPlayer);
    constexpr std::array<std::uint8_t, 6> slotBytes{0, 1, 2, 3, 4, 7};
    packet[0x29] = slotBytes[static_cast<std::size_t>(status.trackSlot)];
    packet[0x2a] = byteOf(status.trackType);
    put(packet, 0x2c, status.rekordboxId, 4);
    packet[0x7b] = byteOf(status.playState);
    packet[0x89] = flagsByte(status.flags, 0x84);
    packet[0x8a] = 0xff;
    packet[0x8b] = status.flags.playing ? 0xfa : 0xfe;
    for (const std::size_t at : {0x8c, 0x98, 0xc0, 0xc4}) {
        put(packet, at, pitchBytes(status.pitch), 4);
    }
    put(packet, 0x90, loaded ? 0x8000 : 0x7fff, 2);
    put(packet, 0x92, bpmBytes(status.bpm), 2);
    put(packet, 0x94, 0x7fffffff, 4); // no slip tempo
    packet[0xcc] = 0x0f;
    return packet;
}

Bytes mixerStatusPacket(const MixerStatus& status) {
    auto packet = header(mixerStatusType, status.name, mixerStatusSize, false);
    packet[0x21] = static_cast<std::uint8_t>(status.number);
    packet[0x24] = static_cast<std::uint8_t>(status.number);
    packet[0x27] = flagsByte(status.flags, 0x80);
    put(packet, 0x28, pitchUnity, 4);
    put(packet, 0x2c, 0x8000, 2);
    put(packet, 0x2e, bpmBytes(status.bpm), 2);
    put(packet, 0x30, pitchUnity, 4);
    packet[0x35] = 9;
    return packet;
}

Bytes onAirPacket(const ChannelsOnAir& onAir) {
    auto packet = header(onAirType, onAir.name, onAirSize, false);
    packet[0x20] = 2; // as DJMs send it
    packet[0x21] = static_cast<std::uint8_t>(onAir.number);
    for (std::size_t i = 0; i < onAir.channels.size(); ++i) {
        packet[0x24 + i] = onAir.channels[i] ? 1 : 0;
    }
    return packet;
}

Bytes beatPacket(const Beat& beat) {
    auto packet = header(beatType, beat.name, beatSize, false);
    packet[0x21] = static_cast<std::uint8_t>(beat.number);
    std::fill(packet.begin() + 0x3c, packet.begin() + 0x54, 0xff);
    put(packet, 0x54, pitchBytes(beat.pitch), 4);
    put(packet, 0x5a, bpmBytes(beat.bpm), 2);
    packet[0x5c] = static_cast<std::uint8_t>(beat.beatInBar);
    packet[0x5f] = static_cast<std::uint8_t>(beat.number);
    return packet;
}

// The forms a CDJ-3000 expects of a device joining beside it: players set to number 5 or 6
// are otherwise pushed off the network again and again. Announcements mark the form at byte
// 0x21 and end in 01 64; claims mark it at byte 0x21; keep-alives end in 64.
Bytes withCdj3000Form(Bytes packet) {
    switch (packet[typeAt]) {
    case announcementType:
        packet[0x21] = 4;
        packet.push_back(0x64);
        put(packet, lengthAt, static_cast<std::uint32_t>(packet.size()), 2);
        break;
    case firstClaimType:
    case secondClaimType:
    case finalClaimType:
        packet[0x21] = 3;
        break;
    case keepAliveType:
        packet[0x35] = 0x64;
        break;
    default:
        break;
    }
    return packet;
}

} // namespace

Bytes build(const Packet& packet) {
    struct Builder {
        Bytes operator()(const Announcement& announcement) const {
            auto bytes = header(announcementType, announcement.name, announcementSize, true);
            bytes[0x24] = byteOf(announcement.kind);
            return bytes;
        }
        Bytes operator()(const NumberClaim& claim) const { return claimPacket(claim); }
        Bytes operator()(const NumberInUse& inUse) const {
            auto bytes = header(numberInUseType, inUse.name, numberInUseSize, true);
            bytes[0x24] = static_cast<std::uint8_t>(inUse.number);
            put(bytes, 0x25, addressBytes(inUse.address), 4);
            return bytes;
        }
        Bytes operator()(const KeepAlive& alive) const { return keepAlivePacket(alive); }
        Bytes operator()(const PlayerStatus& status) const { return playerStatusPacket(status); }
        Bytes operator()(const MixerStatus& status) const { return mixerStatusPacket(status); }
        Bytes operator()(const ChannelsOnAir& onAir) const { return onAirPacket(onAir); }
        Bytes operator()(const Beat& beat) const { return beatPacket(beat); }
    };
    return std::visit(Builder{}, packet);
}

std::vector<Bytes> joining(const OwnDevice& device) {
    using Stage = NumberClaim::Stage;
    std::vector<Bytes> packets;
    for (int counter = 1; counter <= 3; ++counter) {
        packets.push_back(withCdj3000Form(build(Announcement{device.name, DeviceKind::player})));
    }
    for (const auto stage : {Stage::first, Stage::second, Stage::final}) {
        for (int counter = 1; counter <= 3; ++counter) {
            NumberClaim claim{.stage = stage, .name = device.name, .counter = counter};
            if (stage != Stage::first) {
                claim.number = device.number;
            }
            if (stage != Stage::final) {
                claim.kind = DeviceKind::player;
                claim.mac = device.mac;
            }
            if (stage == Stage::second) {
                claim.address = device.address;
                claim.automatic = false;
            }
            packets.push_back(withCdj3000Form(build(claim)));
        }
    }
    return packets;
}

Bytes keepAlive(const OwnDevice& device, int peers) {
    return withCdj3000Form(build(KeepAlive{device.name, device.number, DeviceKind::player,
                                           device.mac, device.address, peers}));
}

} // namespace bridge::ProDJLink
