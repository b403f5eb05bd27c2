// A queue started on what an earlier run left behind: a save cut short by a crash, and a
// file it reads back exactly as it was written.
#include "PlayQueue/PlayQueue.hpp"
#include "PlayQueue/QueueFile.hpp"
#include "QueueTesting.hpp"
#include "Support/Files.hpp"
#include "Support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace bridge {
namespace {

using testing::entry;

class QueueRestartTests : public ::testing::Test {
protected:
    testing::TempFolder folder;
    std::filesystem::path file = folder / "queue.json";

    void writeEntries(const std::vector<Entry>& entries) const {
        ASSERT_TRUE(replaceAtomically(file, *QueueFile::encode(entries), 0600));
    }

    // A temporary file made the way a save makes one, holding `bytes`, as a save killed
    // before its rename leaves it.
    std::filesystem::path interruptedSave(const std::string& bytes) const {
        std::string name = (folder / ".queue.json.XXXXXX").string();
        const int fd = ::mkstemp(name.data());
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
        return name;
    }

    void touch(const std::string& name) const { std::ofstream(folder / name) << "keep"; }

    static ino_t inode(const std::filesystem::path& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_ino;
    }
};

TEST_F(QueueRestartTests, AStartRemovesTheCopiesOfInterruptedSaves) {
    writeEntries({entry("A")});
    const auto bytes = *QueueFile::encode({entry("A"), entry("B")});
    const auto first = interruptedSave(bytes);
    const auto second = interruptedSave(bytes);
    PlayQueue queue(file);
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_FALSE(std::filesystem::exists(second));
    ASSERT_EQ(queue.entries().size(), 1u) << "the file is what was saved last";
    EXPECT_EQ(queue.entries().front().event.id, "A");
}

TEST_F(QueueRestartTests, OnlyTheQueuesOwnTemporaryFilesAreRemoved) {
    const std::vector<std::string> others = {
        ".queue.json.Ab12C",     // too short
        ".queue.json.Ab12Cd7",   // too long
        ".queue.json.Ab_2Cd",    // not what mkstemp makes
        "queue.json.Ab12Cd",     // no leading dot
        ".other.json.Ab12Cd",    // another file's
        "queue.json.unreadable", // a file kept aside
    };
    for (const auto& name : others) {
        touch(name);
    }
    std::filesystem::create_directory(folder / ".queue.json.Dir123");
    std::filesystem::create_symlink(folder / "queue.json.unreadable",
                                    folder / ".queue.json.Lnk123");
    const auto stale = interruptedSave("[]");
    PlayQueue queue(file);
    EXPECT_FALSE(std::filesystem::exists(stale));
    for (const auto& name : others) {
        EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder / ".queue.json.Dir123"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / ".queue.json.Lnk123"));
}

TEST_F(QueueRestartTests, AMissingFolderIsNoFailure) {
    PlayQueue queue(folder / "not yet/queue.json");
    EXPECT_TRUE(queue.entries().empty());
}

TEST_F(QueueRestartTests, AFileReadBackIsNotRewrittenWithoutAChange) {
    // Tempos that come from single-precision values, and times with long fractions.
    std::vector<Entry> entries;
    for (const double bpm : {124.00000762939453, 92.14080810546875, 195.55662536621094}) {
        auto e = entry("E" + std::to_string(entries.size()));
        e.event.bpm = bpm;
        e.event.playedAt = instantFromReferenceSeconds(790'123'456.789012345 + bpm);
        e.hidden = true;
        entries.push_back(e);
    }
    writeEntries(entries);
    const auto before = inode(file);
    PlayQueue queue(file);
    ASSERT_EQ(queue.entries(), entries);
    queue.hideLatest(); // hidden already: a change that leaves the same bytes
    EXPECT_EQ(inode(file), before) << "the file was rewritten";
}

TEST_F(QueueRestartTests, ANumberTooLargeForADoubleDoesNotStopTheSaves) {
    // Read as infinite, the tempo could never be written again, and no save would succeed.
    ASSERT_TRUE(replaceAtomically(
        file, R"([{"event":{"artist":"R","bpm":1e400,"id":"A","playedAt":5,"title":"T"}}])", 0600));
    PlayQueue queue(file);
    EXPECT_TRUE(queue.entries().empty());
    queue.add(testing::play("B"), 1, false);
    const auto saved = QueueFile::decode(readWholeFile(file).bytes);
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->size(), 1u);
    EXPECT_EQ(saved->front().event.id, "B");
    EXPECT_TRUE(std::filesystem::exists(folder / "queue.json.unreadable")) << "kept aside";
}

} // namespace
} // namespace bridge
