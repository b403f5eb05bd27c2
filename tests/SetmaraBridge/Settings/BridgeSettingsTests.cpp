#include "Server/PairingRules.hpp"
#include "SetmaraBridge/Settings/FakeKeychain.hpp"
#include "Settings/BridgeSettings.hpp"
#include "Settings/SecretsError.hpp"
#include "Support/TempFolder.hpp"

#include <QSettings>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sys/stat.h>

namespace bridge {
namespace {

using ::testing::ElementsAre;
using testing::FakeKeychain;
using ::testing::IsEmpty;
using ::testing::Not;

// Settings unlike the defaults in every field.
BridgeSettings changed() {
    return {.serverURL = "https://gig.example.org:8443/setmara",
            .advanced = true,
            .key = "bk_0123456789",
            .pairedAs = "Céline’s bridge, playing at Club “Nord”",
            .source = Source::whatsNowPlaying,
            .vdjPort = 8181,
            .vdjPassword = "pässwort",
            .decks = 4,
            .player = "org.mpris.MediaPlayer2.chromium",
            .playerName = "Chromium — Radio “Tango”",
            .countAfter = 45,
            .sharing = false};
}

class BridgeSettingsTest : public ::testing::Test {
protected:
    // The preferences file as a fresh start of the program reads it: every value is text.
    std::unique_ptr<QSettings> preferences() const {
        return std::make_unique<QSettings>(QString::fromStdString(file.string()),
                                           QSettings::IniFormat);
    }
    // Stores `text` under `name`, as a hand-edited file would hold it.
    void store(const QString& name, const QString& text) const {
        auto written = preferences();
        written->setValue(name, text);
        written->sync();
    }
    BridgeSettings loaded() { return BridgeSettings::load(*preferences(), keychain); }
    std::string fileText() const {
        std::ifstream in(file);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    testing::TempFolder folder;
    std::filesystem::path file = folder / "SetmaraBridge.conf";
    FakeKeychain keychain;
};

TEST_F(BridgeSettingsTest, NothingStoredLoadsTheDefaults) {
    const BridgeSettings settings = loaded();
    EXPECT_EQ(settings, BridgeSettings{});
    EXPECT_EQ(settings.serverURL, Pairing::defaultServer);
    EXPECT_FALSE(settings.advanced);
    EXPECT_EQ(settings.key, "");
    EXPECT_EQ(settings.pairedAs, "");
    EXPECT_EQ(settings.source, Source::virtualDJ);
    EXPECT_EQ(settings.vdjPort, 8080);
    EXPECT_EQ(settings.vdjPassword, "");
    EXPECT_EQ(settings.decks, 2);
    EXPECT_EQ(settings.player, "");
    EXPECT_EQ(settings.playerName, "");
    EXPECT_EQ(settings.countAfter, 10);
    EXPECT_TRUE(settings.sharing);
}

TEST_F(BridgeSettingsTest, EveryFieldSurvivesASaveAndAReload) {
    changed().save(*preferences(), keychain);
    EXPECT_EQ(loaded(), changed());
    EXPECT_EQ(keychain.items.at("bridge-key"), "bk_0123456789");
    EXPECT_EQ(keychain.items.at("virtualdj-password"), "pässwort");

    const auto stored = preferences();
    EXPECT_EQ(stored->value("source").toString(), "whatsnowplaying");
    EXPECT_EQ(stored->value("sharing").toString(), "false");
    EXPECT_EQ(stored->value("countAfter").toString(), "45");
    EXPECT_EQ(stored->value("player").toString(), "org.mpris.MediaPlayer2.chromium");
    EXPECT_FALSE(stored->contains("key"));
    EXPECT_THAT(fileText(), Not(::testing::HasSubstr("bk_0123456789")));
}

TEST_F(BridgeSettingsTest, ValuesLoadBeforeAReloadToo) {
    // The same QSettings still holds the values with the types they were set with.
    QSettings same(QString::fromStdString(file.string()), QSettings::IniFormat);
    changed().save(same, keychain);
    EXPECT_EQ(BridgeSettings::load(same, keychain), changed());
}

TEST_F(BridgeSettingsTest, EachSourceLoadsFromItsRawText) {
    for (const Source source : Source::all) {
        BridgeSettings settings;
        settings.source = source;
        settings.save(*preferences(), keychain);
        EXPECT_EQ(loaded().source, source) << source.raw();
    }
}

TEST_F(BridgeSettingsTest, AnUnknownSourceLoadsAsVirtualDJ) {
    for (const QString text : {"traktor", "Mixxx", "", "mixxx "}) {
        store("source", text);
        EXPECT_EQ(loaded().source, Source::virtualDJ) << text.toStdString();
    }
}

TEST_F(BridgeSettingsTest, AdvancedFollowsTheServerUnlessStored) {
    store("serverURL", "https://gig.example.org");
    EXPECT_TRUE(loaded().advanced);
    store("advanced", "false");
    EXPECT_FALSE(loaded().advanced);
    store("serverURL", QString::fromUtf8(Pairing::defaultServer.data()));
    store("advanced", "true");
    EXPECT_TRUE(loaded().advanced);
}

TEST_F(BridgeSettingsTest, DecksAndDelayOutOfRangeLoadAsDefaults) {
    const std::pair<QString, int> decks[] = {{"0", 2}, {"1", 1}, {"4", 4}, {"5", 2}, {"-1", 2}};
    for (const auto& [text, expected] : decks) {
        store("decks", text);
        EXPECT_EQ(loaded().decks, expected) << text.toStdString();
    }
    const std::pair<QString, int> delays[] = {{"9", 10}, {"10", 10}, {"120", 120}, {"121", 10}};
    for (const auto& [text, expected] : delays) {
        store("countAfter", text);
        EXPECT_EQ(loaded().countAfter, expected) << text.toStdString();
    }
}

TEST_F(BridgeSettingsTest, WronglyTypedValuesLoadAsDefaults) {
    store("vdjPort", "12abc");
    store("decks", "3.5");
    store("countAfter", "maybe");
    store("sharing", "0");      // QVariant::toBool would read false
    store("advanced", "maybe"); // and this as true
    const BridgeSettings settings = loaded();
    EXPECT_EQ(settings.vdjPort, 8080);
    EXPECT_EQ(settings.decks, 2);
    EXPECT_EQ(settings.countAfter, 10);
    EXPECT_TRUE(settings.sharing);
    EXPECT_FALSE(settings.advanced);

    store("vdjPort", "99999999999");
    EXPECT_EQ(loaded().vdjPort, 8080);
    store("vdjPort", "0"); // a whole number is kept; whether it is usable is decided elsewhere
    EXPECT_EQ(loaded().vdjPort, 0);
}

TEST_F(BridgeSettingsTest, AnUnreadableKeychainGivesEmptySecrets) {
    changed().save(*preferences(), keychain);
    keychain.unreadable = true;
    BridgeSettings expected = changed();
    expected.key.clear();
    expected.vdjPassword.clear();
    EXPECT_EQ(loaded(), expected);
}

TEST_F(BridgeSettingsTest, AKeyNotSavedStopsBeforeThePassword) {
    keychain.refused.emplace("add", KeychainResult::failed(-25308));
    try {
        changed().save(*preferences(), keychain);
        FAIL() << "the save succeeded";
    } catch (const SecretsError& error) {
        EXPECT_EQ(error.account(), "bridge-key");
    }
    EXPECT_THAT(keychain.writes, ElementsAre("add bridge-key"));
    // The preferences were written and synced first.
    EXPECT_EQ(preferences()->value("source").toString(), "whatsnowplaying");
}

TEST_F(BridgeSettingsTest, APasswordNotSavedNamesItsAccount) {
    keychain.items["virtualdj-password"] = "old";
    keychain.refused.emplace("update", KeychainResult::failed(-25308));
    try {
        changed().save(*preferences(), keychain);
        FAIL() << "the save succeeded";
    } catch (const SecretsError& error) {
        EXPECT_EQ(error.account(), "virtualdj-password");
    }
    EXPECT_EQ(keychain.items.at("bridge-key"), "bk_0123456789");
}

TEST_F(BridgeSettingsTest, SavingUnchangedSettingsWritesNothing) {
    changed().save(*preferences(), keychain);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    const std::string text = fileText();
    keychain.writes.clear();

    const auto again = preferences();
    loaded().save(*again, keychain);
    EXPECT_EQ(again->status(), QSettings::NoError);
    EXPECT_THAT(keychain.writes, IsEmpty());
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was written again";
    EXPECT_EQ(fileText(), text);

    // One changed value is written, and only that one goes to the keychain.
    BridgeSettings other = changed();
    other.vdjPassword = "new";
    other.save(*preferences(), keychain);
    EXPECT_THAT(keychain.writes, ElementsAre("update virtualdj-password"));
}

} // namespace
} // namespace bridge
