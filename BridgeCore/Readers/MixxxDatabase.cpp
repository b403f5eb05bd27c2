#include "Readers/MixxxDatabase.hpp"

#include "Readers/SQLiteReadOnly.hpp"
#include "Support/HomeFolder.hpp"
#include "Support/Numbers.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <unistd.h>

namespace bridge {

namespace {

bool isPermissionError(int error) {
    return error == EPERM || error == EACCES;
}

std::optional<std::string> textColumn(sqlite3_stmt* statement, int column) {
    const auto* text = sqlite3_column_text(statement, column);
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

std::optional<double> doubleColumn(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return sqlite3_column_double(statement, column);
}

std::optional<std::int64_t> integerColumn(sqlite3_stmt* statement, int column) {
    const auto value = doubleColumn(statement, column);
    // 2^63 is exact as a double; the range check also turns away NaN.
    constexpr double limit = 9'223'372'036'854'775'808.0;
    if (!value || !(*value >= -limit && *value < limit)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(*value);
}

std::optional<double> decimal(const std::optional<std::string>& text) {
    return text ? parseNumber<double>(*text) : std::nullopt;
}

std::filesystem::path logOf(const std::filesystem::path& database) {
    std::filesystem::path log = database;
    log += "-wal";
    return log;
}

// When the database or its log was last written, as seconds and nanoseconds since 1970;
// the distant past when neither can be looked at.
std::pair<std::int64_t, std::int64_t> lastWritten(const std::filesystem::path& database) {
    constexpr auto past = std::numeric_limits<std::int64_t>::min();
    std::pair<std::int64_t, std::int64_t> newest{past, past};
    for (const auto& file : {database, logOf(database)}) {
        if (const auto stamp = fileStamp(file)) {
            newest = std::max(newest, std::pair{stamp->writtenSeconds, stamp->writtenNanoseconds});
        }
    }
    return newest;
}

} // namespace

MixxxDatabase::MixxxDatabase(std::vector<std::filesystem::path> paths)
    : paths(std::move(paths)), last(std::make_shared<LastRead<std::optional<MixxxPlay>>>()) {}

const std::vector<std::filesystem::path>& MixxxDatabase::defaultPaths() {
    static const std::vector<std::filesystem::path> paths{
#ifdef __APPLE__
        inHomeFolder("~/Library/Containers/org.mixxx.mixxx/Data/Library/Application "
                     "Support/Mixxx/mixxxdb.sqlite"),
        inHomeFolder("~/Library/Application Support/Mixxx/mixxxdb.sqlite"),
#else
        inHomeFolder("~/.var/app/org.mixxx.Mixxx/.mixxx/mixxxdb.sqlite"), // Flatpak
        inHomeFolder("~/.mixxx/mixxxdb.sqlite"),
#endif
    };
    return paths;
}

std::optional<MixxxPlay> MixxxDatabase::latest() {
    // Mixxx's own move instructions copy one library to the other place, so both may exist:
    // the one written last is in use, and a tie goes to the earlier path.
    const std::filesystem::path* chosen = nullptr;
    std::pair<std::int64_t, std::int64_t> chosenWritten;
    for (const auto& path : paths) {
        if (::access(path.c_str(), F_OK) != 0) {
            if (!isPermissionError(errno)) {
                continue;
            }
            // A hidden file ends the search.
            if (chosen == nullptr) {
                throw MixxxError::notAllowed();
            }
            break;
        }
        const auto written = lastWritten(path);
        if (chosen == nullptr || written > chosenWritten) {
            chosen = &path;
            chosenWritten = written;
        }
    }
    if (chosen == nullptr) {
        return std::nullopt;
    }
    return last->value({*chosen, logOf(*chosen)}, [&] { return read(*chosen); });
}

std::optional<MixxxPlay> MixxxDatabase::read(const std::filesystem::path& file) {
    try {
        const SQLiteReadOnly db(file);
        SQLiteStatement statement(db, query);
        if (!statement.step()) {
            return std::nullopt;
        }
        sqlite3_stmt* row = statement.handle();
        const auto added = decimal(textColumn(row, 6));
        if (!added) {
            return std::nullopt;
        }
        return MixxxPlay{
            .title = textColumn(row, 0),
            .artist = textColumn(row, 1),
            .bpm = doubleColumn(row, 2),
            .keyId = integerColumn(row, 3),
            .duration = doubleColumn(row, 4),
            .location = textColumn(row, 5),
            .added = instantFromReferenceSeconds(*added - ReferenceClock::unixEpochOffset.count()),
        };
    } catch (const SQLiteOpenError& error) {
        if (error.result == SQLITE_AUTH || error.result == SQLITE_PERM ||
            isPermissionError(error.systemError)) {
            throw MixxxError::notAllowed();
        }
        throw MixxxError::failed(error.text);
    } catch (const SQLiteError& error) {
        throw MixxxError::failed(error.message);
    }
}

} // namespace bridge
