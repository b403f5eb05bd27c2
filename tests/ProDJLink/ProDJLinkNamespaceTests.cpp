// The bridge and a simulated set on the real Pro DJ Link ports with real broadcasts, each in a
// network namespace of its own joined by a veth pair; nothing leaves those namespaces. Skips
// where namespaces cannot be made.
#include "Engine/BridgeLoop.hpp"
#include "LinkedNamespaces.hpp"
#include "ProDJLink/ProDJLinkLink.hpp"
#include "ProDJLink/ProDJLinkPresence.hpp"
#include "ProDJLinkSet.hpp"
#include "StageLinQ/StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bridge {
namespace {

using namespace testing;

// The set's side: two players on 169.254.2.x broadcasting to 169.254.255.255.
void runSet() {
    asio::io_context context;
    ProDJLinkSet::Options options;
    options.mixer = false;
    options.subnet = "169.254.2.";
    options.hostBase = 0;
    options.target = "169.254.255.255";
    options.listenPort = ProDJLink::announcePort;
    ProDJLinkSet set{context, options};
    set.start();
    set.load(1, 1, ProDJLink::Slot::usb, 3);
    context.run_for(30s);
}

// The bridge's side, with every default: the real ports and the interface's own broadcast
// address. Returns what went wrong, or nothing.
std::string runBridge() {
    asio::io_context context;
    auto presence = ProDJLinkPresence::create(std::make_shared<ProDJLinkLink>(),
                                              ReferenceClock::now, BridgeLoop::sleep);
    std::optional<ProDJLinkNetwork::Heard> status;
    bool ended = false;
    auto task = Task::spawn(context.get_executor(),
                            presence->run([&](const ProDJLinkNetwork::Heard& heard) {
                                if (std::holds_alternative<ProDJLink::PlayerStatus>(heard.packet)) {
                                    status = heard;
                                }
                            }),
                            [&](std::exception_ptr) { ended = true; });
    const bool heard = runUntil(
        context, [&] { return status.has_value() || ended; }, 20s);
    const auto joined = presence->status();
    task.cancel();
    runUntil(context, [&] { return ended; });
    if (!heard || !status) {
        return "no status reached the bridge";
    }
    const ProDJLinkNetwork::Interface expected{"vbridge", "169.254.1.1", "169.254.255.255", {}};
    if (status->interface.name != expected.name || status->interface.address != expected.address ||
        status->interface.broadcast != expected.broadcast ||
        !status->from.starts_with("169.254.2.")) {
        return "status came from " + status->from + " on " + status->interface.name + " " +
               status->interface.address + " " + status->interface.broadcast;
    }
    if (joined.state != ProDJLinkPresence::State::joined || joined.number != 7 ||
        joined.players.name != "vbridge" || joined.players.mac == ProDJLink::MAC{}) {
        return "the bridge did not join as 7 on vbridge";
    }
    return {};
}

TEST(ProDJLinkNamespace, JoinsWithRealBroadcastsBetweenTwoNamespaces) {
    const auto outcome = inLinkedNamespaces(runSet, runBridge);
    if (outcome == NamespacesOutcome::skipped) {
        GTEST_SKIP() << "network namespaces cannot be made here (needs CAP_SYS_ADMIN and ip)";
    }
    EXPECT_EQ(outcome, NamespacesOutcome::passed) << "see the message above";
}

} // namespace
} // namespace bridge
