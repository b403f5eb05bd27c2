#pragma once

#include "Readers/LastRead.hpp"
#include "Readers/MixxxHistory.hpp"

#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace bridge {

// Mixxx's library database, read-only. Copies share one cache.
class MixxxDatabase : public MixxxHistory {
public:
    // Candidate database files: of those that exist, the one written last is used (with its
    // log), the earlier in the list on a tie.
    explicit MixxxDatabase(std::vector<std::filesystem::path> paths);

    // Where Mixxx keeps its library on this platform, in the order they are tried.
    static const std::vector<std::filesystem::path>& defaultPaths();

    // The newest history entry of the database in use; absent when none exists.
    // Throws MixxxError::notAllowed when the platform hides a database, MixxxError::failed
    // when SQLite fails. The database is only read again when it or its log has changed.
    std::optional<MixxxPlay> latest() override;

    // One read of the database at `file`.
    static std::optional<MixxxPlay> read(const std::filesystem::path& file);

    static constexpr std::string_view query =
        "SELECT library.title, library.artist, library.bpm, library.key_id, library.duration, "
        "track_locations.location,\n"
        "       strftime('%s', PlaylistTracks.pl_datetime_added)\n"
        "FROM PlaylistTracks\n"
        "JOIN Playlists ON Playlists.id = PlaylistTracks.playlist_id\n"
        "JOIN library ON library.id = PlaylistTracks.track_id\n"
        "LEFT JOIN track_locations ON track_locations.id = library.location\n"
        "WHERE Playlists.hidden = 2 AND PlaylistTracks.pl_datetime_added IS NOT NULL\n"
        "ORDER BY PlaylistTracks.pl_datetime_added DESC, PlaylistTracks.id DESC\n"
        "LIMIT 1";

private:
    std::vector<std::filesystem::path> paths;
    std::shared_ptr<LastRead<std::optional<MixxxPlay>>> last;
};

} // namespace bridge
