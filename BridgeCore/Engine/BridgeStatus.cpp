#include "Engine/BridgeStatus.hpp"

#include <cmath>

namespace bridge {

namespace {

constexpr std::string_view separator = " · ";

void appendPart(std::string& text, std::string_view part) {
    if (!text.empty()) {
        text += separator;
    }
    text += part;
}

} // namespace

std::string DeckRow::details() const {
    std::vector<std::string> parts;
    if (artist) {
        parts.push_back(*artist);
    }
    if (bpm && *bpm > 0 && *bpm <= 400) {
        parts.push_back(std::to_string(std::llround(*bpm)) + " BPM");
    }
    if (key) {
        parts.push_back(*key);
    }
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        text += i == 0 ? "" : separator;
        text += parts[i];
    }
    return text;
}

bool BridgeStatus::isLive() const {
    return gig && gig->sharing && sharing && !paused && server == Server::connected;
}

std::string BridgeStatus::gigTitle() const {
    if (!gig) {
        return "No live gig";
    }
    std::string title;
    if (!gig->name.empty()) {
        appendPart(title, gig->name);
    }
    if (gig->venue && !gig->venue->empty()) {
        appendPart(title, *gig->venue);
    }
    return title;
}

std::string BridgeStatus::gigLine() const {
    switch (server.kind()) {
    case Server::Kind::starting:
        return "Connecting…";
    case Server::Kind::connected:
        if (paused) {
            return "Paused in Setmara: the server doesn’t take this bridge’s songs. Resume it in "
                   "Gigs › Bridges.";
        }
        if (gig && !gig->sharing) {
            return "Live · sharing paused in Setmara: dancers don’t see the gig. Continue sharing "
                   "in Gigs › ⋯.";
        }
        return sharing ? "Live · sharing with dancers"
                       : "Live · paused: songs are hidden from dancers";
    case Server::Kind::offline:
        return "Offline: songs wait here and go when the connection is back.";
    case Server::Kind::badKey:
        return "The bridge’s key doesn’t work. Pair it again: ⋯ › Pair with a Code…";
    case Server::Kind::noGig:
        return "Start one in Setmara: Gigs › Go live.";
    case Server::Kind::gigEnded:
        return "The gig has ended; songs aren’t kept. Start a new one in Setmara: Gigs › Go live.";
    case Server::Kind::refused:
        return server.message();
    }
    return {};
}

} // namespace bridge
