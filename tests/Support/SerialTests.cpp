#include "StageLinQ/StageLinQTesting.hpp"
#include "Support/Serial.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace bridge {
namespace {

using namespace testing;

// A piece of work that notes its start and end, with a wait between them.
asio::awaitable<std::string> step(std::vector<std::string>& log, std::string name,
                                  std::chrono::milliseconds takes) {
    log.push_back(name + " starts");
    co_await pause(takes);
    log.push_back(name + " ends");
    co_return name + " done";
}

asio::awaitable<void> ask(Serial& serial, std::vector<std::string>& log, std::string name,
                          std::chrono::milliseconds takes, std::string& answer) {
    answer = co_await serial.run([&log, name, takes] { return step(log, name, takes); });
}

TEST(SerialTests, RunsWorkOneAtATimeInOrderAndAnswersEachCaller) {
    asio::io_context context;
    Serial serial;
    std::vector<std::string> log;
    std::string first, second, third;
    // The later work is shorter: only the order of giving decides.
    Task::spawn(context.get_executor(), ask(serial, log, "a", 20ms, first));
    Task::spawn(context.get_executor(), ask(serial, log, "b", 5ms, second));
    Task::spawn(context.get_executor(), ask(serial, log, "c", 1ms, third));
    ASSERT_TRUE(runUntil(context, [&] { return !third.empty(); }));
    EXPECT_EQ(log, (std::vector<std::string>{"a starts", "a ends", "b starts", "b ends", "c starts",
                                             "c ends"}));
    EXPECT_EQ(first, "a done");
    EXPECT_EQ(second, "b done");
    EXPECT_EQ(third, "c done");
}

asio::awaitable<void> failing(std::vector<std::string>& log) {
    log.push_back("failing starts");
    co_await pause(1ms);
    throw std::runtime_error("broken");
}

TEST(SerialTests, AFailureReachesOnlyItsCallerAndTheNextWorkStillRuns) {
    asio::io_context context;
    Serial serial;
    std::vector<std::string> log;
    std::exception_ptr failure;
    Task::spawn(context.get_executor(), serial.run([&log] { return failing(log); }),
                [&](std::exception_ptr error) { failure = error; });
    std::string after;
    Task::spawn(context.get_executor(), ask(serial, log, "next", 1ms, after));
    ASSERT_TRUE(runUntil(context, [&] { return !after.empty(); }));
    ASSERT_TRUE(failure);
    EXPECT_THROW(std::rethrow_exception(failure), std::runtime_error);
    EXPECT_EQ(after, "next done");
    EXPECT_EQ(log, (std::vector<std::string>{"failing starts", "next starts", "next ends"}));
}

TEST(SerialTests, ACancelledCallerStopsWaitingButItsWorkEndsBeforeTheNext) {
    asio::io_context context;
    Serial serial;
    std::vector<std::string> log;
    std::string unheard, next;
    bool callerEnded = false;
    const Task caller = Task::spawn(context.get_executor(), ask(serial, log, "long", 30ms, unheard),
                                    [&](std::exception_ptr) { callerEnded = true; });
    Task::spawn(context.get_executor(), ask(serial, log, "next", 1ms, next));
    ASSERT_TRUE(runUntil(context, [&] { return !log.empty(); }));
    caller.cancel();
    ASSERT_TRUE(runUntil(context, [&] { return callerEnded; }));
    EXPECT_EQ(log, std::vector<std::string>{"long starts"}) << "the caller left at once";
    ASSERT_TRUE(runUntil(context, [&] { return !next.empty(); }));
    EXPECT_TRUE(unheard.empty());
    EXPECT_EQ(log,
              (std::vector<std::string>{"long starts", "long ends", "next starts", "next ends"}));
}

TEST(SerialTests, IdleWaitsForWorkGivenWhileWaiting) {
    asio::io_context context;
    Serial serial;
    std::vector<std::string> log;
    std::string first, second;
    bool idle = false;
    Task::spawn(context.get_executor(), ask(serial, log, "first", 10ms, first));
    Task::spawn(context.get_executor(), [](Serial& serial, bool& idle) -> asio::awaitable<void> {
        co_await serial.idle();
        idle = true;
    }(serial, idle));
    Task::spawn(context.get_executor(), ask(serial, log, "second", 10ms, second));
    ASSERT_TRUE(runUntil(context, [&] { return idle; }));
    EXPECT_EQ(first, "first done");
    EXPECT_EQ(second, "second done");
    bool idleAtOnce = false;
    runUntilDone(context, [](Serial& serial, bool& idle) -> asio::awaitable<void> {
        co_await serial.idle();
        idle = true;
    }(serial, idleAtOnce));
    EXPECT_TRUE(idleAtOnce);
}

} // namespace
} // namespace bridge
