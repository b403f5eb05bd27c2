#pragma once

#include <boost/asio/awaitable.hpp>

#include <cstdint>
#include <optional>
#include <string>
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

// The desktop's media players, on its session bus. Asking never starts a player.
class MediaPlayers {
public:
    virtual ~MediaPlayers() = default;
    // The state of the player that owns `busName`; absent when none does. Fails with
    // SourceError: notAllowed when the desktop's bus refuses the bridge, notAnswering when the
    // player does not answer in time or answers with an error.
    virtual boost::asio::awaitable<std::optional<MediaPlayerState>> player(std::string busName) = 0;
};

} // namespace bridge
