#include "MixxxLibrary.hpp"
#include "Readers/MixxxDatabase.hpp"
#include "Support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace bridge {
namespace {

using testing::MixxxLibrary;
using testing::TempFolder;

// 2026-12-08 20:30:00 UTC.
const Instant evening = instantFromReferenceSeconds(818'454'600.0);

void touch(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
}

TEST(MixxxDatabaseTests, ReadsTheNewestEntryOfTheHistoryOnly) {
    TempFolder folder;
    const auto file = folder / "mixxxdb.sqlite";
    {
        MixxxLibrary library(file);
        const auto older = library.addTrack("Vivir Mi Vida", "Marc Anthony", "104.0", "21", "252.3",
                                            "/home/dj/Música/Vivir Mi Vida.mp3");
        const auto newest = library.addTrack("Mi Gente", std::nullopt, "105.5", "8", "189.25",
                                             "/home/dj/Música/Mi Gente.flac");
        const auto queued = library.addTrack("Bailando", "Enrique Iglesias");
        const auto session = library.addPlaylist("2026-12-08", MixxxLibrary::history);
        const auto crate = library.addPlaylist("Salsa", MixxxLibrary::plainList);
        const auto empty = library.addPlaylist("", MixxxLibrary::placeholder);
        library.addEntry(session, older, "'2026-12-08 20:25:10'");
        library.addEntry(session, newest, "'2026-12-08 20:30:00'");
        // Newer entries in Auto DJ, a crate and a placeholder are not history.
        library.addEntry(1, queued, "'2026-12-08 20:40:00'");
        library.addEntry(crate, queued, "'2026-12-08 20:41:00'");
        library.addEntry(empty, queued, "'2026-12-08 20:42:00'");
        library.addEntry(session, queued, "NULL");
    }
    EXPECT_EQ(MixxxDatabase::read(file), (MixxxPlay{.title = "Mi Gente",
                                                    .artist = std::nullopt,
                                                    .bpm = 105.5,
                                                    .keyId = 8,
                                                    .duration = 189.25,
                                                    .location = "/home/dj/Música/Mi Gente.flac",
                                                    .added = evening}));
}

TEST(MixxxDatabaseTests, TiesGoToTheLaterEntryAndColumnsMayBeEmpty) {
    TempFolder folder;
    const auto file = folder / "mixxxdb.sqlite";
    MixxxLibrary library(file);
    const auto session = library.addPlaylist("2026-12-08", MixxxLibrary::history);
    const auto first = library.addTrack("First", "A");
    const auto second = library.addTrack(std::nullopt, std::nullopt, "NULL", "NULL", "NULL");
    library.addEntry(session, first, "'2026-12-08 20:30:00'");
    library.addEntry(session, second, "'2026-12-08 20:30:00'");
    EXPECT_EQ(MixxxDatabase::read(file), MixxxPlay{.added = evening});

    // Key codes arrive as whatever number Mixxx stored; out of range means no key.
    library.connection().run("UPDATE library SET key_id = 21.9 WHERE id = " +
                             std::to_string(second));
    EXPECT_EQ(MixxxDatabase::read(file)->keyId, 21);
    library.connection().run("UPDATE library SET key_id = 1e19 WHERE id = " +
                             std::to_string(second));
    EXPECT_EQ(MixxxDatabase::read(file)->keyId, std::nullopt);
}

TEST(MixxxDatabaseTests, AnEntryWithAnUnreadableTimeIsNoPlay) {
    TempFolder folder;
    const auto file = folder / "mixxxdb.sqlite";
    MixxxLibrary library(file);
    EXPECT_EQ(MixxxDatabase::read(file), std::nullopt); // an empty history
    const auto session = library.addPlaylist("2026-12-08", MixxxLibrary::history);
    library.addEntry(session, library.addTrack("T", "A"), "'yesterday evening'");
    EXPECT_EQ(MixxxDatabase::read(file), std::nullopt);
}

TEST(MixxxDatabaseTests, BrokenDatabasesFailWithSQLitesMessage) {
    TempFolder folder;
    const auto garbage = folder / "garbage.sqlite";
    touch(garbage, std::string(4096, 'x'));
    const auto other = folder / "other.sqlite";
    testing::SQLiteFile(other).run("CREATE TABLE library (id INTEGER PRIMARY KEY, title TEXT)");
    for (const auto& file : {garbage, other}) {
        try {
            MixxxDatabase::read(file);
            ADD_FAILURE() << file << " should not read";
        } catch (const MixxxError& error) {
            EXPECT_EQ(error.kind, MixxxError::Kind::failed);
            EXPECT_FALSE(error.message.empty());
        }
    }
}

TEST(MixxxDatabaseTests, UsesAPathThatExistsAndNothingWithoutOne) {
    TempFolder folder;
    const auto flatpak = folder / "flatpak.sqlite";
    const auto plain = folder / "plain.sqlite";
    MixxxDatabase database({flatpak, plain});
    EXPECT_EQ(database.latest(), std::nullopt);

    MixxxLibrary second(plain);
    second.addEntry(second.addPlaylist("s", MixxxLibrary::history), second.addTrack("Plain", "A"),
                    "'2026-12-08 20:30:00'");
    EXPECT_EQ(MixxxDatabase({flatpak, plain}).latest()->title, "Plain");

    MixxxLibrary first(flatpak);
    first.addEntry(first.addPlaylist("s", MixxxLibrary::history), first.addTrack("Flatpak", "A"),
                   "'2026-12-08 20:30:00'");
    EXPECT_EQ(MixxxDatabase({flatpak, plain}).latest()->title, "Flatpak");
}

TEST(MixxxDatabaseTests, WithTwoDatabasesReadsTheOneChangedLast) {
    TempFolder folder;
    const auto flatpak = folder / "flatpak.sqlite";
    const auto plain = folder / "plain.sqlite";
    for (const auto& [file, title] : {std::pair{flatpak, "Flatpak"}, std::pair{plain, "Plain"}}) {
        MixxxLibrary library(file);
        library.addEntry(library.addPlaylist("s", MixxxLibrary::history),
                         library.addTrack(title, "A"), "'2026-12-08 20:30:00'");
    }
    const auto hourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours{1};
    const auto at = [&](const std::filesystem::path& file, int minutes) {
        std::filesystem::last_write_time(file, hourAgo + std::chrono::minutes{minutes});
    };
    MixxxDatabase database({flatpak, plain});
    at(flatpak, 0);
    at(plain, 0);
    EXPECT_EQ(database.latest()->title, "Flatpak") << "a tie goes to the first";
    at(plain, 1);
    EXPECT_EQ(database.latest()->title, "Plain");
    // A write that is still in the log counts as a change of its database.
    touch(flatpak.string() + "-wal", "");
    at(flatpak.string() + "-wal", 2);
    EXPECT_EQ(database.latest()->title, "Flatpak");
}

TEST(MixxxDatabaseTests, DefaultPathsTryTheFlatpakFirst) {
    const auto& paths = MixxxDatabase::defaultPaths();
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_TRUE(paths[0].is_absolute());
    EXPECT_TRUE(paths[0].string().ends_with("/.var/app/org.mixxx.Mixxx/.mixxx/mixxxdb.sqlite"));
    EXPECT_TRUE(paths[1].string().ends_with("/.mixxx/mixxxdb.sqlite"));
    EXPECT_EQ(paths[0].parent_path().parent_path().parent_path().parent_path().parent_path(),
              paths[1].parent_path().parent_path());
}

TEST(MixxxDatabaseTests, FollowsTheWriteAheadLogWhileMixxxWrites) {
    TempFolder folder;
    const auto file = folder / "mixxxdb.sqlite";
    MixxxLibrary library(file, true);
    library.connection().run("PRAGMA wal_autocheckpoint=0");
    const auto session = library.addPlaylist("2026-12-08", MixxxLibrary::history);
    library.addEntry(session, library.addTrack("One", "A"), "'2026-12-08 20:30:00'");
    MixxxDatabase database({file});
    EXPECT_EQ(database.latest()->title, "One");

    // Mixxx holds a write transaction open: the reader still sees the last commit.
    library.connection().run("BEGIN IMMEDIATE");
    library.addEntry(session, library.addTrack("Two", "A"), "'2026-12-08 20:35:00'");
    EXPECT_EQ(database.latest()->title, "One");
    library.connection().run("COMMIT");
    EXPECT_EQ(database.latest()->title, "Two");
}

TEST(MixxxDatabaseTests, ReadsAgainOnlyWhenTheDatabaseOrItsLogChanges) {
    TempFolder folder;
    const auto file = folder / "mixxxdb.sqlite";
    MixxxLibrary library(file);
    library.addEntry(library.addPlaylist("s", MixxxLibrary::history), library.addTrack("T", "A"),
                     "'2026-12-08 20:30:00'");
    MixxxDatabase database({file});
    const auto before = database.latest();
    ASSERT_TRUE(before);

    // Mixxx locks the database without writing it yet: the files are unchanged, so the
    // reader answers from its cache and does not meet the lock.
    library.connection().run("BEGIN EXCLUSIVE");
    library.connection().run("UPDATE library SET title = 'Changed'");
    EXPECT_EQ(database.latest(), before);
    EXPECT_EQ(MixxxDatabase(database).latest(), before); // copies share the cache

    // A change of the log makes the reader open the database, which is locked for longer
    // than the reader waits.
    touch(file.string() + "-wal", "");
    try {
        database.latest();
        ADD_FAILURE() << "a locked database should fail";
    } catch (const MixxxError& error) {
        EXPECT_EQ(error.kind, MixxxError::Kind::failed);
    }
    library.connection().run("COMMIT");
    EXPECT_EQ(database.latest()->title, "Changed");
}

TEST(MixxxDatabaseTests, RefusedAccessIsNotAllowed) {
    TempFolder folder;
    std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
    const auto hidden = folder / "hidden";
    std::filesystem::create_directory(hidden);
    const auto sandboxed = hidden / "mixxxdb.sqlite";
    const auto plain = folder / "mixxxdb.sqlite";
    const auto locked = folder / "locked.sqlite";
    for (const auto& file : {sandboxed, plain, locked}) {
        MixxxLibrary library(file);
        library.addEntry(library.addPlaylist("s", MixxxLibrary::history),
                         library.addTrack("T", "A"), "'2026-12-08 20:30:00'");
        std::filesystem::permissions(file, std::filesystem::perms::all);
    }
    std::filesystem::permissions(hidden, std::filesystem::perms::none);
    std::filesystem::permissions(locked, std::filesystem::perms::none);

    const auto notAllowed = [](const std::filesystem::path& first,
                               const std::filesystem::path& second) {
        try {
            MixxxDatabase({first, second}).latest();
            return false;
        } catch (const MixxxError& error) {
            return error.kind == MixxxError::Kind::notAllowed;
        }
    };
    // A refused existence check stops the search before the readable second file.
    testing::expectWithoutRoot([&] { return notAllowed(sandboxed, plain); });
    testing::expectWithoutRoot([&] { return notAllowed(locked, plain); });
    testing::expectWithoutRoot([&] { return MixxxDatabase({plain}).latest().has_value(); });
}

} // namespace
} // namespace bridge
