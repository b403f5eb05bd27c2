#pragma once

#include "Values/SourceEntry.hpp"
#include "Values/SourceState.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// The sources the bridge can read, with their stored texts and all their wording, each
// described by its entry.
class Source {
public:
    enum Case { virtualDJ, spotify, djay, mixxx, whatsNowPlaying, denon };

    // In the picker's order; every case has an entry in this order.
    static constexpr std::array<Case, 6> all{virtualDJ, spotify,         djay,
                                             mixxx,     whatsNowPlaying, denon};

    constexpr Source(Case value) : value(value) {}
    constexpr operator Case() const { return value; }

    // The source stored as `raw`; only the lower-case raw texts of the entries name one.
    static std::optional<Source> fromRaw(std::string_view raw);

    const SourceEntry& entry() const;

    std::string_view raw() const { return entry().raw; }
    std::string_view name() const { return entry().name; }
    // Multi-deck sources number their decks and head the list "Decks".
    bool numbersDecks() const { return entry().numbersDecks; }
    std::string decksHeading() const;
    // The label of a deck that is loaded but not on air.
    std::string_view offAir() const { return entry().offAir; }
    // The anchor of the platform's privacy pane where the source's permission is granted.
    std::optional<std::string_view> privacyPane() const { return entry().privacyPane; }
    // Its label in the picker, and the text of its section of the Source pane.
    std::string_view choice() const { return Wording::shown(entry().choice); }
    std::string_view help() const { return Wording::shown(entry().help); }

    std::string status(SourceState state, bool setUp,
                       const std::optional<std::string>& program) const;
    std::string statusLine(SourceState state, bool setUp,
                           const std::optional<std::string>& program) const;
    std::string_view shortStatus(SourceState state, bool setUp) const;
    std::string_view noDecks(bool answering) const;
    std::string shareNote(int seconds) const;

    // Every source as the setup's second step names it ("… or …"), and as the Source pane's
    // closing note says the bridge never controls them.
    static std::string asked();
    static std::string controlled();

private:
    Case value;
};

} // namespace bridge
