#include "Values/Source.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace bridge {
namespace {

TEST(SourceTests, ReadsOnlyTheLowerCaseRawTexts) {
    for (const Source source : Source::all) {
        EXPECT_EQ(Source::fromRaw(source.raw()), source);
    }
    EXPECT_EQ(Source::fromRaw("whatsnowplaying"), Source::whatsNowPlaying);
    for (const char* raw :
         {"VirtualDJ", "", " spotify", "spotify ", "Denon", "djay2", "whats now playing"}) {
        EXPECT_FALSE(Source::fromRaw(raw).has_value()) << raw;
    }
}

TEST(SourceTests, ListsTheSourcesInOrder) {
    const std::vector<std::string_view> raws = {"virtualdj",   "spotify",         "djay",
                                                "mixxx",       "whatsnowplaying", "denon",
                                                "musicplayer", "prodjlink"};
    ASSERT_EQ(Source::all.size(), raws.size());
    for (std::size_t i = 0; i < raws.size(); ++i) {
        EXPECT_EQ(Source(Source::all[i]).raw(), raws[i]);
    }
}

TEST(SourceTests, NamesHeadingsAndLabels) {
    EXPECT_EQ(Source(Source::whatsNowPlaying).name(), "What’s Now Playing");
    EXPECT_EQ(Source(Source::denon).name(), "Denon DJ");
    EXPECT_EQ(Source(Source::virtualDJ).decksHeading(), "Decks");
    EXPECT_EQ(Source(Source::denon).decksHeading(), "Decks");
    EXPECT_EQ(Source(Source::spotify).decksHeading(), "Playing in Spotify");
    EXPECT_EQ(Source(Source::whatsNowPlaying).decksHeading(), "Playing in What’s Now Playing");
    EXPECT_TRUE(Source(Source::denon).numbersDecks());
    EXPECT_FALSE(Source(Source::mixxx).numbersDecks());
    EXPECT_EQ(Source(Source::virtualDJ).offAir(), "Cued, private");
    EXPECT_EQ(Source(Source::spotify).offAir(), "Paused");
    EXPECT_EQ(Source(Source::whatsNowPlaying).offAir(), "Ended");
    EXPECT_EQ(Source(Source::virtualDJ).privacyPane(), std::nullopt);
    EXPECT_EQ(Source(Source::whatsNowPlaying).privacyPane(), std::nullopt);
    EXPECT_EQ(Source(Source::djay).privacyPane(), "Privacy_FilesAndFolders");
    EXPECT_EQ(Source(Source::mixxx).privacyPane(), "Privacy_AllFiles");
    EXPECT_EQ(Source(Source::denon).privacyPane(), "Privacy_LocalNetwork");
    EXPECT_EQ(Source(Source::spotify).privacyPane(), "Privacy_Automation");
}

TEST(SourceTests, StartingDependsOnlyOnWhetherSetUp) {
    for (const Source source : Source::all) {
        EXPECT_EQ(source.status(SourceState::starting, true, std::nullopt), "Connecting…");
        EXPECT_EQ(source.status(SourceState::starting, false, std::nullopt), "Not set up");
        EXPECT_EQ(source.statusLine(SourceState::starting, false, "Traktor"), "Not set up");
        EXPECT_EQ(source.shortStatus(SourceState::starting, true), "Connecting…");
        EXPECT_EQ(source.shortStatus(SourceState::starting, false), "Not set up");
    }
}

TEST(SourceTests, ConnectedNamesTheProgramOnlyForWhatsNowPlaying) {
    const Source wnp = Source::whatsNowPlaying;
    EXPECT_EQ(wnp.status(SourceState::connected, true, std::nullopt), "What’s Now Playing");
    EXPECT_EQ(wnp.status(SourceState::connected, true, "Serato"),
              "Serato, through What’s Now Playing");
    EXPECT_EQ(wnp.statusLine(SourceState::connected, true, "Serato"),
              "Serato, through What’s Now Playing connected");
    EXPECT_EQ(Source(Source::mixxx).status(SourceState::connected, true, "Serato"), "Mixxx");
    EXPECT_EQ(Source(Source::virtualDJ).statusLine(SourceState::connected, true, std::nullopt),
              "VirtualDJ connected");
    EXPECT_EQ(Source(Source::virtualDJ).shortStatus(SourceState::connected, true), "Connected");
    EXPECT_EQ(Source(Source::denon).shortStatus(SourceState::connected, true), "Reading");
}

TEST(SourceTests, StatusLineAppendsConnectedOnlyWhenConnected) {
    for (const Source source : Source::all) {
        for (const auto state : {SourceState::notAllowed, SourceState::notAnswering}) {
            EXPECT_EQ(source.statusLine(state, true, "X"), source.status(state, true, "X"));
        }
        EXPECT_EQ(source.statusLine(SourceState::connected, true, std::nullopt),
                  source.status(SourceState::connected, true, std::nullopt) + " connected");
    }
}

struct Failures {
    Source source;
    const char* notAllowed;
    const char* notAnswering;
    const char* shortNotAllowed;
    const char* shortNotAnswering;
};

TEST(SourceTests, FailureTexts) {
    const Failures table[] = {
        {Source::virtualDJ, "Wrong VirtualDJ password", "VirtualDJ not answering", "Wrong password",
         "Not answering"},
        {Source::spotify,
         "Not allowed to ask Spotify what plays (its media-player interface refused)",
         "Spotify isn’t open", "Not allowed to read Spotify", "Spotify isn’t open"},
        {Source::djay, "Not allowed to read djay’s folder (check its permissions)",
         "djay isn’t open", "Not allowed to read djay’s folder", "djay isn’t open"},
        {Source::mixxx,
         "Not allowed to read Mixxx’s library (check the permissions of mixxxdb.sqlite)",
         "Mixxx isn’t open", "Not allowed to read Mixxx’s library", "Mixxx isn’t open"},
        {Source::whatsNowPlaying, "Not allowed to read What’s Now Playing",
         "What’s Now Playing isn’t open", "Not allowed to read What’s Now Playing",
         "What’s Now Playing isn’t open"},
        {Source::denon,
         "Not allowed on the local network (a firewall must let UDP port 51337 through)",
         "No Denon player found (on the same network? A firewall must let UDP port 51337 "
         "through)",
         "Not allowed on the local network", "No Denon player found"},
        {Source::proDJLink,
         "Not allowed on the local network (a firewall must let UDP ports 50000–50002 through)",
         "No Pioneer DJ player found (on the same network? A firewall must let UDP ports "
         "50000–50002 through)",
         "Not allowed on the local network", "No Pioneer DJ player found"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::string(row.source.raw()));
        EXPECT_EQ(row.source.status(SourceState::notAllowed, true, std::nullopt), row.notAllowed);
        EXPECT_EQ(row.source.status(SourceState::notAnswering, true, std::nullopt),
                  row.notAnswering);
        EXPECT_EQ(row.source.shortStatus(SourceState::notAllowed, true), row.shortNotAllowed);
        EXPECT_EQ(row.source.shortStatus(SourceState::notAnswering, true), row.shortNotAnswering);
    }
}

TEST(SourceTests, EmptyDeckListPlaceholders) {
    EXPECT_EQ(Source(Source::virtualDJ).noDecks(true), "No songs loaded.");
    EXPECT_EQ(Source(Source::virtualDJ).noDecks(false),
              "VirtualDJ’s decks show here once it answers.");
    EXPECT_EQ(Source(Source::spotify).noDecks(false),
              "The song playing in Spotify shows here once it’s open.");
    EXPECT_EQ(Source(Source::djay).noDecks(true), "Nothing playing in djay.");
    EXPECT_EQ(Source(Source::mixxx).noDecks(false),
              "The song playing in Mixxx shows here once it’s open.");
    EXPECT_EQ(Source(Source::whatsNowPlaying).noDecks(true),
              "Nothing playing in What’s Now Playing.");
    EXPECT_EQ(
        Source(Source::whatsNowPlaying).noDecks(false),
        "The song playing shows here once What’s Now Playing is open, with its web server on.");
    EXPECT_EQ(Source(Source::denon).noDecks(true), "No songs loaded on the players.");
    EXPECT_EQ(Source(Source::denon).noDecks(false),
              "The players’ decks show here once the bridge finds them on the network.");
}

// A source's texts differ between the columns only where the Mac has its own words.
TEST(SourceTests, EveryTwoColumnTextNamesTheMacOnItsMacSide) {
    constexpr std::array<std::string_view, 6> macWords{"this Mac", "This Mac", "macOS",
                                                       "Keychain", "keychain", "Privacy & "};
    const auto namesTheMac = [&](std::string_view text) {
        return std::any_of(macWords.begin(), macWords.end(), [&](std::string_view word) {
            return text.find(word) != std::string_view::npos;
        });
    };
    for (const Source source : Source::all) {
        const SourceEntry& entry = source.entry();
        for (const Wording::Text* text :
             {&entry.choice, &entry.notAllowed, &entry.notAnswering, &entry.notAllowedShort,
              &entry.notAnsweringShort, &entry.help, &entry.asked, &entry.controlled}) {
            SCOPED_TRACE(std::string(text->mac));
            EXPECT_FALSE(namesTheMac(text->otherwise)) << text->otherwise;
            // An empty Mac column leaves a source the Mac does not have out of its lists.
            if (text->mac != text->otherwise && !text->mac.empty()) {
                EXPECT_TRUE(namesTheMac(text->mac));
            }
        }
    }
}

TEST(SourceTests, ListsOfEverySourceForTheSetupAndTheSourcePane) {
    // Music players and Pioneer DJ are named in this platform's words only; the Mac's lists
    // stay six.
    EXPECT_EQ(Source::asked(),
              "VirtualDJ (its Network Control port and password), the Spotify app, djay, Mixxx, "
              "What’s Now Playing, Denon DJ, a music player or Pioneer DJ");
    EXPECT_EQ(Source::controlled(), "VirtualDJ, Spotify, djay, Mixxx, What’s Now Playing, Denon "
                                    "DJ players, music players or Pioneer DJ players");
}

TEST(SourceTests, PioneerDJIsReadLikeDenonAndSaysWhereItFoundThePlayers) {
    const Source pioneer = Source::proDJLink;
    EXPECT_EQ(pioneer.raw(), "prodjlink");
    EXPECT_EQ(pioneer.name(), "Pioneer DJ");
    EXPECT_EQ(pioneer.choice(), "Pioneer DJ");
    EXPECT_TRUE(pioneer.numbersDecks());
    EXPECT_EQ(pioneer.offAir(), "Cued, private");
    EXPECT_EQ(pioneer.decksHeading(), "Decks");
    EXPECT_FALSE(pioneer.tellsProgram());
    EXPECT_EQ(pioneer.shortStatus(SourceState::connected, true, {}, "eth0, 192.168.1.20"),
              "Reading the players on eth0, 192.168.1.20");
    EXPECT_EQ(pioneer.shortStatus(SourceState::connected, true), "Reading");
    // Other sources on the network keep their words.
    EXPECT_EQ(Source(Source::denon).shortStatus(SourceState::connected, true, {}, "eth0, 10.0.0.2"),
              "Reading");
    EXPECT_EQ(pioneer.noDecks(true), "No songs loaded on the players.");
    const std::string help(Wording::shown(pioneer.entry().help));
    for (const char* told :
         {"only listens", "without a DJM mixer, a deck that plays counts as on air",
          "“Unknown track”", "never takes a player’s number", "UDP ports 50000–50002"}) {
        EXPECT_NE(help.find(told), std::string::npos) << told;
    }
}

TEST(SourceTests, TheMusicPlayerIsNamedByThePlayerChosen) {
    const Source music = Source::musicPlayer;
    EXPECT_EQ(music.raw(), "musicplayer");
    EXPECT_EQ(music.name(), "Music player");
    EXPECT_EQ(music.choice(), "Music player");
    EXPECT_FALSE(music.numbersDecks());
    EXPECT_EQ(music.offAir(), "Paused");
    EXPECT_TRUE(music.tellsProgram());
    EXPECT_EQ(music.statusLine(SourceState::connected, true, "Ignored", "Rhythmbox"),
              "Rhythmbox connected");
    EXPECT_EQ(music.shortStatus(SourceState::connected, true, "Rhythmbox"), "Connected");
    EXPECT_EQ(music.status(SourceState::notAnswering, true, std::nullopt, "Rhythmbox"),
              "Rhythmbox isn’t open");
    EXPECT_EQ(music.shortStatus(SourceState::notAnswering, true, "VLC media player"),
              "VLC media player isn’t open");
    EXPECT_EQ(music.decksHeading("Audacious"), "Playing in Audacious");
    EXPECT_EQ(music.noDecks(true, "Audacious"), "Nothing playing in Audacious");
    EXPECT_EQ(music.noDecks(false, "Audacious"), "Audacious isn’t open");
    EXPECT_EQ(music.status(SourceState::notAllowed, true, std::nullopt, "mpv"),
              "Not allowed to ask mpv what plays (its media-player interface refused)");
    // Before a player is chosen it is the music player; other sources ignore a player.
    EXPECT_EQ(music.decksHeading(), "Playing in Music player");
    EXPECT_EQ(music.status(SourceState::notAnswering, true, std::nullopt),
              "Music player isn’t open");
    EXPECT_EQ(Source(Source::spotify).decksHeading("Rhythmbox"), "Playing in Spotify");
    EXPECT_EQ(Source(Source::mixxx).noDecks(true, "Rhythmbox"), "Nothing playing in Mixxx.");
    EXPECT_EQ(music.shareNote(10), "A song is shared after 10 seconds of playing.");
}

TEST(SourceTests, ShareNoteSaysOnAirForMultiDeckSources) {
    EXPECT_EQ(Source(Source::virtualDJ).shareNote(10),
              "A song is shared after 10 seconds on air. Pre-listening is never shared.");
    EXPECT_EQ(Source(Source::denon).shareNote(120),
              "A song is shared after 120 seconds on air. Pre-listening is never shared.");
    EXPECT_EQ(Source(Source::spotify).shareNote(45),
              "A song is shared after 45 seconds of playing.");
}

TEST(SourceTests, ToneOfEachState) {
    EXPECT_EQ(tone(SourceState::connected), Tone::ok);
    EXPECT_EQ(tone(SourceState::starting), Tone::waiting);
    EXPECT_EQ(tone(SourceState::notAllowed), Tone::warning);
    EXPECT_EQ(tone(SourceState::notAnswering), Tone::warning);
}

} // namespace
} // namespace bridge
