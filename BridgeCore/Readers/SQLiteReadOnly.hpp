#pragma once

#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace bridge {

// A database of another program could not be opened.
class SQLiteOpenError : public std::exception {
public:
    SQLiteOpenError(int result, int systemError);
    const char* what() const noexcept override { return text.c_str(); }

    int result;       // SQLite's result code
    int systemError;  // the platform's error number behind it, 0 when none
    std::string text; // SQLite's text for the result code
};

// A statement on an open database failed.
class SQLiteError : public std::exception {
public:
    explicit SQLiteError(std::string message) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }

    std::string message; // SQLite's message for the connection
};

// A read-only connection to a database that another program owns. The program may hold a
// write lock for a moment, so a busy database is retried for a short while.
class SQLiteReadOnly {
public:
    // Throws SQLiteOpenError; a missing file is not created.
    explicit SQLiteReadOnly(const std::filesystem::path& file);
    ~SQLiteReadOnly();
    SQLiteReadOnly(const SQLiteReadOnly&) = delete;
    SQLiteReadOnly& operator=(const SQLiteReadOnly&) = delete;

    sqlite3* handle() const { return db; }
    std::string message() const;

private:
    sqlite3* db = nullptr;
};

// One prepared statement, finalized with the object.
class SQLiteStatement {
public:
    // Throws SQLiteError when the statement does not prepare.
    SQLiteStatement(const SQLiteReadOnly& connection, std::string_view sql);
    ~SQLiteStatement();
    SQLiteStatement(const SQLiteStatement&) = delete;
    SQLiteStatement& operator=(const SQLiteStatement&) = delete;

    // True with a row, false when done; throws SQLiteError on any other result.
    bool step();
    sqlite3_stmt* handle() const { return statement; }

private:
    const SQLiteReadOnly& connection;
    sqlite3_stmt* statement = nullptr;
};

} // namespace bridge
