#pragma once

#include <boost/asio/awaitable.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace bridge {

// Runs pieces of work one at a time, in the order they were given, each as a task of its own
// on the caller's executor. A caller that is cancelled stops waiting, but the work it gave
// runs on to its end, and nothing given after it starts before then. Used on one thread.
class Serial {
public:
    Serial();
    ~Serial();
    Serial(const Serial&) = delete;
    Serial& operator=(const Serial&) = delete;

    // Runs `work()` once everything given before has ended, and gives back its result or
    // its failure. `work` is kept with the task, so what it captured outlives the caller.
    template <class Work>
    auto run(Work work) -> decltype(work()) {
        using Result = typename decltype(work())::value_type;
        if constexpr (std::is_void_v<Result>) {
            co_await start(std::move(work));
        } else {
            auto result = std::make_shared<std::optional<Result>>();
            co_await start([work = std::move(work), result]() -> boost::asio::awaitable<void> {
                result->emplace(co_await work());
            });
            co_return std::move(**result);
        }
    }

    // Returns once everything given so far, and given while waiting, has ended.
    boost::asio::awaitable<void> idle();

private:
    boost::asio::awaitable<void> start(std::function<boost::asio::awaitable<void>()> work);

    struct Queue;
    std::unique_ptr<Queue> queue;
};

} // namespace bridge
