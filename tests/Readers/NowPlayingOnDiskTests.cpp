#include "Readers/NowPlayingOnDisk.hpp"
#include "ReadersTesting.hpp"
#include "Support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <system_error>

namespace bridge {
namespace {

using testing::TempFolder;

void write(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

int errorOf(NowPlayingOnDisk file) {
    try {
        file.read();
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    return 0;
}

TEST(NowPlayingOnDiskTests, DecodesByTheByteOrderMark) {
    EXPECT_EQ(NowPlayingOnDisk::decode("Title: Día"), "Title: Día");
    EXPECT_EQ(NowPlayingOnDisk::decode("\xEF\xBB\xBFTitle: Día"), "Title: Día");
    EXPECT_EQ(NowPlayingOnDisk::decode(std::string("\xFF\xFET\0\xED\0\n\0", 8)), "Tí\n");
    EXPECT_EQ(NowPlayingOnDisk::decode(std::string("\xFE\xFF\0T\0\xED\xD8\x3D\xDE\x00", 10)),
              "Tí\U0001F600");
    EXPECT_EQ(NowPlayingOnDisk::decode("\xFF\xFE"), "");
}

TEST(NowPlayingOnDiskTests, RefusesTextInvalidInItsEncoding) {
    EXPECT_EQ(NowPlayingOnDisk::decode("Title: D\xED"
                                       "a"),
              std::nullopt);                                                           // Latin-1
    EXPECT_EQ(NowPlayingOnDisk::decode(std::string("\xFF\xFET\0X", 5)), std::nullopt); // odd
    EXPECT_EQ(NowPlayingOnDisk::decode(std::string("\xFF\xFE\x3D\xD8T\0", 6)),
              std::nullopt); // lone surrogate
    EXPECT_EQ(NowPlayingOnDisk::decode(std::string("\xFE\xFF\xDE\x00", 4)), std::nullopt);
}

TEST(NowPlayingOnDiskTests, ReadsTheFileWithItsModificationTime) {
    TempFolder folder;
    const auto path = folder / "NowPlaying.txt";
    EXPECT_EQ(NowPlayingOnDisk(path).read(), std::nullopt);
    EXPECT_EQ(NowPlayingOnDisk(folder / "no-folder" / "NowPlaying.txt").read(), std::nullopt);

    write(path, std::string("\xFF\xFET\0:\0x\0", 8));
    const timespec times[2] = {{0, UTIME_OMIT}, {1'796'761'800, 500'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(
        NowPlayingOnDisk(path).read(),
        (NowPlayingText{.text = "T:x", .modified = instantFromReferenceSeconds(818'454'600.5)}));

    write(path, "Title: D\xED"
                "a");
    EXPECT_EQ(errorOf(NowPlayingOnDisk(path)), EILSEQ);
}

TEST(NowPlayingOnDiskTests, EveryReadEnds) {
    TempFolder folder;
    const auto huge = folder / "huge.txt";
    std::filesystem::resize_file((write(huge, ""), huge), 64 << 20);
    EXPECT_EQ(errorOf(NowPlayingOnDisk(huge)), EFBIG);
    const auto pipe = folder / "pipe.txt";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_NE(errorOf(NowPlayingOnDisk(pipe)), 0);
    EXPECT_NE(errorOf(NowPlayingOnDisk(folder.path())), 0);
}

TEST(NowPlayingOnDiskTests, RefusedAccessReportsThePermissionError) {
    TempFolder folder;
    std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
    const auto path = folder / "NowPlaying.txt";
    write(path, "Title: T");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    testing::expectWithoutRoot([&] { return errorOf(NowPlayingOnDisk(path)) == EACCES; });
}

} // namespace
} // namespace bridge
