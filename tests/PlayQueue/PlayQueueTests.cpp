#include "PlayQueue/PlayQueue.hpp"
#include "PlayQueue/QueueFile.hpp"
#include "QueueTesting.hpp"
#include "Support/Files.hpp"
#include "Support/SystemCallWatch.hpp"
#include "Support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace bridge {
namespace {

using testing::at;
using testing::entry;
using testing::play;

class PlayQueueTests : public ::testing::Test {
protected:
    testing::TempFolder folder;
    std::filesystem::path file = folder / "SetmaraBridge/queue.json";

    std::string fileBytes() const { return readWholeFile(file).bytes; }

    void writeFile(const std::string& bytes) const {
        std::filesystem::create_directories(file.parent_path());
        ASSERT_TRUE(replaceAtomically(file, bytes, 0600));
    }

    void writeEntries(const std::vector<Entry>& entries) const {
        writeFile(*QueueFile::encode(entries));
    }

    std::vector<std::string> ids(const PlayQueue& queue) const {
        std::vector<std::string> result;
        for (const auto& e : queue.entries()) {
            result.push_back(e.event.id);
        }
        return result;
    }

    static std::uintmax_t mtimeNs(const std::filesystem::path& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return static_cast<std::uintmax_t>(info.st_mtim.tv_sec) * 1'000'000'000u +
               info.st_mtim.tv_nsec;
    }
};

TEST_F(PlayQueueTests, AddWritesTheFileAtOnceAndANewQueueReadsIt) {
    PlayQueue queue(file);
    queue.add(play("A"), 7, false);
    queue.add(play("B", 10), std::nullopt, true);
    PlayQueue reread(file);
    EXPECT_EQ(reread.entries(), queue.entries());
    ASSERT_EQ(reread.entries().size(), 2u);
    EXPECT_EQ(reread.entries()[0].gigId, 7);
    EXPECT_TRUE(reread.entries()[1].hidden);
    EXPECT_EQ(reread.entries()[1].gigId, std::nullopt);
}

TEST_F(PlayQueueTests, FolderAndFileArePrivate) {
    PlayQueue queue(file);
    queue.add(play("A"), 1, false);
    struct stat info {};
    ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // No temporary files are left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
}

TEST_F(PlayQueueTests, SavesOnAFilesystemThatRefusesPermissions) {
    const auto watched = testing::watchSystemCalls([&] {
        PlayQueue queue(file);
        queue.add(play("A"), 1, false);
        queue.add(play("B"), 1, false);
        return ids(PlayQueue(file)) == std::vector<std::string>{"A", "B"};
    });
    if (!watched.watched) {
        GTEST_SKIP() << "this kernel offers no seccomp user notification";
    }
    EXPECT_TRUE(watched.succeeded) << "calls seen: " << watched.calls;
}

TEST_F(PlayQueueTests, WaitingPlaysOlderThanSixHoursAreDropped) {
    PlayQueue queue(file);
    queue.add(play("old", 0), std::nullopt, false);
    queue.add(play("edge", 1), std::nullopt, false);
    queue.add(play("gig", 0), 3, false);
    queue.add(play("new", 1 + 21'600), std::nullopt, false);
    // "old" is more than 6 h older; "edge" is exactly 6 h older and stays; gig plays stay.
    EXPECT_EQ(ids(queue), (std::vector<std::string>{"edge", "gig", "new"}));
}

TEST_F(PlayQueueTests, AtMostTwoHundredPlaysWait) {
    PlayQueue queue(file);
    queue.add(play("gig-0"), 1, false);
    for (int i = 0; i < 201; ++i) {
        queue.add(play("w-" + std::to_string(i), i), std::nullopt, false);
    }
    queue.add(play("gig-1"), 1, false);
    const auto list = ids(queue);
    ASSERT_EQ(list.size(), 202u);
    EXPECT_EQ(list.front(), "gig-0");
    EXPECT_EQ(list[1], "w-1"); // the oldest waiting play was pushed out
    EXPECT_EQ(list.back(), "gig-1");
}

TEST_F(PlayQueueTests, AdoptGivesWaitingPlaysTheGig) {
    PlayQueue queue(file);
    queue.add(play("old", 0), std::nullopt, false);
    queue.add(play("recent", 100), std::nullopt, false);
    queue.add(play("other", 50), 2, false);
    queue.adopt(9, at(100 + 21'600 - 1));
    EXPECT_EQ(ids(queue), (std::vector<std::string>{"recent", "other"}));
    EXPECT_EQ(queue.entries()[0].gigId, 9);
    EXPECT_EQ(queue.entries()[1].gigId, 2);
    EXPECT_EQ(PlayQueue(file).entries(), queue.entries());
}

TEST_F(PlayQueueTests, AdoptWithNothingWaitingWritesNothing) {
    writeEntries({entry("A", 1)});
    PlayQueue queue(file);
    std::filesystem::remove(file);
    queue.adopt(5, at(0));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(queue.entries()[0].gigId, 1);
}

TEST_F(PlayQueueTests, HasUnsentAndDropWaiting) {
    PlayQueue queue(file);
    EXPECT_FALSE(queue.hasUnsent());
    queue.add(play("wait"), std::nullopt, false);
    EXPECT_FALSE(queue.hasUnsent()); // a waiting play owes nothing yet
    queue.add(play("gig"), 4, false);
    EXPECT_TRUE(queue.hasUnsent());
    queue.dropWaiting();
    EXPECT_EQ(ids(queue), std::vector<std::string>{"gig"});
    EXPECT_EQ(ids(PlayQueue(file)), std::vector<std::string>{"gig"});
}

TEST_F(PlayQueueTests, HideAndUndoActOnTheLatestNotTakenBack) {
    PlayQueue queue(file);
    queue.hideLatest(); // nothing to do on an empty queue
    queue.undoLatest();
    EXPECT_FALSE(std::filesystem::exists(file));

    queue.add(play("A"), 1, false);
    queue.add(play("B"), 1, false);
    queue.add(play("C"), 1, false);
    queue.undoLatest();
    queue.undoLatest();
    EXPECT_TRUE(queue.entries()[2].removed);
    EXPECT_TRUE(queue.entries()[1].removed);
    EXPECT_FALSE(queue.entries()[0].removed);
    queue.hideLatest();
    EXPECT_TRUE(queue.entries()[0].hidden);
    EXPECT_FALSE(queue.entries()[1].hidden);
    queue.hideLatest(); // already hidden: still marked, still a change
    EXPECT_TRUE(queue.entries()[0].hidden);
    queue.undoLatest();
    const auto bytes = fileBytes();
    queue.hideLatest(); // every entry is taken back: nothing happens
    queue.undoLatest();
    EXPECT_EQ(fileBytes(), bytes);
    EXPECT_EQ(PlayQueue(file).entries(), queue.entries());
}

TEST_F(PlayQueueTests, RepeatsBySongAndTime) {
    PlayQueue queue(file);
    auto withPath = play("A", 0, "Title", "Artist");
    withPath.filePath = "sha256:1";
    queue.add(withPath, 1, false);
    auto samePath = play("B", 300, "Other title", "Other artist");
    samePath.filePath = "sha256:1";
    EXPECT_TRUE(queue.isRepeat(samePath));
    samePath.filePath = "sha256:2";
    EXPECT_FALSE(queue.isRepeat(samePath));

    // Without both paths, titles and artists decide, in any letter case.
    EXPECT_TRUE(queue.isRepeat(play("C", 600, "TITLE", "artist")));
    EXPECT_TRUE(queue.isRepeat(play("C", -600, "title", "ARTIST")));
    EXPECT_FALSE(queue.isRepeat(play("C", 660, "Title", "Artist"))) << "11 minutes later";
    EXPECT_FALSE(queue.isRepeat(play("C", 100, "Title", "Someone")));
}

TEST_F(PlayQueueTests, RepeatsMatchNonAsciiLetterCase) {
    PlayQueue queue(file);
    queue.add(play("A", 0, "Ñengo Élan", "Ómar"), 1, false);
    EXPECT_TRUE(queue.isRepeat(play("B", 10, "ñENGO éLAN", "óMAR")));
}

TEST_F(PlayQueueTests, RepeatWindowFollowsTheQueuedSongsLength) {
    PlayQueue queue(file);
    auto song = play("A", 0);
    song.durationMs = 180'000; // 3 minutes: a window of 240 s
    queue.add(song, 1, false);
    EXPECT_TRUE(queue.isRepeat(play("B", 239.9)));
    EXPECT_FALSE(queue.isRepeat(play("B", 240)));
}

TEST_F(PlayQueueTests, OnlyTheLatestFiftyEntriesAreCompared) {
    PlayQueue queue(file);
    queue.add(play("old", 0, "Old song"), 1, false);
    for (int i = 0; i < 50; ++i) {
        queue.add(play("n" + std::to_string(i), 1, "Song " + std::to_string(i)), 1, false);
    }
    EXPECT_FALSE(queue.isRepeat(play("X", 2, "Old song")));
    EXPECT_TRUE(queue.isRepeat(play("X", 2, "Song 0")));
}

TEST_F(PlayQueueTests, RecentSkipsTakenBackPlaysNewestFirstAndIsCached) {
    PlayQueue queue(file);
    for (int i = 0; i < 30; ++i) {
        queue.add(play(std::to_string(i), i), 1, false);
    }
    queue.undoLatest();
    const auto& recent = queue.recent(10);
    ASSERT_EQ(recent.size(), 10u);
    EXPECT_EQ(recent.front().event.id, "28");
    EXPECT_EQ(recent.back().event.id, "19");
    EXPECT_EQ(recent.front().status, QueuedPlay::Status::queued);
    EXPECT_EQ(&queue.recent(10), &recent) << "answered from the cache";
    const auto copy = recent;
    queue.hideLatest();
    EXPECT_EQ(queue.recent(10).front().status, QueuedPlay::Status::hidden);
    EXPECT_NE(queue.recent(10), copy);
    EXPECT_EQ(queue.recent(3).size(), 3u);
}

TEST_F(PlayQueueTests, PruneKeepsTheFiftyLatestSettledAndEverythingPending) {
    std::vector<Entry> entries;
    for (int i = 0; i < 63; ++i) {
        auto e = entry(std::to_string(i));
        e.sent = i % 21 != 0; // 0, 21 and 42 are pending
        entries.push_back(e);
    }
    writeEntries(entries);
    PlayQueue queue(file);
    queue.prune();
    const auto list = ids(queue);
    ASSERT_EQ(list.size(), 53u);
    EXPECT_EQ(list[0], "0");
    EXPECT_EQ(list[1], "11"); // the ten oldest settled, 1 to 10, were pruned
    EXPECT_EQ(std::count_if(queue.entries().begin(), queue.entries().end(),
                            [](const Entry& e) { return e.isSettled(); }),
              50);
    queue.save();
    EXPECT_EQ(PlayQueue(file).entries().size(), 53u);
}

TEST_F(PlayQueueTests, SavesOnlyWhatChanged) {
    PlayQueue queue(file);
    queue.add(play("A"), 1, false);
    const auto firstWrite = mtimeNs(file);
    queue.save(); // nothing changed since the add
    EXPECT_EQ(mtimeNs(file), firstWrite);

    // A change that leaves the same bytes does not rewrite the file.
    queue.hideLatest();
    std::filesystem::remove(file);
    queue.hideLatest(); // hidden again: a change, but the same bytes
    EXPECT_FALSE(std::filesystem::exists(file));
    queue.undoLatest();
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(PlayQueueTests, ReadsEntriesWithOnlyAnEvent) {
    writeFile(
        R"([{"event":{"id":"A","playedAt":12.5,"title":"T","artist":"R"}},)"
        R"({"event":{"id":"B","playedAt":13,"title":"T","artist":"R"},"gigId":3,"sent":true}])");
    PlayQueue queue(file);
    ASSERT_EQ(queue.entries().size(), 2u);
    const Entry& a = queue.entries()[0];
    EXPECT_EQ(a.event.playedAt, instantFromReferenceSeconds(12.5));
    EXPECT_EQ(a.gigId, std::nullopt);
    EXPECT_FALSE(a.sent || a.hidden || a.hiddenOnServer || a.removed || a.removedOnServer ||
                 a.notTaken);
    EXPECT_EQ(a.refusals, 0);
    EXPECT_EQ(a.retryAt, std::nullopt);
    EXPECT_EQ(a.refusal, std::nullopt);
    EXPECT_EQ(queue.entries()[1].gigId, 3);
    EXPECT_TRUE(queue.entries()[1].sent);
}

TEST_F(PlayQueueTests, AnUndecodableFileIsKeptAsideBeforeTheFirstSave) {
    const std::string bad =
        R"([{"event":{"id":"A","playedAt":1,"title":"T","artist":"R"}},{"gigId":3}])";
    writeFile(bad);
    PlayQueue queue(file);
    EXPECT_TRUE(queue.entries().empty());
    queue.save();
    EXPECT_EQ(fileBytes(), bad) << "nothing changed: the file is not touched";

    auto aside = file;
    aside += ".unreadable";
    writeFile("older unreadable");
    std::filesystem::rename(file, aside);
    writeFile(bad);
    PlayQueue again(file);
    again.add(play("N"), 1, false);
    EXPECT_EQ(readWholeFile(aside).bytes, bad) << "replaces an older copy";
    EXPECT_EQ(ids(PlayQueue(file)), std::vector<std::string>{"N"});
    again.add(play("M"), 1, false);
    EXPECT_EQ(readWholeFile(aside).bytes, bad) << "moved aside only once";
}

TEST_F(PlayQueueTests, NotJsonOrNotAnArrayGivesAnEmptyQueue) {
    for (const char* bad : {"", "not json", "{}", "[1]", R"([{"event":{"id":"A"}}])"}) {
        writeFile(bad);
        EXPECT_TRUE(PlayQueue(file).entries().empty()) << bad;
    }
}

TEST_F(PlayQueueTests, AFailedWriteKeepsTheOldFileWholeAndTriesAgain) {
    PlayQueue queue(file);
    queue.add(play("A"), 1, false);
    const auto before = fileBytes();

    // Even root cannot write past the file size limit: the write fails with EFBIG.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = old;
    tiny.rlim_cur = before.size();
    ::setrlimit(RLIMIT_FSIZE, &tiny);
    queue.add(play("B"), 1, false);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
    queue.save(); // the next save writes what the failed one could not
    EXPECT_EQ(ids(PlayQueue(file)), (std::vector<std::string>{"A", "B"}));
}

} // namespace
} // namespace bridge
