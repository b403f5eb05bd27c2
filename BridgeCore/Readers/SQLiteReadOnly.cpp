#include "Readers/SQLiteReadOnly.hpp"

#include <sqlite3.h>

namespace bridge {

namespace {

constexpr int busyTimeoutMs = 250;

} // namespace

SQLiteOpenError::SQLiteOpenError(int result, int systemError)
    : result(result), systemError(systemError), text(sqlite3_errstr(result)) {}

SQLiteReadOnly::SQLiteReadOnly(const std::filesystem::path& file) {
    const int result = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (result != SQLITE_OK) {
        const int systemError = db != nullptr ? sqlite3_system_errno(db) : 0;
        // The handle exists even after a failed open and must be closed.
        sqlite3_close(db);
        db = nullptr;
        throw SQLiteOpenError(result, systemError);
    }
    sqlite3_busy_timeout(db, busyTimeoutMs);
}

SQLiteReadOnly::~SQLiteReadOnly() {
    sqlite3_close(db);
}

std::string SQLiteReadOnly::message() const {
    return sqlite3_errmsg(db);
}

SQLiteStatement::SQLiteStatement(const SQLiteReadOnly& connection, std::string_view sql)
    : connection(connection) {
    if (sqlite3_prepare_v2(connection.handle(), sql.data(), static_cast<int>(sql.size()),
                           &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        throw SQLiteError(connection.message());
    }
}

SQLiteStatement::~SQLiteStatement() {
    sqlite3_finalize(statement);
}

bool SQLiteStatement::step() {
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result == SQLITE_DONE) {
        return false;
    }
    throw SQLiteError(connection.message());
}

} // namespace bridge
