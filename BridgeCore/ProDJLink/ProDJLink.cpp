#include "ProDJLink/ProDJLinkWire.hpp"

namespace bridge::ProDJLink {

using namespace wire;

namespace {

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

} // namespace bridge::ProDJLink
