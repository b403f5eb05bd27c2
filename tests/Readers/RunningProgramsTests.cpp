#include "Readers/RunningPrograms.hpp"
#include "Support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace bridge {
namespace {

void process(const std::filesystem::path& proc, const std::string& pid, const std::string& name) {
    std::filesystem::create_directories(proc / pid);
    std::ofstream(proc / pid / "comm") << name << '\n';
}

TEST(RunningProgramsTests, FindsProcessesByTheirShortName) {
    testing::TempFolder proc;
    process(proc.path(), "1", "systemd");
    process(proc.path(), "4242", "mixxx");
    process(proc.path(), "self", "djay");             // not a process folder
    std::filesystem::create_directories(proc / "77"); // ended while the list was read

    EXPECT_TRUE(isProgramRunning(isMixxxProcess, proc.path()));
    EXPECT_FALSE(isProgramRunning(isDjayProcess, proc.path()));
    EXPECT_FALSE(isProgramRunning(isMixxxProcess, proc / "missing"));

    process(proc.path(), "4300", "djay Pro AI");
    EXPECT_TRUE(isProgramRunning(isDjayProcess, proc.path()));

    // Flathub's Mixxx runs its renamed binary from a wrapper script.
    testing::TempFolder flatpak;
    process(flatpak.path(), "5100", "bwrap");
    process(flatpak.path(), "5107", "mixxx.bin");
    EXPECT_TRUE(isProgramRunning(isMixxxProcess, flatpak.path()));
}

TEST(RunningProgramsTests, NamesOfTheDjPrograms) {
    EXPECT_TRUE(isMixxxProcess("mixxx"));
    EXPECT_TRUE(isMixxxProcess("mixxx.bin"));
    EXPECT_FALSE(isMixxxProcess("mixxx.bin2"));
    EXPECT_FALSE(isMixxxProcess("mixxx-helper"));
    EXPECT_FALSE(isMixxxProcess("Mixxx"));
    EXPECT_TRUE(isDjayProcess("djay"));
    EXPECT_TRUE(isDjayProcess("djay Pro"));
    EXPECT_FALSE(isDjayProcess("xdjay"));
}

TEST(RunningProgramsTests, SeesThisVeryProcessInTheRealList) {
    EXPECT_TRUE(isProgramRunning([](std::string_view name) { return name == "ReadersTests"; }));
    EXPECT_FALSE(isProgramRunning(isDjayProcess)); // djay does not run on Linux
}

} // namespace
} // namespace bridge
