#include "Values/FileKey.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

// Digests from sha256sum: printf '%s' TEXT | sha256sum
TEST(FileKeyTests, HashesLocalPathsAndFileUrls) {
    EXPECT_EQ(FileKey::of("/Users/dj/Music/Artist - Song.mp3"),
              "sha256:47ebfb1eccfe24cd8ec26caeb664b8b51f3a8ec7e3ba33ccdaec2dfd8d115b3c");
    EXPECT_EQ(FileKey::of(""),
              "sha256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(FileKey::of("abc"),
              "sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(FileKeyTests, KeepsOtherSchemesReadable) {
    EXPECT_EQ(FileKey::of("spotify:track:4uLU6hMCjMI75M1A2tKUQC"),
              "spotify:track:4uLU6hMCjMI75M1A2tKUQC");
    EXPECT_EQ(FileKey::of("https://example.com/a.mp3"), "https://example.com/a.mp3");
    EXPECT_EQ(FileKey::of("whatsnowplaying:A – T"), "whatsnowplaying:A – T");
    EXPECT_EQ(FileKey::of("x-a.b+c:1"), "x-a.b+c:1");
}

TEST(FileKeyTests, FileUrlsDriveLettersAndNonSchemesAreHashed) {
    for (const char* path : {"FILE:///Users/dj/a.mp3", "file:///Users/dj/a.mp3", "File:a",
                             "C:\\Music\\a.mp3", "1abc:def", "ab cd:x", ":abc", "abc"}) {
        const std::string key = FileKey::of(path);
        EXPECT_EQ(key.size(), 7u + 64u) << path;
        EXPECT_EQ(key.substr(0, 7), "sha256:") << path;
        EXPECT_EQ(key.find_first_not_of("0123456789abcdef", 7), std::string::npos) << path;
    }
    // The path itself is hashed, letter case and scheme included.
    EXPECT_NE(FileKey::of("FILE:///a"), FileKey::of("file:///a"));
}

} // namespace
} // namespace bridge
