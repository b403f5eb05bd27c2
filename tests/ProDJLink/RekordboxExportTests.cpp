#include "ExportWriter.hpp"
#include "ProDJLink/RekordboxExport.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace bridge::ProDJLink {
namespace {

using Kind = RekordboxExportError::Kind;

const auto fixtures =
    std::filesystem::path{BRIDGE_SOURCE_DIR} / ".." / "shared" / "fixtures" / "prodjlink";

std::string fileText(const std::filesystem::path& path) {
    std::ifstream file{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{file}, {}};
}

Kind failureOf(std::string_view bytes) {
    try {
        tracksOf(bytes);
    } catch (const RekordboxExportError& error) {
        return error.kind;
    }
    ADD_FAILURE() << "no error";
    return Kind::malformed;
}

void putLittle(std::string& bytes, std::size_t at, std::uint32_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

class RealExport : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(fixtures / "demo_tracks")) {
            GTEST_SKIP() << "the rekordbox exports are not in " << fixtures;
        }
    }
};

// The demo export holds rekordbox's two Loopmasters demo tracks. Its tracks page also keeps
// five deleted rows (NOISE, SINEWAVE, SIREN, HORN and an older Demo Track 1 with id 5) that
// `strings` shows as well; only the two rows flagged present are tracks. Titles, artist,
// lengths (172 and 128 s) and tempos (128 and 120 BPM) were read from a hex dump of the rows.
TEST_F(RealExport, DemoTracksAreTheTwoPresentRows) {
    const RekordboxExport demo{fileText(fixtures / "demo_tracks/PIONEER/rekordbox/export.pdb")};
    EXPECT_EQ(demo.tracks(), (std::map<std::uint32_t, ExportTrack>{
                                 {1, {1, "Demo Track 1", "Loopmasters", 172.0, 128.0}},
                                 {2, {2, "Demo Track 2", "Loopmasters", 128.0, 120.0}}}));
    EXPECT_EQ(demo.find(5), nullptr);
    ASSERT_NE(demo.find(2), nullptr);
    EXPECT_EQ(demo.find(2)->title, "Demo Track 2");
}

TEST_F(RealExport, AnExportWithoutTracksHasNone) {
    EXPECT_TRUE(tracksOf(fileText(fixtures / "empty/PIONEER/rekordbox/export.pdb")).empty());
}

TEST_F(RealExport, EveryTruncationFailsOrReadsLess) {
    const auto whole = fileText(fixtures / "demo_tracks/PIONEER/rekordbox/export.pdb");
    for (std::size_t size = 0; size < whole.size(); size += 509) {
        try {
            EXPECT_LE(tracksOf(std::string_view{whole}.substr(0, size)).size(), 2u);
        } catch (const RekordboxExportError&) {
        }
    }
}

TEST(RekordboxExport, RefusesWhatIsNotAnExport) {
    EXPECT_EQ(failureOf(""), Kind::malformed);
    EXPECT_EQ(failureOf(std::string(9000, 'x')), Kind::malformed);

    const auto good = exportFile({{1, "Song", "Artist", 200.0, 124.0}});
    auto smallPages = good;
    putLittle(smallPages, 4, 0x20, 4);
    EXPECT_EQ(failureOf(smallPages), Kind::malformed);
    auto pagesBeyondTheFile = good;
    putLittle(pagesBeyondTheFile, 4, 0x10000, 4);
    EXPECT_EQ(failureOf(pagesBeyondTheFile), Kind::malformed);
    auto tooManyTables = good;
    putLittle(tooManyTables, 8, 1000, 4);
    EXPECT_EQ(failureOf(tooManyTables), Kind::malformed);
}

TEST(RekordboxExport, RefusesAHugeFileBeforeReadingIt) {
    const std::string huge(RekordboxExport::maximumSize + 1, '\0');
    EXPECT_EQ(failureOf(huge), Kind::tooLarge);
}

// A small export as the writer lays it out: header page, tracks page 1, artists page 2.
class BrokenExport : public ::testing::Test {
protected:
    static constexpr std::size_t page = 4096;
    static constexpr std::size_t tracksPage = page;
    static constexpr std::size_t tracksPointer = 0x1c;

    std::string file = exportFile({{1, "One", "First", 100.0, 120.0},
                                   {2, "Two", "Second", 200.0, 121.0},
                                   {3, "Three", "First", 300.0, 122.0}});

    std::vector<std::uint32_t> ids() const {
        std::vector<std::uint32_t> result;
        for (const auto& [id, track] : tracksOf(file)) {
            result.push_back(id);
        }
        return result;
    }
};

TEST_F(BrokenExport, APageChainThatLoopsOrLeavesTheFileIsRefused) {
    const auto original = file;
    putLittle(file, tracksPointer + 12, 2, 4); // the table would end on page 2
    putLittle(file, tracksPage + 12, 1, 4);    // but page 1 leads back to itself
    EXPECT_EQ(failureOf(file), Kind::malformed);

    putLittle(file, tracksPage + 12, 1000, 4);
    EXPECT_EQ(failureOf(file), Kind::malformed);

    putLittle(file, tracksPage + 12, 2, 4); // into the artists table
    EXPECT_EQ(failureOf(file), Kind::malformed);

    file = original;
    putLittle(file, tracksPointer + 8, 0, 4);
    EXPECT_EQ(failureOf(file), Kind::malformed);
}

TEST_F(BrokenExport, ARowOutsideItsPageIsLeftOut) {
    putLittle(file, 2 * page - 6 - 2, 0xfff0, 2);
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1, 3}));
}

TEST_F(BrokenExport, ARowNotFlaggedPresentIsLeftOut) {
    putLittle(file, 2 * page - 4, 0b101, 2);
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1, 3}));
}

TEST_F(BrokenExport, ARowWhoseTitleRunsOffThePageIsLeftOut) {
    const auto kind = file.find("Three") - 1;
    file[kind] = 0x40; // a long string, longer than the page
    putLittle(file, kind + 1, 0xfff0, 2);
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1, 2}));

    file[kind] = 0x22; // a kind of string that does not exist
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1, 2}));
}

TEST_F(BrokenExport, ARowIndexLargerThanThePageLosesOnlyThatPage) {
    putLittle(file, tracksPage + 0x22, 0x1000, 2);
    EXPECT_TRUE(tracksOf(file).empty());
}

TEST_F(BrokenExport, ATrackWithABrokenArtistKeepsItsTitle) {
    const auto kind = file.find("Second") - 1;
    file[kind] = 0x40; // a long string, longer than the page
    putLittle(file, kind + 1, 0xfff0, 2);
    const auto tracks = tracksOf(file);
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks.at(2).title, "Two");
    EXPECT_EQ(tracks.at(2).artist, std::nullopt);
    EXPECT_EQ(tracks.at(1).artist, "First");
}

TEST(RekordboxExportText, BrokenTextIsReplacedAndBlankTextTrimmed) {
    auto file = exportFile({{1, "\u03A9mega", "  ", 0.0, std::nullopt},
                            {2, "Cafe", "\tSomeone \n", 60.0, 0.0},
                            {3, "  Spaced  ", std::nullopt, 60.0, 100.0}});
    const auto omega = file.find("\xA9\x03");
    putLittle(file, omega, 0xD800, 2);                     // an unpaired surrogate
    file[file.find("Cafe") + 3] = static_cast<char>(0xE9); // not ASCII
    const auto tracks = tracksOf(file);
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks.at(1), (ExportTrack{1, "\uFFFDmega", std::nullopt, std::nullopt, {}}));
    EXPECT_EQ(tracks.at(2), (ExportTrack{2, "Caf\uFFFD", "Someone", 60.0, std::nullopt}));
    EXPECT_EQ(tracks.at(3).title, "Spaced");
}

} // namespace
} // namespace bridge::ProDJLink
