// The players and the mixer as decks, from packets as the network hands them over.
#include "ProDJLink/ProDJLinkDecks.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

using namespace ProDJLink;

const Instant start = instantFromReferenceSeconds(800'000'000);
const ProDJLinkNetwork::Interface eth0{"eth0", "192.168.1.20", "192.168.1.255", {}};

const ExportTrack poema{
    .id = 7, .title = "Poema", .artist = "Francisco Canaro", .lengthSeconds = 190};

// A player with a rekordbox track from its own USB stick loaded.
PlayerStatus player(int number, std::uint32_t id = 7, PlayState state = PlayState::playing,
                    bool onAir = false) {
    PlayerStatus status{.name = "CDJ-2000nexus", .number = number};
    status.trackPlayer = number;
    status.trackSlot = Slot::usb;
    status.trackType = TrackType::rekordbox;
    status.rekordboxId = id;
    status.playState = state;
    status.flags.playing = state == PlayState::playing;
    status.flags.onAir = onAir;
    status.bpm = 120;
    return status;
}

class ProDJLinkDecksTest : public ::testing::Test {
protected:
    void hear(Packet packet, std::string from, Seconds after = Seconds{0}) {
        decks.note({std::move(packet), std::move(from), eth0}, start + after);
    }

    void hearPlayer(const PlayerStatus& status, Seconds after = Seconds{0}) {
        hear(status, "192.168.1.10" + std::to_string(status.number), after);
    }

    void hearMixer(Seconds after = Seconds{0}) {
        hear(KeepAlive{.name = "DJM-900NXS2",
                       .number = 33,
                       .kind = DeviceKind::mixer,
                       .address = "192.168.1.133"},
             "192.168.1.133", after);
    }

    // The export knows the tracks in `known`; media not yet read are pending.
    VDJSnapshot snapshot(Seconds after = Seconds{0}) const {
        return decks.snapshot(start + after,
                              [&](Medium medium, std::uint32_t id, std::uint64_t load) {
                                  lookups.push_back({medium, id});
                                  loadsLookedUp.push_back(load);
                                  if (pending) {
                                      return Lookup{};
                                  }
                                  return id == poema.id ? Lookup{Lookup::State::found, &poema}
                                                        : Lookup{Lookup::State::unknown};
                              });
    }

    ProDJLinkDecks decks;
    bool pending = false;
    mutable std::vector<std::pair<Medium, std::uint32_t>> lookups;
    mutable std::vector<std::uint64_t> loadsLookedUp;
};

TEST_F(ProDJLinkDecksTest, WithoutAMixerAPlayingDeckIsOnAirAndAPausedOneIsNot) {
    hearPlayer(player(1));
    hearPlayer(player(2, 7, PlayState::paused));
    const auto shown = snapshot();
    ASSERT_EQ(shown.decks.size(), 2u);
    EXPECT_EQ(shown.decks[0].deck, 1);
    EXPECT_TRUE(shown.decks[0].audible);
    ASSERT_TRUE(shown.decks[0].song);
    EXPECT_EQ(shown.decks[0].song->title, "Poema");
    EXPECT_EQ(shown.decks[0].song->artist, "Francisco Canaro");
    EXPECT_EQ(shown.decks[0].song->lengthSeconds, 190);
    EXPECT_EQ(shown.decks[0].song->bpm, 120);
    EXPECT_EQ(shown.decks[1].deck, 2);
    EXPECT_TRUE(shown.decks[1].loaded);
    EXPECT_FALSE(shown.decks[1].audible);
    EXPECT_EQ(shown.network, "eth0, 192.168.1.20");
}

TEST_F(ProDJLinkDecksTest, WithAMixerOnlyTheChannelsOnAirCountAndPreListeningNever) {
    hearMixer();
    hearPlayer(player(1, 7, PlayState::playing, true));
    hearPlayer(player(2, 7, PlayState::playing, false)); // pre-listening on a cued channel
    hearPlayer(player(3, 7, PlayState::looping, true));
    hearPlayer(player(4, 7, PlayState::cued, true));
    const auto shown = snapshot();
    ASSERT_EQ(shown.decks.size(), 4u);
    EXPECT_TRUE(shown.decks[0].audible);
    EXPECT_FALSE(shown.decks[1].audible);
    EXPECT_TRUE(shown.decks[2].audible) << "a loop plays on";
    EXPECT_FALSE(shown.decks[3].audible) << "cued, not playing";

    // The mixer unplugged: playing decks count again once it has been unheard for a while.
    EXPECT_FALSE(snapshot(Seconds{3}).decks[1].audible);
    hearPlayer(player(2, 7, PlayState::playing, false), Seconds{5});
    const auto later = snapshot(Seconds{5});
    ASSERT_EQ(later.decks.size(), 1u) << "the others went silent too";
    EXPECT_TRUE(later.decks[0].audible);
}

TEST_F(ProDJLinkDecksTest, TheMixersOnAirPacketsAloneTellItIsThere) {
    hear(ChannelsOnAir{.name = "DJM-2000nexus", .number = 33, .channels = {true}}, "192.168.1.133");
    hearPlayer(player(1, 7, PlayState::playing, false));
    EXPECT_FALSE(snapshot().decks[0].audible);
}

TEST_F(ProDJLinkDecksTest, ATrackNotIdentifiedShowsAsUnknownAndNeverCounts) {
    hearPlayer(player(1, 99)); // not in the export
    auto cd = player(2);
    cd.trackType = TrackType::cd;
    cd.trackSlot = Slot::cd;
    hearPlayer(cd);
    auto unanalysed = player(3);
    unanalysed.trackType = TrackType::unanalysed;
    hearPlayer(unanalysed);
    auto fromLaptop = player(4);
    fromLaptop.trackPlayer = 17; // rekordbox's collection on a computer
    fromLaptop.trackSlot = Slot::collection;
    hearPlayer(fromLaptop);
    const auto shown = snapshot();
    ASSERT_EQ(shown.decks.size(), 4u);
    for (const auto& deck : shown.decks) {
        SCOPED_TRACE(deck.deck);
        ASSERT_TRUE(deck.song);
        EXPECT_EQ(deck.song->title, "Unknown track");
        EXPECT_FALSE(deck.song->filePath);
        EXPECT_FALSE(deck.audible);
    }
    ASSERT_EQ(lookups.size(), 1u) << "only the rekordbox track on a player's medium is looked up";
    EXPECT_EQ(lookups[0].first, (Medium{1, MediaSlot::usb}));
}

TEST_F(ProDJLinkDecksTest, WhileTheExportIsReadTheDeckShowsNoSong) {
    pending = true;
    hearPlayer(player(1));
    const auto shown = snapshot();
    ASSERT_EQ(shown.decks.size(), 1u);
    EXPECT_TRUE(shown.decks[0].loaded);
    EXPECT_FALSE(shown.decks[0].song);
    EXPECT_FALSE(shown.decks[0].audible);
}

TEST_F(ProDJLinkDecksTest, ATrackFromAnotherPlayersMediumIsLookedUpThere) {
    auto linked = player(2);
    linked.trackPlayer = 1;
    linked.trackSlot = Slot::sd;
    hearPlayer(linked);
    hearPlayer(player(1, 7, PlayState::empty));
    auto media = decks.mediaInUse(start);
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media.begin()->first, (Medium{1, MediaSlot::sd}));
    EXPECT_EQ(decks.addressOf(1), "192.168.1.101");
    snapshot();
    ASSERT_EQ(lookups.size(), 1u) << "an empty deck looks nothing up";
    EXPECT_EQ(lookups[0].first, (Medium{1, MediaSlot::sd}));
}

TEST_F(ProDJLinkDecksTest, EveryNewLoadFromAMediumIsCountedEvenOfTheSameTrack) {
    const Medium stick{1, MediaSlot::usb};
    const auto loads = [&] { return decks.mediaInUse(start).at(stick); };
    hearPlayer(player(1, 7));
    EXPECT_EQ(loads(), 1u);
    hearPlayer(player(1, 7, PlayState::paused));
    EXPECT_EQ(loads(), 1u) << "the same load, paused";
    auto linked = player(2, 7);
    linked.trackPlayer = 1;
    hearPlayer(linked);
    EXPECT_EQ(loads(), 2u) << "another player loads from the same stick";
    hearPlayer(player(1, 8));
    EXPECT_EQ(loads(), 3u);
    hearPlayer(player(1, 8, PlayState::empty)); // the stick is pulled out
    hearPlayer(player(1, 8));
    EXPECT_EQ(loads(), 4u) << "the same number from another stick";
    // Each deck is looked up with the load that brought its track.
    snapshot();
    EXPECT_EQ(loadsLookedUp, (std::vector<std::uint64_t>{4, 2}));
}

TEST_F(ProDJLinkDecksTest, APlayerSilentForFourSecondsIsGoneWithItsMedia) {
    hearPlayer(player(1));
    hearPlayer(player(2), Seconds{2});
    EXPECT_TRUE(decks.anyPlayer(start + Seconds{3.9}));
    EXPECT_EQ(snapshot(Seconds{3.9}).decks.size(), 2u);
    const auto later = snapshot(Seconds{4});
    ASSERT_EQ(later.decks.size(), 1u);
    EXPECT_EQ(later.decks[0].deck, 2);
    EXPECT_FALSE(decks.heard(1, start + Seconds{4}));
    EXPECT_EQ(decks.mediaInUse(start + Seconds{4}).begin()->first.player, 2);
    EXPECT_FALSE(decks.anyPlayer(start + Seconds{6}));
}

TEST_F(ProDJLinkDecksTest, PlayersKeptAliveAreFoundBeforeTheirStatusComes) {
    hear(KeepAlive{.name = "XDJ-1000MK2",
                   .number = 2,
                   .kind = DeviceKind::player,
                   .address = "192.168.1.102"},
         "192.168.1.102");
    hear(KeepAlive{.name = "Setmara Bridge",
                   .number = 7,
                   .kind = DeviceKind::player,
                   .address = "192.168.1.20"},
         "192.168.1.20", Seconds{5});
    EXPECT_TRUE(decks.anyPlayer(start + Seconds{3}));
    EXPECT_TRUE(snapshot(Seconds{3}).decks.empty()) << "no deck without its status";
    EXPECT_EQ(snapshot(Seconds{3}).network, "eth0, 192.168.1.20");
    EXPECT_FALSE(decks.anyPlayer(start + Seconds{5})) << "the bridge's own number is no player";
}

TEST_F(ProDJLinkDecksTest, OnlyPlayersMakeDecksAndTheMasterSettlesTies) {
    auto master = player(2);
    master.flags.master = true;
    hearPlayer(player(1));
    hearPlayer(master);
    auto notAPlayer = player(17);
    hearPlayer(notAPlayer);
    const auto shown = snapshot();
    ASSERT_EQ(shown.decks.size(), 2u);
    EXPECT_EQ(shown.masterDeck, 2);
}

TEST_F(ProDJLinkDecksTest, TheSongsFileNamesItsArtistAndTitle) {
    hearPlayer(player(1));
    hearPlayer(player(2));
    const auto shown = snapshot();
    ASSERT_TRUE(shown.decks[0].song->filePath);
    // The same track on two decks is the same song.
    EXPECT_EQ(shown.decks[0].song->filePath, shown.decks[1].song->filePath);
}

} // namespace
} // namespace bridge
