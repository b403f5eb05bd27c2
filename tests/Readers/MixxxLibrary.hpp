#pragma once

#include "ReadersTesting.hpp"

#include <optional>
#include <string>

namespace bridge::testing {

// A Mixxx library database with Mixxx's own table layout, filled the way Mixxx fills it.
class MixxxLibrary {
public:
    // Playlists' `hidden` column: what kind of list each row is.
    static constexpr int plainList = 0;
    static constexpr int autoDj = 1;
    static constexpr int history = 2;
    static constexpr int placeholder = -1;

    explicit MixxxLibrary(const std::filesystem::path& file, bool writeAheadLog = false)
        : db(file) {
        db.run("PRAGMA synchronous=OFF"); // the tests' writes need not reach the disk
        if (writeAheadLog) {
            db.run("PRAGMA journal_mode=WAL");
        }
        db.run(R"(
CREATE TABLE library (
  id INTEGER PRIMARY KEY AUTOINCREMENT, artist varchar(64), title varchar(64),
  album varchar(64), year varchar(16), genre varchar(64), tracknumber varchar(3),
  location integer REFERENCES track_locations(location), comment varchar(256),
  url varchar(256), duration float, bitrate integer, samplerate integer, cuepoint integer,
  bpm float, wavesummaryhex blob, channels integer, datetime_added DEFAULT CURRENT_TIMESTAMP,
  mixxx_deleted integer, played integer, header_parsed integer DEFAULT 0,
  filetype varchar(8) DEFAULT "?", replaygain float DEFAULT 0, timesplayed integer DEFAULT 0,
  rating integer DEFAULT 0, key varchar(8) DEFAULT "", beats BLOB, beats_version TEXT,
  composer varchar(64) DEFAULT "", bpm_lock INTEGER DEFAULT 0, beats_sub_version TEXT DEFAULT '',
  keys BLOB, keys_version TEXT, keys_sub_version TEXT, key_id INTEGER DEFAULT 0,
  grouping TEXT DEFAULT "", album_artist TEXT DEFAULT "", coverart_source INTEGER DEFAULT 0,
  coverart_type INTEGER DEFAULT 0, coverart_location TEXT DEFAULT "",
  coverart_hash INTEGER DEFAULT 0, replaygain_peak REAL DEFAULT -1.0,
  tracktotal TEXT DEFAULT '//', color INTEGER, coverart_color INTEGER, coverart_digest BLOB,
  last_played_at DATETIME DEFAULT NULL, source_synchronized_ms INTEGER DEFAULT NULL);
CREATE TABLE track_locations (
  id INTEGER PRIMARY KEY AUTOINCREMENT, location varchar(512) UNIQUE, filename varchar(512),
  directory varchar(512), filesize INTEGER, fs_deleted INTEGER, needs_verification INTEGER);
CREATE TABLE Playlists (
  id INTEGER PRIMARY KEY, name varchar(48), position INTEGER,
  hidden INTEGER DEFAULT 0 NOT NULL, date_created datetime, date_modified datetime,
  locked INTEGER DEFAULT 0);
CREATE TABLE PlaylistTracks (
  id INTEGER PRIMARY KEY, playlist_id INTEGER REFERENCES Playlists(id),
  track_id INTEGER REFERENCES library(id), position INTEGER, pl_datetime_added);
INSERT INTO Playlists (id, name, position, hidden, date_created, date_modified)
  VALUES (1, 'Auto DJ', 0, 1, '2026-12-01 18:00:00', '2026-12-01 18:00:00');
)");
    }

    // A track in the library, with its file when a path is given; returns its id.
    sqlite3_int64 addTrack(const std::optional<std::string>& title,
                           const std::optional<std::string>& artist,
                           const std::string& bpm = "124.0", const std::string& keyId = "21",
                           const std::string& duration = "215.47",
                           const std::optional<std::string>& path = std::nullopt) {
        std::string location = "NULL";
        if (path) {
            const auto slash = path->rfind('/');
            db.run("INSERT INTO track_locations (location, filename, directory, filesize, "
                   "fs_deleted, needs_verification) VALUES (" +
                   quoted(*path) + ", " + quoted(path->substr(slash + 1)) + ", " +
                   quoted(path->substr(0, slash)) + ", 8614023, 0, 0)");
            location = std::to_string(sqlite3_last_insert_rowid(db.handle()));
        }
        db.run("INSERT INTO library (artist, title, album, year, genre, location, duration, "
               "bitrate, samplerate, bpm, channels, filetype, key, key_id, timesplayed) VALUES (" +
               text(artist) + ", " + text(title) + ", 'Salsa Hits', '2014', 'Salsa', " + location +
               ", " + duration + ", 320, 44100, " + bpm + ", 2, 'mp3', 'A♭m', " + keyId + ", 3)");
        return sqlite3_last_insert_rowid(db.handle());
    }

    // A playlist of the given kind; returns its id.
    sqlite3_int64 addPlaylist(const std::string& name, int hidden) {
        db.run("INSERT INTO Playlists (name, position, hidden, date_created, date_modified) "
               "VALUES (" +
               quoted(name) + ", 0, " + std::to_string(hidden) +
               ", '2026-12-08 20:00:00', '2026-12-08 20:00:00')");
        return sqlite3_last_insert_rowid(db.handle());
    }

    // An entry of a playlist; `added` is the SQL value of pl_datetime_added (UTC text).
    void addEntry(sqlite3_int64 playlist, sqlite3_int64 track, const std::string& added) {
        db.run("INSERT INTO PlaylistTracks (playlist_id, track_id, position, pl_datetime_added) "
               "VALUES (" +
               std::to_string(playlist) + ", " + std::to_string(track) + ", 1, " + added + ")");
    }

    SQLiteFile& connection() { return db; }

    static std::string quoted(const std::string& value) {
        std::string result = "'";
        for (char c : value) {
            result += c;
            if (c == '\'') {
                result += '\'';
            }
        }
        return result + "'";
    }

private:
    static std::string text(const std::optional<std::string>& value) {
        return value ? quoted(*value) : "NULL";
    }

    SQLiteFile db;
};

} // namespace bridge::testing
