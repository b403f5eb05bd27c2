#include "Engine/Source.hpp"

#include "Engine/Wording.hpp"

namespace bridge {

namespace {

constexpr std::string_view connecting = "Connecting…";
constexpr std::string_view notSetUp = "Not set up";

} // namespace

std::optional<Source> Source::fromRaw(std::string_view raw) {
    for (const Source source : all) {
        if (source.raw() == raw) {
            return source;
        }
    }
    return std::nullopt;
}

std::string_view Source::raw() const {
    switch (value) {
    case virtualDJ:
        return "virtualdj";
    case spotify:
        return "spotify";
    case djay:
        return "djay";
    case mixxx:
        return "mixxx";
    case whatsNowPlaying:
        return "whatsnowplaying";
    case denon:
        return "denon";
    }
    return {};
}

std::string_view Source::name() const {
    switch (value) {
    case virtualDJ:
        return "VirtualDJ";
    case spotify:
        return "Spotify";
    case djay:
        return "djay";
    case mixxx:
        return "Mixxx";
    case whatsNowPlaying:
        return "What’s Now Playing";
    case denon:
        return "Denon DJ";
    }
    return {};
}

std::string Source::decksHeading() const {
    return numbersDecks() ? "Decks" : "Playing in " + std::string(name());
}

std::string_view Source::offAir() const {
    switch (value) {
    case virtualDJ:
    case denon:
        return "Cued, private";
    case spotify:
        return "Paused";
    case djay:
    case mixxx:
    case whatsNowPlaying:
        return "Ended";
    }
    return {};
}

std::optional<std::string_view> Source::privacyPane() const {
    switch (value) {
    case spotify:
        return "Privacy_Automation";
    case djay:
        return "Privacy_FilesAndFolders";
    case mixxx:
        return "Privacy_AllFiles";
    case denon:
        return "Privacy_LocalNetwork";
    case virtualDJ:
    case whatsNowPlaying:
        return std::nullopt;
    }
    return std::nullopt;
}

std::string Source::status(SourceState state, bool setUp,
                           const std::optional<std::string>& program) const {
    switch (state) {
    case SourceState::starting:
        return std::string(setUp ? connecting : notSetUp);
    case SourceState::connected:
        if (value == whatsNowPlaying && program) {
            return *program + ", through " + std::string(name());
        }
        return std::string(name());
    case SourceState::notAllowed:
        switch (value) {
        case virtualDJ:
            return "Wrong VirtualDJ password";
        case spotify:
            return std::string(Wording::shown(Wording::spotifyNotAllowed));
        case djay:
            return std::string(Wording::shown(Wording::djayNotAllowed));
        case mixxx:
            return std::string(Wording::shown(Wording::mixxxNotAllowed));
        case whatsNowPlaying:
            return "Not allowed to read What’s Now Playing";
        case denon:
            return std::string(Wording::shown(Wording::denonNotAllowed));
        }
        break;
    case SourceState::notAnswering:
        switch (value) {
        case virtualDJ:
            return "VirtualDJ not answering";
        case spotify:
            return "Spotify isn’t open";
        case djay:
            return "djay isn’t open";
        case mixxx:
            return "Mixxx isn’t open";
        case whatsNowPlaying:
            return "What’s Now Playing isn’t open";
        case denon:
            return std::string(Wording::shown(Wording::noDenonPlayer));
        }
        break;
    }
    return {};
}

std::string Source::statusLine(SourceState state, bool setUp,
                               const std::optional<std::string>& program) const {
    std::string line = status(state, setUp, program);
    if (state == SourceState::connected) {
        line += " connected";
    }
    return line;
}

std::string_view Source::shortStatus(SourceState state, bool setUp) const {
    switch (state) {
    case SourceState::starting:
        return setUp ? connecting : notSetUp;
    case SourceState::connected:
        return value == virtualDJ ? "Connected" : "Reading";
    case SourceState::notAllowed:
        switch (value) {
        case virtualDJ:
            return "Wrong password";
        case spotify:
            return "Not allowed to read Spotify";
        case djay:
            return "Not allowed to read djay’s folder";
        case mixxx:
            return "Not allowed to read Mixxx’s library";
        case whatsNowPlaying:
            return "Not allowed to read What’s Now Playing";
        case denon:
            return "Not allowed on the local network";
        }
        break;
    case SourceState::notAnswering:
        switch (value) {
        case virtualDJ:
            return "Not answering";
        case spotify:
            return "Spotify isn’t open";
        case djay:
            return "djay isn’t open";
        case mixxx:
            return "Mixxx isn’t open";
        case whatsNowPlaying:
            return "What’s Now Playing isn’t open";
        case denon:
            return "No Denon player found";
        }
        break;
    }
    return {};
}

std::string_view Source::noDecks(bool answering) const {
    switch (value) {
    case virtualDJ:
        return answering ? "No songs loaded." : "VirtualDJ’s decks show here once it answers.";
    case spotify:
        return answering ? "Nothing playing in Spotify."
                         : "The song playing in Spotify shows here once it’s open.";
    case djay:
        return answering ? "Nothing playing in djay."
                         : "The song playing in djay shows here once it’s open.";
    case mixxx:
        return answering ? "Nothing playing in Mixxx."
                         : "The song playing in Mixxx shows here once it’s open.";
    case whatsNowPlaying:
        return answering ? "Nothing playing in What’s Now Playing."
                         : "The song playing shows here once What’s Now Playing is open, with its "
                           "web server on.";
    case denon:
        return answering
                   ? "No songs loaded on the players."
                   : "The players’ decks show here once the bridge finds them on the network.";
    }
    return {};
}

std::string Source::shareNote(int seconds) const {
    const std::string after = "A song is shared after " + std::to_string(seconds);
    return numbersDecks() ? after + " seconds on air. Pre-listening is never shared."
                          : after + " seconds of playing.";
}

} // namespace bridge
