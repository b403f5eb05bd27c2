#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace bridge::ProDJLink {

// A track of a rekordbox export (PIONEER/rekordbox/export.pdb on a player's medium).
struct ExportTrack {
    std::uint32_t id = 0;
    std::string title;                 // trimmed; empty when the export has none
    std::optional<std::string> artist; // through the artists table; absent when none or blank
    std::optional<double> lengthSeconds;
    std::optional<double> bpm;

    bool operator==(const ExportTrack&) const = default;
};

// An export that cannot be read as a whole.
class RekordboxExportError : public std::exception {
public:
    enum class Kind {
        tooLarge,  // larger than RekordboxExport::maximumSize
        malformed, // not an export, or its header or a table's page chain is broken
    };

    explicit RekordboxExportError(Kind kind) noexcept : kind(kind) {}

    const char* what() const noexcept override {
        return kind == Kind::tooLarge ? "the rekordbox export is too large"
                                      : "the rekordbox export is malformed";
    }

    bool operator==(const RekordboxExportError& other) const noexcept { return kind == other.kind; }

    Kind kind;
};

// The tracks of an export, by rekordbox id.
class RekordboxExport {
public:
    // Real exports of large collections stay far below this; the NFS reader fetches no more.
    static constexpr std::size_t maximumSize = std::size_t{256} << 20;

    // Throws RekordboxExportError. Rows that are broken where the rest of the file is sound
    // are left out.
    explicit RekordboxExport(std::string_view pdbBytes);

    const ExportTrack* find(std::uint32_t id) const;
    const std::map<std::uint32_t, ExportTrack>& tracks() const { return byId; }

private:
    std::map<std::uint32_t, ExportTrack> byId;
};

// The same, as a plain map.
std::map<std::uint32_t, ExportTrack> tracksOf(std::string_view pdbBytes);

} // namespace bridge::ProDJLink
