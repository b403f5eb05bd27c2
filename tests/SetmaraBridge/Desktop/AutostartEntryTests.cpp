#include "Desktop/AutostartEntry.hpp"
#include "Support/Files.hpp"
#include "Support/TempFolder.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

namespace bridge {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// Sets an environment variable for the test's time, and puts the old value back.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, std::optional<std::string> value) : name(name) {
        if (const char* old = std::getenv(name)) {
            before = old;
        }
        put(value);
    }
    ~EnvironmentVariable() { put(before); }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

    void put(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }

private:
    const char* name;
    std::optional<std::string> before;
};

class AutostartEntryTest : public ::testing::Test {
protected:
    testing::TempFolder home;
    EnvironmentVariable homeVariable{"HOME", home.path().string()};
    EnvironmentVariable configVariable{"XDG_CONFIG_HOME", (home / "config").string()};
    fs::path entry = home / "config/autostart/app.setmara.Bridge.desktop";

    static std::string text(const fs::path& file) { return readWholeFile(file).bytes; }
};

// What desktop-file-validate says, and whether it passed.
std::pair<bool, std::string> validate(const fs::path& file) {
    FILE* out = ::popen(("desktop-file-validate '" + file.string() + "' 2>&1").c_str(), "r");
    if (out == nullptr) {
        return {false, "cannot run desktop-file-validate"};
    }
    std::string said;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, out) != nullptr) {
        said += buffer;
    }
    return {::pclose(out) == 0, said};
}

TEST_F(AutostartEntryTest, IsOffUntilSwitchedOnAndGoneOnceSwitchedOff) {
    EXPECT_FALSE(startsAtLogin());

    setStartAtLogin(true);
    EXPECT_TRUE(startsAtLogin());
    const auto [valid, said] = validate(entry);
    EXPECT_TRUE(valid) << said;
    const std::string written = text(entry);
    for (const char* line : {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Setmara Bridge\n",
                             "\nExec=setmara-bridge\n", "\nIcon=app.setmara.Bridge\n",
                             "\nX-GNOME-Autostart-enabled=true\n"}) {
        EXPECT_THAT(written, HasSubstr(line));
    }

    setStartAtLogin(false);
    EXPECT_FALSE(startsAtLogin());
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_NO_THROW(setStartAtLogin(false));
}

TEST_F(AutostartEntryTest, SwitchingOnTwiceLeavesTheFileAsItWas) {
    setStartAtLogin(true);
    struct stat first {};
    ASSERT_EQ(::stat(entry.c_str(), &first), 0);
    setStartAtLogin(true);
    struct stat second {};
    ASSERT_EQ(::stat(entry.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
}

TEST_F(AutostartEntryTest, AnEntryTheDesktopSwitchedOffIsOffUntilSwitchedOnAgain) {
    for (const char* mark : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        setStartAtLogin(true);
        std::ofstream(entry, std::ios::app) << mark << "\n";
        EXPECT_FALSE(startsAtLogin()) << mark;
        setStartAtLogin(true);
        EXPECT_TRUE(startsAtLogin()) << mark;
        EXPECT_THAT(text(entry), Not(HasSubstr(mark)));
    }
}

TEST_F(AutostartEntryTest, WithoutAnAbsoluteConfigFolderTheEntryGoesToDotConfig) {
    const fs::path inHome = home / ".config/autostart/app.setmara.Bridge.desktop";
    for (const std::optional<std::string>& config :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/config")}) {
        EnvironmentVariable variable("XDG_CONFIG_HOME", config);
        setStartAtLogin(true);
        EXPECT_TRUE(fs::exists(inHome)) << config.value_or("(unset)");
        EXPECT_TRUE(startsAtLogin());
        setStartAtLogin(false);
        EXPECT_FALSE(fs::exists(inHome));
    }
    EXPECT_FALSE(fs::exists("relative"));
    EXPECT_FALSE(fs::exists(entry));
}

TEST_F(AutostartEntryTest, AnEntryThatCannotBeWrittenOrRemovedThrowsNamingIt) {
    fs::create_directories(home / "config");
    std::ofstream(home / "config/autostart") << "a file where the folder should be\n";
    try {
        setStartAtLogin(true);
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("write"));
        EXPECT_THAT(error.what(), HasSubstr(entry.string()));
    }
    EXPECT_FALSE(startsAtLogin());

    fs::remove(home / "config/autostart");
    fs::create_directories(entry / "inside"); // a folder with something in it: unlink fails
    try {
        setStartAtLogin(false);
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("remove"));
        EXPECT_THAT(error.what(), HasSubstr(entry.string()));
    }
}

} // namespace
} // namespace bridge
