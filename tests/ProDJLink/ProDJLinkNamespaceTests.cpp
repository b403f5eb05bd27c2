// The bridge and a simulated set on the real Pro DJ Link ports with real broadcasts, each in a
// network namespace of its own joined by a veth pair; nothing leaves those namespaces. Skips
// where namespaces cannot be made.
#include "Engine/BridgeLoop.hpp"
#include "ProDJLink/ProDJLinkLink.hpp"
#include "ProDJLink/ProDJLinkPresence.hpp"
#include "ProDJLinkSet.hpp"
#include "StageLinQ/StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace bridge {
namespace {

using namespace testing;

constexpr int skipped = 77;
constexpr int passed = 0;

bool shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// One byte through a pipe, so that each side waits for the other.
void signal(int pipe) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(pipe, &byte, 1);
}

bool awaitSignal(int pipe) {
    char byte = 0;
    return ::read(pipe, &byte, 1) == 1;
}

// The set's side: two players on 169.254.2.x broadcasting to 169.254.255.255.
[[noreturn]] void runSet(int ready, int configured) {
    if (::unshare(CLONE_NEWNET) != 0) {
        std::_Exit(skipped);
    }
    signal(ready);
    if (!awaitSignal(configured) || !shell("ip link set lo up") ||
        !shell("ip addr add 169.254.2.1/16 broadcast + dev vset") ||
        !shell("ip addr add 169.254.2.2/16 dev vset") || !shell("ip link set vset up")) {
        std::_Exit(1);
    }
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
    std::_Exit(passed);
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

// The bridge's namespace, which makes the set's and links the two.
[[noreturn]] void runBoth() {
    if (::unshare(CLONE_NEWNET) != 0 || !shell("ip -V")) {
        std::_Exit(skipped);
    }
    int ready[2];
    int configured[2];
    if (::pipe(ready) != 0 || ::pipe(configured) != 0) {
        std::_Exit(1);
    }
    const auto setProcess = ::fork();
    if (setProcess == 0) {
        runSet(ready[1], configured[0]);
    }
    const bool linked =
        awaitSignal(ready[0]) &&
        shell("ip link add vbridge type veth peer name vset netns " + std::to_string(setProcess)) &&
        shell("ip link set lo up") && shell("ip addr add 169.254.1.1/16 broadcast + dev vbridge") &&
        shell("ip link set vbridge up");
    signal(configured[1]);
    const auto failure = linked ? runBridge() : "the namespaces could not be linked";
    ::kill(setProcess, SIGKILL);
    ::waitpid(setProcess, nullptr, 0);
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
    }
    std::_Exit(failure.empty() ? passed : 1);
}

TEST(ProDJLinkNamespace, JoinsWithRealBroadcastsBetweenTwoNamespaces) {
    const auto child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        runBoth();
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == skipped) {
        GTEST_SKIP() << "network namespaces cannot be made here (needs CAP_SYS_ADMIN and ip)";
    }
    EXPECT_EQ(WEXITSTATUS(status), passed) << "see the message above";
}

} // namespace
} // namespace bridge
