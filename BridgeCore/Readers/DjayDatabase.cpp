#include "Readers/DjayDatabase.hpp"

#include "Readers/SQLiteReadOnly.hpp"
#include "Support/HomeFolder.hpp"

#include <sqlite3.h>

#include <unistd.h>

namespace bridge {

DjayDatabase::DjayDatabase(std::filesystem::path path)
    : path(std::move(path)), last(std::make_shared<LastRead<std::optional<DjayHistoryItem>>>()) {}

const std::filesystem::path& DjayDatabase::defaultPath() {
    static const std::filesystem::path path =
        inHomeFolder("~/Music/djay/djay Media Library.djayMediaLibrary/MediaLibrary.db");
    return path;
}

std::optional<DjayHistoryItem> DjayDatabase::latest() {
    if (::access(path.c_str(), F_OK) != 0) {
        return std::nullopt;
    }
    std::filesystem::path log = path;
    log += "-wal";
    return last->value({path, log}, [this] { return read(); });
}

std::optional<DjayHistoryItem> DjayDatabase::read() const {
    try {
        const SQLiteReadOnly db(path);
        SQLiteStatement statement(db, query);
        std::optional<DjayHistoryItem> kept;
        while (statement.step()) {
            const void* blob = sqlite3_column_blob(statement.handle(), 0);
            const int size = sqlite3_column_bytes(statement.handle(), 0);
            if (blob == nullptr || size <= 0) {
                continue;
            }
            auto item = DjayHistoryItem::decode(
                std::string_view(static_cast<const char*>(blob), static_cast<std::size_t>(size)));
            // Rows come newest first, so among equal start times the newer row stays.
            if (item && (!kept || item->started > kept->started)) {
                kept = std::move(item);
            }
        }
        return kept;
    } catch (const SQLiteOpenError& error) {
        throw DjayHistoryError::failed(error.text);
    } catch (const SQLiteError& error) {
        throw DjayHistoryError::failed(error.message);
    }
}

} // namespace bridge
