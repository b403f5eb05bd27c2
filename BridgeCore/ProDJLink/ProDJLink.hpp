#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Pro DJ Link packets as players, mixers and rekordbox send them over UDP, and the few the
// bridge sends to be treated as a device. Pure functions: no sockets here.
namespace bridge::ProDJLink {

using Bytes = std::vector<std::uint8_t>;
using MAC = std::array<std::uint8_t, 6>;

// Every packet starts with these ten bytes.
inline constexpr std::string_view magic = "Qspt1WmJOL";

// Announcements, number claims and keep-alives.
inline constexpr std::uint16_t announcePort = 50000;
// Beats and the mixer's channels on air.
inline constexpr std::uint16_t beatPort = 50001;
// Status packets, sent only to devices that keep themselves alive.
inline constexpr std::uint16_t statusPort = 50002;

// The numbers the bridge may take: players use 1 to 6, so none of these is ever a player's.
inline constexpr int firstOwnNumber = 7;
inline constexpr int lastOwnNumber = 15;

// What a device says it is, from its device-type byte.
enum class DeviceKind { player, mixer, computer, other };

// The first packets a device sends when it joins, before it claims a number (type 0x0a).
struct Announcement {
    std::string name;
    DeviceKind kind = DeviceKind::player;

    bool operator==(const Announcement&) const = default;
};

// The three stages of claiming a device number (types 0x00, 0x02, 0x04). Each stage is sent
// three times, `counter` 1 to 3; a field a stage does not carry is absent.
struct NumberClaim {
    enum class Stage { first, second, final };

    Stage stage = Stage::first;
    std::string name;
    int counter = 1;
    std::optional<int> number;          // second and final stages
    std::optional<DeviceKind> kind;     // first and second stages
    std::optional<MAC> mac;             // first and second stages
    std::optional<std::string> address; // second stage, dotted IPv4
    std::optional<bool> automatic;      // second stage: picking any free number

    bool operator==(const NumberClaim&) const = default;
};

// A device defending its number against a claim (type 0x08).
struct NumberInUse {
    std::string name;
    int number = 0;
    std::string address; // the defender's, dotted IPv4

    bool operator==(const NumberInUse&) const = default;
};

// A device's presence, about every 1.5 seconds (type 0x06).
struct KeepAlive {
    std::string name;
    int number = 0;
    DeviceKind kind = DeviceKind::player;
    MAC mac{};
    std::string address; // dotted IPv4
    int peers = 1;       // devices it sees, itself included

    bool operator==(const KeepAlive&) const = default;
};

// The flags byte of player and mixer status.
struct StatusFlags {
    bool playing = false;
    bool onAir = false;
    bool master = false;
    bool sync = false;

    bool operator==(const StatusFlags&) const = default;
};

// Where a player's track was loaded from.
enum class Slot { none, cd, sd, usb, collection, other };

enum class TrackType { none, rekordbox, unanalysed, cd, other };

// A player's play state; `other` for values not known.
enum class PlayState {
    empty,
    loading,
    playing,
    looping,
    paused,
    cued,
    cuePlaying,
    cueScratching,
    searching,
    spunDown,
    ended,
    emergencyLoop,
    other
};

// A player's state, about five times a second, to devices that keep themselves alive
// (type 0x0a on the status port).
struct PlayerStatus {
    std::string name;
    int number = 0;
    int trackPlayer = 0; // the player whose medium holds the track; 0 when none is loaded
    Slot trackSlot = Slot::none;
    TrackType trackType = TrackType::none;
    std::uint32_t rekordboxId = 0;
    PlayState playState = PlayState::empty;
    StatusFlags flags;
    std::optional<double> bpm; // the track's own tempo where it plays; absent when unknown
    double pitch = 0;          // percent, +8 is 8 % faster

    // The tempo heard: the track's tempo adjusted by the pitch.
    std::optional<double> tempo() const;

    bool operator==(const PlayerStatus&) const = default;
};

// A mixer's (or rekordbox's) state (type 0x29 on the status port).
struct MixerStatus {
    std::string name;
    int number = 0;
    StatusFlags flags;
    std::optional<double> bpm;

    bool operator==(const MixerStatus&) const = default;
};

// Which of the mixer's four channels are heard (type 0x03 on the beat port).
struct ChannelsOnAir {
    std::string name;
    int number = 0;
    std::array<bool, 4> channels{};

    bool operator==(const ChannelsOnAir&) const = default;
};

// A beat of the player or mixer that sends it (type 0x28 on the beat port).
struct Beat {
    std::string name;
    int number = 0;
    std::optional<double> bpm;
    double pitch = 0;  // percent
    int beatInBar = 0; // 1 to 4

    bool operator==(const Beat&) const = default;
};

using Packet = std::variant<Announcement, NumberClaim, NumberInUse, KeepAlive, PlayerStatus,
                            MixerStatus, ChannelsOnAir, Beat>;

// The packet received on `port`; absent for a wrong magic, an unknown type, a packet shorter
// than its fields or than its length field says, and a length field too small for its type.
// Bytes past the length field are ignored.
std::optional<Packet> parse(std::uint16_t port, const std::uint8_t* data, std::size_t size);
inline std::optional<Packet> parse(std::uint16_t port, const Bytes& packet) {
    return parse(port, packet.data(), packet.size());
}

// The port a packet is sent to.
std::uint16_t portOf(const Packet& packet);

// The wire form of each record. Names are cut to 20 bytes; an address that is not dotted
// IPv4 is sent as 0.0.0.0. A status packet is 212 bytes, as a CDJ-2000NXS2 sends it.
Bytes build(const Packet& packet);

// The bridge as a device on the network.
struct OwnDevice {
    std::string name;
    int number = firstOwnNumber;
    MAC mac{};
    std::string address; // dotted IPv4 of the interface it listens on
};

// The packets a device sends to join, in order, each to be sent 300 ms after the one before:
// three announcements, then three packets of each claim stage for `device.number`.
std::vector<Bytes> joining(const OwnDevice& device);

// The keep-alive that makes players send their status. It copies a player's keep-alive, as
// other virtual players do: players send status to devices that look like players.
Bytes keepAlive(const OwnDevice& device, int peers);

} // namespace bridge::ProDJLink
