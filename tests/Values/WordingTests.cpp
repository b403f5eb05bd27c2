#include "Values/Wording.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string_view>

namespace bridge {
namespace {

using Wording::Text;

constexpr std::array<const Text*, 6> everyText{
    &Wording::unsafeServer, &Wording::keychainFailed,      &Wording::keychainFailedText,
    &Wording::thisComputer, &Wording::thisComputerCapital, &Wording::advancedNote};

// Words that name the Mac's own services or take the computer for a Mac; none may reach a
// Linux window (djay's Linux text may still say what the bridge does "on a Mac").
constexpr std::array<std::string_view, 6> macWords{"this Mac", "This Mac", "macOS",
                                                   "Keychain", "keychain", "Privacy & "};

bool namesTheMac(std::string_view text) {
    for (const auto word : macWords) {
        if (text.find(word) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

TEST(WordingTests, EveryMacTextNamesTheMacAndItsOtherWordsNever) {
    for (const Text* text : everyText) {
        SCOPED_TRACE(std::string(text->mac));
        EXPECT_TRUE(namesTheMac(text->mac));
        EXPECT_FALSE(namesTheMac(text->otherwise)) << text->otherwise;
    }
    EXPECT_TRUE(namesTheMac(Wording::bridgeKeyNote.mac));
    EXPECT_FALSE(namesTheMac(Wording::bridgeKeyNote.otherwise));
}

TEST(WordingTests, NotesThatOnlyNameTheComputerDifferInThoseWordsAlone) {
    const auto macOnly = [](std::string text, std::string_view from, std::string_view to) {
        return text.replace(text.find(from), from.size(), to);
    };
    EXPECT_EQ(macOnly(std::string(Wording::advancedNote.mac), "this Mac", "this computer"),
              Wording::advancedNote.otherwise);
    EXPECT_EQ(macOnly(std::string(Wording::bridgeKeyNote.mac), "your Keychain", "your keyring"),
              Wording::bridgeKeyNote.otherwise);
    EXPECT_EQ(macOnly(std::string(Wording::unsafeServer.mac), "this Mac", "this computer"),
              Wording::unsafeServer.otherwise);
}

TEST(WordingTests, ThisBuildShowsItsPlatformsWords) {
#if defined(__APPLE__)
    EXPECT_EQ(Wording::shown(Wording::thisComputer), "this Mac");
    EXPECT_TRUE(Wording::hasPrivacySettings);
#else
    EXPECT_EQ(Wording::shown(Wording::thisComputer), "this computer");
    EXPECT_EQ(Wording::shown(Wording::keychainFailed),
              "The bridge couldn’t keep its key in your keyring");
    EXPECT_FALSE(Wording::hasPrivacySettings);
#endif
}

} // namespace
} // namespace bridge
