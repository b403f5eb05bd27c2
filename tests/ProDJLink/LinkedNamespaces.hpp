#pragma once

// Two network namespaces of a test's own, joined by a veth pair, so that the bridge and a
// simulated set use the real Pro DJ Link ports and real broadcasts without anything leaving
// them. Each side runs in a process of its own.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace bridge::testing {

// What the outcome of the two sides is.
enum class NamespacesOutcome { passed, failed, skipped };

namespace linked {

constexpr int skipped = 77;

inline bool shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// One byte through a pipe, so that each side waits for the other.
inline void signal(int pipe) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(pipe, &byte, 1);
}

inline bool awaitSignal(int pipe) {
    char byte = 0;
    return ::read(pipe, &byte, 1) == 1;
}

// The set's namespace, with addresses for two players and a mixer on "vset".
[[noreturn]] inline void runSet(int ready, int configured, const std::function<void()>& set) {
    if (::unshare(CLONE_NEWNET) != 0) {
        std::_Exit(skipped);
    }
    signal(ready);
    if (!awaitSignal(configured) || !shell("ip link set lo up") ||
        !shell("ip addr add 169.254.2.1/16 broadcast + dev vset") ||
        !shell("ip addr add 169.254.2.2/16 dev vset") ||
        !shell("ip addr add 169.254.2.33/16 dev vset") || !shell("ip link set vset up")) {
        std::_Exit(1);
    }
    set();
    std::_Exit(0);
}

// The bridge's namespace, which makes the set's and links the two.
[[noreturn]] inline void runBoth(const std::function<void()>& set,
                                 const std::function<std::string()>& bridge) {
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
        runSet(ready[1], configured[0], set);
    }
    const bool linked =
        awaitSignal(ready[0]) &&
        shell("ip link add vbridge type veth peer name vset netns " + std::to_string(setProcess)) &&
        shell("ip link set lo up") && shell("ip addr add 169.254.1.1/16 broadcast + dev vbridge") &&
        shell("ip link set vbridge up");
    signal(configured[1]);
    const auto failure = linked ? bridge() : "the namespaces could not be linked";
    ::kill(setProcess, SIGKILL);
    ::waitpid(setProcess, nullptr, 0);
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
    }
    std::_Exit(failure.empty() ? 0 : 1);
}

} // namespace linked

// Runs `set` in one namespace, its devices at 169.254.2.1, .2 and .33 on "vset" and broadcasting
// to 169.254.255.255, and `bridge` in another at 169.254.1.1 on "vbridge"; both have their own
// loopback. `bridge` returns what went wrong, or nothing; the set is ended when it returns.
// Skipped where namespaces cannot be made (it needs CAP_SYS_ADMIN and ip).
inline NamespacesOutcome inLinkedNamespaces(const std::function<void()>& set,
                                            const std::function<std::string()>& bridge) {
    const auto child = ::fork();
    if (child < 0) {
        return NamespacesOutcome::failed;
    }
    if (child == 0) {
        linked::runBoth(set, bridge);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return NamespacesOutcome::failed;
    }
    switch (WEXITSTATUS(status)) {
    case 0:
        return NamespacesOutcome::passed;
    case linked::skipped:
        return NamespacesOutcome::skipped;
    default:
        return NamespacesOutcome::failed;
    }
}

} // namespace bridge::testing
