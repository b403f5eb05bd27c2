#pragma once

#include "Values/SourceEntry.hpp"
#include "Values/SourceState.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// The sources the bridge can read, with their stored texts and all their wording, each
// described by its entry. Where a text names the music player, `player` is the one chosen
// (its identity); without one it is named "Music player".
class Source {
public:
    enum Case { virtualDJ, spotify, djay, mixxx, whatsNowPlaying, denon, musicPlayer, proDJLink };

    // In the picker's order; every case has an entry in this order.
    static constexpr std::array<Case, 8> all{virtualDJ,       spotify, djay,        mixxx,
                                             whatsNowPlaying, denon,   musicPlayer, proDJLink};

    constexpr Source(Case value) : value(value) {}
    constexpr operator Case() const { return value; }

    // The source stored as `raw`; only the lower-case raw texts of the entries name one.
    static std::optional<Source> fromRaw(std::string_view raw);

    const SourceEntry& entry() const;

    std::string_view raw() const { return entry().raw; }
    std::string_view name() const { return entry().name; }
    // Multi-deck sources number their decks and head the list "Decks".
    bool numbersDecks() const { return entry().numbersDecks; }
    std::string decksHeading(std::string_view player = {}) const;
    // The label of a deck that is loaded but not on air.
    std::string_view offAir() const { return entry().offAir; }
    // The anchor of the platform's privacy pane where the source's permission is granted.
    std::optional<std::string_view> privacyPane() const { return entry().privacyPane; }
    // Its label in the picker, and the text of its section of the Source pane.
    std::string_view choice() const { return Wording::shown(entry().choice); }
    std::string_view help() const { return Wording::shown(entry().help); }

    // Whether the server hears the program behind the source along with it.
    bool tellsProgram() const { return entry().tellsProgram; }

    std::string status(SourceState state, bool setUp, const std::optional<std::string>& program,
                       std::string_view player = {}) const;
    std::string statusLine(SourceState state, bool setUp, const std::optional<std::string>& program,
                           std::string_view player = {}) const;
    // Where the source tells on which network it was found, the short status says so.
    std::string shortStatus(SourceState state, bool setUp, std::string_view player = {},
                            const std::optional<std::string>& network = std::nullopt) const;
    std::string noDecks(bool answering, std::string_view player = {}) const;
    std::string shareNote(int seconds) const;

    // Every source as the setup's second step names it ("… or …"), and as the Source pane's
    // closing note says the bridge never controls them.
    static std::string asked();
    static std::string controlled();

private:
    // The source's name in texts: the chosen player's, for a source named by it.
    std::string_view shownName(std::string_view player) const;

    Case value;
};

} // namespace bridge
