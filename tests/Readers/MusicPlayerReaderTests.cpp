#include "Engine/PlayDetector.hpp"
#include "PlayQueue/QueueTesting.hpp"
#include "Readers/MusicPlayerReader.hpp"
#include "ReadersTesting.hpp"
#include "Values/FileKey.hpp"
#include "Values/SourceError.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace bridge {
namespace {

using Metadata = MediaPlayerState::Metadata;

// The bus as the test sets it: the instances running, or a failure.
class ScriptedPlayers : public MediaPlayers {
public:
    boost::asio::awaitable<std::vector<MediaPlayerInstance>>
    instances(std::string player) override {
        asked.push_back(player);
        if (failure) {
            std::rethrow_exception(failure);
        }
        co_return running;
    }
    boost::asio::awaitable<std::optional<MediaPlayerState>> player(std::string) override {
        throw std::logic_error("the music player reads every instance");
    }

    std::vector<MediaPlayerInstance> running;
    std::exception_ptr failure;
    std::vector<std::string> asked;
};

MediaPlayerState playing(Metadata metadata, std::string status = "Playing",
                         std::optional<double> volume = 1.0) {
    return {.playbackStatus = std::move(status), .volume = volume, .metadata = std::move(metadata)};
}

Metadata song(std::string title, std::vector<std::string> artists = {"Canaro"}) {
    return {.trackId = "/0",
            .title = std::move(title),
            .artists = std::move(artists),
            .url = "file:///music/Tango/Poema.flac",
            .lengthMicroseconds = 180'500'000};
}

struct Fixture {
    std::shared_ptr<ScriptedPlayers> players = std::make_shared<ScriptedPlayers>();
    MusicPlayerReader reader{players, "org.mpris.MediaPlayer2.rhythmbox", "Rhythmbox"};

    VDJSnapshot read(std::vector<MediaPlayerState> states) {
        players->running.clear();
        for (std::size_t i = 0; i < states.size(); ++i) {
            players->running.push_back(
                {.busName = "org.mpris.MediaPlayer2.rhythmbox" +
                            (i == 0 ? std::string() : ".instance" + std::to_string(i)),
                 .state = std::move(states[i])});
        }
        return testing::readOnce(reader);
    }
    std::optional<Song> songOf(MediaPlayerState state) {
        return read({std::move(state)}).decks.at(0).song;
    }
    SourceError failure() {
        try {
            testing::readOnce(reader);
        } catch (const SourceError& error) {
            return error;
        }
        throw std::logic_error("the read did not fail");
    }
};

TEST(MusicPlayerReaderTests, APlayingSongIsOnAirInTheChosenPlayer) {
    Fixture f;
    const auto snapshot = f.read({playing(song("Poema", {"Francisco Canaro", "Roberto Maida"}))});
    EXPECT_EQ(snapshot, VDJSnapshot::oneDeck(Song{.filePath = "file:///music/Tango/Poema.flac",
                                                  .title = "Poema",
                                                  .artist = "Francisco Canaro, Roberto Maida",
                                                  .lengthSeconds = 180.5},
                                             true, "Rhythmbox"));
    EXPECT_EQ(f.players->asked, std::vector<std::string>{"org.mpris.MediaPlayer2.rhythmbox"});
    // A local file leaves the computer as its key, as Mixxx's and djay's do.
    EXPECT_EQ(FileKey::of(*snapshot.decks[0].song->filePath).rfind("sha256:", 0), 0u);
}

TEST(MusicPlayerReaderTests, PausedStoppedAndMutedAreNotHeard) {
    Fixture f;
    for (const auto& state : {playing(song("Poema"), "Paused"), playing(song("Poema"), "Stopped"),
                              playing(song("Poema"), "Playing", 0.0)}) {
        const auto deck = f.read({state}).decks.at(0);
        EXPECT_TRUE(deck.loaded) << *state.playbackStatus;
        EXPECT_FALSE(deck.audible) << *state.playbackStatus;
    }
    // A player that says nothing of its volume is heard.
    EXPECT_TRUE(f.read({playing(song("Poema"), "Playing", std::nullopt)}).decks.at(0).audible);
    // Stopped without anything to play: an empty deck.
    const auto empty = f.read({MediaPlayerState{.playbackStatus = "Stopped"}});
    EXPECT_EQ(empty, VDJSnapshot::oneDeck(std::nullopt, false, "Rhythmbox"));
}

TEST(MusicPlayerReaderTests, TheSongsIdentityIsItsUrlElseTheTrackIdButNeverNoTrack) {
    Fixture f;
    auto metadata = song("Danza Maligna");
    metadata.url = "https://radio.example/stream?id=Ünïcode track 7";
    EXPECT_EQ(f.songOf(playing(metadata))->filePath,
              "https://radio.example/stream?id=Ünïcode track 7");
    metadata.url.reset();
    metadata.trackId = "/org/mpris/MediaPlayer2/Track/42";
    EXPECT_EQ(f.songOf(playing(metadata))->filePath, "/org/mpris/MediaPlayer2/Track/42");
    metadata.trackId = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
    EXPECT_EQ(f.songOf(playing(metadata))->filePath, std::nullopt);
    metadata.url = "  ";
    EXPECT_EQ(f.songOf(playing(metadata))->filePath, std::nullopt);
}

TEST(MusicPlayerReaderTests, TextsAreTrimmedAndAnEmptyTitleIsNoSong) {
    Fixture f;
    auto metadata = song("  Poema \n", {" ", " Canaro ", "", "Maida"});
    metadata.lengthMicroseconds.reset();
    const auto found = f.songOf(playing(metadata));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->title, "Poema");
    EXPECT_EQ(found->artist, "Canaro, Maida");
    EXPECT_EQ(found->lengthSeconds, std::nullopt);
    metadata.artists = std::vector<std::string>{};
    EXPECT_EQ(f.songOf(playing(metadata))->artist, std::nullopt);
    for (const std::optional<std::string>& title :
         {std::optional<std::string>(" \t"), std::optional<std::string>()}) {
        metadata.title = title;
        const auto deck = f.read({playing(metadata)}).decks.at(0);
        EXPECT_FALSE(deck.loaded);
        EXPECT_FALSE(deck.audible) << "nothing to hear without a song";
    }
}

TEST(MusicPlayerReaderTests, OfSeveralInstancesTheOneHeardCounts) {
    Fixture f;
    const auto heard = f.read({playing(song("Paused here"), "Paused"), playing(song("Heard here")),
                               playing({}, "Stopped")});
    EXPECT_EQ(heard.decks.at(0).song->title, "Heard here");
    EXPECT_TRUE(heard.decks.at(0).audible);
    const auto loaded = f.read({playing({}, "Stopped"), playing(song("Paused there"), "Paused")});
    EXPECT_EQ(loaded.decks.at(0).song->title, "Paused there");
}

TEST(MusicPlayerReaderTests, APlayerThatIsNotRunningOrFailsIsNotAnswering) {
    Fixture f;
    f.players->running.clear();
    EXPECT_EQ(f.failure(), SourceError::notAnswering);
    f.players->failure = std::make_exception_ptr(SourceError::notAllowed);
    EXPECT_EQ(f.failure(), SourceError::notAllowed);
    f.players->failure = std::make_exception_ptr(std::runtime_error("bus gone"));
    EXPECT_EQ(f.failure(), SourceError::notAnswering);
}

TEST(MusicPlayerReaderTests, ASongPlayedForTheShareDelayCountsOnce) {
    Fixture f;
    PlayDetector detector(Seconds{10});
    std::vector<PlayEvent> plays;
    for (int second = 0; second <= 12; ++second) {
        const auto snapshot = f.read({playing(song("Poema"))});
        for (auto& play : detector.observe(snapshot, testing::at(second))) {
            plays.push_back(std::move(play));
        }
    }
    ASSERT_EQ(plays.size(), 1u);
    EXPECT_EQ(plays[0].title, "Poema");
    EXPECT_EQ(plays[0].artist, "Canaro");
}

TEST(MprisNameTests, InstancesAreThePlayerWithASuffix) {
    EXPECT_EQ(MprisName::withoutInstance("org.mpris.MediaPlayer2.chromium.instance4242"),
              "org.mpris.MediaPlayer2.chromium");
    EXPECT_EQ(MprisName::withoutInstance("org.mpris.MediaPlayer2.vlc"),
              "org.mpris.MediaPlayer2.vlc");
    // Only digits after ".instance" make an instance.
    EXPECT_EQ(MprisName::withoutInstance("org.mpris.MediaPlayer2.vlc.instancex"),
              "org.mpris.MediaPlayer2.vlc.instancex");
    EXPECT_EQ(MprisName::withoutInstance("org.mpris.MediaPlayer2.instance7"),
              "org.mpris.MediaPlayer2.instance7");
    EXPECT_TRUE(MprisName::isOf("org.mpris.MediaPlayer2.vlc", "org.mpris.MediaPlayer2.vlc"));
    EXPECT_TRUE(
        MprisName::isOf("org.mpris.MediaPlayer2.vlc.instance12", "org.mpris.MediaPlayer2.vlc"));
    EXPECT_FALSE(MprisName::isOf("org.mpris.MediaPlayer2.vlcx", "org.mpris.MediaPlayer2.vlc"));
    EXPECT_FALSE(MprisName::isOf("org.mpris.MediaPlayer2.vlc.extra", "org.mpris.MediaPlayer2.vlc"));
    EXPECT_FALSE(MprisName::isOf("org.example.vlc", "org.example.vlc"));
}

} // namespace
} // namespace bridge
