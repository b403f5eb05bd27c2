#include "ProDJLink/ProDJLink.hpp"

#include <boost/asio/ip/address_v4.hpp>

#include <algorithm>
#include <cmath>

namespace bridge::ProDJLink {

namespace {

// Packet types, by port.
constexpr std::uint8_t announcementType = 0x0a;
constexpr std::uint8_t firstClaimType = 0x00;
constexpr std::uint8_t secondClaimType = 0x02;
constexpr std::uint8_t finalClaimType = 0x04;
constexpr std::uint8_t keepAliveType = 0x06;
constexpr std::uint8_t numberInUseType = 0x08;
constexpr std::uint8_t onAirType = 0x03;
constexpr std::uint8_t beatType = 0x28;
constexpr std::uint8_t playerStatusType = 0x0a;
constexpr std::uint8_t mixerStatusType = 0x29;

// The common header: magic, type, name, then a length at 0x22. On the announce port the name
// starts one byte later and the length counts the whole packet; elsewhere it counts the bytes
// after 0x24.
constexpr std::size_t typeAt = 0x0a;
constexpr std::size_t nameLength = 20;
constexpr std::size_t lengthAt = 0x22;
constexpr std::size_t bodyAt = 0x24;

// Sizes: the smallest plausible one of each type, and the one built.
constexpr std::size_t announcementSize = 0x25;
constexpr std::size_t firstClaimSize = 0x2c;
constexpr std::size_t secondClaimSize = 0x32;
constexpr std::size_t finalClaimSize = 0x26;
constexpr std::size_t keepAliveSize = 0x36;
constexpr std::size_t numberInUseSize = 0x29;
constexpr std::size_t onAirSize = 0x2d;
constexpr std::size_t beatSize = 0x60;
constexpr std::size_t mixerStatusSize = 0x38;
// Older players send 0xd0 bytes, a CDJ-2000NXS2 0xd4.
constexpr std::size_t playerStatusMinimum = 0xd0;
constexpr std::size_t playerStatusSize = 0xd4;

constexpr std::uint32_t pitchUnity = 0x100000;
constexpr std::uint16_t noBpm = 0xffff;

// Bits of the flags byte; a player always sets 0x84 besides.
constexpr std::uint8_t playFlag = 0x40;
constexpr std::uint8_t masterFlag = 0x20;
constexpr std::uint8_t syncFlag = 0x10;
constexpr std::uint8_t onAirFlag = 0x08;

// Bounds were checked against the packet's size before any of these reads.
std::uint32_t number(const std::uint8_t* data, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = (value << 8) | data[at + i];
    }
    return value;
}

void put(Bytes& packet, std::size_t at, std::uint32_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        packet[at + count - 1 - i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

std::string name(const std::uint8_t* data, std::size_t at) {
    std::string text;
    for (std::size_t i = at; i < at + nameLength && data[i] != 0; ++i) {
        text.push_back(data[i] < 0x80 ? static_cast<char>(data[i]) : '?');
    }
    return text;
}

DeviceKind kindOf(std::uint8_t byte) {
    switch (byte) {
    case 1:
        return DeviceKind::player;
    case 2:
        return DeviceKind::mixer;
    case 3:
        return DeviceKind::computer;
    default:
        return DeviceKind::other;
    }
}

std::uint8_t byteOf(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::player:
        return 1;
    case DeviceKind::mixer:
        return 2;
    case DeviceKind::computer:
        return 3;
    case DeviceKind::other:
        break;
    }
    return 0;
}

MAC macAt(const std::uint8_t* data, std::size_t at) {
    MAC mac{};
    std::copy_n(data + at, mac.size(), mac.begin());
    return mac;
}

std::string addressAt(const std::uint8_t* data, std::size_t at) {
    return boost::asio::ip::address_v4{number(data, at, 4)}.to_string();
}

std::uint32_t addressBytes(const std::string& dotted) {
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address_v4(dotted, error);
    return error ? 0 : address.to_uint();
}

double pitchAt(const std::uint8_t* data, std::size_t at) {
    return (static_cast<double>(number(data, at, 4)) - pitchUnity) * 100.0 / pitchUnity;
}

std::uint32_t pitchBytes(double percent) {
    const double raw = std::round(pitchUnity + percent * pitchUnity / 100.0);
    if (!std::isfinite(raw)) {
        return pitchUnity;
    }
    return static_cast<std::uint32_t>(std::clamp(raw, 0.0, 4294967295.0));
}

std::optional<double> bpmAt(const std::uint8_t* data, std::size_t at) {
    const auto raw = number(data, at, 2);
    if (raw == noBpm) {
        return std::nullopt;
    }
    return raw / 100.0;
}

std::uint16_t bpmBytes(const std::optional<double>& bpm) {
    if (!bpm || !std::isfinite(*bpm)) {
        return noBpm;
    }
    return static_cast<std::uint16_t>(std::clamp(std::round(*bpm * 100.0), 0.0, noBpm - 1.0));
}

StatusFlags flagsOf(std::uint8_t byte) {
    return {.playing = (byte & playFlag) != 0,
            .onAir = (byte & onAirFlag) != 0,
            .master = (byte & masterFlag) != 0,
            .sync = (byte & syncFlag) != 0};
}

std::uint8_t flagsByte(const StatusFlags& flags, std::uint8_t base) {
    return static_cast<std::uint8_t>(base | (flags.playing ? playFlag : 0) |
                                     (flags.onAir ? onAirFlag : 0) |
                                     (flags.master ? masterFlag : 0) | (flags.sync ? syncFlag : 0));
}

Slot slotOf(std::uint8_t byte) {
    constexpr std::array slots{Slot::none, Slot::cd, Slot::sd, Slot::usb, Slot::collection};
    return byte < slots.size() ? slots[byte] : Slot::other;
}

TrackType trackTypeOf(std::uint8_t byte) {
    switch (byte) {
    case 0:
        return TrackType::none;
    case 1:
        return TrackType::rekordbox;
    case 2:
        return TrackType::unanalysed;
    case 5:
        return TrackType::cd;
    default:
        return TrackType::other;
    }
}

std::uint8_t byteOf(TrackType type) {
    constexpr std::array<std::uint8_t, 5> bytes{0, 1, 2, 5, 6};
    return bytes[static_cast<std::size_t>(type)];
}

// The play state values, in the order of the enumerators.
constexpr std::array<std::uint8_t, 12> playStateBytes{0x00, 0x02, 0x03, 0x04, 0x05, 0x06,
                                                      0x07, 0x08, 0x09, 0x0e, 0x11, 0x12};

PlayState playStateOf(std::uint8_t byte) {
    const auto found = std::find(playStateBytes.begin(), playStateBytes.end(), byte);
    return found == playStateBytes.end()
               ? PlayState::other
               : static_cast<PlayState>(std::distance(playStateBytes.begin(), found));
}

std::uint8_t byteOf(PlayState state) {
    const auto index = static_cast<std::size_t>(state);
    return index < playStateBytes.size() ? playStateBytes[index] : 0xff;
}

// The packet's own length, checked: absent when the packet is shorter than it says or when it
// says less than the type needs.
bool plausible(const std::uint8_t* data, std::size_t size, std::size_t minimum, bool total) {
    if (size < bodyAt) {
        return false;
    }
    const std::size_t declared = number(data, lengthAt, 2) + (total ? 0 : bodyAt);
    return declared >= minimum && declared <= size;
}

std::optional<Packet> announcePacket(const std::uint8_t* data, std::size_t size) {
    const auto type = data[typeAt];
    const auto device = name(data, 0x0c);
    const auto fits = [&](std::size_t minimum) { return plausible(data, size, minimum, true); };
    using Stage = NumberClaim::Stage;
    switch (type) {
    case announcementType:
        if (!fits(announcementSize)) {
            return std::nullopt;
        }
        return Announcement{device, kindOf(data[0x24])};
    case firstClaimType:
        if (!fits(firstClaimSize)) {
            return std::nullopt;
        }
        return NumberClaim{.stage = Stage::first,
                           .name = device,
                           .counter = data[0x24],
                           .kind = kindOf(data[0x25]),
                           .mac = macAt(data, 0x26)};
    case secondClaimType:
        if (!fits(secondClaimSize)) {
            return std::nullopt;
        }
        return NumberClaim{.stage = Stage::second,
                           .name = device,
                           .counter = data[0x2f],
                           .number = data[0x2e],
                           .kind = kindOf(data[0x30]),
                           .mac = macAt(data, 0x28),
                           .address = addressAt(data, 0x24),
                           .automatic = data[0x31] == 1};
    case finalClaimType:
        if (!fits(finalClaimSize)) {
            return std::nullopt;
        }
        return NumberClaim{
            .stage = Stage::final, .name = device, .counter = data[0x25], .number = data[0x24]};
    case keepAliveType:
        if (!fits(keepAliveSize)) {
            return std::nullopt;
        }
        // The device type is at 0x34: the byte after the number, once thought to repeat it,
        // changes between sessions of the same device.
        return KeepAlive{
            device,    data[0x24], kindOf(data[0x34]), macAt(data, 0x26), addressAt(data, 0x2c),
            data[0x30]};
    case numberInUseType:
        if (!fits(numberInUseSize)) {
            return std::nullopt;
        }
        return NumberInUse{device, data[0x24], addressAt(data, 0x25)};
    default:
        return std::nullopt;
    }
}

std::optional<Packet> beatPortPacket(const std::uint8_t* data, std::size_t size) {
    const auto device = name(data, 0x0b);
    switch (data[typeAt]) {
    case onAirType:
        if (!plausible(data, size, onAirSize, false)) {
            return std::nullopt;
        }
        return ChannelsOnAir{device,
                             data[0x21],
                             {data[0x24] != 0, data[0x25] != 0, data[0x26] != 0, data[0x27] != 0}};
    case beatType:
        if (!plausible(data, size, beatSize, false)) {
            return std::nullopt;
        }
        return Beat{device, data[0x21], bpmAt(data, 0x5a), pitchAt(data, 0x54), data[0x5c]};
    default:
        return std::nullopt;
    }
}

std::optional<Packet> statusPacket(const std::uint8_t* data, std::size_t size) {
    const auto device = name(data, 0x0b);
    switch (data[typeAt]) {
    case playerStatusType:
        if (!plausible(data, size, playerStatusMinimum, false)) {
            return std::nullopt;
        }
        return PlayerStatus{.name = device,
                            .number = data[0x21],
                            .trackPlayer = data[0x28],
                            .trackSlot = slotOf(data[0x29]),
                            .trackType = trackTypeOf(data[0x2a]),
                            .rekordboxId = number(data, 0x2c, 4),
                            .playState = playStateOf(data[0x7b]),
                            .flags = flagsOf(data[0x89]),
                            .bpm = bpmAt(data, 0x92),
                            .pitch = pitchAt(data, 0x8c)};
    case mixerStatusType:
        // rekordbox sends subtype 1, whose length counts the whole packet.
        if (!plausible(data, size, mixerStatusSize, data[0x20] == 1)) {
            return std::nullopt;
        }
        return MixerStatus{device, data[0x21], flagsOf(data[0x27]), bpmAt(data, 0x2e)};
    default:
        return std::nullopt;
    }
}

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

} // namespace

std::optional<double> PlayerStatus::tempo() const {
    if (!bpm) {
        return std::nullopt;
    }
    return *bpm * (100.0 + pitch) / 100.0;
}

std::optional<Packet> parse(std::uint16_t port, const std::uint8_t* data, std::size_t size) {
    if (size < bodyAt || !std::equal(magic.begin(), magic.end(), data)) {
        return std::nullopt;
    }
    switch (port) {
    case announcePort:
        return announcePacket(data, size);
    case beatPort:
        return beatPortPacket(data, size);
    case statusPort:
        return statusPacket(data, size);
    default:
        return std::nullopt;
    }
}

std::uint16_t portOf(const Packet& packet) {
    if (std::holds_alternative<PlayerStatus>(packet) ||
        std::holds_alternative<MixerStatus>(packet)) {
        return statusPort;
    }
    if (std::holds_alternative<ChannelsOnAir>(packet) || std::holds_alternative<Beat>(packet)) {
        return beatPort;
    }
    return announcePort;
}

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
        packets.push_back(build(Announcement{device.name, DeviceKind::player}));
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
            packets.push_back(build(claim));
        }
    }
    return packets;
}

Bytes keepAlive(const OwnDevice& device, int peers) {
    return build(KeepAlive{device.name, device.number, DeviceKind::player, device.mac,
                           device.address, peers});
}

} // namespace bridge::ProDJLink
