#pragma once

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace bridge {

// A handle to one coroutine running on an executor. Copies share the same task.
//
// `spawn` and `cancel` may be called from any thread: both are posted to the task's
// executor, in order, so a task cancelled before it got to run still starts, sees the
// cancellation at its first wait, and its `ended` function still runs. Cancellation is
// emitted as `terminal`, the kind co_spawn passes on. `finished` is awaited on the task's
// executor.
class Task {
public:
    using Ended = std::function<void(std::exception_ptr)>;

    // Starts `work`; `ended` runs on the executor when it is over, with its exception (null
    // when it returned normally, including after a cancellation it handled itself).
    template <class Executor>
    static Task spawn(const Executor& executor, boost::asio::awaitable<void> work,
                      Ended ended = {}) {
        Task task{std::make_shared<State>(executor)};
        boost::asio::post(executor, [state = task.state, work = std::move(work),
                                     ended = std::move(ended)]() mutable {
            boost::asio::co_spawn(state->executor, std::move(work),
                                  boost::asio::bind_cancellation_slot(
                                      state->signal.slot(),
                                      [state, ended = std::move(ended)](std::exception_ptr error) {
                                          state->done = true;
                                          if (state->finish) {
                                              state->finish->cancel();
                                          }
                                          if (ended) {
                                              ended(error);
                                          }
                                      }));
            if (state->cancelled) {
                state->signal.emit(boost::asio::cancellation_type::terminal);
            }
        });
        return task;
    }

    // Asks the task to stop; it ends at its next wait. Harmless once it has ended.
    void cancel() const {
        boost::asio::post(state->executor, [state = state] {
            if (!state->cancelled && !state->done) {
                state->cancelled = true;
                state->signal.emit(boost::asio::cancellation_type::terminal);
            }
        });
    }

    bool isFinished() const { return state->done; }

    // Returns once the task has ended (after its `ended` function has run).
    boost::asio::awaitable<void> finished() const {
        const auto state = this->state;
        while (!state->done) {
            if (!state->finish) {
                state->finish.emplace(state->executor,
                                      boost::asio::steady_timer::time_point::max());
            }
            co_await state->finish->async_wait(boost::asio::as_tuple(boost::asio::use_awaitable));
        }
    }

private:
    struct State {
        explicit State(boost::asio::any_io_executor executor) : executor(std::move(executor)) {}

        boost::asio::any_io_executor executor;
        boost::asio::cancellation_signal signal;         // used on the executor only
        bool cancelled = false;                          // used on the executor only
        std::optional<boost::asio::steady_timer> finish; // wakes the waiters of `finished`
        std::atomic<bool> done = false;
    };

    explicit Task(std::shared_ptr<State> state) : state(std::move(state)) {}

    std::shared_ptr<State> state;
};

} // namespace bridge
