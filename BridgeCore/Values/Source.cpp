#include "Values/Source.hpp"

#include <vector>

namespace bridge {

namespace {

using Wording::Text;

constexpr std::string_view connecting = "Connecting…";
constexpr std::string_view notSetUp = "Not set up";

constexpr SourceEntry virtualDJEntry{
    .raw = "virtualdj",
    .name = "VirtualDJ",
    .choice = Text::both("VirtualDJ"),
    .numbersDecks = true,
    .offAir = "Cued, private",
    .notAllowed = Text::both("Wrong VirtualDJ password"),
    .notAnswering = Text::both("VirtualDJ not answering"),
    .connectedShort = "Connected",
    .notAllowedShort = Text::both("Wrong password"),
    .notAnsweringShort = Text::both("Not answering"),
    .noDecks = "No songs loaded.",
    .noDecksYet = "VirtualDJ’s decks show here once it answers.",
    .heading = "VirtualDJ · Network Control",
    .help = Text::both("Needs VirtualDJ Pro (2023 or later).\n1. Config › Extensions › Effects › "
                       "Other: install Network Control.\n2. Master panel › Master Effect › "
                       "Auto-Start: choose Network Control.\n3. Its cog sets a port (not your "
                       "broadcast port) and a password. Put both here."),
    .asked = Text::both("VirtualDJ (its Network Control port and password)"),
    .controlled = Text::both("VirtualDJ"),
    .needs = SourceNeeds::connection,
};

constexpr SourceEntry spotifyEntry{
    .raw = "spotify",
    .name = "Spotify",
    .choice = {"Spotify on this Mac", "Spotify on this computer"},
    .offAir = "Paused",
    .privacyPane = "Privacy_Automation",
    .notAllowed = {"Not allowed to read Spotify (Privacy & Security › Automation)",
                   "Not allowed to ask Spotify what plays (its media-player interface refused)"},
    .notAnswering = Text::both("Spotify isn’t open"),
    .connectedShort = "Reading",
    .notAllowedShort = Text::both("Not allowed to read Spotify"),
    .notAnsweringShort = Text::both("Spotify isn’t open"),
    .noDecks = "Nothing playing in Spotify.",
    .noDecksYet = "The song playing in Spotify shows here once it’s open.",
    .help = {"Play from the Spotify app on this Mac. The first time, macOS asks whether the "
             "bridge may control Spotify: allow it (System Settings › Privacy & Security › "
             "Automation). The bridge only asks what plays and doesn’t open Spotify.",
             "Play from the Spotify app on this computer. The bridge only asks it what plays, "
             "over the desktop’s media-player interface, and doesn’t open Spotify."},
    .asked = Text::both("the Spotify app"),
    .controlled = Text::both("Spotify"),
};

constexpr SourceEntry djayEntry{
    .raw = "djay",
    .name = "djay",
    .choice = Text::both("djay"),
    .offAir = "Ended",
    .privacyPane = "Privacy_FilesAndFolders",
    .notAllowed = {"Not allowed to read djay’s folder (Privacy & Security › Files & Folders)",
                   "Not allowed to read djay’s folder (check its permissions)"},
    .notAnswering = Text::both("djay isn’t open"),
    .connectedShort = "Reading",
    .notAllowedShort = Text::both("Not allowed to read djay’s folder"),
    .notAnsweringShort = Text::both("djay isn’t open"),
    .noDecks = "Nothing playing in djay.",
    .noDecksYet = "The song playing in djay shows here once it’s open.",
    .help = {"Play from djay Pro on this Mac. djay adds each song it plays on air to its "
             "history, in its library in your Music folder; the bridge only reads the latest "
             "one there (with an older djay, the now-playing file beside it). The first time, "
             "macOS may ask whether the bridge may use your Music folder: allow it. Tempo and "
             "key come from Setmara once the song is found.",
             "djay has no Linux version, so there is nothing on this computer for the bridge to "
             "read. On a Mac, the bridge reads the latest song in djay’s history."},
    .asked = Text::both("djay"),
    .controlled = Text::both("djay"),
};

constexpr SourceEntry mixxxEntry{
    .raw = "mixxx",
    .name = "Mixxx",
    .choice = Text::both("Mixxx"),
    .offAir = "Ended",
    .privacyPane = "Privacy_AllFiles",
    .notAllowed = {"Not allowed to read Mixxx’s library (Privacy & Security › Full Disk Access)",
                   "Not allowed to read Mixxx’s library (check the permissions of "
                   "mixxxdb.sqlite)"},
    .notAnswering = Text::both("Mixxx isn’t open"),
    .connectedShort = "Reading",
    .notAllowedShort = Text::both("Not allowed to read Mixxx’s library"),
    .notAnsweringShort = Text::both("Mixxx isn’t open"),
    .noDecks = "Nothing playing in Mixxx.",
    .noDecksYet = "The song playing in Mixxx shows here once it’s open.",
    .help = {"Play from Mixxx on this Mac. Mixxx adds the song on air (by volume and "
             "crossfader) to its History; the bridge only reads the latest one from Mixxx’s "
             "library. macOS asks whether the bridge may use data from other apps: allow it, or "
             "give it Full Disk Access (Privacy & Security) so it isn’t asked again.",
             "Play from Mixxx on this computer. Mixxx adds the song on air (by volume and "
             "crossfader) to its History; the bridge only reads the latest one from Mixxx’s "
             "library (in ~/.mixxx, or in the Flatpak’s folder)."},
    .asked = Text::both("Mixxx"),
    .controlled = Text::both("Mixxx"),
};

constexpr SourceEntry whatsNowPlayingEntry{
    .raw = "whatsnowplaying",
    .name = "What’s Now Playing",
    .choice = Text::both("What’s Now Playing"),
    .offAir = "Ended",
    .notAllowed = Text::both("Not allowed to read What’s Now Playing"),
    .notAnswering = Text::both("What’s Now Playing isn’t open"),
    .connectedShort = "Reading",
    .notAllowedShort = Text::both("Not allowed to read What’s Now Playing"),
    .notAnsweringShort = Text::both("What’s Now Playing isn’t open"),
    .noDecks = "Nothing playing in What’s Now Playing.",
    .noDecksYet =
        "The song playing shows here once What’s Now Playing is open, with its web server on.",
    .help = Text::both("For Serato, Traktor, rekordbox, Engine DJ and others: run What’s Now "
                       "Playing (https://whatsnowplaying.github.io) on this computer, with the "
                       "program you play from. Leave its web server on (port 8899, as it "
                       "starts) and its Artist Extras off: the bridge asks it what plays every "
                       "2 seconds and doesn’t need its pictures."),
    .asked = Text::both("What’s Now Playing"),
    .controlled = Text::both("What’s Now Playing"),
    .tellsProgram = true,
};

constexpr SourceEntry denonEntry{
    .raw = "denon",
    .name = "Denon DJ",
    .choice = Text::both("Denon DJ"),
    .numbersDecks = true,
    .offAir = "Cued, private",
    .privacyPane = "Privacy_LocalNetwork",
    .notAllowed = {"Not allowed on the local network (Privacy & Security › Local Network)",
                   "Not allowed on the local network (a firewall must let UDP port 51337 "
                   "through)"},
    .notAnswering = {"No Denon player found (on the same network? Privacy & Security › Local "
                     "Network)",
                     "No Denon player found (on the same network? A firewall must let UDP port "
                     "51337 through)"},
    .connectedShort = "Reading",
    .notAllowedShort = Text::both("Not allowed on the local network"),
    .notAnsweringShort = Text::both("No Denon player found"),
    .noDecks = "No songs loaded on the players.",
    .noDecksYet = "The players’ decks show here once the bridge finds them on the network.",
    .help = {"Play from Denon DJ gear with Engine OS (PRIME, SC5000/SC6000, SC LIVE, MIXSTREAM "
             "PRO) on the same network as this Mac: both on the same router, by cable or Wi‑Fi. "
             "The bridge finds the players by itself and only listens: each deck’s song, "
             "whether it plays and how far its fader is up (a Denon mixer’s too). The first "
             "time, macOS asks whether the bridge may find devices on your local network: allow "
             "it (Privacy & Security › Local Network). The tempo comes from the player, the key "
             "from Setmara once the song is found.",
             "Play from Denon DJ gear with Engine OS (PRIME, SC5000/SC6000, SC LIVE, MIXSTREAM "
             "PRO) on the same network as this computer: both on the same router, by cable or "
             "Wi‑Fi. The bridge finds the players by itself and only listens: each deck’s song, "
             "whether it plays and how far its fader is up (a Denon mixer’s too). A firewall on "
             "this computer must let UDP port 51337 and the players’ connections through. The "
             "tempo comes from the player, the key from Setmara once the song is found."},
    .asked = Text::both("Denon DJ"),
    .controlled = Text::both("Denon DJ players"),
};

constexpr SourceEntry musicPlayerEntry{
    .raw = "musicplayer",
    .name = "Music player",
    .choice = Text::both("Music player"),
    .offAir = "Paused",
    .notAllowed =
        Text::both("Not allowed to ask {player} what plays (its media-player interface refused)"),
    .notAnswering = Text::both("{player} isn’t open"),
    .connectedShort = "Connected",
    .notAllowedShort = Text::both("Not allowed to read {player}"),
    .notAnsweringShort = Text::both("{player} isn’t open"),
    .noDecks = "Nothing playing in {player}",
    .noDecksYet = "{player} isn’t open",
    .help = Text::both("Play from a music player on this computer that shows its songs to the "
                       "desktop: Rhythmbox, Strawberry, Clementine, Audacious, Elisa, VLC and "
                       "others. Choose it here. The bridge asks it what plays once a second and "
                       "never controls it. Web browsers show up here too: choose one only if you "
                       "play from it."),
    .asked = {"", "a music player"},
    .controlled = {"", "music players"},
    .needs = SourceNeeds::player,
    .tellsProgram = true,
    .namedByPlayer = true,
};

constexpr SourceEntry proDJLinkEntry{
    .raw = "prodjlink",
    .name = "Pioneer DJ",
    .choice = Text::both("Pioneer DJ"),
    .numbersDecks = true,
    .offAir = "Cued, private",
    .privacyPane = "Privacy_LocalNetwork",
    .notAllowed = {"Not allowed on the local network (Privacy & Security › Local Network)",
                   "Not allowed on the local network (a firewall must let UDP ports "
                   "50000–50002 through)"},
    .notAnswering = {"No Pioneer DJ player found (on the same network? Privacy & Security › "
                     "Local Network)",
                     "No Pioneer DJ player found (on the same network? A firewall must let UDP "
                     "ports 50000–50002 through)"},
    .connectedShort = "Reading",
    .connectedOn = "Reading the players on {network}",
    .notAllowedShort = Text::both("Not allowed on the local network"),
    .notAnsweringShort = Text::both("No Pioneer DJ player found"),
    .noDecks = "No songs loaded on the players.",
    .noDecksYet = "The players’ decks show here once the bridge finds them on the network.",
    .help = {"Play from Pioneer DJ players (CDJ-3000, CDJ-2000NXS2, XDJ) and a DJM mixer on the "
             "same network as this Mac, with tracks exported by rekordbox to USB sticks or SD "
             "cards. The bridge finds the players by itself and only listens: each deck’s "
             "track, whether it plays, and whether the mixer has it on air (without a DJM "
             "mixer, a deck that plays counts as on air). It joins the network as a player "
             "numbered 7 or higher and never takes a player’s number. Titles and artists come "
             "from the rekordbox export on the medium; a track it can’t identify (not analysed "
             "by rekordbox, a CD, streaming, or played from rekordbox on a laptop) shows as "
             "“Unknown track” and isn’t shared. The first time, macOS asks whether the bridge "
             "may find devices on your local network: allow it (Privacy & Security › Local "
             "Network). The tempo comes from the player.",
             "Play from Pioneer DJ players (CDJ-3000, CDJ-2000NXS2, XDJ) and a DJM mixer on the "
             "same network as this computer, with tracks exported by rekordbox to USB sticks "
             "or SD cards. The bridge finds the players by itself and only listens: each "
             "deck’s track, whether it plays, and whether the mixer has it on air (without a "
             "DJM mixer, a deck that plays counts as on air). It joins the network as a player "
             "numbered 7 or higher and never takes a player’s number. Titles and artists come "
             "from the rekordbox export on the medium; a track it can’t identify (not analysed "
             "by rekordbox, a CD, streaming, or played from rekordbox on a laptop) shows as "
             "“Unknown track” and isn’t shared. A firewall on this computer must let UDP ports "
             "50000–50002 and the players’ file sharing (NFS) through. The tempo comes from "
             "the player."},
    .asked = {"", "Pioneer DJ"},
    .controlled = {"", "Pioneer DJ players"},
};

// In the order of Source::all, one for each case.
constexpr std::array<const SourceEntry*, Source::all.size()> entries{
    &virtualDJEntry,       &spotifyEntry, &djayEntry,        &mixxxEntry,
    &whatsNowPlayingEntry, &denonEntry,   &musicPlayerEntry, &proDJLinkEntry};

constexpr bool everyCaseHasItsEntry() {
    for (std::size_t i = 0; i < Source::all.size(); ++i) {
        if (static_cast<std::size_t>(Source::all[i]) != i || entries[i] == nullptr) {
            return false;
        }
    }
    return true;
}
static_assert(everyCaseHasItsEntry(), "Source::all lists every case in order, each with an entry");

// "a, b, c or d"; the sources this platform's words leave out are left out.
std::string listed(Text SourceEntry::*text) {
    std::vector<std::string_view> names;
    for (const SourceEntry* entry : entries) {
        if (const auto name = Wording::shown(entry->*text); !name.empty()) {
            names.push_back(name);
        }
    }
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        list += i == 0 ? "" : i + 1 == names.size() ? " or " : ", ";
        list += names[i];
    }
    return list;
}

// `text` with `value` in place of `mark`.
std::string filledIn(std::string_view text, std::string_view mark, std::string_view value) {
    std::string result(text);
    if (const auto at = result.find(mark); at != std::string::npos) {
        result.replace(at, mark.size(), value);
    }
    return result;
}

// `text` with the player's name in place of "{player}".
std::string named(std::string_view text, std::string_view player) {
    return filledIn(text, "{player}", player);
}

} // namespace

const SourceEntry& Source::entry() const {
    return *entries.at(static_cast<std::size_t>(value));
}

std::optional<Source> Source::fromRaw(std::string_view raw) {
    for (const Source source : all) {
        if (source.raw() == raw) {
            return source;
        }
    }
    return std::nullopt;
}

std::string_view Source::shownName(std::string_view player) const {
    return entry().namedByPlayer && !player.empty() ? player : name();
}

std::string Source::decksHeading(std::string_view player) const {
    return numbersDecks() ? "Decks" : "Playing in " + std::string(shownName(player));
}

std::string Source::status(SourceState state, bool setUp, const std::optional<std::string>& program,
                           std::string_view player) const {
    switch (state) {
    case SourceState::starting:
        return std::string(setUp ? connecting : notSetUp);
    case SourceState::connected:
        if (value == whatsNowPlaying && program) {
            return *program + ", through " + std::string(name());
        }
        return std::string(shownName(player));
    case SourceState::notAllowed:
        return named(Wording::shown(entry().notAllowed), shownName(player));
    case SourceState::notAnswering:
        return named(Wording::shown(entry().notAnswering), shownName(player));
    }
    return {};
}

std::string Source::statusLine(SourceState state, bool setUp,
                               const std::optional<std::string>& program,
                               std::string_view player) const {
    std::string line = status(state, setUp, program, player);
    if (state == SourceState::connected) {
        line += " connected";
    }
    return line;
}

std::string Source::shortStatus(SourceState state, bool setUp, std::string_view player,
                                const std::optional<std::string>& network) const {
    switch (state) {
    case SourceState::starting:
        return std::string(setUp ? connecting : notSetUp);
    case SourceState::connected:
        if (network && !entry().connectedOn.empty()) {
            return filledIn(entry().connectedOn, "{network}", *network);
        }
        return std::string(entry().connectedShort);
    case SourceState::notAllowed:
        return named(Wording::shown(entry().notAllowedShort), shownName(player));
    case SourceState::notAnswering:
        return named(Wording::shown(entry().notAnsweringShort), shownName(player));
    }
    return {};
}

std::string Source::noDecks(bool answering, std::string_view player) const {
    return named(answering ? entry().noDecks : entry().noDecksYet, shownName(player));
}

std::string Source::shareNote(int seconds) const {
    const std::string after = "A song is shared after " + std::to_string(seconds);
    return numbersDecks() ? after + " seconds on air. Pre-listening is never shared."
                          : after + " seconds of playing.";
}

std::string Source::asked() {
    return listed(&SourceEntry::asked);
}

std::string Source::controlled() {
    return listed(&SourceEntry::controlled);
}

} // namespace bridge
