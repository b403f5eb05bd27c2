#pragma once

#include "Readers/DjayHistory.hpp"
#include "Readers/LastRead.hpp"

#include <filesystem>
#include <memory>
#include <string_view>

namespace bridge {

// djay's media library database, read-only. Copies share one cache.
class DjayDatabase : public DjayHistory {
public:
    explicit DjayDatabase(std::filesystem::path path);

    static const std::filesystem::path& defaultPath();

    // The history entry that started last among the newest ones; absent without a database.
    // Throws DjayHistoryError. The database is only read again when it or its log changed.
    std::optional<DjayHistoryItem> latest() override;

    static constexpr std::string_view query = "SELECT data FROM database2 WHERE collection = "
                                              "'historySessionItems' ORDER BY rowid DESC LIMIT 50";

private:
    std::optional<DjayHistoryItem> read() const;

    std::filesystem::path path;
    std::shared_ptr<LastRead<std::optional<DjayHistoryItem>>> last;
};

} // namespace bridge
