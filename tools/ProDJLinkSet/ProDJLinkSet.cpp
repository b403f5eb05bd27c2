#include "ProDJLinkSet.hpp"

#include "ExportWriter.hpp"
#include "NfsServer.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace bridge {

namespace {

namespace asio = boost::asio;
using asio::ip::udp;
using namespace ProDJLink;
using SteadyClock = std::chrono::steady_clock;

constexpr auto exportPath = "PIONEER/rekordbox/export.pdb";

// Real devices count a peer gone after about ten seconds unheard; status stops with it.
constexpr auto listenerLife = std::chrono::seconds{10};
constexpr auto joiningPace = std::chrono::milliseconds{300};

// The set's loops end by themselves when it stops; nothing waits for them.
void spawn(asio::io_context& context, asio::awaitable<void> work) {
    asio::co_spawn(context, std::move(work), [](const std::exception_ptr&) {});
}

udp::endpoint endpoint(const std::string& address, std::uint16_t port) {
    return {asio::ip::make_address_v4(address), port};
}

PlayerStatus emptyPlayer(const std::string& name, int number) {
    return {.name = name, .number = number};
}

} // namespace

struct ProDJLinkSet::State {
    struct Device {
        int number = 0;
        std::string name;
        DeviceKind kind = DeviceKind::player;
        MAC mac{};
        std::string address;
        bool on = true;
        bool joining = false; // sending its joining packets: no keep-alives or status yet
        unsigned power = 0;   // switched on or off so many times
        std::optional<udp::socket> socket;
        PlayerStatus status; // players only
    };

    State(asio::io_context& context, Options options)
        : context(context), options(std::move(options)) {
        const auto add = [&](int number, std::string name, DeviceKind kind) {
            const auto host = this->options.hostBase + number;
            if (host > 254) {
                throw std::invalid_argument("a device's address is past the subnet");
            }
            devices[number] = {number,
                               name,
                               kind,
                               {0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(number)},
                               this->options.subnet + std::to_string(host),
                               true,
                               false,
                               0,
                               std::nullopt,
                               emptyPlayer(name, number)};
        };
        for (int number = 1; number <= this->options.players; ++number) {
            add(number, "CDJ-2000NXS2", DeviceKind::player);
        }
        if (this->options.mixer) {
            add(mixerNumber, "DJM-900NXS2", DeviceKind::mixer);
        }
        if (this->options.computer) {
            add(computerNumber, "rekordbox", DeviceKind::computer);
        }
    }

    Device& player(int number) {
        auto& device = devices.at(number);
        if (device.kind != DeviceKind::player) {
            throw std::invalid_argument("not a player");
        }
        return device;
    }

    // Sends from the device's own address; a send that fails is lost, as on a real network.
    void send(Device& device, const Bytes& bytes, const std::string& address, std::uint16_t port) {
        if (!device.socket || !device.on) {
            return;
        }
        boost::system::error_code ignored;
        device.socket->send_to(asio::buffer(bytes), endpoint(address, port), 0, ignored);
    }

    std::vector<std::string> freshListeners() {
        const auto now = SteadyClock::now();
        std::erase_if(listeners,
                      [&](const auto& entry) { return now - entry.second > listenerLife; });
        std::vector<std::string> addresses;
        for (const auto& [address, at] : listeners) {
            addresses.push_back(address);
        }
        return addresses;
    }

    bool speaks(const Device& device) const { return device.on && !device.joining; }

    void keepAlive() {
        const auto peers = static_cast<int>(
            std::count_if(devices.begin(), devices.end(),
                          [&](const auto& entry) { return speaks(entry.second); }) +
            listeners.size());
        for (auto& [number, device] : devices) {
            if (speaks(device)) {
                send(device,
                     build(KeepAlive{device.name, number, device.kind, device.mac, device.address,
                                     peers}),
                     options.target, options.announcePort);
            }
        }
    }

    // Every device's status to every device that announced itself; the mixer's channels to all.
    void sendStatus() {
        const auto targets = freshListeners();
        std::optional<double> masterTempo;
        for (auto& [number, device] : devices) {
            if (device.kind == DeviceKind::player && speaks(device)) {
                const auto status = build(device.status);
                for (const auto& address : targets) {
                    send(device, status, address, options.statusPort);
                }
                if (!masterTempo && device.status.flags.playing) {
                    masterTempo = device.status.tempo();
                }
            }
        }
        if (const auto mixer = devices.find(mixerNumber);
            mixer != devices.end() && speaks(mixer->second)) {
            auto& device = mixer->second;
            const auto status = build(MixerStatus{
                device.name, mixerNumber, {.playing = true, .sync = true}, masterTempo});
            for (const auto& address : targets) {
                send(device, status, address, options.statusPort);
            }
            send(device, build(ChannelsOnAir{device.name, mixerNumber, channels}), options.target,
                 options.beatPort);
        }
    }

    // A device hearing its own number from another defends it.
    void defend(int number, const std::string& from) {
        const auto device = devices.find(number);
        if (device == devices.end() || !speaks(device->second) || from == device->second.address) {
            return;
        }
        send(device->second,
             build(NumberInUse{device->second.name, number, device->second.address}), from,
             options.announcePort);
        ++defences;
    }

    void hear(const Packet& packet, const std::string& from) {
        if (const auto* alive = std::get_if<KeepAlive>(&packet)) {
            if (alive->kind == DeviceKind::player) {
                listeners[alive->address] = SteadyClock::now();
            }
            defend(alive->number, from);
        } else if (const auto* claim = std::get_if<NumberClaim>(&packet); claim && claim->number) {
            defend(*claim->number, from);
        }
    }

    asio::awaitable<void> every([[maybe_unused]] std::shared_ptr<State> self,
                                std::shared_ptr<const bool> running,
                                std::chrono::milliseconds period, void (State::*action)()) {
        asio::steady_timer timer{context};
        while (*running) {
            (this->*action)();
            timer.expires_after(period);
            co_await timer.async_wait(asio::as_tuple(asio::use_awaitable));
        }
    }

    asio::awaitable<void> listen([[maybe_unused]] std::shared_ptr<State> self) {
        std::vector<std::uint8_t> buffer(2048);
        while (listener && listener->is_open()) {
            udp::endpoint sender;
            const auto [error, size] = co_await listener->async_receive_from(
                asio::buffer(buffer), sender, asio::as_tuple(asio::use_awaitable));
            if (error) {
                co_return;
            }
            auto packet = parse(announcePort, buffer.data(), size);
            const auto from = sender.address().to_string();
            received.push_back({SteadyClock::now(), from, packet});
            if (packet) {
                hear(*packet, from);
            }
        }
    }

    // A player that comes on joins as real players do before it keeps itself alive.
    asio::awaitable<void> join([[maybe_unused]] std::shared_ptr<State> self, int number) {
        auto& device = devices.at(number);
        const auto power = device.power;
        asio::steady_timer timer{context};
        for (const auto& bytes : joining({device.name, number, device.mac, device.address})) {
            if (device.power != power) {
                co_return;
            }
            send(device, bytes, options.target, options.announcePort);
            timer.expires_after(joiningPace);
            co_await timer.async_wait(asio::as_tuple(asio::use_awaitable));
        }
        if (device.power == power) {
            device.joining = false;
        }
    }

    asio::io_context& context;
    Options options;
    std::map<int, Device> devices;
    std::optional<udp::socket> listener;
    std::map<std::string, SteadyClock::time_point> listeners;
    std::vector<Received> received;
    std::array<bool, 4> channels{};
    std::map<std::pair<int, Slot>, std::vector<ExportTrack>> media;
    std::map<int, std::unique_ptr<NfsServer>> servers; // each player's, while started
    int defences = 0;
    std::shared_ptr<bool> running = std::make_shared<bool>(false);
};

ProDJLinkSet::ProDJLinkSet(asio::io_context& context) : ProDJLinkSet(context, Options{}) {}

ProDJLinkSet::ProDJLinkSet(asio::io_context& context, Options options)
    : state(std::make_shared<State>(context, std::move(options))) {}

ProDJLinkSet::~ProDJLinkSet() {
    stop();
}

void ProDJLinkSet::start() {
    stop();
    auto& context = state->context;
    for (auto& [number, device] : state->devices) {
        device.socket.emplace(context, endpoint(device.address, 0));
        device.socket->set_option(asio::socket_base::broadcast(true));
    }
    state->listener.emplace(context, endpoint(state->options.target, state->options.listenPort));
    serveMedia();
    state->running = std::make_shared<bool>(true);
    spawn(context, state->listen(state));
    spawn(context,
          state->every(state, state->running, state->options.keepAliveEvery, &State::keepAlive));
    spawn(context,
          state->every(state, state->running, state->options.statusEvery, &State::sendStatus));
}

void ProDJLinkSet::stop() {
    *state->running = false;
    boost::system::error_code ignored;
    if (state->listener) {
        state->listener->close(ignored);
    }
    for (auto& [number, device] : state->devices) {
        if (device.socket) {
            device.socket->close(ignored);
        }
        device.socket.reset();
    }
    state->servers.clear();
}

// Each player's NFS service at its own address, all on the same port as real players are.
void ProDJLinkSet::serveMedia() {
    std::uint16_t port = state->options.mediaPort;
    for (const auto& [number, device] : state->devices) {
        if (device.kind != DeviceKind::player) {
            continue;
        }
        auto& server = state->servers[number];
        server =
            std::make_unique<NfsServer>(state->context, NfsServer::Options{device.address, port});
        port = server->portmapperPort();
    }
    for (const auto& [medium, tracks] : state->media) {
        putMedium(medium.first, medium.second);
    }
}

void ProDJLinkSet::putMedium(int player, Slot slot) {
    const auto server = state->servers.find(player);
    const auto mediaSlot = slot == Slot::sd ? MediaSlot::sd : MediaSlot::usb;
    if (server != state->servers.end()) {
        server->second->remove(mediaSlot);
        server->second->put(mediaSlot, exportPath, *exportFile(player, slot));
    }
}

std::uint16_t ProDJLinkSet::mediaPort() const {
    return state->servers.empty() ? 0 : state->servers.begin()->second->portmapperPort();
}

std::uint16_t ProDJLinkSet::listenPort() const {
    return state->listener ? state->listener->local_endpoint().port() : 0;
}

std::string ProDJLinkSet::addressOf(int number) const {
    return state->devices.at(number).address;
}

void ProDJLinkSet::load(int player, int trackPlayer, Slot slot, std::uint32_t rekordboxId,
                        TrackType type, std::optional<double> bpm) {
    auto& status = state->player(player).status;
    status.trackPlayer = trackPlayer;
    status.trackSlot = slot;
    status.trackType = type;
    status.rekordboxId = rekordboxId;
    status.bpm = bpm;
    cue(player);
}

void ProDJLinkSet::play(int player) {
    auto& status = state->player(player).status;
    status.playState = PlayState::playing;
    status.flags.playing = true;
}

void ProDJLinkSet::pause(int player) {
    auto& status = state->player(player).status;
    status.playState = PlayState::paused;
    status.flags.playing = false;
}

void ProDJLinkSet::cue(int player) {
    auto& status = state->player(player).status;
    status.playState = PlayState::cued;
    status.flags.playing = false;
}

void ProDJLinkSet::preListen(int player) {
    onAir(player, false);
    auto& status = state->player(player).status;
    status.playState = PlayState::cuePlaying;
    status.flags.playing = true;
}

void ProDJLinkSet::onAir(int channel, bool on) {
    state->channels.at(static_cast<std::size_t>(channel - 1)) = on;
    if (const auto player = state->devices.find(channel);
        player != state->devices.end() && player->second.kind == DeviceKind::player) {
        player->second.status.flags.onAir = on;
    }
}

void ProDJLinkSet::changeMedium(int player, Slot slot, std::vector<ExportTrack> tracks) {
    state->player(player);
    state->media[{player, slot}] = std::move(tracks);
    putMedium(player, slot);
    for (auto& [number, device] : state->devices) {
        auto& status = device.status;
        if (status.trackPlayer == player && status.trackSlot == slot) {
            const auto onAir = status.flags.onAir;
            status = emptyPlayer(device.name, number);
            status.flags.onAir = onAir;
        }
    }
}

void ProDJLinkSet::switchOff(int number) {
    auto& device = state->devices.at(number);
    device.on = false;
    ++device.power;
    if (const auto server = state->servers.find(number); server != state->servers.end()) {
        server->second->dropReplies(std::chrono::milliseconds::max());
    }
}

void ProDJLinkSet::switchOn(int number) {
    auto& device = state->devices.at(number);
    device.on = true;
    ++device.power;
    if (const auto server = state->servers.find(number); server != state->servers.end()) {
        server->second->dropReplies(std::chrono::milliseconds(0));
    }
    if (device.kind == DeviceKind::player) {
        device.status = emptyPlayer(device.name, number);
        device.joining = true;
        spawn(state->context, state->join(state, number));
    }
}

asio::awaitable<void> ProDJLinkSet::run(std::vector<Step> script) {
    asio::steady_timer timer{state->context};
    for (auto& step : script) {
        timer.expires_after(step.after);
        co_await timer.async_wait(asio::use_awaitable);
        step.action(*this);
    }
}

PlayerStatus ProDJLinkSet::status(int player) const {
    return state->player(player).status;
}

std::optional<std::string> ProDJLinkSet::exportFile(int player, Slot slot) const {
    const auto medium = state->media.find({player, slot});
    if (medium == state->media.end()) {
        return std::nullopt;
    }
    return bridge::exportFile(medium->second);
}

const std::vector<ProDJLinkSet::Received>& ProDJLinkSet::received() const {
    return state->received;
}

std::vector<std::string> ProDJLinkSet::listeners() const {
    return state->freshListeners();
}

int ProDJLinkSet::defences() const {
    return state->defences;
}

} // namespace bridge
