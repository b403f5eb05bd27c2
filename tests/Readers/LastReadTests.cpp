#include "Readers/LastRead.hpp"
#include "Support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

namespace bridge {
namespace {

using testing::TempFolder;

void write(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
}

TEST(LastReadTests, ReadsAgainWhenAFileAppearsGrowsOrIsTouched) {
    TempFolder folder;
    const auto db = folder / "db";
    const auto log = folder / "db-wal";
    write(db, "data");
    LastRead<int> last;
    int reads = 0;
    const auto read = [&] { return ++reads; };

    EXPECT_EQ(last.value({db, log}, read), 1);
    EXPECT_EQ(last.value({db, log}, read), 1);
    write(log, "x"); // the log appears
    EXPECT_EQ(last.value({db, log}, read), 2);
    write(log, "xy"); // it grows
    EXPECT_EQ(last.value({db, log}, read), 3);
    const auto written = std::filesystem::last_write_time(log);
    std::filesystem::last_write_time(log, written + std::chrono::seconds(1)); // same size
    EXPECT_EQ(last.value({db, log}, read), 4);
    std::filesystem::remove(log);
    EXPECT_EQ(last.value({db, log}, read), 5);
    EXPECT_EQ(last.value({db, log}, read), 5);
}

TEST(LastReadTests, AFailedReadIsReportedAndKeepsTheGoodValue) {
    TempFolder folder;
    const auto db = folder / "db";
    write(db, "data");
    LastRead<std::optional<int>> last;
    EXPECT_EQ(last.value({db}, [] { return std::optional<int>{}; }), std::nullopt);
    EXPECT_EQ(last.value({db}, [] { return std::optional<int>{7}; }), std::nullopt); // cached

    write(db, "changed");
    EXPECT_EQ(last.value({db}, [] { return std::optional<int>{7}; }), 7);
    write(db, "changed again");
    EXPECT_THROW(last.value({db}, []() -> std::optional<int> { throw std::runtime_error("x"); }),
                 std::runtime_error);
    // The stamps of the failed read were not kept, so the next call reads again.
    EXPECT_EQ(last.value({db}, [] { return std::optional<int>{8}; }), 8);
}

} // namespace
} // namespace bridge
