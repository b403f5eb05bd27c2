#pragma once

#include "PlayQueue/QueuedPlay.hpp"
#include "Values/Gig.hpp"
#include "Values/SourceState.hpp"

#include <optional>
#include <string>
#include <vector>

namespace bridge {

// One line of the deck list: a deck with a song.
struct DeckRow {
    int deck = 1;
    std::string title;
    std::optional<std::string> artist;
    std::optional<double> bpm;
    std::optional<std::string> key;
    bool onAir = false;

    // Artist, tempo and key, those present, joined by " · ".
    std::string details() const;

    bool operator==(const DeckRow&) const = default;
};

// What the user interface shows: the source, the server link, the gig, decks and plays.
struct BridgeStatus {
    using SourceState = bridge::SourceState;

    // The state of the link with the server.
    class Server {
    public:
        enum class Kind { starting, connected, offline, badKey, noGig, gigEnded, refused };

        static const Server starting;
        static const Server connected;
        static const Server offline;
        static const Server badKey;
        static const Server noGig;
        static const Server gigEnded;
        // The server refused, in its own words.
        static Server refused(std::string message) {
            return Server{Kind::refused, std::move(message)};
        }

        Kind kind() const { return kind_; }
        // The server's words; empty unless refused.
        const std::string& message() const { return message_; }

        bool operator==(const Server&) const = default;

    private:
        explicit Server(Kind kind, std::string message = {})
            : kind_(kind), message_(std::move(message)) {}

        Kind kind_;
        std::string message_;
    };

    SourceState source = SourceState::starting;
    std::optional<std::string> program;
    std::optional<std::string> network; // where the source was found, for a source on the network
    Server server = Server::starting;
    std::optional<Gig> gig;
    std::vector<DeckRow> decks;
    std::vector<QueuedPlay> recent; // newest first, at most 10
    bool sharing = true;
    bool paused = false; // the server does not take this bridge's songs

    // Songs reach dancers right now.
    bool isLive() const;
    std::string gigTitle() const;
    std::string gigLine() const;

    bool operator==(const BridgeStatus&) const = default;
};

inline const BridgeStatus::Server BridgeStatus::Server::starting{Kind::starting};
inline const BridgeStatus::Server BridgeStatus::Server::connected{Kind::connected};
inline const BridgeStatus::Server BridgeStatus::Server::offline{Kind::offline};
inline const BridgeStatus::Server BridgeStatus::Server::badKey{Kind::badKey};
inline const BridgeStatus::Server BridgeStatus::Server::noGig{Kind::noGig};
inline const BridgeStatus::Server BridgeStatus::Server::gigEnded{Kind::gigEnded};

} // namespace bridge
