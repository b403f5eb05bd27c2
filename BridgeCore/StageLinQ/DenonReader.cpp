#include "StageLinQ/DenonReader.hpp"

#include "StageLinQ/StageLinQDecks.hpp"
#include "Support/Task.hpp"
#include "Values/SourceError.hpp"

#include <boost/asio/this_coro.hpp>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace bridge {

namespace {

namespace asio = boost::asio;

constexpr Seconds retryAfter{5};

} // namespace

// The state shared by the reader, the discovery task and the session tasks, all of it
// guarded by `lock`. No operation waits on the network while holding it.
class DenonReader::Shared : public std::enable_shared_from_this<Shared> {
public:
    Shared(std::shared_ptr<StageLinQNetwork> network, StageLinQ::Bytes token, Clock now)
        : network(std::move(network)), token(std::move(token)), now(std::move(now)) {}

    VDJSnapshot read(const asio::any_io_executor& executor) {
        std::lock_guard guard{lock};
        if (!discovery && !stopped && (!discoveryEnded || now() - *discoveryEnded >= retryAfter)) {
            listen(executor);
        }
        if (following.empty()) {
            throw SourceError::notAnswering;
        }
        return decks.snapshot();
    }

    void stop() {
        std::vector<Task> tasks;
        {
            std::lock_guard guard{lock};
            stopped = true;
            if (discovery) {
                tasks.push_back(*discovery);
            }
            for (const auto& [device, session] : following) {
                tasks.push_back(session.task);
            }
        }
        for (const auto& task : tasks) {
            task.cancel();
        }
    }

private:
    void listen(const asio::any_io_executor& executor) {
        this->executor = executor;
        auto self = shared_from_this();
        auto announcement = StageLinQ::announcement(token, "Setmara Bridge", "1.0");
        discovery = Task::spawn(
            executor,
            network->discover(std::move(announcement),
                              [self](const StageLinQ::Device& device) { self->found(device); }),
            [self](std::exception_ptr) {
                std::lock_guard guard{self->lock};
                self->discovery.reset();
                self->discoveryEnded = self->now();
            });
    }

    // Called from the discovery thread.
    void found(const StageLinQ::Device& device) {
        std::lock_guard guard{lock};
        const auto time = now();
        std::erase_if(ended, [&](const auto& entry) { return time - entry.second >= retryAfter; });
        if (stopped || device.token == token || !device.connect()) {
            return;
        }
        if (const auto followed = following.find(device.token); followed != following.end()) {
            if (followed->second.address == device.address &&
                followed->second.port == device.port) {
                return;
            }
            // A device that announces another address or port has restarted or moved: the
            // old session waits for a peer that is gone, so a new one takes its place.
            followed->second.task.cancel();
            following.erase(followed);
            decks.remove(device.token);
        } else if (ended.contains(device.token) ||
                   following.size() >= static_cast<std::size_t>(StageLinQ::devicesMax)) {
            return;
        }
        follow(device);
    }

    // Starts a session with the device. The session's number keeps a session that was
    // replaced from touching the state of the one after it.
    void follow(const StageLinQ::Device& device) {
        decks.add(device.token, device.software);
        const auto number = ++sessions;
        auto self = shared_from_this();
        auto task = Task::spawn(
            executor,
            network->follow(device, token,
                            [self, device, number](const std::string& path,
                                                   const StageLinQ::StateValue& value) {
                                std::lock_guard guard{self->lock};
                                if (self->isCurrent(device.token, number)) {
                                    self->decks.apply(device.token, device.software, path, value);
                                }
                            }),
            [self, token = device.token, number](std::exception_ptr) {
                std::lock_guard guard{self->lock};
                if (self->isCurrent(token, number)) {
                    self->following.erase(token);
                    self->decks.remove(token);
                    self->ended[token] = self->now();
                }
            });
        following.emplace(device.token,
                          Followed{std::move(task), device.address, device.port, number});
    }

    bool isCurrent(const StageLinQ::Bytes& device, std::uint64_t number) const {
        const auto followed = following.find(device);
        return followed != following.end() && followed->second.number == number;
    }

    // The session with one device, and where the device was when it began.
    struct Followed {
        Task task;
        std::string address;
        std::uint16_t port = 0;
        std::uint64_t number = 0;
    };

    const std::shared_ptr<StageLinQNetwork> network;
    const StageLinQ::Bytes token;
    const Clock now;

    std::mutex lock;
    asio::any_io_executor executor; // where the tasks run; set by the first read
    StageLinQDecks decks;
    std::optional<Task> discovery;
    std::optional<Instant> discoveryEnded;
    std::map<StageLinQ::Bytes, Followed> following;
    std::map<StageLinQ::Bytes, Instant> ended;
    std::uint64_t sessions = 0; // sessions started so far
    bool stopped = false;
};

DenonReader::DenonReader(std::shared_ptr<StageLinQNetwork> network, StageLinQ::Bytes token,
                         Clock now)
    : shared(std::make_shared<Shared>(std::move(network), std::move(token), std::move(now))) {}

DenonReader::~DenonReader() {
    shared->stop();
}

asio::awaitable<VDJSnapshot> DenonReader::read() {
    co_return shared->read(co_await asio::this_coro::executor);
}

} // namespace bridge
