#include "Engine/BridgeStatus.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

Gig gig(bool sharing = true, std::optional<std::string> venue = "Salsa Club") {
    return Gig{.id = 7,
               .slug = "friday",
               .name = "Friday Social",
               .venue = std::move(venue),
               .sharing = sharing,
               .url = "https://setmara.app/g/friday"};
}

BridgeStatus live() {
    BridgeStatus status;
    status.server = BridgeStatus::Server::connected;
    status.gig = gig();
    return status;
}

TEST(BridgeStatusTests, StartsAsGiven) {
    const BridgeStatus status;
    EXPECT_EQ(status.source, SourceState::starting);
    EXPECT_EQ(status.server, BridgeStatus::Server::starting);
    EXPECT_TRUE(status.sharing);
    EXPECT_FALSE(status.paused);
    EXPECT_FALSE(status.isLive());
}

TEST(BridgeStatusTests, LiveNeedsEveryCondition) {
    EXPECT_TRUE(live().isLive());
    auto noGig = live();
    noGig.gig.reset();
    EXPECT_FALSE(noGig.isLive());
    auto gigNotSharing = live();
    gigNotSharing.gig->sharing = false;
    EXPECT_FALSE(gigNotSharing.isLive());
    auto notSharing = live();
    notSharing.sharing = false;
    EXPECT_FALSE(notSharing.isLive());
    auto paused = live();
    paused.paused = true;
    EXPECT_FALSE(paused.isLive());
    auto offline = live();
    offline.server = BridgeStatus::Server::offline;
    EXPECT_FALSE(offline.isLive());
}

TEST(BridgeStatusTests, GigTitleLeavesOutWhatIsMissing) {
    BridgeStatus status;
    EXPECT_EQ(status.gigTitle(), "No live gig");
    status.gig = gig();
    EXPECT_EQ(status.gigTitle(), "Friday Social · Salsa Club");
    status.gig = gig(true, "");
    EXPECT_EQ(status.gigTitle(), "Friday Social");
    status.gig = gig(true, std::nullopt);
    EXPECT_EQ(status.gigTitle(), "Friday Social");
    status.gig->name = "";
    EXPECT_EQ(status.gigTitle(), "");
    status.gig->venue = "Hall";
    EXPECT_EQ(status.gigTitle(), "Hall");
}

TEST(BridgeStatusTests, GigLineForEveryServerState) {
    using Server = BridgeStatus::Server;
    auto line = [](Server server) {
        BridgeStatus status;
        status.server = std::move(server);
        return status.gigLine();
    };
    EXPECT_EQ(line(Server::starting), "Connecting…");
    EXPECT_EQ(line(Server::offline),
              "Offline: songs wait here and go when the connection is back.");
    EXPECT_EQ(line(Server::badKey),
              "The bridge’s key doesn’t work. Pair it again: ⋯ › Pair with a Code…");
    EXPECT_EQ(line(Server::noGig), "Start one in Setmara: Gigs › Go live.");
    EXPECT_EQ(line(Server::gigEnded),
              "The gig has ended; songs aren’t kept. Start a new one in Setmara: Gigs › Go live.");
    EXPECT_EQ(line(Server::refused("Gig is full: 500 songs.")), "Gig is full: 500 songs.");
    EXPECT_EQ(line(Server::connected), "Live · sharing with dancers");
}

TEST(BridgeStatusTests, ConnectedLineWeighsPauseThenGigThenSharing) {
    auto status = live();
    EXPECT_EQ(status.gigLine(), "Live · sharing with dancers");
    status.sharing = false;
    EXPECT_EQ(status.gigLine(), "Live · paused: songs are hidden from dancers");
    status.gig->sharing = false;
    EXPECT_EQ(status.gigLine(), "Live · sharing paused in Setmara: dancers don’t see the gig. "
                                "Continue sharing in Gigs › ⋯.");
    status.paused = true;
    EXPECT_EQ(status.gigLine(), "Paused in Setmara: the server doesn’t take this bridge’s songs. "
                                "Resume it in Gigs › Bridges.");
}

TEST(BridgeStatusTests, RefusedServersCompareByMessage) {
    using Server = BridgeStatus::Server;
    EXPECT_EQ(Server::refused("a"), Server::refused("a"));
    EXPECT_NE(Server::refused("a"), Server::refused("b"));
    EXPECT_NE(Server::refused(""), Server::offline);
    EXPECT_EQ(Server::refused("a").kind(), Server::Kind::refused);
}

TEST(BridgeStatusTests, RowDetails) {
    DeckRow row{.deck = 1, .title = "T"};
    EXPECT_EQ(row.details(), "");
    row.key = "8A";
    EXPECT_EQ(row.details(), "8A");
    row.bpm = 127.5;
    EXPECT_EQ(row.details(), "128 BPM · 8A");
    row.artist = "Artist";
    EXPECT_EQ(row.details(), "Artist · 128 BPM · 8A");
    row.bpm = 0;
    EXPECT_EQ(row.details(), "Artist · 8A");
    row.bpm = 400.5;
    EXPECT_EQ(row.details(), "Artist · 8A");
    row.bpm = 400;
    EXPECT_EQ(row.details(), "Artist · 400 BPM · 8A");
    row.bpm.reset();
    row.artist = ""; // an empty text is still there
    EXPECT_EQ(row.details(), " · 8A");
}

TEST(BridgeStatusTests, ScreenLinkOfTheGig) {
    auto g = gig();
    EXPECT_EQ(g.screen(), "https://setmara.app/g/friday/screen");
    g.url = "https://setmara.app/g/friday/";
    EXPECT_EQ(g.screen(), "https://setmara.app/g/friday/screen");
    g.url = "https://setmara.app/g/friday?lang=es";
    EXPECT_EQ(g.screen(), "https://setmara.app/g/friday/screen?lang=es");
    g.screenUrl = "https://screen.setmara.app/friday";
    EXPECT_EQ(g.screen(), "https://screen.setmara.app/friday");
}

} // namespace
} // namespace bridge
