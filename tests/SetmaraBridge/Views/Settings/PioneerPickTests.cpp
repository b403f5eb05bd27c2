// The whole bridge on its own thread, reading Pioneer DJ players chosen in the Source pane,
// with every default of the real thing: the Pro DJ Link ports, broadcasts, NFS on port 111.
// The simulated set and the bridge each sit in a network namespace of the test's own; the gig
// server stand-in is on the bridge's 127.0.0.1.
#include "Engine/BridgeLoop.hpp"
#include "PickTesting.hpp"
#include "ProDJLink/LinkedNamespaces.hpp"
#include "ProDJLinkSet.hpp"
#include "SetmaraBridge/App/WidgetTesting.hpp"
#include "Views/Settings/SourcePane.hpp"

#include <QComboBox>
#include <QLabel>
#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using namespace std::chrono_literals;
using ProDJLink::Slot;

// Two players and a DJM. The first plays "Poema" on air; the second pre-listens to a track
// from the first one's stick, which is never shared.
void runSet() {
    boost::asio::io_context context;
    ProDJLinkSet::Options options;
    options.subnet = "169.254.2.";
    options.hostBase = 0;
    options.target = "169.254.255.255";
    options.listenPort = ProDJLink::announcePort;
    options.mediaPort = 111;
    ProDJLinkSet set{context, options};
    set.start();
    set.changeMedium(1, Slot::usb,
                     {{.id = 1, .title = "Poema", .artist = "Francisco Canaro"},
                      {.id = 2, .title = "Milonga sentimental", .artist = "Francisco Canaro"}});
    set.load(1, 1, Slot::usb, 1);
    set.onAir(1, true);
    set.play(1);
    set.load(2, 1, Slot::usb, 2);
    set.preListen(2);
    context.run_for(60s);
}

// The bridge's side; what went wrong, or nothing.
std::string runBridge() {
    testing::needWidgets();
    testing::BridgeOnStandIn bridge;
    BridgeModel model(bridge.services());
    SourcePane pane(model);
    pane.show();
    if (!testing::choose(*pane.findChild<QComboBox*>("reads"), "Pioneer DJ")) {
        return "Pioneer DJ is not in the picker";
    }
    if (!testing::waitFor([&] { return bridge.sent(model); }, 30)) {
        return "no play was sent within 30 s (the share delay is 10 s); the Source pane says " +
               pane.findChild<QLabel*>("sourceStatus")->text().toStdString() + " with " +
               std::to_string(model.status().decks.size()) + " decks";
    }
    const auto stored = bridge.server.plays(bridge.gig.id);
    if (stored.size() != 1 || stored[0].title != "Poema" ||
        stored[0].artist != "Francisco Canaro") {
        return "the gig holds " + std::to_string(stored.size()) + " plays, not just Poema";
    }
    if (bridge.server.bridgeReads() !=
        GigServerStandIn::BridgeReads{"prodjlink", std::nullopt, "connected"}) {
        return "the server did not hear that the bridge reads Pioneer DJ";
    }
    const auto status = pane.findChild<QLabel*>("sourceStatus")->text();
    if (status != "Reading the players on vbridge, 169.254.1.1") {
        return "the Source pane says " + status.toStdString();
    }
    return {};
}

TEST(PioneerPickTests, PlayersChosenInTheSourcePaneAreFoundAndTheSongOnAirReachesTheGig) {
    const auto outcome = testing::inLinkedNamespaces(runSet, runBridge);
    if (outcome == testing::NamespacesOutcome::skipped) {
        GTEST_SKIP() << "network namespaces cannot be made here (needs CAP_SYS_ADMIN and ip)";
    }
    EXPECT_EQ(outcome, testing::NamespacesOutcome::passed) << "see the message above";
}

} // namespace
} // namespace bridge
