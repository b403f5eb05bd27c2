#include "NfsServer.hpp"

#include "ProDJLink/NfsError.hpp"
#include "ProDJLink/OncRpc.hpp"
#include "Support/Text.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace bridge {

namespace {

namespace asio = boost::asio;
using asio::ip::udp;
using Clock = std::chrono::steady_clock;
using OncRpc::Bytes;
using OncRpc::Reader;
using OncRpc::Writer;

constexpr auto tuple = asio::as_tuple(asio::use_awaitable);
constexpr std::uint32_t programUnavailable = 1;
constexpr std::uint32_t procedureUnavailable = 3;
constexpr std::uint32_t garbageArguments = 4;

struct Call {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t procedure = 0;
    Reader arguments{{}};
};

// A call's header; absent for anything else, which gets no answer.
std::optional<Call> callOf(std::span<const std::uint8_t> datagram) {
    try {
        Call call;
        Reader reader{datagram};
        call.xid = reader.word();
        if (reader.word() != OncRpc::callMessage || reader.word() != 2) {
            return std::nullopt;
        }
        call.program = reader.word();
        call.version = reader.word();
        call.procedure = reader.word();
        for (int auth = 0; auth < 2; ++auth) { // the credentials and the verifier
            reader.word();
            reader.opaque(OncRpc::authMax);
        }
        call.arguments = reader;
        return call;
    } catch (const NfsError&) {
        return std::nullopt;
    }
}

Bytes accepted(std::uint32_t xid, std::uint32_t state, std::span<const std::uint8_t> results = {}) {
    Writer writer;
    writer.word(xid).word(OncRpc::replyMessage).word(0).word(OncRpc::authNull).word(0);
    return writer.word(state).fixed(results).take();
}

// UTF-16LE as UTF-8; absent when it is not UTF-16LE.
std::optional<std::string> utf8Of(const Bytes& name) {
    if (name.size() % 2 != 0) {
        return std::nullopt;
    }
    std::u16string units;
    for (std::size_t i = 0; i < name.size(); i += 2) {
        units.push_back(static_cast<char16_t>(name[i] | name[i + 1] << 8));
    }
    return utf8FromUtf16(units);
}

// The path's components joined by single slashes.
std::string normalized(const std::string& path) {
    std::string result;
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto slash = std::min(path.find('/', start), path.size());
        if (slash > start) {
            result += (result.empty() ? "" : "/") + path.substr(start, slash - start);
        }
        start = slash + 1;
    }
    return result;
}

std::size_t indexOf(MediaSlot slot) {
    return slot == MediaSlot::sd ? 0 : 1;
}

void spawn(asio::io_context& context, asio::awaitable<void> work) {
    asio::co_spawn(context, std::move(work), [](const std::exception_ptr&) {});
}

} // namespace

struct NfsServer::State : std::enable_shared_from_this<State> {
    struct Medium {
        std::map<std::string, std::string> files;      // by normalized path
        std::map<std::string, std::uint32_t> versions; // when each was written
        std::uint32_t generation = 0;                  // counts removals
        bool present = false;
    };
    // What a handle names: a folder or a file, "" being the medium's root.
    struct Node {
        MediaSlot slot;
        std::string path;
    };

    State(asio::io_context& context, const Options& options)
        : context(context),
          portmapper(context, {asio::ip::make_address_v4(options.address), options.portmapperPort}),
          mount(context, {portmapper.local_endpoint().address(), 0}),
          nfs(context, {portmapper.local_endpoint().address(), 0}) {}

    void start() {
        for (auto* socket : {&portmapper, &mount, &nfs}) {
            spawn(context, serve(shared_from_this(), *socket));
        }
    }

    void close() {
        boost::system::error_code ignored;
        for (auto* socket : {&portmapper, &mount, &nfs}) {
            socket->close(ignored);
        }
    }

    static asio::awaitable<void> serve(std::shared_ptr<State> self, udp::socket& socket) {
        Bytes buffer(65536);
        udp::endpoint client;
        while (socket.is_open()) {
            const auto [error, size] =
                co_await socket.async_receive_from(asio::buffer(buffer), client, tuple);
            if (error) {
                continue;
            }
            if (const auto call = callOf({buffer.data(), size})) {
                self->reply(socket, client, call->xid, self->answer(socket, *call));
            } else {
                ++self->counts.other;
            }
        }
    }

    Bytes answer(const udp::socket& socket, Call call) {
        const auto& expected = &socket == &portmapper ? OncRpc::portmapper
                               : &socket == &mount    ? OncRpc::mount
                                                      : OncRpc::nfs;
        if (call.program != expected.number || call.version != expected.version) {
            ++counts.other;
            return accepted(call.xid, programUnavailable);
        }
        try {
            const auto found = results(expected.number, call);
            return found ? accepted(call.xid, 0, *found) : accepted(call.xid, procedureUnavailable);
        } catch (const NfsError&) {
            return accepted(call.xid, garbageArguments);
        }
    }

    // The results of a procedure the service offers; arguments that do not decode fail with
    // NfsError.
    std::optional<Bytes> results(std::uint32_t program, Call& call) {
        const auto procedure = call.procedure;
        auto& arguments = call.arguments;
        if (program == OncRpc::portmapper.number && procedure == OncRpc::getPortProcedure) {
            ++counts.getPort;
            return getPort(arguments);
        }
        if (program == OncRpc::mount.number && procedure == OncRpc::mountProcedure) {
            ++counts.mount;
            return mountRoot(arguments.opaque(OncRpc::pathMax));
        }
        if (program == OncRpc::nfs.number && procedure == OncRpc::lookupProcedure) {
            ++counts.lookup;
            const auto folder = arguments.handle();
            return lookUp(folder, arguments.opaque(OncRpc::nameMax));
        }
        if (program == OncRpc::nfs.number && procedure == OncRpc::readProcedure) {
            ++counts.read;
            const auto file = arguments.handle();
            const auto offset = arguments.word();
            return read(file, offset, arguments.word());
        }
        ++counts.other;
        return std::nullopt;
    }

    Bytes getPort(Reader& arguments) {
        const OncRpc::Program wanted{arguments.word(), arguments.word()};
        const auto protocol = arguments.word();
        std::uint16_t port = 0;
        if (protocol == OncRpc::udpProtocol) {
            if (wanted.number == OncRpc::mount.number && wanted.version == OncRpc::mount.version) {
                port = mount.local_endpoint().port();
            } else if (wanted.number == OncRpc::nfs.number &&
                       wanted.version == OncRpc::nfs.version) {
                port = nfs.local_endpoint().port();
            }
        }
        return Writer{}.word(port).take();
    }

    Bytes mountRoot(const Bytes& path) {
        for (const auto slot : {MediaSlot::sd, MediaSlot::usb}) {
            if (utf8Of(path) == OncRpc::exportPath(slot) && media[indexOf(slot)].present) {
                return Writer{}.word(0).fixed(handleOf({slot, ""})).take();
            }
        }
        return Writer{}.word(OncRpc::noEntry).take();
    }

    Bytes lookUp(const OncRpc::Handle& folder, const Bytes& name) {
        const auto node = nodeOf(folder);
        if (!node) {
            return Writer{}.word(OncRpc::staleHandle).take();
        }
        const auto text = utf8Of(name);
        if (isFile(*node) || !text || text->empty() || text->find('/') != std::string::npos) {
            return Writer{}.word(isFile(*node) ? OncRpc::notDirectory : OncRpc::noEntry).take();
        }
        const Node child{node->slot, node->path.empty() ? *text : node->path + "/" + *text};
        if (!exists(child)) {
            return Writer{}.word(OncRpc::noEntry).take();
        }
        Writer writer;
        writer.word(OncRpc::nfsOk).fixed(handleOf(child));
        return attributes(writer, child).take();
    }

    Bytes read(const OncRpc::Handle& handle, std::uint32_t offset, std::uint32_t count) {
        const auto node = nodeOf(handle);
        if (!node || !isFile(*node)) {
            return Writer{}.word(node ? OncRpc::isDirectory : OncRpc::staleHandle).take();
        }
        const auto& bytes = media[indexOf(node->slot)].files.at(node->path);
        const auto start = std::min<std::size_t>(offset, bytes.size());
        const auto size = std::min<std::size_t>({count, OncRpc::readMax, bytes.size() - start});
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data()) + start;
        Writer writer;
        attributes(writer.word(OncRpc::nfsOk), *node);
        return writer.opaque({data, size}).take();
    }

    Writer& attributes(Writer& writer, const Node& node) {
        const bool file = isFile(node);
        const auto size = file ? media[indexOf(node.slot)].files.at(node.path).size() : 0;
        writer.word(file ? OncRpc::regularFile : OncRpc::directory);
        writer.word(file ? 0100444 : 040555).word(1).word(0).word(0); // mode, nlink, uid, gid
        writer.word(static_cast<std::uint32_t>(size)).word(OncRpc::readMax).word(0);
        writer.word(static_cast<std::uint32_t>((size + 511) / 512));
        writer.word(static_cast<std::uint32_t>(indexOf(node.slot) + 1)); // fsid
        writer.word(static_cast<std::uint32_t>(idOf(node)));
        const auto version = file ? media[indexOf(node.slot)].versions.at(node.path) : 0;
        writer.word(0).word(0);       // atime
        writer.word(version).word(0); // mtime: each file written anew is newer
        writer.word(version).word(0); // ctime
        return writer;
    }

    bool isFile(const Node& node) const {
        return media[indexOf(node.slot)].files.contains(node.path);
    }

    bool exists(const Node& node) const {
        const auto& medium = media[indexOf(node.slot)];
        const auto prefix = node.path + "/";
        return medium.present &&
               (node.path.empty() || isFile(node) ||
                std::any_of(medium.files.begin(), medium.files.end(),
                            [&](const auto& file) { return file.first.starts_with(prefix); }));
    }

    std::size_t idOf(const Node& node) {
        const auto found = std::find_if(nodes.begin(), nodes.end(), [&](const Node& known) {
            return known.slot == node.slot && known.path == node.path;
        });
        if (found != nodes.end()) {
            return static_cast<std::size_t>(found - nodes.begin());
        }
        nodes.push_back(node);
        return nodes.size() - 1;
    }

    // Node number, the medium's generation and the slot, in the handle's first nine bytes.
    OncRpc::Handle handleOf(const Node& node) {
        const auto id = Writer{}.word(static_cast<std::uint32_t>(idOf(node))).take();
        const auto generation = Writer{}.word(media[indexOf(node.slot)].generation).take();
        OncRpc::Handle handle{};
        std::copy(id.begin(), id.end(), handle.begin());
        std::copy(generation.begin(), generation.end(), handle.begin() + 4);
        handle[8] = static_cast<std::uint8_t>(indexOf(node.slot));
        return handle;
    }

    // What the handle names, if it still does.
    std::optional<Node> nodeOf(const OncRpc::Handle& handle) const {
        Reader reader{handle};
        const auto id = reader.word();
        const auto generation = reader.word();
        if (id >= nodes.size()) {
            return std::nullopt;
        }
        const auto& node = nodes[id];
        if (media[indexOf(node.slot)].generation != generation || !exists(node)) {
            return std::nullopt;
        }
        return node;
    }

    void reply(udp::socket& socket, const udp::endpoint& client, std::uint32_t xid, Bytes bytes) {
        if ((dropAt > 0 && --dropAt == 0) || Clock::now() < silentUntil) {
            return;
        }
        if (stray) {
            send(socket, client, accepted(xid + 1, garbageArguments));
        }
        send(socket, client, std::move(bytes));
    }

    void send(udp::socket& socket, const udp::endpoint& client, Bytes bytes) {
        spawn(context, sendLater(shared_from_this(), socket, client, std::move(bytes)));
    }

    static asio::awaitable<void> sendLater(std::shared_ptr<State> self, udp::socket& socket,
                                           udp::endpoint client, Bytes bytes) {
        if (self->delay.count() > 0) {
            asio::steady_timer timer{self->context, self->delay};
            co_await timer.async_wait(tuple);
        }
        co_await socket.async_send_to(asio::buffer(bytes), client, tuple);
    }

    asio::io_context& context;
    udp::socket portmapper;
    udp::socket mount;
    udp::socket nfs;
    std::array<Medium, 2> media;
    std::vector<Node> nodes; // by handle number
    Requests counts;
    int dropAt = 0;           // replies until the one dropped; 0: none
    std::uint32_t writes = 0; // files put so far, the version of the latest
    Clock::time_point silentUntil;
    std::chrono::milliseconds delay{0};
    bool stray = false;
};

NfsServer::NfsServer(asio::io_context& context) : NfsServer(context, Options{}) {}

NfsServer::NfsServer(asio::io_context& context, Options options)
    : state(std::make_shared<State>(context, options)) {
    state->start();
}

NfsServer::~NfsServer() {
    state->close();
}

std::uint16_t NfsServer::portmapperPort() const {
    return state->portmapper.local_endpoint().port();
}

void NfsServer::put(MediaSlot slot, const std::string& path, std::string bytes) {
    auto& medium = state->media[indexOf(slot)];
    medium.present = true;
    medium.versions[normalized(path)] = ++state->writes;
    medium.files[normalized(path)] = std::move(bytes);
}

void NfsServer::remove(MediaSlot slot) {
    auto& medium = state->media[indexOf(slot)];
    medium.files.clear();
    medium.versions.clear();
    medium.present = false;
    ++medium.generation;
}

void NfsServer::dropReply(int n) {
    state->dropAt = n;
}

void NfsServer::dropReplies(std::chrono::milliseconds duration) {
    state->silentUntil = duration == std::chrono::milliseconds::max() ? Clock::time_point::max()
                                                                      : Clock::now() + duration;
}

void NfsServer::delayReplies(std::chrono::milliseconds delay) {
    state->delay = delay;
}

void NfsServer::sendStrayReplies(bool on) {
    state->stray = on;
}

NfsServer::Requests NfsServer::requests() const {
    return state->counts;
}

} // namespace bridge
