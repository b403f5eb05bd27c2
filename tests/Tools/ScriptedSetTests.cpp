#include "ScriptedSet.hpp"
#include "SetFlags.hpp"
#include "Support/TempFolder.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

namespace bridge {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace std::chrono_literals;
using Clock = SetPlayer::Clock;

std::vector<SetSong> threeSongs() {
    return {{.title = "A", .artist = "Ada", .lengthSeconds = 200},
            {.title = "B", .artist = "Ben", .lengthSeconds = 180},
            {.title = "C", .artist = "Cy", .lengthSeconds = 240}};
}

// Each step as shown: its number, song and the song after it.
struct Shown {
    std::uint64_t step;
    std::string song;
    std::string next;
    bool operator==(const Shown&) const = default;
};

class SetPlayerTests : public ::testing::Test {
protected:
    const Clock::time_point start = Clock::time_point(1h);
    std::vector<Shown> shown;
    SetPlayer player{threeSongs(), 30s, start,
                     [this](std::uint64_t step, const SetSong& song, const SetSong& next) {
                         shown.push_back({step, song.title, next.title});
                     }};
};

TEST_F(SetPlayerTests, aSongEveryStepFromTheStart) {
    EXPECT_EQ(player.advance(start), start + 30s);
    EXPECT_THAT(shown, ElementsAre(Shown{0, "A", "B"}));

    EXPECT_EQ(player.advance(start + 29s), start + 30s);
    EXPECT_EQ(shown.size(), 1u) << "the same step is shown once";

    EXPECT_EQ(player.advance(start + 30s), start + 60s);
    EXPECT_EQ(player.advance(start + 61s), start + 90s);
    EXPECT_THAT(shown, ElementsAre(Shown{0, "A", "B"}, Shown{1, "B", "C"}, Shown{2, "C", "A"}));
}

TEST_F(SetPlayerTests, theSetStartsOverAndALateCallSkipsToItsStep) {
    player.advance(start - 5s);
    EXPECT_EQ(player.advance(start + 95s), start + 120s);
    EXPECT_EQ(player.advance(start + 1h), start + 1h + 30s);
    EXPECT_THAT(shown, ElementsAre(Shown{0, "A", "B"}, Shown{3, "A", "B"}, Shown{120, "A", "B"}));
}

TEST(SetPlayer, needsSongsAndAStep) {
    const auto nothing = [](std::uint64_t, const SetSong&, const SetSong&) {};
    EXPECT_THROW(SetPlayer({}, 30s, Clock::now(), nothing), std::invalid_argument);
    EXPECT_THROW(SetPlayer(threeSongs(), 0s, Clock::now(), nothing), std::invalid_argument);
    EXPECT_THROW(SetPlayer(threeSongs(), -1s, Clock::now(), nothing), std::invalid_argument);
}

TEST(SetRunner, showsTheFirstSongAtOnceThenEachAtItsTime) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint64_t> steps;
    const auto show = [&](std::uint64_t step, const SetSong&, const SetSong&) {
        const std::lock_guard lock(mutex);
        steps.push_back(step);
        changed.notify_all();
    };
    {
        const SetRunner runner(SetPlayer(threeSongs(), 20ms, Clock::now(), show));
        std::unique_lock lock(mutex);
        EXPECT_THAT(steps, ElementsAre(0u)) << "before the runner's constructor returns";
        EXPECT_TRUE(changed.wait_for(lock, 5s, [&] { return steps.size() >= 3; }));
    }
    const auto stopped = steps.size();
    const auto before = Clock::now();
    { const SetRunner runner(SetPlayer(threeSongs(), 1h, Clock::now(), show)); }
    EXPECT_LT(Clock::now() - before, 1s) << "a runner stops without waiting for its next step";
    EXPECT_EQ(steps.size(), stopped + 1);
}

TEST(SetRunner, aFirstStepThatFailsReachesTheCaller) {
    const auto failing = [](std::uint64_t, const SetSong&, const SetSong&) {
        throw std::out_of_range("no deck");
    };
    EXPECT_THROW(SetRunner(SetPlayer(threeSongs(), 1s, Clock::now(), failing)), std::out_of_range);
}

TEST(ReadSet, takesSongsOneALine) {
    std::istringstream lines("# warm-up\n"
                             "Midnight Tram|The Lanterns|212|122|8A\n"
                             "\n"
                             "Paper Moons|Ada Vale|247.5\n"
                             "Salt & Honey|Orchid Avenue|198|124\n");
    const auto songs = readSet(lines);
    ASSERT_EQ(songs.size(), 3u);
    EXPECT_EQ(songs[0].title, "Midnight Tram");
    EXPECT_EQ(songs[0].artist, "The Lanterns");
    EXPECT_EQ(songs[0].lengthSeconds, 212);
    EXPECT_EQ(songs[0].bpm, 122);
    EXPECT_EQ(songs[0].key, "8A");
    EXPECT_EQ(songs[1].lengthSeconds, 247.5);
    EXPECT_EQ(songs[1].bpm, std::nullopt);
    EXPECT_EQ(songs[1].key, "");
    EXPECT_EQ(songs[2].bpm, 124);
}

TEST(ReadSet, namesTheFirstLineThatIsNotASong) {
    for (const auto& bad : {"Title|Artist", "Title|Artist|long", "Title|Artist|0", "|Artist|200",
                            "Title||200", "Title|Artist|200|fast", "Title|Artist|200|120|8A|x"}) {
        std::istringstream lines(std::string("Fine|Artist|200\n") + bad + "\n");
        try {
            readSet(lines);
            ADD_FAILURE() << bad << " was taken";
        } catch (const std::invalid_argument& failure) {
            EXPECT_THAT(failure.what(), HasSubstr("line 2")) << bad;
        }
    }
    std::istringstream onlyComments("# nothing\n\n");
    EXPECT_THROW(readSet(onlyComments), std::invalid_argument);
}

TEST(BuiltInSet, songsCanBeToldApart) {
    const auto songs = builtInSet();
    ASSERT_GE(songs.size(), 6u);
    std::set<std::string> files;
    for (const auto& song : songs) {
        EXPECT_FALSE(song.title.empty());
        EXPECT_FALSE(song.artist.empty());
        EXPECT_GT(song.lengthSeconds, 0);
        files.insert(song.file());
    }
    EXPECT_EQ(files.size(), songs.size()) << "the readers tell songs apart by their file";
}

// Flags as a program receives them, after its own name.
bool take(SetFlags& flags, std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "stand-in");
    const int count = static_cast<int>(arguments.size());
    for (int i = 1; i < count; ++i) {
        if (!flags.take(count, arguments.data(), i)) {
            return false;
        }
    }
    return true;
}

TEST(SetFlags, chooseTheSetAndItsPace) {
    SetFlags none;
    EXPECT_TRUE(take(none, {}));
    EXPECT_FALSE(none.play);
    EXPECT_FALSE(none.run([](std::uint64_t, const SetSong&, const SetSong&) {}).has_value());

    SetFlags builtIn;
    EXPECT_TRUE(take(builtIn, {"--play-set"}));
    EXPECT_TRUE(builtIn.play);
    EXPECT_EQ(builtIn.every, 30s);
    EXPECT_EQ(builtIn.songs().size(), builtInSet().size());

    SetFlags quick;
    EXPECT_TRUE(take(quick, {"--every", "2.5", "--play-set"}));
    EXPECT_EQ(quick.every, 2500ms);

    testing::TempFolder folder;
    std::ofstream(folder / "set.txt") << "Mine|Me|100\n";
    const auto path = (folder / "set.txt").string();
    SetFlags fromFile;
    EXPECT_TRUE(take(fromFile, {"--set", path.c_str()}));
    EXPECT_TRUE(fromFile.play);
    ASSERT_EQ(fromFile.songs().size(), 1u);
    EXPECT_EQ(fromFile.songs()[0].title, "Mine");

    for (const auto& wrong : std::vector<std::vector<const char*>>{{"--every"},
                                                                   {"--every", "0"},
                                                                   {"--every", "-3"},
                                                                   {"--every", "soon"},
                                                                   {"--set"},
                                                                   {"--play"},
                                                                   {"--every", "100000"}}) {
        SetFlags flags;
        EXPECT_FALSE(take(flags, wrong)) << wrong[0];
    }
}

TEST(SetFlags, aSetFileThatCannotBeReadStopsTheStart) {
    SetFlags flags;
    flags.play = true;
    flags.file = "/nonexistent/set.txt";
    EXPECT_THROW(flags.songs(), std::runtime_error);
}

} // namespace
} // namespace bridge
