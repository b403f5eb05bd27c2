#pragma once

// The byte layout shared by reading and building packets; only ProDJLink's own files use it.
#include "ProDJLink/ProDJLink.hpp"

#include <boost/asio/ip/address_v4.hpp>

#include <algorithm>
#include <cmath>

namespace bridge::ProDJLink::wire {

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
inline std::uint32_t number(const std::uint8_t* data, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = (value << 8) | data[at + i];
    }
    return value;
}

inline void put(Bytes& packet, std::size_t at, std::uint32_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        packet[at + count - 1 - i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

inline std::string name(const std::uint8_t* data, std::size_t at) {
    std::string text;
    for (std::size_t i = at; i < at + nameLength && data[i] != 0; ++i) {
        text.push_back(data[i] < 0x80 ? static_cast<char>(data[i]) : '?');
    }
    return text;
}

inline DeviceKind kindOf(std::uint8_t byte) {
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

inline std::uint8_t byteOf(DeviceKind kind) {
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

inline MAC macAt(const std::uint8_t* data, std::size_t at) {
    MAC mac{};
    std::copy_n(data + at, mac.size(), mac.begin());
    return mac;
}

inline std::string addressAt(const std::uint8_t* data, std::size_t at) {
    return boost::asio::ip::address_v4{number(data, at, 4)}.to_string();
}

inline std::uint32_t addressBytes(const std::string& dotted) {
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address_v4(dotted, error);
    return error ? 0 : address.to_uint();
}

inline double pitchAt(const std::uint8_t* data, std::size_t at) {
    return (static_cast<double>(number(data, at, 4)) - pitchUnity) * 100.0 / pitchUnity;
}

inline std::uint32_t pitchBytes(double percent) {
    const double raw = std::round(pitchUnity + percent * pitchUnity / 100.0);
    if (!std::isfinite(raw)) {
        return pitchUnity;
    }
    return static_cast<std::uint32_t>(std::clamp(raw, 0.0, 4294967295.0));
}

inline std::optional<double> bpmAt(const std::uint8_t* data, std::size_t at) {
    const auto raw = number(data, at, 2);
    if (raw == noBpm) {
        return std::nullopt;
    }
    return raw / 100.0;
}

inline std::uint16_t bpmBytes(const std::optional<double>& bpm) {
    if (!bpm || !std::isfinite(*bpm)) {
        return noBpm;
    }
    return static_cast<std::uint16_t>(std::clamp(std::round(*bpm * 100.0), 0.0, noBpm - 1.0));
}

inline StatusFlags flagsOf(std::uint8_t byte) {
    return {.playing = (byte & playFlag) != 0,
            .onAir = (byte & onAirFlag) != 0,
            .master = (byte & masterFlag) != 0,
            .sync = (byte & syncFlag) != 0};
}

inline std::uint8_t flagsByte(const StatusFlags& flags, std::uint8_t base) {
    return static_cast<std::uint8_t>(base | (flags.playing ? playFlag : 0) |
                                     (flags.onAir ? onAirFlag : 0) |
                                     (flags.master ? masterFlag : 0) | (flags.sync ? syncFlag : 0));
}

inline Slot slotOf(std::uint8_t byte) {
    constexpr std::array slots{Slot::none, Slot::cd, Slot::sd, Slot::usb, Slot::collection};
    return byte < slots.size() ? slots[byte] : Slot::other;
}

inline TrackType trackTypeOf(std::uint8_t byte) {
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

inline std::uint8_t byteOf(TrackType type) {
    constexpr std::array<std::uint8_t, 5> bytes{0, 1, 2, 5, 6};
    return bytes[static_cast<std::size_t>(type)];
}

// The play state values, in the order of the enumerators.
constexpr std::array<std::uint8_t, 12> playStateBytes{0x00, 0x02, 0x03, 0x04, 0x05, 0x06,
                                                      0x07, 0x08, 0x09, 0x0e, 0x11, 0x12};

inline PlayState playStateOf(std::uint8_t byte) {
    const auto found = std::find(playStateBytes.begin(), playStateBytes.end(), byte);
    return found == playStateBytes.end()
               ? PlayState::other
               : static_cast<PlayState>(std::distance(playStateBytes.begin(), found));
}

inline std::uint8_t byteOf(PlayState state) {
    const auto index = static_cast<std::size_t>(state);
    return index < playStateBytes.size() ? playStateBytes[index] : 0xff;
}
} // namespace bridge::ProDJLink::wire
