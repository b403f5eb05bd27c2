#pragma once

#include <boost/asio/awaitable.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// What a desktop media player tells over MPRIS of what it plays: the properties of its
// org.mpris.MediaPlayer2.Player interface the bridge reads. A value of another type than
// MPRIS gives it is absent.
struct MediaPlayerState {
    struct Metadata {
        std::optional<std::string> trackId;              // mpris:trackid, an object path or a text
        std::optional<std::string> title;                // xesam:title
        std::optional<std::vector<std::string>> artists; // xesam:artist, a list or one text
        std::optional<std::string> url;                  // xesam:url
        std::optional<std::int64_t> lengthMicroseconds;  // mpris:length, not negative

        bool operator==(const Metadata&) const = default;
    };

    std::optional<std::string> playbackStatus; // "Playing", "Paused", "Stopped"
    std::optional<double> volume;
    std::optional<Metadata> metadata; // absent when the player sends no dictionary

    bool operator==(const MediaPlayerState&) const = default;
};

// One running instance of a player: its bus name and what it tells.
struct MediaPlayerInstance {
    std::string busName;
    MediaPlayerState state;

    bool operator==(const MediaPlayerInstance&) const = default;
};

// The desktop's media players, on its session bus. Asking never starts a player.
class MediaPlayers {
public:
    virtual ~MediaPlayers() = default;
    // Every running instance of `player` (a bus name without an instance suffix), in the
    // order of their bus names; none when it is not running. Fails as `player` below.
    virtual boost::asio::awaitable<std::vector<MediaPlayerInstance>>
    instances(std::string player) = 0;
    // The state of the player that owns `busName`; absent when none does. Fails with
    // SourceError: notAllowed when the desktop's bus refuses the bridge, notAnswering when the
    // player does not answer in time or answers with an error.
    virtual boost::asio::awaitable<std::optional<MediaPlayerState>> player(std::string busName) = 0;
};

// The MPRIS bus names: org.mpris.MediaPlayer2.<player>, and for a player that runs more than
// once, an instance suffix ".instance<digits>" after it.
namespace MprisName {

inline constexpr std::string_view prefix = "org.mpris.MediaPlayer2.";

// The player's own name: `busName` without an instance suffix.
std::string withoutInstance(std::string_view busName);
// Whether `busName` is `player` itself or one of its instances.
bool isOf(std::string_view busName, std::string_view player);

} // namespace MprisName

} // namespace bridge
