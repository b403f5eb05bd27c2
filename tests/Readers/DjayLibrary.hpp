#pragma once

#include "DjayItemBuilder.hpp"
#include "ReadersTesting.hpp"

namespace bridge::testing {

// djay's media library database: one key-value table of collections, as djay lays it out.
class DjayLibrary {
public:
    explicit DjayLibrary(const std::filesystem::path& file) : db(file) {
        db.run("PRAGMA journal_mode=WAL");
        db.run("PRAGMA synchronous=OFF"); // the tests' writes need not reach the disk
        db.run(R"(
CREATE TABLE "database2" ("rowid" INTEGER PRIMARY KEY, "collection" CHAR NOT NULL,
  "key" CHAR NOT NULL, "data" BLOB, "metadata" BLOB);
CREATE UNIQUE INDEX "true_primary_key" ON "database2" ("collection", "key");
CREATE TABLE "yap2" ("extension" CHAR NOT NULL, "key" CHAR NOT NULL, "data" BLOB,
  PRIMARY KEY ("extension", "key"));
)");
    }

    // A row of the collection with the given bytes as its data (NULL when absent).
    void add(const std::string& collection, const std::optional<std::string>& data) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db.handle(),
                           "INSERT INTO database2 (collection, key, data, metadata) "
                           "VALUES (?, ?, ?, x'00')",
                           -1, &statement, nullptr);
        const std::string key = "key-" + std::to_string(++rows);
        sqlite3_bind_text(statement, 1, collection.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, key.c_str(), -1, SQLITE_TRANSIENT);
        if (data) {
            sqlite3_bind_blob(statement, 3, data->data(), static_cast<int>(data->size()),
                              SQLITE_TRANSIENT);
        }
        const int result = sqlite3_step(statement);
        sqlite3_finalize(statement);
        if (result != SQLITE_DONE) {
            throw std::runtime_error("cannot add a test row");
        }
    }

    void addItem(const DjayItemBuilder& item) { add("historySessionItems", item.data()); }

    SQLiteFile& connection() { return db; }

private:
    SQLiteFile db;
    int rows = 0;
};

} // namespace bridge::testing
