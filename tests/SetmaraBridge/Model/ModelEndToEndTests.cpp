#include "GigServerStandIn.hpp"
#include "Model/BridgeThread.hpp"
#include "ModelTesting.hpp"
#include "VirtualDJStandIn.hpp"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::waitFor;

// The real loop on its thread, the gig server and VirtualDJ stand-ins: paired by a link, a
// song on air for the share delay reaches the gig and the status.
TEST(ModelEndToEndTests, APairingLinkAndASongOnAirEndAtTheGig) {
    testing::needQt();
    GigServerStandIn server;
    VirtualDJStandIn virtualDJ("pw");
    testing::ModelRig rig;
    rig.preferences->setValue("advanced", "true");
    rig.preferences->setValue("serverURL", QString::fromStdString(server.url()));
    rig.preferences->setValue("vdjPort", virtualDJ.port());
    rig.preferences->sync();
    rig.secrets->items["virtualdj-password"] = "pw";
    auto services = rig.services();
    services.makeLoop = [](LoopControl::Show show) {
        return std::make_unique<BridgeThread>(std::move(show));
    };
    BridgeModel model(std::move(services));
    EXPECT_FALSE(model.isComplete());

    const Gig gig = server.startGig({.name = "Friday Milonga"});
    rig.alerts->choice = 0; // "Pair"
    model.openLink(
        QString::fromStdString("setmara-bridge://pair?code=" + server.makePairingCode("Anna")));
    ASSERT_TRUE(waitFor([&] { return model.isComplete(); }, 10));
    EXPECT_EQ(rig.alerts->shown.back().message, QStringLiteral("Paired: Anna"));

    virtualDJ.load(1, {.title = "Milonga Sentimental", .artist = "Canaro"});
    virtualDJ.setAudible(1, true);
    virtualDJ.setMasterDeck(1);
    const auto sent = [&] {
        const auto& recent = model.status().recent;
        return !recent.empty() && recent.front().status == QueuedPlay::Status::sent;
    };
    ASSERT_TRUE(waitFor(sent, 25)) << "the share delay is 10 s";
    EXPECT_EQ(model.status().recent.front().event.title, "Milonga Sentimental");
    const auto stored = server.plays(gig.id);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].title, "Milonga Sentimental");
    EXPECT_EQ(stored[0].artist, "Canaro");
}

// Through the real exchange: a server text that is no URL at all, and one without a scheme,
// which is a URL but not a safe one.
TEST(ModelEndToEndTests, AServerWithoutASchemeNeedsHttpsAndOneThatIsNoURLIsNotRight) {
    testing::needQt();
    testing::ModelRig rig;
    auto services = rig.services();
    services.makeLoop = [](LoopControl::Show show) {
        return std::make_unique<BridgeThread>(std::move(show));
    };
    BridgeModel model(std::move(services));
    const auto failureOf = [&](const std::string& server) {
        std::optional<std::string> failure;
        model.pair("ABCD2345", server,
                   [&](const std::optional<Paired>&, const std::string& text) { failure = text; });
        EXPECT_TRUE(waitFor([&] { return failure.has_value(); }, 5));
        return failure.value_or("");
    };
    const std::string unsafe = "The server’s address needs HTTPS (plain HTTP only to this "
                               "computer: 127.0.0.1 or localhost).";
    EXPECT_EQ(failureOf("setmara.example"), unsafe);
    EXPECT_EQ(failureOf("//setmara.example/"), unsafe);
    EXPECT_EQ(failureOf("not a url"), "The server’s address isn’t right.");
    EXPECT_EQ(failureOf("https://[bad"), "The server’s address isn’t right.");
}

} // namespace
} // namespace bridge
