#include "DjayLibrary.hpp"
#include "Readers/DjayDatabase.hpp"
#include "Support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace bridge {
namespace {

using testing::DjayItemBuilder;
using testing::DjayLibrary;
using testing::TempFolder;

constexpr double start = 818'454'600.0;

TEST(DjayDatabaseTests, TheLatestStartAmongTheNewestRowsWins) {
    TempFolder folder;
    const auto file = folder / "MediaLibrary.db";
    DjayLibrary library(file);
    library.add("historySessions", DjayItemBuilder::song("Session", "X", start + 900, 1).data());
    library.addItem(DjayItemBuilder::song("Latest start", "A", start + 300, 200));
    library.addItem(DjayItemBuilder::song("Earlier", "A", start + 100, 200));
    library.add("historySessionItems", std::nullopt);
    library.add("historySessionItems", std::string());
    library.add("historySessionItems", "TSAF but nothing more to read");
    library.addItem(DjayItemBuilder::song("Also earlier", "A", start, 200));

    DjayDatabase database(file);
    EXPECT_EQ(database.latest()->title, "Latest start");

    // Equal starts: the newer row stays.
    library.addItem(DjayItemBuilder::song("Same start, newer row", "A", start + 300, 200));
    EXPECT_EQ(database.latest()->title, "Same start, newer row");
}

TEST(DjayDatabaseTests, LooksAtTheFiftyNewestRowsOnly) {
    TempFolder folder;
    const auto file = folder / "MediaLibrary.db";
    DjayLibrary library(file);
    library.addItem(DjayItemBuilder::song("Long ago but latest start", "A", start + 9999, 200));
    for (int i = 0; i < 49; ++i) {
        library.addItem(DjayItemBuilder::song("Song " + std::to_string(i), "A", start + i, 200));
    }
    EXPECT_EQ(DjayDatabase(file).latest()->title, "Long ago but latest start");
    library.addItem(DjayItemBuilder::song("Fiftieth", "A", start + 60, 200));
    EXPECT_EQ(DjayDatabase(file).latest()->title, "Fiftieth");
}

TEST(DjayDatabaseTests, NoDatabaseIsNoItemAndABrokenOneFails) {
    TempFolder folder;
    EXPECT_EQ(DjayDatabase(folder / "missing.db").latest(), std::nullopt);

    const auto garbage = folder / "garbage.db";
    std::ofstream(garbage) << std::string(2048, 'g');
    const auto other = folder / "other.db";
    testing::SQLiteFile(other).run("CREATE TABLE tracks (id INTEGER)");
    EXPECT_THROW(DjayDatabase(garbage).latest(), DjayHistoryError);
    EXPECT_THROW(DjayDatabase(other).latest(), DjayHistoryError);

    // A library without items is no failure, also once djay has closed it.
    { DjayLibrary closed(folder / "empty.db"); }
    EXPECT_EQ(DjayDatabase(folder / "empty.db").latest(), std::nullopt);
}

TEST(DjayDatabaseTests, SeesNewItemsThroughTheWriteAheadLog) {
    TempFolder folder;
    const auto file = folder / "MediaLibrary.db";
    DjayLibrary library(file);
    library.connection().run("PRAGMA wal_autocheckpoint=0");
    DjayDatabase database(file);
    EXPECT_EQ(database.latest(), std::nullopt);
    library.addItem(DjayItemBuilder::song("First", "A", start, 200));
    EXPECT_EQ(database.latest()->title, "First");
    library.addItem(DjayItemBuilder::song("Second", "A", start + 200, 200));
    EXPECT_EQ(database.latest()->title, "Second");
}

} // namespace
} // namespace bridge
