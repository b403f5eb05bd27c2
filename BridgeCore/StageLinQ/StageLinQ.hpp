#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bridge::StageLinQ {

using Bytes = std::vector<std::uint8_t>;

// UDP port of discovery frames, bound and sent to.
inline constexpr std::uint16_t discoveryPort = 51337;
// Most devices followed at once.
inline constexpr int devicesMax = 8;
// Largest accepted state-map message body, in bytes.
inline constexpr std::uint32_t messageMax = 16384;
// Largest accepted service-name length, in bytes.
inline constexpr std::uint32_t serviceNameMax = 128;

inline constexpr std::string_view howdy = "DISCOVERER_HOWDY_";

// The bridge's own 16-byte token. The top bit of the first byte is clear: players ignore
// the services request of a token that has it set.
Bytes newToken();

// One Engine OS product.
struct Model {
    std::string name;
    bool connect = false; // whether it is worth a session
    int decks = 0;

    bool operator==(const Model&) const = default;
};

// The known Engine OS products by software code.
const std::map<std::string, Model, std::less<>>& models();

// A device heard in discovery.
struct Device {
    Bytes token;
    std::string name;
    std::string software;
    std::string version;
    std::uint16_t port = 0; // TCP port of its main service; 0 when it offers none
    std::string address;    // dotted IPv4 address the frame came from

    std::optional<Model> model() const;
    int decks() const;
    // Whether a session with it should be opened.
    bool connect() const;

    bool operator==(const Device&) const = default;
};

// `value` as `count` bytes, big-endian; positions beyond eight bytes are zero.
Bytes uint(std::uint64_t value, std::size_t count);

// UTF-8 `string` as UTF-16BE after its byte length (4 bytes, big-endian); a string that is
// not valid UTF-8 is written as the empty string.
Bytes text(std::string_view string);

// A read cursor over received bytes. Failed reads leave the position where it was.
class Reader {
public:
    explicit Reader(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    explicit Reader(const Bytes& bytes) : Reader(bytes.data(), bytes.size()) {}

    std::optional<std::uint64_t> uint(std::size_t count);
    // A `text` string, decoded to UTF-8; absent when truncated or not valid UTF-16.
    std::optional<std::string> text();
    // The next `count` bytes; absent when fewer remain.
    std::optional<Bytes> bytes(std::size_t count);

    std::size_t position() const { return at; }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

// Discovery frames.
Bytes announcement(const Bytes& token, std::string_view name, std::string_view version);
std::optional<Device> device(const std::uint8_t* frame, std::size_t size, std::string address);
inline std::optional<Device> device(const Bytes& frame, std::string address) {
    return device(frame.data(), frame.size(), std::move(address));
}

// The broadcast address of an interface; absent for loopback, single-host masks and texts
// that are not dotted IPv4 addresses.
std::optional<std::string> broadcast(std::string_view address, std::string_view mask);

// One state value as a device sends it; each field may be absent.
struct StateValue {
    std::optional<std::string> text;
    std::optional<bool> flag;
    std::optional<double> number;

    // From the JSON text of a value message; absent when it is not a JSON object.
    static std::optional<StateValue> fromJson(std::string_view json);

    bool operator==(const StateValue&) const = default;
};

// The subscribed state paths, in the order they are sent, and the same as a set.
const std::vector<std::string>& paths();
const std::set<std::string, std::less<>>& followed();

// Session messages.
Bytes servicesRequest(const Bytes& token);
Bytes reference(const Bytes& token, const Bytes& device);
Bytes stateMapAnnouncement(const Bytes& token, std::uint16_t port);
Bytes subscription(std::string_view path);

// One service announcement after its 4-byte id: token, name, port.
std::optional<std::pair<std::string, std::uint16_t>> service(const Bytes& bytes);
// The body of one state-map message: a value message's path and value.
std::optional<std::pair<std::string, StateValue>> value(const Bytes& body);

} // namespace bridge::StageLinQ
