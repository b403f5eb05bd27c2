// The session messages of the StageLinQ namespace: what the bridge sends on a device's main
// and state-map connections, and how it reads what comes back.
#include "StageLinQ/StageLinQ.hpp"

#include <boost/json/parse.hpp>

#include <array>

namespace bridge::StageLinQ {

namespace {

constexpr std::array<std::uint8_t, 4> smaa{'s', 'm', 'a', 'a'};
constexpr std::uint32_t subscribeKind = 0x7D2;

void append(Bytes& to, const Bytes& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

} // namespace

std::optional<StateValue> StateValue::fromJson(std::string_view json) {
    boost::system::error_code error;
    const auto parsed = boost::json::parse(json, error);
    if (error || !parsed.is_object()) {
        return std::nullopt;
    }
    const auto& object = parsed.get_object();
    StateValue value;
    if (const auto* string = object.if_contains("string"); string && string->is_string()) {
        value.text = std::string{string->get_string()};
    }
    if (const auto* state = object.if_contains("state"); state && state->is_bool()) {
        value.flag = state->get_bool();
    }
    for (const auto* key : {"data", "value", "number", "float"}) {
        if (const auto* number = object.if_contains(key); number && number->is_number()) {
            value.number = number->to_number<double>();
            break;
        }
    }
    return value;
}

const std::vector<std::string>& paths() {
    static const std::vector<std::string> list = [] {
        std::vector<std::string> built;
        for (int n = 1; n <= 4; ++n) {
            const auto deck = "/Engine/Deck" + std::to_string(n) + "/";
            for (const auto* suffix : {"Play", "PlayState", "Track/ArtistName", "Track/SongName",
                                       "Track/BPM", "Track/SongLoaded", "ExternalMixerVolume"}) {
                built.push_back(deck + suffix);
            }
            built.push_back("/Mixer/CH" + std::to_string(n) + "faderPosition");
        }
        built.push_back("/Mixer/CrossfaderPosition");
        built.push_back("/Client/Preferences/Player");
        built.push_back("/Engine/DeckCount");
        return built;
    }();
    return list;
}

const std::set<std::string, std::less<>>& followed() {
    static const std::set<std::string, std::less<>> set{paths().begin(), paths().end()};
    return set;
}

Bytes servicesRequest(const Bytes& token) {
    auto message = uint(2, 4);
    append(message, token);
    return message;
}

Bytes reference(const Bytes& token, const Bytes& device) {
    auto message = uint(1, 4);
    append(message, token);
    append(message, device);
    append(message, uint(0, 8));
    return message;
}

Bytes stateMapAnnouncement(const Bytes& token, std::uint16_t port) {
    auto message = uint(0, 4);
    append(message, token);
    append(message, text("StateMap"));
    append(message, uint(port, 2));
    return message;
}

Bytes subscription(std::string_view path) {
    Bytes body(smaa.begin(), smaa.end());
    append(body, uint(subscribeKind, 4));
    append(body, text(path));
    append(body, uint(0, 4));
    auto message = uint(body.size(), 4);
    append(message, body);
    return message;
}

std::optional<std::pair<std::string, std::uint16_t>> service(const Bytes& bytes) {
    Reader reader{bytes};
    if (!reader.bytes(16)) {
        return std::nullopt;
    }
    auto name = reader.text();
    const auto port = reader.uint(2);
    if (!name || !port) {
        return std::nullopt;
    }
    return std::pair{std::move(*name), static_cast<std::uint16_t>(*port)};
}

std::optional<std::pair<std::string, StateValue>> value(const Bytes& body) {
    Reader reader{body};
    const auto head = reader.bytes(4);
    const auto kind = reader.uint(4);
    if (!head || !std::equal(smaa.begin(), smaa.end(), head->begin()) || kind != 0) {
        return std::nullopt;
    }
    auto name = reader.text();
    const auto json = reader.text();
    if (!name || !json) {
        return std::nullopt;
    }
    auto state = StateValue::fromJson(*json);
    if (!state) {
        return std::nullopt;
    }
    return std::pair{std::move(*name), std::move(*state)};
}

} // namespace bridge::StageLinQ
