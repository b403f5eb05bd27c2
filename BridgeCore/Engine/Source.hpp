#pragma once

#include "Engine/SourceState.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// The six sources the bridge can read, with their stored texts and all their wording.
class Source {
public:
    enum Case { virtualDJ, spotify, djay, mixxx, whatsNowPlaying, denon };

    static constexpr std::array<Case, 6> all{virtualDJ, spotify,         djay,
                                             mixxx,     whatsNowPlaying, denon};

    constexpr Source(Case value) : value(value) {}
    constexpr operator Case() const { return value; }

    // The source stored as `raw`; only the six lower-case raw texts name one.
    static std::optional<Source> fromRaw(std::string_view raw);

    std::string_view raw() const;
    std::string_view name() const;
    // Multi-deck sources number their decks and head the list "Decks".
    bool numbersDecks() const { return value == virtualDJ || value == denon; }
    std::string decksHeading() const;
    // The label of a deck that is loaded but not on air.
    std::string_view offAir() const;
    // The anchor of the platform's privacy pane where the source's permission is granted.
    std::optional<std::string_view> privacyPane() const;

    std::string status(SourceState state, bool setUp,
                       const std::optional<std::string>& program) const;
    std::string statusLine(SourceState state, bool setUp,
                           const std::optional<std::string>& program) const;
    std::string_view shortStatus(SourceState state, bool setUp) const;
    std::string_view noDecks(bool answering) const;
    std::string shareNote(int seconds) const;

private:
    Case value;
};

} // namespace bridge
