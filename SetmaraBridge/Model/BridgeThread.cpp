#include "Model/BridgeThread.hpp"

#include "Engine/BridgeLoop.hpp"
#include "Server/BeastTransport.hpp"
#include "Server/Pairing.hpp"
#include "Support/Task.hpp"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <chrono>
#include <future>
#include <thread>

namespace asio = boost::asio;

namespace bridge {

namespace {

// How long quitting waits for the loop to wind down; the queue file already holds every
// counted play, so nothing is lost when it has to give up.
constexpr auto stopLimit = std::chrono::seconds(3);

asio::awaitable<void> publish(LoopControl::Show show, BridgeStatus status) {
    show(std::move(status));
    co_return;
}

asio::awaitable<void> exchange(std::string code, std::string server, LoopControl::Answer answer) {
    BeastTransport transport;
    std::optional<Paired> paired;
    std::exception_ptr failure;
    try {
        paired = co_await Pairing::pair(std::move(code), std::move(server), transport);
    } catch (...) {
        failure = std::current_exception();
    }
    answer(std::move(paired), failure);
}

// Holds the loop for as long as the request runs.
template <class Ask>
asio::awaitable<void> holding(std::shared_ptr<BridgeLoop> loop, Ask ask) {
    co_await ask(*loop);
}

} // namespace

struct BridgeThread::Core {
    asio::io_context context{1};
    asio::executor_work_guard<asio::io_context::executor_type> work{context.get_executor()};
    std::shared_ptr<BridgeLoop> loop;
    std::thread thread;

    template <class Work>
    void post(Work work) {
        asio::post(context, std::move(work));
    }

    // Runs the request the loop makes of `ask` as a task of its own; requests start in the
    // order they were posted.
    template <class Ask>
    void run(Ask ask) {
        post([this, ask = std::move(ask)] {
            Task::spawn(context.get_executor(), holding(loop, std::move(ask)));
        });
    }
};

BridgeThread::BridgeThread(Show show) : core(std::make_unique<Core>()) {
    core->loop = BridgeLoop::create(
        core->context.get_executor(), BridgeLoop::sleep,
        [show = std::move(show)](BridgeStatus status) { return publish(show, std::move(status)); });
    core->thread = std::thread([context = &core->context] { context->run(); });
}

BridgeThread::~BridgeThread() {
    auto stopped = std::make_shared<std::promise<void>>();
    auto ended = stopped->get_future();
    Core& core = *this->core;
    core.post([&core, stopped] {
        Task::spawn(
            core.context.get_executor(),
            [](Core& core) -> asio::awaitable<void> { co_await core.loop->stop(); }(core),
            [&core, stopped](std::exception_ptr) {
                core.loop.reset();
                core.work.reset();
                stopped->set_value();
            });
    });
    if (ended.wait_for(stopLimit) != std::future_status::ready) {
        core.context.stop();
    }
    core.thread.join();
}

void BridgeThread::start(std::optional<EngineRecipe> recipe) {
    core->post([loop = core->loop, recipe = std::move(recipe)]() mutable {
        loop->start(recipe ? engineMaker(std::move(*recipe)) : BridgeLoop::Make{});
    });
}

void BridgeThread::setSharing(bool on) {
    core->run([on](BridgeLoop& loop) { return loop.setSharing(on); });
}

void BridgeThread::hideCurrent() {
    core->run([](BridgeLoop& loop) { return loop.hideCurrent(); });
}

void BridgeThread::undoLast() {
    core->run([](BridgeLoop& loop) { return loop.undoLast(); });
}

void BridgeThread::endGig() {
    core->run([](BridgeLoop& loop) { return loop.endGig(); });
}

void BridgeThread::pair(std::string code, std::string server, Answer answer) {
    core->run([code = std::move(code), server = std::move(server),
               answer = std::move(answer)](BridgeLoop& loop) {
        return loop.inTurn([code, server, answer] { return exchange(code, server, answer); });
    });
}

} // namespace bridge
