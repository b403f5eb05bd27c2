#include "ExportWriter.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace bridge {
namespace {

using ProDJLink::ExportTrack;
using Tracks = std::map<std::uint32_t, ExportTrack>;

Tracks byId(const std::vector<ExportTrack>& tracks) {
    Tracks map;
    for (const auto& track : tracks) {
        map.emplace(track.id, track);
    }
    return map;
}

std::size_t occurrences(const std::string& text, std::string_view part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(ExportWriter, ManyTracksOverSeveralPagesReadBack) {
    const std::vector<std::string> artists{"Loopmasters", "Björk", "坂本龍一", "Sigur Rós"};
    std::vector<ExportTrack> tracks;
    for (std::uint32_t id = 1; id <= 120; ++id) {
        std::string title = "Track " + std::to_string(id);
        if (id % 3 == 0) {
            title += " – Über Mix ♫"; // needs UTF-16
        }
        if (id % 10 == 0) {
            title += std::string(130, 'x'); // too long for a short ASCII string
        }
        tracks.push_back({id * 7, title,
                          id % 5 == 0 ? std::nullopt : std::optional{artists[id % 4]}, 60.0 + id,
                          90.0 + id / 4.0});
    }
    const auto file = exportFile(tracks);
    EXPECT_GT(file.size(), 6 * 4096u); // well over one page of tracks
    EXPECT_EQ(ProDJLink::tracksOf(file), byId(tracks));
    EXPECT_EQ(occurrences(file, "Loopmasters"), 1u);
}

TEST(ExportWriter, NoTracksMakeAnEmptyExport) {
    EXPECT_TRUE(ProDJLink::tracksOf(exportFile({})).empty());
}

TEST(ExportWriter, ATitleLongerThanAPageIsRefused) {
    EXPECT_THROW(exportFile({{1, std::string(5000, 'a'), std::nullopt, {}, {}}}),
                 std::length_error);
}

TEST(ExportWriter, TheRealExportWrittenAgainReadsTheSame) {
    const auto path = std::filesystem::path{BRIDGE_SOURCE_DIR} /
                      "../shared/fixtures/prodjlink/demo_tracks/PIONEER/rekordbox/export.pdb";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "the rekordbox export is not at " << path;
    }
    std::ifstream in{path, std::ios::binary};
    const std::string real{std::istreambuf_iterator<char>{in}, {}};
    const auto original = ProDJLink::tracksOf(real);
    ASSERT_FALSE(original.empty());
    std::vector<ExportTrack> tracks;
    for (const auto& [id, track] : original) {
        tracks.push_back(track);
    }
    EXPECT_EQ(ProDJLink::tracksOf(exportFile(tracks)), original);
}

} // namespace
} // namespace bridge
