#include "SetmaraBridge/Settings/FakeKeychain.hpp"
#include "Settings/Secrets.hpp"
#include "Settings/SecretsError.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

namespace bridge {
namespace {

using ::testing::ElementsAre;
using testing::FakeKeychain;
using ::testing::IsEmpty;

const std::string account = "bridge-key";
const KeychainResult refusal = KeychainResult::failed(-25308);

// Writes `value` and tells whether it was saved; a failure must name the account.
bool written(const std::string& value, FakeKeychain& keychain) {
    try {
        Secrets::write(value, account, keychain);
        return true;
    } catch (const SecretsError& error) {
        EXPECT_EQ(error.account(), account);
        return false;
    }
}

std::optional<std::string> stored(const FakeKeychain& keychain) {
    const auto found = keychain.items.find(account);
    return found != keychain.items.end() ? std::optional(found->second) : std::nullopt;
}

TEST(SecretsWrite, WritesNothingWhenTheValueIsAlreadyThere) {
    FakeKeychain keychain;
    keychain.items[account] = "key-1";
    EXPECT_TRUE(written("key-1", keychain));
    EXPECT_THAT(keychain.writes, IsEmpty());

    FakeKeychain empty; // a missing item counts as empty text
    EXPECT_TRUE(written("", empty));
    EXPECT_THAT(empty.writes, IsEmpty());
}

TEST(SecretsWrite, AnEmptyValueDeletesTheItem) {
    FakeKeychain keychain;
    keychain.items[account] = "key-1";
    EXPECT_TRUE(written("", keychain));
    EXPECT_THAT(keychain.writes, ElementsAre("remove bridge-key"));
    EXPECT_EQ(stored(keychain), std::nullopt);
}

TEST(SecretsWrite, DeletingAnItemThatVanishedSucceeds) {
    FakeKeychain keychain;
    keychain.items[account] = "key-1";
    keychain.afterRead = [&] { keychain.items.clear(); };
    EXPECT_TRUE(written("", keychain));
    EXPECT_THAT(keychain.writes, ElementsAre("remove bridge-key"));
}

TEST(SecretsWrite, AnyOtherAnswerToADeleteFails) {
    for (const KeychainResult answer : {refusal, KeychainResult::duplicate}) {
        FakeKeychain keychain;
        keychain.items[account] = "key-1";
        keychain.refused.emplace("remove", answer);
        EXPECT_FALSE(written("", keychain));
    }
}

TEST(SecretsWrite, AnExistingItemIsUpdated) {
    FakeKeychain keychain;
    keychain.items[account] = "key-1";
    EXPECT_TRUE(written("key-2", keychain));
    EXPECT_THAT(keychain.writes, ElementsAre("update bridge-key"));
    EXPECT_EQ(stored(keychain), "key-2");
}

TEST(SecretsWrite, UpdatingAnItemThatVanishedAddsIt) {
    FakeKeychain keychain;
    keychain.items[account] = "key-1";
    keychain.afterRead = [&] { keychain.items.clear(); };
    EXPECT_TRUE(written("key-2", keychain));
    EXPECT_THAT(keychain.writes, ElementsAre("update bridge-key", "add bridge-key"));
    EXPECT_EQ(stored(keychain), "key-2");
}

TEST(SecretsWrite, TheAddAfterAVanishedItemMustBeDone) {
    for (const KeychainResult answer : {refusal, KeychainResult::duplicate}) {
        FakeKeychain keychain;
        keychain.items[account] = "key-1";
        keychain.afterRead = [&] { keychain.items.clear(); };
        keychain.refused.emplace("add", answer);
        EXPECT_FALSE(written("key-2", keychain));
    }
}

TEST(SecretsWrite, AFailedOrDuplicateUpdateFailsWithoutFallingBack) {
    for (const KeychainResult answer : {refusal, KeychainResult::duplicate}) {
        FakeKeychain keychain;
        keychain.items[account] = "key-1";
        keychain.refused.emplace("update", answer);
        EXPECT_FALSE(written("key-2", keychain));
        EXPECT_THAT(keychain.writes, ElementsAre("update bridge-key"));
    }
}

TEST(SecretsWrite, AMissingItemIsAdded) {
    FakeKeychain keychain;
    EXPECT_TRUE(written("key-1", keychain));
    EXPECT_THAT(keychain.writes, ElementsAre("add bridge-key"));
    EXPECT_EQ(stored(keychain), "key-1");
}

TEST(SecretsWrite, AddingAnItemThatAppearedUpdatesIt) {
    FakeKeychain keychain;
    keychain.afterRead = [&] { keychain.items[account] = "other"; };
    EXPECT_TRUE(written("key-1", keychain));
    EXPECT_THAT(keychain.writes, ElementsAre("add bridge-key", "update bridge-key"));
    EXPECT_EQ(stored(keychain), "key-1");
}

TEST(SecretsWrite, TheUpdateAfterADuplicateMustBeDone) {
    FakeKeychain vanishedAgain; // duplicate, then not found
    vanishedAgain.refused.emplace("add", KeychainResult::duplicate);
    EXPECT_FALSE(written("key-1", vanishedAgain));
    EXPECT_THAT(vanishedAgain.writes, ElementsAre("add bridge-key", "update bridge-key"));

    FakeKeychain refusing;
    refusing.afterRead = [&] { refusing.items[account] = "other"; };
    refusing.refused.emplace("update", refusal);
    EXPECT_FALSE(written("key-1", refusing));
}

TEST(SecretsWrite, AFailedOrNotFoundAddFailsWithoutFallingBack) {
    for (const KeychainResult answer : {refusal, KeychainResult::notFound}) {
        FakeKeychain keychain;
        keychain.refused.emplace("add", answer);
        EXPECT_FALSE(written("key-1", keychain));
        EXPECT_THAT(keychain.writes, ElementsAre("add bridge-key"));
    }
}

TEST(SecretsWrite, AnUnreadableItemIsWrittenAsIfMissing) {
    FakeKeychain keychain;
    keychain.items[account] = "key-1";
    keychain.unreadable = true;
    EXPECT_TRUE(written("key-1", keychain));
    EXPECT_THAT(keychain.writes, ElementsAre("add bridge-key", "update bridge-key"));
}

} // namespace
} // namespace bridge
