#include "Server/SettingsRules.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

TEST(SettingsRulesTests, CompleteSettings) {
    using SettingsRules::isComplete;
    EXPECT_TRUE(isComplete("https://setmara.app", "key", Source::virtualDJ, "pw", 80));
    EXPECT_FALSE(isComplete("https://setmara.app", "key", Source::virtualDJ, "pw", 0));
    EXPECT_FALSE(isComplete("https://setmara.app", "key", Source::virtualDJ, "pw", 65536));
    EXPECT_FALSE(isComplete("https://setmara.app", "key", Source::virtualDJ, "", 80));
    EXPECT_TRUE(isComplete("https://setmara.app", "key", Source::mixxx, "", 0));
    // A music player needs the player chosen; nothing of VirtualDJ's.
    EXPECT_FALSE(isComplete("https://setmara.app", "key", Source::musicPlayer, "pw", 80));
    EXPECT_TRUE(isComplete("https://setmara.app", "key", Source::musicPlayer, "", 0,
                           "org.mpris.MediaPlayer2.vlc"));
    EXPECT_TRUE(isComplete("https://setmara.app", "key", Source::mixxx, "", 0, ""));
    EXPECT_FALSE(isComplete("https://setmara.app", "", Source::mixxx, "", 0));
    EXPECT_FALSE(isComplete("http://setmara.app", "key", Source::mixxx, "", 0));
}

TEST(SettingsRulesTests, AdvancedWhenSavedOrNotTheDefault) {
    EXPECT_TRUE(SettingsRules::advanced(true, "https://setmara.app"));
    EXPECT_FALSE(SettingsRules::advanced(false, "https://other.test"));
    EXPECT_FALSE(SettingsRules::advanced(std::nullopt, "https://setmara.app"));
    EXPECT_TRUE(SettingsRules::advanced(std::nullopt, "https://setmara.app/"));
}

TEST(SettingsRulesTests, SameServer) {
    using SettingsRules::sameServer;
    EXPECT_TRUE(sameServer("https://setmara.app", "https://setmara.app/"));
    EXPECT_TRUE(sameServer("https://setmara.app", "https://setmara.app:443/x?y#z"));
    EXPECT_TRUE(sameServer("HTTPS://SetMara.app", "https://setmara.app"));
    EXPECT_TRUE(sameServer("http://127.0.0.1", "http://127.0.0.1:80"));
    EXPECT_FALSE(sameServer("http://127.0.0.1:8080", "http://127.0.0.1"));
    EXPECT_FALSE(sameServer("https://setmara.app", "https://other.app"));
    EXPECT_FALSE(sameServer("https://setmara.app", "http://setmara.app"));
    EXPECT_TRUE(sameServer("ftp://x.test", "ftp://x.test/y")) << "no default port on either side";
    EXPECT_FALSE(sameServer("ftp://x.test:21", "ftp://x.test"));
    // Texts that do not parse, or lack a host, compare as texts.
    EXPECT_TRUE(sameServer("not a url", "not a url"));
    EXPECT_FALSE(sameServer("not a url", "not  a url"));
    EXPECT_FALSE(sameServer("setmara.app", "setmara.app/"));
    EXPECT_FALSE(sameServer("https://a@setmara.app", "https://setmara.app"));
}

TEST(SettingsRulesTests, RangesFallBackToDefaults) {
    EXPECT_EQ(SettingsRules::countAfter(9), 10);
    EXPECT_EQ(SettingsRules::countAfter(121), 10);
    EXPECT_EQ(SettingsRules::countAfter(120), 120);
    EXPECT_EQ(SettingsRules::countAfter(std::nullopt), 10);
    EXPECT_EQ(SettingsRules::decks(0), 2);
    EXPECT_EQ(SettingsRules::decks(5), 2);
    EXPECT_EQ(SettingsRules::decks(4), 4);
    EXPECT_EQ(SettingsRules::decks(std::nullopt), 2);
}

} // namespace
} // namespace bridge
