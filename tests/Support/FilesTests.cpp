#include "Support/Files.hpp"
#include "Support/SystemCallWatch.hpp"
#include "Support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace bridge {
namespace {

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(FilesTests, ReadsWholeFilesAndTellsMissingFromUnreadable) {
    testing::TempFolder folder;
    EXPECT_EQ(readWholeFile(folder / "none").outcome, FileRead::Outcome::missing);
    EXPECT_EQ(readWholeFile(folder / "none/deeper").outcome, FileRead::Outcome::missing);
    EXPECT_EQ(readWholeFile(folder.path()).outcome, FileRead::Outcome::unreadable); // a folder

    std::string big(200'000, 'x');
    big[123'456] = '\0';
    ASSERT_TRUE(replaceAtomically(folder / "big", big, 0640));
    const auto read = readWholeFile(folder / "big");
    EXPECT_EQ(read.outcome, FileRead::Outcome::read);
    EXPECT_EQ(read.bytes, big);
    EXPECT_EQ(modeOf(folder / "big"), 0640u);
}

TEST(FilesTests, CreatesMissingFoldersWithTheirMode) {
    testing::TempFolder folder;
    ::chmod(folder.path().c_str(), 0755);
    ASSERT_TRUE(createFolders(folder / "a/b/c", 0700));
    EXPECT_EQ(modeOf(folder / "a"), 0700u);
    EXPECT_EQ(modeOf(folder / "a/b/c"), 0700u);
    EXPECT_EQ(modeOf(folder.path()), 0755u) << "existing folders are left as they are";
    EXPECT_TRUE(createFolders(folder / "a/b/c", 0700));
    ASSERT_TRUE(replaceAtomically(folder / "file", "x", 0600));
    EXPECT_FALSE(createFolders(folder / "file/sub", 0700));
}

TEST(FilesTests, ReplacementFailsWithoutAFolder) {
    testing::TempFolder folder;
    EXPECT_FALSE(replaceAtomically(folder / "missing/file", "x", 0600));
}

TEST(FilesTests, AReplacementNeedsNoPermissionsAndReachesTheFolderOnDisk) {
    testing::TempFolder folder;
    ASSERT_TRUE(replaceAtomically(folder / "file", "old", 0600));
    const auto watched = testing::watchSystemCalls([&] {
        return replaceAtomically(folder / "file", "new", 0640) &&
               readWholeFile(folder / "file").bytes == "new";
    });
    if (!watched.watched) {
        GTEST_SKIP() << "this kernel offers no seccomp user notification";
    }
    EXPECT_TRUE(watched.succeeded) << "a refused chmod does not stop the save";
    EXPECT_NE(watched.calls.find('c'), std::string::npos)
        << "the chmod was tried: " << watched.calls;
    // The file's bytes reach the disk before the rename, the rename after it.
    EXPECT_TRUE(watched.calls.ends_with("fd")) << watched.calls;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1)
        << "no temporary file is left behind";
}

} // namespace
} // namespace bridge
