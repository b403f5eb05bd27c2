#pragma once

#include "Values/DeckReading.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace bridge::testing {

// One read of a reader, run to its end.
inline VDJSnapshot readOnce(DeckReading& reader) {
    boost::asio::io_context io;
    auto result = boost::asio::co_spawn(io, reader.read(), boost::asio::use_future);
    io.run();
    return result.get();
}

// A writable connection to a test database, standing in for the DJ program.
class SQLiteFile {
public:
    explicit SQLiteFile(const std::filesystem::path& file) {
        if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
            sqlite3_close(db);
            throw std::runtime_error("cannot open test database");
        }
    }
    ~SQLiteFile() { sqlite3_close(db); }
    SQLiteFile(const SQLiteFile&) = delete;
    SQLiteFile& operator=(const SQLiteFile&) = delete;

    void run(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            std::string text = message != nullptr ? message : "unknown";
            sqlite3_free(message);
            throw std::runtime_error("test SQL failed: " + text);
        }
    }

    sqlite3* handle() const { return db; }

private:
    sqlite3* db = nullptr;
};

// Runs `check` where file permissions apply. Root passes every permission check, so as root
// it runs in a child process that has given up root's rights; `check` returns whether the
// behaviour was right, and files it touches must be reachable by the user "nobody".
template <class Check>
void expectWithoutRoot(Check check) {
    if (::geteuid() != 0) {
        EXPECT_TRUE(check());
        return;
    }
    EXPECT_EXIT(
        {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                std::_Exit(2);
            }
            std::_Exit(check() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace bridge::testing

namespace bridge {

inline void PrintTo(const Song& song, std::ostream* out) {
    const auto text = [](const std::optional<std::string>& value) {
        return value ? "\"" + *value + "\"" : std::string("none");
    };
    const auto number = [](const std::optional<double>& value) {
        return value ? std::to_string(*value) : std::string("none");
    };
    *out << "{file " << text(song.filePath) << ", title " << text(song.title) << ", artist "
         << text(song.artist) << ", bpm " << number(song.bpm) << ", key " << text(song.key)
         << ", length " << number(song.lengthSeconds) << "}";
}

inline void PrintTo(const VDJSnapshot& snapshot, std::ostream* out) {
    for (const auto& deck : snapshot.decks) {
        *out << "[deck " << deck.deck << (deck.loaded ? " loaded" : "")
             << (deck.audible ? " audible" : "") << " ";
        if (deck.song) {
            PrintTo(*deck.song, out);
        }
        *out << "]";
    }
}

} // namespace bridge
