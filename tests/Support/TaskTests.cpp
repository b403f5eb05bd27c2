// The task handle lives in Support; it is tested here beside its first users.
#include "StageLinQ/StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace bridge {
namespace {

using namespace testing;

asio::awaitable<void> sleepFor(std::chrono::milliseconds duration, bool& reachedEnd) {
    co_await pause(duration);
    reachedEnd = true;
}

asio::awaitable<void> failing() {
    co_await pause(1ms);
    throw std::runtime_error("broken");
}

asio::awaitable<void> waitFor(Task task, bool& waited) {
    co_await task.finished();
    waited = true;
}

TEST(TaskTests, EndsWithItsWorkAndWakesEveryWaiter) {
    asio::io_context context;
    bool reachedEnd = false;
    std::exception_ptr error = std::make_exception_ptr(0);
    auto task = Task::spawn(context.get_executor(), sleepFor(5ms, reachedEnd),
                            [&](std::exception_ptr e) { error = e; });
    bool first = false;
    bool second = false;
    runUntilDone(context, [](Task task, bool& first, bool& second) -> asio::awaitable<void> {
        auto executor = co_await asio::this_coro::executor;
        Task::spawn(executor, waitFor(task, second));
        co_await waitFor(task, first);
    }(task, first, second));
    EXPECT_TRUE(reachedEnd);
    EXPECT_FALSE(error);
    EXPECT_TRUE(task.isFinished());
    EXPECT_TRUE(runUntil(context, [&] { return second; }));
    runUntilDone(context, waitFor(task, first)); // an ended task is waited for at once
}

TEST(TaskTests, CancelsFromAnyThreadEvenBeforeItRuns) {
    asio::io_context context;
    bool reachedEnd = false;
    bool ended = false;
    std::exception_ptr error;
    auto task =
        Task::spawn(context.get_executor(), sleepFor(60s, reachedEnd), [&](std::exception_ptr e) {
            ended = true;
            error = e;
        });
    std::thread{[task] { task.cancel(); }}.join();
    ASSERT_TRUE(runUntil(
        context, [&] { return ended; }, 2s));
    EXPECT_FALSE(reachedEnd);
    ASSERT_TRUE(error) << "the sleep throws when cancelled";
    task.cancel(); // harmless once ended
    settle(context);
}

TEST(TaskTests, PassesTheWorksFailureOn) {
    asio::io_context context;
    std::exception_ptr error;
    Task::spawn(context.get_executor(), failing(), [&](std::exception_ptr e) { error = e; });
    ASSERT_TRUE(runUntil(context, [&] { return error != nullptr; }));
    EXPECT_THROW(std::rethrow_exception(error), std::runtime_error);
}

} // namespace
} // namespace bridge
