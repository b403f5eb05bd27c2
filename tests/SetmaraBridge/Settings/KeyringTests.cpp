// The keychain through QtKeychain against a real Secret Service on a private bus. Run only
// through keyring-session, which makes that bus; never on the user's own.
#include "Platform/QtKeychainItems.hpp"
#include "SetmaraBridge/Settings/KeychainResultPrinting.hpp"
#include "Settings/BridgeSettings.hpp"
#include "Settings/Secrets.hpp"
#include "Settings/SecretsError.hpp"
#include "Support/TempFolder.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QSettings>
#include <gtest/gtest.h>
#include <qt6keychain/keychain.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace bridge {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string account = "test-item";
const KeychainResult otherError = KeychainResult::failed(QKeychain::OtherError);

TEST(WithKeyring, WritesReadsUpdatesAndDeletes) {
    QtKeychainItems items;
    EXPECT_EQ(items.read(account), std::nullopt);
    EXPECT_EQ(items.add(account, "first · ’"), KeychainResult::done);
    EXPECT_EQ(items.read(account), "first · ’");
    EXPECT_EQ(items.update(account, "second"), KeychainResult::done);
    EXPECT_EQ(items.read(account), "second");
    // A write replaces the value: adding an existing item is never a duplicate.
    EXPECT_EQ(items.add(account, "third"), KeychainResult::done);
    EXPECT_EQ(items.read(account), "third");
    EXPECT_EQ(items.read("another-item"), std::nullopt);

    EXPECT_EQ(items.remove(account), KeychainResult::done);
    EXPECT_EQ(items.read(account), std::nullopt);
    EXPECT_EQ(items.remove(account), KeychainResult::done); // not there: still success
}

TEST(WithKeyring, ItemsOutliveTheKeychainObject) {
    {
        QtKeychainItems first;
        ASSERT_EQ(first.add(account, "kept"), KeychainResult::done);
    }
    QtKeychainItems second;
    EXPECT_EQ(second.read(account), "kept");
    EXPECT_EQ(second.remove(account), KeychainResult::done);
}

TEST(WithKeyring, SettingsKeepTheirSecretsInTheKeyring) {
    testing::TempFolder folder;
    QSettings preferences(QString::fromStdString((folder / "SetmaraBridge.conf").string()),
                          QSettings::IniFormat);
    QtKeychainItems items;
    BridgeSettings settings;
    settings.key = "bk_0123456789";
    settings.vdjPassword = "pässwort";
    settings.save(preferences, items);
    EXPECT_EQ(items.read(std::string(Secrets::keyAccount)), "bk_0123456789");
    EXPECT_EQ(BridgeSettings::load(preferences, items), settings);

    settings.key.clear(); // letting the key go deletes its item
    settings.save(preferences, items);
    EXPECT_EQ(items.read(std::string(Secrets::keyAccount)), std::nullopt);
    EXPECT_EQ(BridgeSettings::load(preferences, items), settings);
}

TEST(WithoutSecretService, EveryOperationFailsAtOnce) {
    QtKeychainItems items;
    const auto start = Clock::now();
    EXPECT_EQ(items.read(account), std::nullopt);
    EXPECT_EQ(items.add(account, "value"), otherError);
    EXPECT_EQ(items.update(account, "value"), otherError);
    EXPECT_EQ(items.remove(account), otherError);
    EXPECT_LT(Clock::now() - start, 5s) << "the failures came from the time limit";
}

TEST(WithoutSecretService, SavingSettingsFailsOnTheKey) {
    testing::TempFolder folder;
    QSettings preferences(QString::fromStdString((folder / "SetmaraBridge.conf").string()),
                          QSettings::IniFormat);
    QtKeychainItems items;
    BridgeSettings settings;
    settings.key = "bk_0123456789";
    try {
        settings.save(preferences, items);
        FAIL() << "the save succeeded";
    } catch (const SecretsError& error) {
        EXPECT_EQ(error.account(), Secrets::keyAccount);
    }
    EXPECT_EQ(BridgeSettings::load(preferences, items), BridgeSettings{});
}

// A Secret Service that takes the calls and never answers them.
TEST(SilentSecretService, AJobThatTakesTooLongFails) {
    ASSERT_TRUE(QDBusConnection::sessionBus().registerService("org.freedesktop.secrets"));
    QtKeychainItems items(300ms);
    const auto start = Clock::now();
    EXPECT_EQ(items.read(account), std::nullopt);
    EXPECT_GE(Clock::now() - start, 300ms);
    const KeychainResult result = items.add(account, "value");
    EXPECT_EQ(result.kind(), KeychainResult::Kind::failed);
    EXPECT_NE(result, otherError);
    EXPECT_LT(Clock::now() - start, 3s);
}

} // namespace
} // namespace bridge

int main(int argc, char** argv) {
    const char* session = std::getenv("KEYRING_SESSION");
    if (session == nullptr || std::strlen(session) == 0) {
        std::cerr << "Run through keyring-session: it makes the private bus these tests need.\n";
        return 1;
    }
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
