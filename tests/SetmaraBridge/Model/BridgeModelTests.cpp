#include "ModelTesting.hpp"
#include "Server/ServerError.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::ModelRig;
using testing::settle;

class BridgeModelTests : public ::testing::Test {
protected:
    BridgeModelTests() { testing::needQt(); }

    BridgeModel& make() {
        model = std::make_unique<BridgeModel>(rig.services());
        settle();
        return *model;
    }

    // A settings change, and the requests it makes reaching the loop.
    void update(const std::function<void(BridgeSettings&)>& change) {
        model->update(change);
        settle();
    }

    const std::vector<std::string>& requests() const { return rig.loop->requests; }
    const EngineRecipe& lastRecipe() const { return rig.loop->starts.back().value(); }

    ModelRig rig;
    std::unique_ptr<BridgeModel> model;
};

TEST_F(BridgeModelTests, IncompleteSettingsRunTheLoopWithoutAnEngine) {
    make();
    EXPECT_EQ(requests(), std::vector<std::string>{"start without engine"});
    EXPECT_FALSE(model->isComplete());
    EXPECT_TRUE(model->status().sharing);
}

TEST_F(BridgeModelTests, CompleteSettingsStartAnEngineFromThem) {
    rig.storeComplete();
    rig.preferences->setValue("countAfter", 25);
    rig.preferences->setValue("sharing", "false");
    make();
    ASSERT_EQ(requests(), std::vector<std::string>{"start"});
    const EngineRecipe& recipe = lastRecipe();
    EXPECT_EQ(recipe.server, "https://setmara.app");
    EXPECT_EQ(recipe.key, "key-1");
    EXPECT_EQ(recipe.vdjPassword, "secret");
    EXPECT_EQ(recipe.countAfter, 25);
    EXPECT_FALSE(recipe.sharing);
    EXPECT_FALSE(model->status().sharing);
    EXPECT_EQ(recipe.queueFile, rig.services().queueFile);
}

TEST_F(BridgeModelTests, VirtualDJDecksFollowTheDeckCount) {
    rig.storeComplete();
    make();
    const std::pair<int, std::vector<int>> cases[] = {
        {1, {1}}, {4, {1, 2, 3, 4}}, {3, {1, 2, 3}}, {2, {1, 2}}};
    for (const auto& [count, decks] : cases) {
        update([count = count](BridgeSettings& s) { s.decks = count; });
        EXPECT_EQ(lastRecipe().decks, decks) << count;
    }
    EXPECT_EQ(EngineRecipe::vdjDecks(0), std::vector<int>{1});
}

TEST_F(BridgeModelTests, EveryDenonStartHasANewToken) {
    rig.storeComplete();
    rig.preferences->setValue("source", "denon");
    make();
    const auto first = lastRecipe().denonToken;
    update([](BridgeSettings& s) { s.countAfter = 30; });
    const auto second = lastRecipe().denonToken;
    EXPECT_EQ(first.size(), 16u);
    EXPECT_EQ(second.size(), 16u);
    EXPECT_NE(first, second);
}

TEST_F(BridgeModelTests, AChangeThatLeavesEverythingEqualNeitherSavesNorRestarts) {
    rig.storeComplete();
    make();
    const auto writes = rig.secrets->writes.size();
    update([](BridgeSettings& s) { s.decks = 2; });
    update([](BridgeSettings&) {});
    EXPECT_EQ(requests().size(), 1u);
    EXPECT_EQ(rig.secrets->writes.size(), writes);
}

TEST_F(BridgeModelTests, AnotherServerLetsGoOfTheKeyUnlessTheChangeBringsOne) {
    rig.storeComplete();
    make();
    update([](BridgeSettings& s) {
        s.advanced = true;
        s.serverURL = "http://127.0.0.1:9000";
    });
    EXPECT_EQ(model->settings().key, "");
    EXPECT_EQ(model->settings().pairedAs, "");
    EXPECT_FALSE(rig.secrets->items.contains("bridge-key"));
    EXPECT_EQ(requests().back(), "start without engine");

    update([](BridgeSettings& s) {
        s.serverURL = "http://localhost:9001";
        s.key = "key-2";
    });
    EXPECT_EQ(model->settings().key, "key-2");
    EXPECT_EQ(rig.secrets->items.at("bridge-key"), "key-2");
    EXPECT_EQ(requests().back(), "start");

    // The same server written differently keeps the key.
    update([](BridgeSettings& s) { s.serverURL = "http://localhost:9001/"; });
    EXPECT_EQ(model->settings().key, "key-2");
}

TEST_F(BridgeModelTests, AKeychainFailureIsToldOncePerRunOfFailures) {
    make();
    rig.failSecrets(true);
    update([](BridgeSettings& s) { s.key = "a"; });
    update([](BridgeSettings& s) { s.key = "b"; });
    ASSERT_EQ(rig.alerts->shown.size(), 1u);
    EXPECT_EQ(rig.alerts->shown[0].message,
              QStringLiteral("The bridge couldn’t keep its key in your keyring"));
    EXPECT_TRUE(model->keychainFailed());
    EXPECT_EQ(model->settings().key, "b"); // works until it quits

    rig.failSecrets(false);
    update([](BridgeSettings& s) { s.key = "c"; });
    EXPECT_FALSE(model->keychainFailed());
    rig.failSecrets(true);
    update([](BridgeSettings& s) { s.key = "d"; });
    EXPECT_EQ(rig.alerts->shown.size(), 2u);
}

// The loop takes them one after another in this order (BridgeLoop's tests show how).
TEST_F(BridgeModelTests, RequestsReachTheLoopInTheOrderMade) {
    rig.storeComplete();
    make();
    model->setSharing(false);
    model->setSharing(true);
    model->hideCurrent();
    EXPECT_TRUE(model->status().sharing); // the switch follows at once
    EXPECT_EQ(requests(), (std::vector<std::string>{"start", "sharing off", "sharing on", "hide"}));
    EXPECT_EQ(model->settings().sharing, true);
    EXPECT_EQ(rig.preferences->value("sharing").toString(), "true");
    EXPECT_EQ(rig.loop->starts.size(), 1u); // sharing never rebuilds the engine
}

TEST_F(BridgeModelTests, StatusesFromTheLoopAreKeptWhenTheyDiffer) {
    make();
    int changes = 0;
    QObject::connect(model.get(), &BridgeModel::statusChanged, [&] { ++changes; });
    BridgeStatus status = model->status();
    status.source = SourceState::connected;
    rig.loop->show(status); // as the bridge thread would
    settle();
    rig.loop->show(status);
    settle();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(model->status().source, SourceState::connected);
}

struct ModelPairing : BridgeModelTests {
    void answer(std::optional<Paired> paired, std::exception_ptr error = {}) {
        rig.loop->pairAnswer(std::move(paired), error);
        settle();
    }
    std::optional<std::string> failure;
    std::optional<Paired> paired;
    BridgeModel::PairDone done() {
        return [this](const std::optional<Paired>& answer, const std::string& text) {
            paired = answer;
            failure = answer ? std::nullopt : std::optional(text);
        };
    }
};

TEST_F(ModelPairing, AnAnswerStoresTheKeyAndThePairedName) {
    make();
    model->pair("ABCD2345", model->server(), done());
    ASSERT_EQ(rig.loop->pairings.size(), 1u);
    EXPECT_EQ(rig.loop->pairings[0].second, "https://setmara.app");
    answer(Paired{.key = "new-key", .name = "Anna", .gig = "Friday Milonga"});
    ASSERT_TRUE(paired);
    EXPECT_EQ(model->settings().key, "new-key");
    EXPECT_EQ(model->settings().pairedAs, paired->summary());
    EXPECT_EQ(rig.secrets->items.at("bridge-key"), "new-key");
    EXPECT_EQ(rig.preferences->value("pairedAs").toString().toStdString(), paired->summary());
    EXPECT_EQ(requests().back(), "start without engine"); // no VirtualDJ password yet
}

TEST_F(ModelPairing, AServerChangedMeanwhileFailsAndLeavesTheKey) {
    rig.storeComplete();
    make();
    model->pair("ABCD2345", model->server(), done());
    update([](BridgeSettings& s) {
        s.advanced = true;
        s.serverURL = "http://127.0.0.1:9000";
        s.key = "typed";
    });
    answer(Paired{.key = "from-old-server", .name = "Anna"});
    EXPECT_EQ(failure, "The server changed while pairing. Pair again with a code from it.");
    EXPECT_EQ(model->settings().key, "typed");
}

TEST_F(ModelPairing, FailuresGiveTheirTexts) {
    make();
    model->pair("ABCD2345", "not a url", done());
    EXPECT_EQ(failure, "The server’s address isn’t right.");
    EXPECT_TRUE(rig.loop->pairings.empty());

    model->pair("ABCD2345", model->server(), done());
    answer(std::nullopt, std::make_exception_ptr(ServerError::refused("That code is used up.")));
    EXPECT_EQ(failure, "That code is used up.");
    model->pair("ABCD2345", model->server(), done());
    answer(std::nullopt, std::make_exception_ptr(ServerError::unavailable));
    EXPECT_EQ(failure, "Setmara didn’t answer. Check the connection and try again.");
}

TEST_F(ModelPairing, ALinkAsksFirstAndReturnMeansCancel) {
    make();
    rig.alerts->choice = 1;
    model->openLink("setmara-bridge://pair?code=abcd-2345");
    ASSERT_EQ(rig.alerts->shown.size(), 1u);
    const Alert& question = rig.alerts->shown[0];
    EXPECT_EQ(question.message, QStringLiteral("Pair the bridge with code ABCD 2345?"));
    EXPECT_EQ(question.informative,
              QStringLiteral("It then sends the songs you play to the gig the code is for."));
    EXPECT_EQ(question.buttons, (QStringList{"Pair", "Cancel"}));
    EXPECT_EQ(question.returnButton, 1);
    EXPECT_EQ(question.escapeButton, 1);
    EXPECT_TRUE(rig.loop->pairings.empty());

    model->openLink("setmara-bridge://pair?code=no");
    model->openLink("https://setmara.app/pair?code=ABCD2345");
    EXPECT_EQ(rig.alerts->shown.size(), 1u); // links without a valid code are ignored
}

TEST_F(ModelPairing, ALinkInCapitalsIsIgnored) {
    make();
    rig.alerts->choice = 0;
    model->openLink("setmara-bridge://PAIR?code=ABCD2345");
    model->openLink("SETMARA-BRIDGE://pair?code=ABCD2345");
    model->openLink("Setmara-Bridge://Pair?code=ABCD2345");
    EXPECT_TRUE(rig.alerts->shown.empty());
    EXPECT_TRUE(rig.loop->pairings.empty());
}

TEST_F(ModelPairing, ALinkWhileAKeyIsThereNamesThePairing) {
    rig.storeComplete();
    make();
    rig.alerts->choice = 1;
    model->openLink("setmara-bridge://pair?code=ABCD2345");
    EXPECT_EQ(
        rig.alerts->shown.back().informative,
        QStringLiteral("It then uses the code’s key instead of the one it has now (Friday)."));
    update([](BridgeSettings& s) { s.pairedAs.clear(); });
    model->openLink("setmara-bridge://pair?code=ABCD2345");
    EXPECT_EQ(
        rig.alerts->shown.back().informative,
        QStringLiteral("It then uses the code’s key instead of the one it has now (from before)."));
}

TEST_F(ModelPairing, ALinkAnsweredPairTellsHowItWent) {
    make();
    rig.alerts->choice = 0;
    model->openLink("setmara-bridge://pair?code=ABCD2345");
    ASSERT_EQ(rig.loop->pairings.size(), 1u);
    answer(Paired{.key = "k", .name = "Anna"});
    EXPECT_EQ(rig.alerts->shown.back().message, QStringLiteral("Paired: Anna"));
    EXPECT_EQ(rig.alerts->shown.back().informative,
              QStringLiteral("Then say what it reads: the bridge’s window shows how."));

    rig.storeComplete();
    update([](BridgeSettings& s) { s.vdjPassword = "secret"; });
    model->openLink("setmara-bridge://pair?code=ABCD2345");
    answer(Paired{.key = "k2", .name = "Anna"});
    EXPECT_EQ(rig.alerts->shown.back().informative,
              QStringLiteral("The bridge sends the songs you play."));

    model->openLink("setmara-bridge://pair?code=ABCD2345");
    answer(std::nullopt, std::make_exception_ptr(ServerError::unavailable));
    EXPECT_EQ(rig.alerts->shown.back().message, QStringLiteral("The bridge didn’t pair"));
    EXPECT_EQ(rig.alerts->shown.back().informative,
              QStringLiteral("Setmara didn’t answer. Check the connection and try again."));
}

TEST_F(BridgeModelTests, PagesOpenOnlyWhenSafe) {
    make();
    model->openDancersPage(); // no gig: nothing
    BridgeStatus status = model->status();
    status.gig = Gig{.id = 1, .slug = "g", .name = "G", .url = "https://setmara.app/gigs/g"};
    model->show(status);
    model->openDancersPage();
    model->openScreen();
    status.gig->url = "http://example.com/gigs/g";
    status.gig->screenUrl = "https://setmara.app/screens/g";
    model->show(status);
    model->openDancersPage(); // plain HTTP elsewhere: not opened
    model->openScreen();
    model->openGuide();
    model->openSetmara();
    ASSERT_EQ(rig.opened.size(), 5u);
    EXPECT_EQ(rig.opened[0], QUrl("https://setmara.app/gigs/g"));
    EXPECT_EQ(rig.opened[1], QUrl("https://setmara.app/gigs/g/screen"));
    EXPECT_EQ(rig.opened[2], QUrl("https://setmara.app/screens/g"));
    EXPECT_TRUE(rig.privacyPanes.empty());
    update([](BridgeSettings& s) { s.source = Source::mixxx; });
    model->openPrivacySettings();
    EXPECT_EQ(rig.privacyPanes, std::vector<std::string>{"Privacy_AllFiles"});
}

} // namespace
} // namespace bridge
