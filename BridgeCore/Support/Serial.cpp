#include "Support/Serial.hpp"

#include "Support/Task.hpp"

#include <boost/asio/this_coro.hpp>

namespace bridge {

struct Serial::Queue {
    std::optional<Task> last; // the latest work given; the next waits for it
};

namespace {

boost::asio::awaitable<void> after(std::optional<Task> previous,
                                   std::function<boost::asio::awaitable<void>()> work) {
    if (previous) {
        co_await previous->finished();
    }
    co_await work();
}

} // namespace

Serial::Serial() : queue(std::make_unique<Queue>()) {}

Serial::~Serial() = default;

boost::asio::awaitable<void> Serial::start(std::function<boost::asio::awaitable<void>()> work) {
    auto failure = std::make_shared<std::exception_ptr>();
    const Task task =
        Task::spawn(co_await boost::asio::this_coro::executor, after(queue->last, std::move(work)),
                    [failure](std::exception_ptr error) { *failure = error; });
    queue->last = task;
    co_await task.finished();
    if (*failure) {
        std::rethrow_exception(*failure);
    }
}

boost::asio::awaitable<void> Serial::idle() {
    while (queue->last && !queue->last->isFinished()) {
        co_await queue->last->finished();
    }
}

} // namespace bridge
