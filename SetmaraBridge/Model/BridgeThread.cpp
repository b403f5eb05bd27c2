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

// Holds the loop for as long as the request runs.
asio::awaitable<void> share(std::shared_ptr<BridgeLoop> loop, bool on) {
    co_await loop->setSharing(on);
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

void BridgeThread::start(std::optional<EngineRecipe> recipe, Done done) {
    core->post([loop = core->loop, recipe = std::move(recipe), done = std::move(done)]() mutable {
        loop->start(recipe ? engineMaker(std::move(*recipe)) : BridgeLoop::Make{});
        done();
    });
}

void BridgeThread::setSharing(bool on, Done done) {
    core->post([&context = core->context, loop = core->loop, on, done = std::move(done)] {
        Task::spawn(context.get_executor(), share(loop, on),
                    [done](std::exception_ptr) { done(); });
    });
}

void BridgeThread::hideCurrent(Done done) {
    core->post([loop = core->loop, done = std::move(done)] {
        loop->hideCurrent();
        done();
    });
}

void BridgeThread::undoLast(Done done) {
    core->post([loop = core->loop, done = std::move(done)] {
        loop->undoLast();
        done();
    });
}

void BridgeThread::endGig(Done done) {
    core->post([loop = core->loop, done = std::move(done)] {
        loop->endGig();
        done();
    });
}

void BridgeThread::pair(std::string code, std::string server, Answer answer) {
    Task::spawn(core->context.get_executor(),
                exchange(std::move(code), std::move(server), std::move(answer)));
}

} // namespace bridge
