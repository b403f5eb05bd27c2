#include "DenonPlayer.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

#include <deque>
#include <list>
#include <map>
#include <optional>
#include <set>

namespace bridge {

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using StageLinQ::Bytes;

constexpr std::uint32_t valueKind = 0;
constexpr std::uint32_t answerKind = 0x7D1;
constexpr std::uint32_t subscribeKind = 0x7D2;

void append(Bytes& to, const Bytes& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

Bytes stateMessage(std::uint32_t kind, const std::string& path, const Bytes& tail) {
    Bytes body{'s', 'm', 'a', 'a'};
    append(body, StageLinQ::uint(kind, 4));
    append(body, StageLinQ::text(path));
    append(body, tail);
    auto message = StageLinQ::uint(body.size(), 4);
    append(message, body);
    return message;
}

Bytes serviceAnnouncement(const Bytes& token, const std::string& name, std::uint16_t port) {
    auto message = StageLinQ::uint(0, 4);
    append(message, token);
    append(message, StageLinQ::text(name));
    append(message, StageLinQ::uint(port, 2));
    return message;
}

asio::awaitable<Bytes> readBytes(tcp::socket& socket, std::size_t count) {
    Bytes bytes(count);
    co_await asio::async_read(socket, asio::buffer(bytes), asio::use_awaitable);
    co_return bytes;
}

asio::awaitable<std::uint64_t> readUint(tcp::socket& socket, std::size_t count) {
    const auto bytes = co_await readBytes(socket, count);
    co_return *StageLinQ::Reader{bytes}.uint(count);
}

std::string jsonText(const boost::json::value& value) {
    return boost::json::serialize(value);
}

// The connections of the simulation end on their own when the player closes them; nothing
// waits for them.
void spawn(asio::io_context& context, asio::awaitable<void> work) {
    asio::co_spawn(context, std::move(work), [](const std::exception_ptr&) {});
}

} // namespace

struct DenonPlayer::State {
    // One connection, main or state map, with the writes queued for it. It falls silent with
    // the power it was made under.
    struct Client {
        Client(tcp::socket socket, std::shared_ptr<const bool> silenced)
            : socket(std::move(socket)), silenced(std::move(silenced)),
              pings(this->socket.get_executor()) {}
        tcp::socket socket;
        const std::shared_ptr<const bool> silenced;
        asio::steady_timer pings; // paces the player's own references on a main connection
        std::set<std::string> subscribed;
        std::deque<Bytes> queue;
        bool writing = false;
    };

    State(asio::io_context& context, Options options)
        : context(context), options(std::move(options)) {}

    void send(const std::shared_ptr<Client>& client, Bytes message) {
        if (*client->silenced) {
            return;
        }
        client->queue.push_back(std::move(message));
        if (!client->writing) {
            client->writing = true;
            spawn(context, write(client));
        }
    }

    static asio::awaitable<void> write(std::shared_ptr<Client> client) {
        while (!client->queue.empty() && !*client->silenced) {
            const auto message = std::move(client->queue.front());
            client->queue.pop_front();
            const auto [error, sent] = co_await asio::async_write(
                client->socket, asio::buffer(message), asio::as_tuple(asio::use_awaitable));
            if (error) {
                break;
            }
        }
        client->writing = false;
    }

    // The player's own references, its token first and no second one, as real players send
    // them every 5 seconds.
    asio::awaitable<void> ping([[maybe_unused]] std::shared_ptr<State> alive,
                               std::shared_ptr<Client> client) {
        while (!*client->silenced && client->socket.is_open()) {
            client->pings.expires_after(options.referenceEvery);
            const auto [error] =
                co_await client->pings.async_wait(asio::as_tuple(asio::use_awaitable));
            if (error) {
                co_return;
            }
            send(client, StageLinQ::reference(options.token, Bytes(16, 0)));
        }
    }

    void closeAcceptors() {
        boost::system::error_code ignored;
        for (auto* acceptor : {&mainAcceptor, &stateMapAcceptor}) {
            if (*acceptor) {
                (*acceptor)->close(ignored);
            }
        }
    }

    Bytes valueMessage(const std::string& path) const {
        return stateMessage(valueKind, path, StageLinQ::text(values.at(path)));
    }

    // Every coroutine holds the state, which outlives the player while connections wind down.
    asio::awaitable<void> acceptMain(std::shared_ptr<State> self, tcp::acceptor& acceptor) {
        while (true) {
            auto client = std::make_shared<Client>(
                co_await acceptor.async_accept(asio::use_awaitable), silenced);
            mains.push_back(client);
            ++connections;
            spawn(context, serveMain(self, client));
        }
    }

    asio::awaitable<void> serveMain(std::shared_ptr<State> self, std::shared_ptr<Client> main) {
        if (options.refuseSessions) {
            main->socket.close();
            co_return;
        }
        auto& socket = main->socket;
        co_await readBytes(socket, 4);
        const auto client = co_await readBytes(socket, 16);
        ++sessions;
        // Its own services request, the service list, then its reference: one segment, as
        // real players answer.
        auto answer = StageLinQ::servicesRequest(options.token);
        append(answer, serviceAnnouncement(options.token, "Broadcast", 0));
        append(answer, serviceAnnouncement(options.token, "StateMap", stateMapPort));
        append(answer, serviceAnnouncement(options.token, "BeatInfo", 0));
        append(answer, StageLinQ::reference(client, options.token));
        send(main, std::move(answer));
        spawn(context, ping(self, main));
        while (true) {
            const auto id = co_await readUint(socket, 4);
            if (*main->silenced) {
                break;
            }
            if (id == 1) {
                // Each reference is answered at once, its first token kept and this player's
                // put second.
                const auto reference = co_await readBytes(socket, 40);
                ++references;
                auto reply = StageLinQ::uint(1, 4);
                append(reply, Bytes(reference.begin(), reference.begin() + 16));
                append(reply, options.token);
                append(reply, Bytes(reference.begin() + 32, reference.end()));
                send(main, std::move(reply));
            } else if (id == 2) {
                co_await readBytes(socket, 16);
            } else {
                break;
            }
        }
    }

    asio::awaitable<void> acceptStateMap(std::shared_ptr<State> self, tcp::acceptor& acceptor) {
        while (true) {
            auto socket = co_await acceptor.async_accept(asio::use_awaitable);
            spawn(context,
                  serveStateMap(self, std::make_shared<Client>(std::move(socket), silenced)));
        }
    }

    asio::awaitable<void> serveStateMap([[maybe_unused]] std::shared_ptr<State> alive,
                                        std::shared_ptr<Client> client) {
        if (options.refuseSessions) {
            co_return;
        }
        // The client's announcement: id, token, "StateMap", its port.
        co_await readBytes(client->socket, 20);
        co_await readBytes(client->socket, co_await readUint(client->socket, 4) + 2);
        clients.push_back(client);
        recorded.clear();
        // Messages a client must skip: an answer carrying a name and JSON, and the player's
        // own subscription.
        send(client, stateMessage(answerKind, "/Client/Preferences/Player",
                                  StageLinQ::text(R"({"string":"1","type":4})")));
        send(client, stateMessage(subscribeKind, "/Engine/Deck1/Play", StageLinQ::uint(0x64, 4)));
        while (true) {
            const auto length = co_await readUint(client->socket, 4);
            const auto body = co_await readBytes(client->socket, length);
            if (*client->silenced) {
                co_return;
            }
            StageLinQ::Reader reader{body};
            reader.bytes(4);
            if (reader.uint(4) != subscribeKind) {
                continue;
            }
            if (auto path = reader.text()) {
                recorded.push_back(*path);
                client->subscribed.insert(*path);
                if (values.contains(*path)) {
                    send(client, valueMessage(*path));
                }
            }
        }
    }

    asio::io_context& context;
    Options options;
    std::optional<tcp::acceptor> mainAcceptor;
    std::optional<tcp::acceptor> stateMapAcceptor;
    std::uint16_t mainPort = 0;
    std::uint16_t stateMapPort = 0;
    std::shared_ptr<bool> silenced = std::make_shared<bool>(false); // of the current power
    std::vector<std::shared_ptr<Client>> mains;
    std::list<std::shared_ptr<Client>> clients;
    std::vector<std::shared_ptr<Client>> abandoned; // left open, silent, when the power went
    std::map<std::string, std::string> values;
    std::vector<std::string> recorded;
    int connections = 0;
    int sessions = 0;
    int references = 0;
};

DenonPlayer::DenonPlayer(asio::io_context& context) : DenonPlayer(context, Options{}) {}

DenonPlayer::DenonPlayer(asio::io_context& context, Options options)
    : state(std::make_shared<State>(context, std::move(options))) {}

DenonPlayer::~DenonPlayer() {
    disconnect();
}

void DenonPlayer::start() {
    closeServices();
    state->silenced = std::make_shared<bool>(false);
    const tcp::endpoint loopback{asio::ip::address_v4::loopback(), 0};
    auto& main = state->mainAcceptor.emplace(state->context, loopback);
    auto& stateMap = state->stateMapAcceptor.emplace(state->context, loopback);
    state->mainPort = main.local_endpoint().port();
    state->stateMapPort = stateMap.local_endpoint().port();
    spawn(state->context, state->acceptMain(state, main));
    spawn(state->context, state->acceptStateMap(state, stateMap));
}

void DenonPlayer::disconnect() {
    closeServices();
    for (const auto& client : state->abandoned) {
        boost::system::error_code ignored;
        client->socket.close(ignored);
    }
    state->abandoned.clear();
}

void DenonPlayer::silence() {
    *state->silenced = true;
    state->closeAcceptors();
    for (const auto& main : state->mains) {
        main->pings.cancel();
    }
    state->abandoned.insert(state->abandoned.end(), state->mains.begin(), state->mains.end());
    state->abandoned.insert(state->abandoned.end(), state->clients.begin(), state->clients.end());
    state->mains.clear();
    state->clients.clear();
}

void DenonPlayer::closeServices() {
    state->closeAcceptors();
    boost::system::error_code ignored;
    for (const auto& main : state->mains) {
        main->socket.close(ignored);
        main->pings.cancel();
    }
    for (const auto& client : state->clients) {
        client->socket.close(ignored);
    }
    state->mains.clear();
    state->clients.clear();
    state->mainPort = 0;
}

StageLinQ::Bytes DenonPlayer::frame() const {
    Bytes frame{'a', 'i', 'r', 'D'};
    append(frame, state->options.token);
    append(frame, StageLinQ::text(state->options.name));
    append(frame, StageLinQ::text(StageLinQ::howdy));
    append(frame, StageLinQ::text(state->options.software));
    append(frame, StageLinQ::text(state->options.version));
    append(frame, StageLinQ::uint(state->mainPort, 2));
    return frame;
}

asio::awaitable<void> DenonPlayer::announce(std::uint16_t port, std::chrono::milliseconds every) {
    asio::ip::udp::socket socket{state->context, asio::ip::udp::v4()};
    const asio::ip::udp::endpoint target{asio::ip::address_v4::loopback(), port};
    asio::steady_timer timer{state->context};
    while (true) {
        if (!*state->silenced) {
            const auto bytes = frame();
            co_await socket.async_send_to(asio::buffer(bytes), target, asio::use_awaitable);
        }
        timer.expires_after(every);
        co_await timer.async_wait(asio::use_awaitable);
    }
}

void DenonPlayer::set(const std::string& path, const std::string& json) {
    state->values[path] = json;
    for (const auto& client : state->clients) {
        if (client->subscribed.contains(path)) {
            state->send(client, state->valueMessage(path));
        }
    }
}

void DenonPlayer::load(int deck, const std::string& title, const std::string& artist) {
    const auto prefix = "/Engine/Deck" + std::to_string(deck) + "/Track/";
    set(prefix + "SongName", jsonText({{"string", title}, {"type", 8}}));
    set(prefix + "ArtistName", jsonText({{"string", artist}, {"type", 8}}));
    set(prefix + "SongLoaded", jsonText({{"state", true}, {"type", 1}}));
}

void DenonPlayer::play(int deck, bool playing) {
    set("/Engine/Deck" + std::to_string(deck) + "/Play",
        jsonText({{"state", playing}, {"type", 1}}));
}

void DenonPlayer::fader(int deck, double position) {
    set("/Mixer/CH" + std::to_string(deck) + "faderPosition",
        jsonText({{"type", 0}, {"value", position}}));
}

void DenonPlayer::crossfader(double position) {
    set("/Mixer/CrossfaderPosition", jsonText({{"type", 0}, {"value", position}}));
}

void DenonPlayer::playerNumber(int number) {
    set("/Client/Preferences/Player", jsonText({{"string", std::to_string(number)}, {"type", 4}}));
}

void DenonPlayer::deckCount(int count) {
    set("/Engine/DeckCount", jsonText({{"type", 10}, {"value", count}}));
}

asio::awaitable<void> DenonPlayer::run(std::vector<Step> script) {
    asio::steady_timer timer{state->context};
    for (auto& step : script) {
        timer.expires_after(step.after);
        co_await timer.async_wait(asio::use_awaitable);
        step.action(*this);
    }
}

const StageLinQ::Bytes& DenonPlayer::token() const {
    return state->options.token;
}

std::uint16_t DenonPlayer::mainPort() const {
    return state->mainPort;
}

std::vector<std::string> DenonPlayer::subscriptions() const {
    return state->recorded;
}

int DenonPlayer::connections() const {
    return state->connections;
}

int DenonPlayer::sessions() const {
    return state->sessions;
}

int DenonPlayer::references() const {
    return state->references;
}

} // namespace bridge
