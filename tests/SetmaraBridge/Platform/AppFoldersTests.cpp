#include "Platform/AppFolders.hpp"
#include "PlatformTesting.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::ScopedVariable;

TEST(AppFoldersTests, QueueFileIsInTheDataHomeGiven) {
    ScopedVariable home("HOME", "/home/dj");
    ScopedVariable data("XDG_DATA_HOME", "/data/dj");
    EXPECT_EQ(queueFile(), "/data/dj/SetmaraBridge/queue.json");
}

TEST(AppFoldersTests, QueueFileFallsBackToLocalShareUnlessTheDataHomeIsAbsolute) {
    ScopedVariable home("HOME", "/home/dj");
    for (const std::optional<std::string>& dataHome :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/data")}) {
        ScopedVariable data("XDG_DATA_HOME", dataHome);
        EXPECT_EQ(queueFile(), "/home/dj/.local/share/SetmaraBridge/queue.json")
            << dataHome.value_or("(unset)");
    }
}

} // namespace
} // namespace bridge
